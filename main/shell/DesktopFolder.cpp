#include "DesktopFolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QStandardPaths>

#include "FileSystemFolder.h"
#include "FileTypes.h"
#include "NameCollator.h"

namespace zqvshell {

namespace {

// Item bytes of the root's entries: a kind letter, then what it needs.
constexpr char kDesktopEntry = 'D';
constexpr char kHome = 'H';
constexpr char kFileSystem = 'R';
constexpr char kVolume = 'M';

// Mount tables write blanks and a few others as "\040"-style octal.
QByteArray unescapeMountField(const QByteArray& field)
{
    QByteArray out;
    for (qsizetype i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size()) {
            const QByteArray digits = field.mid(i + 1, 3);
            bool ok = false;
            const int value = digits.toInt(&ok, 8);
            if (ok && digits.size() == 3) {
                out += static_cast<char>(value);
                i += 3;
                continue;
            }
        }
        out += field[i];
    }
    return out;
}

bool isUnder(const QByteArray& path, const QByteArray& folder)
{
    if (folder.isEmpty()) {
        return false;
    }
    const QByteArray prefix = folder.endsWith('/') ? folder : folder + '/';
    return path.startsWith(prefix);
}

} // namespace

DesktopSources defaultDesktopSources()
{
    DesktopSources sources;
    sources.home = QFile::encodeName(QDir::homePath());
    const QString desktop = QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
    if (!desktop.isEmpty()) {
        sources.desktopDir = QFile::encodeName(desktop);
    }
    return sources;
}

std::vector<QByteArray> userVolumes(const QByteArray& mountsText, const QByteArray& home)
{
    static const QSet<QByteArray> pseudo = {
        "proc",      "sysfs",    "devtmpfs",        "devpts",      "cgroup",     "cgroup2", "pstore",
        "bpf",       "tracefs",  "debugfs",         "securityfs",  "configfs",   "fusectl", "mqueue",
        "hugetlbfs", "autofs",   "binfmt_misc",     "efivarfs",    "rpc_pipefs", "nsfs",    "ramfs",
        "overlay",   "squashfs", "fuse.gvfsd-fuse", "fuse.portal", "tmpfs"};
    std::vector<QByteArray> points;
    for (const QByteArray& line : mountsText.split('\n')) {
        const QList<QByteArray> fields = line.simplified().split(' ');
        if (fields.size() < 3) {
            continue;
        }
        const QByteArray point = unescapeMountField(fields[1]);
        const QByteArray& type = fields[2];
        if (pseudo.contains(type)) {
            continue;
        }
        const bool wanted = isUnder(point, "/media") || isUnder(point, "/run/media") || point == "/mnt" ||
                            isUnder(point, "/mnt") || isUnder(point, home);
        if (wanted && std::find(points.begin(), points.end(), point) == points.end()) {
            points.push_back(point);
        }
    }
    return points;
}

DesktopFolder::DesktopFolder(DesktopSources sources)
    : ShellFolder(ItemIdList())
    , m_sources(std::move(sources))
{
}

QString DesktopFolder::displayName()
{
    return QStringLiteral("Desktop");
}

ShellItem DesktopFolder::rootItem()
{
    ShellItem item;
    item.displayName = displayName();
    item.folder = true;
    item.hasSubfolders = true;
    item.type =
        FileTypes::instance().special(QStringLiteral("x-zqv/desktop"), displayName(), QStringLiteral("user-desktop"));
    item.nameKey = nameCollator().sortKey(item.displayName);
    return item;
}

bool DesktopFolder::hasDesktopItems() const
{
    // A desktop folder that is the home folder itself would list home twice.
    if (m_sources.desktopDir.isEmpty()) {
        return false;
    }
    const QFileInfo desktop(QFile::decodeName(m_sources.desktopDir));
    return desktop.isDir() &&
           desktop.canonicalFilePath() != QFileInfo(QFile::decodeName(m_sources.home)).canonicalFilePath();
}

std::vector<QByteArray> DesktopFolder::volumes() const
{
    QFile table(QFile::decodeName(m_sources.mountTable));
    if (!table.open(QIODevice::ReadOnly)) {
        return {};
    }
    return userVolumes(table.readAll(), m_sources.home);
}

std::vector<ShellItem> DesktopFolder::enumerate(EnumFlags flags) const
{
    std::vector<ShellItem> items;
    if (hasDesktopItems()) {
        const FileSystemFolder desktop(ItemIdList(), m_sources.desktopDir);
        for (ShellItem& item : desktop.enumerate(flags)) {
            item.id.prepend(kDesktopEntry);
            items.push_back(std::move(item));
        }
    }
    if (!(flags & EnumFlag::Folders)) {
        return items;
    }
    std::vector<QByteArray> ids{QByteArray(1, kHome), QByteArray(1, kFileSystem)};
    for (const QByteArray& point : volumes()) {
        ids.push_back(kVolume + point);
    }
    for (const QByteArray& id : ids) {
        if (std::optional<ShellItem> item = describePlace(id)) {
            items.push_back(std::move(*item));
        }
    }
    return items;
}

std::optional<ShellItem> DesktopFolder::describePlace(const QByteArray& id) const
{
    ShellItem item;
    item.id = id;
    item.folder = true;
    item.hasSubfolders = true;
    item.fileSystem = true;
    FileTypes& types = FileTypes::instance();
    switch (id.at(0)) {
    case kHome:
        item.rank = 1;
        item.displayName = QStringLiteral("Home");
        item.type =
            types.special(QStringLiteral("x-zqv/home"), QStringLiteral("Home Folder"), QStringLiteral("user-home"));
        break;
    case kFileSystem:
        item.rank = 2;
        item.displayName = QStringLiteral("File System");
        item.type = types.special(
            QStringLiteral("x-zqv/root"), QStringLiteral("File System"), QStringLiteral("drive-harddisk"));
        break;
    default: {
        const QByteArray point = id.mid(1);
        item.rank = 3;
        const qsizetype slash = point.lastIndexOf('/');
        item.displayName = displayNameFromBytes(point.mid(slash + 1));
        item.type = types.special(
            QStringLiteral("x-zqv/volume"), QStringLiteral("Volume"), QStringLiteral("drive-removable-media"));
        break;
    }
    }
    item.nameKey = nameCollator().sortKey(item.displayName);
    return item;
}

std::optional<ShellItem> DesktopFolder::describe(const QByteArray& id) const
{
    if (id.isEmpty()) {
        return std::nullopt;
    }
    switch (id.at(0)) {
    case kDesktopEntry: {
        if (!hasDesktopItems()) {
            return std::nullopt;
        }
        std::optional<ShellItem> item = FileSystemFolder(ItemIdList(), m_sources.desktopDir).describe(id.mid(1));
        if (item) {
            item->id = id;
        }
        return item;
    }
    case kHome:
    case kFileSystem:
        return id.size() == 1 ? describePlace(id) : std::nullopt;
    case kVolume: {
        const std::vector<QByteArray> mounted = volumes();
        if (std::find(mounted.begin(), mounted.end(), id.mid(1)) == mounted.end()) {
            return std::nullopt;
        }
        return describePlace(id);
    }
    default:
        return std::nullopt;
    }
}

QByteArray DesktopFolder::path(const QByteArray& id) const
{
    if (id.isEmpty()) {
        return {};
    }
    switch (id.at(0)) {
    case kDesktopEntry:
        return FileSystemFolder::join(m_sources.desktopDir, id.mid(1));
    case kHome:
        return m_sources.home;
    case kFileSystem:
        return "/";
    case kVolume:
        return id.mid(1);
    default:
        return {};
    }
}

} // namespace zqvshell
