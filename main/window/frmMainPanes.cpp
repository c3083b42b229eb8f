#include <QAbstractItemView>
#include <QAction>
#include <QActionGroup>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QTreeView>

#include "FileList.h"
#include "FileListView.h"
#include "FolderTree.h"
#include "MainMenus.h"
#include "ShellContextMenu.h"
#include "SortArrowHeader.h"
#include "WorkRunner.h"
#include "cLVHeaderSortIcons.h"
#include "frmMain.h"

// The main window's dealings with its two panes: joining them, and its
// commands over them (view modes, arrangement, sorting, refresh, the root).
namespace zqvwindow {

void frmMain::joinPanes()
{
    m_contextMenu->setDispatch(
        [this](zqvcore::Operation operation, const QStringList& paths) { Dispatch(operation, paths); });
    m_contextMenu->setMessenger(&m_messenger);
    connect(m_contextMenu, &zqvshell::ShellContextMenu::itemsChanged, this, &frmMain::RefreshFileView);
    // The panes know nothing of each other: the window joins them.
    connect(m_tree, &zqvshell::FolderTree::folderSelected, m_list, &zqvshell::FileList::FillFileView);
    connect(m_list, &zqvshell::FileList::folderOpened, m_tree, [this](const QByteArray& id) {
        m_tree->selectChild(m_tree->selectedNode(), id);
    });
    m_tree->setContextMenu(m_contextMenu);
    m_tree->install();
    m_list->setContextMenu(m_contextMenu);
    m_list->setHeaderIcons(&HdrIcons());
    m_list->setViewMenu(m_menus->viewMenu());
    m_list->install();
    const auto followSelection = [this] {
        // With no row selected (an empty or unreadable folder) no file command applies.
        if (m_list->selectedRow() < 0)
            m_menus->applyEnabling(QString(), zqvcore::ItemKind::Other);
        else
            ListItemClick(m_list->selectedRow());
    };
    connect(m_listView->selectionModel(), &QItemSelectionModel::selectionChanged, this, followSelection);
    connect(m_listView->selectionModel(), &QItemSelectionModel::currentChanged, this, followSelection);
    connect(m_list, &zqvshell::FileList::filled, this, followSelection);
    connect(m_listView->header(), &QHeaderView::sectionClicked, this, &frmMain::ColumnClick);
}

zqvshell::cLVHeaderSortIcons& frmMain::HdrIcons()
{
    if (!m_headerIcons) {
        m_headerIcons = std::make_unique<zqvshell::cLVHeaderSortIcons>();
        m_headerIcons->setListView(m_listView);
    }
    return *m_headerIcons;
}

void frmMain::RefreshFileView()
{
    const zqvgui::BusyCursor busy;
    m_tree->PruneCollapsedNodes();
    const zqvshell::cTVItemData* data = m_tree->GetTreeItemData(m_tree->selectedNode());
    if (data == nullptr)
        return;
    m_list->FillFileView(data->pidlFQ(), data->pidlRel());
}

void frmMain::SetView(int mode)
{
    m_listView->setViewMode(mode);
    m_listView->setAutoArrange(findChild<QAction*>(QStringLiteral("mnuViewArrangeAuto"))->isChecked());
    const QList<QAction*> modes = m_menus->viewModes()->actions();
    if (mode >= 0 && mode < modes.size()) {
        modes.at(mode)->setChecked(true);
    } else if (QAction* checked = m_menus->viewModes()->checkedAction()) {
        // A mode the list does not know leaves none of the four chosen.
        m_menus->viewModes()->setExclusive(false);
        checked->setChecked(false);
        m_menus->viewModes()->setExclusive(true);
    }
    writeSetting("View", "Type", QString::number(mode));
}

void frmMain::ViewMenuOpening()
{
    const int mode = static_cast<int>(m_listView->viewMode());
    findChild<QAction*>(QStringLiteral("mnuViewArrangeAuto"))->setEnabled(mode == 0 || mode == 1);
}

void frmMain::ArrangeAscending()
{
    findChild<QAction*>(QStringLiteral("mnuViewArrangeAZ"))->setChecked(true);
    findChild<QAction*>(QStringLiteral("mnuViewArrangeZA"))->setChecked(false);
    m_sort.setSortOrder(0);
    ApplySort();
}

void frmMain::ArrangeDescending()
{
    findChild<QAction*>(QStringLiteral("mnuViewArrangeAZ"))->setChecked(false);
    findChild<QAction*>(QStringLiteral("mnuViewArrangeZA"))->setChecked(true);
    m_sort.setSortOrder(1);
    ApplySort();
}

void frmMain::ToggleAutoArrange()
{
    // The action has toggled its own check already.
    m_listView->setAutoArrange(findChild<QAction*>(QStringLiteral("mnuViewArrangeAuto"))->isChecked());
}

void frmMain::ColumnClick(int column)
{
    m_sort.headerClicked(column);
    ApplySort();
}

void frmMain::ApplySort()
{
    m_list->setSortKey(m_sort.sortColumn());
    m_list->setSortOrder(m_sort.sortOrder());
    (void)HdrIcons().SetHeaderIcons(m_sort.sortColumn(), m_sort.sortOrder());
    m_list->sortRows();
}

void frmMain::ChangeRoot()
{
    if (!m_tools.browseForFolder)
        return;
    const zqvshell::cTVItemData* root = m_tree->GetTreeItemData(m_tree->rootNode());
    const std::optional<zqvshell::ItemIdList> picked =
        m_tools.browseForFolder(this,
                                QStringLiteral("Select the TreeView root folder"),
                                root ? root->pidlFQ() : zqvshell::ItemIdList(),
                                m_desktop);
    if (!picked)
        return;
    const zqvgui::BusyCursor busy;
    m_tree->SetTreeRoot(*picked);
}

} // namespace zqvwindow
