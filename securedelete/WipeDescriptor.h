#pragma once

#include "EntryOutcome.h"

namespace zqvdod {

// Linked statically by its users, so the library keeps `shred` as its only
// export. Safe to call from any thread: it shares no state with `shred`.

// Wipes exactly the entry the absolute path names, with the passes and checks
// of `shred`, never reading '*' or '?' as wildcards: for files whose own
// names contain them, where a pattern would reach their neighbours if the
// file vanished just before the call.
[[nodiscard]] EntryOutcome wipeExactEntry(const char* absolutePath);

// Wipes the file held open as `fd` (for writing) through that descriptor and
// removes the name `absolutePath` only while it still leads to that file, so
// a file put in its place is never touched. The descriptor stays open.
[[nodiscard]] EntryOutcome wipeHeldEntry(const char* absolutePath, int fd);

// Overwrites and empties the content of a file open for writing that has no
// name left. True when every byte was overwritten where it lies.
[[nodiscard]] bool wipeNamelessContent(int fd);

} // namespace zqvdod
