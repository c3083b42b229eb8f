#pragma once

namespace zqvdod {

// Linked statically by its users, so the library keeps `shred` as its only
// export. Safe to call from any thread: it shares no state with `shred`.

// What became of one named entry.
enum class EntryOutcome {
    Wiped,                 // overwritten where it lay and removed
    RemovedNotOverwritten, // removed, but not overwritten where it lies
    Kept,                  // still there under its name
    Skipped,               // not a file, or gone
};

// Wipes exactly the entry the absolute path names, with the passes and checks
// of `shred`, never reading '*' or '?' as wildcards: for files whose own
// names contain them, where a pattern would reach their neighbours if the
// file vanished just before the call.
[[nodiscard]] EntryOutcome wipeExactEntry(const char* absolutePath);

} // namespace zqvdod
