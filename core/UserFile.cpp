#include "UserFile.h"

#include <QFile>
#include <algorithm>
#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "FileUpdate.h"
#include "UniqueFd.h"

namespace zqvcore {
namespace {

using cryptelle::UniqueFd;

QString kindOf(mode_t mode)
{
    if (S_ISDIR(mode))
        return QStringLiteral("a folder");
    if (S_ISFIFO(mode))
        return QStringLiteral("a named pipe");
    if (S_ISCHR(mode) || S_ISBLK(mode))
        return QStringLiteral("a device");
    if (S_ISSOCK(mode))
        return QStringLiteral("a socket");
    return QStringLiteral("a special file");
}

UserFileRead refused(int error, const QString& reason)
{
    UserFileRead result;
    result.status = UserFileRead::Status::Refused;
    result.error = error;
    result.reason = reason;
    return result;
}

UserFileRead failed(int error)
{
    UserFileRead result;
    result.status = UserFileRead::Status::Failed;
    result.error = error;
    result.reason = systemErrorText(error);
    if (!result.reason.isEmpty())
        result.reason[0] = result.reason.at(0).toLower();
    return result;
}

UserFileRead notRegular(mode_t mode, bool throughLink)
{
    const QString kind = kindOf(mode);
    return refused(S_ISDIR(mode) ? EISDIR : EINVAL,
                   throughLink ? QStringLiteral("it is a link to %1, not to a regular file").arg(kind)
                               : QStringLiteral("it is %1, not a regular file").arg(kind));
}

UserFileRead tooLarge(qint64 maxBytes)
{
    return refused(EFBIG, QStringLiteral("it is larger than %1").arg(sizeInWords(maxBytes)));
}

} // namespace

QString sizeInWords(qint64 bytes)
{
    constexpr qint64 kKiB = 1024;
    if (bytes >= kKiB * kKiB && bytes % (kKiB * kKiB) == 0)
        return QStringLiteral("%1 MiB").arg(bytes / (kKiB * kKiB));
    if (bytes >= kKiB && bytes % kKiB == 0)
        return QStringLiteral("%1 KiB").arg(bytes / kKiB);
    return bytes == 1 ? QStringLiteral("1 byte") : QStringLiteral("%1 bytes").arg(bytes);
}

UserFileRead readUserFile(const QString& path, qint64 maxBytes)
{
    const QByteArray native = QFile::encodeName(path);
    const int flags = O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY;
    UniqueFd fd(::open(native.constData(), flags | O_NOFOLLOW));
    bool throughLink = false;
    if (fd.get() < 0 && errno == ELOOP) {
        // A link: look at where it leads before opening anything there, so a
        // device is never opened at all.
        struct stat target
        {
        };
        if (::stat(native.constData(), &target) != 0) {
            if (errno == ENOENT)
                return refused(ELOOP, QStringLiteral("it is a link to a file that does not exist"));
            return failed(errno);
        }
        if (!S_ISREG(target.st_mode))
            return notRegular(target.st_mode, true);
        if (target.st_uid != ::geteuid())
            return refused(ELOOP, QStringLiteral("it is a link to a file of another user"));
        fd = UniqueFd(::open(native.constData(), flags));
        throughLink = true;
    }
    if (fd.get() < 0) {
        if (errno == ENOENT || errno == ENOTDIR) {
            UserFileRead result;
            result.status = UserFileRead::Status::Missing;
            result.error = errno == ENOTDIR ? ENOTDIR : 0;
            return result;
        }
        return failed(errno);
    }

    struct stat info
    {
    };
    if (::fstat(fd.get(), &info) != 0)
        return failed(errno);
    if (!S_ISREG(info.st_mode))
        return notRegular(info.st_mode, throughLink);
    if (throughLink && info.st_uid != ::geteuid()) // the link changed after it was looked at
        return refused(ELOOP, QStringLiteral("it is a link to a file of another user"));
    if (info.st_size > maxBytes)
        return tooLarge(maxBytes);

    QByteArray bytes;
    bytes.resize(static_cast<qsizetype>(info.st_size) + 1); // one more shows growth
    qsizetype have = 0;
    for (;;) {
        if (have == bytes.size()) {
            if (have > maxBytes)
                return tooLarge(maxBytes);
            bytes.resize(std::min<qint64>(maxBytes + 1, static_cast<qint64>(have) * 2 + 4096));
        }
        const ssize_t got = ::read(fd.get(), bytes.data() + have, static_cast<size_t>(bytes.size() - have));
        if (got < 0) {
            if (errno == EINTR)
                continue;
            return failed(errno);
        }
        if (got == 0)
            break;
        have += got;
    }
    if (have > maxBytes)
        return tooLarge(maxBytes);
    bytes.truncate(have);

    UserFileRead result;
    result.status = UserFileRead::Status::Read;
    result.bytes = std::move(bytes);
    result.mode = info.st_mode & 07777;
    return result;
}

} // namespace zqvcore
