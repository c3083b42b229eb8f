#include "FileUpdate.h"

#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "FileSteps.h"
#include "UniqueFd.h"
#include "UnnamedOutput.h"

namespace zqvcore {

namespace {

using cryptelle::UniqueFd;

QByteArray nativePath(const QString& path)
{
    return QFile::encodeName(path);
}

} // namespace

FileContent readWholeFile(const QString& path)
{
    FileContent result;
    const UniqueFd fd(::open(nativePath(path).constData(), O_RDONLY | O_CLOEXEC));
    if (fd.get() < 0) {
        if (errno != ENOENT)
            result.error = errno;
        return result;
    }
    struct stat info
    {
    };
    if (::fstat(fd.get(), &info) != 0) {
        result.error = errno;
        return result;
    }
    if (S_ISDIR(info.st_mode)) {
        result.error = EISDIR;
        return result;
    }
    result.exists = true;
    result.mode = info.st_mode & 07777;
    char buffer[16384];
    for (;;) {
        const ssize_t got = ::read(fd.get(), buffer, sizeof buffer);
        if (got < 0) {
            if (errno == EINTR)
                continue;
            result.error = errno;
            result.exists = false;
            result.bytes.clear();
            return result;
        }
        if (got == 0)
            break;
        result.bytes.append(buffer, got);
    }
    return result;
}

int replaceFileAtomically(const QString& path, const QByteArray& bytes, mode_t mode)
{
    std::string target = nativePath(path).toStdString();
    struct stat info
    {
    };
    if (::lstat(target.c_str(), &info) == 0 && S_ISLNK(info.st_mode)) {
        // Users who keep their settings in a dotfile repository link them in;
        // replacing the link with a file would silently cut that tie.
        char* resolved = ::realpath(target.c_str(), nullptr);
        if (resolved == nullptr)
            return errno;
        target = resolved;
        ::free(resolved);
    }

    cryptelle::UnnamedOutput output;
    if (!output.open(cryptelle::folderOf(target)))
        return errno;
    if (!cryptelle::writeAll(output.fd(), bytes.constData(), static_cast<std::size_t>(bytes.size())))
        return errno;
    if (::fchmod(output.fd(), mode) != 0)
        return errno;
    if (output.commit(cryptelle::nameOf(target), true) != cryptelle::UnnamedOutput::Result::Done)
        return errno;
    return 0;
}

int makeFolders(const QString& path, mode_t mode)
{
    const QByteArray native = nativePath(path);
    struct stat info
    {
    };
    if (::stat(native.constData(), &info) == 0)
        return S_ISDIR(info.st_mode) ? 0 : ENOTDIR;
    if (errno != ENOENT)
        return errno;
    const QString parent = QFile::decodeName(QByteArray::fromStdString(cryptelle::folderOf(native.toStdString())));
    if (parent != path && parent != QLatin1String(".")) {
        if (const int error = makeFolders(parent, mode); error != 0)
            return error;
    }
    if (::mkdir(native.constData(), mode) != 0 && errno != EEXIST)
        return errno;
    return 0;
}

int removeFile(const QString& path)
{
    if (::unlink(nativePath(path).constData()) != 0 && errno != ENOENT)
        return errno;
    return 0;
}

FileLock::FileLock(const QString& lockPath)
{
    m_fd = ::open(nativePath(lockPath).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (m_fd < 0) {
        m_error = errno;
        return;
    }
    while (::flock(m_fd, LOCK_EX) != 0) {
        if (errno != EINTR) {
            m_error = errno;
            ::close(m_fd);
            m_fd = -1;
            return;
        }
    }
}

FileLock::~FileLock()
{
    // Closing releases the lock. The lock file stays: removing it would let a
    // third writer lock a fresh file while the second still holds the old one.
    if (m_fd >= 0)
        ::close(m_fd);
}

QString systemErrorText(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

} // namespace zqvcore
