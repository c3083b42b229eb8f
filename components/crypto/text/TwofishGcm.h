#pragma once

#include <cstddef>
#include <vector>

#include "Primitives.h"
#include "SecureBuffer.h"

namespace zqvcrypto {

// Twofish-256 in GCM, one message at a time: the only cipher we take from
// Botan, kept behind this header so no Botan type leaks out.
class TwofishGcm
{
public:
    static constexpr std::size_t kKeySize = 32;
    static constexpr std::size_t kNonceSize = 12;
    static constexpr std::size_t kTagSize = 16;

    // Appends ciphertext and tag to `out`.
    [[nodiscard]] static bool seal(const unsigned char* key,
                                   const unsigned char* nonce,
                                   Bytes aad,
                                   Bytes plaintext,
                                   std::vector<unsigned char>& out);
    // `sealed` is ciphertext followed by the tag; `out` receives the plaintext
    // only when the tag matches.
    [[nodiscard]] static bool
    open(const unsigned char* key, const unsigned char* nonce, Bytes aad, Bytes sealed, SecureBuffer& out);
};

} // namespace zqvcrypto
