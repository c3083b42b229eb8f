#include "TwofishGcm.h"

#include <cstring>
#include <exception>

#include <botan/aead.h>

namespace zqvcrypto {
namespace {

std::unique_ptr<Botan::AEAD_Mode>
makeMode(Botan::Cipher_Dir direction, const unsigned char* key, const unsigned char* nonce, Bytes aad)
{
    std::unique_ptr<Botan::AEAD_Mode> mode = Botan::AEAD_Mode::create("Twofish/GCM(16)", direction);
    if (!mode)
        return nullptr;
    mode->set_key(key, TwofishGcm::kKeySize);
    mode->set_associated_data(aad.data(), aad.size());
    mode->start(nonce, TwofishGcm::kNonceSize);
    return mode;
}

} // namespace

bool TwofishGcm::seal(
    const unsigned char* key, const unsigned char* nonce, Bytes aad, Bytes plaintext, std::vector<unsigned char>& out)
{
    // Botan reports every failure by exception; none may leave this layer.
    try {
        std::unique_ptr<Botan::AEAD_Mode> mode = makeMode(Botan::ENCRYPTION, key, nonce, aad);
        if (!mode)
            return false;
        Botan::secure_vector<std::uint8_t> buffer(plaintext.begin(), plaintext.end());
        mode->finish(buffer);
        out.insert(out.end(), buffer.begin(), buffer.end());
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

bool TwofishGcm::open(const unsigned char* key, const unsigned char* nonce, Bytes aad, Bytes sealed, SecureBuffer& out)
{
    if (sealed.size() < kTagSize)
        return false;
    try {
        std::unique_ptr<Botan::AEAD_Mode> mode = makeMode(Botan::DECRYPTION, key, nonce, aad);
        if (!mode)
            return false;
        Botan::secure_vector<std::uint8_t> buffer(sealed.begin(), sealed.end());
        mode->finish(buffer);
        SecureBuffer plain(buffer.size());
        if (!buffer.empty())
            std::memcpy(plain.data(), buffer.data(), buffer.size());
        out = std::move(plain);
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

} // namespace zqvcrypto
