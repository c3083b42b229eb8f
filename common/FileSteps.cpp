#include "FileSteps.h"

#include <cerrno>
#include <cstdio>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace cryptelle {

bool renameNoReplaceAt(int fromFolder, const char* from, int toFolder, const char* to)
{
    if (::renameat2(fromFolder, from, toFolder, to, RENAME_NOREPLACE) == 0)
        return true;
    if (errno != EINVAL && errno != ENOSYS)
        return false;
    return renameNoReplaceFallbackAt(fromFolder, from, toFolder, to);
}

bool renameNoReplaceFallbackAt(int fromFolder, const char* from, int toFolder, const char* to)
{
    struct stat source
    {
    };
    if (::fstatat(fromFolder, from, &source, AT_SYMLINK_NOFOLLOW) != 0)
        return false;
    if (S_ISDIR(source.st_mode)) {
        // Creating the name is the atomic claim; a folder may then replace
        // only an empty folder, so whatever else appears there meanwhile
        // makes the rename fail instead of being lost.
        if (::mkdirat(toFolder, to, 0700) != 0)
            return false;
        if (::renameat(fromFolder, from, toFolder, to) == 0)
            return true;
        const int saved = errno;
        ::unlinkat(toFolder, to, AT_REMOVEDIR);
        errno = saved;
        return false;
    }
    if (::linkat(fromFolder, from, toFolder, to, 0) != 0)
        return false;
    if (::unlinkat(fromFolder, from, 0) != 0) {
        const int saved = errno;
        ::unlinkat(toFolder, to, 0);
        errno = saved;
        return false;
    }
    return true;
}

bool renameNoReplace(const std::string& from, const std::string& to)
{
    return renameNoReplaceAt(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str());
}

void syncFolder(int folderFd)
{
    if (folderFd >= 0)
        ::fsync(folderFd);
}

void syncFolder(const std::string& folder)
{
    const int fd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return;
    ::fsync(fd);
    ::close(fd);
}

std::string folderOf(const std::string& path)
{
    const auto slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string nameOf(const std::string& path)
{
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool writeAll(int fd, const void* data, std::size_t size)
{
    const auto* bytes = static_cast<const unsigned char*>(data);
    while (size > 0) {
        const ssize_t n = ::write(fd, bytes, size);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        if (n == 0) {
            errno = EIO;
            return false;
        }
        bytes += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

} // namespace cryptelle
