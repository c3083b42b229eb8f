#pragma once

#include <QHash>
#include <QIcon>
#include <QMimeDatabase>
#include <QString>
#include <deque>
#include <mutex>

namespace zqvshell {

// How the window uses it: never directly; the file list's Type column and icons come
// from here.

// One kind of item: its MIME type, the words shown in the Type column and the
// theme icon names to draw it with. Shared by every item of the kind.
struct FileType
{
    QString mimeName;
    QString typeName;
    QString iconName;
    QString openIconName;    // for a selected or expanded folder; empty: same as iconName
    QString genericIconName; // where the theme has no specific icon
};

// Types by file name from the MIME database, looked up once per name ending
// so a folder of 100,000 files costs a few hundred lookups. Safe to use from
// the worker that reads a folder. Icons are built on the interface thread
// only, once per type and variant.
class FileTypes
{
public:
    [[nodiscard]] static FileTypes& instance();

    [[nodiscard]] const FileType* forFileName(const QString& name);
    [[nodiscard]] const FileType* folder();
    [[nodiscard]] const FileType* brokenLink();
    // A type that is not in the MIME database (the desktop's own entries).
    [[nodiscard]] const FileType* special(const QString& key, const QString& typeName, const QString& iconName);

    enum class Variant { Normal, Open, Link };
    // Interface thread only. Falls back to the style's generic pictures when
    // the icon theme has nothing for the type.
    [[nodiscard]] QIcon icon(const FileType* type, Variant variant);

    // Where the user's icon theme lacks our icons (a bare window manager, a
    // headless session), take them from a theme that is installed.
    static void ensureIconTheme();

private:
    FileTypes() = default;
    const FileType* fromMime(const QMimeType& mime);
    const FileType* store(FileType type);

    std::mutex m_mutex;
    QMimeDatabase m_database;
    std::deque<FileType> m_types;
    QHash<QString, const FileType*> m_byMime;
    QHash<QString, const FileType*> m_byEnding;
    QHash<QString, const FileType*> m_special;
    QHash<QPair<const FileType*, int>, QIcon> m_icons;
};

} // namespace zqvshell
