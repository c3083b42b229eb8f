#include "FileSystemFolder.h"

#include <QCollator>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "FileTypes.h"
#include "NameCollator.h"
#include "UniqueFd.h"

namespace zqvshell {

namespace {

qint64 millis(const struct timespec& time)
{
    return static_cast<qint64>(time.tv_sec) * 1000 + time.tv_nsec / 1000000;
}

// Fills everything but the name and the key from one entry of an open folder.
// False when the entry is gone.
bool describeAt(int folderFd, const char* name, ShellItem& item)
{
    struct stat st
    {
    };
    if (::fstatat(folderFd, name, &st, AT_SYMLINK_NOFOLLOW) != 0) {
        return false;
    }
    if (S_ISLNK(st.st_mode)) {
        item.link = true;
        if (::fstatat(folderFd, name, &st, 0) != 0) {
            // Dangling or looping link: shown, as a link to nothing.
            item.type = FileTypes::instance().brokenLink();
            return true;
        }
    }
    item.fileSystem = true;
    item.folder = S_ISDIR(st.st_mode);
    if (item.folder) {
        // Two links mean no subfolder on file systems that count them; one
        // means the file system does not count, so assume there are some.
        item.hasSubfolders = st.st_nlink != 2;
        item.type = FileTypes::instance().folder();
    } else {
        item.size = st.st_size;
        item.modified = millis(st.st_mtim);
        item.type = FileTypes::instance().forFileName(item.displayName);
    }
    return true;
}

} // namespace

FileSystemFolder::FileSystemFolder(ItemIdList pidl, QByteArray path)
    : ShellFolder(std::move(pidl))
    , m_path(std::move(path))
{
}

QByteArray FileSystemFolder::join(const QByteArray& folder, const QByteArray& name)
{
    if (folder.endsWith('/')) {
        return folder + name;
    }
    return folder + '/' + name;
}

std::vector<ShellItem> FileSystemFolder::enumerate(EnumFlags flags) const
{
    std::vector<ShellItem> items;
    cryptelle::UniqueFd folderFd(::open(m_path.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (folderFd.get() < 0) {
        return items;
    }
    DIR* dir = ::fdopendir(::dup(folderFd.get()));
    if (dir == nullptr) {
        return items;
    }
    QCollator collator = nameCollator();
    while (const dirent* entry = ::readdir(dir)) {
        const char* name = entry->d_name;
        if (name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'))) {
            continue;
        }
        if (name[0] == '.' && !(flags & EnumFlag::IncludeHidden)) {
            continue;
        }
        const bool maybeFolder = entry->d_type == DT_DIR || entry->d_type == DT_LNK || entry->d_type == DT_UNKNOWN;
        if (!maybeFolder && !(flags & EnumFlag::NonFolders)) {
            continue;
        }
        ShellItem item;
        item.id = QByteArray(name);
        item.displayName = displayNameFromBytes(item.id);
        if (!describeAt(folderFd.get(), name, item)) {
            continue;
        }
        if (item.folder ? !(flags & EnumFlag::Folders) : !(flags & EnumFlag::NonFolders)) {
            continue;
        }
        item.nameKey = collator.sortKey(item.displayName);
        items.push_back(std::move(item));
    }
    ::closedir(dir);
    return items;
}

std::optional<ShellItem> FileSystemFolder::describe(const QByteArray& id) const
{
    if (id.isEmpty() || id.contains('/') || id.contains('\0')) {
        return std::nullopt;
    }
    cryptelle::UniqueFd folderFd(::open(m_path.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (folderFd.get() < 0) {
        return std::nullopt;
    }
    ShellItem item;
    item.id = id;
    item.displayName = displayNameFromBytes(id);
    if (!describeAt(folderFd.get(), id.constData(), item)) {
        return std::nullopt;
    }
    item.nameKey = nameCollator().sortKey(item.displayName);
    return item;
}

QByteArray FileSystemFolder::path(const QByteArray& id) const
{
    return join(m_path, id);
}

} // namespace zqvshell
