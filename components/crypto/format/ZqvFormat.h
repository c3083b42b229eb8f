#pragma once

#include <array>
#include <cstdint>

#include "CryptoError.h"
#include "Primitives.h"

namespace zqvcrypto {

// Layout of a ".zqv" file, version 1 (docs/zqv-format.md has the full description).
namespace zqv {

inline constexpr std::array<unsigned char, 8> kMagic = {0x89, 'Z', 'Q', 'V', 0x0D, 0x0A, 0x1A, 0x0A};
inline constexpr std::uint8_t kVersion = 1;
inline constexpr std::uint8_t kKdfArgon2id = 1;
inline constexpr std::uint8_t kCipherAes256GcmStream = 1;

inline constexpr std::size_t kSaltSize = 16;
inline constexpr std::size_t kFileKeySize = 32;
inline constexpr std::size_t kCheckSize = 16;

// Offsets of the header fields.
inline constexpr std::size_t kOffVersion = 8;
inline constexpr std::size_t kOffKdf = 9;
inline constexpr std::size_t kOffCipher = 10;
inline constexpr std::size_t kOffFlags = 11;
inline constexpr std::size_t kOffMemory = 12;
inline constexpr std::size_t kOffIterations = 16;
inline constexpr std::size_t kOffLanes = 20;
inline constexpr std::size_t kOffChunkSize = 24;
inline constexpr std::size_t kOffSalt = 28;
inline constexpr std::size_t kOffKeyNonce = 44;
inline constexpr std::size_t kOffSealedKey = 56;
inline constexpr std::size_t kOffKeyTag = 88;
inline constexpr std::size_t kOffCheck = 104;
inline constexpr std::size_t kHeaderSize = 120;

inline constexpr std::uint32_t kMinChunkSize = 64u * 1024;
inline constexpr std::uint32_t kMaxChunkSize = 1024u * 1024;
inline constexpr std::uint32_t kDefaultChunkSize = 256u * 1024;

} // namespace zqv

struct ZqvHeader
{
    Argon2Params kdf;
    std::uint32_t chunkSize = zqv::kDefaultChunkSize;
    std::array<unsigned char, zqv::kSaltSize> salt{};
    std::array<unsigned char, Gcm::kNonceSize> keyNonce{};
    std::array<unsigned char, zqv::kFileKeySize> sealedKey{};
    std::array<unsigned char, Gcm::kTagSize> keyTag{};
};

using HeaderBytes = std::array<unsigned char, zqv::kHeaderSize>;

// The bytes the key seal authenticates: every field before the sealed key.
inline Bytes keySealAad(const HeaderBytes& bytes)
{
    return Bytes(bytes.data(), zqv::kOffSealedKey);
}

// Writes the header with its check value.
[[nodiscard]] HeaderBytes serializeHeader(const ZqvHeader& header);
// Reads and checks a header: magic, version, parameter limits and the check
// value, all before any expensive work. None, NotEncrypted,
// UnsupportedVersion, BadParameters or Damaged.
[[nodiscard]] CryptoError parseHeader(const HeaderBytes& bytes, ZqvHeader& header);
[[nodiscard]] bool kdfParamsAcceptable(const Argon2Params& params);

// The 12-byte nonce of a payload chunk: 3 zero bytes, the chunk counter
// (64-bit big-endian) and the last-chunk flag.
void chunkNonce(std::uint64_t counter, bool last, unsigned char* nonce);

} // namespace zqvcrypto
