#include "TwofishGcm.h"

#include <cstring>
#include <exception>

#include <botan/aead.h>

namespace zqvcrypto {
namespace {

// Runs `input` through one direction of Twofish-GCM into `buffer`: sealed
// text with its tag, or the plaintext once the tag checked out. Botan
// reports every failure by exception; none may leave this layer.
bool run(Botan::Cipher_Dir direction,
         const unsigned char* key,
         const unsigned char* nonce,
         Bytes aad,
         Bytes input,
         Botan::secure_vector<std::uint8_t>& buffer)
{
    try {
        std::unique_ptr<Botan::AEAD_Mode> mode = Botan::AEAD_Mode::create("Twofish/GCM(16)", direction);
        if (!mode)
            return false;
        mode->set_key(key, TwofishGcm::kKeySize);
        mode->set_associated_data(aad.data(), aad.size());
        mode->start(nonce, TwofishGcm::kNonceSize);
        buffer.assign(input.begin(), input.end());
        mode->finish(buffer);
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

} // namespace

bool TwofishGcm::seal(
    const unsigned char* key, const unsigned char* nonce, Bytes aad, Bytes plaintext, std::vector<unsigned char>& out)
{
    Botan::secure_vector<std::uint8_t> buffer;
    if (!run(Botan::ENCRYPTION, key, nonce, aad, plaintext, buffer))
        return false;
    out.insert(out.end(), buffer.begin(), buffer.end());
    return true;
}

bool TwofishGcm::open(const unsigned char* key, const unsigned char* nonce, Bytes aad, Bytes sealed, SecureBuffer& out)
{
    Botan::secure_vector<std::uint8_t> buffer;
    if (sealed.size() < kTagSize || !run(Botan::DECRYPTION, key, nonce, aad, sealed, buffer))
        return false;
    SecureBuffer plain(buffer.size());
    if (!buffer.empty())
        std::memcpy(plain.data(), buffer.data(), buffer.size());
    out = std::move(plain);
    return true;
}

} // namespace zqvcrypto
