#include <QAbstractItemModelTester>
#include <QApplication>
#include <QContextMenuEvent>
#include <QHeaderView>
#include <QListView>
#include <QMenu>
#include <QMimeData>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QTreeView>
#include <initializer_list>

#include <unistd.h>

#include "BrowseForFolder.h"
#include "FileList.h"
#include "FileListModel.h"
#include "FileListView.h"
#include "FolderTree.h"
#include "FolderTreeModel.h"
#include "ShellContextMenu.h"
#include "ShellFixture.h"
#include "SortArrowHeader.h"
#include "cLVHeaderSortIcons.h"
#include "mWndProc.h"

using namespace zqvshell;

namespace {

QStringList column(const QAbstractItemModel& model, int col, const QModelIndex& parent = {})
{
    QStringList texts;
    for (int row = 0; row < model.rowCount(parent); ++row) {
        texts.push_back(model.index(row, col, parent).data().toString());
    }
    return texts;
}

// A double click as the window system delivers it (press, release, press,
// double click, release) at a point of the view's viewport, and what it
// leads to once the events are handled.
void doubleClick(QAbstractItemView* view, const QPoint& pos)
{
    QWidget* top = view->window();
    QTest::mouseDClick(top->windowHandle(), Qt::LeftButton, {}, view->viewport()->mapTo(top, pos));
    QApplication::processEvents();
}

// Where a drop of a dragged icon inside the view puts it.
void placeIcon(QListView* view, const QModelIndex& index, const QPoint& topLeft)
{
    struct Placing : QListView
    {
        using QListView::setPositionForIndex;
    };
    static_cast<Placing*>(view)->setPositionForIndex(topLeft, index);
}

QModelIndex childNamed(const QAbstractItemModel& model, const QModelIndex& parent, const QString& name)
{
    for (int row = 0; row < model.rowCount(parent); ++row) {
        if (model.index(row, 0, parent).data().toString() == name) {
            return model.index(row, 0, parent);
        }
    }
    return {};
}

} // namespace

TEST(SizeText, KilobytesRoundedUpWithTheLocalesGrouping)
{
    const QLocale us(QLocale::English, QLocale::UnitedStates);
    const QLocale de(QLocale::German, QLocale::Germany);
    const struct
    {
        qint64 bytes;
        const char* us;
        const char* de;
    } cases[] = {
        {0, "0KB", "0KB"},
        {1, "1KB", "1KB"},
        {1024, "1KB", "1KB"},
        {1025, "2KB", "2KB"},
        {5LL * 1024 * 1024 * 1024, "5,242,880KB", "5.242.880KB"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(FormatSizeText(c.bytes, us), QString::fromLatin1(c.us)) << c.bytes;
        EXPECT_EQ(FormatSizeText(c.bytes, de), QString::fromLatin1(c.de)) << c.bytes;
    }
}

TEST(SizeText, DateAndTimeWithoutSeconds)
{
    const QLocale us(QLocale::English, QLocale::UnitedStates);
    const QDateTime when(QDate(2024, 3, 9), QTime(14, 5, 37));
    const QString text = FileTimeToDisplayString(when.toMSecsSinceEpoch(), us);
    EXPECT_EQ(text,
              us.toString(when.date(), QLocale::ShortFormat) + QStringLiteral(" ") +
                  us.toString(when.time(), QLocale::ShortFormat));
    EXPECT_FALSE(text.contains(QStringLiteral("37")));
    const QString plain = FileTimeToDisplayString(when.toMSecsSinceEpoch(), QLocale::c());
    EXPECT_TRUE(plain.endsWith(QStringLiteral("14:05"))) << plain.toStdString();
}

class Browsing : public ShellFixture
{
protected:
    void SetUp() override
    {
        ShellFixture::SetUp();
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        window.resize(800, 500);
        treeView = new QTreeView(&window);
        treeView->setGeometry(0, 0, 250, 500);
        listView = new FileListView(&window);
        listView->setGeometry(260, 0, 540, 500);
        tree = std::make_unique<FolderTree>(treeView, sources());
        list = std::make_unique<FileList>(listView, sources());
        QObject::connect(tree.get(), &FolderTree::folderSelected, list.get(), &FileList::FillFileView);
        QObject::connect(list.get(), &FileList::folderOpened, tree.get(), [this](const QByteArray& id) {
            tree->selectChild(tree->selectedNode(), id);
        });
        menu.setMessenger(&messenger);
        menu.setOpener([this](const QString& path) {
            opened.push_back(path);
            return true;
        });
        menu.setMenuRunner([this](QMenu& shown, const QPoint&) -> QAction* {
            menus.push_back(&shown);
            shownActions.clear();
            for (QAction* action : shown.actions()) {
                shownActions.push_back(action->objectName());
            }
            return pick.isEmpty() ? nullptr : shown.findChild<QAction*>(pick);
        });
        menu.setDispatch([this](zqvcore::Operation op, const QStringList& paths) {
            dispatched.push_back({op, paths});
        });
        tree->setContextMenu(&menu);
        list->setContextMenu(&menu);
        list->setHeaderIcons(&icons);
        icons.setListView(listView);
        list->setViewMenu(&viewMenu);
        list->setMenuRunner([this](QMenu& shown, const QPoint&) -> QAction* {
            menus.push_back(&shown);
            return nullptr;
        });
        ASSERT_TRUE(tree->install());
        ASSERT_TRUE(list->install());
        window.show();
        modelTester = std::make_unique<QAbstractItemModelTester>(list->model());
    }
    void TearDown() override
    {
        QLocale::setDefault(QLocale::system());
        ShellFixture::TearDown();
    }

    void fill(const ItemIdList& folder) { list->FillFileView(folder, folder.lastItem()); }
    // A new folder of the home holding these files, an "x" in each, listed.
    void fillNew(const char* folder, std::initializer_list<const char*> files)
    {
        mkdirs(folder);
        for (const char* name : files)
            testsupport::writeFile(inHome(std::string(folder) + "/" + name), "x");
        fill(homeList({folder}));
    }
    QStringList names() const { return column(*list->model(), 0); }

    QWidget window;
    QTreeView* treeView = nullptr;
    FileListView* listView = nullptr;
    std::unique_ptr<FolderTree> tree;
    std::unique_ptr<FileList> list;
    ShellContextMenu menu;
    cLVHeaderSortIcons icons{QStringLiteral(SHELL_SOURCE_DIR)};
    QMenu viewMenu;
    RecordingMessenger messenger;
    std::vector<QString> opened;
    std::vector<QMenu*> menus;
    QStringList shownActions;
    QString pick;
    std::vector<std::pair<zqvcore::Operation, QStringList>> dispatched;
    std::unique_ptr<QAbstractItemModelTester> modelTester;
};

TEST_F(Browsing, FillShowsColumnsRowsAndSelectsTheFirstRow)
{
    mkdirs("f");
    mkdirs("f/zfolder");
    testsupport::writeFile(inHome("f/b.txt"), std::string(1025, 'x'));
    testsupport::writeFile(inHome("f/a.txt"), "");
    fill(homeList({"f"}));

    FileListModel& model = *list->model();
    const QStringList captions{
        QStringLiteral("Name"), QStringLiteral("Size"), QStringLiteral("Type"), QStringLiteral("Date Modified")};
    ASSERT_EQ(model.columnCount(), 4);
    for (int c = 0; c < 4; ++c) {
        EXPECT_EQ(model.headerData(c, Qt::Horizontal).toString(), captions[c]);
        EXPECT_GE(listView->detailsView()->columnWidth(c), c == 1 ? 60 : 120) << "the starting widths at least";
    }
    EXPECT_EQ(names(), (QStringList{QStringLiteral("zfolder"), QStringLiteral("a.txt"), QStringLiteral("b.txt")}));
    EXPECT_EQ(column(model, 1), (QStringList{QString(), QStringLiteral("0KB"), QStringLiteral("2KB")}));
    EXPECT_TRUE(model.index(0, 3).data().toString().isEmpty()) << "a folder has no date";
    EXPECT_FALSE(model.index(1, 3).data().toString().isEmpty());
    EXPECT_EQ(model.index(1, 1).data(Qt::TextAlignmentRole).value<Qt::Alignment>() & Qt::AlignRight, Qt::AlignRight);
    EXPECT_EQ(model.tag(2), QString::fromStdString(inHome("f/b.txt")));
    EXPECT_EQ(list->selectedRow(), 0);
    EXPECT_EQ(listView->selectionModel()->currentIndex().row(), 0);
    EXPECT_EQ(listView->header()->arrowColumn(), 0);
    EXPECT_FALSE(model.index(0, 0).data(Qt::DecorationRole).value<QIcon>().isNull());
    // Icons come from the installed theme even without a desktop session.
    EXPECT_TRUE(QIcon::hasThemeIcon(QStringLiteral("folder")));
}

TEST_F(Browsing, EmptyFolderKeepsColumnsAndTheCurrentFolder)
{
    mkdirs("full");
    testsupport::writeFile(inHome("full/x"), "x");
    mkdirs("empty");
    fill(homeList({"full"}));
    const FolderPtr before = list->currentFolder();
    fill(homeList({"empty"}));
    EXPECT_EQ(list->model()->columnCount(), 4);
    EXPECT_EQ(list->model()->rowCount(), 0);
    EXPECT_EQ(list->currentFolder(), before);
}

TEST_F(Browsing, DesktopRootHasNameAndTypeOnly)
{
    fill(ItemIdList());
    FileListModel& model = *list->model();
    ASSERT_EQ(model.columnCount(), 2);
    EXPECT_EQ(model.headerData(1, Qt::Horizontal).toString(), QStringLiteral("Type"));
    EXPECT_EQ(names(), (QStringList{QStringLiteral("Home"), QStringLiteral("File System")}));
    EXPECT_EQ(model.tag(0), QStringLiteral("Home")) << "outside the file system the tag is the name";
}

TEST_F(Browsing, SortingByColumnAndDirectionKeepsTheSelectedItem)
{
    mkdirs("s");
    testsupport::writeFile(inHome("s/small"), "1");
    testsupport::writeFile(inHome("s/big"), std::string(5000, 'x'));
    testsupport::writeFile(inHome("s/mid"), std::string(2000, 'x'));
    fill(homeList({"s"}));
    EXPECT_EQ(names(), (QStringList{QStringLiteral("big"), QStringLiteral("mid"), QStringLiteral("small")}));
    list->setSortKey(1);
    list->sortRows();
    EXPECT_EQ(names(), (QStringList{QStringLiteral("small"), QStringLiteral("mid"), QStringLiteral("big")}));
    EXPECT_EQ(list->selectedName(), QStringLiteral("big")) << "the selection follows its item";
    list->setSortOrder(1);
    list->sortRows();
    EXPECT_EQ(names(), (QStringList{QStringLiteral("big"), QStringLiteral("mid"), QStringLiteral("small")}));
    // A fill uses the current sort.
    fill(homeList({"s"}));
    EXPECT_EQ(names(), (QStringList{QStringLiteral("big"), QStringLiteral("mid"), QStringLiteral("small")}));
}

TEST_F(Browsing, DragOffersTheQueueTextAndExactUris)
{
    fillNew("d", {"caf\xe9", "plain name"});
    FileListModel& model = *list->model();
    const int odd = names().indexOf(QStringLiteral("caf\\xE9"));
    const int plain = names().indexOf(QStringLiteral("plain name"));
    EXPECT_TRUE(model.tag(odd).isEmpty()) << "no tag that names a different file";
    std::unique_ptr<QMimeData> data(model.mimeData({model.index(plain, 0), model.index(odd, 0)}));
    EXPECT_EQ(data->text(), QString::fromStdString(inHome("d/plain name")));
    const QByteArray uris = data->data(QStringLiteral("text/uri-list"));
    EXPECT_TRUE(uris.contains("caf%E9")) << uris.constData();
    EXPECT_TRUE(uris.contains("plain%20name"));
}

TEST_F(Browsing, HeaderArrowAfterLeftCaptionsAndBeforeRightOnes)
{
    fillNew("h", {"x"});
    SortArrowHeader* header = listView->header();
    ASSERT_TRUE(icons.SetHeaderIcons(0, 0));
    EXPECT_GE(header->arrowRect(0).left(), header->captionRect(0).right());
    EXPECT_EQ(header->arrow().toImage(), icons.ascending().toImage());
    ASSERT_TRUE(icons.SetHeaderIcons(1, 1));
    EXPECT_TRUE(header->arrowRect(0).isEmpty());
    EXPECT_LE(header->arrowRect(1).right(), header->captionRect(1).left());
    EXPECT_EQ(header->arrow().toImage(), icons.descending().toImage());
}

TEST_F(Browsing, HeaderArrowsRefuseWhatTheyCannotShow)
{
    fill(homeList());
    EXPECT_FALSE(cLVHeaderSortIcons(QStringLiteral(SHELL_SOURCE_DIR)).SetHeaderIcons(0, 0)) << "no list bound";
    listView->setViewMode(FileListView::ViewMode::List);
    listView->header()->clearArrow();
    EXPECT_FALSE(icons.SetHeaderIcons(0, 1)) << "not in details";
    EXPECT_EQ(listView->header()->arrowColumn(), -1);
    listView->setViewMode(FileListView::ViewMode::Details);
    EXPECT_TRUE(icons.SetHeaderIcons(0, 1));

    testsupport::TempDir nowhere;
    ::testing::internal::CaptureStderr();
    cLVHeaderSortIcons missing(QString::fromStdString(nowhere.path()));
    const std::string said = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(said.find("sortascending.ico"), std::string::npos);
    missing.setListView(listView);
    EXPECT_FALSE(missing.SetHeaderIcons(0, 0));

    list->ClearFileView();
    EXPECT_TRUE(icons.SetHeaderIcons(0, 0)) << "no columns: nothing to do, and that is fine";
}

TEST_F(Browsing, ViewModesShareOneModelAndSelection)
{
    fillNew("v", {"a", "b"});
    listView->selectionModel()->setCurrentIndex(list->model()->index(1, 0),
                                                QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    for (const int mode : {0, 1, 2, 3}) {
        ASSERT_TRUE(listView->setViewMode(mode));
        EXPECT_EQ(listView->currentView()->model(), list->model());
        EXPECT_EQ(listView->currentView()->selectionModel(), listView->selectionModel());
        EXPECT_EQ(listView->currentWidget(), listView->currentView());
        EXPECT_EQ(list->selectedName(), QStringLiteral("b"));
    }
    EXPECT_EQ(listView->currentView(), listView->detailsView());
    EXPECT_FALSE(listView->setViewMode(4));
    EXPECT_EQ(listView->viewMode(), FileListView::ViewMode::Details);
}

TEST_F(Browsing, DesktopRootSelectedExpandedAndFillsTheList)
{
    ::mkdir((desktop() + "/OnDesktop").c_str(), 0755);
    const QModelIndex root = tree->SetTreeRoot(ItemIdList());
    ASSERT_TRUE(root.isValid());
    EXPECT_EQ(tree->model()->rowCount(), 1);
    EXPECT_EQ(root.data().toString(), QStringLiteral("Desktop"));
    EXPECT_EQ(tree->selectedNode(), root);
    EXPECT_TRUE(treeView->isExpanded(root));
    EXPECT_EQ(column(*tree->model(), 0, root),
              (QStringList{QStringLiteral("OnDesktop"), QStringLiteral("Home"), QStringLiteral("File System")}));
    EXPECT_EQ(names(),
              (QStringList{QStringLiteral("OnDesktop"), QStringLiteral("Home"), QStringLiteral("File System")}));
}

TEST_F(Browsing, TreeLevelsHoldFoldersInNameOrderAndLoseButtonsWhenEmpty)
{
    mkdirs("t");
    for (const char* name : {"t/b10", "t/B2", "t/.dot", "t/gone", "t/gone/x"}) {
        mkdirs(name);
    }
    testsupport::writeFile(inHome("t/file"), "x");
    const QModelIndex node = tree->SetTreeRoot(homeList({"t"}));
    ASSERT_TRUE(node.isValid());
    QApplication::processEvents();
    EXPECT_EQ(
        column(*tree->model(), 0, node),
        (QStringList{QStringLiteral(".dot"), QStringLiteral("B2"), QStringLiteral("b10"), QStringLiteral("gone")}));
    const QModelIndex gone = childNamed(*tree->model(), node, QStringLiteral("gone"));
    ASSERT_TRUE(tree->model()->hasChildren(gone));
    ::rmdir(inHome("t/gone/x").c_str());
    treeView->expand(gone);
    QApplication::processEvents();
    EXPECT_FALSE(tree->model()->hasChildren(gone)) << "the first expansion that finds nothing removes the button";
    EXPECT_FALSE(tree->FillTreeChildren(gone));

    // Pruning drops the children of collapsed nodes only; their buttons stay.
    const QModelIndex b2 = childNamed(*tree->model(), node, QStringLiteral("B2"));
    mkdirs("t/B2/inner");
    ASSERT_TRUE(tree->FillTreeChildren(b2));
    EXPECT_EQ(tree->model()->rowCount(b2), 1);
    tree->PruneCollapsedNodes();
    EXPECT_EQ(tree->model()->rowCount(b2), 0);
    EXPECT_TRUE(tree->model()->hasChildren(b2));
    EXPECT_EQ(tree->model()->rowCount(node), 4) << "the expanded root keeps its children";
    QAbstractItemModelTester tester(tree->model());
}

TEST_F(Browsing, ASymbolicLinkLoopExpandsOneLevelAtATime)
{
    mkdirs("l");
    ASSERT_EQ(::symlink(".", inHome("l/again").c_str()), 0);
    const QModelIndex node = tree->SetTreeRoot(homeList({"l"}));
    QModelIndex level = node;
    for (int depth = 0; depth < 5; ++depth) {
        level = childNamed(*tree->model(), level, QStringLiteral("again"));
        ASSERT_TRUE(level.isValid()) << depth;
        tree->FillTreeChildren(level);
    }
    EXPECT_EQ(tree->GetTreeItemData(level)->pidlFQ().count(), 7);
}

TEST_F(Browsing, RightClickOnTreeNodesButNotOnTheDesktop)
{
    const QModelIndex root = tree->SetTreeRoot(ItemIdList());
    EXPECT_FALSE(tree->TreeViewNotify({NotifyCode::RClick, treeView, root, {}}));
    EXPECT_TRUE(menus.empty());
    const QModelIndex homeNode = childNamed(*tree->model(), root, QStringLiteral("Home"));
    EXPECT_TRUE(tree->TreeViewNotify({NotifyCode::RClick, treeView, homeNode, {}})) << "dismissed: consumed";
    ASSERT_EQ(menus.size(), 1U);
    EXPECT_TRUE(shownActions.contains(QStringLiteral("mnuProperties")));
}

TEST_F(Browsing, ListRightClickOffersRowsUnderThePointerFirst)
{
    fillNew("r", {"a", "b", "c"});
    QItemSelectionModel* selection = listView->selectionModel();
    selection->select(list->model()->index(0, 0), QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    selection->select(list->model()->index(1, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    pick = QStringLiteral("mnuWipe");
    EXPECT_FALSE(list->ListViewNotify({NotifyCode::RClick, listView->currentView(), list->model()->index(2, 0), {}}));
    ASSERT_EQ(dispatched.size(), 1U);
    EXPECT_EQ(dispatched[0].first, zqvcore::Operation::Wipe);
    const QStringList expected{QString::fromStdString(inHome("r/c")),
                               QString::fromStdString(inHome("r/a")),
                               QString::fromStdString(inHome("r/b"))};
    EXPECT_EQ(dispatched[0].second, expected);

    menus.clear();
    EXPECT_TRUE(list->ListViewNotify({NotifyCode::RClick, listView->currentView(), QModelIndex(), {}}));
    ASSERT_EQ(menus.size(), 1U);
    EXPECT_EQ(menus[0], &viewMenu) << "empty space shows the View menu";
}

TEST_F(Browsing, DoubleClickOpensFilesAndEntersFolders)
{
    mkdirs("o");
    mkdirs("o/inner");
    testsupport::writeFile(inHome("o/doc.txt"), "x");
    tree->SetTreeRoot(homeList({"o"}));
    ASSERT_EQ(names(), (QStringList{QStringLiteral("inner"), QStringLiteral("doc.txt")}));

    QAbstractItemView* view = listView->currentView();
    doubleClick(view, view->visualRect(list->model()->index(1, 0)).center());
    ASSERT_EQ(opened.size(), 1U);
    EXPECT_EQ(opened[0], QString::fromStdString(inHome("o/doc.txt")));

    view->setFocus();
    listView->selectionModel()->setCurrentIndex(list->model()->index(0, 0),
                                                QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    QTest::keyClick(view, Qt::Key_Return);
    EXPECT_EQ(tree->selectedNode().data().toString(), QStringLiteral("inner"));
    EXPECT_EQ(tree->GetTreeItemData(tree->selectedNode())->pidlFQ(), homeList({"o", "inner"}));
    EXPECT_EQ(list->model()->rowCount(), 0);
}

TEST_F(Browsing, RoutingIsInstalledOnceAndRemovedWithTheView)
{
    EXPECT_TRUE(tree->install()) << "a second install succeeds";
    int calls = 0;
    auto* extra = new QTreeView;
    extra->setModel(tree->model());
    ASSERT_TRUE(SubclassWindow(extra, [&calls](const ViewNotification& notification) {
        calls += notification.code == NotifyCode::DblClick ? 1 : 0;
        return false;
    }));
    ASSERT_TRUE(SubclassWindow(extra, [&calls](const ViewNotification& notification) {
        calls += notification.code == NotifyCode::DblClick ? 100 : 0;
        return false;
    }));
    tree->SetTreeRoot(ItemIdList());
    extra->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(extra));
    doubleClick(extra, QPoint(5, 5));
    EXPECT_EQ(calls, 1) << "one route, the first";
    EXPECT_TRUE(UnsubclassWindow(extra));
    EXPECT_FALSE(UnsubclassWindow(extra));
    ASSERT_TRUE(SubclassWindow(extra, {}));
    delete extra;
    EXPECT_FALSE(IsSubclassed(extra));
}

TEST_F(Browsing, FolderPickerPreselectsAndCancelGivesNothing)
{
    mkdirs("p");
    mkdirs("p/q");
    FolderPickerDialog picker(&window, QStringLiteral("Select the TreeView root folder"), sources());
    EXPECT_EQ(picker.windowTitle(), QStringLiteral("Select the TreeView root folder"));
    ASSERT_TRUE(picker.selectFolder(homeList({"p", "q"})));
    EXPECT_EQ(picker.chosen(), homeList({"p", "q"}));
    EXPECT_FALSE(picker.selectFolder(homeList({"p", "missing"})));

    QTimer::singleShot(0, [] {
        if (QWidget* modal = QApplication::activeModalWidget()) {
            static_cast<QDialog*>(modal)->reject();
        }
    });
    EXPECT_FALSE(BrowseForFolder(&window, QStringLiteral("t"), 0, {}, homeList({"p"}), sources()).has_value());
    QTimer::singleShot(0, [] {
        if (QWidget* modal = QApplication::activeModalWidget()) {
            static_cast<QDialog*>(modal)->accept();
        }
    });
    EXPECT_EQ(BrowseForFolder(&window, QStringLiteral("t"), 0, {}, homeList({"p"}), sources()), homeList({"p"}));
}

TEST_F(Browsing, HeaderSectionsAnswerClicks)
{
    fillNew("c", {"x"});
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    SortArrowHeader* header = listView->header();
    ASSERT_TRUE(header->isVisible());
    QSignalSpy clicks(header, &QHeaderView::sectionClicked);
    for (const int section : {2, 1, 3, 0}) {
        const QPoint at(header->sectionViewportPosition(section) + header->sectionSize(section) / 2,
                        header->height() / 2);
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, at);
    }
    ASSERT_EQ(clicks.size(), 4);
    EXPECT_EQ(clicks[0][0].toInt(), 2);
    EXPECT_EQ(clicks[3][0].toInt(), 0);
    EXPECT_TRUE(header->sectionsClickable()) << "still clickable after a fill";
}

TEST_F(Browsing, DoubleClickOnAFolderLeavesTheFirstRowOfTheNewListSelected)
{
    mkdirs("dc");
    for (int i = 0; i < 12; ++i) {
        testsupport::writeFile(inHome("dc/file_" + std::to_string(10 + i) + ".txt"), "x");
    }
    mkdirs("dc/zz inner");
    // More rows than the outer list, so a row lies under the pointer after the fill.
    for (int i = 0; i < 20; ++i) {
        testsupport::writeFile(inHome("dc/zz inner/inner_" + std::to_string(10 + i) + ".txt"), "x");
    }
    tree->SetTreeRoot(homeList({"dc"}));
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    ASSERT_EQ(names().first(), QStringLiteral("zz inner"));
    // Move the folder under rows that the inner list also fills: sort by size
    // descending puts it last.
    list->setSortKey(1);
    list->setSortOrder(1);
    list->sortRows();
    const int folderRow = static_cast<int>(names().indexOf(QStringLiteral("zz inner")));
    ASSERT_GE(folderRow, 5);
    QAbstractItemView* view = listView->currentView();
    doubleClick(view, view->visualRect(list->model()->index(folderRow, 0)).center());
    ASSERT_EQ(tree->selectedNode().data().toString(), QStringLiteral("zz inner"));
    ASSERT_EQ(list->model()->rowCount(), 20);
    EXPECT_EQ(list->selectedRow(), 0);
    EXPECT_EQ(listView->selectionModel()->selectedRows().size(), 1);
    EXPECT_EQ(listView->selectionModel()->currentIndex().row(), 0);
    EXPECT_TRUE(opened.empty());
}

TEST_F(Browsing, NamesTakeTheFreeWidthAndNoSizeIsCut)
{
    mkdirs("w");
    const std::string big = inHome("w/caf\xc3\xa9 r\xc3\xa9sum\xc3\xa9 of the year.txt");
    testsupport::writeFile(big, "");
    ASSERT_EQ(::truncate(big.c_str(), 5LL * 1024 * 1024 * 1024), 0);
    testsupport::writeFile(inHome("w/b.txt"), "x");
    window.resize(1000, 500);
    listView->setGeometry(260, 0, 740, 500);
    fill(homeList({"w"}));
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    QTreeView* details = listView->detailsView();
    const QFontMetrics metrics = details->fontMetrics();
    const auto fits = [&](int row, int col) {
        const QString text = list->model()->index(row, col).data().toString();
        return metrics.horizontalAdvance(text) < details->visualRect(list->model()->index(row, col)).width();
    };
    const int bigRow =
        static_cast<int>(names().indexOf(QString::fromUtf8("caf\xc3\xa9 r\xc3\xa9sum\xc3\xa9 of the year.txt")));
    ASSERT_GE(bigRow, 0);
    EXPECT_EQ(list->model()->index(bigRow, 1).data().toString(), QStringLiteral("5,242,880KB"));
    EXPECT_TRUE(fits(bigRow, 1)) << "the size is shown whole";
    EXPECT_TRUE(fits(bigRow, 2)) << "the type is shown whole";
    EXPECT_TRUE(fits(bigRow, 3)) << "the date is shown whole";
    EXPECT_TRUE(fits(bigRow, 0)) << "the name takes the free width";
    int total = 0;
    for (int c = 0; c < 4; ++c) {
        total += details->columnWidth(c);
    }
    EXPECT_EQ(total, details->viewport()->width()) << "no gap right of the last column";

    // A wider window gives the name more; a narrow one never less than its start.
    const int before = details->columnWidth(0);
    listView->setGeometry(260, 0, 900, 500);
    QApplication::processEvents();
    EXPECT_EQ(details->columnWidth(0), before + 160);
    listView->setGeometry(260, 0, 200, 500);
    QApplication::processEvents();
    EXPECT_EQ(details->columnWidth(0), 120);

    // Once sized by hand the name column keeps the user's width.
    listView->setGeometry(260, 0, 740, 500);
    details->header()->resizeSection(0, 150);
    listView->setGeometry(260, 0, 900, 500);
    QApplication::processEvents();
    EXPECT_EQ(details->columnWidth(0), 150);
}

TEST_F(Browsing, LargeIconLabelsTakeTwoLines)
{
    fillNew("i", {"caf\xc3\xa9 r\xc3\xa9sum\xc3\xa9.txt", "caf\xc3\xa9 r\xc3\xa9sum\xc3\xa9.txt.zqv"});
    listView->setViewMode(FileListView::ViewMode::LargeIcons);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    QListView* icons = listView->iconView();
    EXPECT_TRUE(icons->wordWrap());
    const QRect cell = icons->visualRect(list->model()->index(0, 0));
    const QFontMetrics metrics = icons->fontMetrics();
    EXPECT_GE(cell.height(), icons->iconSize().height() + 2 * metrics.lineSpacing()) << "room for two lines";
    // Each word of both names fits on a line of its own: the two names no
    // longer end the same way after the first word.
    for (const char* word : {"caf\xc3\xa9", "r\xc3\xa9sum\xc3\xa9.txt", "r\xc3\xa9sum\xc3\xa9.txt.zqv"}) {
        EXPECT_LT(metrics.horizontalAdvance(QString::fromUtf8(word)), cell.width() - 4) << word;
    }
}

TEST_F(Browsing, AutoArrangeKeepsIconsInTheGridAndOffLetsThemMove)
{
    fillNew("aa", {"a", "b", "c"});
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    for (const auto mode : {FileListView::ViewMode::LargeIcons, FileListView::ViewMode::SmallIcons}) {
        SCOPED_TRACE(static_cast<int>(mode));
        listView->setViewMode(mode);
        listView->setAutoArrange(false);
        QListView* icons = listView->iconView();
        const QModelIndex first = list->model()->index(0, 0);
        const QRect inGrid = icons->visualRect(first);
        EXPECT_EQ(icons->movement(), QListView::Free);
        // What a drop inside the view does with the dragged icon.
        const QPoint dropped = inGrid.topLeft() + QPoint(0, 3 * inGrid.height());
        placeIcon(icons, first, dropped);
        EXPECT_EQ(icons->visualRect(first).topLeft(), dropped) << "off: an icon stays where it is dropped";
        const QModelIndex third = list->model()->index(2, 0);
        const QRect thirdBefore = icons->visualRect(third);
        listView->setGeometry(260, 0, inGrid.width() + 40, 500);
        QApplication::processEvents();
        EXPECT_EQ(icons->visualRect(third), thirdBefore) << "off: a narrower view leaves the icons in place";

        listView->setAutoArrange(true);
        QApplication::processEvents();
        EXPECT_EQ(icons->movement(), QListView::Static);
        EXPECT_EQ(icons->visualRect(first).topLeft(), inGrid.topLeft()) << "on: back in the grid";
        EXPECT_NE(icons->visualRect(third).top(), thirdBefore.top()) << "on: the icons flow into the narrow view";
        placeIcon(icons, first, dropped);
        EXPECT_EQ(icons->visualRect(first).topLeft(), inGrid.topLeft()) << "on: icons cannot leave the grid";
        EXPECT_TRUE(icons->dragEnabled()) << "items can still be dragged to the queue";
        listView->setGeometry(260, 0, 540, 500);
        listView->setAutoArrange(false);
    }
}

// The menu key and Shift+F10 with the keyboard only: the focused row's menu
// in the list, the focused node's in the tree, the View menu over an empty list.
class KeyboardMenus : public Browsing, public ::testing::WithParamInterface<QKeyCombination>
{
};

TEST_P(KeyboardMenus, OpenTheMenuOfTheFocusedItem)
{
    const QKeyCombination key = GetParam();
    mkdirs("k");
    mkdirs("k/sub");
    testsupport::writeFile(inHome("k/a.txt"), "x");
    testsupport::writeFile(inHome("k/b.txt"), "x");
    const QModelIndex root = tree->SetTreeRoot(homeList({"k"}));
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));

    QAbstractItemView* view = listView->currentView();
    view->setFocus();
    QTest::keyClick(view, Qt::Key_Down); // row 1: a.txt
    ASSERT_EQ(list->selectedName(), QStringLiteral("a.txt"));
    pick = QStringLiteral("mnuWipe");
    QTest::keyClick(view, key.key(), key.keyboardModifiers());
    ASSERT_EQ(dispatched.size(), 1U);
    EXPECT_EQ(dispatched[0].second, QStringList{QString::fromStdString(inHome("k/a.txt"))});
    pick.clear();

    menus.clear();
    treeView->setFocus();
    QTest::keyClick(treeView, Qt::Key_Down); // the root's first child: sub
    ASSERT_EQ(tree->selectedNode().data().toString(), QStringLiteral("sub"));
    QTest::keyClick(treeView, key.key(), key.keyboardModifiers());
    ASSERT_EQ(menus.size(), 1U);
    EXPECT_TRUE(shownActions.contains(QStringLiteral("mnuProperties")));

    // The folder is empty: the list's menu is the View menu.
    menus.clear();
    ASSERT_EQ(list->model()->rowCount(), 0);
    view->setFocus();
    QTest::keyClick(view, key.key(), key.keyboardModifiers());
    ASSERT_EQ(menus.size(), 1U);
    EXPECT_EQ(menus[0], &viewMenu);

    // Shift alone or Ctrl+F10 are not the menu key.
    menus.clear();
    QTest::keyClick(view, Qt::Key_F10);
    QTest::keyClick(view, Qt::Key_F10, Qt::ControlModifier);
    EXPECT_TRUE(menus.empty());
    (void)root;
}

INSTANTIATE_TEST_SUITE_P(Keys,
                         KeyboardMenus,
                         ::testing::Values(QKeyCombination(Qt::Key_Menu),
                                           QKeyCombination(Qt::ShiftModifier, Qt::Key_F10)));

TEST_F(Browsing, ThePlatformsMenuKeyEventOpensOneMenu)
{
    fillNew("pk", {"a.txt"});
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    QAbstractItemView* view = listView->currentView();
    view->setFocus();
    // What X11 sends for the menu key: a keyboard context-menu event to the
    // focused widget, with the mouse pointer's place, which is anywhere.
    QContextMenuEvent event(QContextMenuEvent::Keyboard, QPoint(-50, -50), view->mapToGlobal(QPoint(-50, -50)));
    QApplication::sendEvent(view, &event);
    ASSERT_EQ(menus.size(), 1U);
    EXPECT_NE(menus[0], &viewMenu) << "the row's menu, not the empty space's";
    EXPECT_TRUE(shownActions.contains(QStringLiteral("mnuOpen")));
}

// Natural order whatever the locale, the C locale of minimal systems included:
// case does not count, numbers go by value, and names that compare equal
// still get one fixed place.
class NaturalOrder : public Browsing, public ::testing::WithParamInterface<const char*>
{
};

TEST_P(NaturalOrder, NamesSortWithoutCaseAndNumbersByValue)
{
    QLocale::setDefault(QLocale(QString::fromLatin1(GetParam())));
    fillNew("n", {"sub 10", "Sub 3", "sub 1", "sub 2", "Banana", "apple", "zeta", "A", "a", "file20", "file3"});
    const QStringList expected{QStringLiteral("A"),
                               QStringLiteral("a"),
                               QStringLiteral("apple"),
                               QStringLiteral("Banana"),
                               QStringLiteral("file3"),
                               QStringLiteral("file20"),
                               QStringLiteral("sub 1"),
                               QStringLiteral("sub 2"),
                               QStringLiteral("Sub 3"),
                               QStringLiteral("sub 10"),
                               QStringLiteral("zeta")};
    EXPECT_EQ(names(), expected);
    // Descending is the exact reverse: the order is total.
    list->setSortOrder(1);
    list->sortRows();
    QStringList reversed = expected;
    std::reverse(reversed.begin(), reversed.end());
    EXPECT_EQ(names(), reversed);
}

INSTANTIATE_TEST_SUITE_P(Locales, NaturalOrder, ::testing::Values("C", "en_US", "de_DE", "sv_SE", "fr_FR"));
