#pragma once

#include <QByteArray>
#include <QIcon>
#include <QString>
#include <optional>

#include "DesktopFolder.h"
#include "ItemIdList.h"
#include "ShellFolder.h"

namespace zqvshell {

// How the window uses it: GetPathFromPIDL turns a node's or a folder's list into a
// path where one is needed; the rest serves the tree and the list.

// Binding lists to folders and asking for names, paths, types and icons. The
// desktop root reads its entries from the sources each call is given (the
// user's own with defaultDesktopSources(); tests give their own).
// Everything here degrades quietly: a list that cannot be bound gives the
// desktop, a missing name or path gives empty text.

// The folder a fully qualified list names; the desktop for the empty list and
// for anything that cannot be bound.
[[nodiscard]] FolderPtr GetFolderFromPIDL(const DesktopSources& sources, const ItemIdList& pidlFQ);
// The folder holding the list's last item; the desktop is its own parent.
[[nodiscard]] FolderPtr GetParentFolder(const DesktopSources& sources, const ItemIdList& pidlFQ);

// The item a fully qualified list names, as its parent describes it. The
// desktop itself for the empty list.
[[nodiscard]] std::optional<ShellItem> describeItem(const DesktopSources& sources, const ItemIdList& pidlFQ);
[[nodiscard]] QString GetDisplayName(const ShellFolder& folder, const ItemIdList& pidlRel);
// Exact path bytes; empty when the item has no place on disk.
[[nodiscard]] QByteArray GetPathFromPIDL(const DesktopSources& sources, const ItemIdList& pidlFQ);
[[nodiscard]] QString GetFileTypeName(const DesktopSources& sources, const ItemIdList& pidlFQ);

// The path as text when text carries it exactly; nothing for a name that is
// not valid UTF-8 (an operation must then refuse rather than act on another
// file).
[[nodiscard]] std::optional<QString> exactPathText(const QByteArray& path);
// Readable form of a path for messages and tooltips.
[[nodiscard]] QString readablePath(const QByteArray& path);

// The icon of an item: its type's theme icon, the open-folder picture when
// asked, a link emblem for symbolic links. Interface thread only.
[[nodiscard]] QIcon itemIcon(const ShellItem& item, bool open = false);

} // namespace zqvshell
