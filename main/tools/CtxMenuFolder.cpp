#include "CtxMenuFolder.h"

#include "EngineCommand.h"
#include "Messenger.h"
#include "RegistrySettings.h"

namespace zqvtools {

bool WriteFolderVerb(QWidget* parent,
                     zqvgui::Messenger& messenger,
                     const QString& programFolder,
                     const zqvcore::UserFolders& folders)
{
    const zqvcore::EntryWriteResult result =
        zqvcore::writeFileManagerEntries(folders, zqvcore::enginePath(programFolder), {&zqvcore::folderVerbEntry(), 1});
    if (result.ok)
        return true;
    const QString title = QStringLiteral("DLL/OCX Register");
    messenger.message(parent,
                      title,
                      QStringLiteral("An error occurred while attempting to create a file-manager entry."),
                      zqvgui::MessageIcon::Critical,
                      result.problems.join(QLatin1Char('\n')));
    messenger.message(parent,
                      title,
                      QStringLiteral("If your settings and file-manager folders cannot be written to, ZQV's context "
                                     "menus will not work.\n"
                                     "All other (regular) functionality is enabled"),
                      zqvgui::MessageIcon::Information);
    return false;
}

void RemoveFolderVerb(const zqvcore::UserFolders& folders)
{
    zqvcore::removeFileManagerEntries(folders, {&zqvcore::folderVerbEntry(), 1});
}

bool readsAsOne(const QString& text)
{
    bool ok = false;
    const double value = text.trimmed().toDouble(&ok);
    return ok && value == 1.0;
}

std::optional<zqvcore::SettingsError> RenewFolderVerbAtStartup(QWidget* parent,
                                                               zqvgui::Messenger& messenger,
                                                               const zqvcore::RegistrySettings& settings,
                                                               const QString& programFolder,
                                                               const zqvcore::UserFolders& folders)
{
    const zqvcore::SettingsResult<QString> shown = settings.GetSetting(
        QStringLiteral("ZQV"), QStringLiteral("Preferences"), QStringLiteral("ShowContextMenus"), QStringLiteral("1"));
    if (!shown)
        return shown.error();
    if (readsAsOne(shown.value()))
        WriteFolderVerb(parent, messenger, programFolder, folders);
    return std::nullopt;
}

} // namespace zqvtools
