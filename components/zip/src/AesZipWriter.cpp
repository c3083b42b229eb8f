#include "AesZipWriter.h"

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <mutex>
#include <thread>

#include <UniqueFd.h>
#include <fcntl.h>
#include <openssl/crypto.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include "WinZipAes.h"

namespace ziplight {
namespace {

constexpr std::uint32_t kLocalSignature = 0x04034b50;
constexpr std::uint32_t kCentralSignature = 0x02014b50;
constexpr std::uint32_t kEndSignature = 0x06054b50;
constexpr std::uint32_t kZip64EndSignature = 0x06064b50;
constexpr std::uint32_t kZip64LocatorSignature = 0x07064b50;
constexpr std::uint16_t kZip64Field = 0x0001;
constexpr std::uint16_t kAesField = 0x9901;
constexpr std::uint16_t kMethodStored = 0;
constexpr std::uint16_t kMethodDeflated = 8;
constexpr std::uint16_t kMethodAes = 99;
constexpr std::uint16_t kFlagEncrypted = 0x0001;
constexpr std::uint16_t kFlagDescriptor = 0x0008;
constexpr std::uint16_t kFlagUtf8Names = 0x0800;
constexpr std::uint32_t kDescriptorSignature = 0x08074b50;
constexpr std::uint16_t kNeedsBasic = 20;
constexpr std::uint16_t kNeedsZip64 = 45;
constexpr std::uint16_t kNeedsAes = 51;
constexpr std::uint16_t kMadeByUnix = (3u << 8) | 63u;
constexpr std::uint32_t kDosFolder = 0x10;
constexpr std::uint64_t kMax32 = 0xffffffffu;
constexpr std::uint64_t kMax16 = 0xffffu;
// Below this size a file's CRC would say too much about its content, so it is
// left out (AE-2); larger files keep it (AE-1).
constexpr std::uint64_t kSmallFile = 20;
// Data moves in pieces of this size: the writes that cost the kernel least.
constexpr std::size_t kPiece = 512u << 10;
// Headers and small files gather up to this much before one write.
constexpr std::size_t kGather = 512u << 10;

class Record
{
public:
    void u16(std::uint64_t value) { little(value, 2); }
    void u32(std::uint64_t value) { little(value, 4); }
    void u64(std::uint64_t value) { little(value, 8); }
    void text(const std::string& value) { m_bytes.insert(m_bytes.end(), value.begin(), value.end()); }
    void bytes(const unsigned char* data, std::size_t size) { m_bytes.insert(m_bytes.end(), data, data + size); }
    [[nodiscard]] const unsigned char* data() const { return m_bytes.data(); }
    [[nodiscard]] std::size_t size() const { return m_bytes.size(); }

private:
    void little(std::uint64_t value, int bytes)
    {
        for (int i = 0; i < bytes; ++i)
            m_bytes.push_back(static_cast<unsigned char>(value >> (8 * i)));
    }
    std::vector<unsigned char> m_bytes;
};

void dosTime(std::time_t when, std::uint16_t& time, std::uint16_t& date)
{
    std::tm parts{};
    if (::localtime_r(&when, &parts) == nullptr || parts.tm_year < 80) {
        time = 0;
        date = (1u << 5) | 1u; // 1980-01-01, the earliest a zip file can say
        return;
    }
    const int year = std::min(parts.tm_year - 80, 127);
    time = static_cast<std::uint16_t>((parts.tm_hour << 11) | (parts.tm_min << 5) | (parts.tm_sec / 2));
    date = static_cast<std::uint16_t>((year << 9) | ((parts.tm_mon + 1) << 5) | parts.tm_mday);
}

// The encryption field: vendor version, "AE", strength, the real method.
void aesField(Record& record, bool withCrc, std::uint16_t method)
{
    record.u16(kAesField);
    record.u16(7);
    record.u16(withCrc ? 1 : 2);
    record.text("AE");
    record.bytes(&WinZipAes::kStrength256, 1);
    record.u16(method);
}

// zlib's memory, wiped when freed: its window holds plaintext. The size goes
// in front of each block.
constexpr std::size_t kSizeSlot = 16;

voidpf cleansedAlloc(voidpf, uInt items, uInt size)
{
    const std::size_t bytes = static_cast<std::size_t>(items) * size;
    auto* block = static_cast<unsigned char*>(std::malloc(bytes + kSizeSlot));
    if (block == nullptr)
        return Z_NULL;
    std::memcpy(block, &bytes, sizeof bytes);
    return block + kSizeSlot;
}

void cleansedFree(voidpf, voidpf address)
{
    if (address == Z_NULL)
        return;
    unsigned char* block = static_cast<unsigned char*>(address) - kSizeSlot;
    std::size_t bytes = 0;
    std::memcpy(&bytes, block, sizeof bytes);
    OPENSSL_cleanse(block, bytes + kSizeSlot);
    std::free(block);
}

std::int64_t readSome(int fd, unsigned char* data, std::size_t size)
{
    for (;;) {
        const ssize_t n = ::read(fd, data, size);
        if (n >= 0 || errno != EINTR)
            return n;
    }
}

} // namespace

// Derives keys on a few threads, a bounded number ahead of their use. Any
// key serves any file: each has its own random salt.
class AesZipWriter::KeyPool
{
public:
    KeyPool(const std::string& password, std::size_t count)
        : m_password(password)
        , m_remaining(count)
    {
        const unsigned threads = std::clamp(std::thread::hardware_concurrency(), 1u, 4u);
        for (unsigned i = 0; i < threads && i < count; ++i)
            m_threads.emplace_back(&KeyPool::run, this);
    }

    ~KeyPool()
    {
        {
            const std::lock_guard<std::mutex> guard(m_lock);
            m_stopping = true;
            m_changed.notify_all();
        }
        for (std::thread& thread : m_threads)
            thread.join();
        OPENSSL_cleanse(m_password.data(), m_password.size());
    }

    KeyPool(const KeyPool&) = delete;
    KeyPool& operator=(const KeyPool&) = delete;

    // The next key, waiting for it; false when none can come.
    bool take(WinZipAes::Keys& keys)
    {
        std::unique_lock<std::mutex> guard(m_lock);
        m_changed.wait(guard, [this] { return !m_ready.empty() || m_failed || (m_remaining == 0 && m_busy == 0); });
        if (m_ready.empty())
            return false;
        keys = m_ready.front();
        m_ready.pop_front();
        m_changed.notify_all();
        return true;
    }

private:
    static constexpr std::size_t kAhead = 64;

    void run()
    {
        for (;;) {
            {
                std::unique_lock<std::mutex> guard(m_lock);
                m_changed.wait(guard, [this] {
                    return m_stopping || m_failed || m_remaining == 0 || m_ready.size() + m_busy < kAhead;
                });
                if (m_stopping || m_failed || m_remaining == 0)
                    return;
                --m_remaining;
                ++m_busy;
            }
            WinZipAes::Keys keys;
            const bool ok = WinZipAes::deriveKeys(m_password, keys);
            const std::lock_guard<std::mutex> guard(m_lock);
            --m_busy;
            if (ok)
                m_ready.push_back(keys);
            else
                m_failed = true;
            m_changed.notify_all();
        }
    }

    std::string m_password;
    std::mutex m_lock;
    std::condition_variable m_changed;
    std::deque<WinZipAes::Keys> m_ready;
    std::size_t m_remaining;
    std::size_t m_busy = 0;
    bool m_stopping = false;
    bool m_failed = false;
    std::vector<std::thread> m_threads;
};

AesZipWriter::AesZipWriter(int fd, std::string password, int level)
    : m_fd(fd)
    , m_password(std::move(password))
    , m_level(std::clamp(level, 0, 9))
{
}

AesZipWriter::AesZipWriter(Sink sink, std::string password, int level)
    : m_sink(std::move(sink))
    , m_password(std::move(password))
    , m_level(std::clamp(level, 0, 9))
{
}

AesZipWriter::~AesZipWriter()
{
    m_keys.reset();
    OPENSSL_cleanse(m_password.data(), m_password.size());
    // Without a password, file content was gathered here as it is.
    m_buffer.resize(m_buffer.capacity());
    OPENSSL_cleanse(m_buffer.data(), m_buffer.size());
}

void AesZipWriter::deriveAhead(std::size_t files)
{
    if (!m_password.empty())
        m_keys = std::make_unique<KeyPool>(m_password, files);
}

bool AesZipWriter::fail(std::string why)
{
    m_error = std::move(why);
    return false;
}

bool AesZipWriter::put(const unsigned char* data, std::size_t size)
{
    // Gathered bytes sit between m_offset - m_buffer.size() and m_offset;
    // large pieces go straight out, after what was gathered before them.
    if (m_buffer.size() + size > kGather && !flushGathered())
        return false;
    if (size < kGather)
        m_buffer.insert(m_buffer.end(), data, data + size);
    else if (!writeOut(m_offset, data, size))
        return false;
    m_offset += size;
    return true;
}

bool AesZipWriter::flushGathered()
{
    if (m_buffer.empty())
        return true;
    const bool ok = writeOut(m_offset - m_buffer.size(), m_buffer.data(), m_buffer.size());
    m_buffer.clear(); // keeps its memory for what comes next
    return ok;
}

bool AesZipWriter::putAt(std::uint64_t offset, const unsigned char* data, std::size_t size)
{
    // A patch of bytes still gathered is made in memory.
    const std::uint64_t gatheredFrom = m_offset - m_buffer.size();
    if (!m_buffer.empty() && offset >= gatheredFrom && offset + size <= m_offset) {
        std::memcpy(m_buffer.data() + (offset - gatheredFrom), data, size);
        return true;
    }
    // Handed on strictly in order, a streamed entry can only be patched while
    // it is still gathered (addFile sees to that).
    if (m_sink)
        return fail("The archive could not be written.");
    return writeOut(offset, data, size);
}

bool AesZipWriter::writeOut(std::uint64_t offset, const unsigned char* data, std::size_t size)
{
    if (m_sink) // in order: what was gathered, or a large piece after it
        return m_sink(data, size) || fail("Write error: the output was closed.");
    while (size > 0) {
        const ssize_t n = ::pwrite(m_fd, data, size, static_cast<off_t>(offset));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return fail(std::string("Write error: ") + std::strerror(n < 0 ? errno : ENOSPC));
        data += n;
        size -= static_cast<std::size_t>(n);
        offset += static_cast<std::uint64_t>(n);
    }
    return true;
}

bool AesZipWriter::startEntry(const std::string& name, mode_t type, mode_t mode, std::time_t when, Entry& entry)
{
    if (name.size() > kMax16)
        return fail("The name " + name + " is too long for a zip archive.");
    entry.name = name;
    entry.offset = m_offset;
    entry.folder = type == S_IFDIR;
    entry.attributes = (static_cast<std::uint32_t>(type | (mode & 07777)) << 16) | (entry.folder ? kDosFolder : 0);
    dosTime(when, entry.time, entry.date);
    return true;
}

bool AesZipWriter::addFolder(const std::string& name, mode_t mode, std::time_t modified)
{
    Entry entry;
    if (!startEntry(name, S_IFDIR, mode, modified, entry))
        return false;

    Record local;
    local.u32(kLocalSignature);
    local.u16(kNeedsBasic);
    local.u16(kFlagUtf8Names);
    local.u16(kMethodStored);
    local.u16(entry.time);
    local.u16(entry.date);
    local.u32(0); // CRC
    local.u32(0); // sizes
    local.u32(0);
    local.u16(name.size());
    local.u16(0);
    local.text(name);
    if (!put(local.data(), local.size()))
        return false;
    m_entries.push_back(std::move(entry));
    return true;
}

bool AesZipWriter::pack(int file,
                        std::uint64_t expectedSize,
                        const std::string& name,
                        Entry& entry,
                        const Progress& progress,
                        const std::function<bool(unsigned char*, std::size_t)>& out)
{
    ::posix_fadvise(file, 0, 0, POSIX_FADV_SEQUENTIAL);
    std::vector<unsigned char> piece(static_cast<std::size_t>(std::min<std::uint64_t>(kPiece, expectedSize + 1)));
    std::vector<unsigned char> packed;
    z_stream deflating{};
    const bool deflate = entry.method == kMethodDeflated;
    if (deflate) {
        deflating.zalloc = cleansedAlloc;
        deflating.zfree = cleansedFree;
        if (deflateInit2(&deflating, m_level, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK)
            return fail("The file " + name + " could not be compressed.");
        // Sized to what this file can give, so small files do not fill and
        // wipe a whole piece each.
        packed.resize(static_cast<std::size_t>(std::min<std::uint64_t>(
            kPiece, ::compressBound(static_cast<uLong>(std::min<std::uint64_t>(expectedSize, kPiece))))));
    }
    // Everything deflate hands out goes on, until it has nothing more for now.
    const auto drain = [&](int flush) {
        int result = Z_OK;
        do {
            deflating.next_out = packed.data();
            deflating.avail_out = static_cast<uInt>(packed.size());
            result = ::deflate(&deflating, flush);
            if (result == Z_STREAM_ERROR)
                return fail("The file " + name + " could not be compressed.");
            const std::size_t produced = packed.size() - deflating.avail_out;
            if (produced > 0 && !out(packed.data(), produced))
                return false;
        } while (deflating.avail_out == 0 || (flush == Z_FINISH && result != Z_STREAM_END));
        return true;
    };

    uLong crc = ::crc32_z(0, nullptr, 0);
    std::uint64_t done = 0;
    bool ok = true;
    for (;;) {
        const std::int64_t n = readSome(file, piece.data(), piece.size());
        if (n < 0) {
            ok = fail(std::string("Read error: ") + std::strerror(errno));
            break;
        }
        if (n == 0)
            break;
        const auto size = static_cast<std::size_t>(n);
        done += size;
        if (done > expectedSize) {
            ok = fail("The file " + name + " grew while it was packed.");
            break;
        }
        crc = ::crc32_z(crc, piece.data(), size);
        if (deflate) {
            deflating.next_in = piece.data();
            deflating.avail_in = static_cast<uInt>(size);
            ok = drain(Z_NO_FLUSH);
        } else {
            ok = out(piece.data(), size);
        }
        if (!ok)
            break;
        if (progress)
            progress(size);
    }
    if (ok && done != expectedSize)
        ok = fail("The file " + name + " shrank while it was packed.");
    if (ok && deflate)
        ok = drain(Z_FINISH);
    if (deflate)
        deflateEnd(&deflating);
    // Plaintext passed through these.
    OPENSSL_cleanse(piece.data(), piece.size());
    OPENSSL_cleanse(packed.data(), packed.size());
    entry.crc = static_cast<std::uint32_t>(crc);
    return ok;
}

bool AesZipWriter::addFile(const std::string& name,
                           int file,
                           std::uint64_t expectedSize,
                           mode_t mode,
                           std::time_t modified,
                           const Progress& progress)
{
    return addData(name, S_IFREG, file, expectedSize, mode, modified, progress);
}

bool AesZipWriter::addLink(const std::string& name, const std::string& target, std::time_t modified)
{
    // The target is the entry's data, read like any file's (and encrypted
    // like one with a password: a target can say much about a folder).
    const cryptelle::UniqueFd data(::memfd_create("zip-link", MFD_CLOEXEC));
    if (data.get() < 0)
        return fail(std::string("The link ") + name + " could not be stored: " + std::strerror(errno));
    std::size_t written = 0;
    while (written < target.size()) {
        const ssize_t n = ::write(data.get(), target.data() + written, target.size() - written);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return fail(std::string("The link ") + name + " could not be stored: " + std::strerror(errno));
        written += static_cast<std::size_t>(n);
    }
    if (::lseek(data.get(), 0, SEEK_SET) != 0)
        return fail(std::string("The link ") + name + " could not be stored: " + std::strerror(errno));
    return addData(name, S_IFLNK, data.get(), target.size(), 0777, modified, {});
}

bool AesZipWriter::addData(const std::string& name,
                           mode_t type,
                           int file,
                           std::uint64_t expectedSize,
                           mode_t mode,
                           std::time_t modified,
                           const Progress& progress)
{
    Entry entry;
    if (!startEntry(name, type, mode, modified, entry))
        return false;
    entry.size = expectedSize;
    entry.method = m_level > 0 ? kMethodDeflated : kMethodStored;
    entry.encrypted = !m_password.empty();
    const bool withCrc = !entry.encrypted || entry.size >= kSmallFile;
    const std::uint64_t overhead = entry.encrypted ? WinZipAes::kOverhead : 0;
    // A stored entry's size is known now; a deflated one's is bounded, and
    // the header is completed once the data is through.
    const std::uint64_t largest =
        (entry.method == kMethodStored ? expectedSize : ::compressBound(expectedSize)) + overhead;
    const bool zip64 = expectedSize >= kMax32 || largest >= kMax32;
    const std::size_t extraSize = (zip64 ? 20 : 0) + (entry.encrypted ? 11 : 0);
    const std::uint64_t headerSize = 30 + name.size() + extraSize;

    // Handed on in order, an entry can be completed only while it is still
    // gathered: one that fits starts with room for all of it; a larger one
    // says its CRC and sizes after its data.
    bool trailing = false;
    if (m_sink) {
        if (headerSize + largest <= kGather) {
            if (m_buffer.size() + headerSize + largest > kGather && !flushGathered())
                return false;
        } else {
            trailing = true;
        }
    }
    entry.flags = static_cast<std::uint16_t>(kFlagUtf8Names | (entry.encrypted ? kFlagEncrypted : 0) |
                                             (trailing ? kFlagDescriptor : 0));

    Record local;
    local.u32(kLocalSignature);
    local.u16(entry.encrypted ? kNeedsAes : (zip64 ? kNeedsZip64 : kNeedsBasic));
    local.u16(entry.flags);
    local.u16(entry.encrypted ? kMethodAes : entry.method);
    local.u16(entry.time);
    local.u16(entry.date);
    local.u32(0); // CRC and packed size, filled in or said once the data is through
    local.u32(zip64 ? kMax32 : 0);
    local.u32(zip64 ? kMax32 : (trailing ? 0 : entry.size));
    local.u16(name.size());
    local.u16(extraSize);
    local.text(name);
    if (zip64) {
        local.u16(kZip64Field);
        local.u16(16);
        local.u64(trailing ? 0 : entry.size);
        local.u64(0);
    }
    if (entry.encrypted)
        aesField(local, withCrc, entry.method);
    if (!put(local.data(), local.size()))
        return false;

    WinZipAes cipher;
    if (entry.encrypted) {
        WinZipAes::Keys keys;
        const bool derived = m_keys ? m_keys->take(keys) : WinZipAes::deriveKeys(m_password, keys);
        std::array<unsigned char, WinZipAes::kHeadSize> head{};
        if (!derived || !cipher.begin(keys, head))
            return fail("The encryption could not be set up.");
        if (!put(head.data(), head.size()))
            return false;
    }

    std::uint64_t packed = 0;
    const auto packAndPut = [&](unsigned char* data, std::size_t size) {
        if (entry.encrypted && !cipher.encrypt(data, size))
            return fail("The file " + name + " could not be encrypted.");
        packed += size;
        return put(data, size);
    };
    if (!pack(file, expectedSize, name, entry, progress, packAndPut))
        return false;

    if (entry.encrypted) {
        std::array<unsigned char, WinZipAes::kMacSize> mac{};
        if (!cipher.finish(mac))
            return fail("The file " + name + " could not be encrypted.");
        if (!put(mac.data(), mac.size()))
            return false;
    }
    entry.packedSize = packed + overhead;
    if (entry.packedSize > largest)
        return fail("The file " + name + " could not be compressed.");
    if (!withCrc)
        entry.crc = 0;

    if (trailing) {
        Record descriptor;
        descriptor.u32(kDescriptorSignature);
        descriptor.u32(entry.crc);
        if (zip64) {
            descriptor.u64(entry.packedSize);
            descriptor.u64(entry.size);
        } else {
            descriptor.u32(entry.packedSize);
            descriptor.u32(entry.size);
        }
        if (!put(descriptor.data(), descriptor.size()))
            return false;
    } else {
        Record crc;
        crc.u32(entry.crc);
        Record size;
        if (zip64)
            size.u64(entry.packedSize);
        else
            size.u32(entry.packedSize);
        const std::uint64_t sizeAt = zip64 ? entry.offset + 30 + name.size() + 4 + 8 : entry.offset + 18;
        if (!putAt(entry.offset + 14, crc.data(), crc.size()) || !putAt(sizeAt, size.data(), size.size()))
            return false;
    }
    m_entries.push_back(std::move(entry));
    return true;
}

bool AesZipWriter::finish()
{
    const std::uint64_t directoryOffset = m_offset;
    for (const Entry& entry : m_entries) {
        const bool bigSize = entry.size >= kMax32;
        const bool bigPacked = !entry.folder && entry.packedSize >= kMax32;
        const bool farOffset = entry.offset >= kMax32;
        Record zip64;
        if (bigSize)
            zip64.u64(entry.size);
        if (bigPacked)
            zip64.u64(entry.packedSize);
        if (farOffset)
            zip64.u64(entry.offset);

        Record central;
        central.u32(kCentralSignature);
        central.u16(kMadeByUnix);
        central.u16(entry.encrypted ? kNeedsAes : (zip64.size() > 0 ? kNeedsZip64 : kNeedsBasic));
        central.u16(entry.folder ? kFlagUtf8Names : entry.flags);
        central.u16(entry.encrypted ? kMethodAes : entry.method);
        central.u16(entry.time);
        central.u16(entry.date);
        central.u32(entry.crc);
        central.u32(bigPacked ? kMax32 : (entry.folder ? 0 : entry.packedSize));
        central.u32(bigSize ? kMax32 : entry.size);
        central.u16(entry.name.size());
        central.u16((zip64.size() > 0 ? 4 + zip64.size() : 0) + (entry.encrypted ? 11 : 0));
        central.u16(0); // comment
        central.u16(0); // disk
        central.u16(0); // internal attributes
        central.u32(entry.attributes);
        central.u32(farOffset ? kMax32 : entry.offset);
        central.text(entry.name);
        if (zip64.size() > 0) {
            central.u16(kZip64Field);
            central.u16(zip64.size());
            central.bytes(zip64.data(), zip64.size());
        }
        if (entry.encrypted)
            aesField(central, entry.size >= kSmallFile, entry.method);
        if (!put(central.data(), central.size()))
            return false;
    }
    const std::uint64_t directorySize = m_offset - directoryOffset;
    const std::uint64_t count = m_entries.size();
    const bool zip64End = count >= kMax16 || directorySize >= kMax32 || directoryOffset >= kMax32;
    Record end;
    if (zip64End) {
        const std::uint64_t recordOffset = m_offset;
        end.u32(kZip64EndSignature);
        end.u64(44); // the record's size after this field
        end.u16(kMadeByUnix);
        end.u16(kNeedsZip64);
        end.u32(0);
        end.u32(0);
        end.u64(count);
        end.u64(count);
        end.u64(directorySize);
        end.u64(directoryOffset);
        end.u32(kZip64LocatorSignature);
        end.u32(0);
        end.u64(recordOffset);
        end.u32(1);
    }
    end.u32(kEndSignature);
    end.u16(0);
    end.u16(0);
    end.u16(count >= kMax16 ? kMax16 : count);
    end.u16(count >= kMax16 ? kMax16 : count);
    end.u32(directorySize >= kMax32 ? kMax32 : directorySize);
    end.u32(directoryOffset >= kMax32 ? kMax32 : directoryOffset);
    end.u16(0); // comment
    if (!put(end.data(), end.size()))
        return false;
    if (!flushGathered())
        return false;
    return m_sink || ::ftruncate(m_fd, static_cast<off_t>(m_offset)) == 0 ||
           fail("The archive could not be completed.");
}

} // namespace ziplight
