#include "OperationRules.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "PathRules.h"

namespace zqvshell {

OperationAvailability availableOperations(const QString& name, const QString& tag)
{
    return availableOperations(name, !zqvcore::IsNotPlainFile(tag));
}

bool isPlainFile(const QByteArray& path)
{
    if (path.isEmpty()) {
        return false;
    }
    const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) {
        return false;
    }
    struct stat info
    {
    };
    const bool regular = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
    ::close(fd);
    return regular;
}

OperationAvailability availableOperations(const QString& name, bool plainFile)
{
    OperationAvailability result;
    if (!plainFile) {
        return result;
    }
    const bool encrypted = zqvcore::HasEncryptedExtension(name);
    result.encrypt = !encrypted;
    result.decrypt = encrypted;
    result.makeExe = !encrypted;
    result.wipe = true;
    result.queue = true;
    result.hash = true;
    return result;
}

} // namespace zqvshell
