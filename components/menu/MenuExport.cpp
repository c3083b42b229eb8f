#include <QFile>
#include <QString>

#include <dlfcn.h>

#include "EngineCommand.h"
#include "FileManagerEntries.h"
#include "zqvmenu.h"

namespace {

// The engine lives beside this library, wherever the library was loaded
// from; the settings are not asked.
QString programFolder()
{
    Dl_info info{};
    if (::dladdr(reinterpret_cast<const void*>(&DllRegisterServer), &info) == 0 || info.dli_fname == nullptr)
        return QString();
    const QString library = QFile::decodeName(info.dli_fname);
    const qsizetype slash = library.lastIndexOf(QLatin1Char('/'));
    return slash < 0 ? QStringLiteral(".") : library.left(slash);
}

} // namespace

extern "C" int DllRegisterServer(void)
{
    try {
        const QString folder = programFolder();
        if (folder.isEmpty())
            return 1;
        const zqvcore::EntryWriteResult result = zqvcore::writeFileManagerEntries(
            zqvcore::UserFolders::fromEnvironment(), zqvcore::enginePath(folder), zqvcore::fileVerbEntries());
        return result.ok ? 0 : 1;
    } catch (...) {
        // Nothing may leave a C entry point.
        return 1;
    }
}

extern "C" int DllUnregisterServer(void)
{
    try {
        zqvcore::removeFileManagerEntries(zqvcore::UserFolders::fromEnvironment(), zqvcore::fileVerbEntries());
        return 0;
    } catch (...) {
        return 1;
    }
}
