#include "Primitives.h"

#include <climits>
#include <cstdint>
#include <vector>

#include <argon2.h>
#include <openssl/core_names.h>
#include <openssl/evp.h>
#include <openssl/kdf.h>
#include <openssl/rand.h>
#include <openssl/sha.h>

#include "LargeMemory.h"

namespace zqvcrypto {

bool randomBytes(unsigned char* out, std::size_t size)
{
    return size <= INT_MAX && RAND_bytes(out, static_cast<int>(size)) == 1;
}

namespace {

// Argon2id's 128 MiB in huge pages: faulting it in a small page at a time
// took most of the derivation. The library wipes it before freeing.
int allocateArgon2Memory(std::uint8_t** memory, std::size_t bytes)
{
    *memory = mapLarge(bytes);
    return *memory != nullptr ? ARGON2_OK : ARGON2_MEMORY_ALLOCATION_ERROR;
}

void freeArgon2Memory(std::uint8_t* memory, std::size_t bytes)
{
    unmapLarge(memory, bytes);
}

} // namespace

bool argon2id(Bytes password,
              Bytes salt,
              const Argon2Params& params,
              unsigned char* out,
              std::size_t outSize,
              Bytes secret,
              Bytes associatedData)
{
    // argon2_context takes non-const pointers but only reads the inputs.
    argon2_context context{};
    context.out = out;
    context.outlen = static_cast<std::uint32_t>(outSize);
    context.pwd = const_cast<unsigned char*>(password.data());
    context.pwdlen = static_cast<std::uint32_t>(password.size());
    context.salt = const_cast<unsigned char*>(salt.data());
    context.saltlen = static_cast<std::uint32_t>(salt.size());
    context.secret = const_cast<unsigned char*>(secret.data());
    context.secretlen = static_cast<std::uint32_t>(secret.size());
    context.ad = const_cast<unsigned char*>(associatedData.data());
    context.adlen = static_cast<std::uint32_t>(associatedData.size());
    context.t_cost = params.iterations;
    context.m_cost = params.memoryKiB;
    context.lanes = params.lanes;
    context.threads = params.lanes;
    context.version = ARGON2_VERSION_13;
    context.flags = ARGON2_DEFAULT_FLAGS;
    context.allocate_cbk = allocateArgon2Memory;
    context.free_cbk = freeArgon2Memory;
    return argon2id_ctx(&context) == ARGON2_OK;
}

bool hkdfSha256(Bytes key, Bytes salt, Bytes info, unsigned char* out, std::size_t outSize)
{
    std::unique_ptr<EVP_KDF, decltype(&EVP_KDF_free)> kdf(EVP_KDF_fetch(nullptr, "HKDF", nullptr), EVP_KDF_free);
    if (!kdf)
        return false;
    std::unique_ptr<EVP_KDF_CTX, decltype(&EVP_KDF_CTX_free)> context(EVP_KDF_CTX_new(kdf.get()), EVP_KDF_CTX_free);
    if (!context)
        return false;
    char digest[] = "SHA256";
    OSSL_PARAM params[] = {
        OSSL_PARAM_construct_utf8_string(OSSL_KDF_PARAM_DIGEST, digest, 0),
        OSSL_PARAM_construct_octet_string(OSSL_KDF_PARAM_KEY, const_cast<unsigned char*>(key.data()), key.size()),
        OSSL_PARAM_construct_octet_string(OSSL_KDF_PARAM_SALT, const_cast<unsigned char*>(salt.data()), salt.size()),
        OSSL_PARAM_construct_octet_string(OSSL_KDF_PARAM_INFO, const_cast<unsigned char*>(info.data()), info.size()),
        OSSL_PARAM_construct_end(),
    };
    return EVP_KDF_derive(context.get(), out, outSize, params) == 1;
}

void sha256(Bytes data, unsigned char out[32])
{
    unsigned int size = 0;
    EVP_Digest(data.data(), data.size(), out, &size, EVP_sha256(), nullptr);
}

struct Gcm::Impl
{
    EVP_CIPHER_CTX* encrypt = nullptr;
    EVP_CIPHER_CTX* decrypt = nullptr;
    ~Impl()
    {
        EVP_CIPHER_CTX_free(encrypt);
        EVP_CIPHER_CTX_free(decrypt);
    }
};

Gcm::Gcm(const unsigned char* key)
    : m_impl(std::make_unique<Impl>())
{
    m_impl->encrypt = EVP_CIPHER_CTX_new();
    m_impl->decrypt = EVP_CIPHER_CTX_new();
    if (m_impl->encrypt == nullptr || m_impl->decrypt == nullptr ||
        EVP_EncryptInit_ex(m_impl->encrypt, EVP_aes_256_gcm(), nullptr, key, nullptr) != 1 ||
        EVP_DecryptInit_ex(m_impl->decrypt, EVP_aes_256_gcm(), nullptr, key, nullptr) != 1) {
        m_impl.reset();
    }
}

Gcm::~Gcm() = default;

bool Gcm::valid() const
{
    return m_impl != nullptr;
}

bool Gcm::seal(const unsigned char* nonce,
               Bytes aad,
               const unsigned char* in,
               std::size_t size,
               unsigned char* out,
               unsigned char* tag)
{
    if (!m_impl || size > INT_MAX || aad.size() > INT_MAX)
        return false;
    EVP_CIPHER_CTX* context = m_impl->encrypt;
    int length = 0;
    if (EVP_EncryptInit_ex(context, nullptr, nullptr, nullptr, nonce) != 1)
        return false;
    if (!aad.empty() && EVP_EncryptUpdate(context, nullptr, &length, aad.data(), static_cast<int>(aad.size())) != 1)
        return false;
    if (size > 0 && EVP_EncryptUpdate(context, out, &length, in, static_cast<int>(size)) != 1)
        return false;
    if (EVP_EncryptFinal_ex(context, out + size, &length) != 1)
        return false;
    return EVP_CIPHER_CTX_ctrl(context, EVP_CTRL_GCM_GET_TAG, static_cast<int>(kTagSize), tag) == 1;
}

bool Gcm::open(const unsigned char* nonce,
               Bytes aad,
               const unsigned char* in,
               std::size_t size,
               unsigned char* out,
               const unsigned char* tag)
{
    if (!m_impl || size > INT_MAX || aad.size() > INT_MAX)
        return false;
    EVP_CIPHER_CTX* context = m_impl->decrypt;
    int length = 0;
    if (EVP_DecryptInit_ex(context, nullptr, nullptr, nullptr, nonce) != 1)
        return false;
    if (!aad.empty() && EVP_DecryptUpdate(context, nullptr, &length, aad.data(), static_cast<int>(aad.size())) != 1)
        return false;
    if (size > 0 && EVP_DecryptUpdate(context, out, &length, in, static_cast<int>(size)) != 1)
        return false;
    if (EVP_CIPHER_CTX_ctrl(
            context, EVP_CTRL_GCM_SET_TAG, static_cast<int>(kTagSize), const_cast<unsigned char*>(tag)) != 1)
        return false;
    return EVP_DecryptFinal_ex(context, out + size, &length) == 1;
}

} // namespace zqvcrypto
