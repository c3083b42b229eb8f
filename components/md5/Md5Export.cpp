#include <cstring>

#include <openssl/evp.h>

#include "zqvmd5.h"

namespace {

// What lives in the caller's 88 bytes. OpenSSL's own MD5 state is larger than
// that (and its direct MD5 calls are deprecated), so the context keeps a
// handle instead.
struct Context
{
    std::uint32_t magic;
    std::uint32_t failed;
    EVP_MD_CTX* state;
};
static_assert(sizeof(Context) <= kMd5ContextSize);

constexpr std::uint32_t kLive = 0x6d643521;

Context* asContext(void* context)
{
    return static_cast<Context*>(context);
}

} // namespace

extern "C" {

__attribute__((visibility("default"))) void MD5Init(void* context)
{
    Context* c = asContext(context);
    c->magic = kLive;
    c->state = EVP_MD_CTX_new();
    c->failed = c->state == nullptr || EVP_DigestInit_ex(c->state, EVP_md5(), nullptr) != 1 ? 1 : 0;
}

__attribute__((visibility("default"))) void MD5Update(void* context, const unsigned char* bytes, std::uint32_t length)
{
    Context* c = asContext(context);
    if (c->magic != kLive || c->failed != 0 || length == 0)
        return;
    if (EVP_DigestUpdate(c->state, bytes, length) != 1)
        c->failed = 1;
}

__attribute__((visibility("default"))) void MD5Final(unsigned char* digest, void* context)
{
    Context* c = asContext(context);
    unsigned int size = 0;
    // A context that failed gives no digest at all rather than a wrong one that looks right.
    const bool ok = c->magic == kLive && c->failed == 0 && EVP_DigestFinal_ex(c->state, digest, &size) == 1 &&
                    size == kMd5DigestSize;
    if (!ok)
        std::memset(digest, 0, kMd5DigestSize);
    if (c->magic == kLive)
        EVP_MD_CTX_free(c->state);
    std::memset(context, 0, kMd5ContextSize);
}
}
