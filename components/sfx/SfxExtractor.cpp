#include "SfxExtractor.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include <FileSteps.h>
#include <UnnamedOutput.h>
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

// Takes the envelope apart: its head into name and title, the content into an
// unnamed file in the output folder, created on the first content byte.
class EnvelopeSink : public zqvcrypto::ByteSink
{
public:
    enum class Outcome { Extracted, Damaged, CannotWrite };

    explicit EnvelopeSink(std::string folder)
        : m_folder(std::move(folder))
    {
    }

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
        if (m_output.fd() < 0 && !openOutput())
            return false;
        if (!cryptelle::writeAll(m_output.fd(), data, size)) {
            m_writeFailed = true;
            return false;
        }
        return true;
    }

    // Syncs the content and links it under the stored name (numbered when
    // taken, shortened when too long), never replacing a file.
    Outcome commit(std::string& finalPath)
    {
        if (!m_headDone)
            return Outcome::Damaged; // the envelope ended inside its own head
        if (m_output.fd() < 0 && !openOutput())
            return Outcome::CannotWrite;
        const std::string base = safeBaseName(name);
        const long limit = ::pathconf(m_folder.c_str(), _PC_NAME_MAX);
        std::size_t maxName = limit > 0 ? static_cast<std::size_t>(limit) : kFallbackNameMax;
        for (int number = 0; number < 10000;) {
            const std::string candidate = numberedName(base, number, maxName);
            const auto result = m_output.commit(candidate, false);
            if (result == cryptelle::UnnamedOutput::Result::Done) {
                finalPath = m_folder + "/" + candidate;
                return Outcome::Extracted;
            }
            if (result == cryptelle::UnnamedOutput::Result::Exists) {
                ++number;
                continue;
            }
            // Some file systems count the limit in other units than bytes.
            if (errno == ENAMETOOLONG && maxName > kShortestName) {
                maxName /= 2;
                continue;
            }
            return Outcome::CannotWrite;
        }
        return Outcome::CannotWrite;
    }

    [[nodiscard]] bool writeFailed() const { return m_writeFailed; }

    std::string name;
    std::string title;

private:
    static constexpr std::size_t kFallbackNameMax = 255;
    static constexpr std::size_t kShortestName = 32;

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

    bool openOutput()
    {
        if (m_output.open(m_folder))
            return true;
        m_writeFailed = true;
        return false;
    }

    std::string m_folder;
    std::string m_head;
    bool m_headDone = false;
    cryptelle::UnnamedOutput m_output;
    bool m_writeFailed = false;
};

// Length of the UTF-8 sequence starting with `lead`, 0 when it cannot start one.
std::size_t sequenceLength(unsigned char lead)
{
    if (lead < 0x80)
        return 1;
    if (lead >= 0xC2 && lead <= 0xDF)
        return 2;
    if (lead >= 0xE0 && lead <= 0xEF)
        return 3;
    if (lead >= 0xF0 && lead <= 0xF4)
        return 4;
    return 0;
}

// Characters that change how the terminal or a file list shows what follows:
// C1 controls, and the marks and overrides of bidirectional text.
bool isHiddenControl(std::uint32_t code)
{
    return (code >= 0x80 && code <= 0x9F) || code == 0x061C || code == 0x200E || code == 0x200F ||
           (code >= 0x202A && code <= 0x202E) || (code >= 0x2066 && code <= 0x2069);
}

// Cuts at most `size` bytes without splitting a character.
std::string utf8Prefix(const std::string& text, std::size_t size)
{
    if (text.size() <= size)
        return text;
    while (size > 0 && (static_cast<unsigned char>(text[size]) & 0xC0) == 0x80)
        --size;
    return text.substr(0, size);
}

} // namespace

std::string printable(const std::string& text, char replacement)
{
    std::string clean;
    clean.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        const std::size_t length = sequenceLength(lead);
        bool valid = length > 0 && i + length <= text.size();
        std::uint32_t code = length == 1 ? lead : (lead & (0xFFu >> (length + 1)));
        for (std::size_t k = 1; valid && k < length; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            valid = (next & 0xC0) == 0x80;
            code = (code << 6) | (next & 0x3Fu);
        }
        // Overlong forms and surrogates are not characters either.
        if (valid && ((length == 3 && (code < 0x800 || (code >= 0xD800 && code <= 0xDFFF))) ||
                      (length == 4 && (code < 0x10000 || code > 0x10FFFF))))
            valid = false;
        if (!valid) {
            clean.push_back(replacement);
            ++i;
            continue;
        }
        if (code < 0x20 || code == 0x7F || isHiddenControl(code))
            clean.push_back(replacement);
        else
            clean.append(text, i, length);
        i += length;
    }
    return clean;
}

std::string safeBaseName(const std::string& stored)
{
    const auto slash = stored.find_last_of("/\\");
    std::string clean = printable(slash == std::string::npos ? stored : stored.substr(slash + 1), '_');
    // Nothing lands hidden beside the program.
    clean.erase(0, clean.find_first_not_of('.'));
    if (clean.empty())
        return "extracted-file";
    return clean;
}

std::string numberedName(const std::string& name, int number, std::size_t maxSize)
{
    const auto dot = name.rfind('.');
    const bool hasExtension = dot != std::string::npos && dot != 0;
    std::string stem = hasExtension ? name.substr(0, dot) : name;
    std::string extension = hasExtension ? name.substr(dot) : std::string();
    const std::string suffix = number == 0 ? std::string() : " (" + std::to_string(number) + ")";
    // Keep the extension whole when it leaves room for a stem; an absurd one is cut too.
    if (extension.size() + suffix.size() + 1 > maxSize / 2)
        extension = utf8Prefix(extension, maxSize / 2 > suffix.size() + 1 ? maxSize / 2 - suffix.size() - 1 : 0);
    const std::size_t room =
        maxSize > suffix.size() + extension.size() ? maxSize - suffix.size() - extension.size() : 1;
    stem = utf8Prefix(stem, room);
    if (stem.empty())
        stem.assign(1, 'x'); // not = "x": GCC 12 reports a false -Wrestrict for it at -O2
    return stem + suffix + extension;
}

int extract(const Options& options, const PasswordPrompt& prompt, const Report& say, const Report& complain)
{
    const int fd = ::open(options.selfPath.c_str(), O_RDONLY | O_CLOEXEC);
    struct stat info
    {
    };
    if (fd < 0 || ::fstat(fd, &info) != 0) {
        complain("Cannot read the self-extracting file " + printable(options.selfPath) + ".");
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

    const std::string folder = options.outputDir.empty() ? cryptelle::folderOf(options.selfPath) : options.outputDir;
    for (int attempt = 1; attempt <= kAttempts; ++attempt) {
        std::string whyNot;
        const std::optional<std::string> password = prompt(attempt, whyNot);
        if (!password) {
            ::close(fd);
            complain(whyNot.empty() ? "No password could be asked for. Run this file from a terminal, or set "
                                      "ZQV_ASKPASS to a program that prints the password."
                                    : printable(whyNot));
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
                complain("The file could not be written in " + printable(folder) + ". Nothing was extracted.");
                return kCannotWrite;
            }
            complain("This file is damaged or incomplete. Nothing was extracted.");
            return kDamaged;
        }
        std::string finalPath;
        const EnvelopeSink::Outcome outcome = sink.commit(finalPath);
        if (outcome == EnvelopeSink::Outcome::Damaged) {
            complain("This file is damaged or incomplete. Nothing was extracted.");
            return kDamaged;
        }
        if (outcome == EnvelopeSink::Outcome::CannotWrite) {
            complain("The file could not be written in " + printable(folder) + ". Nothing was extracted.");
            return kCannotWrite;
        }
        say((sink.title.empty() ? std::string() : printable(sink.title) + ": ") + "extracted " + printable(finalPath));
        return kExtracted;
    }
    ::close(fd);
    return kWrongPassword;
}

} // namespace zqvsfx
