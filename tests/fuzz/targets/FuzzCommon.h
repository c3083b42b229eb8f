#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>

#include "ZqvFormat.h"

// What the targets share: the one password every seed is made with, and a
// guard that keeps key derivation cheap, so the fuzzer spends its time in the
// readers and not in Argon2 (whose own limits are checked before it runs).
namespace fuzzing {

inline const std::string kPassword = "fuzz password";
inline constexpr zqvcrypto::Argon2Params kSeedKdf{8, 1, 1};

inline bool cheapEnough(const unsigned char* data, std::size_t size)
{
    if (size < zqvcrypto::zqv::kHeaderSize)
        return true; // refused before any derivation
    zqvcrypto::HeaderBytes bytes{};
    std::copy(data, data + bytes.size(), bytes.begin());
    zqvcrypto::ZqvHeader header;
    if (zqvcrypto::parseHeader(bytes, header) != zqvcrypto::CryptoError::None)
        return true;
    return header.kdf.memoryKiB <= 64 && header.kdf.iterations <= 2 && header.kdf.lanes <= 2;
}

} // namespace fuzzing
