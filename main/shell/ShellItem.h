#pragma once

#include <QByteArray>
#include <QCollatorSortKey>
#include <QString>
#include <optional>

namespace zqvshell {

// How the window uses it: never directly; rows and nodes are made from these.

struct FileType;

// What a folder knows of one of its items, gathered in one pass so sorting and
// showing a row never go back to the disk.
struct ShellItem
{
    QByteArray id;       // the item's bytes, meaningful to its folder only
    QString displayName; // the in-folder display name, always readable
    const FileType* type = nullptr;
    qint64 size = -1;     // bytes, for files only
    qint64 modified = -1; // milliseconds since the epoch, for files only
    int rank = 0;         // fixed place of the desktop's own entries
    bool folder = false;
    bool hasSubfolders = false;
    bool fileSystem = false;
    bool link = false;
    bool share = false;
    std::optional<QCollatorSortKey> nameKey;
};

// Columns of the file list; a folder outside the file system has Name and Type.
enum class Column { Name = 0, Size = 1, Type = 2, Modified = 3 };

// The comparison every folder uses: fixed places first, folders before files,
// then the column, then the name in the user's natural order, and finally the
// exact bytes, so two different items never compare equal. Negative, 0 or
// positive. `fileSystemColumns` tells how the column numbers are laid out.
[[nodiscard]] int compareItems(int column, const ShellItem& a, const ShellItem& b, bool fileSystemColumns);

// A readable text for a name's bytes: valid UTF-8 as it is; each byte that is
// not part of valid UTF-8 as "\xHH".
[[nodiscard]] QString displayNameFromBytes(const QByteArray& bytes);
// True when the bytes are valid UTF-8, so a QString carries them exactly.
[[nodiscard]] bool isExactText(const QByteArray& bytes);

} // namespace zqvshell
