#include "FileListView.h"

#include <QHeaderView>
#include <QItemSelectionModel>
#include <QListView>
#include <QStyledItemDelegate>
#include <QTreeView>

#include "FileListModel.h"
#include "SortArrowHeader.h"

namespace zqvshell {

namespace {

// Every item of the icon view takes the same cell: with uniform sizes the view
// would otherwise size all items like the first one (and cut longer names),
// and measuring each of 100,000 names would slow every layout.
class CellDelegate : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void setCell(QSize cell) { m_cell = cell; }
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        return m_cell.isValid() ? m_cell : QStyledItemDelegate::sizeHint(option, index);
    }

private:
    QSize m_cell;
};

void setCommonBehaviour(QAbstractItemView* view)
{
    view->setSelectionMode(QAbstractItemView::ExtendedSelection);
    view->setSelectionBehavior(QAbstractItemView::SelectRows);
    view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view->setDragEnabled(true);
    view->setDragDropMode(QAbstractItemView::DragOnly);
    view->setDefaultDropAction(Qt::CopyAction);
    view->setTextElideMode(Qt::ElideMiddle);
    view->setContextMenuPolicy(Qt::PreventContextMenu);
}

} // namespace

FileListView::FileListView(QWidget* parent)
    : QStackedWidget(parent)
    , m_iconView(new QListView(this))
    , m_detailsView(new QTreeView(this))
    , m_header(new SortArrowHeader(m_detailsView))
{
    m_iconView->setObjectName(QStringLiteral("iconView"));
    m_detailsView->setObjectName(QStringLiteral("detailsView"));
    setCommonBehaviour(m_iconView);
    setCommonBehaviour(m_detailsView);
    // Batched layout and uniform sizes keep a folder of 100,000 items quick.
    m_iconView->setLayoutMode(QListView::Batched);
    m_iconView->setBatchSize(2000);
    m_iconView->setUniformItemSizes(true);
    m_iconView->setItemDelegate(new CellDelegate(m_iconView));
    m_iconView->setResizeMode(QListView::Adjust);
    m_detailsView->setHeader(m_header);
    m_detailsView->setRootIsDecorated(false);
    m_detailsView->setItemsExpandable(false);
    m_detailsView->setUniformRowHeights(true);
    m_detailsView->setAllColumnsShowFocus(true);
    m_detailsView->setSortingEnabled(false);
    m_header->setStretchLastSection(false);
    addWidget(m_iconView);
    addWidget(m_detailsView);
    setViewMode(ViewMode::Details);
}

void FileListView::setModel(FileListModel* model)
{
    m_model = model;
    m_iconView->setModel(model);
    m_detailsView->setModel(model);
    QItemSelectionModel* old = m_selection;
    m_selection = new QItemSelectionModel(model, this);
    m_iconView->setSelectionModel(m_selection);
    m_detailsView->setSelectionModel(m_selection);
    delete old;
    connect(model, &QAbstractItemModel::modelReset, this, &FileListView::applyColumnWidths);
    applyColumnWidths();
}

void FileListView::applyColumnWidths()
{
    if (m_model == nullptr) {
        return;
    }
    for (int column = 0; column < m_model->columnCount(); ++column) {
        m_detailsView->setColumnWidth(column, FileListModel::defaultColumnWidth(column, m_model->isFileSystem()));
    }
}

bool FileListView::setViewMode(int mode)
{
    if (mode < 0 || mode > 3) {
        return false;
    }
    return setViewMode(static_cast<ViewMode>(mode));
}

bool FileListView::setViewMode(ViewMode mode)
{
    QWidget* before = currentWidget();
    const bool hadFocus = before != nullptr && before->hasFocus();
    m_mode = mode;
    auto* cells = static_cast<CellDelegate*>(m_iconView->itemDelegate());
    switch (mode) {
    case ViewMode::LargeIcons:
        cells->setCell(QSize(90, 60));
        m_iconView->setViewMode(QListView::IconMode);
        m_iconView->setIconSize(QSize(32, 32));
        m_iconView->setGridSize(QSize(96, 64));
        m_iconView->setFlow(QListView::LeftToRight);
        m_iconView->setWrapping(true);
        m_iconView->setWordWrap(true);
        break;
    case ViewMode::SmallIcons:
        cells->setCell(QSize(156, 20));
        m_iconView->setViewMode(QListView::ListMode);
        m_iconView->setIconSize(QSize(16, 16));
        m_iconView->setGridSize(QSize(160, 20));
        m_iconView->setFlow(QListView::LeftToRight);
        m_iconView->setWrapping(true);
        m_iconView->setWordWrap(false);
        break;
    case ViewMode::List:
        cells->setCell(QSize(220, 20));
        m_iconView->setViewMode(QListView::ListMode);
        m_iconView->setIconSize(QSize(16, 16));
        m_iconView->setGridSize(QSize());
        m_iconView->setFlow(QListView::TopToBottom);
        m_iconView->setWrapping(true);
        m_iconView->setWordWrap(false);
        break;
    case ViewMode::Details:
        break;
    }
    // Changing the icon view's mode resets its movement and drag settings.
    m_iconView->setMovement(QListView::Static);
    setCommonBehaviour(m_iconView);
    QAbstractItemView* view = currentView();
    setCurrentWidget(view);
    if (hadFocus) {
        view->setFocus();
    }
    if (m_selection != nullptr && m_selection->currentIndex().isValid()) {
        view->scrollTo(m_selection->currentIndex());
    }
    return true;
}

void FileListView::setAutoArrange(bool on)
{
    // Icons stay in the grid either way (moving them by hand would fight the
    // drag that hands files to the queue); turning it on lays them out afresh.
    m_autoArrange = on;
    if (on && m_mode != ViewMode::Details) {
        m_iconView->doItemsLayout();
    }
}

QAbstractItemView* FileListView::currentView() const
{
    if (m_mode == ViewMode::Details) {
        return m_detailsView;
    }
    return m_iconView;
}

QList<QAbstractItemView*> FileListView::views() const
{
    return {m_iconView, m_detailsView};
}

} // namespace zqvshell
