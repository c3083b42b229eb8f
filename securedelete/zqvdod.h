#pragma once

// The secure-deletion library's one export. Returns 0 when every file the path
// matched was overwritten and removed, non-zero otherwise. Prints nothing.
extern "C" int shred(const char* path);
