#pragma once

#include <string>

namespace cryptelle {

// Renames a file or a folder without ever replacing an existing entry. File
// systems without RENAME_NOREPLACE get the same refusal another way: a file is
// hard-linked under the new name and unlinked from the old; a folder first
// gets an empty folder of ours created under the new name, which it then
// replaces. Neither checks first and renames after. On failure errno tells
// why (EEXIST: the name is taken) and nothing was moved.
[[nodiscard]] bool renameNoReplace(const std::string& from, const std::string& to);
[[nodiscard]] bool renameNoReplaceAt(int fromFolder, const char* from, int toFolder, const char* to);
// The way taken where the file system lacks RENAME_NOREPLACE.
[[nodiscard]] bool renameNoReplaceFallbackAt(int fromFolder, const char* from, int toFolder, const char* to);

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
