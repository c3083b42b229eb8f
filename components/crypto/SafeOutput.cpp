#include "SafeOutput.h"

#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zqvcrypto {

SafeOutput::~SafeOutput()
{
    discard();
}

bool SafeOutput::open(const QString& destination)
{
    discard();
    if (destination.isEmpty() || destination.endsWith(QLatin1Char('/')))
        return false;
    m_destination = destination;
    const QFileInfo info(destination);
    QByteArray pattern =
        QFile::encodeName(info.absolutePath() + QLatin1String("/.") + info.fileName() + QLatin1String(".XXXXXX"));
    // mkostemp creates the file exclusively with mode 0600.
    m_fd = ::mkostemp(pattern.data(), O_CLOEXEC);
    if (m_fd < 0)
        return false;
    m_temporary = QFile::decodeName(pattern);
    return true;
}

bool SafeOutput::commit(bool replaceExisting)
{
    if (m_fd < 0)
        return false;
    const bool synced = ::fsync(m_fd) == 0;
    const bool closed = ::close(m_fd) == 0;
    m_fd = -1;
    if (!synced || !closed) {
        discard();
        return false;
    }
    const QByteArray from = QFile::encodeName(m_temporary);
    const QByteArray to = QFile::encodeName(m_destination);
    int renamed =
        ::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), replaceExisting ? 0 : RENAME_NOREPLACE);
    if (renamed != 0 && !replaceExisting && (errno == EINVAL || errno == ENOSYS)) {
        // File systems without the flag: a hard link refuses an existing name too.
        renamed = ::link(from.constData(), to.constData());
        if (renamed == 0)
            ::unlink(from.constData());
    }
    if (renamed != 0) {
        discard();
        return false;
    }
    m_temporary.clear();
    const QByteArray folder = QFile::encodeName(QFileInfo(m_destination).absolutePath());
    const int dir = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return true;
}

void SafeOutput::discard()
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
    if (!m_temporary.isEmpty())
        ::unlink(QFile::encodeName(m_temporary).constData());
    m_temporary.clear();
}

bool isSameFile(const QString& a, const QString& b)
{
    struct stat first
    {
    };
    struct stat second
    {
    };
    if (::stat(QFile::encodeName(a).constData(), &first) != 0 || ::stat(QFile::encodeName(b).constData(), &second) != 0)
        return false;
    return first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

bool writeAll(int fd, const unsigned char* data, std::size_t size)
{
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

} // namespace zqvcrypto
