#include "ShellNamespace.h"

#include "FileSystemFolder.h"
#include "FileTypes.h"

namespace zqvshell {

FolderPtr GetFolderFromPIDL(const DesktopSources& sources, const ItemIdList& pidlFQ)
{
    auto desktop = std::make_shared<DesktopFolder>(sources);
    if (pidlFQ.isEmpty()) {
        return desktop;
    }
    QByteArray path = desktop->path(pidlFQ.itemBytes(0));
    if (path.isEmpty()) {
        return desktop;
    }
    for (int i = 1; i < pidlFQ.count(); ++i) {
        const QByteArray name = pidlFQ.itemBytes(i);
        if (name.isEmpty() || name.contains('/') || name == "." || name == "..") {
            return desktop;
        }
        path = FileSystemFolder::join(path, name);
    }
    return std::make_shared<FileSystemFolder>(pidlFQ, path);
}

FolderPtr GetParentFolder(const DesktopSources& sources, const ItemIdList& pidlFQ)
{
    return GetFolderFromPIDL(sources, pidlFQ.parent(true).value_or(ItemIdList()));
}

std::optional<ShellItem> describeItem(const DesktopSources& sources, const ItemIdList& pidlFQ)
{
    if (pidlFQ.isEmpty()) {
        return DesktopFolder::rootItem();
    }
    return GetParentFolder(sources, pidlFQ)->describe(pidlFQ.itemBytes(pidlFQ.count() - 1));
}

QString GetDisplayName(const ShellFolder& folder, const ItemIdList& pidlRel)
{
    if (pidlRel.isEmpty()) {
        return folder.pidl().isEmpty() ? DesktopFolder::displayName() : QString();
    }
    const std::optional<ShellItem> item = folder.describe(pidlRel.itemBytes(pidlRel.count() - 1));
    return item ? item->displayName : QString();
}

QByteArray GetPathFromPIDL(const DesktopSources& sources, const ItemIdList& pidlFQ)
{
    if (pidlFQ.isEmpty()) {
        return {};
    }
    return GetParentFolder(sources, pidlFQ)->path(pidlFQ.itemBytes(pidlFQ.count() - 1));
}

QString GetFileTypeName(const DesktopSources& sources, const ItemIdList& pidlFQ)
{
    const std::optional<ShellItem> item = describeItem(sources, pidlFQ);
    return item && item->type != nullptr ? item->type->typeName : QString();
}

std::optional<QString> exactPathText(const QByteArray& path)
{
    if (path.isEmpty() || !isExactText(path)) {
        return std::nullopt;
    }
    return QString::fromUtf8(path);
}

QString readablePath(const QByteArray& path)
{
    return displayNameFromBytes(path);
}

QIcon itemIcon(const ShellItem& item, bool open)
{
    FileTypes& types = FileTypes::instance();
    const FileType* type = item.type != nullptr ? item.type : types.forFileName(item.displayName);
    if (item.link) {
        return types.icon(type, FileTypes::Variant::Link);
    }
    return types.icon(type, open ? FileTypes::Variant::Open : FileTypes::Variant::Normal);
}

} // namespace zqvshell
