#pragma once

#include <QByteArray>
#include <QString>

namespace zqvcore {

// True when the last four characters are exactly ".zqv" (".ZQV" is not encrypted).
[[nodiscard]] bool HasEncryptedExtension(const QString& path);

// True when the path's bytes open as an existing regular file for reading.
// The one test behind every "is this a file we may work on" question; the
// bytes form serves names that text cannot carry.
[[nodiscard]] bool isPlainFile(const QByteArray& path);

// True when the path cannot be opened as an existing file for reading: a folder,
// a missing or empty path, a file we may not read, anything but a regular file.
[[nodiscard]] bool IsNotPlainFile(const QString& path);

// True when the path names a folder (a link to one included).
[[nodiscard]] bool isFolder(const QByteArray& path);

} // namespace zqvcore
