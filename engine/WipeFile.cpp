#include "WipeFile.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>

#include <WipeDescriptor.h>
#include <dlfcn.h>
#include <sys/stat.h>

namespace engine {

ShredLibrary::ShredLibrary(QString libraryPath)
    : m_libraryPath(std::move(libraryPath))
{
}

ShredLibrary::~ShredLibrary()
{
    if (m_handle != nullptr)
        ::dlclose(m_handle);
}

WipeResult ShredLibrary::wipe(const QString& path)
{
    const std::lock_guard<std::mutex> guard(m_lock);
    if (m_shred == nullptr) {
        if (m_handle == nullptr)
            m_handle = ::dlopen(QFile::encodeName(m_libraryPath).constData(), RTLD_NOW | RTLD_LOCAL);
        if (m_handle != nullptr)
            m_shred = reinterpret_cast<ShredFunction>(::dlsym(m_handle, "shred"));
        if (m_shred == nullptr)
            return WipeResult::LibraryMissing;
    }
    // The path goes over in the file system's own encoding, zero-terminated.
    const QByteArray bytes = QFile::encodeName(path);
    struct stat before
    {
    };
    if (::lstat(bytes.constData(), &before) != 0)
        return WipeResult::Gone;
    // The library takes a file of exactly the given name first and reads '*'
    // and '?' as wildcards only when there is none. Should such a file vanish
    // just before the call, its pattern would reach the neighbours: these
    // names go to the library's own routine for exactly one entry instead.
    const QString name = path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
    const bool patternLike = name.contains(QLatin1Char('*')) || name.contains(QLatin1Char('?'));
    bool overwritten = false;
    if (patternLike) {
        const QByteArray absolute = QFile::encodeName(QFileInfo(path).absoluteFilePath());
        overwritten = zqvdod::wipeExactEntry(absolute.constData()) == zqvdod::EntryOutcome::Wiped;
    } else {
        // The library's result says whether everything it matched was
        // overwritten; whether the name is still there says whether it was
        // removed. Neither alone tells the three outcomes apart.
        overwritten = m_shred(bytes.constData()) == 0;
    }
    struct stat after
    {
    };
    if (::lstat(bytes.constData(), &after) == 0)
        return WipeResult::NotWiped;
    if (overwritten)
        return WipeResult::Wiped;
    return S_ISREG(before.st_mode) && before.st_nlink > 1 ? WipeResult::RemovedOtherLinks
                                                          : WipeResult::RemovedNotInPlace;
}

bool isRemoved(WipeResult result)
{
    switch (result) {
    case WipeResult::Wiped:
    case WipeResult::RemovedOtherLinks:
    case WipeResult::RemovedNotInPlace:
    case WipeResult::Gone:
        return true;
    case WipeResult::NotWiped:
    case WipeResult::LibraryMissing:
        return false;
    }
    return false;
}

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

QString defaultShredLibraryPath()
{
    return QCoreApplication::applicationDirPath() + QLatin1String("/libzqvdod.so");
}

WipeResult WipeFile(const QString& path)
{
    static ShredLibrary library(defaultShredLibraryPath());
    return library.wipe(path);
}

} // namespace engine
