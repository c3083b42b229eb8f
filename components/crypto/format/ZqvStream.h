#pragma once

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
};

// Counts how many input bytes have been consumed so far.
using StreamProgress = std::function<void(std::uint64_t consumed)>;

[[nodiscard]] CryptoError encryptStream(ByteSource& in,
                                        ByteSink& out,
                                        Bytes password,
                                        const Argon2Params& kdf,
                                        std::uint32_t chunkSize = zqv::kDefaultChunkSize,
                                        const StreamProgress& progress = {});

// Writes plaintext to `out` as chunks are authenticated; the caller must treat
// the output as valid only when this returns None.
[[nodiscard]] CryptoError
decryptStream(ByteSource& in, ByteSink& out, Bytes password, const StreamProgress& progress = {});

// Reads only the header and tells whether the password opens it: None, or the
// error decryptStream would give before its first payload byte.
[[nodiscard]] CryptoError checkPasswordStream(ByteSource& in, Bytes password);

} // namespace zqvcrypto
