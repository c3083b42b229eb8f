#include "FileOps.h"

#include <cerrno>
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
