#include "ZqvFormat.h"

#include <algorithm>
#include <cstring>

#include <openssl/crypto.h>

namespace zqvcrypto {
namespace {

void putU32(unsigned char* at, std::uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        at[i] = static_cast<unsigned char>(value >> (8 * i));
}

std::uint32_t getU32(const unsigned char* at)
{
    std::uint32_t value = 0;
    for (int i = 3; i >= 0; --i)
        value = (value << 8) | at[i];
    return value;
}

void computeCheck(const HeaderBytes& bytes, unsigned char* out)
{
    unsigned char digest[32];
    sha256(Bytes(bytes.data(), zqv::kOffCheck), digest);
    std::memcpy(out, digest, zqv::kCheckSize);
}

} // namespace

bool kdfParamsAcceptable(const Argon2Params& params)
{
    return withinLimits(params, kFileKdfLimits);
}

HeaderBytes serializeHeader(const ZqvHeader& header)
{
    HeaderBytes bytes{};
    std::copy(zqv::kMagic.begin(), zqv::kMagic.end(), bytes.begin());
    bytes[zqv::kOffVersion] = zqv::kVersion;
    bytes[zqv::kOffKdf] = zqv::kKdfArgon2id;
    bytes[zqv::kOffCipher] = zqv::kCipherAes256GcmStream;
    bytes[zqv::kOffFlags] = 0;
    putU32(&bytes[zqv::kOffMemory], header.kdf.memoryKiB);
    putU32(&bytes[zqv::kOffIterations], header.kdf.iterations);
    putU32(&bytes[zqv::kOffLanes], header.kdf.lanes);
    putU32(&bytes[zqv::kOffChunkSize], header.chunkSize);
    std::copy(header.salt.begin(), header.salt.end(), &bytes[zqv::kOffSalt]);
    std::copy(header.keyNonce.begin(), header.keyNonce.end(), &bytes[zqv::kOffKeyNonce]);
    std::copy(header.sealedKey.begin(), header.sealedKey.end(), &bytes[zqv::kOffSealedKey]);
    std::copy(header.keyTag.begin(), header.keyTag.end(), &bytes[zqv::kOffKeyTag]);
    computeCheck(bytes, &bytes[zqv::kOffCheck]);
    return bytes;
}

CryptoError parseHeader(const HeaderBytes& bytes, ZqvHeader& header)
{
    if (!std::equal(zqv::kMagic.begin(), zqv::kMagic.end(), bytes.begin()))
        return CryptoError::NotEncrypted;
    // The check value first: a damaged header must not be taken for a newer
    // version or for a wrong password.
    unsigned char check[zqv::kCheckSize];
    computeCheck(bytes, check);
    if (CRYPTO_memcmp(check, &bytes[zqv::kOffCheck], zqv::kCheckSize) != 0)
        return CryptoError::Damaged;
    if (bytes[zqv::kOffVersion] != zqv::kVersion)
        return CryptoError::UnsupportedVersion;
    if (bytes[zqv::kOffKdf] != zqv::kKdfArgon2id || bytes[zqv::kOffCipher] != zqv::kCipherAes256GcmStream ||
        bytes[zqv::kOffFlags] != 0)
        return CryptoError::UnsupportedVersion;

    header.kdf.memoryKiB = getU32(&bytes[zqv::kOffMemory]);
    header.kdf.iterations = getU32(&bytes[zqv::kOffIterations]);
    header.kdf.lanes = getU32(&bytes[zqv::kOffLanes]);
    header.chunkSize = getU32(&bytes[zqv::kOffChunkSize]);
    if (!kdfParamsAcceptable(header.kdf) || header.chunkSize < zqv::kMinChunkSize ||
        header.chunkSize > zqv::kMaxChunkSize || header.chunkSize % 4096 != 0)
        return CryptoError::BadParameters;

    std::copy_n(&bytes[zqv::kOffSalt], zqv::kSaltSize, header.salt.begin());
    std::copy_n(&bytes[zqv::kOffKeyNonce], Gcm::kNonceSize, header.keyNonce.begin());
    std::copy_n(&bytes[zqv::kOffSealedKey], zqv::kFileKeySize, header.sealedKey.begin());
    std::copy_n(&bytes[zqv::kOffKeyTag], Gcm::kTagSize, header.keyTag.begin());
    return CryptoError::None;
}

void chunkNonce(std::uint64_t counter, bool last, unsigned char* nonce)
{
    nonce[0] = nonce[1] = nonce[2] = 0;
    for (int i = 0; i < 8; ++i)
        nonce[3 + i] = static_cast<unsigned char>(counter >> (56 - 8 * i));
    nonce[11] = last ? 1 : 0;
}

} // namespace zqvcrypto
