#pragma once

#include <QByteArray>
#include <QFlags>
#include <memory>
#include <optional>
#include <vector>

#include "ItemIdList.h"
#include "ShellItem.h"

namespace zqvshell {

// How the window uses it: never directly; FileList::currentFolder() and the tree's nodes
// hand these out, and tests read a folder's pidl() from them.

enum class EnumFlag { Folders = 1, NonFolders = 2, IncludeHidden = 4 };
Q_DECLARE_FLAGS(EnumFlags, EnumFlag)
Q_DECLARE_OPERATORS_FOR_FLAGS(EnumFlags)

// A folder of the browsing namespace: the desktop root or a file-system
// folder. It lists its items, describes one, gives an item's path and orders
// two items per column. Reading a folder never fails loudly: what cannot be
// read is left out.
class ShellFolder
{
public:
    explicit ShellFolder(ItemIdList pidl)
        : m_pidl(std::move(pidl))
    {
    }
    virtual ~ShellFolder() = default;

    // The folder's own fully qualified list.
    [[nodiscard]] const ItemIdList& pidl() const { return m_pidl; }
    // File-system folders show Name, Size, Type and Date Modified; others
    // Name and Type.
    [[nodiscard]] virtual bool isFileSystem() const = 0;
    [[nodiscard]] virtual std::vector<ShellItem> enumerate(EnumFlags flags) const = 0;
    // One item by its bytes; nothing when it is gone.
    [[nodiscard]] virtual std::optional<ShellItem> describe(const QByteArray& id) const = 0;
    // The item's exact path bytes; empty when it has no place on disk.
    [[nodiscard]] virtual QByteArray path(const QByteArray& id) const = 0;

    [[nodiscard]] int compare(int column, const ShellItem& a, const ShellItem& b) const
    {
        return compareItems(column, a, b, isFileSystem());
    }

private:
    ItemIdList m_pidl;
};

using FolderPtr = std::shared_ptr<const ShellFolder>;

} // namespace zqvshell
