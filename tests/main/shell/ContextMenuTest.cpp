#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QMenu>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <sys/stat.h>
#include <unistd.h>

#include "PathRules.h"
#include "PropertiesDialog.h"
#include "ShellContextMenu.h"
#include "ShellFixture.h"
#include "WidgetHelpers.h"

using namespace zqvshell;

TEST(PathRules, OnePlainFileTestForTextAndBytes)
{
    testsupport::TempDir dir;
    testsupport::writeFile(dir.file("a.txt"), "x");
    testsupport::writeFile(dir.file("caf\xe9"), "not UTF-8");
    ::mkfifo(dir.file("pipe").c_str(), 0600);
    ASSERT_EQ(::symlink(dir.file("a.txt").c_str(), dir.file("link").c_str()), 0);
    ASSERT_EQ(::symlink(dir.file("gone").c_str(), dir.file("dangling").c_str()), 0);
    const struct
    {
        std::string name;
        bool plain;
        bool folder;
    } cases[] = {
        {"a.txt", true, false},
        {"caf\xe9", true, false}, // only its bytes name it
        {"link", true, false},
        {"", false, true}, // the folder itself
        {"pipe", false, false},
        {"dangling", false, false},
        {"gone", false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = c.name.empty() ? dir.path() : dir.file(c.name);
        EXPECT_EQ(zqvcore::isPlainFile(QByteArray::fromStdString(path)), c.plain);
        EXPECT_EQ(zqvcore::isFolder(QByteArray::fromStdString(path)), c.folder);
        if (QString::fromStdString(path).toUtf8() == QByteArray::fromStdString(path)) {
            EXPECT_EQ(zqvcore::IsNotPlainFile(QString::fromStdString(path)), !c.plain);
        }
    }
    EXPECT_FALSE(zqvcore::isPlainFile(QByteArray()));
    EXPECT_FALSE(zqvcore::isFolder(QByteArray()));
}

TEST(Permissions, TextOfTheModeBits)
{
    EXPECT_EQ(permissionText(0755), QStringLiteral("rwxr-xr-x"));
    EXPECT_EQ(permissionText(0640), QStringLiteral("rw-r-----"));
    EXPECT_EQ(permissionText(0), QStringLiteral("---------"));
}

class ContextMenu : public ShellFixture
{
protected:
    void SetUp() override
    {
        ShellFixture::SetUp();
        mkdirs("m");
        menu.setMessenger(&messenger);
        menu.setDispatch([this](zqvcore::Operation op, const QStringList& paths) {
            dispatched.push_back({op, paths});
        });
        folder = GetFolderFromPIDL(sources(), homeList({"m"}));
    }

    ShellItem item(const std::string& name) const { return *folder->describe(QByteArray::fromStdString(name)); }
    QString path(const std::string& name) const { return QString::fromStdString(inHome("m/" + name)); }

    // Which of the named actions are enabled, as "name" for on, "-name" for off.
    QStringList states(const std::vector<ShellItem>& items)
    {
        const std::unique_ptr<QMenu> built = menu.buildMenu(nullptr, folder, items);
        QStringList result;
        for (const char* name : {"mnuOpen",
                                 "mnuEncrypt",
                                 "mnuDecrypt",
                                 "mnuMakeExe",
                                 "mnuWipe",
                                 "mnuCopyLocation",
                                 "mnuRename",
                                 "mnuTrash",
                                 "mnuProperties"}) {
            QAction* action = testsupport::child<QAction>(built.get(), name);
            result.push_back((action->isEnabled() ? QString() : QStringLiteral("-")) + QString::fromLatin1(name));
        }
        return result;
    }

    void choose(const std::vector<ShellItem>& items, const char* action)
    {
        const std::unique_ptr<QMenu> built = menu.buildMenu(nullptr, folder, items);
        QAction* chosen = testsupport::child<QAction>(built.get(), action);
        ASSERT_TRUE(chosen->isEnabled()) << action;
        chosen->trigger();
    }

    ShellContextMenu menu;
    RecordingMessenger messenger;
    FolderPtr folder;
    std::vector<std::pair<zqvcore::Operation, QStringList>> dispatched;
};

TEST_F(ContextMenu, EnablesWhatFitsEveryChosenItem)
{
    testsupport::writeFile(inHome("m/plain.txt"), "x");
    testsupport::writeFile(inHome("m/locked.zqv"), "x");
    mkdirs("m/sub");
    EXPECT_EQ(states({item("plain.txt")}).join(QLatin1Char(' ')),
              QStringLiteral("mnuOpen mnuEncrypt -mnuDecrypt mnuMakeExe mnuWipe mnuCopyLocation mnuRename mnuTrash "
                             "mnuProperties"));
    EXPECT_EQ(states({item("locked.zqv")}).join(QLatin1Char(' ')),
              QStringLiteral("mnuOpen -mnuEncrypt mnuDecrypt -mnuMakeExe mnuWipe mnuCopyLocation mnuRename mnuTrash "
                             "mnuProperties"));
    EXPECT_EQ(states({item("sub")}).join(QLatin1Char(' ')),
              QStringLiteral("mnuOpen -mnuEncrypt -mnuDecrypt -mnuMakeExe -mnuWipe mnuCopyLocation mnuRename mnuTrash "
                             "mnuProperties"));
    EXPECT_EQ(states({item("plain.txt"), item("locked.zqv")}).join(QLatin1Char(' ')),
              QStringLiteral("-mnuOpen -mnuEncrypt -mnuDecrypt -mnuMakeExe mnuWipe mnuCopyLocation -mnuRename mnuTrash "
                             "-mnuProperties"));
}

TEST_F(ContextMenu, OperationsGoToTheDispatchWithEveryPath)
{
    testsupport::writeFile(inHome("m/one"), "x");
    testsupport::writeFile(inHome("m/two words"), "x");
    choose({item("two words"), item("one")}, "mnuEncrypt");
    ASSERT_EQ(dispatched.size(), 1U);
    EXPECT_EQ(dispatched[0].first, zqvcore::Operation::Encrypt);
    EXPECT_EQ(dispatched[0].second, (QStringList{path("two words"), path("one")}));

    // Shown and dismissed: false, nothing run; chosen: true.
    menu.setMenuRunner([](QMenu&, const QPoint&) { return nullptr; });
    EXPECT_FALSE(menu.ShowShellContextMenu(nullptr, folder, {item("one")}, {}));
    menu.setMenuRunner(
        [](QMenu& shown, const QPoint&) { return shown.findChild<QAction*>(QStringLiteral("mnuMakeExe")); });
    EXPECT_TRUE(menu.ShowShellContextMenu(nullptr, folder, {item("one")}, {}));
    ASSERT_EQ(dispatched.size(), 2U);
    EXPECT_EQ(dispatched[1].first, zqvcore::Operation::SelfExtracting);
}

TEST_F(ContextMenu, NamesTextCannotCarryAreRefusedNotSwapped)
{
    const std::string odd = "caf\xe9";
    testsupport::writeFile(inHome("m/" + odd), "x");
    testsupport::writeFile(inHome("m/caf\\xE9"), "look-alike");
    testsupport::writeFile(inHome("m/fine"), "x");
    for (const char* action : {"mnuWipe", "mnuCopyLocation", "mnuTrash", "mnuOpen"}) {
        messenger.shown.clear();
        const std::vector<ShellItem> items = std::string(action) == "mnuOpen"
                                                 ? std::vector<ShellItem>{item(odd)}
                                                 : std::vector<ShellItem>{item("fine"), item(odd)};
        choose(items, action);
        ASSERT_EQ(messenger.shown.size(), 1U) << action;
        EXPECT_TRUE(messenger.shown[0].text.contains(QStringLiteral("caf\\xE9"))) << action;
    }
    EXPECT_TRUE(dispatched.empty());
    EXPECT_TRUE(testsupport::exists(inHome("m/" + odd)));
    EXPECT_EQ(testsupport::readFile(inHome("m/caf\\xE9")), "look-alike");
}

TEST_F(ContextMenu, RenameNeverReplacesAndKeepsExactBytes)
{
    testsupport::writeFile(inHome("m/a"), "A");
    testsupport::writeFile(inHome("m/b"), "B");
    QSignalSpy changed(&menu, &ShellContextMenu::itemsChanged);
    EXPECT_FALSE(menu.renameItem(nullptr, *folder, item("a"), QStringLiteral("b")));
    EXPECT_EQ(testsupport::readFile(inHome("m/b")), "B");
    EXPECT_EQ(testsupport::readFile(inHome("m/a")), "A");
    ASSERT_EQ(messenger.shown.size(), 1U);
    for (const QString& bad : {QString(), QStringLiteral("x/y"), QStringLiteral(".."), QStringLiteral(".")}) {
        EXPECT_FALSE(menu.renameItem(nullptr, *folder, item("a"), bad));
    }
    EXPECT_EQ(changed.count(), 0);

    const std::string odd = "\xff\xfe";
    testsupport::writeFile(inHome("m/" + odd), "odd");
    ASSERT_TRUE(menu.renameItem(nullptr, *folder, item(odd), QStringLiteral("named é")));
    EXPECT_EQ(testsupport::readFile(inHome("m/named é")), "odd");
    EXPECT_FALSE(testsupport::exists(inHome("m/" + odd)));
    EXPECT_EQ(changed.count(), 1);

    menu.setRenamePrompt(
        [](QWidget*, const QString& current) { return std::optional<QString>(current + QStringLiteral("2")); });
    choose({item("a")}, "mnuRename");
    EXPECT_EQ(testsupport::readFile(inHome("m/a2")), "A");
}

TEST_F(ContextMenu, CopyLocationAndProperties)
{
    testsupport::writeFile(inHome("m/data.bin"), std::string(1234, 'x'));
    ::chmod(inHome("m/data.bin").c_str(), 0640);
    choose({item("data.bin")}, "mnuCopyLocation");
    EXPECT_EQ(QApplication::clipboard()->text(), path("data.bin"));

    PropertiesDialog dialog(nullptr, item("data.bin"), QByteArray::fromStdString(inHome("m/data.bin")));
    EXPECT_EQ(testsupport::child<QLabel>(&dialog, "lblPath")->text(), path("data.bin"));
    EXPECT_TRUE(testsupport::child<QLabel>(&dialog, "lblSize")->text().startsWith(QLocale().toString(1234)));
    EXPECT_TRUE(testsupport::child<QLabel>(&dialog, "lblPermissions")->text().startsWith(QStringLiteral("rw-r-----")));
}

TEST_F(ContextMenu, EncryptFolderFitsFoldersOnlyAndGoesToTheDispatch)
{
    mkdirs("m/sub");
    mkdirs("m/two words");
    testsupport::writeFile(inHome("m/plain.txt"), "x");
    const auto enabled = [this](const std::vector<ShellItem>& items) {
        const std::unique_ptr<QMenu> built = menu.buildMenu(nullptr, folder, items);
        QAction* action = testsupport::child<QAction>(built.get(), "mnuEncryptFolder");
        EXPECT_EQ(action->text(), QStringLiteral("Encrypt &Folder..."));
        return action->isEnabled();
    };
    EXPECT_TRUE(enabled({item("sub")}));
    EXPECT_TRUE(enabled({item("sub"), item("two words")}));
    EXPECT_FALSE(enabled({item("plain.txt")}));
    EXPECT_FALSE(enabled({item("sub"), item("plain.txt")}));
    // The desktop's places are not folders to pack.
    const FolderPtr desktop = GetFolderFromPIDL(sources(), ItemIdList());
    const std::optional<ShellItem> home = desktop->describe("H");
    ASSERT_TRUE(home);
    const std::unique_ptr<QMenu> onDesktop = menu.buildMenu(nullptr, desktop, {*home});
    EXPECT_FALSE(testsupport::child<QAction>(onDesktop.get(), "mnuEncryptFolder")->isEnabled());

    choose({item("two words"), item("sub")}, "mnuEncryptFolder");
    ASSERT_EQ(dispatched.size(), 1U);
    EXPECT_EQ(dispatched[0].first, zqvcore::Operation::EncryptFolder);
    EXPECT_EQ(dispatched[0].second, (QStringList{path("two words"), path("sub")}));
}

TEST_F(ContextMenu, OpenSaysWhenNoApplicationIsThere)
{
    testsupport::writeFile(inHome("m/odd.type"), "x");
    QStringList asked;
    menu.setApplicationCheck([&asked](const QString& path) {
        asked.append(path);
        return false;
    });
    EXPECT_FALSE(menu.openItem(nullptr, *folder, item("odd.type")));
    EXPECT_EQ(asked, QStringList{path("odd.type")});
    ASSERT_EQ(messenger.shown.size(), 1U);
    EXPECT_EQ(messenger.shown[0].text, QStringLiteral("No application is available to open \"odd.type\"."));
}

TEST_F(ContextMenu, ACommandChosenInTheShownMenuRunsOnce)
{
    testsupport::writeFile(inHome("m/one"), "x");
    QWidget owner;
    owner.show();
    QTimer::singleShot(0, [] {
        QWidget* popup = QApplication::activePopupWidget();
        ASSERT_NE(popup, nullptr);
        QTest::keyClick(popup, Qt::Key_E); // "&Encrypt File"
    });
    EXPECT_TRUE(menu.ShowShellContextMenu(&owner, folder, {item("one")}, owner.mapToGlobal(QPoint(5, 5))));
    ASSERT_EQ(dispatched.size(), 1U);
    EXPECT_EQ(dispatched[0].first, zqvcore::Operation::Encrypt);
}
