#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

#include "KdfParams.h"
#include "SecureBuffer.h"

namespace zqvcrypto {

using Bytes = std::span<const unsigned char>;

[[nodiscard]] bool randomBytes(unsigned char* out, std::size_t size);

// Argon2id, version 1.3. `secret` and `associatedData` exist for the
// published test vectors; the file format uses neither.
[[nodiscard]] bool argon2id(Bytes password,
                            Bytes salt,
                            const Argon2Params& params,
                            unsigned char* out,
                            std::size_t outSize,
                            Bytes secret = {},
                            Bytes associatedData = {});

[[nodiscard]] bool hkdfSha256(Bytes key, Bytes salt, Bytes info, unsigned char* out, std::size_t outSize);

// SHA-256 of one buffer.
void sha256(Bytes data, unsigned char out[32]);

// AES-256-GCM with one key and a fresh 12-byte nonce per message. The key
// schedule is set up once, so sealing many chunks stays cheap.
class Gcm
{
public:
    static constexpr std::size_t kKeySize = 32;
    static constexpr std::size_t kNonceSize = 12;
    static constexpr std::size_t kTagSize = 16;

    explicit Gcm(const unsigned char* key);
    ~Gcm();
    Gcm(const Gcm&) = delete;
    Gcm& operator=(const Gcm&) = delete;

    [[nodiscard]] bool valid() const;
    [[nodiscard]] bool seal(const unsigned char* nonce,
                            Bytes aad,
                            const unsigned char* in,
                            std::size_t size,
                            unsigned char* out,
                            unsigned char* tag);
    // Writes the plaintext to `out` only as scratch: it is authentic only when this returns true.
    [[nodiscard]] bool open(const unsigned char* nonce,
                            Bytes aad,
                            const unsigned char* in,
                            std::size_t size,
                            unsigned char* out,
                            const unsigned char* tag);

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

} // namespace zqvcrypto
