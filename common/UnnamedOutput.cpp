#include "UnnamedOutput.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include "FileSteps.h"
#include "FolderWalk.h"

namespace cryptelle {
namespace {

constexpr int kNameAttempts = 100;
// A folder path is at most PATH_MAX bytes, and each entry ends in a zero byte.
constexpr std::size_t kMaxRecordBytes = kMaxRecordedFolders * 4097;

std::atomic<bool> g_forceNamed{false};
std::atomic<LeftoverObserver> g_observer{nullptr};

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

// One pass of zeros through the descriptor, then emptied. The file system
// may keep older copies elsewhere (see the wiping guide); the file itself
// holds nothing afterwards.
bool overwriteAndEmpty(int fd)
{
    struct stat info
    {
    };
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode))
        return false;
    static const unsigned char kZeros[65536] = {};
    off_t offset = 0;
    while (offset < info.st_size) {
        const auto piece = static_cast<std::size_t>(std::min<off_t>(info.st_size - offset, sizeof kZeros));
        const ssize_t written = ::pwrite(fd, kZeros, piece, offset);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            break;
        offset += written;
    }
    const bool overwritten = offset >= info.st_size && ::fdatasync(fd) == 0;
    if (const LeftoverObserver observer = g_observer.load())
        observer(fd);
    return ::ftruncate(fd, 0) == 0 && ::fdatasync(fd) == 0 && overwritten;
}

std::string stateFolder()
{
    const char* state = std::getenv("XDG_STATE_HOME");
    if (state != nullptr && state[0] == '/')
        return std::string(state) + "/ZQV";
    const char* home = std::getenv("HOME");
    if (home == nullptr || home[0] != '/')
        return {};
    return std::string(home) + "/.local/state/ZQV";
}

bool makeFolders(const std::string& path)
{
    for (std::size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
        const std::string part = slash == std::string::npos ? path : path.substr(0, slash);
        if (::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST)
            return false;
        if (slash == std::string::npos)
            return true;
    }
}

// The record, ours and a regular file, locked for the caller.
UniqueFd openRecord(bool create)
{
    const std::string path = leftoverRecordPath();
    if (path.empty() || (create && !makeFolders(folderOf(path))))
        return UniqueFd();
    UniqueFd fd(
        ::open(path.c_str(), O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY | (create ? O_CREAT : 0), 0600));
    struct stat info
    {
    };
    if (fd.get() < 0 || ::fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode) || info.st_uid != ::geteuid() ||
        ::flock(fd.get(), LOCK_EX) != 0)
        return UniqueFd();
    return fd;
}

std::vector<std::string> recordedFolders(int fd)
{
    std::vector<std::string> folders;
    struct stat info
    {
    };
    if (::fstat(fd, &info) != 0 || info.st_size <= 0 || static_cast<std::size_t>(info.st_size) > kMaxRecordBytes)
        return folders;
    std::string content(static_cast<std::size_t>(info.st_size), '\0');
    if (::pread(fd, content.data(), content.size(), 0) != info.st_size)
        return folders;
    std::size_t start = 0;
    while (start < content.size() && folders.size() < kMaxRecordedFolders) {
        const std::size_t end = content.find('\0', start);
        if (end == std::string::npos)
            break; // a torn last entry
        std::string folder = content.substr(start, end - start);
        if (!folder.empty() && folder[0] == '/' && std::find(folders.begin(), folders.end(), folder) == folders.end())
            folders.push_back(std::move(folder));
        start = end + 1;
    }
    return folders;
}

void writeRecord(int fd, const std::vector<std::string>& folders)
{
    std::string content;
    for (const std::string& folder : folders)
        content += folder + '\0';
    if (::ftruncate(fd, 0) == 0)
        static_cast<void>(::pwrite(fd, content.data(), content.size(), 0) == static_cast<ssize_t>(content.size()));
}

// Notes the folder before a named temporary is made in it, so a kill at any
// point afterwards leaves a trace the next start finds.
void noteFolder(int folderFd)
{
    char target[4096] = {};
    const ssize_t length = ::readlink(procPath(folderFd).c_str(), target, sizeof target - 1);
    if (length <= 0 || target[0] != '/')
        return;
    const UniqueFd record = openRecord(true);
    if (record.get() < 0)
        return;
    std::vector<std::string> folders = recordedFolders(record.get());
    const std::string folder(target, static_cast<std::size_t>(length));
    if (std::find(folders.begin(), folders.end(), folder) != folders.end() || folders.size() >= kMaxRecordedFolders)
        return;
    folders.push_back(folder);
    writeRecord(record.get(), folders);
}

} // namespace

std::string leftoverRecordPath()
{
    const std::string folder = stateFolder();
    return folder.empty() ? std::string() : folder + "/partial-folders";
}

void setLeftoverObserver(LeftoverObserver observer)
{
    g_observer = observer;
}

void UnnamedOutput::forceNamedFallback(bool force)
{
    g_forceNamed = force;
}

void wipeRecordedLeftovers()
{
    const UniqueFd record = openRecord(false);
    if (record.get() < 0)
        return;
    std::vector<std::string> kept;
    for (const std::string& folder : recordedFolders(record.get())) {
        const UniqueFd folderFd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (folderFd.get() >= 0 && !removeStaleTemporaries(folderFd.get()))
            kept.push_back(folder);
    }
    writeRecord(record.get(), kept);
}

bool removeStaleTemporaries(int folderFd)
{
    const FolderListing folder = openListing(folderFd);
    if (!folder)
        return false;
    bool allGone = true;
    const std::size_t prefixSize = std::strlen(UnnamedOutput::kTemporaryPrefix);
    while (const dirent* entry = ::readdir(folder.get())) {
        if (std::strncmp(entry->d_name, UnnamedOutput::kTemporaryPrefix, prefixSize) != 0)
            continue;
        const std::string name = entry->d_name;
        constexpr int kFlags = O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY;
        UniqueFd file(::openat(folderFd, name.c_str(), O_RDWR | kFlags));
        const bool writable = file.get() >= 0;
        if (!writable)
            file.reset(::openat(folderFd, name.c_str(), O_RDONLY | kFlags));
        struct stat info
        {
        };
        if (file.get() < 0 || ::fstat(file.get(), &info) != 0 || !S_ISREG(info.st_mode) || info.st_uid != ::geteuid())
            continue;
        // A running output holds its lock; only an abandoned one can be taken.
        if (::flock(file.get(), LOCK_EX | LOCK_NB) != 0) {
            allGone = false;
            continue;
        }
        if (!sameEntry(folderFd, name, file.get()))
            continue;
        if (writable)
            static_cast<void>(overwriteAndEmpty(file.get()));
        if (::unlinkat(folderFd, name.c_str(), 0) != 0)
            allGone = false;
    }
    return allGone;
}

bool UnnamedOutput::open(const std::string& folder, Kind prefer)
{
    discard();
    m_folder.reset(::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (m_folder.get() < 0)
        return false;
    if (prefer == Kind::Unnamed && !g_forceNamed) {
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
    static_cast<void>(removeStaleTemporaries(m_folder.get()));
    noteFolder(m_folder.get());
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

UnnamedOutput::Result UnnamedOutput::commit(const std::string& name, bool replaceExisting, Sync sync)
{
    if (m_file.get() < 0 || name.empty() || name.find('/') != std::string::npos) {
        errno = EINVAL;
        return Result::Failed;
    }
    if (sync == Sync::FileAndFolder && ::fsync(m_file.get()) != 0)
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
    if (sync == Sync::FileAndFolder)
        syncFolder(m_folder.get());
    m_file.reset();
    m_folder.reset();
    return Result::Done;
}

void UnnamedOutput::discard()
{
    if (!m_temporary.empty() && m_folder.get() >= 0) {
        // Still ours under that name: what it holds (a decrypted file, say) goes first.
        if (m_file.get() >= 0 && sameEntry(m_folder.get(), m_temporary, m_file.get()))
            static_cast<void>(overwriteAndEmpty(m_file.get()));
        ::unlinkat(m_folder.get(), m_temporary.c_str(), 0);
    }
    m_temporary.clear();
    m_file.reset();
    m_folder.reset();
}

} // namespace cryptelle
