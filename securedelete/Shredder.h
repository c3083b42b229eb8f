#pragma once

#include <string>
#include <vector>

#include <sys/stat.h>

#include "EntryOutcome.h"
#include "ExtentMap.h"
#include "FileOps.h"
#include "WipePatterns.h"

namespace zqvdod {

// Destroys files: overwrites their content where it lies on disk, sweeps their
// name through 26 renames and deletes them. Silent by design; the result says
// whether every matched file was overwritten and removed.
class Shredder
{
public:
    // The library's own outcome of one entry, so the exported routines hand
    // it on as it is.
    using Outcome = EntryOutcome;

    static constexpr unsigned kDefaultPassCount = 1;

    explicit Shredder(FileOps& ops);

    // The file the path names; only when no entry has that name, every file
    // that the wildcards of its last component match, directly in that folder.
    // Returns 0 when at least one file matched and each was wiped, 1 otherwise.
    [[nodiscard]] int shred(const char* path);

    [[nodiscard]] Outcome treatEntry(const std::string& path);

    // Wipes the file held open as `fd` (opened for writing) and removes the
    // name `path` only while that name still leads to it: checked before the
    // content is touched, and again as the first rename takes the name away,
    // so a file put in its place meanwhile keeps its name and content.
    [[nodiscard]] Outcome treatHeld(const std::string& path, int fd);

    // Overwrites an open file's content where it lies and empties it, for
    // files that never had a name. True when every byte was overwritten.
    [[nodiscard]] bool wipeContent(int fd);

    void setPassCount(unsigned count) { m_passCount = count; }
    [[nodiscard]] const WipePatterns& patterns() const { return m_patterns; }

private:
    [[nodiscard]] std::vector<std::string> matchingEntries(const std::string& fullPath) const;
    [[nodiscard]] bool canBeRemoved(const std::string& path, const struct stat& found) const;
    [[nodiscard]] Outcome wipeRegularFile(const std::string& path, const struct stat& found);
    // The passes and the emptying of a file open for writing, under a lease
    // where one can be had. False when the file must stay as it is.
    [[nodiscard]] bool emptyOpenFile(int fd, bool& inPlace);
    enum class NameRemoval { Removed, Kept, NotTheHeldFile };
    // The sweep and removal of a name that must lead to `held` (device and inode).
    [[nodiscard]] NameRemoval removeHeldName(const std::string& path, const struct stat& held);
    [[nodiscard]] bool overwriteGrowth(int fd, std::uint64_t covered);
    // The ranges to overwrite (holes stay holes) and whether they can be overwritten in place.
    [[nodiscard]] std::vector<ByteRange> rangesOf(int fd, const struct stat& info, bool& inPlace) const;
    [[nodiscard]] bool overwrite(int fd, const std::vector<ByteRange>& ranges);
    [[nodiscard]] bool writeRange(int fd, const ByteRange& range, const unsigned char* pattern) const;
    [[nodiscard]] std::string renameSweep(const std::string& path);
    [[nodiscard]] bool removeName(const std::string& path);

    FileOps& m_ops;
    WipePatterns m_patterns;
    unsigned m_passCount = kDefaultPassCount;
};

} // namespace zqvdod
