#pragma once

namespace zqvdod {

// What became of one named entry.
enum class EntryOutcome {
    Wiped,                 // overwritten where it lay (or nothing to overwrite) and removed
    RemovedNotOverwritten, // removed, but not overwritten where it lies
    Kept,                  // still there under its name
    Skipped,               // not a file (folders), or gone
    NotTheHeldFile,        // the name no longer leads to the held file; nothing under it was touched
};

} // namespace zqvdod
