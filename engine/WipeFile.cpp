#include "WipeFile.h"

namespace engine {

QString removedNotOverwrittenText(const QString& path, WipeResult result)
{
    QString reason;
    if (result == WipeResult::RemovedOtherLinks)
        reason = QStringLiteral("the file has other names (hard links) that still show its content");
    else if (result == WipeResult::RemovedNotInPlace)
        reason = QStringLiteral("the file system keeps copies of files or stores them in a way that cannot be "
                                "overwritten in place");
    else
        return {};
    return path + QLatin1String(" was removed, but its content could not be overwritten where it lies, because ") +
           reason + QLatin1String(". See \"What wiping does, and what it cannot promise\" in the help.");
}

WipeResult WipeFile(const WipeTarget& target)
{
    static ShredLibrary library(defaultShredLibraryPath());
    return library.wipe(target);
}

} // namespace engine
