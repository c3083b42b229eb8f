#pragma once

#include <QString>
#include <QStringList>
#include <functional>

namespace ziplight {

// Packs a folder into a zip archive: set the properties, then call Add().
class ZIPLight
{
public:
    QString SourceDirectory;
    QString Password;            // when not empty, every entry is WinZip AES-256 encrypted
    qint16 CompressionLevel = 6; // 0 stores, 1 to 9 deflate at that level
    QString FilesToProcess = QStringLiteral("*");
    QString ZipFileName;
    // Whole tree with relative paths (empty folders kept, each with its own
    // date) or only the files directly in the folder. Symbolic links are
    // stored as links (their target as it is written), never followed, so
    // nothing outside the folder ends up in the archive. Pipes, sockets and
    // devices are left out.
    bool Recursive = false;
    // When set, the archive is handed to this as it is made, in order, and
    // no file is written (ZipFileName only names it in messages). Add() is
    // false when it refused any bytes.
    std::function<bool(const unsigned char* data, std::size_t size)> ZipStream;

    // Builds the archive; an existing file of that name is never replaced.
    // False when no complete archive was written.
    bool Add();

    [[nodiscard]] const QString& lastError() const { return m_lastError; }

    // Raised while packing with a text and a value from 0 to 100.
    std::function<void(const QString& text, double value)> progress;

    // The entries Add() would store, in order: folders end in '/'.
    [[nodiscard]] QStringList collectEntries() const;

private:
    QString m_lastError;
};

} // namespace ziplight
