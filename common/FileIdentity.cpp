#include "FileIdentity.h"

#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>

namespace cryptelle {
namespace {

// Non-blocking so a FIFO swapped in under the name never hangs the open.
constexpr int kOpenFlags = O_NONBLOCK | O_NOCTTY | O_CLOEXEC;

bool isWritableMode(int fd)
{
    const int flags = ::fcntl(fd, F_GETFL);
    return flags >= 0 && ((flags & O_ACCMODE) == O_RDWR || (flags & O_ACCMODE) == O_WRONLY);
}

} // namespace

FileIdentity FileIdentity::of(const struct stat& info)
{
    FileIdentity identity;
    identity.device = static_cast<std::uint64_t>(info.st_dev);
    identity.inode = static_cast<std::uint64_t>(info.st_ino);
    identity.size = static_cast<std::int64_t>(info.st_size);
    identity.modifiedSeconds = static_cast<std::int64_t>(info.st_mtim.tv_sec);
    identity.modifiedNanoseconds = static_cast<std::int64_t>(info.st_mtim.tv_nsec);
    identity.changedSeconds = static_cast<std::int64_t>(info.st_ctim.tv_sec);
    identity.changedNanoseconds = static_cast<std::int64_t>(info.st_ctim.tv_nsec);
    return identity;
}

bool identityOfPath(const std::string& path, FileIdentity& identity)
{
    struct stat info
    {
    };
    if (::lstat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode))
        return false;
    identity = FileIdentity::of(info);
    return true;
}

bool identityOfDescriptor(int fd, FileIdentity& identity)
{
    struct stat info
    {
    };
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode))
        return false;
    identity = FileIdentity::of(info);
    return true;
}

IdentityCheck checkPath(const std::string& path, const FileIdentity& expected)
{
    struct stat info
    {
    };
    if (::lstat(path.c_str(), &info) != 0)
        return errno == ENOENT || errno == ENOTDIR ? IdentityCheck::Gone : IdentityCheck::Replaced;
    if (!S_ISREG(info.st_mode))
        return IdentityCheck::Replaced;
    const FileIdentity now = FileIdentity::of(info);
    if (!now.sameFile(expected))
        return IdentityCheck::Replaced;
    return now == expected ? IdentityCheck::Unchanged : IdentityCheck::Changed;
}

bool HeldFile::open(const std::string& path, Access access, bool followLink)
{
    close();
    const int follow = followLink ? 0 : O_NOFOLLOW;
    UniqueFd fd;
    bool writable = false;
    if (access == Access::ReadOrWrite) {
        fd.reset(::open(path.c_str(), O_RDWR | follow | kOpenFlags));
        writable = fd.get() >= 0;
    }
    if (fd.get() < 0)
        fd.reset(::open(path.c_str(), O_RDONLY | follow | kOpenFlags));
    if (fd.get() < 0)
        return false;
    FileIdentity link;
    bool throughLink = false;
    if (followLink) {
        struct stat own
        {
        };
        if (::lstat(path.c_str(), &own) != 0)
            return false;
        throughLink = S_ISLNK(own.st_mode);
        link = FileIdentity::of(own);
    }
    if (!adopt(path, std::move(fd)))
        return false;
    m_writable = writable;
    m_throughLink = throughLink;
    m_link = link;
    return true;
}

bool HeldFile::adopt(const std::string& path, UniqueFd fd)
{
    close();
    FileIdentity identity;
    if (fd.get() < 0 || !identityOfDescriptor(fd.get(), identity)) {
        errno = fd.get() < 0 ? EBADF : EINVAL;
        return false;
    }
    // Reads must block like any ordinary file's; the flag only guarded the open.
    const int flags = ::fcntl(fd.get(), F_GETFL);
    if (flags >= 0)
        ::fcntl(fd.get(), F_SETFL, flags & ~O_NONBLOCK);
    m_writable = isWritableMode(fd.get());
    m_fd = std::move(fd);
    m_path = path;
    m_identity = identity;
    return true;
}

IdentityCheck HeldFile::check() const
{
    if (!isOpen())
        return IdentityCheck::Gone;
    struct stat named
    {
    };
    if (::lstat(m_path.c_str(), &named) != 0)
        return errno == ENOENT || errno == ENOTDIR ? IdentityCheck::Gone : IdentityCheck::Replaced;
    if (m_throughLink) {
        // The link must be the one followed, still leading to the held file.
        if (!S_ISLNK(named.st_mode) || FileIdentity::of(named) != m_link || ::stat(m_path.c_str(), &named) != 0)
            return IdentityCheck::Replaced;
    }
    if (!S_ISREG(named.st_mode) || !FileIdentity::of(named).sameFile(m_identity))
        return IdentityCheck::Replaced;
    FileIdentity now;
    if (!identityOfDescriptor(m_fd.get(), now))
        return IdentityCheck::Replaced;
    return now == m_identity ? IdentityCheck::Unchanged : IdentityCheck::Changed;
}

void HeldFile::close()
{
    m_fd.reset();
    m_path.clear();
    m_identity = {};
    m_writable = false;
    m_throughLink = false;
    m_link = {};
}

} // namespace cryptelle
