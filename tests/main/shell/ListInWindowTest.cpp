// The file list as the main window shows it: header clicks, the selection
// after a fill and the toolbar that follows it, by mouse and keyboard.
#include <QAction>
#include <QApplication>
#include <QHeaderView>
#include <QMenu>
#include <QTest>
#include <QTreeView>

#include <gtest/gtest.h>

#include "ShellContextMenu.h"
#include "WindowFixture.h"

using namespace zqvwindow;

namespace {

class ListInWindow : public testsupport::WindowTest
{
protected:
    frmMain& shown()
    {
        loaded();
        window().resize(900, 620);
        window().show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&window()));
        return window();
    }
    QStringList rows()
    {
        QStringList names;
        for (int row = 0; row < rowCount(); ++row)
            names.append(rowText(row));
        return names;
    }
    void clickHeader(int section)
    {
        QHeaderView* header = window().listView()->header();
        const QPoint at(header->sectionViewportPosition(section) + header->sectionSize(section) / 2,
                        header->height() / 2);
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, at);
    }
    void doubleClickRow(int row)
    {
        QAbstractItemView* view = window().listView()->currentView();
        const QPoint at = view->visualRect(view->model()->index(row, 0)).center();
        QTest::mouseDClick(window().windowHandle(), Qt::LeftButton, {}, view->viewport()->mapTo(&window(), at));
        QApplication::processEvents();
    }
    // The file commands of the toolbar and its menus, on or off.
    std::vector<bool> fileCommands()
    {
        std::vector<bool> on;
        for (const char* name : {"Encrypt", "Decrypt", "MakeExe", "Wipe", "Queue", "mnuAdvancedHash"})
            on.push_back(action(name)->isEnabled());
        return on;
    }
};

TEST_F(ListInWindow, ClickingColumnHeadersSortsWithEachColumnsOwnDirection)
{
    testsupport::writeFile(files.file("plain.txt"), std::string(3000, 'x'));
    testsupport::writeFile(files.file("with blanks.txt"), std::string(9000, 'x'));
    shown();
    const QString byName = QStringLiteral("folder,LOUD.ZQV,plain.txt,secret.zqv,with blanks.txt");
    const QString byNameDown = QStringLiteral("with blanks.txt,secret.zqv,plain.txt,LOUD.ZQV,folder");
    const QString bySize = QStringLiteral("folder,LOUD.ZQV,secret.zqv,plain.txt,with blanks.txt");
    const QString bySizeDown = QStringLiteral("with blanks.txt,plain.txt,secret.zqv,LOUD.ZQV,folder");
    const struct
    {
        int section;
        QString order;
        int arrowColumn;
        Qt::SortOrder arrow;
    } steps[] = {
        {0, byNameDown, 0, Qt::DescendingOrder}, // the start column: the first click turns it round
        {0, byName, 0, Qt::AscendingOrder},
        {0, byNameDown, 0, Qt::DescendingOrder},
        {1, bySize, 1, Qt::AscendingOrder}, // a new column: ascending the first time
        {1, bySizeDown, 1, Qt::DescendingOrder},
        {0, byNameDown, 0, Qt::DescendingOrder}, // back to Name: the direction it had
        {1, bySizeDown, 1, Qt::DescendingOrder}, // and Size keeps its own
    };
    EXPECT_EQ(rows().join(QLatin1Char(',')), byName);
    EXPECT_EQ(arrowOrder(), Qt::AscendingOrder);
    int index = 0;
    for (const auto& step : steps) {
        SCOPED_TRACE(index++);
        clickHeader(step.section);
        EXPECT_EQ(rows().join(QLatin1Char(',')), step.order);
        EXPECT_EQ(window().listView()->header()->arrowColumn(), step.arrowColumn);
        EXPECT_EQ(arrowOrder(), step.arrow);
    }
    // A refill keeps the sort the clicks chose.
    window().RefreshFileView();
    EXPECT_EQ(rows().join(QLatin1Char(',')), bySizeDown);
    EXPECT_EQ(window().listView()->header()->arrowColumn(), 1);
}

TEST_F(ListInWindow, EnteringAFolderByDoubleClickSelectsItsFirstRowAndTheToolbarFollows)
{
    testsupport::writeFile(files.file("folder/zz.zqv"), "x");
    for (int i = 0; i < 8; ++i)
        testsupport::writeFile(files.file("folder/file_000" + std::to_string(i) + ".txt"), "x");
    shown();
    clickHeader(0); // by name, descending: the folder is the last row
    const int folderRow = rowOf(QStringLiteral("folder"));
    ASSERT_EQ(folderRow, 4);
    click("plain.txt");
    ASSERT_TRUE(action("Encrypt")->isEnabled());

    doubleClickRow(folderRow);
    ASSERT_EQ(selectedFolder(), path("folder"));
    ASSERT_EQ(rowCount(), 9);
    EXPECT_EQ(window().fileList()->selectedRow(), 0);
    EXPECT_EQ(window().listView()->selectionModel()->selectedRows().size(), 1);
    // Descending by name: row 0 is the encrypted file, not a file under the pointer.
    EXPECT_EQ(window().fileList()->selectedName(), QStringLiteral("zz.zqv"));
    EXPECT_EQ(fileCommands(), (std::vector<bool>{false, true, false, true, true, true}));
}

TEST_F(ListInWindow, AnEmptyOrVanishedFolderLeavesNoFileCommandOn)
{
    ::mkdir(files.file("folder/empty").c_str(), 0755);
    ::mkdir(files.file("folder/gone").c_str(), 0755);
    shown();
    for (const char* name : {"empty", "gone"}) {
        SCOPED_TRACE(name);
        openFolder(QString::fromStdString(files.path()));
        click("plain.txt");
        ASSERT_TRUE(action("Wipe")->isEnabled());
        if (std::string(name) == "gone")
            ::rmdir(files.file("folder/gone").c_str());
        openFolder(path("folder") + QLatin1Char('/') + QLatin1String(name));
        ASSERT_EQ(rowCount(), 0);
        EXPECT_EQ(fileCommands(), std::vector<bool>(6, false));
        EXPECT_TRUE(action("Advanced")->isEnabled()) << "the text tool needs no file";
    }
}

TEST_F(ListInWindow, TheMenuKeyOpensTheContextMenuOfTheFocusedRow)
{
    shown();
    QStringList menusShown;
    window().contextMenu()->setMenuRunner([&](QMenu& menu, const QPoint&) -> QAction* {
        QStringList names;
        for (QAction* item : menu.actions())
            names.append(item->objectName());
        menusShown.append(names.join(QLatin1Char(',')));
        return nullptr;
    });
    QAbstractItemView* view = window().listView()->currentView();
    view->setFocus();
    QTest::keyClick(view, Qt::Key_End);
    ASSERT_EQ(window().fileList()->selectedName(), QStringLiteral("with blanks.txt"));
    QTest::keyClick(view, Qt::Key_Menu);
    QTest::keyClick(view, Qt::Key_F10, Qt::ShiftModifier);
    QTreeView* tree = window().treeView();
    tree->setFocus();
    QTest::keyClick(tree, Qt::Key_Menu);
    ASSERT_EQ(menusShown.size(), 3);
    for (const QString& names : menusShown)
        EXPECT_TRUE(names.contains(QStringLiteral("mnuProperties"))) << names.toStdString();
    EXPECT_TRUE(menusShown[0].contains(QStringLiteral("mnuEncrypt"))) << "a file's menu";
}

} // namespace
