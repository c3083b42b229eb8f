#include "RsaTextKey.h"

#include <array>

#include <openssl/bn.h>
#include <openssl/core_names.h>
#include <openssl/evp.h>
#include <openssl/param_build.h>
#include <openssl/rsa.h>

namespace zqvcrypto {
namespace {

constexpr char kDomainLabel[] = "Cryptelle text RSA-3072 key pair, version 1";
constexpr std::size_t kPrimeBytes = RsaTextKey::kModulusBytes / 2;
constexpr int kPrimeBits = static_cast<int>(kPrimeBytes * 8);
constexpr BN_ULONG kPublicExponent = 65537;
// Give up long after any real seed would have produced its primes (about 530
// candidates each on average); a stream cannot run dry, this only bounds a fault.
constexpr int kMaxCandidates = 200000;

struct BnFree
{
    void operator()(BIGNUM* n) const { BN_clear_free(n); }
};
using Bn = std::unique_ptr<BIGNUM, BnFree>;

Bn newBn()
{
    return Bn(BN_secure_new());
}

// AES-256-CTR over zero bytes with the seed as key and a zero counter block:
// a deterministic stream that is fixed by the AES standard alone.
class SeedStream
{
public:
    explicit SeedStream(const unsigned char* seed)
        : m_context(EVP_CIPHER_CTX_new(), EVP_CIPHER_CTX_free)
    {
        const std::array<unsigned char, 16> counter{};
        m_ok = m_context && EVP_EncryptInit_ex(m_context.get(), EVP_aes_256_ctr(), nullptr, seed, counter.data()) == 1;
    }

    [[nodiscard]] bool next(unsigned char* out, std::size_t size)
    {
        static const std::array<unsigned char, kPrimeBytes> zeros{};
        int written = 0;
        return m_ok && size <= zeros.size() &&
               EVP_EncryptUpdate(m_context.get(), out, &written, zeros.data(), static_cast<int>(size)) == 1 &&
               static_cast<std::size_t>(written) == size;
    }

private:
    std::unique_ptr<EVP_CIPHER_CTX, decltype(&EVP_CIPHER_CTX_free)> m_context;
    bool m_ok = false;
};

// The first candidate from the stream that is a probable prime with p - 1
// prime to the public exponent. Each candidate is a fresh 192-byte draw,
// big-endian, with its two top bits and its low bit set.
Bn nextPrime(SeedStream& stream, BN_CTX* context, const BIGNUM* other)
{
    SecureBuffer bytes(kPrimeBytes);
    Bn candidate = newBn();
    Bn difference = newBn();
    if (!candidate || !difference)
        return nullptr;
    for (int i = 0; i < kMaxCandidates; ++i) {
        if (!stream.next(bytes.data(), bytes.size()) ||
            BN_bin2bn(bytes.data(), static_cast<int>(bytes.size()), candidate.get()) == nullptr ||
            BN_set_bit(candidate.get(), kPrimeBits - 1) != 1 || BN_set_bit(candidate.get(), kPrimeBits - 2) != 1 ||
            BN_set_bit(candidate.get(), 0) != 1)
            return nullptr;
        const BN_ULONG remainder = BN_mod_word(candidate.get(), kPublicExponent);
        if (remainder == static_cast<BN_ULONG>(-1))
            return nullptr;
        if (remainder == 1)
            continue;
        if (other != nullptr) {
            // The second prime must differ from the first within its top 100 bits.
            if (BN_sub(difference.get(), candidate.get(), other) != 1)
                return nullptr;
            if (BN_num_bits(difference.get()) <= kPrimeBits - 100)
                continue;
        }
        const int prime = BN_check_prime(candidate.get(), context, nullptr);
        if (prime < 0)
            return nullptr;
        if (prime == 1)
            return candidate;
    }
    return nullptr;
}

} // namespace

struct RsaTextKey::Impl
{
    std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)> key{nullptr, EVP_PKEY_free};
    std::vector<unsigned char> modulus;
};

RsaTextKey::RsaTextKey()
    : m_impl(std::make_unique<Impl>())
{
}

RsaTextKey::~RsaTextKey() = default;

Bytes RsaTextKey::domainLabel()
{
    return Bytes(reinterpret_cast<const unsigned char*>(kDomainLabel), sizeof kDomainLabel - 1);
}

TextError RsaTextKey::derive(Bytes keyText, const Argon2Params& kdf)
{
    SecureBuffer seed(kSeedSize);
    if (!argon2id(keyText, domainLabel(), kdf, seed.data(), seed.size()))
        return TextError::KeyFailed;
    return deriveFromSeed(seed.data()) ? TextError::None : TextError::Failed;
}

bool RsaTextKey::deriveFromSeed(const unsigned char seed[kSeedSize])
{
    m_impl->key.reset();
    m_impl->modulus.clear();
    std::unique_ptr<BN_CTX, decltype(&BN_CTX_free)> context(BN_CTX_secure_new(), BN_CTX_free);
    if (!context)
        return false;
    SeedStream stream(seed);
    Bn p = nextPrime(stream, context.get(), nullptr);
    if (!p)
        return false;
    Bn q = nextPrime(stream, context.get(), p.get());
    if (!q)
        return false;

    Bn n = newBn(), e = newBn(), d = newBn(), p1 = newBn(), q1 = newBn(), gcd = newBn(), lcm = newBn();
    Bn dp = newBn(), dq = newBn(), qinv = newBn();
    if (!n || !e || !d || !p1 || !q1 || !gcd || !lcm || !dp || !dq || !qinv)
        return false;
    // d = e^-1 mod lcm(p - 1, q - 1); the CRT values follow from it.
    if (BN_mul(n.get(), p.get(), q.get(), context.get()) != 1 || BN_set_word(e.get(), kPublicExponent) != 1 ||
        BN_sub(p1.get(), p.get(), BN_value_one()) != 1 || BN_sub(q1.get(), q.get(), BN_value_one()) != 1 ||
        BN_gcd(gcd.get(), p1.get(), q1.get(), context.get()) != 1 ||
        BN_mul(lcm.get(), p1.get(), q1.get(), context.get()) != 1 ||
        BN_div(lcm.get(), nullptr, lcm.get(), gcd.get(), context.get()) != 1 ||
        BN_mod_inverse(d.get(), e.get(), lcm.get(), context.get()) == nullptr ||
        BN_mod(dp.get(), d.get(), p1.get(), context.get()) != 1 ||
        BN_mod(dq.get(), d.get(), q1.get(), context.get()) != 1 ||
        BN_mod_inverse(qinv.get(), q.get(), p.get(), context.get()) == nullptr)
        return false;
    if (BN_num_bits(n.get()) != static_cast<int>(kModulusBits))
        return false;

    std::unique_ptr<OSSL_PARAM_BLD, decltype(&OSSL_PARAM_BLD_free)> build(OSSL_PARAM_BLD_new(), OSSL_PARAM_BLD_free);
    if (!build || OSSL_PARAM_BLD_push_BN(build.get(), OSSL_PKEY_PARAM_RSA_N, n.get()) != 1 ||
        OSSL_PARAM_BLD_push_BN(build.get(), OSSL_PKEY_PARAM_RSA_E, e.get()) != 1 ||
        OSSL_PARAM_BLD_push_BN(build.get(), OSSL_PKEY_PARAM_RSA_D, d.get()) != 1 ||
        OSSL_PARAM_BLD_push_BN(build.get(), OSSL_PKEY_PARAM_RSA_FACTOR1, p.get()) != 1 ||
        OSSL_PARAM_BLD_push_BN(build.get(), OSSL_PKEY_PARAM_RSA_FACTOR2, q.get()) != 1 ||
        OSSL_PARAM_BLD_push_BN(build.get(), OSSL_PKEY_PARAM_RSA_EXPONENT1, dp.get()) != 1 ||
        OSSL_PARAM_BLD_push_BN(build.get(), OSSL_PKEY_PARAM_RSA_EXPONENT2, dq.get()) != 1 ||
        OSSL_PARAM_BLD_push_BN(build.get(), OSSL_PKEY_PARAM_RSA_COEFFICIENT1, qinv.get()) != 1)
        return false;
    std::unique_ptr<OSSL_PARAM, decltype(&OSSL_PARAM_free)> params(OSSL_PARAM_BLD_to_param(build.get()),
                                                                   OSSL_PARAM_free);
    std::unique_ptr<EVP_PKEY_CTX, decltype(&EVP_PKEY_CTX_free)> make(
        EVP_PKEY_CTX_new_from_name(nullptr, "RSA", nullptr), EVP_PKEY_CTX_free);
    EVP_PKEY* key = nullptr;
    if (!params || !make || EVP_PKEY_fromdata_init(make.get()) != 1 ||
        EVP_PKEY_fromdata(make.get(), &key, EVP_PKEY_KEYPAIR, params.get()) != 1)
        return false;
    m_impl->key.reset(key);
    m_impl->modulus.resize(kModulusBytes);
    if (BN_bn2binpad(n.get(), m_impl->modulus.data(), static_cast<int>(kModulusBytes)) !=
        static_cast<int>(kModulusBytes)) {
        m_impl->key.reset();
        m_impl->modulus.clear();
        return false;
    }
    return true;
}

namespace {

using PkeyContext = std::unique_ptr<EVP_PKEY_CTX, decltype(&EVP_PKEY_CTX_free)>;

bool setOaep(EVP_PKEY_CTX* context)
{
    return EVP_PKEY_CTX_set_rsa_padding(context, RSA_PKCS1_OAEP_PADDING) == 1 &&
           EVP_PKEY_CTX_set_rsa_oaep_md(context, EVP_sha256()) == 1 &&
           EVP_PKEY_CTX_set_rsa_mgf1_md(context, EVP_sha256()) == 1;
}

} // namespace

bool RsaTextKey::wrap(Bytes secret, std::vector<unsigned char>& out) const
{
    SecureBuffer wrapped;
    if (!oaep(true, secret, wrapped))
        return false;
    out.insert(out.end(), wrapped.data(), wrapped.data() + wrapped.size());
    return true;
}

bool RsaTextKey::unwrap(Bytes wrapped, SecureBuffer& out) const
{
    return oaep(false, wrapped, out);
}

bool RsaTextKey::oaep(bool encrypt, Bytes input, SecureBuffer& out) const
{
    if (!m_impl->key)
        return false;
    const auto init = encrypt ? EVP_PKEY_encrypt_init : EVP_PKEY_decrypt_init;
    const auto apply = encrypt ? EVP_PKEY_encrypt : EVP_PKEY_decrypt;
    PkeyContext context(EVP_PKEY_CTX_new_from_pkey(nullptr, m_impl->key.get(), nullptr), EVP_PKEY_CTX_free);
    std::size_t size = 0;
    if (!context || init(context.get()) != 1 || !setOaep(context.get()) ||
        apply(context.get(), nullptr, &size, input.data(), input.size()) != 1)
        return false;
    // The room asked for is an upper bound; the result is cut to what came.
    SecureBuffer result(size);
    if (apply(context.get(), result.data(), &size, input.data(), input.size()) != 1)
        return false;
    out = SecureBuffer(result.data(), size);
    return true;
}

std::vector<unsigned char> RsaTextKey::modulus() const
{
    return m_impl->modulus;
}

} // namespace zqvcrypto
