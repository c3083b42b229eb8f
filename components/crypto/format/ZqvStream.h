#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>

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
    // How many bytes are still to come, when known: a small file is then read
    // into a buffer of its own size, not one of a whole chunk. Only a hint;
    // the end is where read() says it is.
    [[nodiscard]] virtual std::optional<std::uint64_t> remaining() const { return std::nullopt; }
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

// The keys one password gives, by salt and cost, so that many files that
// share them cost one derivation: the key new files are written with, and
// every key met while reading. A ring serves one password only. Safe to use
// from several threads at once; a key it gave stays valid until clear().
class KeyRing
{
public:
    // The key for this salt and cost, derived from the password on first
    // use; null when the derivation fails. The password decides the key, so
    // it is kept whether or not it opens a file.
    [[nodiscard]] const DerivedKey*
    keyFor(Bytes password, const std::array<unsigned char, zqv::kSaltSize>& salt, const Argon2Params& kdf);
    // The key new files of this cost are written with, under a random salt
    // drawn the first time; null when that fails.
    [[nodiscard]] const DerivedKey* writingKey(Bytes password, const Argon2Params& kdf);
    void clear();

private:
    [[nodiscard]] const DerivedKey* find(const std::array<unsigned char, zqv::kSaltSize>& salt,
                                         const Argon2Params& kdf) const;
    [[nodiscard]] const DerivedKey*
    derive(Bytes password, const std::array<unsigned char, zqv::kSaltSize>& salt, const Argon2Params& kdf);

    // Derivations run under the lock: they are the costly, memory-hungry
    // part, and two threads meeting one salt must not derive it twice.
    std::mutex m_lock;
    std::deque<DerivedKey> m_keys; // a deque, so a key given out never moves
    const DerivedKey* m_writing = nullptr;
};

// Counts how many input bytes have been consumed so far.
using StreamProgress = std::function<void(std::uint64_t consumed)>;

[[nodiscard]] CryptoError encryptStream(ByteSource& in,
                                        ByteSink& out,
                                        Bytes password,
                                        const Argon2Params& kdf,
                                        std::uint32_t chunkSize = zqv::kDefaultChunkSize,
                                        const StreamProgress& progress = {},
                                        DerivedKey* keep = nullptr,
                                        const DerivedKey* reuse = nullptr);

// With `reuse`, the header takes its salt and cost and the file key is sealed
// with its key instead of one derived from the password: the file key, the key
// nonce and so the payload key are still this file's own and random.

// Writes plaintext to `out` as chunks are authenticated; the caller must treat
// the output as valid only when this returns None. With `known` matching the
// header's salt and cost, its key is used instead of deriving one from the
// password; everything is still authenticated. With `ring`, the key comes
// from it (derived there when it has none for the header yet). Once `stop`
// is set, it ends with Cancelled before the next chunk; what `out` got by then
// is a part only, for the caller to drop.
[[nodiscard]] CryptoError decryptStream(ByteSource& in,
                                        ByteSink& out,
                                        Bytes password,
                                        const StreamProgress& progress = {},
                                        const DerivedKey* known = nullptr,
                                        KeyRing* ring = nullptr,
                                        const std::atomic<bool>* stop = nullptr);

// Reads only the header and tells whether the password opens it: None, or the
// error decryptStream would give before its first payload byte.
[[nodiscard]] CryptoError checkPasswordStream(ByteSource& in, Bytes password, KeyRing* ring = nullptr);

} // namespace zqvcrypto
