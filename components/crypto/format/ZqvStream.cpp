#include "ZqvStream.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <string_view>
#include <vector>

namespace zqvcrypto {
namespace {

constexpr std::size_t kChunksPerBlock = 16;
constexpr std::string_view kPayloadInfo = "ZQV1 payload key";

// Reads until the buffer is full or the input ends. -1 on error.
std::int64_t readFull(ByteSource& in, unsigned char* buffer, std::size_t size)
{
    std::size_t have = 0;
    while (have < size) {
        const std::int64_t n = in.read(buffer + have, size - have);
        if (n < 0)
            return -1;
        if (n == 0)
            break;
        have += static_cast<std::size_t>(n);
    }
    return static_cast<std::int64_t>(have);
}

// The cipher of the file's chunks: its key comes from the file key, bound to
// the whole header. Null when it cannot be made.
std::unique_ptr<Gcm> payloadCipher(const SecureBuffer& fileKey, const ZqvHeader& header, const HeaderBytes& bytes)
{
    std::vector<unsigned char> info(kPayloadInfo.begin(), kPayloadInfo.end());
    info.insert(info.end(), bytes.begin(), bytes.end());
    SecureBuffer key(Gcm::kKeySize);
    if (!hkdfSha256(Bytes(fileKey.data(), fileKey.size()),
                    Bytes(header.salt.data(), header.salt.size()),
                    Bytes(info.data(), info.size()),
                    key.data(),
                    key.size()))
        return nullptr;
    auto cipher = std::make_unique<Gcm>(key.data());
    return cipher->valid() ? std::move(cipher) : nullptr;
}

// Where each chunk's output goes: straight into the sink's own memory when it
// has room, otherwise into a staging buffer as large as the largest chunk so
// far, written out before the next chunk so the order holds. Output counts
// only once done().
class ChunkOutput
{
public:
    explicit ChunkOutput(ByteSink& out)
        : m_out(out)
    {
    }

    // Room for `size` bytes; null with `error` set when there is none.
    unsigned char* reserve(std::size_t size, CryptoError& error)
    {
        if (!flush()) {
            error = CryptoError::WriteFailed;
            return nullptr;
        }
        m_direct = m_out.space(size);
        if (m_direct != nullptr)
            return m_direct;
        if (m_staging.size() < size) {
            try {
                m_staging = SecureBuffer(size);
            } catch (const std::bad_alloc&) {
                error = CryptoError::OutOfMemory;
                return nullptr;
            }
        }
        return m_staging.data();
    }

    // The `size` bytes put where reserve() said are complete.
    CryptoError done(std::size_t size)
    {
        if (m_direct != nullptr)
            return m_out.commit(size) ? CryptoError::None : CryptoError::WriteFailed;
        m_pending = size;
        return CryptoError::None;
    }

    [[nodiscard]] bool flush()
    {
        const bool ok = m_pending == 0 || m_out.write(m_staging.data(), m_pending);
        m_pending = 0;
        return ok;
    }

private:
    ByteSink& m_out;
    SecureBuffer m_staging;
    std::size_t m_pending = 0;
    unsigned char* m_direct = nullptr;
};

// Walks the input in units, always holding the last full unit back until the
// input is known to go on, so the final unit is recognised without knowing
// the length in advance. `handle(data, size, index, last)` treats one unit.
// The buffer starts at one unit, or at what is left of a smaller input, and
// doubles up to a block of units only as the input turns out longer, so small
// files cost small allocations; it is wiped when released, as plaintext
// passes through it.
template <typename Handler>
CryptoError
forEachUnit(ByteSource& in, std::size_t unit, const StreamProgress& progress, std::uint64_t& consumed, Handler&& handle)
{
    const std::size_t fullCapacity = unit * kChunksPerBlock;
    std::size_t capacity = unit;
    // One byte more than expected, so that an input of the expected size is
    // seen to end without a second buffer.
    if (const std::optional<std::uint64_t> left = in.remaining(); left && *left < unit)
        capacity = static_cast<std::size_t>(*left) + 1;
    SecureBuffer buffer;
    try {
        buffer = SecureBuffer(capacity);
    } catch (const std::bad_alloc&) {
        return CryptoError::OutOfMemory;
    }
    std::size_t have = 0;
    std::uint64_t index = 0;
    for (;;) {
        const std::int64_t got = readFull(in, buffer.data() + have, capacity - have);
        if (got < 0)
            return CryptoError::ReadFailed;
        have += static_cast<std::size_t>(got);
        if (have == capacity && capacity < fullCapacity) {
            try {
                SecureBuffer larger(std::min(capacity * 2, fullCapacity));
                std::memcpy(larger.data(), buffer.data(), have);
                buffer = std::move(larger);
            } catch (const std::bad_alloc&) {
                return CryptoError::OutOfMemory;
            }
            capacity = buffer.size();
            continue;
        }
        const bool atEnd = have < capacity;
        if (!atEnd) {
            for (std::size_t i = 0; i + 1 < kChunksPerBlock; ++i) {
                if (CryptoError e = handle(buffer.data() + i * unit, unit, index++, false); e != CryptoError::None)
                    return e;
            }
            consumed += capacity - unit;
            if (progress)
                progress(consumed);
            std::memmove(buffer.data(), buffer.data() + capacity - unit, unit);
            have = unit;
            continue;
        }
        // The end: every remaining unit, the last one flagged as final. An
        // empty remainder is one empty final unit.
        std::size_t offset = 0;
        do {
            const std::size_t size = std::min(unit, have - offset);
            const bool last = offset + size >= have;
            if (CryptoError e = handle(buffer.data() + offset, size, index++, last); e != CryptoError::None)
                return e;
            offset += size;
        } while (offset < have);
        consumed += have;
        if (progress)
            progress(consumed);
        return CryptoError::None;
    }
}

// Reserves `size` bytes of the output, has `fill` write them and hands them
// on; `failure` when `fill` could not.
template <typename Fill>
CryptoError writeChunk(ChunkOutput& output, std::size_t size, CryptoError failure, const Fill& fill)
{
    CryptoError error = CryptoError::None;
    unsigned char* target = output.reserve(size, error);
    if (target == nullptr)
        return error;
    if (!fill(target))
        return failure;
    return output.done(size);
}

// The stream's result once every chunk went through: what is still buffered is written too.
CryptoError flushed(CryptoError result, ChunkOutput& output)
{
    if (result != CryptoError::None)
        return result;
    return output.flush() ? CryptoError::None : CryptoError::WriteFailed;
}

bool sameCost(const Argon2Params& a, const Argon2Params& b)
{
    return a.memoryKiB == b.memoryKiB && a.iterations == b.iterations && a.lanes == b.lanes;
}

} // namespace

const DerivedKey* KeyRing::find(const std::array<unsigned char, zqv::kSaltSize>& salt, const Argon2Params& kdf) const
{
    for (const DerivedKey& key : m_keys) {
        if (key.salt == salt && sameCost(key.kdf, kdf))
            return &key;
    }
    return nullptr;
}

const DerivedKey*
KeyRing::derive(Bytes password, const std::array<unsigned char, zqv::kSaltSize>& salt, const Argon2Params& kdf)
{
    DerivedKey key;
    key.salt = salt;
    key.kdf = kdf;
    key.key = SecureBuffer(Gcm::kKeySize);
    if (!argon2id(password, Bytes(salt.data(), salt.size()), kdf, key.key.data(), key.key.size()))
        return nullptr;
    m_keys.push_back(std::move(key));
    return &m_keys.back();
}

const DerivedKey*
KeyRing::keyFor(Bytes password, const std::array<unsigned char, zqv::kSaltSize>& salt, const Argon2Params& kdf)
{
    const std::lock_guard<std::mutex> guard(m_lock);
    if (const DerivedKey* known = find(salt, kdf))
        return known;
    return derive(password, salt, kdf);
}

const DerivedKey* KeyRing::writingKey(Bytes password, const Argon2Params& kdf)
{
    const std::lock_guard<std::mutex> guard(m_lock);
    if (m_writing != nullptr && sameCost(m_writing->kdf, kdf))
        return m_writing;
    std::array<unsigned char, zqv::kSaltSize> salt{};
    if (!kdfParamsAcceptable(kdf) || !randomBytes(salt.data(), salt.size()))
        return nullptr;
    m_writing = derive(password, salt, kdf);
    return m_writing;
}

void KeyRing::clear()
{
    const std::lock_guard<std::mutex> guard(m_lock);
    m_writing = nullptr;
    m_keys.clear();
}

CryptoError encryptStream(ByteSource& in,
                          ByteSink& out,
                          Bytes password,
                          const Argon2Params& kdf,
                          std::uint32_t chunkSize,
                          const StreamProgress& progress,
                          DerivedKey* keep,
                          const DerivedKey* reuse)
{
    if (!kdfParamsAcceptable(kdf) || chunkSize < zqv::kMinChunkSize || chunkSize > zqv::kMaxChunkSize ||
        chunkSize % 4096 != 0)
        return CryptoError::BadParameters;

    ZqvHeader header;
    header.kdf = kdf;
    header.chunkSize = chunkSize;
    if (reuse != nullptr && (reuse->key.size() != Gcm::kKeySize || !sameCost(reuse->kdf, kdf)))
        return CryptoError::InvalidKey;
    SecureBuffer fileKey(zqv::kFileKeySize);
    if (reuse != nullptr)
        header.salt = reuse->salt;
    else if (!randomBytes(header.salt.data(), header.salt.size()))
        return CryptoError::InvalidKey;
    if (!randomBytes(header.keyNonce.data(), header.keyNonce.size()) || !randomBytes(fileKey.data(), fileKey.size()))
        return CryptoError::InvalidKey;

    SecureBuffer wrapKey(Gcm::kKeySize);
    if (reuse != nullptr)
        std::memcpy(wrapKey.data(), reuse->key.data(), wrapKey.size());
    else if (!argon2id(password, Bytes(header.salt.data(), header.salt.size()), kdf, wrapKey.data(), wrapKey.size()))
        return CryptoError::OutOfMemory;
    if (keep != nullptr) {
        keep->salt = header.salt;
        keep->kdf = kdf;
        keep->key = SecureBuffer(wrapKey.data(), wrapKey.size());
    }
    Gcm wrap(wrapKey.data());
    // The seal covers every field before it, so it is computed over a first
    // serialisation and then stored in the final one.
    const HeaderBytes unsealed = serializeHeader(header);
    if (!wrap.seal(header.keyNonce.data(),
                   keySealAad(unsealed),
                   fileKey.data(),
                   fileKey.size(),
                   header.sealedKey.data(),
                   header.keyTag.data()))
        return CryptoError::InvalidKey;
    const HeaderBytes bytes = serializeHeader(header);

    const std::unique_ptr<Gcm> payload = payloadCipher(fileKey, header, bytes);
    if (!payload)
        return CryptoError::InvalidKey;
    Gcm& cipher = *payload;
    if (!out.write(bytes.data(), bytes.size()))
        return CryptoError::WriteFailed;

    ChunkOutput output(out);
    std::uint64_t consumed = 0;
    unsigned char nonce[Gcm::kNonceSize];
    const CryptoError result = forEachUnit(
        in,
        chunkSize,
        [&](std::uint64_t done) {
            if (progress)
                progress(done);
        },
        consumed,
        [&](const unsigned char* data, std::size_t size, std::uint64_t index, bool last) {
            chunkNonce(index, last, nonce);
            return writeChunk(output, size + Gcm::kTagSize, CryptoError::InvalidKey, [&](unsigned char* target) {
                return cipher.seal(nonce, {}, data, size, target, target + size);
            });
        });
    return flushed(result, output);
}

// Reads the header and opens the file key with the password: everything up to
// the first payload byte.
static CryptoError openFileKey(ByteSource& in,
                               Bytes password,
                               HeaderBytes& bytes,
                               ZqvHeader& header,
                               SecureBuffer& fileKey,
                               const DerivedKey* known = nullptr,
                               KeyRing* ring = nullptr)
{
    const std::int64_t got = readFull(in, bytes.data(), bytes.size());
    if (got < 0)
        return CryptoError::ReadFailed;
    if (static_cast<std::size_t>(got) < zqv::kMagic.size() ||
        !std::equal(zqv::kMagic.begin(), zqv::kMagic.end(), bytes.begin()))
        return CryptoError::NotEncrypted;
    if (static_cast<std::size_t>(got) < bytes.size())
        return CryptoError::Damaged;

    if (const CryptoError invalid = parseHeader(bytes, header); invalid != CryptoError::None)
        return invalid;

    SecureBuffer wrapKey(Gcm::kKeySize);
    const bool useKnown = known != nullptr && known->key.size() == wrapKey.size() && known->salt == header.salt &&
                          sameCost(known->kdf, header.kdf);
    const DerivedKey* held = useKnown          ? known
                             : ring != nullptr ? ring->keyFor(password, header.salt, header.kdf)
                                               : nullptr;
    if (ring != nullptr && held == nullptr)
        return CryptoError::OutOfMemory;
    if (held != nullptr)
        std::memcpy(wrapKey.data(), held->key.data(), wrapKey.size());
    else if (!argon2id(
                 password, Bytes(header.salt.data(), header.salt.size()), header.kdf, wrapKey.data(), wrapKey.size()))
        return CryptoError::OutOfMemory;
    Gcm wrap(wrapKey.data());
    fileKey = SecureBuffer(zqv::kFileKeySize);
    if (!wrap.open(header.keyNonce.data(),
                   keySealAad(bytes),
                   header.sealedKey.data(),
                   header.sealedKey.size(),
                   fileKey.data(),
                   header.keyTag.data()))
        return CryptoError::WrongPassword;
    return CryptoError::None;
}

CryptoError checkPasswordStream(ByteSource& in, Bytes password, KeyRing* ring)
{
    HeaderBytes bytes{};
    ZqvHeader header;
    SecureBuffer fileKey;
    return openFileKey(in, password, bytes, header, fileKey, nullptr, ring);
}

CryptoError decryptStream(ByteSource& in,
                          ByteSink& out,
                          Bytes password,
                          const StreamProgress& progress,
                          const DerivedKey* known,
                          KeyRing* ring,
                          const std::atomic<bool>* stop)
{
    HeaderBytes bytes{};
    ZqvHeader header;
    SecureBuffer fileKey;
    if (const CryptoError opened = openFileKey(in, password, bytes, header, fileKey, known, ring);
        opened != CryptoError::None)
        return opened;

    const std::unique_ptr<Gcm> payload = payloadCipher(fileKey, header, bytes);
    if (!payload)
        return CryptoError::InvalidKey;
    Gcm& cipher = *payload;

    const std::size_t unit = std::size_t{header.chunkSize} + Gcm::kTagSize;
    ChunkOutput output(out);
    std::uint64_t consumed = bytes.size();
    unsigned char nonce[Gcm::kNonceSize];
    const CryptoError result = forEachUnit(
        in, unit, progress, consumed, [&](const unsigned char* data, std::size_t size, std::uint64_t index, bool last) {
            if (stop != nullptr && stop->load(std::memory_order_relaxed))
                return CryptoError::Cancelled;
            // Only the final chunk may be short, and no chunk is shorter than its tag.
            if (size < Gcm::kTagSize)
                return CryptoError::Damaged;
            const std::size_t plainSize = size - Gcm::kTagSize;
            chunkNonce(index, last, nonce);
            return writeChunk(output, plainSize, CryptoError::Damaged, [&](unsigned char* target) {
                return cipher.open(nonce, {}, data, plainSize, target, data + plainSize);
            });
        });
    return flushed(result, output);
}

} // namespace zqvcrypto
