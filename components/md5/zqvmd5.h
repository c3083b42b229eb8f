#pragma once

#include <cstdint>

// MD5 (RFC 1321) behind three C functions over a caller-owned 88-byte
// context. The context holds a handle to the hash state, so every context
// that MD5Init started must be finished with MD5Final, which releases it;
// an abandoned context leaks that state. A context must not be copied.
extern "C" {

inline constexpr std::uint32_t kMd5ContextSize = 88;
inline constexpr std::uint32_t kMd5DigestSize = 16;

void MD5Init(void* context);
void MD5Update(void* context, const unsigned char* bytes, std::uint32_t length);
void MD5Final(unsigned char* digest, void* context);
}
