#pragma once

#include <array>
#include <cstdint>
#include <functional>

#include "CryptoError.h"
#include "Primitives.h"
#include "ZqvFormat.h"

namespace zqvcrypto {

class ByteSource
{
public:
    virtual ~ByteSource() = default;
    // Bytes read, 0 at the end, -1 on error.
    virtual std::int64_t read(unsigned char* buffer, std::size_t size) = 0;
};

class ByteSink
{
public:
    virtual ~ByteSink() = default;
    [[nodiscard]] virtual bool write(const unsigned char* data, std::size_t size) = 0;
    // Room for at least `minimum` bytes to be filled in place, which saves a
    // copy; null when the sink offers none (then use write). What is put
    // there counts only once committed.
    [[nodiscard]] virtual unsigned char* space(std::size_t minimum)
    {
        static_cast<void>(minimum);
        return nullptr;
    }
    [[nodiscard]] virtual bool commit(std::size_t size)
    {
        static_cast<void>(size);
        return false;
    }
};

// The key a password gives for one header's salt and cost. Kept from writing
// a file, it lets the file be read back and checked without deriving it again.
struct DerivedKey
{
    std::array<unsigned char, zqv::kSaltSize> salt{};
    Argon2Params kdf;
    SecureBuffer key;
};

// Counts how many input bytes have been consumed so far.
using StreamProgress = std::function<void(std::uint64_t consumed)>;

[[nodiscard]] CryptoError encryptStream(ByteSource& in,
                                        ByteSink& out,
                                        Bytes password,
                                        const Argon2Params& kdf,
                                        std::uint32_t chunkSize = zqv::kDefaultChunkSize,
                                        const StreamProgress& progress = {},
                                        DerivedKey* keep = nullptr);

// Writes plaintext to `out` as chunks are authenticated; the caller must treat
// the output as valid only when this returns None. With `known` matching the
// header's salt and cost, its key is used instead of deriving one from the
// password; everything is still authenticated.
[[nodiscard]] CryptoError decryptStream(ByteSource& in,
                                        ByteSink& out,
                                        Bytes password,
                                        const StreamProgress& progress = {},
                                        const DerivedKey* known = nullptr);

// Reads only the header and tells whether the password opens it: None, or the
// error decryptStream would give before its first payload byte.
[[nodiscard]] CryptoError checkPasswordStream(ByteSource& in, Bytes password);

} // namespace zqvcrypto
