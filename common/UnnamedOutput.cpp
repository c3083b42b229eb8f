#include "UnnamedOutput.h"

#include <cerrno>
#include <cstring>
#include <memory>

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include "FileSteps.h"

namespace cryptelle {
namespace {

constexpr int kNameAttempts = 100;

std::string randomTemporaryName()
{
    static const char kLetters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    unsigned char bytes[12] = {};
    if (::getrandom(bytes, sizeof bytes, 0) != static_cast<ssize_t>(sizeof bytes)) {
        // Only uniqueness matters here; exclusive creation catches a clash.
        const auto seed = static_cast<unsigned long>(::getpid()) ^ static_cast<unsigned long>(::time(nullptr));
        for (std::size_t i = 0; i < sizeof bytes; ++i)
            bytes[i] = static_cast<unsigned char>(seed >> (i % 8 * 8)) ^ static_cast<unsigned char>(i * 37);
    }
    std::string name = UnnamedOutput::kTemporaryPrefix;
    for (const unsigned char b : bytes)
        name.push_back(kLetters[b % (sizeof kLetters - 1)]);
    return name;
}

bool sameEntry(int folderFd, const std::string& name, int fd)
{
    struct stat byName
    {
    };
    struct stat byFd
    {
    };
    return ::fstatat(folderFd, name.c_str(), &byName, AT_SYMLINK_NOFOLLOW) == 0 && ::fstat(fd, &byFd) == 0 &&
           byName.st_dev == byFd.st_dev && byName.st_ino == byFd.st_ino;
}

std::string procPath(int fd)
{
    return "/proc/self/fd/" + std::to_string(fd);
}

} // namespace

void removeStaleTemporaries(int folderFd)
{
    const int listFd = ::openat(folderFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (listFd < 0)
        return;
    std::unique_ptr<DIR, int (*)(DIR*)> folder(::fdopendir(listFd), ::closedir);
    if (!folder) {
        ::close(listFd);
        return;
    }
    const std::size_t prefixSize = std::strlen(UnnamedOutput::kTemporaryPrefix);
    while (const dirent* entry = ::readdir(folder.get())) {
        if (std::strncmp(entry->d_name, UnnamedOutput::kTemporaryPrefix, prefixSize) != 0)
            continue;
        const std::string name = entry->d_name;
        UniqueFd file(::openat(folderFd, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
        struct stat info
        {
        };
        if (file.get() < 0 || ::fstat(file.get(), &info) != 0 || !S_ISREG(info.st_mode) || info.st_uid != ::geteuid())
            continue;
        // A running output holds its lock; only an abandoned one can be taken.
        if (::flock(file.get(), LOCK_EX | LOCK_NB) != 0)
            continue;
        if (sameEntry(folderFd, name, file.get()))
            ::unlinkat(folderFd, name.c_str(), 0);
    }
}

bool UnnamedOutput::open(const std::string& folder, Kind prefer)
{
    discard();
    m_folder.reset(::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (m_folder.get() < 0)
        return false;
    if (prefer == Kind::Unnamed) {
        m_file.reset(::openat(m_folder.get(), ".", O_TMPFILE | O_RDWR | O_CLOEXEC, 0600));
        // Linking it later goes through /proc; without it the file could never be named.
        if (m_file.get() >= 0 && ::access(procPath(m_file.get()).c_str(), F_OK) == 0) {
            if (::flock(m_file.get(), LOCK_EX) == 0)
                return true;
        }
        const int saved = errno;
        m_file.reset();
        // Only a file system without unnamed files deserves the fallback.
        if (saved != EOPNOTSUPP && saved != EISDIR && saved != EINVAL && saved != ENOENT) {
            errno = saved;
            m_folder.reset();
            return false;
        }
    }
    removeStaleTemporaries(m_folder.get());
    if (openNamed())
        return true;
    m_folder.reset();
    return false;
}

bool UnnamedOutput::openNamed()
{
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
        std::string name = randomTemporaryName();
        UniqueFd file(::openat(m_folder.get(), name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
        if (file.get() < 0) {
            if (errno == EEXIST)
                continue;
            return false;
        }
        // A cleaner in another process may have taken the name between the
        // creation and the lock; then start again with a fresh name.
        if (::flock(file.get(), LOCK_EX) != 0 || !sameEntry(m_folder.get(), name, file.get()))
            continue;
        m_file = std::move(file);
        m_temporary = std::move(name);
        return true;
    }
    errno = EEXIST;
    return false;
}

UnnamedOutput::Result UnnamedOutput::linkUnder(const std::string& name)
{
    if (::linkat(AT_FDCWD, procPath(m_file.get()).c_str(), m_folder.get(), name.c_str(), AT_SYMLINK_FOLLOW) == 0)
        return Result::Done;
    return errno == EEXIST ? Result::Exists : Result::Failed;
}

UnnamedOutput::Result UnnamedOutput::commit(const std::string& name, bool replaceExisting)
{
    if (m_file.get() < 0 || name.empty() || name.find('/') != std::string::npos) {
        errno = EINVAL;
        return Result::Failed;
    }
    if (::fsync(m_file.get()) != 0)
        return Result::Failed;

    Result result = Result::Failed;
    if (kind() == Kind::Named) {
        if (replaceExisting)
            result = ::renameat(m_folder.get(), m_temporary.c_str(), m_folder.get(), name.c_str()) == 0
                         ? Result::Done
                         : Result::Failed;
        else if (renameNoReplaceAt(m_folder.get(), m_temporary.c_str(), m_folder.get(), name.c_str()))
            result = Result::Done;
        else
            result = errno == EEXIST ? Result::Exists : Result::Failed;
        if (result == Result::Done)
            m_temporary.clear();
    } else if (!replaceExisting) {
        result = linkUnder(name);
    } else {
        // linkat never replaces: link under a private name, then rename over.
        for (int attempt = 0; attempt < kNameAttempts && result != Result::Done; ++attempt) {
            const std::string privateName = randomTemporaryName();
            const Result linked = linkUnder(privateName);
            if (linked == Result::Exists)
                continue;
            if (linked == Result::Failed)
                break;
            if (::renameat(m_folder.get(), privateName.c_str(), m_folder.get(), name.c_str()) == 0) {
                result = Result::Done;
            } else {
                const int saved = errno;
                ::unlinkat(m_folder.get(), privateName.c_str(), 0);
                errno = saved;
                break;
            }
        }
    }
    if (result != Result::Done)
        return result;
    syncFolder(m_folder.get());
    m_file.reset();
    m_folder.reset();
    return Result::Done;
}

void UnnamedOutput::discard()
{
    if (!m_temporary.empty() && m_folder.get() >= 0)
        ::unlinkat(m_folder.get(), m_temporary.c_str(), 0);
    m_temporary.clear();
    m_file.reset();
    m_folder.reset();
}

} // namespace cryptelle
