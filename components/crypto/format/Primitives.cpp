#include "Primitives.h"

#include <climits>
#include <cstdint>
#include <cstring>
#include <vector>

#include <argon2.h>
#include <openssl/core_names.h>
#include <openssl/crypto.h>
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
    // Fetched once for the process, as every file derives its payload key here.
    static EVP_KDF* const kdf = EVP_KDF_fetch(nullptr, "HKDF", nullptr);
    if (kdf == nullptr)
        return false;
    std::unique_ptr<EVP_KDF_CTX, decltype(&EVP_KDF_CTX_free)> context(EVP_KDF_CTX_new(kdf), EVP_KDF_CTX_free);
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

namespace {

// Fetched once for the process: the implicit fetch of EVP_aes_256_gcm() on
// every context set-up takes a lock that many small files on many threads
// would queue on.
const EVP_CIPHER* aes256Gcm()
{
    static EVP_CIPHER* const fetched = EVP_CIPHER_fetch(nullptr, "AES-256-GCM", nullptr);
    return fetched != nullptr ? fetched : EVP_aes_256_gcm();
}

} // namespace

// Each direction's context is set up on its first use: most keys only seal
// or only open, and a small file's key does so once.
struct Gcm::Impl
{
    unsigned char key[Gcm::kKeySize] = {};
    EVP_CIPHER_CTX* encrypt = nullptr;
    EVP_CIPHER_CTX* decrypt = nullptr;
    ~Impl()
    {
        OPENSSL_cleanse(key, sizeof key);
        EVP_CIPHER_CTX_free(encrypt);
        EVP_CIPHER_CTX_free(decrypt);
    }
    EVP_CIPHER_CTX* context(bool forEncryption)
    {
        EVP_CIPHER_CTX*& context = forEncryption ? encrypt : decrypt;
        if (context != nullptr)
            return context;
        context = EVP_CIPHER_CTX_new();
        if (context != nullptr &&
            EVP_CipherInit_ex(context, aes256Gcm(), nullptr, key, nullptr, forEncryption ? 1 : 0) != 1) {
            EVP_CIPHER_CTX_free(context);
            context = nullptr;
        }
        return context;
    }
    // Sets the nonce and runs the additional data and the text through one
    // direction's context; the context for the final step, or null.
    EVP_CIPHER_CTX* run(bool forEncryption,
                        const unsigned char* nonce,
                        Bytes aad,
                        const unsigned char* in,
                        std::size_t size,
                        unsigned char* out)
    {
        if (size > INT_MAX || aad.size() > INT_MAX)
            return nullptr;
        EVP_CIPHER_CTX* context = this->context(forEncryption);
        if (context == nullptr)
            return nullptr;
        const int direction = forEncryption ? 1 : 0;
        int length = 0;
        if (EVP_CipherInit_ex(context, nullptr, nullptr, nullptr, nonce, direction) != 1)
            return nullptr;
        if (!aad.empty() && EVP_CipherUpdate(context, nullptr, &length, aad.data(), static_cast<int>(aad.size())) != 1)
            return nullptr;
        if (size > 0 && EVP_CipherUpdate(context, out, &length, in, static_cast<int>(size)) != 1)
            return nullptr;
        return context;
    }
};

Gcm::Gcm(const unsigned char* key)
    : m_impl(aes256Gcm() != nullptr ? std::make_unique<Impl>() : nullptr)
{
    if (m_impl)
        std::memcpy(m_impl->key, key, kKeySize);
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
    EVP_CIPHER_CTX* context = m_impl ? m_impl->run(true, nonce, aad, in, size, out) : nullptr;
    int length = 0;
    return context != nullptr && EVP_EncryptFinal_ex(context, out + size, &length) == 1 &&
           EVP_CIPHER_CTX_ctrl(context, EVP_CTRL_GCM_GET_TAG, static_cast<int>(kTagSize), tag) == 1;
}

bool Gcm::open(const unsigned char* nonce,
               Bytes aad,
               const unsigned char* in,
               std::size_t size,
               unsigned char* out,
               const unsigned char* tag)
{
    EVP_CIPHER_CTX* context = m_impl ? m_impl->run(false, nonce, aad, in, size, out) : nullptr;
    int length = 0;
    return context != nullptr &&
           EVP_CIPHER_CTX_ctrl(
               context, EVP_CTRL_GCM_SET_TAG, static_cast<int>(kTagSize), const_cast<unsigned char*>(tag)) == 1 &&
           EVP_DecryptFinal_ex(context, out + size, &length) == 1;
}

} // namespace zqvcrypto
