#pragma once

// The secure-deletion library's one export. Wipes the file the path names or,
// only when no entry has exactly that name, every file that the wildcards '*'
// and '?' of its last component match directly in that folder.
// Returns 0 when at least one file matched and every matched file was
// overwritten and removed; 1 otherwise, also when nothing matched (nothing was
// wiped). Prints nothing.
extern "C" int shred(const char* path);
