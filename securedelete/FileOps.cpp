#include "FileOps.h"

#include <cerrno>
#include <cstdio>

#include <fcntl.h>
#include <unistd.h>

namespace zqvdod {

int FileOps::openForOverwrite(const std::string& path)
{
    // O_NONBLOCK keeps a FIFO swapped in after the walk from blocking us; the
    // caller checks the descriptor is still the regular file it found.
    return ::open(path.c_str(), O_WRONLY | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
}

bool FileOps::renameNoReplace(const std::string& from, const std::string& to)
{
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
        return true;
    if (errno != EINVAL && errno != ENOSYS)
        return false;
    // File systems without the flag: a hard link fails on an existing name,
    // which gives the same no-replace guarantee.
    if (::link(from.c_str(), to.c_str()) != 0)
        return false;
    if (::unlink(from.c_str()) != 0) {
        ::unlink(to.c_str());
        return false;
    }
    return true;
}

bool FileOps::removeFile(const std::string& path)
{
    return ::unlink(path.c_str()) == 0;
}

bool FileOps::syncData(int fd)
{
    return ::fdatasync(fd) == 0;
}

void FileOps::syncFolder(const std::string& folder)
{
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return;
    ::fsync(fd);
    ::close(fd);
}

} // namespace zqvdod
