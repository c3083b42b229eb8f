#pragma once

#include <QString>
#include <QStringList>
#include <span>

#include "Operations.h"

namespace zqvcore {

// The per-user context-menu entries that start the engine from the file
// managers: Dolphin service menus, GNOME Files scripts, Nemo actions, Thunar
// custom actions and PCManFM-Qt file-manager actions. The folder verb of the
// main program and the context-menu plug-in both write and remove theirs
// through here. The entries are made from the operation rows.

struct FileManagerEntry
{
    const char* id;           // our file names and Thunar's unique id
    const char* label;        // the menu text
    const char* engineSwitch; // "/e", ...
    unsigned appliesTo;       // AppliesTo bits
    EntryRuns runs;
};

// "Encrypt Folder..." with "/f".
[[nodiscard]] const FileManagerEntry& folderVerbEntry();
// "Encrypt File", "Decrypt File", "Make Self-Extracting Exe", "Wipe File".
[[nodiscard]] std::span<const FileManagerEntry> fileVerbEntries();

// The user's folders the entries go into.
struct UserFolders
{
    QString dataHome;       // $XDG_DATA_HOME or ~/.local/share
    QString configHome;     // $XDG_CONFIG_HOME or ~/.config
    QStringList configDirs; // $XDG_CONFIG_DIRS or /etc/xdg: where Thunar's own defaults live

    [[nodiscard]] static UserFolders fromEnvironment();
};

struct EntryWriteResult
{
    bool ok = true;
    QString file;         // the first file that could not be written or removed
    QString reason;       // why, in plain words
    QStringList problems; // every such file, as "file: reason"

    void add(const QString& problemFile, const QString& problemReason);
};

// Creates or renews every entry for every file manager, running `enginePath`.
// All that can be written is written; every failure is reported. An engine
// path that no entry format can carry exactly is refused before anything is
// written.
[[nodiscard]] EntryWriteResult writeFileManagerEntries(const UserFolders& folders,
                                                       const QString& enginePath,
                                                       std::span<const FileManagerEntry> entries);

// Removes exactly these entries of ours, and the entry folders this leaves
// empty; anything else stays. What could not be looked at is reported.
EntryWriteResult removeFileManagerEntries(const UserFolders& folders, std::span<const FileManagerEntry> entries);

// Why an engine path cannot be written into the entries; empty when it can.
[[nodiscard]] QString enginePathProblem(const QString& enginePath);

// Where the entries' files go. Dolphin gets one service menu per kind of
// selection (folders, files, encrypted files), each under the same
// "Cryptelle" submenu; the others one file per entry (Thunar one shared file).
enum class DolphinMenu { Folders, Files, EncryptedFiles };
[[nodiscard]] QString dolphinServiceMenuFile(const UserFolders& folders, DolphinMenu menu);
[[nodiscard]] QString nautilusScriptFile(const UserFolders& folders, const FileManagerEntry& entry);
[[nodiscard]] QString nemoActionFile(const UserFolders& folders, const FileManagerEntry& entry);
[[nodiscard]] QString pcmanfmActionFile(const UserFolders& folders, const FileManagerEntry& entry);
[[nodiscard]] QString thunarActionsFile(const UserFolders& folders);

// The largest per-user file of the file managers we read (Thunar's actions,
// our own entries).
inline constexpr qint64 kMaxEntryFileSize = 4 * 1024 * 1024;

// How many characters of paths one wipe run carries at most: with four bytes
// a character this stays under the 128 KiB Linux allows one argument.
inline constexpr int kWipeListCharacters = 30000;

} // namespace zqvcore
