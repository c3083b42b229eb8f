#pragma once

#include <cstddef>
#include <memory>
#include <vector>

#include "Primitives.h"
#include "SecureBuffer.h"
#include "TextError.h"

namespace zqvcrypto {

// The RSA-3072 key pair a key text determines. The derivation is our own,
// written down in docs/text-format.md, so that no library upgrade can change
// which key a text gives: Argon2id over the text with a fixed label, an
// AES-256-CTR stream from that seed, and the first two primes the stream
// yields by a fixed rule.
class RsaTextKey
{
public:
    static constexpr std::size_t kModulusBits = 3072;
    static constexpr std::size_t kModulusBytes = kModulusBits / 8;
    static constexpr std::size_t kSeedSize = 32;

    RsaTextKey();
    ~RsaTextKey();
    RsaTextKey(const RsaTextKey&) = delete;
    RsaTextKey& operator=(const RsaTextKey&) = delete;

    // None, KeyFailed (Argon2id had no memory) or Failed.
    [[nodiscard]] TextError derive(Bytes keyText, const Argon2Params& kdf);
    // The primes from a seed, without the KDF; the known-answer tests pin both halves.
    [[nodiscard]] bool deriveFromSeed(const unsigned char seed[kSeedSize]);

    // RSA-OAEP with SHA-256 (and MGF1-SHA-256), no label.
    [[nodiscard]] bool wrap(Bytes secret, std::vector<unsigned char>& out) const;
    [[nodiscard]] bool unwrap(Bytes wrapped, SecureBuffer& out) const;

    // Big-endian, kModulusBytes long; empty before a derivation.
    [[nodiscard]] std::vector<unsigned char> modulus() const;

    // The fixed Argon2id salt of every RSA text key.
    [[nodiscard]] static Bytes domainLabel();

private:
    // One OAEP operation in either direction.
    [[nodiscard]] bool oaep(bool encrypt, Bytes input, SecureBuffer& out) const;

    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

} // namespace zqvcrypto
