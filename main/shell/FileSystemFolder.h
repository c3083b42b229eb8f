#pragma once

#include <QByteArray>

#include "ShellFolder.h"

namespace zqvshell {

// How the window uses it: never directly; ShellNamespace binds every folder on disk
// to one of these when the tree or the list reads it.

// A folder on disk, read by descriptor in one pass: each entry is looked at
// once (no second trip for the size, the date or the type).
class FileSystemFolder : public ShellFolder
{
public:
    FileSystemFolder(ItemIdList pidl, QByteArray path);

    [[nodiscard]] bool isFileSystem() const override { return true; }
    [[nodiscard]] std::vector<ShellItem> enumerate(EnumFlags flags) const override;
    [[nodiscard]] std::optional<ShellItem> describe(const QByteArray& id) const override;
    [[nodiscard]] QByteArray path(const QByteArray& id) const override;
    [[nodiscard]] const QByteArray& folderPath() const { return m_path; }

    // Joins a folder path and a name without doubling the slash after "/".
    [[nodiscard]] static QByteArray join(const QByteArray& folder, const QByteArray& name);

private:
    QByteArray m_path;
};

} // namespace zqvshell
