#pragma once

#include <QString>
#include <QStringList>
#include <span>

#include "Operations.h"

namespace zqvcore {

// The per-user context-menu entries that start the engine from the file
// managers: a Dolphin service menu, a GNOME Files script, a Nemo action and a
// Thunar custom action for each entry. The folder verb of the main program and
// the context-menu plug-in both write and remove theirs through here.

enum class EntryTarget {
    Folders,
    Files,         // plain files; *.zqv too where the file manager cannot leave them out
    EncryptedFiles // *.zqv where the file manager can say so
};

struct FileManagerEntry
{
    const char* id; // our file names and Thunar's unique id
    const char* label;
    const char* engineSwitch;
    EntryTarget target;
    EntryRuns runs;
    bool leaveOutEncrypted; // not offered on *.zqv where the file manager can filter
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
    QString file;   // the first file that could not be written
    QString reason; // why, in the system's words
};

// Creates or renews every entry for every file manager, running `enginePath`.
// All that can be written is written; the first failure is reported.
[[nodiscard]] EntryWriteResult writeFileManagerEntries(const UserFolders& folders,
                                                       const QString& enginePath,
                                                       std::span<const FileManagerEntry> entries);

// Removes exactly these entries of ours; anything else, and failures, are left.
void removeFileManagerEntries(const UserFolders& folders, std::span<const FileManagerEntry> entries);

// Where each entry's own files go (Thunar's shared file is thunarActionsFile).
[[nodiscard]] QString dolphinServiceMenuFile(const UserFolders& folders, const FileManagerEntry& entry);
[[nodiscard]] QString nautilusScriptFile(const UserFolders& folders, const FileManagerEntry& entry);
[[nodiscard]] QString nemoActionFile(const UserFolders& folders, const FileManagerEntry& entry);
[[nodiscard]] QString thunarActionsFile(const UserFolders& folders);

} // namespace zqvcore
