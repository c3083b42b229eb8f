#pragma once

#include <string>

#include "UniqueFd.h"

namespace cryptelle {

// A new file that has no name until it is complete: created unnamed in the
// destination folder (O_TMPFILE, mode 0600), synced, and only then linked
// under its name. A crash before that leaves nothing behind.
//
// Where the file system has no unnamed files (FUSE mounts, for one), a hidden
// named temporary of ours is used instead (mode 0600, locked while in use).
// Its folder is noted in a per-user record first; leftovers of killed runs are
// overwritten through their descriptor and removed at the next start of a
// program (wipeRecordedLeftovers) and whenever an output is opened in the
// same folder. A discarded named temporary is overwritten before it goes.
class UnnamedOutput
{
public:
    enum class Kind { Unnamed, Named };
    enum class Result { Done, Exists, Failed };
    // What commit makes durable. Neither: the caller has already synced the
    // content (one sync of the file system for many outputs) and syncs the
    // folder once itself after naming them all.
    enum class Sync { FileAndFolder, Neither };

    // Names of our named temporaries start with this.
    static constexpr const char* kTemporaryPrefix = ".zqv-partial-";

    UnnamedOutput() = default;
    ~UnnamedOutput() { discard(); }
    UnnamedOutput(const UnnamedOutput&) = delete;
    UnnamedOutput& operator=(const UnnamedOutput&) = delete;

    // `prefer` Named skips the unnamed attempt (the fallback, on purpose).
    [[nodiscard]] bool open(const std::string& folder, Kind prefer = Kind::Unnamed);
    [[nodiscard]] int fd() const { return m_file.get(); }
    [[nodiscard]] Kind kind() const { return m_temporary.empty() ? Kind::Unnamed : Kind::Named; }

    // Syncs the content and gives it `name` in the folder. Without
    // `replaceExisting` an existing entry is never replaced: Exists, and the
    // output stays open for another name. On Failed, errno says why.
    [[nodiscard]] Result commit(const std::string& name, bool replaceExisting, Sync sync = Sync::FileAndFolder);
    // The destination folder, while open.
    [[nodiscard]] int folderFd() const { return m_folder.get(); }

    // Drops the output: an unnamed file simply goes, a named one is
    // overwritten through its descriptor and removed.
    void discard();

    // Every output of the process takes the named fallback, as on a file
    // system without unnamed files.
    static void forceNamedFallback(bool force);

private:
    [[nodiscard]] bool openNamed();
    [[nodiscard]] Result linkUnder(const std::string& name);

    UniqueFd m_folder;
    UniqueFd m_file;
    std::string m_temporary;
};

// Overwrites, empties and removes the named temporaries of ours in the folder
// that no running output holds. True when none is left behind.
bool removeStaleTemporaries(int folderFd);

// The per-user record of folders that got a named temporary:
// $XDG_STATE_HOME/ZQV/partial-folders (~/.local/state by default), beside the queue.
[[nodiscard]] std::string leftoverRecordPath();
// Cleans every folder in the record as above, and keeps in the record only
// those where something of ours is still left (held by a running output).
// Bounded: the record holds at most kMaxRecordedFolders folders.
void wipeRecordedLeftovers();
inline constexpr std::size_t kMaxRecordedFolders = 256;

// Called with each leftover's descriptor once it is overwritten, before it is emptied.
using LeftoverObserver = void (*)(int fd);
void setLeftoverObserver(LeftoverObserver observer);

} // namespace cryptelle
