#include "ZqvApplication.h"

#include <QApplication>
#include <thread>

#include "AppIcon.h"
#include "BrowseForFolder.h"
#include "CtxMenuFolder.h"
#include "FileManagerEntries.h"
#include "FrmHash.h"
#include "FrmText.h"
#include "MainSettings.h"
#include "Messenger.h"
#include "Miscellaneous.h"
#include "QueueFile.h"
#include "ShellContextMenu.h"
#include "UnnamedOutput.h"
#include "frmAbout.h"
#include "frmMain.h"
#include "frmPreferences.h"
#include "frmSplash.h"

namespace zqvwindow {

int runZqv(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("zqv"));
    QApplication::setWindowIcon(cryptelle::applicationIcon());
    QGuiApplication::setDesktopFileName(QStringLiteral("cryptelle"));

    // Partial outputs that killed engine runs left on file systems without
    // unnamed files are overwritten and removed beside the window.
    const std::jthread leftovers(cryptelle::wipeRecordedLeftovers);

    const QString programFolder = QCoreApplication::applicationDirPath();
    const QString helpPage = programFolder + QLatin1String("/help/index.html");
    zqvgui::Messenger messenger;
    UserSettings settings;

    MainWindowTools tools;
    tools.openDocument = [](const QString& target) {
        if (!zqvshell::hasDefaultApplication(target))
            return false;
        zqvtools::OpenDocument(target);
        return true;
    };
    tools.openAbout = [helpPage](QWidget* owner) {
        zqvtools::frmAbout about(helpPage, owner);
        about.exec();
    };
    tools.openPreferences = [&messenger, programFolder](QWidget* owner) {
        zqvtools::PreferencesContext context;
        context.messenger = &messenger;
        context.programFolder = programFolder;
        context.folders = zqvcore::UserFolders::fromEnvironment();
        zqvtools::frmPreferences preferences(std::move(context), owner);
        preferences.exec();
    };
    tools.openHashViewer = [](QWidget* owner, const QString& file) {
        // The viewer reads the file with its progress bar once it is shown.
        zqvtools::FrmHash hash(owner);
        hash.load(file);
        hash.exec();
    };
    tools.openTextTool = [&messenger](QWidget* owner) {
        zqvtools::FrmText text(messenger, owner);
        text.exec();
    };
    tools.renewFolderVerb = [&messenger, programFolder](QWidget* owner) {
        (void)zqvtools::WriteFolderVerb(owner, messenger, programFolder, zqvcore::UserFolders::fromEnvironment());
    };
    tools.browseForFolder = [](QWidget* owner,
                               const QString& title,
                               const zqvshell::ItemIdList& initial,
                               const zqvshell::DesktopSources& sources) {
        return zqvshell::BrowseForFolder(owner, title, 0, zqvshell::ItemIdList(), initial, sources);
    };

    frmMain main(programFolder,
                 settings,
                 messenger,
                 zqvcore::defaultQueueFilePath(),
                 std::move(tools),
                 zqvshell::defaultDesktopSources());
    zqvtools::frmSplash splash([&main] {
        main.Form_Load();
        main.show();
    });
    splash.Form_Load();
    return QApplication::exec();
}

} // namespace zqvwindow
