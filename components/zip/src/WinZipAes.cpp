#include "WinZipAes.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include <openssl/core_names.h>
#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/params.h>
#include <openssl/rand.h>

namespace ziplight {
namespace {

constexpr std::size_t kKeySize = 32;
constexpr int kRounds = 1000;
constexpr std::size_t kBlock = 16;
// Counter blocks enciphered per call: large enough that OpenSSL's parallel
// AES code does the work, small enough to stay in the cache.
constexpr std::size_t kBatchBlocks = 4096;

void xorInto(unsigned char* data, const unsigned char* stream, std::size_t size)
{
    std::size_t i = 0;
    for (; i + 8 <= size; i += 8) {
        std::uint64_t a = 0;
        std::uint64_t b = 0;
        std::memcpy(&a, data + i, 8);
        std::memcpy(&b, stream + i, 8);
        a ^= b;
        std::memcpy(data + i, &a, 8);
    }
    for (; i < size; ++i)
        data[i] ^= stream[i];
}

void putLittleEndian(unsigned char* out, std::uint64_t value)
{
    for (int i = 0; i < 8; ++i)
        out[i] = static_cast<unsigned char>(value >> (8 * i));
}

thread_local std::vector<unsigned char> t_stream;

} // namespace

WinZipAes::WinZipAes() = default;

WinZipAes::~WinZipAes()
{
    release();
}

void WinZipAes::release()
{
    EVP_CIPHER_CTX_free(m_cipher); // clears the key schedule
    EVP_MAC_CTX_free(m_mac);
    m_cipher = nullptr;
    m_mac = nullptr;
    OPENSSL_cleanse(m_pad.data(), m_pad.size());
}

WinZipAes::Keys::~Keys()
{
    OPENSSL_cleanse(cipherKey.data(), cipherKey.size());
    OPENSSL_cleanse(macKey.data(), macKey.size());
}

bool WinZipAes::deriveKeys(std::string_view password, Keys& keys)
{
    return RAND_bytes(keys.salt.data(), static_cast<int>(kSaltSize)) == 1 &&
           deriveKeys(password, keys.salt.data(), keys);
}

bool WinZipAes::deriveKeys(std::string_view password, const unsigned char* salt, Keys& keys)
{
    std::copy(salt, salt + kSaltSize, keys.salt.begin());
    std::array<unsigned char, 2 * kKeySize + kCheckSize> derived{};
    const bool ok = PKCS5_PBKDF2_HMAC(password.data(),
                                      static_cast<int>(password.size()),
                                      keys.salt.data(),
                                      static_cast<int>(kSaltSize),
                                      kRounds,
                                      EVP_sha1(),
                                      static_cast<int>(derived.size()),
                                      derived.data()) == 1;
    std::copy(derived.begin(), derived.begin() + kKeySize, keys.cipherKey.begin());
    std::copy(derived.begin() + kKeySize, derived.begin() + 2 * kKeySize, keys.macKey.begin());
    std::copy(derived.end() - kCheckSize, derived.end(), keys.check.begin());
    OPENSSL_cleanse(derived.data(), derived.size());
    return ok;
}

bool WinZipAes::beginWithSalt(std::string_view password,
                              const unsigned char* salt,
                              std::array<unsigned char, kCheckSize>& check)
{
    Keys keys;
    std::array<unsigned char, kHeadSize> head{};
    if (!deriveKeys(password, salt, keys) || !begin(keys, head))
        return false;
    check = keys.check;
    return true;
}

bool WinZipAes::begin(const Keys& keys, std::array<unsigned char, kHeadSize>& head)
{
    release();
    m_cipher = EVP_CIPHER_CTX_new();
    bool ok = m_cipher != nullptr &&
              EVP_EncryptInit_ex(m_cipher, EVP_aes_256_ecb(), nullptr, keys.cipherKey.data(), nullptr) == 1 &&
              EVP_CIPHER_CTX_set_padding(m_cipher, 0) == 1;
    EVP_MAC* hmac = ok ? EVP_MAC_fetch(nullptr, "HMAC", nullptr) : nullptr;
    m_mac = hmac != nullptr ? EVP_MAC_CTX_new(hmac) : nullptr;
    EVP_MAC_free(hmac);
    char digest[] = "SHA1";
    const OSSL_PARAM params[] = {OSSL_PARAM_construct_utf8_string(OSSL_MAC_PARAM_DIGEST, digest, 0),
                                 OSSL_PARAM_construct_end()};
    ok = ok && m_mac != nullptr && EVP_MAC_init(m_mac, keys.macKey.data(), keys.macKey.size(), params) == 1;
    std::copy(keys.salt.begin(), keys.salt.end(), head.begin());
    std::copy(keys.check.begin(), keys.check.end(), head.begin() + kSaltSize);
    m_counterLow = 0;
    m_counterHigh = 0;
    m_padUsed = kBlock;
    if (!ok)
        release();
    return ok;
}

bool WinZipAes::applyKeyStream(unsigned char* data, std::size_t size)
{
    if (m_cipher == nullptr)
        return false;
    // What is left of the last partial block's key stream.
    while (size > 0 && m_padUsed < kBlock) {
        *data++ ^= m_pad[m_padUsed++];
        --size;
    }
    if (t_stream.size() < kBatchBlocks * kBlock)
        t_stream.resize(kBatchBlocks * kBlock);
    unsigned char* stream = t_stream.data();
    std::size_t streamUsed = 0;
    while (size > 0) {
        const std::size_t blocks = std::min(kBatchBlocks, (size + kBlock - 1) / kBlock);
        for (std::size_t i = 0; i < blocks; ++i) {
            if (++m_counterLow == 0)
                ++m_counterHigh;
            putLittleEndian(stream + i * kBlock, m_counterLow);
            putLittleEndian(stream + i * kBlock + 8, m_counterHigh);
        }
        int produced = 0;
        if (EVP_EncryptUpdate(m_cipher, stream, &produced, stream, static_cast<int>(blocks * kBlock)) != 1 ||
            produced != static_cast<int>(blocks * kBlock))
            return false;
        streamUsed = std::max(streamUsed, blocks * kBlock);
        const std::size_t used = std::min(size, blocks * kBlock);
        xorInto(data, stream, used);
        data += used;
        size -= used;
        if (used % kBlock != 0) {
            // Keep the rest of the last block for the next call.
            const std::size_t last = used - used % kBlock;
            std::memcpy(m_pad.data(), stream + last, kBlock);
            m_padUsed = used % kBlock;
        }
    }
    OPENSSL_cleanse(stream, streamUsed);
    return true;
}

bool WinZipAes::encrypt(unsigned char* data, std::size_t size)
{
    return applyKeyStream(data, size) && m_mac != nullptr && EVP_MAC_update(m_mac, data, size) == 1;
}

bool WinZipAes::decrypt(unsigned char* data, std::size_t size)
{
    return m_mac != nullptr && EVP_MAC_update(m_mac, data, size) == 1 && applyKeyStream(data, size);
}

bool WinZipAes::finish(std::array<unsigned char, kMacSize>& mac)
{
    std::array<unsigned char, EVP_MAX_MD_SIZE> full{};
    std::size_t length = 0;
    const bool ok =
        m_mac != nullptr && EVP_MAC_final(m_mac, full.data(), &length, full.size()) == 1 && length >= kMacSize;
    if (ok)
        std::copy(full.begin(), full.begin() + kMacSize, mac.begin());
    release();
    return ok;
}

} // namespace ziplight
