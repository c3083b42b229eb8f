#include "ShredLibrary.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <filesystem>

#include <WipeDescriptor.h>
#include <sys/stat.h>

namespace zqvwipe {
namespace {

WipeResult resultOf(zqvdod::EntryOutcome outcome, bool otherLinks)
{
    switch (outcome) {
    case zqvdod::EntryOutcome::Wiped:
        return WipeResult::Wiped;
    case zqvdod::EntryOutcome::RemovedNotOverwritten:
        return otherLinks ? WipeResult::RemovedOtherLinks : WipeResult::RemovedNotInPlace;
    case zqvdod::EntryOutcome::Kept:
        return WipeResult::NotWiped;
    case zqvdod::EntryOutcome::NotTheHeldFile:
        return WipeResult::Changed;
    case zqvdod::EntryOutcome::Skipped:
        break;
    }
    return WipeResult::Gone;
}

// The descriptor routines take absolute names.
std::string absoluteOf(const std::string& path)
{
    return std::filesystem::absolute(std::filesystem::path(path)).string();
}

} // namespace

bool targetOf(const QString& path, WipeTarget& target)
{
    struct stat info
    {
    };
    if (::lstat(QFile::encodeName(path).constData(), &info) != 0)
        return false;
    target = WipeTarget{path, cryptelle::FileIdentity::of(info), nullptr};
    return true;
}

WipeTarget targetOf(const cryptelle::HeldFile& held)
{
    return WipeTarget{QFile::decodeName(QByteArray::fromStdString(held.path())), held.identity(), &held};
}

ShredLibrary::ShredLibrary(QString libraryPath)
    : m_libraryPath(std::move(libraryPath))
{
}

bool ShredLibrary::load()
{
    if (m_shred == nullptr) {
        if (!m_library.isOpen())
            static_cast<void>(m_library.open(QFile::encodeName(m_libraryPath).toStdString()));
        m_shred = m_library.entry<ShredFunction>("shred");
    }
    return m_shred != nullptr;
}

WipeResult ShredLibrary::wipe(const WipeTarget& target)
{
    const std::lock_guard<std::mutex> guard(m_lock);
    if (!load())
        return WipeResult::LibraryMissing;
    if (target.held != nullptr)
        return wipeHeld(target.held->path(), *target.held);

    // Chosen earlier by name: only the entry it named then, as it was then.
    struct stat now
    {
    };
    const std::string bytes = QFile::encodeName(target.path).toStdString();
    if (::lstat(bytes.c_str(), &now) != 0)
        return WipeResult::Gone;
    if (cryptelle::FileIdentity::of(now) != target.expected)
        return WipeResult::Changed;
    if (!S_ISREG(now.st_mode))
        return wipeByName(bytes); // a link goes by its name; what it leads to is never touched
    cryptelle::HeldFile held;
    if (!held.open(bytes, cryptelle::HeldFile::Access::ReadOrWrite))
        return QFileInfo::exists(target.path) || QFileInfo(target.path).isSymLink() ? WipeResult::NotWiped
                                                                                    : WipeResult::Gone;
    if (held.identity() != target.expected)
        return WipeResult::Changed;
    return wipeHeld(bytes, held);
}

WipeResult ShredLibrary::wipe(const QString& path)
{
    WipeTarget target;
    if (!targetOf(path, target))
        target.path = path; // names nothing: the wipe finds it gone
    return wipe(target);
}

WipeResult ShredLibrary::wipeUnheld(const std::string& path, const cryptelle::FileIdentity& expected)
{
    const std::lock_guard<std::mutex> guard(m_lock);
    if (!load())
        return WipeResult::LibraryMissing;
    switch (cryptelle::checkPath(path, expected)) {
    case cryptelle::IdentityCheck::Unchanged:
        return wipeByName(path);
    case cryptelle::IdentityCheck::Gone:
        return WipeResult::Gone;
    case cryptelle::IdentityCheck::Changed:
    case cryptelle::IdentityCheck::Replaced:
        break;
    }
    return WipeResult::Changed;
}

WipeResult ShredLibrary::wipeHeld(const std::string& path, const cryptelle::HeldFile& held)
{
    switch (held.check()) {
    case cryptelle::IdentityCheck::Unchanged:
        break;
    case cryptelle::IdentityCheck::Gone: {
        // Removed by someone else meanwhile: what the descriptor still holds
        // is the content read, and nothing else can reach it any more.
        struct stat info
        {
        };
        if (::fstat(held.fd(), &info) != 0 || info.st_nlink > 0)
            return WipeResult::Changed; // moved elsewhere, not removed
        if (held.writable())
            static_cast<void>(zqvdod::wipeNamelessContent(held.fd()));
        return WipeResult::Gone;
    }
    case cryptelle::IdentityCheck::Changed:
    case cryptelle::IdentityCheck::Replaced:
        return WipeResult::Changed;
    }
    struct stat info
    {
    };
    const bool otherLinks = ::fstat(held.fd(), &info) == 0 && info.st_nlink > 1;
    return resultOf(zqvdod::wipeHeldEntry(absoluteOf(path).c_str(), held.fd()), otherLinks);
}

WipeResult ShredLibrary::wipeByName(const std::string& path)
{
    struct stat before
    {
    };
    if (::lstat(path.c_str(), &before) != 0)
        return WipeResult::Gone;
    // The library takes a file of exactly the given name first and reads '*'
    // and '?' as wildcards only when there is none. Should such a file vanish
    // just before the call, its pattern would reach the neighbours: these
    // names go to the library's own routine for exactly one entry instead.
    const bool patternLike = path.find_first_of("*?", path.rfind('/') + 1) != std::string::npos;
    bool overwritten = false;
    if (patternLike) {
        overwritten = zqvdod::wipeExactEntry(absoluteOf(path).c_str()) == zqvdod::EntryOutcome::Wiped;
    } else {
        // The library's result says whether everything it matched was
        // overwritten; whether the name is still there says whether it was
        // removed. Neither alone tells the three outcomes apart.
        overwritten = m_shred(path.c_str()) == 0;
    }
    struct stat after
    {
    };
    if (::lstat(path.c_str(), &after) == 0)
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
    case WipeResult::Changed:
    case WipeResult::LibraryMissing:
        return false;
    }
    return false;
}

QString defaultShredLibraryPath()
{
    return QCoreApplication::applicationDirPath() + QLatin1String("/libzqvdod.so");
}

} // namespace zqvwipe
