#include "SourceWiper.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>

#include <WipeDescriptor.h>
#include <dlfcn.h>
#include <sys/stat.h>

#include "PathText.h"

namespace cli {

SourceWiper::SourceWiper(QString libraryPath)
    : m_libraryPath(std::move(libraryPath))
{
}

SourceWiper::~SourceWiper()
{
    if (m_handle != nullptr)
        ::dlclose(m_handle);
}

bool SourceWiper::load()
{
    if (m_shred != nullptr)
        return true;
    if (m_handle == nullptr)
        m_handle = ::dlopen(QFile::encodeName(m_libraryPath).constData(), RTLD_NOW | RTLD_LOCAL);
    if (m_handle != nullptr)
        m_shred = reinterpret_cast<ShredFunction>(::dlsym(m_handle, "shred"));
    return m_shred != nullptr;
}

WipeOutcome SourceWiper::wipe(cryptelle::HeldFile& held)
{
    if (held.check() != cryptelle::IdentityCheck::Unchanged)
        return WipeOutcome::Changed;
    const cryptelle::FileIdentity identity = held.identity();
    const std::string path = held.path();
    if (!held.writable()) {
        // Only the library may wipe a file we cannot write: by its name, once
        // ours is closed (it wipes only a file no one else has open).
        held.close();
        return wipe(path, identity);
    }
    // Through the descriptor held since the operation began, so a file put
    // in its place meanwhile is never touched.
    const std::lock_guard<std::mutex> guard(m_lock);
    const std::string absolute = absoluteClean(path);
    switch (zqvdod::wipeHeldEntry(absolute.c_str(), held.fd())) {
    case zqvdod::EntryOutcome::Wiped:
        return WipeOutcome::Wiped;
    case zqvdod::EntryOutcome::RemovedNotOverwritten:
        return WipeOutcome::RemovedOnly;
    case zqvdod::EntryOutcome::NotTheHeldFile:
        return WipeOutcome::Changed;
    case zqvdod::EntryOutcome::Kept:
    case zqvdod::EntryOutcome::Skipped:
        return WipeOutcome::NotWiped;
    }
    return WipeOutcome::NotWiped;
}

WipeOutcome SourceWiper::wipe(const std::string& path, const cryptelle::FileIdentity& expected)
{
    const std::lock_guard<std::mutex> guard(m_lock);
    if (!load())
        return WipeOutcome::LibraryMissing;
    if (cryptelle::checkPath(path, expected) != cryptelle::IdentityCheck::Unchanged)
        return WipeOutcome::Changed;
    // The library reads '*' and '?' as wildcards when no file has exactly
    // that name; such names go to its routine for exactly one entry, so a
    // file that vanished at the wrong moment cannot take its neighbours along.
    const std::string name = path.substr(path.rfind('/') + 1);
    bool overwritten = false;
    if (name.find_first_of("*?") != std::string::npos) {
        overwritten = zqvdod::wipeExactEntry(absoluteClean(path).c_str()) == zqvdod::EntryOutcome::Wiped;
    } else {
        overwritten = m_shred(path.c_str()) == 0;
    }
    struct stat after
    {
    };
    if (::lstat(path.c_str(), &after) == 0)
        return WipeOutcome::NotWiped;
    return overwritten ? WipeOutcome::Wiped : WipeOutcome::RemovedOnly;
}

QString shredLibraryPath()
{
    return QCoreApplication::applicationDirPath() + QLatin1String("/libzqvdod.so");
}

QString describe(WipeOutcome outcome)
{
    switch (outcome) {
    case WipeOutcome::Wiped:
        return QStringLiteral("wiped");
    case WipeOutcome::RemovedOnly:
        return QStringLiteral("removed, but its content could not be overwritten where it lies (other hard links, "
                              "or a file system that keeps copies)");
    case WipeOutcome::NotWiped:
        return QStringLiteral("could not be wiped and is still on the disk");
    case WipeOutcome::Changed:
        return QStringLiteral("was not wiped, because it was changed or replaced while it was being worked on");
    case WipeOutcome::LibraryMissing:
        return QStringLiteral("was not wiped, because the wipe library (libzqvdod.so) is missing");
    }
    return {};
}

} // namespace cli
