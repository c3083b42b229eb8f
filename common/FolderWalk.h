#pragma once

#include <memory>
#include <string>
#include <vector>

#include <dirent.h>
#include <sys/types.h>

namespace cryptelle {

// One entry of a folder as it was when listed; a link is a link, never its target.
struct FolderEntry
{
    std::string name;
    mode_t type = 0; // S_IFREG, S_IFDIR, S_IFLNK, ...
    mode_t mode = 0; // permission bits
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0; // when listed

    [[nodiscard]] bool isFile() const;
    [[nodiscard]] bool isFolder() const;
};

// A stream of a folder's entries read through a duplicate of its descriptor,
// so the caller's descriptor keeps its position; null when it cannot be read.
using FolderListing = std::unique_ptr<DIR, int (*)(DIR*)>;
[[nodiscard]] FolderListing openListing(int folderFd);

// Lists a folder given by its descriptor, without "." and "..", sorted by name.
[[nodiscard]] bool listFolder(int folderFd, std::vector<FolderEntry>& entries);

// Opens a listed entry relative to its folder, never following a link, and
// only while it is still the entry that was listed (same type, device and
// inode): an entry swapped after the listing gives -1 with errno ESTALE.
[[nodiscard]] int openListedEntry(int folderFd, const FolderEntry& entry, int flags);

} // namespace cryptelle
