#pragma once

#include <QString>

namespace zqvcore {

// True when the last four characters are exactly ".zqv" (".ZQV" is not encrypted).
[[nodiscard]] bool HasEncryptedExtension(const QString& path);

// True when the path cannot be opened as an existing file for reading: a folder,
// a missing or empty path, a file we may not read, anything but a regular file.
[[nodiscard]] bool IsNotPlainFile(const QString& path);

} // namespace zqvcore
