#include "FileOps.h"

#include <cerrno>
#include <csignal>
#include <cstdio>

#include <FileSteps.h>
#include <fcntl.h>
#include <unistd.h>

namespace zqvdod {

int FileOps::openForOverwrite(const std::string& path)
{
    // O_NONBLOCK keeps a FIFO swapped in after the walk from blocking us; the
    // caller checks the descriptor is still the regular file it found.
    return ::open(path.c_str(), O_WRONLY | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
}

FileOps::Lease FileOps::takeWriteLease(int fd)
{
    // Another process opening the file during the wipe breaks the lease with a
    // signal; SIGIO would end the caller, SIGURG is ignored unless handled. The
    // opener waits until the lease is released, after the file is emptied.
    if (::fcntl(fd, F_SETSIG, SIGURG) != 0)
        return Lease::Unavailable;
    if (::fcntl(fd, F_SETLEASE, F_WRLCK) == 0)
        return Lease::Taken;
    return errno == EAGAIN || errno == EBUSY ? Lease::InUse : Lease::Unavailable;
}

void FileOps::releaseLease(int fd)
{
    ::fcntl(fd, F_SETLEASE, F_UNLCK);
}

bool FileOps::renameNoReplace(const std::string& from, const std::string& to)
{
    return cryptelle::renameNoReplace(from, to);
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
    cryptelle::syncFolder(folder);
}

} // namespace zqvdod
