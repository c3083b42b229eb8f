#include "ZIPLight.h"

#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include <FileSteps.h>
#include <UnnamedOutput.h>
#include <fcntl.h>
#include <fnmatch.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zip.h>

#include "AesZipWriter.h"
#include "ZipSources.h"

namespace ziplight {
namespace {

struct ZipCloser
{
    void operator()(zip_t* archive) const { zip_discard(archive); }
};

void reportProgress(zip_t*, double value, void* state)
{
    auto* self = static_cast<ZIPLight*>(state);
    if (self->progress)
        self->progress(QStringLiteral("Packing"), value * 100.0);
}

// What one walk of the source folder found, in archive order.
struct Found
{
    std::string name;       // relative, '/'-separated; folders end in '/'
    ListedFile file;        // the file's chain from the root; empty for folders and links
    mode_t mode = 0;        // type and permission bits, kept in the archive
    std::time_t modified{}; // folders and links; a file's is taken when it is read
    std::string linkTarget; // what a link says, never followed

    [[nodiscard]] bool isLink() const { return S_ISLNK(mode); }
    [[nodiscard]] bool isFolder() const { return S_ISDIR(mode); }
};

// What the link `entry` of the folder says, read only while it is still that
// link; false when it is gone or was replaced by something else.
bool readListedLink(int folderFd, const cryptelle::FolderEntry& entry, std::string& target, std::time_t& modified)
{
    struct stat info
    {
    };
    if (::fstatat(folderFd, entry.name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISLNK(info.st_mode) ||
        info.st_dev != entry.device || info.st_ino != entry.inode)
        return false;
    std::string buffer(static_cast<std::size_t>(std::max<off_t>(info.st_size, 0)) + 1, '\0');
    const ssize_t n = ::readlinkat(folderFd, entry.name.c_str(), buffer.data(), buffer.size());
    // A target that grew in between is a different link.
    if (n < 0 || static_cast<std::size_t>(n) >= buffer.size())
        return false;
    buffer.resize(static_cast<std::size_t>(n));
    target = std::move(buffer);
    modified = info.st_mtime;
    return true;
}

class FolderWalker
{
public:
    FolderWalker(std::string pattern, bool recursive, const struct stat* skip)
        : m_pattern(std::move(pattern))
        , m_recursive(recursive)
        , m_skip(skip)
    {
    }

    // False with `failedAt` set when a folder could not be listed or opened.
    bool walk(const std::shared_ptr<cryptelle::UniqueFd>& root, std::vector<Found>& found)
    {
        m_root = root;
        std::vector<cryptelle::FolderEntry> chain;
        if (!visit(root->get(), chain, std::string(), found))
            return false;
        std::sort(found.begin(), found.end(), [](const Found& a, const Found& b) { return a.name < b.name; });
        return true;
    }

    std::string failedAt;
    bool failedLink = false;

private:
    bool visit(int folderFd,
               std::vector<cryptelle::FolderEntry>& chain,
               const std::string& prefix,
               std::vector<Found>& found)
    {
        std::vector<cryptelle::FolderEntry> entries;
        if (!cryptelle::listFolder(folderFd, entries)) {
            failedAt = prefix.empty() ? "." : prefix;
            return false;
        }
        for (const cryptelle::FolderEntry& entry : entries) {
            if (entry.type == S_IFLNK) {
                // Stored as the link it is: nothing outside the folder is read.
                if (::fnmatch(m_pattern.c_str(), entry.name.c_str(), 0) != 0)
                    continue;
                Found link{prefix + entry.name, ListedFile{}, S_IFLNK | 0777, {}, {}};
                if (!readListedLink(folderFd, entry, link.linkTarget, link.modified)) {
                    failedAt = link.name;
                    failedLink = true;
                    return false;
                }
                found.push_back(std::move(link));
            } else if (entry.isFile()) {
                if (::fnmatch(m_pattern.c_str(), entry.name.c_str(), 0) != 0)
                    continue;
                // An archive written inside its own folder does not hold itself.
                if (m_skip != nullptr && entry.device == m_skip->st_dev && entry.inode == m_skip->st_ino)
                    continue;
                chain.push_back(entry);
                found.push_back({prefix + entry.name, ListedFile{m_root, chain}, S_IFREG | entry.mode, {}, {}});
                chain.pop_back();
            } else if (entry.isFolder() && m_recursive) {
                // Folders are stored too, so empty ones survive the round trip.
                const std::string name = prefix + entry.name + "/";
                const cryptelle::UniqueFd sub(cryptelle::openListedEntry(folderFd, entry, O_RDONLY | O_DIRECTORY));
                struct stat info
                {
                };
                if (sub.get() < 0 || ::fstat(sub.get(), &info) != 0) {
                    failedAt = name;
                    return false;
                }
                // The folder's own date, as it was before anything was packed.
                found.push_back({name, ListedFile{}, S_IFDIR | entry.mode, info.st_mtime, {}});
                chain.push_back(entry);
                const bool ok = visit(sub.get(), chain, name, found);
                chain.pop_back();
                if (!ok)
                    return false;
            }
            // Special files (pipes, sockets, devices) have no content to store.
        }
        return true;
    }

    std::string m_pattern;
    bool m_recursive;
    const struct stat* m_skip;
    std::shared_ptr<cryptelle::UniqueFd> m_root;
};

std::shared_ptr<cryptelle::UniqueFd> openSourceFolder(const QString& folder)
{
    return std::make_shared<cryptelle::UniqueFd>(
        ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
}

// Walks the source folder for what Add() stores; `skip` is the archive's own
// file when it may lie inside. False with `error` said when a folder could
// not be read.
bool listEntries(const ZIPLight& zip,
                 const std::shared_ptr<cryptelle::UniqueFd>& root,
                 const struct stat* skip,
                 std::vector<Found>& entries,
                 QString& error)
{
    const std::string pattern =
        zip.FilesToProcess.isEmpty() ? std::string("*") : QFile::encodeName(zip.FilesToProcess).toStdString();
    FolderWalker walker(pattern, zip.Recursive, skip);
    if (walker.walk(root, entries))
        return true;
    error = (walker.failedLink ? QLatin1String("The link ") : QLatin1String("The folder ")) +
            QString::fromUtf8(walker.failedAt) + QLatin1String(" could not be read.");
    return false;
}

QString fileUnreadable(const std::string& name)
{
    return QLatin1String("The file ") + QString::fromUtf8(name) + QLatin1String(" could not be read.");
}

// Lists the folder and writes every entry and the directory through `archive`;
// `skip` is the archive's own file when it may lie inside the folder.
bool packEntries(const ZIPLight& zip,
                 const std::shared_ptr<cryptelle::UniqueFd>& root,
                 const struct stat* skip,
                 AesZipWriter& archive,
                 QString& error)
{
    std::vector<Found> entries;
    if (!listEntries(zip, root, skip, entries, error))
        return false;
    // The bar goes by bytes as listed, each entry also weighing as much as
    // 64 KiB (opening it and its key derivation); reported whenever it moved
    // by a percent.
    constexpr double kEntryWeight = 65536.0;
    const auto weightOf = [](const Found& entry) {
        return kEntryWeight + (entry.file.chain.empty() ? 0.0 : static_cast<double>(entry.file.chain.back().size));
    };
    double total = 0.0;
    for (const Found& entry : entries)
        total += weightOf(entry);
    double finished = 0.0;
    double lastReported = 0.0;
    const auto report = [&zip, &lastReported, total](double weight, bool always = false) {
        const double value = total > 0.0 ? std::min(100.0, 100.0 * weight / total) : 0.0;
        if (!always && value - lastReported < 1.0)
            return;
        lastReported = value;
        if (zip.progress)
            zip.progress(QStringLiteral("Packing"), value);
    };
    report(0.0, true);

    // Every entry with data needs its own key: files and links.
    archive.deriveAhead(static_cast<std::size_t>(
        std::count_if(entries.begin(), entries.end(), [](const Found& entry) { return !entry.isFolder(); })));
    for (const Found& entry : entries) {
        bool added = false;
        if (entry.isFolder()) {
            added = archive.addFolder(entry.name, entry.mode, entry.modified);
        } else if (entry.isLink()) {
            added = archive.addLink(entry.name, entry.linkTarget, entry.modified);
        } else {
            const cryptelle::UniqueFd file(openListedFile(entry.file));
            struct stat info
            {
            };
            if (file.get() < 0 || ::fstat(file.get(), &info) != 0 || !S_ISREG(info.st_mode)) {
                error = fileUnreadable(entry.name);
                return false;
            }
            const auto size = static_cast<std::uint64_t>(info.st_size);
            std::uint64_t done = 0;
            added = archive.addFile(entry.name, file.get(), size, info.st_mode, info.st_mtime, [&](std::uint64_t more) {
                done += more;
                report(finished + static_cast<double>(done));
            });
        }
        if (!added) {
            error = QLatin1String("The archive could not be written: ") + QString::fromStdString(archive.error());
            return false;
        }
        finished += weightOf(entry);
        report(finished);
    }
    if (!archive.finish()) {
        error = QLatin1String("The archive could not be written: ") + QString::fromStdString(archive.error());
        return false;
    }
    return true;
}

// Entries with a password, and archives handed on as they are made: written
// by our own writer, whose AES runs many blocks per call (libzip's runs one
// block per call, several times slower than the disk) and which needs no
// seeking. The result is the same kind of archive.
bool packOwn(const ZIPLight& zip, const std::shared_ptr<cryptelle::UniqueFd>& root, QString& error)
{
    if (zip.ZipStream) {
        AesZipWriter streamed(zip.ZipStream, zip.Password.toUtf8().toStdString(), zip.CompressionLevel);
        return packEntries(zip, root, nullptr, streamed, error);
    }
    // Written unnamed beside the target, named only once complete.
    cryptelle::UnnamedOutput named;
    const std::string target = QFile::encodeName(zip.ZipFileName).toStdString();
    struct stat existing
    {
    };
    if (::lstat(target.c_str(), &existing) == 0) {
        error = QStringLiteral("The archive already exists.");
        return false;
    }
    struct stat archiveInfo
    {
    };
    if (!named.open(cryptelle::folderOf(target)) || ::fstat(named.fd(), &archiveInfo) != 0) {
        error = QStringLiteral("The archive could not be created.");
        return false;
    }

    AesZipWriter archive(named.fd(), zip.Password.toUtf8().toStdString(), zip.CompressionLevel);
    if (!packEntries(zip, root, &archiveInfo, archive, error))
        return false;
    switch (named.commit(cryptelle::nameOf(target), false)) {
    case cryptelle::UnnamedOutput::Result::Done:
        break;
    case cryptelle::UnnamedOutput::Result::Exists:
        error = QStringLiteral("The archive already exists.");
        return false;
    case cryptelle::UnnamedOutput::Result::Failed:
        error = QStringLiteral("The archive could not be written.");
        return false;
    }
    return true;
}

} // namespace

QStringList ZIPLight::collectEntries() const
{
    QStringList entries;
    const auto root = openSourceFolder(SourceDirectory);
    if (root->get() < 0)
        return entries;
    std::vector<Found> found;
    QString unused;
    if (!listEntries(*this, root, nullptr, found, unused))
        return entries;
    for (const Found& item : found)
        entries << QString::fromUtf8(item.name);
    return entries;
}

bool ZIPLight::Add()
{
    m_lastError.clear();
    const QFileInfo source(SourceDirectory);
    if (SourceDirectory.trimmed().isEmpty() || !source.isDir() || source.isSymLink()) {
        m_lastError = QStringLiteral("The folder does not exist.");
        return false;
    }
    if (ZipFileName.isEmpty() && !ZipStream) {
        m_lastError = QStringLiteral("No archive name was given.");
        return false;
    }
    const auto root = openSourceFolder(SourceDirectory);
    if (root->get() < 0) {
        m_lastError = QStringLiteral("The folder could not be read.");
        return false;
    }
    if (!Password.isEmpty() || ZipStream) {
        if (!packOwn(*this, root, m_lastError))
            return false;
        if (progress)
            progress(QStringLiteral("Done"), 100.0);
        return true;
    }

    int openError = 0;
    std::unique_ptr<zip_t, ZipCloser> archive(
        zip_open(QFile::encodeName(ZipFileName).constData(), ZIP_CREATE | ZIP_EXCL, &openError));
    if (!archive) {
        m_lastError = openError == ZIP_ER_EXISTS ? QStringLiteral("The archive already exists.")
                                                 : QStringLiteral("The archive could not be created.");
        return false;
    }

    std::vector<Found> entries;
    if (!listEntries(*this, root, nullptr, entries, m_lastError))
        return false;

    for (Found& entry : entries) {
        zip_int64_t index = -1;
        if (entry.isFolder()) {
            index = zip_dir_add(archive.get(), entry.name.c_str(), ZIP_FL_ENC_UTF_8);
            if (index >= 0 &&
                zip_file_set_mtime(archive.get(), static_cast<zip_uint64_t>(index), entry.modified, 0) != 0)
                index = -1;
        } else if (entry.isLink()) {
            // The target is the data; `entries` keeps it until the archive is closed.
            zip_source_t* target =
                zip_source_buffer(archive.get(), entry.linkTarget.data(), entry.linkTarget.size(), 0);
            index = target == nullptr ? -1 : zip_file_add(archive.get(), entry.name.c_str(), target, ZIP_FL_ENC_UTF_8);
            if (index < 0 && target != nullptr)
                zip_source_free(target);
            if (index >= 0 &&
                (zip_set_file_compression(archive.get(), static_cast<zip_uint64_t>(index), ZIP_CM_STORE, 0) != 0 ||
                 zip_file_set_mtime(archive.get(), static_cast<zip_uint64_t>(index), entry.modified, 0) != 0))
                index = -1;
        } else {
            zip_source_t* file = listedFileSource(archive.get(), std::move(entry.file));
            if (file == nullptr) {
                m_lastError = fileUnreadable(entry.name);
                return false;
            }
            index = zip_file_add(archive.get(), entry.name.c_str(), file, ZIP_FL_ENC_UTF_8);
            if (index < 0) {
                zip_source_free(file);
            } else {
                const auto method = CompressionLevel <= 0 ? ZIP_CM_STORE : ZIP_CM_DEFLATE;
                const auto level =
                    static_cast<zip_uint32_t>(std::min<qint16>(std::max<qint16>(CompressionLevel, 0), 9));
                if (zip_set_file_compression(archive.get(), static_cast<zip_uint64_t>(index), method, level) != 0)
                    index = -1;
            }
        }
        // Keep the permission bits, so executables stay executable.
        if (index >= 0)
            zip_file_set_external_attributes(archive.get(),
                                             static_cast<zip_uint64_t>(index),
                                             0,
                                             ZIP_OPSYS_UNIX,
                                             static_cast<zip_uint32_t>(entry.mode) << 16);
        if (index < 0) {
            m_lastError = QLatin1String("The entry ") + QString::fromUtf8(entry.name) +
                          QLatin1String(" could not be added: ") + QString::fromUtf8(zip_strerror(archive.get()));
            return false;
        }
    }

    zip_register_progress_callback_with_state(archive.get(), 0.01, reportProgress, nullptr, this);
    // The archive is written here, to a temporary file that libzip renames
    // into place only when it is complete. Every file is opened now, relative
    // to its folder, and only if it is still the one listed.
    if (zip_close(archive.get()) != 0) {
        m_lastError =
            QLatin1String("The archive could not be written: ") + QString::fromUtf8(zip_strerror(archive.get()));
        return false;
    }
    archive.release();
    if (entries.empty()) {
        // libzip writes nothing for an empty archive.
        static const char kEmptyZip[22] = {'P', 'K', 5, 6};
        bool written = false;
        if (!QFileInfo::exists(ZipFileName)) {
            QFile empty(ZipFileName);
            written = empty.open(QIODevice::NewOnly) && empty.write(kEmptyZip, sizeof kEmptyZip) == sizeof kEmptyZip;
        } else {
            written = true;
        }
        if (!written) {
            m_lastError = QStringLiteral("The archive could not be written.");
            return false;
        }
    }
    if (progress)
        progress(QStringLiteral("Done"), 100.0);
    return true;
}

} // namespace ziplight
