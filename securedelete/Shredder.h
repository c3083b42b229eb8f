#pragma once

#include <string>
#include <vector>

#include <sys/stat.h>

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
    enum class Outcome {
        Wiped,                 // content overwritten (or nothing to overwrite) and name removed
        RemovedNotOverwritten, // name removed, but the content could not be overwritten where it lies
        Kept,                  // the entry is still there under its own name
        Skipped,               // not a file: folders, vanished entries
    };

    static constexpr unsigned kDefaultPassCount = 1;

    explicit Shredder(FileOps& ops);

    // The file the path names; only when no entry has that name, every file
    // that the wildcards of its last component match, directly in that folder.
    // Returns 0 when at least one file matched and each was wiped, 1 otherwise.
    [[nodiscard]] int shred(const char* path);

    [[nodiscard]] Outcome treatEntry(const std::string& path);

    // Overwrites an open file's content where it lies and empties it, for
    // files that never had a name. True when every byte was overwritten.
    [[nodiscard]] bool wipeContent(int fd);

    void setPassCount(unsigned count) { m_passCount = count; }
    [[nodiscard]] const WipePatterns& patterns() const { return m_patterns; }

private:
    [[nodiscard]] std::vector<std::string> matchingEntries(const std::string& fullPath) const;
    [[nodiscard]] bool canBeRemoved(const std::string& path, const struct stat& found) const;
    [[nodiscard]] Outcome wipeRegularFile(const std::string& path, const struct stat& found);
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
