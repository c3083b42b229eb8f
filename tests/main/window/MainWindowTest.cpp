#include <QAction>
#include <QMenu>
#include <QTimer>
#include <QToolBar>
#include <QTreeView>

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "WindowFixture.h"

using namespace zqvwindow;
using testsupport::child;

namespace {

class MainWindow : public testsupport::WindowTest
{
};

TEST_F(MainWindow, FirstStartWithoutSettings)
{
    loaded();
    EXPECT_EQ(window().windowTitle(), QStringLiteral("Cryptelle"));
    EXPECT_EQ(verbRenewals, 1);
    EXPECT_EQ(settings.values.value(QStringLiteral("Engine/Path")), programFolder + QStringLiteral("/zqvengine"));
    EXPECT_EQ(settings.values.value(QStringLiteral("View/Type")), QStringLiteral("3"));
    EXPECT_FALSE(settings.values.contains(QStringLiteral("View/Queue"))); // read, not written
    EXPECT_TRUE(action("mnuQueue")->isChecked());
    EXPECT_FALSE(child<QTreeView>(&window(), "lvQueue")->isHidden());
    EXPECT_EQ(window().splitter()->HeightOffset(), 125);
    EXPECT_EQ(window().splitter()->Top(), 24);
    EXPECT_TRUE(action("mnuViewReport")->isChecked());
    EXPECT_EQ(viewMode(), 3);
    EXPECT_TRUE(action("mnuViewArrangeAZ")->isChecked());
    EXPECT_FALSE(action("mnuViewArrangeZA")->isChecked());
    EXPECT_FALSE(action("mnuFileRoot")->isVisible());
    EXPECT_EQ(action("mnuViewRefresh")->shortcut(), QKeySequence(Qt::Key_F5));
    EXPECT_EQ(action("mnuContents")->shortcut(), QKeySequence(Qt::Key_F1));
    EXPECT_TRUE(messages().isEmpty());
}

TEST_F(MainWindow, SettingsAtStartUp)
{
    struct Case
    {
        const char* contextMenus;
        const char* queue;
        const char* type;
        int renewals;
        bool queueShown;
        int mode;
        const char* typeWritten;
        bool message;
    };
    const Case cases[] = {
        {"0", "True", "3", 0, true, 3, "3", false},
        {"2", "False", "1", 0, false, 1, "1", false},
        {"1.0", "false", "0", 1, false, 0, "0", false},
        {" 1 ", "0", "2", 1, false, 2, "2", false},
        {"one", "-1", "7", 0, true, 3, "3", false},
        {"", "maybe", "x", 0, true, 3, "3", true},
        {"1", "True", "-1", 1, true, 3, "3", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.contextMenus) + " / " + c.queue + " / " + c.type);
        destroyWindow();
        messenger.shown.clear();
        verbRenewals = 0;
        settings.values = {{QStringLiteral("Preferences/ShowContextMenus"), QLatin1String(c.contextMenus)},
                           {QStringLiteral("View/Queue"), QLatin1String(c.queue)},
                           {QStringLiteral("View/Type"), QLatin1String(c.type)}};
        window().Form_Load();
        EXPECT_EQ(verbRenewals, c.renewals);
        EXPECT_EQ(action("mnuQueue")->isChecked(), c.queueShown);
        EXPECT_EQ(child<QTreeView>(&window(), "lvQueue")->isHidden(), !c.queueShown);
        EXPECT_EQ(window().splitter()->HeightOffset(), c.queueShown ? 125 : 0);
        EXPECT_EQ(viewMode(), c.mode);
        EXPECT_EQ(settings.values.value(QStringLiteral("View/Type")), QLatin1String(c.typeWritten));
        ASSERT_EQ(messages().size(), c.message ? 1 : 0);
        if (c.message) {
            EXPECT_TRUE(messages().at(0).contains(QLatin1String("maybe")));
        }
    }
}

TEST_F(MainWindow, ABrokenSettingsStoreIsShownOnceAndTheDefaultsApply)
{
    settings.failReads = true;
    settings.failWrites = true;
    loaded();
    ASSERT_EQ(messenger.shown.size(), 1u);
    EXPECT_TRUE(messages().at(0).contains(QString::number(0x80040000LL + 2000 + 13)));
    EXPECT_TRUE(messages().at(0).contains(QStringLiteral("Could not open registry section")));
    EXPECT_EQ(verbRenewals, 1);
    EXPECT_TRUE(action("mnuQueue")->isChecked());
    EXPECT_EQ(viewMode(), 3);
    // After start-up each failed write is told.
    window().SetView(1);
    ASSERT_EQ(messenger.shown.size(), 2u);
    EXPECT_TRUE(messages().at(1).contains(QStringLiteral("Could not save the setting")));
}

TEST_F(MainWindow, EachKindOfRowEnablesTheButtonsAndQueueItemsThatFitIt)
{
    files.write({{"b.ZQV", "x"}, {"gone.txt", "x"}, {"locked.txt", "x"}, {"folder.zqv/", ""}});
    loaded();
    ::unlink(files.file("gone.txt").c_str()); // listed, then gone before the click
    ::chmod(files.file("locked.txt").c_str(), 0);
    const char* names[] = {"Encrypt",
                           "Decrypt",
                           "MakeExe",
                           "Wipe",
                           "Queue",
                           "mnuAdvancedHash",
                           "mnuQueueEncrypt",
                           "mnuQueueDecrypt",
                           "mnuQueueSelfExtracting",
                           "mnuQueueWipe"};
    struct Case
    {
        const char* row;
        const char* enabled; // one letter per name above
    };
    const Case cases[] = {
        {"secret.zqv", "0101110101"},
        {"b.ZQV", "1011111011"},
        {"plain.txt", "1011111011"},
        {"folder.zqv", "0000000101"}, // the Queue menu follows the name alone
        {"gone.txt", "0000001011"},
        {"locked.txt", "0000001011"},
    };
    for (const Case& c : cases) {
        if (std::string(c.row) == "locked.txt" && ::geteuid() == 0)
            continue; // root reads everything
        SCOPED_TRACE(c.row);
        click(c.row);
        QString got;
        for (const char* name : names)
            got.append(action(name)->isEnabled() ? QLatin1Char('1') : QLatin1Char('0'));
        EXPECT_EQ(got, QLatin1String(c.enabled));
    }
}

TEST_F(MainWindow, ARowClickEnablesWhatFitsTheFile)
{
    loaded();
    struct Case
    {
        const char* row;
        bool encrypt, decrypt, makeExe, wipe, queue, hash;
    };
    for (const Case& c : {Case{"secret.zqv", false, true, false, true, true, true},
                          Case{"LOUD.ZQV", true, false, true, true, true, true},
                          Case{"plain.txt", true, false, true, true, true, true},
                          Case{"folder", false, false, false, false, false, false}}) {
        SCOPED_TRACE(c.row);
        click(c.row);
        EXPECT_EQ(action("Encrypt")->isEnabled(), c.encrypt);
        EXPECT_EQ(action("Decrypt")->isEnabled(), c.decrypt);
        EXPECT_EQ(action("MakeExe")->isEnabled(), c.makeExe);
        EXPECT_EQ(action("Wipe")->isEnabled(), c.wipe);
        EXPECT_EQ(action("Queue")->isEnabled(), c.queue);
        EXPECT_TRUE(action("Advanced")->isEnabled());
        EXPECT_TRUE(action("mnuQueueWipe")->isEnabled());
        EXPECT_TRUE(action("mnuAdvancedText")->isEnabled() == false); // no text tool in this window
        EXPECT_EQ(action("mnuAdvancedHash")->isEnabled(), c.hash);
    }
}

TEST_F(MainWindow, ToolbarClicksRunTheEngineOnTheSelectedFile)
{
    ::setenv("ZQV_STANDIN_SLEEP_MS", "0", 1);
    ::unsetenv("ZQV_STANDIN_GATES");
    loaded();
    // plain.txt twice: the refill after each run selects the first row.
    pressOn(
        {{"with blanks.txt", "Encrypt"}, {"secret.zqv", "Decrypt"}, {"plain.txt", "MakeExe"}, {"plain.txt", "Wipe"}});
    for (const char* nothing : {"Queue", "Advanced", "", "encrypt"})
        window().ButtonClick(QLatin1String(nothing));
    pressOn({{"folder", "Wipe"}});
    ::unsetenv("ZQV_STANDIN_SLEEP_MS");

    EXPECT_EQ(standIn.events(),
              runsOn({{"/e", "with blanks.txt"}, {"/d", "secret.zqv"}, {"/s", "plain.txt"}, {"/w", "plain.txt"}}));
}

TEST_F(MainWindow, TheListShowsWhatTheEngineMadeAfterItsRun)
{
    loaded();
    click("plain.txt");
    QTimer::singleShot(0, [&] {
        ASSERT_TRUE(standIn.waitFor("start", 1));
        testsupport::writeFile(files.file("plain.txt.zqv"), "new");
        standIn.open("plain.txt");
    });
    window().ButtonClick(QStringLiteral("Encrypt"));
    EXPECT_GE(rowOf(QStringLiteral("plain.txt.zqv")), 0);
}

TEST_F(MainWindow, NoSelectedRowMeansNoCommand)
{
    loaded();
    window().fileList()->ClearFileView();
    for (const char* key : {"Encrypt", "Decrypt", "MakeExe", "Wipe"})
        window().ButtonClick(QLatin1String(key));
    for (const char* key : {"Encrypt", "Wipe", "Hash"})
        window().ButtonMenuClick(QLatin1String(key));
    EXPECT_EQ(standIn.count("start"), 0);
    EXPECT_EQ(window().queue().count(), 0);
    EXPECT_TRUE(messages().isEmpty());
}

TEST_F(MainWindow, ClosingDuringARunSavesTheQueueAndLeavesTheEngineRunning)
{
    loaded();
    click("plain.txt");
    window().QueueSelected(QStringLiteral("Wipe"));
    bool closed = false;
    QTimer::singleShot(0, [&] {
        ASSERT_TRUE(standIn.waitFor("start", 1));
        closed = window().close();
    });
    window().ButtonClick(QStringLiteral("Encrypt"));
    EXPECT_TRUE(closed);
    EXPECT_FALSE(window().isVisible());
    EXPECT_EQ(standIn.count("end"), 0);
    EXPECT_EQ(window().engineRunner().RunAndWait(
                  zqvcore::engineCommand(programFolder, zqvcore::Operation::Wipe, path("plain.txt"))),
              WaitResult::Abandoned);
    destroyWindow();
    standIn.open("plain.txt");
    EXPECT_TRUE(standIn.waitFor("end", 1));
    EXPECT_EQ(zqvcore::readQueueFile(QString::fromStdString(queueFile())).size(), 1);
    QCoreApplication::processEvents(); // the quit the close posted
}

TEST_F(MainWindow, QueuePaneKeepsItsPlaceOnEveryResize)
{
    loaded();
    window().show();
    auto* queue = child<QTreeView>(&window(), "lvQueue");
    QWidget* inner = window().centralWidget();
    QWidget* tree = child<QWidget>(&window(), "TreeView1");
    QWidget* list = child<QWidget>(&window(), "ListView1");
    for (const QSize size : {QSize(900, 620), QSize(640, 480), QSize(1400, 1000)}) {
        for (const bool shown : {true, false}) {
            SCOPED_TRACE(std::to_string(size.width()) + (shown ? " shown" : " hidden"));
            window().LayoutQueuePane(shown);
            window().resize(size);
            QCoreApplication::processEvents();
            EXPECT_EQ(queue->geometry().top(), inner->height() - 120);
            EXPECT_EQ(queue->width(), inner->width());
            EXPECT_EQ(queue->isHidden(), !shown);
            EXPECT_EQ(tree->geometry().top(), 24);
            EXPECT_EQ(tree->geometry().bottom() + 1, inner->height() - (shown ? 125 : 0));
            EXPECT_EQ(list->geometry().right() + 1, inner->width());
        }
    }
    window().LayoutQueuePane(true);
    const int freeWidth = inner->width() - child<QWidget>(&window(), "Frame1")->width();
    EXPECT_NEAR(window().splitter()->Left(), freeWidth * 0.3, 1.0);
}

TEST_F(MainWindow, MenusCarryTheirNamesAndCaptions)
{
    window();
    const std::vector<std::pair<const char*, const char*>> items = {
        {"mnuFileRoot", "&Change Root..."},
        {"mnuPreferences", "Preferences..."},
        {"mnuFileExit", "E&xit"},
        {"mnuQueue", "Queue"},
        {"mnuViewLargeIcons", "Lar&ge Icons"},
        {"mnuViewSmallIcons", "S&mall Icons"},
        {"mnuViewList", "&List"},
        {"mnuViewReport", "&Detatils"},
        {"mnuViewArrange", "Arrange Icons"},
        {"mnuViewArrangeAZ", "A&scending"},
        {"mnuViewArrangeZA", "&Descending"},
        {"mnuViewArrangeAuto", "&Auto Arrange"},
        {"mnuViewRefresh", "&Refresh"},
        {"mnuContents", "&Contents"},
        {"mnuAbout", "&About..."},
        {"mnuPerform", "Perform Desired Actions Now..."},
        {"mnuRemoveItem", "Remove Item"},
        {"mnuClearQueue", "Clear Queue"},
        {"Encrypt", "Encrypt File"},
        {"Decrypt", "Decrypt File"},
        {"MakeExe", "Make Exe"},
        {"Wipe", "Wipe File"},
        {"Queue", "Queue File"},
        {"Advanced", "Advanced"},
        {"mnuQueueEncrypt", "Queue for Encryption"},
        {"mnuQueueDecrypt", "Queue for Decryption"},
        {"mnuQueueSelfExtracting", "Queue for Self-Extracting"},
        {"mnuQueueWipe", "Queue for Wiping"},
        {"mnuAdvancedHash", "View SHA/MD5 Hash Value..."},
        {"mnuAdvancedText", "Encrypt/Decrypt Text..."}};
    for (const auto& [name, text] : items)
        EXPECT_EQ(action(name)->text(), QLatin1String(text)) << name;
    const QList<QAction*> buttons = child<QToolBar>(&window(), "Toolbar1")->actions();
    QStringList order;
    for (const QAction* button : buttons)
        order.append(button->objectName());
    EXPECT_EQ(order.join(QLatin1Char(',')), QStringLiteral("Encrypt,Decrypt,MakeExe,Wipe,Queue,Advanced"));
    for (const QAction* button : buttons)
        EXPECT_FALSE(button->icon().isNull()) << button->objectName().toStdString();
}

TEST_F(MainWindow, HelpAndHashOpenWhatTheyShould)
{
    loaded();
    window().Contents();
    click("folder");
    window().ButtonMenuClick(QStringLiteral("Hash"));
    click("plain.txt");
    window().ButtonMenuClick(QStringLiteral("Hash"));
    window().ButtonMenuClick(QStringLiteral("Text")); // no text tool given: nothing
    EXPECT_EQ(
        opened,
        (QStringList{programFolder + QStringLiteral("/help/index.html"), QStringLiteral("hash:") + path("plain.txt")}));
}

} // namespace

namespace {

// Points XDG_CONFIG_HOME at a test's folder for its life.
class ConfigHome
{
public:
    explicit ConfigHome(const std::string& folder)
        : m_old(qgetenv("XDG_CONFIG_HOME"))
    {
        qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(folder));
    }
    ~ConfigHome()
    {
        if (m_old.isNull())
            qunsetenv("XDG_CONFIG_HOME");
        else
            qputenv("XDG_CONFIG_HOME", m_old);
    }
    ConfigHome(const ConfigHome&) = delete;
    ConfigHome& operator=(const ConfigHome&) = delete;

private:
    QByteArray m_old;
};

TEST(UserSettings, StoreErrorsArriveWithTheirNumberAndReason)
{
    testsupport::TempDir config;
    const ConfigHome home(config.path());
    UserSettings settings;
    ASSERT_TRUE(settings.SaveSetting(QStringLiteral("View"), QStringLiteral("Type"), QStringLiteral("1")));
    EXPECT_EQ(settings.GetSetting(QStringLiteral("View"), QStringLiteral("Type"), QStringLiteral("3")).value(),
              QStringLiteral("1"));
    EXPECT_TRUE(testsupport::exists(config.file("ZQV/ZQV.conf")));

    // A folder where the file should be.
    ASSERT_TRUE(
        testsupport::run("rm '" + config.file("ZQV/ZQV.conf") + "' && mkdir '" + config.file("ZQV/ZQV.conf") + "'"));
    const zqvcore::SettingsResult<QString> read =
        settings.GetSetting(QStringLiteral("View"), QStringLiteral("Type"), QStringLiteral("3"));
    ASSERT_FALSE(read.ok());
    EXPECT_GT(read.error().number(), 0x80040000u + 2000);
    EXPECT_EQ(read.error().description(), QStringLiteral("Could not open registry section"));
    EXPECT_FALSE(read.error().systemErrorText().isEmpty());
}

TEST(UserSettings, ASettingsFileThatIsNoFileLeavesTheWindowUpAndSaysSo)
{
    for (const char* kind : {"pipe", "device"}) {
        SCOPED_TRACE(kind);
        testsupport::TempDir config;
        testsupport::TempDir state;
        const ConfigHome home(config.path());
        const std::string file = config.file("ZQV/ZQV.conf");
        ASSERT_EQ(::mkdir(config.file("ZQV").c_str(), 0700), 0);
        if (std::string(kind) == "pipe")
            ASSERT_EQ(::mkfifo(file.c_str(), 0600), 0);
        else
            ASSERT_EQ(::symlink("/dev/zero", file.c_str()), 0);

        UserSettings settings;
        testsupport::RecordingMessenger messenger;
        frmMain window(testsupport::StandIn::folder(),
                       settings,
                       messenger,
                       QString::fromStdString(state.file("ZQV/queue.txt")),
                       MainWindowTools());
        // A start-up that blocks on the pipe or reads the device without end
        // is ended by the alarm (and the test with it) instead of hanging.
        ::alarm(60);
        window.Form_Load();
        ::alarm(0);
        ASSERT_EQ(messenger.shown.size(), 1u);
        const QString reason = std::string(kind) == "pipe"
                                   ? QStringLiteral("it is a named pipe, not a regular file")
                                   : QStringLiteral("it is a link to a device, not to a regular file");
        EXPECT_TRUE(messenger.shown.at(0).text.endsWith(
            QStringLiteral(": Could not open registry section (%1: %2)").arg(QString::fromStdString(file), reason)))
            << messenger.shown.at(0).text.toStdString();
        EXPECT_EQ(static_cast<int>(window.listView()->viewMode()), 3); // the defaults apply

        struct stat info
        {
        };
        ASSERT_EQ(::lstat(file.c_str(), &info), 0);
        EXPECT_TRUE(std::string(kind) == "pipe" ? S_ISFIFO(info.st_mode) : S_ISLNK(info.st_mode));
        EXPECT_EQ(testsupport::listFolder(config.file("ZQV")), "ZQV.conf ZQV.conf.lock");
    }
}

} // namespace
