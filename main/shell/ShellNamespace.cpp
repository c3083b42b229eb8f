#include "ShellNamespace.h"

#include <mutex>

#include "FileSystemFolder.h"
#include "FileTypes.h"

namespace zqvshell {

namespace {

std::mutex g_sourcesMutex;
std::optional<DesktopSources> g_sources;

} // namespace

void setDesktopSources(DesktopSources sources)
{
    std::lock_guard lock(g_sourcesMutex);
    g_sources = std::move(sources);
}

DesktopSources desktopSources()
{
    std::lock_guard lock(g_sourcesMutex);
    if (!g_sources) {
        g_sources = defaultDesktopSources();
    }
    return *g_sources;
}

FolderPtr GetFolderFromPIDL(const ItemIdList& pidlFQ)
{
    auto desktop = std::make_shared<DesktopFolder>(desktopSources());
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

FolderPtr GetParentFolder(const ItemIdList& pidlFQ)
{
    return GetFolderFromPIDL(pidlFQ.parent(true).value_or(ItemIdList()));
}

std::optional<ShellItem> describeItem(const ItemIdList& pidlFQ)
{
    if (pidlFQ.isEmpty()) {
        return DesktopFolder::rootItem();
    }
    return GetParentFolder(pidlFQ)->describe(pidlFQ.itemBytes(pidlFQ.count() - 1));
}

QString GetDisplayName(const ShellFolder& folder, const ItemIdList& pidlRel)
{
    if (pidlRel.isEmpty()) {
        return folder.pidl().isEmpty() ? DesktopFolder::displayName() : QString();
    }
    const std::optional<ShellItem> item = folder.describe(pidlRel.itemBytes(pidlRel.count() - 1));
    return item ? item->displayName : QString();
}

QByteArray GetPathFromPIDL(const ItemIdList& pidlFQ)
{
    if (pidlFQ.isEmpty()) {
        return {};
    }
    return GetParentFolder(pidlFQ)->path(pidlFQ.itemBytes(pidlFQ.count() - 1));
}

QString GetFileTypeName(const ItemIdList& pidlFQ)
{
    const std::optional<ShellItem> item = describeItem(pidlFQ);
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
