#include "WipeFile.h"

#include <QCoreApplication>
#include <QFile>

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
    // The library reads '*' and '?' in the last component as wildcards; a file
    // that really has them in its name would take its neighbours with it.
    const QString name = path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
    if (name.contains(QLatin1Char('*')) || name.contains(QLatin1Char('?')))
        return WipeResult::NotWiped;

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
    const int result = m_shred(bytes.constData());
    struct stat info
    {
    };
    const bool stillThere = ::lstat(bytes.constData(), &info) == 0;
    return result == 0 && !stillThere ? WipeResult::Wiped : WipeResult::NotWiped;
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
