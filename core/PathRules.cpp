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

bool IsNotPlainFile(const QString& path)
{
    if (path.isEmpty())
        return true;
    // O_NONBLOCK: testing a FIFO must not hang. A folder opens read-only on
    // POSIX, so it is ruled out explicitly.
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0)
        return true;
    struct stat info
    {
    };
    const bool regular = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
    ::close(fd);
    return !regular;
}

} // namespace zqvcore
