#pragma once

#include <QByteArray>
#include <vector>

#include "ShellFolder.h"

namespace zqvshell {

// How the window uses it: never directly; it is the folder behind the tree's top node
// (SetTreeRoot(ItemIdList())), reached through ShellNamespace.

// Where the desktop root finds its entries. Tests point these elsewhere.
struct DesktopSources
{
    QByteArray desktopDir; // the user's XDG desktop folder; empty for none
    QByteArray home;
    QByteArray mountTable = "/proc/self/mounts";
};

[[nodiscard]] DesktopSources defaultDesktopSources();

// Mount points a user would call volumes: removable media and mounts under
// /media, /run/media, /mnt or the home folder, without pseudo file systems.
// `mountsText` is the mount table's text.
[[nodiscard]] std::vector<QByteArray> userVolumes(const QByteArray& mountsText, const QByteArray& home);

// The root of the namespace, "Desktop": the items of the desktop folder, then
// "Home", "File System" (/) and the mounted volumes. Not a file-system folder
// itself; each of its entries is.
class DesktopFolder : public ShellFolder
{
public:
    explicit DesktopFolder(DesktopSources sources);

    [[nodiscard]] bool isFileSystem() const override { return false; }
    [[nodiscard]] std::vector<ShellItem> enumerate(EnumFlags flags) const override;
    [[nodiscard]] std::optional<ShellItem> describe(const QByteArray& id) const override;
    [[nodiscard]] QByteArray path(const QByteArray& id) const override;

    // The root's own name and item.
    [[nodiscard]] static QString displayName();
    [[nodiscard]] static ShellItem rootItem();

private:
    [[nodiscard]] bool hasDesktopItems() const;
    [[nodiscard]] std::vector<QByteArray> volumes() const;
    [[nodiscard]] std::optional<ShellItem> describePlace(const QByteArray& id) const;

    DesktopSources m_sources;
};

} // namespace zqvshell
