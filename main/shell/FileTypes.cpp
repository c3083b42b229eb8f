#include "FileTypes.h"

#include <QApplication>
#include <QDir>
#include <QPainter>
#include <QStandardPaths>
#include <QStyle>

namespace zqvshell {

namespace {

// The part of a name that decides its type: from the first dot on ("x.tar.gz"
// → ".tar.gz"). A leading dot belongs to the name. Names without a dot are
// their own key (a few are typed by full name, like "Makefile").
QString endingKey(const QString& name)
{
    const qsizetype dot = name.indexOf(QLatin1Char('.'), 1);
    return dot < 0 ? QLatin1Char('/') + name : name.mid(dot);
}

QIcon themeIcon(const QString& name, QStyle::StandardPixmap fallback, const QString& generic = QString())
{
    QIcon icon = QIcon::fromTheme(name);
    if (icon.isNull() && !generic.isEmpty()) {
        icon = QIcon::fromTheme(generic);
    }
    if (icon.isNull()) {
        icon = QApplication::style()->standardIcon(fallback);
    }
    return icon;
}

QIcon withLinkEmblem(const QIcon& base)
{
    const QIcon emblem = QIcon::fromTheme(QStringLiteral("emblem-symbolic-link"));
    QIcon result;
    for (const int size : {16, 32, 48}) {
        QPixmap pixmap = base.pixmap(size, size);
        if (pixmap.isNull()) {
            continue;
        }
        QPainter painter(&pixmap);
        const int mark = size / 2;
        const QRect corner(0, size - mark, mark, mark);
        if (!emblem.isNull()) {
            emblem.paint(&painter, corner);
        } else {
            // A plain arrow in the corner where no emblem is installed.
            painter.fillRect(corner, Qt::white);
            painter.setPen(QPen(Qt::black, qMax(1, size / 16)));
            painter.drawRect(corner.adjusted(0, 0, -1, -1));
            painter.drawLine(corner.bottomLeft() + QPoint(2, -2), corner.topRight() + QPoint(-2, 2));
        }
        painter.end();
        result.addPixmap(pixmap);
    }
    return result;
}

} // namespace

FileTypes& FileTypes::instance()
{
    static FileTypes types;
    return types;
}

const FileType* FileTypes::store(FileType type)
{
    m_types.push_back(std::move(type));
    return &m_types.back();
}

const FileType* FileTypes::fromMime(const QMimeType& mime)
{
    const QString name = mime.name();
    if (const auto found = m_byMime.constFind(name); found != m_byMime.constEnd()) {
        return found.value();
    }
    FileType type{name, mime.comment(), mime.iconName(), QString(), mime.genericIconName()};
    if (type.typeName.isEmpty()) {
        type.typeName = name;
    }
    const FileType* stored = store(std::move(type));
    m_byMime.insert(name, stored);
    return stored;
}

const FileType* FileTypes::forFileName(const QString& name)
{
    std::lock_guard lock(m_mutex);
    const QString key = endingKey(name);
    if (const auto found = m_byEnding.constFind(key); found != m_byEnding.constEnd()) {
        return found.value();
    }
    const FileType* type = fromMime(m_database.mimeTypeForFile(name, QMimeDatabase::MatchExtension));
    m_byEnding.insert(key, type);
    return type;
}

const FileType* FileTypes::folder()
{
    std::lock_guard lock(m_mutex);
    const FileType* type = fromMime(m_database.mimeTypeForName(QStringLiteral("inode/directory")));
    if (type->openIconName.isEmpty()) {
        const_cast<FileType*>(type)->iconName = QStringLiteral("folder");
        const_cast<FileType*>(type)->openIconName = QStringLiteral("folder-open");
    }
    return type;
}

const FileType* FileTypes::brokenLink()
{
    std::lock_guard lock(m_mutex);
    return fromMime(m_database.mimeTypeForName(QStringLiteral("inode/symlink")));
}

const FileType* FileTypes::special(const QString& key, const QString& typeName, const QString& iconName)
{
    std::lock_guard lock(m_mutex);
    if (const auto found = m_special.constFind(key); found != m_special.constEnd()) {
        return found.value();
    }
    const FileType* stored = store(FileType{key, typeName, iconName, QString(), QString()});
    m_special.insert(key, stored);
    return stored;
}

QIcon FileTypes::icon(const FileType* type, Variant variant)
{
    static const bool themeChecked = [] {
        ensureIconTheme();
        return true;
    }();
    (void)themeChecked;
    const QPair<const FileType*, int> key(type, static_cast<int>(variant));
    if (const auto found = m_icons.constFind(key); found != m_icons.constEnd()) {
        return found.value();
    }
    QIcon result;
    const bool isFolder = type->mimeName == QLatin1String("inode/directory");
    const QStyle::StandardPixmap fallback = isFolder ? QStyle::SP_DirIcon : QStyle::SP_FileIcon;
    switch (variant) {
    case Variant::Normal:
        result = themeIcon(type->iconName, fallback, type->genericIconName);
        break;
    case Variant::Open:
        result = type->openIconName.isEmpty() ? icon(type, Variant::Normal)
                                              : themeIcon(type->openIconName, QStyle::SP_DirOpenIcon);
        break;
    case Variant::Link:
        result = withLinkEmblem(icon(type, Variant::Normal));
        break;
    }
    m_icons.insert(key, result);
    return result;
}

void FileTypes::ensureIconTheme()
{
    // Without a desktop's platform theme Qt searches only its own resources:
    // add the XDG icon folders, as a desktop session would.
    QStringList paths = QIcon::themeSearchPaths();
    QStringList wanted{QDir::homePath() + QStringLiteral("/.icons")};
    wanted += QStandardPaths::locateAll(
        QStandardPaths::GenericDataLocation, QStringLiteral("icons"), QStandardPaths::LocateDirectory);
    wanted.push_back(QStringLiteral("/usr/share/icons"));
    for (const QString& path : std::as_const(wanted)) {
        if (!paths.contains(path) && QDir(path).exists()) {
            paths.push_back(path);
        }
    }
    QIcon::setThemeSearchPaths(paths);
    if (QIcon::hasThemeIcon(QStringLiteral("folder"))) {
        return;
    }
    for (const char* theme : {"Adwaita", "breeze", "Tango", "gnome"}) {
        const QString name = QString::fromLatin1(theme);
        for (const QString& base : std::as_const(paths)) {
            if (QDir(base + QLatin1Char('/') + name).exists()) {
                QIcon::setThemeName(name);
                if (QIcon::hasThemeIcon(QStringLiteral("folder"))) {
                    return;
                }
            }
        }
    }
}

} // namespace zqvshell
