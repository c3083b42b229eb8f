#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "Primitives.h"
#include "SecureBuffer.h"
#include "TextError.h"

namespace zqvcrypto {

// Messages of the text tool: one self-describing envelope per message that
// names its algorithm and key-derivation cost. Layout in docs/text-format.md.
namespace textformat {

inline constexpr int kAes = 1;
inline constexpr int kTwofish = 2;
inline constexpr int kRsa = 3;

inline constexpr unsigned char kMagic[3] = {0x65, 0x05, 0x53}; // "ZQVT" once in base64
inline constexpr unsigned char kVersion = 1;
inline constexpr std::size_t kHeaderSize = 17; // magic, version, algorithm, three Argon2id numbers
inline constexpr std::size_t kSaltSize = 16;
inline constexpr std::size_t kNonceSize = 12;
inline constexpr std::size_t kTagSize = 16;
inline constexpr std::size_t kSessionKeySize = 32;

[[nodiscard]] bool isSupportedAlgorithm(int algorithm);

} // namespace textformat

// Encrypts `plaintext` into a fresh envelope with a fresh salt and nonce.
[[nodiscard]] TextError
sealText(int algorithm, Bytes keyText, const Argon2Params& kdf, Bytes plaintext, std::vector<unsigned char>& envelope);

// Opens an envelope; `plaintext` is set only when the message is authentic.
[[nodiscard]] TextError openText(int algorithm, Bytes keyText, Bytes envelope, SecureBuffer& plaintext);

// The algorithm an envelope names, or 0 when the bytes are no envelope.
[[nodiscard]] int envelopeAlgorithm(Bytes envelope);

} // namespace zqvcrypto
