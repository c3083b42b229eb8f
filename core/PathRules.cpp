#include "PathRules.h"

#include <QFile>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zqvcore {

bool HasEncryptedExtension(const QString& path)
{
    return path.endsWith(QLatin1String(".zqv"), Qt::CaseSensitive);
}

bool isPlainFile(const QByteArray& path)
{
    if (path.isEmpty())
        return false;
    // O_NONBLOCK: testing a FIFO must not hang. A folder opens read-only on
    // POSIX, so it is ruled out by the descriptor's own type.
    const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0)
        return false;
    struct stat info
    {
    };
    const bool regular = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
    ::close(fd);
    return regular;
}

bool IsNotPlainFile(const QString& path)
{
    return !isPlainFile(QFile::encodeName(path));
}

bool isFolder(const QByteArray& path)
{
    struct stat info
    {
    };
    return !path.isEmpty() && ::stat(path.constData(), &info) == 0 && S_ISDIR(info.st_mode);
}

} // namespace zqvcore
