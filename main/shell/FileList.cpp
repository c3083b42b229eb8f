#include "FileList.h"

#include <QAbstractItemView>
#include <QItemSelectionModel>
#include <QMenu>

#include "FileListModel.h"
#include "FileListView.h"
#include "ShellContextMenu.h"
#include "ShellNamespace.h"
#include "WorkRunner.h"
#include "cLVHeaderSortIcons.h"

namespace zqvshell {

FileList::FileList(FileListView* view, DesktopSources sources, QObject* parent)
    : ShellPane(view, std::move(sources), parent)
    , m_view(view)
    , m_model(new FileListModel(this))
    , m_runner([](QMenu& menu, const QPoint& pos) { return menu.exec(pos); })
{
    m_view->setModel(m_model);
}

// The route ends before the rest of the pane, which its handler uses.
FileList::~FileList()
{
    uninstall();
}

void FileList::setViewMenu(QMenu* menu)
{
    m_viewMenu = menu;
}

QAction* FileList::runMenu(QMenu& menu, const QPoint& screenPos)
{
    return m_runner(menu, screenPos);
}

void FileList::sortRows()
{
    m_model->sort(m_sortKey, m_sortOrder != 0 ? Qt::DescendingOrder : Qt::AscendingOrder);
}

void FileList::ClearFileView()
{
    m_model->clear();
}

void FileList::FillFileView(const ItemIdList& pidlFQ, const ItemIdList& /*pidlRel*/)
{
    const zqvgui::BusyCursor busy;
    const FolderPtr folder = GetFolderFromPIDL(sources(), pidlFQ);
    ClearFileView();
    m_model->setColumns(folder->isFileSystem());
    const quint64 generation = ++m_generation;
    const quint32 parameter =
        FileListModel::sortParameter(m_sortKey, m_sortOrder != 0 ? Qt::DescendingOrder : Qt::AscendingOrder);
    std::vector<ShellItem> items;
    const QPointer<FileList> self(this);
    // Read and sort off the interface thread: a folder of 100,000 files must
    // not freeze the window.
    zqvgui::WorkRunner runner;
    runner.run([&items, folder, parameter] {
        items = folder->enumerate(EnumFlag::Folders | EnumFlag::NonFolders | EnumFlag::IncludeHidden);
        FileListModel::sortItems(*folder, items, parameter);
    });
    // Gone, or overtaken by a newer fill while this one was reading.
    if (self == nullptr || generation != m_generation) {
        return;
    }
    if (items.empty()) {
        // Nothing is selected now: whoever follows the selection hears it.
        emit filled();
        return;
    }
    m_current = folder;
    m_model->setItems(folder, std::move(items));
    if (m_headerIcons != nullptr) {
        m_headerIcons->SetHeaderIcons(m_sortKey, m_sortOrder);
    }
    const QModelIndex first = m_model->index(0, 0);
    m_view->selectionModel()->setCurrentIndex(first, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    m_view->currentView()->scrollTo(first, QAbstractItemView::EnsureVisible);
    emit filled();
}

int FileList::selectedRow() const
{
    const QItemSelectionModel* selection = m_view->selectionModel();
    if (selection == nullptr) {
        return -1;
    }
    const QModelIndex current = selection->currentIndex();
    if (current.isValid() && selection->isRowSelected(current.row(), {})) {
        return current.row();
    }
    const QModelIndexList rows = selection->selectedRows();
    if (rows.isEmpty()) {
        return -1;
    }
    return std::min_element(
               rows.begin(), rows.end(), [](const QModelIndex& a, const QModelIndex& b) { return a.row() < b.row(); })
        ->row();
}

QString FileList::selectedTag() const
{
    return m_model->tag(selectedRow());
}

QString FileList::selectedName() const
{
    const int row = selectedRow();
    return row < 0 ? QString() : m_model->item(row).displayName;
}

void FileList::activate(int row)
{
    if (row < 0 || row >= m_model->rowCount() || !m_model->folder()) {
        return;
    }
    const ShellItem& item = m_model->item(row);
    if (item.folder) {
        emit folderOpened(item.id);
        return;
    }
    if (ShellContextMenu* menu = contextMenu()) {
        const ShellItem copy = item;
        menu->openItem(m_view, *m_model->folder(), copy);
    }
}

bool FileList::ListViewNotify(const ViewNotification& notification)
{
    switch (notification.code) {
    case NotifyCode::RClick: {
        QAbstractItemView* view = notification.view != nullptr ? notification.view : m_view->currentView();
        const QPoint screen = view->viewport()->mapToGlobal(notification.pos);
        if (!notification.index.isValid()) {
            if (m_viewMenu != nullptr) {
                runMenu(*m_viewMenu, screen);
            }
            return true;
        }
        ShellContextMenu* menu = contextMenu();
        if (menu == nullptr || !m_model->folder()) {
            return false;
        }
        // The row under the pointer first, then the other selected rows.
        const int clicked = notification.index.row();
        std::vector<ShellItem> items{m_model->item(clicked)};
        QModelIndexList selected = m_view->selectionModel()->selectedRows();
        std::sort(selected.begin(), selected.end(), [](const QModelIndex& a, const QModelIndex& b) {
            return a.row() < b.row();
        });
        for (const QModelIndex& index : std::as_const(selected)) {
            if (index.row() != clicked) {
                items.push_back(m_model->item(index.row()));
            }
        }
        return !menu->ShowShellContextMenu(view, m_model->folder(), items, screen);
    }
    case NotifyCode::DblClick:
    case NotifyCode::Return:
        activate(notification.index.isValid() ? notification.index.row() : -1);
        return false;
    default:
        return false;
    }
}

} // namespace zqvshell
