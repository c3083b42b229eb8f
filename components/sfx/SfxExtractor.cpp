#include "SfxExtractor.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "FileSources.h"
#include "SfxFormat.h"
#include "ZqvStream.h"

namespace zqvsfx {
namespace {

using zqvcrypto::CryptoError;
using zqvcrypto::RangeSource;

// Takes the envelope apart: its head into name and title, the content into a
// temporary file in the output folder, created on the first content byte.
class EnvelopeSink : public zqvcrypto::ByteSink
{
public:
    explicit EnvelopeSink(std::string folder)
        : m_folder(std::move(folder))
    {
    }
    ~EnvelopeSink() override { discard(); }
    EnvelopeSink(const EnvelopeSink&) = delete;
    EnvelopeSink& operator=(const EnvelopeSink&) = delete;

    bool write(const unsigned char* data, std::size_t size) override
    {
        while (size > 0 && !m_headDone) {
            m_head.push_back(static_cast<char>(*data++));
            --size;
            if (!parseHead())
                return false;
        }
        if (size == 0)
            return true;
        if (m_fd < 0 && !openTemporary())
            return false;
        while (size > 0) {
            const ssize_t n = ::write(m_fd, data, size);
            if (n < 0) {
                if (errno == EINTR)
                    continue;
                m_writeFailed = true;
                return false;
            }
            data += n;
            size -= static_cast<std::size_t>(n);
        }
        return true;
    }

    // Syncs the content and gives it its final name, never replacing a file.
    bool commit(std::string& finalPath)
    {
        if (!m_headDone)
            return false;
        if (m_fd < 0 && !openTemporary())
            return false;
        if (::fsync(m_fd) != 0 || ::close(m_fd) != 0) {
            m_fd = -1;
            return false;
        }
        m_fd = -1;
        const std::string base = safeBaseName(name);
        for (int number = 0; number < 10000; ++number) {
            const std::string candidate = m_folder + "/" + numberedName(base, number);
            if (::renameat2(AT_FDCWD, m_temporary.c_str(), AT_FDCWD, candidate.c_str(), RENAME_NOREPLACE) == 0 ||
                ((errno == EINVAL || errno == ENOSYS) && ::link(m_temporary.c_str(), candidate.c_str()) == 0 &&
                 ::unlink(m_temporary.c_str()) == 0)) {
                m_temporary.clear();
                finalPath = candidate;
                const int dir = ::open(m_folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
                if (dir >= 0) {
                    ::fsync(dir);
                    ::close(dir);
                }
                return true;
            }
            if (errno != EEXIST)
                return false;
        }
        return false;
    }

    void discard()
    {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = -1;
        if (!m_temporary.empty())
            ::unlink(m_temporary.c_str());
        m_temporary.clear();
    }

    [[nodiscard]] bool writeFailed() const { return m_writeFailed; }

    std::string name;
    std::string title;

private:
    bool parseHead()
    {
        const std::size_t fixed = zqvcrypto::sfx::kEnvelopeMagic.size() + 8;
        if (m_head.size() < fixed)
            return true;
        if (std::memcmp(m_head.data(), zqvcrypto::sfx::kEnvelopeMagic.data(), zqvcrypto::sfx::kEnvelopeMagic.size()) !=
            0)
            return false;
        auto u32 = [this](std::size_t at) {
            std::uint32_t value = 0;
            for (int i = 3; i >= 0; --i)
                value = (value << 8) | static_cast<unsigned char>(m_head[at + static_cast<std::size_t>(i)]);
            return value;
        };
        const std::uint32_t nameSize = u32(8);
        const std::uint32_t textSize = u32(12);
        if (nameSize > zqvcrypto::sfx::kMaxNameSize || textSize > zqvcrypto::sfx::kMaxTextSize)
            return false;
        if (m_head.size() < fixed + nameSize + textSize)
            return true;
        name = m_head.substr(fixed, nameSize);
        title = m_head.substr(fixed + nameSize, textSize);
        m_headDone = true;
        return true;
    }

    bool openTemporary()
    {
        std::string pattern = m_folder + "/.zqvsfx-XXXXXX";
        m_fd = ::mkostemp(pattern.data(), O_CLOEXEC);
        if (m_fd < 0) {
            m_writeFailed = true;
            return false;
        }
        m_temporary = pattern;
        return true;
    }

    std::string m_folder;
    std::string m_head;
    bool m_headDone = false;
    std::string m_temporary;
    int m_fd = -1;
    bool m_writeFailed = false;
};

std::string folderOf(const std::string& path)
{
    const auto slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

} // namespace

std::string safeBaseName(const std::string& stored)
{
    std::string name =
        stored.substr(stored.find_last_of("/\\") == std::string::npos ? 0 : stored.find_last_of("/\\") + 1);
    std::string clean;
    for (const char c : name) {
        if (static_cast<unsigned char>(c) >= 0x20 && c != 0x7F)
            clean.push_back(c);
    }
    if (clean.empty() || clean == "." || clean == "..")
        return "extracted-file";
    return clean;
}

std::string numberedName(const std::string& name, int number)
{
    if (number == 0)
        return name;
    const auto dot = name.rfind('.');
    const bool hasExtension = dot != std::string::npos && dot != 0;
    const std::string stem = hasExtension ? name.substr(0, dot) : name;
    const std::string extension = hasExtension ? name.substr(dot) : std::string();
    return stem + " (" + std::to_string(number) + ")" + extension;
}

int extract(const Options& options, const PasswordPrompt& prompt, const Report& say, const Report& complain)
{
    const int fd = ::open(options.selfPath.c_str(), O_RDONLY | O_CLOEXEC);
    struct stat info
    {
    };
    if (fd < 0 || ::fstat(fd, &info) != 0) {
        complain("Cannot read the self-extracting file " + options.selfPath + ".");
        return kDamaged;
    }
    const auto size = static_cast<std::uint64_t>(info.st_size);
    unsigned char trailerBytes[zqvcrypto::sfx::kTrailerSize];
    std::optional<zqvcrypto::sfx::Trailer> trailer;
    if (size >= sizeof trailerBytes &&
        ::pread(fd, trailerBytes, sizeof trailerBytes, static_cast<off_t>(size - sizeof trailerBytes)) ==
            static_cast<ssize_t>(sizeof trailerBytes))
        trailer = zqvcrypto::sfx::decodeTrailer(trailerBytes, size);
    if (!trailer) {
        ::close(fd);
        complain("This file is damaged or incomplete: it holds no encrypted content. Nothing was extracted.");
        return kDamaged;
    }

    const std::string folder = options.outputDir.empty() ? folderOf(options.selfPath) : options.outputDir;
    for (int attempt = 1; attempt <= kAttempts; ++attempt) {
        const std::optional<std::string> password = prompt(attempt);
        if (!password) {
            ::close(fd);
            complain("No password could be asked for. Run this file from a terminal, or set ZQV_ASKPASS to a "
                     "program that prints the password.");
            return kNoWayToAsk;
        }
        RangeSource payload(fd, trailer->payloadOffset, trailer->payloadSize);
        EnvelopeSink sink(folder);
        const CryptoError result = zqvcrypto::decryptStream(
            payload,
            sink,
            zqvcrypto::Bytes(reinterpret_cast<const unsigned char*>(password->data()), password->size()));
        if (result == CryptoError::WrongPassword) {
            complain(attempt < kAttempts ? "The password is not correct. Please try again."
                                         : "The password is not correct. Nothing was extracted.");
            continue;
        }
        ::close(fd);
        if (result != CryptoError::None) {
            if (sink.writeFailed()) {
                complain("The file could not be written in " + folder + ". Nothing was extracted.");
                return kCannotWrite;
            }
            complain("This file is damaged or incomplete. Nothing was extracted.");
            return kDamaged;
        }
        std::string finalPath;
        if (!sink.commit(finalPath)) {
            complain("The file could not be written in " + folder + ". Nothing was extracted.");
            return kCannotWrite;
        }
        say((sink.title.empty() ? std::string() : sink.title + ": ") + "extracted " + finalPath);
        return kExtracted;
    }
    ::close(fd);
    return kWrongPassword;
}

} // namespace zqvsfx
