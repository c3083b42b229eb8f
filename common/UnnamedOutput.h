#pragma once

#include <string>

#include "UniqueFd.h"

namespace cryptelle {

// A new file that has no name until it is complete: created unnamed in the
// destination folder (O_TMPFILE, mode 0600), synced, and only then linked
// under its name. A crash before that leaves nothing behind.
//
// Where the file system has no unnamed files, a hidden named temporary of
// ours is used instead (mode 0600, locked while in use); leftovers of killed
// runs are removed the next time an output is opened in the same folder.
class UnnamedOutput
{
public:
    enum class Kind { Unnamed, Named };
    enum class Result { Done, Exists, Failed };

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
    [[nodiscard]] Result commit(const std::string& name, bool replaceExisting);

    // Drops the output: an unnamed file simply goes, a named one is removed.
    void discard();

private:
    [[nodiscard]] bool openNamed();
    [[nodiscard]] Result linkUnder(const std::string& name);

    UniqueFd m_folder;
    UniqueFd m_file;
    std::string m_temporary;
};

// Removes named temporaries of ours in the folder that no running output holds.
void removeStaleTemporaries(int folderFd);

} // namespace cryptelle
