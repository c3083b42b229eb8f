#include "FolderWalk.h"

#include <algorithm>
#include <cerrno>
#include <memory>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace cryptelle {

bool FolderEntry::isFile() const
{
    return S_ISREG(type);
}

bool FolderEntry::isFolder() const
{
    return S_ISDIR(type);
}

FolderListing openListing(int folderFd)
{
    // readdir moves the descriptor's position; a duplicate keeps the caller's untouched.
    const int listFd = ::openat(folderFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (listFd < 0)
        return FolderListing(nullptr, ::closedir);
    FolderListing folder(::fdopendir(listFd), ::closedir);
    if (!folder)
        ::close(listFd);
    return folder;
}

bool listFolder(int folderFd, std::vector<FolderEntry>& entries)
{
    entries.clear();
    const FolderListing folder = openListing(folderFd);
    if (!folder)
        return false;
    errno = 0;
    while (const dirent* found = ::readdir(folder.get())) {
        const std::string name = found->d_name;
        if (name == "." || name == "..")
            continue;
        struct stat info
        {
        };
        if (::fstatat(folderFd, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) {
            if (errno == ENOENT)
                continue; // gone since the listing
            return false;
        }
        entries.push_back({name, info.st_mode & S_IFMT, info.st_mode & 07777, info.st_dev, info.st_ino, info.st_size});
        errno = 0;
    }
    if (errno != 0)
        return false;
    std::sort(
        entries.begin(), entries.end(), [](const FolderEntry& a, const FolderEntry& b) { return a.name < b.name; });
    return true;
}

int openListedEntry(int folderFd, const FolderEntry& entry, int flags)
{
    // O_NONBLOCK: a FIFO swapped in must not hang the open.
    const int fd = ::openat(folderFd, entry.name.c_str(), flags | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0)
        return -1;
    struct stat info
    {
    };
    if (::fstat(fd, &info) != 0 || (info.st_mode & S_IFMT) != entry.type || info.st_dev != entry.device ||
        info.st_ino != entry.inode) {
        ::close(fd);
        errno = ESTALE;
        return -1;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return fd;
}

} // namespace cryptelle
