#include "TextCipher.h"

#include <algorithm>
#include <cstring>

#include "RsaTextKey.h"
#include "TwofishGcm.h"

namespace zqvcrypto {

namespace textformat {

bool isSupportedAlgorithm(int algorithm)
{
    return algorithm == kAes || algorithm == kTwofish || algorithm == kRsa;
}

} // namespace textformat

namespace {

using namespace textformat;

constexpr std::size_t kOffVersion = 3;
constexpr std::size_t kOffAlgorithm = 4;
constexpr std::size_t kOffMemory = 5;
constexpr std::size_t kOffIterations = 9;
constexpr std::size_t kOffLanes = 13;
constexpr std::size_t kWrappedKeySize = RsaTextKey::kModulusBytes;

// resize and copy: GCC 12 misreads vector::insert of small arrays as an overflow.
void append(std::vector<unsigned char>& out, const unsigned char* bytes, std::size_t size)
{
    const std::size_t at = out.size();
    out.resize(at + size);
    std::memcpy(out.data() + at, bytes, size);
}

void putU32(std::vector<unsigned char>& out, std::uint32_t value)
{
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back(static_cast<unsigned char>(value >> shift));
}

std::uint32_t getU32(const unsigned char* in)
{
    return (std::uint32_t{in[0]} << 24) | (std::uint32_t{in[1]} << 16) | (std::uint32_t{in[2]} << 8) | in[3];
}

bool acceptable(const Argon2Params& kdf)
{
    return withinLimits(kdf, kTextKdfLimits);
}

void putHeader(std::vector<unsigned char>& out, int algorithm, const Argon2Params& kdf)
{
    append(out, kMagic, sizeof kMagic);
    out.push_back(kVersion);
    out.push_back(static_cast<unsigned char>(algorithm));
    putU32(out, kdf.memoryKiB);
    putU32(out, kdf.iterations);
    putU32(out, kdf.lanes);
}

// Seals with AES-256-GCM or Twofish-256-GCM; the AAD is everything before the ciphertext.
bool sealBody(int algorithm,
              const unsigned char* key,
              const unsigned char* nonce,
              Bytes plaintext,
              std::vector<unsigned char>& envelope)
{
    const std::vector<unsigned char> aad(envelope);
    if (algorithm == kTwofish)
        return TwofishGcm::seal(key, nonce, aad, plaintext, envelope);
    Gcm gcm(key);
    if (!gcm.valid())
        return false;
    const std::size_t start = envelope.size();
    envelope.resize(start + plaintext.size() + kTagSize);
    return gcm.seal(nonce,
                    aad,
                    plaintext.data(),
                    plaintext.size(),
                    envelope.data() + start,
                    envelope.data() + start + plaintext.size());
}

bool openBody(
    int cipher, const unsigned char* key, Bytes aad, const unsigned char* nonce, Bytes sealed, SecureBuffer& out)
{
    if (sealed.size() < kTagSize)
        return false;
    if (cipher == kTwofish)
        return TwofishGcm::open(key, nonce, aad, sealed, out);
    Gcm gcm(key);
    if (!gcm.valid())
        return false;
    const std::size_t size = sealed.size() - kTagSize;
    SecureBuffer plain(size);
    if (!gcm.open(nonce, aad, sealed.data(), size, plain.data(), sealed.data() + size))
        return false;
    out = std::move(plain);
    return true;
}

} // namespace

int envelopeAlgorithm(Bytes envelope)
{
    if (envelope.size() < kHeaderSize || !std::equal(std::begin(kMagic), std::end(kMagic), envelope.begin()))
        return 0;
    return envelope[kOffAlgorithm];
}

TextError
sealText(int algorithm, Bytes keyText, const Argon2Params& kdf, Bytes plaintext, std::vector<unsigned char>& envelope)
{
    envelope.clear();
    if (!isSupportedAlgorithm(algorithm) || !acceptable(kdf))
        return TextError::BadParameters;
    std::vector<unsigned char> out;
    out.reserve(kHeaderSize + kWrappedKeySize + kNonceSize + plaintext.size() + kTagSize);
    putHeader(out, algorithm, kdf);
    SecureBuffer key(kSessionKeySize);
    unsigned char nonce[kNonceSize];

    if (algorithm == kRsa) {
        RsaTextKey pair;
        if (const TextError e = pair.derive(keyText, kdf); e != TextError::None)
            return e;
        if (!randomBytes(key.data(), key.size()) || !pair.wrap(Bytes(key.data(), key.size()), out) ||
            out.size() != kHeaderSize + kWrappedKeySize)
            return TextError::Failed;
    } else {
        unsigned char salt[kSaltSize];
        if (!randomBytes(salt, sizeof salt))
            return TextError::Failed;
        if (!argon2id(keyText, Bytes(salt, sizeof salt), kdf, key.data(), key.size()))
            return TextError::KeyFailed;
        append(out, salt, sizeof salt);
    }
    if (!randomBytes(nonce, sizeof nonce))
        return TextError::Failed;
    append(out, nonce, sizeof nonce);
    // RSA's session cipher is AES.
    if (!sealBody(algorithm == kTwofish ? kTwofish : kAes, key.data(), nonce, plaintext, out))
        return TextError::Failed;
    envelope = std::move(out);
    return TextError::None;
}

TextError openText(int algorithm, Bytes keyText, Bytes envelope, SecureBuffer& plaintext)
{
    const int named = envelopeAlgorithm(envelope);
    if (named == 0)
        return envelope.size() >= std::size(kMagic) &&
                       std::equal(std::begin(kMagic), std::end(kMagic), envelope.begin())
                   ? TextError::Damaged
                   : TextError::NotCiphertext;
    if (envelope[kOffVersion] != kVersion)
        return envelope[kOffVersion] > kVersion ? TextError::UnsupportedVersion : TextError::Damaged;
    if (!isSupportedAlgorithm(named))
        return TextError::Damaged;
    if (named != algorithm)
        return TextError::OtherAlgorithm;
    const Argon2Params kdf{
        getU32(&envelope[kOffMemory]), getU32(&envelope[kOffIterations]), getU32(&envelope[kOffLanes])};
    if (!acceptable(kdf))
        return TextError::BadParameters;

    SecureBuffer key(kSessionKeySize);
    std::size_t offset = kHeaderSize;
    if (algorithm == kRsa) {
        if (envelope.size() < kHeaderSize + kWrappedKeySize + kNonceSize + kTagSize)
            return TextError::Damaged;
        RsaTextKey pair;
        if (const TextError e = pair.derive(keyText, kdf); e != TextError::None)
            return e;
        if (!pair.unwrap(envelope.subspan(offset, kWrappedKeySize), key) || key.size() != kSessionKeySize)
            return TextError::WrongKey;
        offset += kWrappedKeySize;
    } else {
        if (envelope.size() < kHeaderSize + kSaltSize + kNonceSize + kTagSize)
            return TextError::Damaged;
        if (!argon2id(keyText, envelope.subspan(offset, kSaltSize), kdf, key.data(), key.size()))
            return TextError::KeyFailed;
        offset += kSaltSize;
    }
    const unsigned char* nonce = envelope.data() + offset;
    offset += kNonceSize;
    if (!openBody(algorithm == kTwofish ? kTwofish : kAes,
                  key.data(),
                  envelope.first(offset),
                  nonce,
                  envelope.subspan(offset),
                  plaintext))
        return TextError::WrongKey;
    return TextError::None;
}

} // namespace zqvcrypto
