#include "FileCipher.h"

#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <cstring>
#include <thread>

#include <FileSteps.h>
#include <UniqueFd.h>
#include <fcntl.h>
#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <sys/stat.h>
#include <unistd.h>

#include "AsyncFileSink.h"
#include "ByteChannel.h"
#include "FileSources.h"
#include "SafeOutput.h"
#include "SfxFormat.h"

namespace zqvcrypto {
namespace {

using Descriptor = cryptelle::UniqueFd;

class NullSink : public ByteSink
{
public:
    bool write(const unsigned char*, std::size_t) override { return true; }
};

// Passes data on and keeps a SHA-256 of everything that went through.
class HashingSink : public ByteSink
{
public:
    explicit HashingSink(ByteSink* next)
        : m_next(next)
        , m_context(EVP_MD_CTX_new())
    {
        EVP_DigestInit_ex(m_context, EVP_sha256(), nullptr);
    }
    ~HashingSink() override { EVP_MD_CTX_free(m_context); }
    HashingSink(const HashingSink&) = delete;
    HashingSink& operator=(const HashingSink&) = delete;

    bool write(const unsigned char* data, std::size_t size) override
    {
        EVP_DigestUpdate(m_context, data, size);
        return m_next == nullptr || m_next->write(data, size);
    }
    void digest(unsigned char out[32])
    {
        unsigned int size = 0;
        EVP_DigestFinal_ex(m_context, out, &size);
    }

private:
    ByteSink* m_next;
    EVP_MD_CTX* m_context;
};

// Writes straight to a descriptor, on the caller's thread.
class FdSink : public ByteSink
{
public:
    explicit FdSink(int fd)
        : m_fd(fd)
    {
    }
    bool write(const unsigned char* data, std::size_t size) override { return cryptelle::writeAll(m_fd, data, size); }

private:
    int m_fd;
};

// Up to this size a file is read and written on the calling thread: the
// reading and writing threads, and their rings of blocks, cost more than
// such a file takes, and many small files in a row pay that again each time.
constexpr std::uint64_t kSmallFile = 1u << 20;

// Percent of the source consumed, reported only when it changes.
class PercentReporter
{
public:
    PercentReporter(std::uint64_t total, const std::function<void(int)>& report)
        : m_total(total)
        , m_report(report)
    {
    }
    void operator()(std::uint64_t done)
    {
        if (!m_report)
            return;
        const int percent = m_total == 0 ? 100 : static_cast<int>(std::min<std::uint64_t>(100, done * 100 / m_total));
        if (percent != m_last) {
            m_last = percent;
            m_report(percent);
        }
    }

private:
    std::uint64_t m_total;
    const std::function<void(int)>& m_report;
    int m_last = -1;
};

// Opens a regular file to be read from the start, without blocking on a
// FIFO or device that took its name.
CryptoError openSource(const std::string& path, Descriptor& source, std::uint64_t& size)
{
    source.reset(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    struct stat info
    {
    };
    if (source.get() < 0 || ::fstat(source.get(), &info) != 0 || !S_ISREG(info.st_mode))
        return CryptoError::ReadFailed;
    ::fcntl(source.get(), F_SETFL, ::fcntl(source.get(), F_GETFL) & ~O_NONBLOCK);
    ::posix_fadvise(source.get(), 0, 0, POSIX_FADV_SEQUENTIAL);
    size = static_cast<std::uint64_t>(info.st_size);
    return CryptoError::None;
}

// What a job works between: its source (none for a produced plaintext) and
// the unnamed output beside the destination.
struct Prepared
{
    Descriptor source;
    std::uint64_t size = 0;
    std::unique_ptr<SafeOutput> output = std::make_unique<SafeOutput>();
};

// Opens the source, checks the destination and opens the temporary output
// beside it, before any work is done. A produced plaintext has no source.
CryptoError prepare(const FileJob& job, Prepared& opened)
{
    const std::string destination = destinationBytes(job);
    if (!job.produce) {
        const std::string path = sourceBytes(job);
        if (CryptoError e = openSource(path, opened.source, opened.size); e != CryptoError::None)
            return e;
        if (isSameFile(path, destination))
            return CryptoError::SameFile;
    }
    struct stat existing
    {
    };
    if (!job.replaceExisting && ::stat(destination.c_str(), &existing) == 0)
        return CryptoError::DestinationExists;
    return opened.output->open(destination) ? CryptoError::None : CryptoError::WriteFailed;
}

// A produced plaintext's size is not known ahead: its producer reports
// progress, not the job.
const std::function<void(int)>& progressOf(const FileJob& job)
{
    static const std::function<void(int)> none;
    return job.produce ? none : job.progress;
}

// Runs `encrypt` over the job's plaintext: the source file, or what the
// producer makes meanwhile on a thread of its own. A producer that fails
// makes the encryption fail; an encryption that stops early stops the producer.
// `small`: the source's size, given when it is small enough to be read plainly.
template <typename Encrypt>
CryptoError withPlaintext(const FileJob& job, int source, std::optional<std::uint64_t> small, Encrypt&& encrypt)
{
    if (!job.produce && small) {
        FdSource in(source, small);
        return encrypt(static_cast<ByteSource&>(in));
    }
    if (!job.produce) {
        AsyncFileSource in(source);
        return encrypt(static_cast<ByteSource&>(in));
    }
    ByteChannel channel;
    std::thread producer([&] {
        const bool made =
            job.produce([&](const unsigned char* data, std::size_t size) { return channel.write(data, size); });
        channel.close(made);
    });
    const CryptoError encrypted = encrypt(static_cast<ByteSource&>(channel));
    channel.abandon();
    producer.join();
    return encrypted;
}

// Forces the new file to disk and drops its pages from the page cache, so
// reading it back afterwards proves what the storage holds, not what memory
// still remembers.
bool flushAndForget(int fd)
{
    if (::fsync(fd) != 0)
        return false;
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
    return true;
}

bool stopRequested(const FileJob& job)
{
    return job.stop != nullptr && job.stop->load(std::memory_order_relaxed);
}

// A stop that lands after the last chunk still keeps the name from being
// taken: the user was told the work is being stopped, not that it ended.
CryptoError finish(std::unique_ptr<SafeOutput>& output, const FileJob& job)
{
    if (stopRequested(job))
        return CryptoError::Cancelled;
    if (job.hold) {
        job.hold(std::move(output));
        return CryptoError::None;
    }
    return output->commit(job.replaceExisting);
}

} // namespace

std::string sourceBytes(const FileJob& job)
{
    return job.sourcePath.empty() ? QFile::encodeName(job.source).toStdString() : job.sourcePath;
}

std::string destinationBytes(const FileJob& job)
{
    return job.destinationPath.empty() ? QFile::encodeName(job.destination).toStdString() : job.destinationPath;
}

CryptoError encryptFile(const FileJob& job, Bytes password, const Argon2Params& kdf)
{
    Prepared opened;
    if (CryptoError e = prepare(job, opened); e != CryptoError::None)
        return e;
    const std::uint64_t size = opened.size;
    SafeOutput& output = *opened.output;

    PercentReporter reporter(size, progressOf(job));
    DerivedKey key;
    const DerivedKey* reuse = nullptr;
    if (job.keys != nullptr) {
        reuse = job.keys->writingKey(password, kdf);
        if (reuse == nullptr)
            return CryptoError::OutOfMemory;
    }
    const bool small = !job.produce && size <= kSmallFile;
    const auto encryptInto = [&](ByteSink& out) {
        return withPlaintext(job, opened.source.get(), small ? std::optional(size) : std::nullopt, [&](ByteSource& in) {
            return encryptStream(
                in, out, password, kdf, zqv::kDefaultChunkSize, std::ref(reporter), job.verify ? &key : nullptr, reuse);
        });
    };
    CryptoError encrypted = CryptoError::None;
    if (small) {
        FdSink out(output.fd());
        encrypted = encryptInto(out);
    } else {
        AsyncFileSink out(output.fd());
        encrypted = encryptInto(out);
        if (!out.finish())
            return CryptoError::WriteFailed;
    }
    if (encrypted != CryptoError::None)
        return encrypted;

    if (job.verify) {
        // Read back from the storage and authenticated in full, with the key
        // derived above: deriving it again would only cost time.
        if (!flushAndForget(output.fd()) || ::lseek(output.fd(), 0, SEEK_SET) != 0)
            return CryptoError::WriteFailed;
        AsyncFileSource back(output.fd(), AsyncFileSource::From::Storage);
        NullSink discard;
        if (decryptStream(back, discard, password, {}, &key) != CryptoError::None)
            return CryptoError::VerifyFailed;
    }
    return finish(opened.output, job);
}

CryptoError decryptFile(const FileJob& job, Bytes password)
{
    if (job.produce)
        return CryptoError::ReadFailed; // a produced plaintext is only ever encrypted
    Prepared opened;
    if (CryptoError e = prepare(job, opened); e != CryptoError::None)
        return e;
    const std::uint64_t size = opened.size;
    SafeOutput& output = *opened.output;

    PercentReporter reporter(size, job.progress);
    if (size <= kSmallFile && !job.verify) {
        FdSource in(opened.source.get(), size);
        FdSink out(output.fd());
        const CryptoError decrypted = decryptStream(in, out, password, std::ref(reporter), nullptr, job.keys, job.stop);
        return decrypted != CryptoError::None ? decrypted : finish(opened.output, job);
    }
    AsyncFileSource in(opened.source.get());
    // Hashing costs time, so only when the result is to be read back; it
    // runs on the writing thread.
    AsyncFileSink out(output.fd(), job.verify);
    const CryptoError decrypted = decryptStream(in, out, password, std::ref(reporter), nullptr, job.keys, job.stop);
    if (!out.finish())
        return decrypted != CryptoError::None ? decrypted : CryptoError::WriteFailed;
    if (decrypted != CryptoError::None)
        return decrypted;

    if (job.verify) {
        // The plaintext was authenticated on the way in; what matters now is
        // that the storage gives back exactly what was written.
        if (!flushAndForget(output.fd()) || ::lseek(output.fd(), 0, SEEK_SET) != 0)
            return CryptoError::WriteFailed;
        HashingSink reread(nullptr);
        AsyncFileSource back(output.fd(), AsyncFileSource::From::Storage);
        std::vector<unsigned char> buffer(1 << 20);
        std::uint64_t readBack = 0;
        for (;;) {
            if (stopRequested(job))
                break; // the name is refused below
            const std::int64_t n = back.read(buffer.data(), buffer.size());
            if (n < 0)
                return CryptoError::VerifyFailed;
            if (n == 0)
                break;
            readBack += static_cast<std::uint64_t>(n);
            static_cast<void>(reread.write(buffer.data(), static_cast<std::size_t>(n)));
        }
        OPENSSL_cleanse(buffer.data(), buffer.size());
        if (stopRequested(job))
            return CryptoError::Cancelled;
        unsigned char digest[32];
        reread.digest(digest);
        if (readBack != out.written() || CRYPTO_memcmp(out.digest().data(), digest, sizeof digest) != 0)
            return CryptoError::VerifyFailed;
    }
    return finish(opened.output, job);
}

CryptoError verifyFile(const FileJob& job, Bytes password)
{
    Descriptor source;
    std::uint64_t size = 0;
    if (CryptoError e = openSource(sourceBytes(job), source, size); e != CryptoError::None)
        return e;
    NullSink discard;
    PercentReporter reporter(size, job.progress);
    if (size <= kSmallFile) {
        FdSource in(source.get(), size);
        return decryptStream(in, discard, password, std::ref(reporter), nullptr, job.keys, job.stop);
    }
    AsyncFileSource in(source.get());
    return decryptStream(in, discard, password, std::ref(reporter), nullptr, job.keys, job.stop);
}

namespace {

// The envelope's head, then the file itself.
class EnvelopeSource : public ByteSource
{
public:
    EnvelopeSource(std::string head, ByteSource& content)
        : m_head(std::move(head))
        , m_file(content)
    {
    }
    std::int64_t read(unsigned char* buffer, std::size_t size) override
    {
        if (m_offset < m_head.size()) {
            const std::size_t n = std::min(size, m_head.size() - m_offset);
            std::memcpy(buffer, m_head.data() + m_offset, n);
            m_offset += n;
            return static_cast<std::int64_t>(n);
        }
        return m_file.read(buffer, size);
    }

private:
    std::string m_head;
    std::size_t m_offset = 0;
    ByteSource& m_file;
};

} // namespace

CryptoError makeSelfExtracting(const SfxJob& job, Bytes password, const Argon2Params& kdf)
{
    FileJob file{job.source, job.destination, job.replaceExisting, job.verify, job.progress, job.produce};
    file.sourcePath = job.sourcePath;
    file.destinationPath = job.destinationPath;
    Prepared opened;
    if (CryptoError e = prepare(file, opened); e != CryptoError::None)
        return e;
    const std::uint64_t size = opened.size;
    SafeOutput& output = *opened.output;
    Descriptor stub(::open(QFile::encodeName(job.stubPath).constData(), O_RDONLY | O_CLOEXEC));
    if (stub.get() < 0)
        return CryptoError::ExtractorMissing;

    std::uint64_t offset = 0;
    DerivedKey key;
    {
        AsyncFileSink out(output.fd());
        FdSource program(stub.get());
        std::vector<unsigned char> buffer(1 << 20);
        for (;;) {
            const std::int64_t n = program.read(buffer.data(), buffer.size());
            if (n < 0)
                return CryptoError::ExtractorMissing;
            if (n == 0)
                break;
            if (!out.write(buffer.data(), static_cast<std::size_t>(n)))
                return CryptoError::WriteFailed;
            offset += static_cast<std::uint64_t>(n);
        }
        if (offset == 0)
            return CryptoError::ExtractorMissing;

        std::string name = job.storedName.toStdString();
        if (job.storedName.isEmpty()) {
            const std::string path = sourceBytes(file);
            name = path.substr(path.rfind('/') + 1);
        }
        const std::string head = sfx::encodeEnvelopeHead(name, job.title.toStdString());
        PercentReporter reporter(size, progressOf(file));
        const CryptoError encrypted = withPlaintext(file, opened.source.get(), std::nullopt, [&](ByteSource& content) {
            EnvelopeSource envelope(head, content);
            return encryptStream(
                envelope, out, password, kdf, zqv::kDefaultChunkSize, std::ref(reporter), job.verify ? &key : nullptr);
        });
        if (!out.finish())
            return CryptoError::WriteFailed;
        if (encrypted != CryptoError::None)
            return encrypted;
    }
    struct stat info
    {
    };
    if (::fstat(output.fd(), &info) != 0)
        return CryptoError::WriteFailed;
    const auto total = static_cast<std::uint64_t>(info.st_size);
    const auto trailer = sfx::encodeTrailer({offset, total - offset});
    if (::lseek(output.fd(), 0, SEEK_END) < 0 || !cryptelle::writeAll(output.fd(), trailer.data(), trailer.size()))
        return CryptoError::WriteFailed;
    if (::fchmod(output.fd(), 0700) != 0)
        return CryptoError::WriteFailed;

    if (job.verify) {
        if (!flushAndForget(output.fd()))
            return CryptoError::WriteFailed;
        RangeSource back(output.fd(), offset, total - offset);
        NullSink discard;
        if (decryptStream(back, discard, password, {}, &key) != CryptoError::None)
            return CryptoError::VerifyFailed;
    }
    return finish(opened.output, file);
}

} // namespace zqvcrypto
