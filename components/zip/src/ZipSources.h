#pragma once

#include <memory>
#include <vector>

#include <FolderWalk.h>
#include <UniqueFd.h>
#include <zip.h>

namespace ziplight {

// A file to pack, found by walking from the source folder's descriptor: the
// folders leading to it and the file itself, each as it was listed.
struct ListedFile
{
    std::shared_ptr<cryptelle::UniqueFd> root;
    std::vector<cryptelle::FolderEntry> chain;
};

// Opens the file for reading by walking its chain again from the root,
// relative to each folder's descriptor, never following a link; -1 (errno
// ESTALE) when any step is no longer the entry that was listed.
[[nodiscard]] int openListedFile(const ListedFile& file);

// A zip source that opens the file only when libzip reads it, relative to
// its folders' descriptors, without following links, and only while every
// step is still the entry that was listed. Nothing is ever opened by path.
[[nodiscard]] zip_source_t* listedFileSource(zip_t* archive, ListedFile file);

} // namespace ziplight
