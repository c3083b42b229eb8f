#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QMenu>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <QTreeView>
#include <set>

#include <gtest/gtest.h>

#include "EngineDispatch.h"
#include "WindowFixture.h"

using testsupport::child;

namespace {

// The window as a user has it: shown, active, driven by keys only.
class Keyboard : public testsupport::WindowTest
{
protected:
    void SetUp() override
    {
        WindowTest::SetUp();
        // Runs end at once unless a test opens gates of its own.
        ::setenv("ZQV_STANDIN_SLEEP_MS", "0", 1);
        ::unsetenv("ZQV_STANDIN_GATES");
    }
    void TearDown() override { ::unsetenv("ZQV_STANDIN_SLEEP_MS"); }

    void show()
    {
        loaded();
        window().show();
        window().activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&window()));
    }
    QWidget* listWidget() { return window().listView()->currentView(); }
    void press(QWidget* target, Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        QTest::keyClick(target, key, modifiers);
    }
    // Answers the next pop-up menu with keys once it is shown, and notes which
    // of its items were enabled.
    void answerMenu(std::vector<Qt::Key> keys)
    {
        QTimer::singleShot(0, [this, keys] {
            auto* popup = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            if (popup == nullptr) {
                ADD_FAILURE() << "no menu open";
                return;
            }
            shownMenu = popup->objectName();
            enabledItems.clear();
            for (const QAction* item : popup->actions()) {
                if (item->isEnabled() && !item->isSeparator())
                    enabledItems.append(item->objectName());
            }
            for (const Qt::Key key : keys)
                QTest::keyClick(popup, key);
        });
    }

    QString shownMenu;
    QStringList enabledItems;
};

TEST_F(Keyboard, TheToolbarsCommandsHaveKeysThatClashWithNoMnemonic)
{
    window();
    std::set<QKeySequence> seen;
    for (const char* name : {"Encrypt",
                             "Decrypt",
                             "MakeExe",
                             "Wipe",
                             "mnuQueueEncrypt",
                             "mnuQueueDecrypt",
                             "mnuQueueSelfExtracting",
                             "mnuQueueWipe",
                             "mnuAdvancedHash",
                             "mnuAdvancedText"}) {
        SCOPED_TRACE(name);
        QAction* command = action(name);
        const QKeySequence key = command->shortcut();
        ASSERT_FALSE(key.isEmpty());
        EXPECT_TRUE(seen.insert(key).second) << key.toString().toStdString();
        // Alt and a letter belong to the menus' mnemonics.
        EXPECT_FALSE(key[0].keyboardModifiers() == Qt::AltModifier);
        EXPECT_TRUE(command->toolTip().contains(key.toString(QKeySequence::NativeText)));
    }
    for (const char* name : {"mnuViewRefresh", "mnuContents"})
        EXPECT_FALSE(seen.count(action(name)->shortcut()) > 0) << name;
    // The same commands from a menu of the menu bar.
    auto* actions = child<QMenu>(&window(), "mnuActions");
    EXPECT_EQ(actions->title(), QStringLiteral("&Actions"));
    QStringList inMenu;
    for (const QAction* item : actions->actions())
        inMenu.append(item->menu() != nullptr ? item->menu()->objectName() : item->objectName());
    EXPECT_EQ(inMenu.join(QLatin1Char(',')),
              QStringLiteral("Encrypt,Decrypt,MakeExe,Wipe,mnuActionsSep1,QueueMenu,AdvancedMenu"));
}

TEST_F(Keyboard, KeysRunAndQueueTheFileChosenWithTheArrowKeys)
{
    show();
    listWidget()->setFocus();
    // The fill selects the first row, "folder"; two rows down is plain.txt.
    press(listWidget(), Qt::Key_Down);
    press(listWidget(), Qt::Key_Down);
    ASSERT_EQ(window().fileList()->selectedName(), QStringLiteral("plain.txt"));
    EXPECT_FALSE(action("Decrypt")->isEnabled());
    press(listWidget(), Qt::Key_D, Qt::ControlModifier); // disabled for this file: nothing
    press(listWidget(), Qt::Key_E, Qt::ControlModifier);
    ASSERT_TRUE(standIn.waitFor("end", 1));
    press(listWidget(), Qt::Key_Down); // the refill selects the first row again
    press(listWidget(), Qt::Key_Down);
    press(listWidget(), Qt::Key_M, Qt::ControlModifier | Qt::ShiftModifier);
    press(listWidget(), Qt::Key_H, Qt::ControlModifier);
    EXPECT_EQ(standIn.events(), runsOn({{"/e", "plain.txt"}}));
    ASSERT_EQ(window().queue().count(), 1);
    EXPECT_EQ(window().queue().entries().at(0).action, QStringLiteral("Make Self-Extracting"));
    EXPECT_EQ(opened, QStringList{QStringLiteral("hash:") + path("plain.txt")});
}

TEST_F(Keyboard, MenuKeyAndShiftF10OpenTheContextMenuOfListAndTree)
{
    show();
    listWidget()->setFocus();
    press(listWidget(), Qt::Key_Down); // LOUD.ZQV
    answerMenu({Qt::Key_Escape});
    press(listWidget(), Qt::Key_Menu);
    EXPECT_EQ(shownMenu, QStringLiteral("mnuShellContext"));
    EXPECT_TRUE(enabledItems.contains(QStringLiteral("mnuEncrypt")));
    EXPECT_FALSE(enabledItems.contains(QStringLiteral("mnuEncryptFolder")));

    shownMenu.clear();
    answerMenu({Qt::Key_Escape});
    press(listWidget(), Qt::Key_F10, Qt::ShiftModifier);
    EXPECT_EQ(shownMenu, QStringLiteral("mnuShellContext"));

    // Keys with no menu of their own open nothing.
    shownMenu.clear();
    press(listWidget(), Qt::Key_F10);
    press(listWidget(), Qt::Key_Menu, Qt::ControlModifier);
    QCoreApplication::processEvents();
    EXPECT_TRUE(shownMenu.isEmpty());

    // The tree: its selected folder, the one the list shows.
    window().treeView()->setFocus();
    answerMenu({Qt::Key_Escape});
    press(window().treeView(), Qt::Key_F10, Qt::ShiftModifier);
    EXPECT_EQ(shownMenu, QStringLiteral("mnuShellContext"));
    EXPECT_TRUE(enabledItems.contains(QStringLiteral("mnuEncryptFolder")));
    EXPECT_FALSE(enabledItems.contains(QStringLiteral("mnuEncrypt")));
    EXPECT_EQ(standIn.count("start"), 0);
}

TEST_F(Keyboard, EncryptFolderFromTheListAndTheTreeRunsTheEngineAndRefreshes)
{
    ::unsetenv("ZQV_STANDIN_SLEEP_MS");
    ::setenv("ZQV_STANDIN_GATES", standIn.gates().c_str(), 1);
    show();
    listWidget()->setFocus();
    ASSERT_EQ(window().fileList()->selectedName(), QStringLiteral("folder"));
    // Chosen with the mnemonic of "Encrypt &Folder..."; the engine's archive
    // appears while it runs, and the list shows it after.
    QTimer::singleShot(0, [&] {
        auto* popup = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        ASSERT_NE(popup, nullptr);
        QTest::keyClick(popup, Qt::Key_F);
    });
    QTimer::singleShot(0, [&] {
        ASSERT_TRUE(standIn.waitFor("start", 1));
        testsupport::writeFile(files.file("folder.zip.zqv"), "archive");
        standIn.open("folder");
    });
    press(listWidget(), Qt::Key_Menu);
    EXPECT_EQ(standIn.count("end"), 1);
    EXPECT_GE(rowOf(QStringLiteral("folder.zip.zqv")), 0);

    window().treeView()->setFocus();
    const std::string shown = files.path().substr(files.path().find_last_of('/') + 1);
    standIn.open(shown);
    answerMenu({Qt::Key_F});
    press(window().treeView(), Qt::Key_Menu);
    ASSERT_TRUE(standIn.waitFor("end", 2));
    const std::string folder = files.path();
    EXPECT_EQ(standIn.events(),
              (std::vector<std::string>{"start /f|" + folder + "/folder",
                                        "end /f|" + folder + "/folder",
                                        "start /f|" + folder,
                                        "end /f|" + folder}));
}

TEST_F(Keyboard, TheStatusBarSaysWhatTheWindowWaitsFor)
{
    ::unsetenv("ZQV_STANDIN_SLEEP_MS");
    ::setenv("ZQV_STANDIN_GATES", standIn.gates().c_str(), 1);
    show();
    listWidget()->setFocus();
    press(listWidget(), Qt::Key_Down);
    press(listWidget(), Qt::Key_Down); // plain.txt
    QString during;
    QTimer::singleShot(0, [&] {
        ASSERT_TRUE(standIn.waitFor("start", 1));
        during = window().statusBar()->currentMessage();
        standIn.open("plain.txt");
    });
    press(listWidget(), Qt::Key_Delete, Qt::ShiftModifier); // Wipe File
    EXPECT_EQ(during, QStringLiteral("Waiting for the engine to finish: Wipe File \"%1\"").arg(path("plain.txt")));
    EXPECT_TRUE(window().statusBar()->currentMessage().isEmpty());
    EXPECT_EQ(standIn.count("end"), 1);
}

TEST_F(Keyboard, HelpWithoutAnApplicationSaysSo)
{
    documentsOpen = false;
    show();
    press(listWidget(), Qt::Key_F1);
    EXPECT_EQ(opened, QStringList{programFolder + QStringLiteral("/help/index.html")});
    ASSERT_EQ(messages().size(), 1);
    EXPECT_EQ(
        messages().at(0),
        QStringLiteral("No application is available to open the help page %1/help/index.html.").arg(programFolder));
}

TEST_F(Keyboard, TheViewModesAreOneChoiceOfFour)
{
    loaded();
    const char* names[] = {"mnuViewLargeIcons", "mnuViewSmallIcons", "mnuViewList", "mnuViewReport"};
    QActionGroup* group = action(names[0])->actionGroup();
    ASSERT_NE(group, nullptr);
    EXPECT_EQ(group->exclusionPolicy(), QActionGroup::ExclusionPolicy::Exclusive);
    for (const char* name : names)
        EXPECT_EQ(action(name)->actionGroup(), group) << name;
    // Choosing the chosen one again keeps it chosen.
    action("mnuViewList")->trigger();
    action("mnuViewList")->trigger();
    EXPECT_TRUE(action("mnuViewList")->isChecked());
    EXPECT_EQ(group->checkedAction(), action("mnuViewList"));
    EXPECT_EQ(viewMode(), 2);
}

} // namespace

namespace {

TEST_F(Keyboard, ActivatingTheWindowDuringAWaitBringsTheEngineForward)
{
    ::unsetenv("ZQV_STANDIN_SLEEP_MS");
    ::setenv("ZQV_STANDIN_GATES", standIn.gates().c_str(), 1);
    show();
    int brought = 0;
    window().engineDispatch().setBringForward([&brought] { ++brought; });
    QWidget other;
    const auto activate = [](QWidget& target) {
        target.show();
        target.activateWindow();
        return QTest::qWaitForWindowActive(&target);
    };
    ASSERT_TRUE(activate(other));
    ASSERT_TRUE(activate(window()));
    QCoreApplication::processEvents();
    EXPECT_EQ(brought, 0); // no wait, nothing to bring

    listWidget()->setFocus();
    press(listWidget(), Qt::Key_Down);
    press(listWidget(), Qt::Key_Down); // plain.txt
    QTimer::singleShot(0, [&] {
        ASSERT_TRUE(standIn.waitFor("start", 1));
        ASSERT_TRUE(activate(other));
        ASSERT_TRUE(activate(window()));
        // The bringing follows the activation's own handling.
        EXPECT_TRUE(QTest::qWaitFor([&] { return brought > 0; }));
        EXPECT_EQ(brought, 1);
        standIn.open("plain.txt");
    });
    press(listWidget(), Qt::Key_E, Qt::ControlModifier);
    EXPECT_EQ(standIn.count("end"), 1);
}

} // namespace
