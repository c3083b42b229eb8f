#include "CommandLine.h"

#include <QFile>
#include <QStringList>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace engine {

QString argumentString(int argc, const char* const* argv)
{
    QStringList parts;
    for (int i = 1; i < argc; ++i)
        parts << QFile::decodeName(argv[i]);
    return parts.join(QLatin1Char(' '));
}

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
    {};
    const bool regular = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
    ::close(fd);
    return !regular;
}

StartupDecision decideStartup(const QString& arguments)
{
    StartupDecision decision;
    if (arguments.size() < 3)
        return decision;
    decision.operand = arguments.mid(3);
    const QString& operand = decision.operand;
    const QString alreadyEncrypted = QLatin1String("The file ") + operand + QLatin1String(" is already encrypted.");
    const QString switchText = arguments.left(2);

    if (switchText == QLatin1String("/e")) {
        if (HasEncryptedExtension(operand))
            decision.errorMessage = alreadyEncrypted;
        else
            decision.operation = Operation::Encrypt;
    } else if (switchText == QLatin1String("/d")) {
        if (!HasEncryptedExtension(operand))
            decision.errorMessage = QLatin1String("The file ") + operand + QLatin1String(" is not encrypted.");
        else
            decision.operation = Operation::Decrypt;
    } else if (switchText == QLatin1String("/f")) {
        if (HasEncryptedExtension(operand))
            decision.errorMessage = alreadyEncrypted;
        else if (IsNotPlainFile(operand))
            decision.operation = Operation::EncryptFolder;
        else
            decision.errorMessage = operand + QLatin1String(" is not a valid folder.");
    } else if (switchText == QLatin1String("/s")) {
        if (HasEncryptedExtension(operand))
            decision.errorMessage = alreadyEncrypted;
        else
            decision.operation = Operation::SelfExtracting;
    } else if (switchText == QLatin1String("/w")) {
        decision.operation = Operation::Wipe;
    }
    return decision;
}

} // namespace engine
