#include "WipeFile.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>

#include <WipeDescriptor.h>
#include <sys/stat.h>

namespace engine {
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

WipeResult ShredLibrary::wipe(const WipeTarget& target)
{
    const std::lock_guard<std::mutex> guard(m_lock);
    if (m_shred == nullptr) {
        if (!m_library.isOpen())
            static_cast<void>(m_library.open(QFile::encodeName(m_libraryPath).toStdString()));
        m_shred = m_library.entry<ShredFunction>("shred");
        if (m_shred == nullptr)
            return WipeResult::LibraryMissing;
    }
    if (target.held != nullptr)
        return wipeHeld(target.path, *target.held);

    // Chosen earlier by name: only the entry it named then, as it was then.
    struct stat now
    {
    };
    const QByteArray bytes = QFile::encodeName(target.path);
    if (::lstat(bytes.constData(), &now) != 0)
        return WipeResult::Gone;
    if (cryptelle::FileIdentity::of(now) != target.expected)
        return WipeResult::Changed;
    if (!S_ISREG(now.st_mode))
        return wipeByName(target.path); // a link goes by its name; what it leads to is never touched
    cryptelle::HeldFile held;
    if (!held.open(bytes.toStdString(), cryptelle::HeldFile::Access::ReadOrWrite))
        return QFileInfo::exists(target.path) || QFileInfo(target.path).isSymLink() ? WipeResult::NotWiped
                                                                                    : WipeResult::Gone;
    if (held.identity() != target.expected)
        return WipeResult::Changed;
    return wipeHeld(target.path, held);
}

WipeResult ShredLibrary::wipe(const QString& path)
{
    WipeTarget target;
    if (!targetOf(path, target))
        target.path = path; // names nothing: the wipe finds it gone
    return wipe(target);
}

WipeResult ShredLibrary::wipeHeld(const QString& path, const cryptelle::HeldFile& held)
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
    const QByteArray absolute = QFile::encodeName(QFileInfo(path).absoluteFilePath());
    return resultOf(zqvdod::wipeHeldEntry(absolute.constData(), held.fd()), otherLinks);
}

WipeResult ShredLibrary::wipeByName(const QString& path)
{
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
    case WipeResult::Changed:
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

WipeResult WipeFile(const WipeTarget& target)
{
    static ShredLibrary library(defaultShredLibraryPath());
    return library.wipe(target);
}

} // namespace engine
