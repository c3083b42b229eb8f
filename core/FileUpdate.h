#pragma once

#include <QByteArray>
#include <QString>

#include <sys/types.h>

namespace zqvcore {

// The small per-user files (settings, file-manager entries) are changed by
// read, modify, write under an exclusive lock, and every write replaces the
// whole file at once, so a crash or a full disk never leaves half a file and
// a second writer never loses the first one's change. Errors are errno values.

struct FileContent
{
    int error = 0; // 0, or errno of the failed open or read (a missing file is no error)
    bool exists = false;
    QByteArray bytes;
    mode_t mode = 0;
};

// The whole file; a folder in its place is EISDIR.
[[nodiscard]] FileContent readWholeFile(const QString& path);

// Writes an unnamed file in `path`'s folder, gives it `mode`, syncs it and
// only then puts it in place of `path`. On failure `path` is as it was and
// nothing is left behind. A symbolic link at `path` is kept: its target is replaced.
[[nodiscard]] int replaceFileAtomically(const QString& path, const QByteArray& bytes, mode_t mode);

// Creates the folder and its missing parents (new ones with `mode`).
[[nodiscard]] int makeFolders(const QString& path, mode_t mode);

// Deletes a file; a missing file is no error.
[[nodiscard]] int removeFile(const QString& path);

// Holds an exclusive lock on `lockPath` (created when missing) for its life;
// every writer of the guarded file takes the same lock first.
class FileLock
{
public:
    explicit FileLock(const QString& lockPath);
    ~FileLock();
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

    [[nodiscard]] int error() const { return m_error; }

private:
    int m_fd = -1;
    int m_error = 0;
};

// The system's text for an errno value.
[[nodiscard]] QString systemErrorText(int error);

} // namespace zqvcore
