#pragma once

#include <string>

namespace cryptelle {

// Renames without ever replacing an existing entry. File systems without
// RENAME_NOREPLACE get a hard link and an unlink, which refuses an existing
// name just the same. On failure errno tells why (EEXIST: the name is taken).
[[nodiscard]] bool renameNoReplace(const std::string& from, const std::string& to);
[[nodiscard]] bool renameNoReplaceAt(int fromFolder, const char* from, int toFolder, const char* to);

// Makes a finished rename, link or removal in the folder durable. Best effort:
// the entry itself already reached the file system.
void syncFolder(const std::string& folder);
void syncFolder(int folderFd);

// The folder part of a path ("." for a bare name, "/" for the root).
[[nodiscard]] std::string folderOf(const std::string& path);
// The part after the last '/'.
[[nodiscard]] std::string nameOf(const std::string& path);

// Writes everything or fails; retries short writes and interruptions.
[[nodiscard]] bool writeAll(int fd, const void* data, std::size_t size);

} // namespace cryptelle
