#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

typedef struct evp_cipher_ctx_st EVP_CIPHER_CTX;
typedef struct evp_mac_ctx_st EVP_MAC_CTX;

namespace ziplight {

// The WinZip AES-256 encryption of one zip entry's data, as every reader of
// encrypted zip files expects it: a random salt and a two-byte password check
// in front, AES-256 in counter mode with a little-endian block counter that
// starts at 1, and the first ten bytes of an HMAC-SHA1 over the encrypted
// bytes behind. Keys come from PBKDF2-HMAC-SHA1 (1000 rounds). OpenSSL does
// the cipher, the MAC and the key derivation; the key stream is made for many
// blocks per call, so large entries cost little more than AES itself.
class WinZipAes
{
public:
    static constexpr std::size_t kSaltSize = 16;
    static constexpr std::size_t kCheckSize = 2;
    static constexpr std::size_t kMacSize = 10;
    static constexpr std::size_t kHeadSize = kSaltSize + kCheckSize;
    // Bytes an entry's data grows by.
    static constexpr std::size_t kOverhead = kHeadSize + kMacSize;
    // The extra field's strength code for 256-bit keys.
    static constexpr std::uint8_t kStrength256 = 3;

    // What the password and one salt give: the salt, the keys and the check.
    struct Keys
    {
        std::array<unsigned char, kSaltSize> salt{};
        std::array<unsigned char, 32> cipherKey{};
        std::array<unsigned char, 32> macKey{};
        std::array<unsigned char, kCheckSize> check{};

        Keys() = default;
        ~Keys();
        Keys(const Keys&) = default;
        Keys& operator=(const Keys&) = default;
    };

    // The slow part (PBKDF2), separate so it can run ahead on other threads:
    // with a fresh salt, or with the given one.
    [[nodiscard]] static bool deriveKeys(std::string_view password, Keys& keys);
    [[nodiscard]] static bool deriveKeys(std::string_view password, const unsigned char* salt, Keys& keys);

    WinZipAes();
    ~WinZipAes();
    WinZipAes(const WinZipAes&) = delete;
    WinZipAes& operator=(const WinZipAes&) = delete;

    // Starts an entry with keys derived before; `head` receives the salt and
    // the password check that precede the data.
    [[nodiscard]] bool begin(const Keys& keys, std::array<unsigned char, kHeadSize>& head);
    // Starts an entry with a given salt (for reading, and for known answers).
    [[nodiscard]] bool
    beginWithSalt(std::string_view password, const unsigned char* salt, std::array<unsigned char, kCheckSize>& check);
    // Encrypts in place, any size per call; the counter runs on across calls.
    [[nodiscard]] bool encrypt(unsigned char* data, std::size_t size);
    // Decrypts in place (authenticating what it was given).
    [[nodiscard]] bool decrypt(unsigned char* data, std::size_t size);
    // The code that follows the data; ends the entry.
    [[nodiscard]] bool finish(std::array<unsigned char, kMacSize>& mac);

private:
    [[nodiscard]] bool applyKeyStream(unsigned char* data, std::size_t size);
    void release();

    EVP_CIPHER_CTX* m_cipher = nullptr;
    EVP_MAC_CTX* m_mac = nullptr;
    std::uint64_t m_counterLow = 0;
    std::uint64_t m_counterHigh = 0;
    std::array<unsigned char, 16> m_pad{};
    std::size_t m_padUsed = 16; // bytes of m_pad already used
};

} // namespace ziplight
