#include "ZIPLight.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <memory>

#include <sys/stat.h>
#include <zip.h>

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

} // namespace

QStringList ZIPLight::collectEntries() const
{
    // Absolute, so the relative names below are relative to the folder even
    // when the folder was given relative to the working folder.
    const QDir root(QFileInfo(SourceDirectory).absoluteFilePath());
    const QStringList filters{FilesToProcess.isEmpty() ? QStringLiteral("*") : FilesToProcess};
    QStringList entries;
    const auto flags = Recursive ? QDirIterator::Subdirectories : QDirIterator::NoIteratorFlags;
    QDirIterator files(root.path(), filters, QDir::Files | QDir::Hidden | QDir::System | QDir::NoSymLinks, flags);
    while (files.hasNext())
        entries << root.relativeFilePath(files.next());
    if (Recursive) {
        // Folders are stored too, so empty ones survive the round trip.
        QDirIterator folders(root.path(),
                             QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot | QDir::NoSymLinks,
                             QDirIterator::Subdirectories);
        while (folders.hasNext())
            entries << root.relativeFilePath(folders.next()) + QLatin1Char('/');
    }
    entries.sort();
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
    if (ZipFileName.isEmpty()) {
        m_lastError = QStringLiteral("No archive name was given.");
        return false;
    }
    int error = 0;
    std::unique_ptr<zip_t, ZipCloser> archive(
        zip_open(QFile::encodeName(ZipFileName).constData(), ZIP_CREATE | ZIP_EXCL, &error));
    if (!archive) {
        m_lastError = error == ZIP_ER_EXISTS ? QStringLiteral("The archive already exists.")
                                             : QStringLiteral("The archive could not be created.");
        return false;
    }

    const QStringList entries = collectEntries();
    const QDir root(QFileInfo(SourceDirectory).absoluteFilePath());
    const QString archivePath = QFileInfo(ZipFileName).absoluteFilePath();
    for (const QString& entry : entries) {
        const QByteArray name = entry.toUtf8();
        zip_int64_t index = -1;
        if (entry.endsWith(QLatin1Char('/'))) {
            index = zip_dir_add(archive.get(), name.constData(), ZIP_FL_ENC_UTF_8);
        } else {
            const QString path = root.absoluteFilePath(entry);
            if (QFileInfo(path).absoluteFilePath() == archivePath)
                continue; // an archive made inside its own folder does not hold itself
            zip_source_t* file = zip_source_file(archive.get(), QFile::encodeName(path).constData(), 0, -1);
            if (file == nullptr) {
                m_lastError = QLatin1String("The file ") + path + QLatin1String(" could not be read.");
                return false;
            }
            index = zip_file_add(archive.get(), name.constData(), file, ZIP_FL_ENC_UTF_8);
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
        if (index >= 0) {
            // Keep the permission bits, so executables stay executable.
            struct stat info
            {
            };
            if (::stat(QFile::encodeName(root.absoluteFilePath(entry)).constData(), &info) == 0)
                zip_file_set_external_attributes(archive.get(),
                                                 static_cast<zip_uint64_t>(index),
                                                 0,
                                                 ZIP_OPSYS_UNIX,
                                                 static_cast<zip_uint32_t>(info.st_mode) << 16);
        }
        if (index >= 0 && !Password.isEmpty() && !entry.endsWith(QLatin1Char('/')) &&
            zip_file_set_encryption(
                archive.get(), static_cast<zip_uint64_t>(index), ZIP_EM_AES_256, Password.toUtf8().constData()) != 0)
            index = -1;
        if (index < 0) {
            m_lastError = QLatin1String("The entry ") + entry + QLatin1String(" could not be added: ") +
                          QString::fromUtf8(zip_strerror(archive.get()));
            return false;
        }
    }

    zip_register_progress_callback_with_state(archive.get(), 0.01, reportProgress, nullptr, this);
    // The archive is written here, to a temporary file that libzip renames
    // into place only when it is complete.
    if (zip_close(archive.get()) != 0) {
        m_lastError =
            QLatin1String("The archive could not be written: ") + QString::fromUtf8(zip_strerror(archive.get()));
        return false;
    }
    archive.release();
    if (entries.isEmpty() && !QFileInfo::exists(ZipFileName)) {
        // libzip writes no file for an empty archive.
        QFile empty(ZipFileName);
        static const char kEmptyZip[22] = {'P', 'K', 5, 6};
        if (!empty.open(QIODevice::NewOnly) || empty.write(kEmptyZip, sizeof kEmptyZip) != sizeof kEmptyZip) {
            m_lastError = QStringLiteral("The archive could not be written.");
            return false;
        }
    }
    if (progress)
        progress(QStringLiteral("Done"), 100.0);
    return true;
}

} // namespace ziplight
