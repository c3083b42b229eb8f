#include "AsyncFileSink.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include <FileSteps.h>
#include <fcntl.h>
#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include "LargeMemory.h"

namespace zqvcrypto {
namespace {

// Writes are cut to this size (see the class comment).
constexpr std::size_t kBufferedWrite = 512u << 10;

// All of a reader's or writer's blocks, in one mapping (see LargeMemory.h),
// aligned as direct reads need on every device we expect (4096 bytes); a
// refused direct read falls back to the ordinary way.
std::vector<unsigned char*> allocateBlocks(std::size_t count, std::size_t size)
{
    std::vector<unsigned char*> blocks;
    unsigned char* region = mapLarge(count * size);
    for (std::size_t i = 0; region != nullptr && i < count; ++i)
        blocks.push_back(region + i * size);
    return blocks;
}

// Notes that `block` may hold bytes up to `end`.
void touch(const std::vector<unsigned char*>& memory,
           std::vector<std::size_t>& touched,
           const unsigned char* block,
           std::size_t end)
{
    for (std::size_t i = 0; i < memory.size(); ++i) {
        if (memory[i] == block)
            touched[i] = std::max(touched[i], end);
    }
}

void release(std::vector<unsigned char*>& memory, std::vector<std::size_t>& touched, std::size_t blockSize)
{
    // Plaintext passes through these blocks. Only what was ever put there is
    // wiped: wiping the rest would first make the system hand us its pages,
    // which for a small file costs more than the whole encryption.
    for (std::size_t i = 0; i < memory.size(); ++i)
        OPENSSL_cleanse(memory[i], touched[i]);
    if (!memory.empty())
        unmapLarge(memory.front(), memory.size() * blockSize);
    memory.clear();
    touched.clear();
}

bool setDirect(int fd, int flags, bool direct)
{
    return ::fcntl(fd, F_SETFL, direct ? (flags | O_DIRECT) : (flags & ~O_DIRECT)) == 0;
}

// True when most of the file's first megabytes are in the page cache.
bool mostlyCached(int fd)
{
    constexpr off_t kSample = 64 << 20;
    struct stat info
    {
    };
    if (::fstat(fd, &info) != 0 || info.st_size == 0)
        return false;
    const auto length = static_cast<std::size_t>(std::min<off_t>(info.st_size, kSample));
    void* map = ::mmap(nullptr, length, PROT_READ, MAP_SHARED, fd, 0);
    if (map == MAP_FAILED)
        return false;
    const auto page = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
    std::vector<unsigned char> resident((length + page - 1) / page);
    std::size_t cached = 0;
    if (::mincore(map, length, resident.data()) == 0) {
        for (unsigned char r : resident)
            cached += r & 1u;
    }
    ::munmap(map, length);
    return cached * 2 > resident.size();
}

} // namespace

AsyncFileSink::AsyncFileSink(int fd, bool digest)
    : m_fd(fd)
    , m_hashing(digest)
{
    m_memory = allocateBlocks(kPieces, kPieceSize);
    m_touched.assign(m_memory.size(), 0);
    m_failed = m_memory.empty();
    for (unsigned char* bytes : m_memory)
        m_free.push_back({bytes, 0});
    if (!m_failed) {
        m_current = m_free.back();
        m_free.pop_back();
    }
    m_writer = std::thread(&AsyncFileSink::run, this);
}

AsyncFileSink::~AsyncFileSink()
{
    static_cast<void>(finish());
    release(m_memory, m_touched, kPieceSize);
}

unsigned char* AsyncFileSink::space(std::size_t minimum)
{
    // Room only within the current piece; a caller that does not fit into
    // what is left uses write().
    if (m_current.data == nullptr || kPieceSize - m_current.size < minimum)
        return nullptr;
    // The caller may fill all of it, and commit none of it.
    touch(m_memory, m_touched, m_current.data, m_current.size + minimum);
    return m_current.data + m_current.size;
}

bool AsyncFileSink::commit(std::size_t size)
{
    m_current.size += size;
    if (m_current.size == kPieceSize)
        return handOver();
    std::lock_guard<std::mutex> guard(m_lock);
    return !m_failed;
}

bool AsyncFileSink::write(const unsigned char* data, std::size_t size)
{
    while (size > 0) {
        if (m_current.data == nullptr)
            return false;
        const std::size_t piece = std::min(kPieceSize - m_current.size, size);
        std::memcpy(m_current.data + m_current.size, data, piece);
        touch(m_memory, m_touched, m_current.data, m_current.size + piece);
        data += piece;
        size -= piece;
        if (!commit(piece))
            return false;
    }
    std::lock_guard<std::mutex> guard(m_lock);
    return !m_failed;
}

bool AsyncFileSink::handOver()
{
    std::unique_lock<std::mutex> guard(m_lock);
    m_full.push_back(m_current);
    m_current = {};
    m_changed.notify_all();
    m_changed.wait(guard, [this] { return !m_free.empty() || m_failed; });
    if (m_failed)
        return false;
    m_current = m_free.back();
    m_free.pop_back();
    m_current.size = 0;
    return true;
}

bool AsyncFileSink::finish()
{
    {
        std::unique_lock<std::mutex> guard(m_lock);
        if (m_closing && !m_writer.joinable())
            return !m_failed;
        if (m_current.data != nullptr && m_current.size > 0)
            m_full.push_back(m_current);
        m_current = {};
        m_closing = true;
        m_changed.notify_all();
    }
    if (m_writer.joinable())
        m_writer.join();
    return !m_failed;
}

bool AsyncFileSink::writePiece(const Piece& piece)
{
    const unsigned char* data = piece.data;
    std::size_t size = piece.size;
    while (size > 0) {
        const std::size_t n = std::min(size, kBufferedWrite);
        if (!cryptelle::writeAll(m_fd, data, n))
            return false;
        data += n;
        size -= n;
    }
    return true;
}

void AsyncFileSink::run()
{
    EVP_MD_CTX* hash = nullptr;
    bool ok = true;
    if (m_hashing) {
        hash = EVP_MD_CTX_new();
        ok = hash != nullptr && EVP_DigestInit_ex(hash, EVP_sha256(), nullptr) == 1;
    }
    // Writeback is started every few megabytes, so the disk works while we
    // cipher and the final flush has little left to do.
    constexpr off_t kWritebackStride = 8 << 20;
    off_t written = 0;
    off_t flushedUpTo = 0;
    for (;;) {
        Piece piece;
        {
            std::unique_lock<std::mutex> guard(m_lock);
            if (!ok)
                m_failed = true;
            m_changed.notify_all();
            m_changed.wait(guard, [this] { return !m_full.empty() || m_closing; });
            if (m_full.empty())
                break;
            piece = m_full.front();
            m_full.pop_front();
        }
        if (ok && hash != nullptr)
            ok = EVP_DigestUpdate(hash, piece.data, piece.size) == 1;
        ok = ok && writePiece(piece);
        if (ok) {
            written += static_cast<off_t>(piece.size);
            if (written - flushedUpTo >= kWritebackStride) {
                ::sync_file_range(m_fd, flushedUpTo, written - flushedUpTo, SYNC_FILE_RANGE_WRITE);
                flushedUpTo = written;
            }
        }
        std::lock_guard<std::mutex> guard(m_lock);
        piece.size = 0;
        m_free.push_back(piece);
    }
    if (hash != nullptr) {
        unsigned int size = 0;
        if (ok && EVP_DigestFinal_ex(hash, m_digest.data(), &size) != 1)
            ok = false;
        EVP_MD_CTX_free(hash);
    }
    std::lock_guard<std::mutex> guard(m_lock);
    m_written = static_cast<std::uint64_t>(written);
    if (!ok)
        m_failed = true;
    m_changed.notify_all();
}

AsyncFileSource::AsyncFileSource(int fd, From from)
    : m_fd(fd)
    , m_flags(::fcntl(fd, F_GETFL))
    , m_direct(from == From::Storage || !mostlyCached(fd))
{
    m_memory = allocateBlocks(kBlocks, kBlockSize);
    m_touched.assign(m_memory.size(), 0);
    if (m_memory.empty()) {
        m_failed = true;
        return;
    }
    m_free = m_memory;
    m_reader = std::thread(&AsyncFileSource::run, this);
}

AsyncFileSource::~AsyncFileSource()
{
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_stopping = true;
        m_changed.notify_all();
    }
    if (m_reader.joinable())
        m_reader.join();
    if (m_flags >= 0)
        setDirect(m_fd, m_flags, (m_flags & O_DIRECT) != 0);
    release(m_memory, m_touched, kBlockSize);
}

std::int64_t AsyncFileSource::read(unsigned char* buffer, std::size_t size)
{
    if (m_current.data != nullptr && m_used == m_current.size) {
        std::lock_guard<std::mutex> guard(m_lock);
        m_free.push_back(m_current.data);
        m_current = {};
        m_changed.notify_all();
    }
    if (m_current.data == nullptr) {
        std::unique_lock<std::mutex> guard(m_lock);
        m_changed.wait(guard, [this] { return !m_ready.empty() || m_ended || m_failed; });
        if (m_ready.empty())
            return m_failed ? -1 : 0;
        m_current = m_ready.front();
        m_ready.pop_front();
        m_used = 0;
        if (m_current.failed) {
            m_failed = true;
            m_free.push_back(m_current.data);
            m_current = {};
            return -1;
        }
    }
    const std::size_t n = std::min(size, m_current.size - m_used);
    std::memcpy(buffer, m_current.data + m_used, n);
    m_used += n;
    return static_cast<std::int64_t>(n);
}

void AsyncFileSource::run()
{
    bool direct = m_direct && m_flags >= 0 && setDirect(m_fd, m_flags, true);
    if (!direct)
        ::posix_fadvise(m_fd, 0, 0, POSIX_FADV_SEQUENTIAL);
    off_t offset = 0;
    for (;;) {
        unsigned char* bytes = nullptr;
        {
            std::unique_lock<std::mutex> guard(m_lock);
            m_changed.wait(guard, [this] { return !m_free.empty() || m_stopping; });
            if (m_stopping)
                break;
            bytes = m_free.back();
            m_free.pop_back();
        }
        std::size_t have = 0;
        bool failed = false;
        while (have < kBlockSize) {
            const ssize_t n = ::pread(m_fd, bytes + have, kBlockSize - have, offset + static_cast<off_t>(have));
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0 && errno == EINVAL && direct) {
                // Refused (or an unaligned end): carry on the ordinary way.
                direct = false;
                if (setDirect(m_fd, m_flags, false))
                    continue;
            }
            if (n < 0) {
                failed = true;
                break;
            }
            if (n == 0)
                break;
            have += static_cast<std::size_t>(n);
        }
        offset += static_cast<off_t>(have);
        touch(m_memory, m_touched, bytes, failed ? kBlockSize : have);
        std::lock_guard<std::mutex> guard(m_lock);
        if (have > 0 || failed) {
            m_ready.push_back({bytes, have, failed});
        } else {
            m_free.push_back(bytes);
        }
        m_changed.notify_all();
        if (failed || have < kBlockSize) {
            m_ended = true;
            break;
        }
    }
    std::lock_guard<std::mutex> guard(m_lock);
    m_ended = true;
    m_changed.notify_all();
}

} // namespace zqvcrypto
