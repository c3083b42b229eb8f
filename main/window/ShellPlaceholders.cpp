#include "ShellPlaceholders.h"

#include <QDateTime>
#include <QDir>
#include <QFileIconProvider>
#include <QFileSystemModel>
#include <QHeaderView>
#include <QListView>
#include <QLocale>
#include <QMimeData>
#include <QMouseEvent>
#include <QStackedLayout>
#include <QStandardItemModel>
#include <QTreeView>
#include <QUrl>
#include <algorithm>
#include <cmath>

namespace zqvwindow {
namespace {

constexpr int kTagRole = Qt::UserRole + 1;
constexpr int kSortRole = Qt::UserRole + 2;

// Rows dragged out carry the text our queue reads and a URI list for file managers.
class FileListModel : public QStandardItemModel
{
public:
    using QStandardItemModel::QStandardItemModel;
    [[nodiscard]] QStringList mimeTypes() const override
    {
        return {QStringLiteral("text/plain"), QStringLiteral("text/uri-list")};
    }
    [[nodiscard]] QMimeData* mimeData(const QModelIndexList& indexes) const override
    {
        auto* data = new QMimeData;
        QList<QUrl> urls;
        QStringList paths;
        for (const QModelIndex& index : indexes) {
            if (index.column() != 0)
                continue;
            const QString tag = index.data(kTagRole).toString();
            paths.append(tag);
            urls.append(QUrl::fromLocalFile(tag));
        }
        data->setText(paths.join(QLatin1Char('\n')));
        data->setUrls(urls);
        return data;
    }
};

QStandardItem* cell(const QString& text, const QVariant& sortKey)
{
    auto* item = new QStandardItem(text);
    item->setData(sortKey, kSortRole);
    item->setEditable(false);
    return item;
}

} // namespace

PlaceholderFileList::PlaceholderFileList(QWidget* parent)
    : QWidget(parent)
    , m_model(new FileListModel(this))
    , m_iconView(new QListView)
    , m_detailsView(new QTreeView)
    , m_stack(new QStackedLayout(this))
{
    m_model->setHorizontalHeaderLabels(
        {QStringLiteral("Name"), QStringLiteral("Size"), QStringLiteral("Type"), QStringLiteral("Date Modified")});
    m_model->setSortRole(kSortRole);
    for (QAbstractItemView* view :
         {static_cast<QAbstractItemView*>(m_iconView), static_cast<QAbstractItemView*>(m_detailsView)}) {
        view->setModel(m_model);
        view->setSelectionMode(QAbstractItemView::ExtendedSelection);
        view->setEditTriggers(QAbstractItemView::NoEditTriggers);
        view->setDragEnabled(true);
        view->setDragDropMode(QAbstractItemView::DragOnly);
        view->setFrameShape(QFrame::NoFrame);
        view->setTextElideMode(Qt::ElideMiddle);
        connect(view, &QAbstractItemView::clicked, this, [this](const QModelIndex& index) {
            emit rowClicked(index.row());
        });
        m_stack->addWidget(view);
    }
    m_detailsView->setSelectionModel(m_iconView->selectionModel());
    // Moving through the rows with the keyboard counts as clicking them.
    connect(m_iconView->selectionModel(), &QItemSelectionModel::currentChanged, this, [this](const QModelIndex& index) {
        if (index.isValid() && activeView()->hasFocus())
            emit rowClicked(index.row());
    });
    m_detailsView->setRootIsDecorated(false);
    m_detailsView->setUniformRowHeights(true);
    m_detailsView->header()->setSectionsClickable(true);
    m_detailsView->header()->setSortIndicatorShown(false);
    m_detailsView->header()->setStretchLastSection(false);
    for (const auto& [column, width] : {std::pair{0, 240}, std::pair{1, 90}, std::pair{2, 160}, std::pair{3, 140}})
        m_detailsView->header()->resizeSection(column, width);
    connect(m_detailsView->header(), &QHeaderView::sectionClicked, this, &PlaceholderFileList::headerClicked);
    setViewMode(3);
}

void PlaceholderFileList::setViewMode(int mode)
{
    m_mode = mode;
    if (mode == 3) {
        m_stack->setCurrentWidget(m_detailsView);
        return;
    }
    m_stack->setCurrentWidget(m_iconView);
    const bool icons = mode == 0 || mode == 1;
    m_iconView->setViewMode(icons ? QListView::IconMode : QListView::ListMode);
    m_iconView->setFlow(mode == 2 ? QListView::TopToBottom : QListView::LeftToRight);
    m_iconView->setWrapping(true);
    m_iconView->setMovement(QListView::Static);
    m_iconView->setIconSize(mode == 0 ? QSize(32, 32) : QSize(16, 16));
    m_iconView->setGridSize(mode == 0 ? QSize(96, 64) : QSize());
    m_iconView->setWordWrap(mode == 0);
    m_iconView->setResizeMode(m_autoArrange || !icons ? QListView::Adjust : QListView::Fixed);
    m_iconView->doItemsLayout();
}

void PlaceholderFileList::setAutoArrange(bool on)
{
    m_autoArrange = on;
    setViewMode(m_mode);
}

void PlaceholderFileList::FillFileView(const QString& folder)
{
    static const QFileIconProvider icons;
    const QLocale locale;
    const QFileInfoList entries =
        QDir(folder).entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    if (entries.isEmpty())
        return;
    ClearFileView();
    m_folder = folder;
    for (const QFileInfo& info : entries) {
        const bool isFolder = info.isDir();
        const QString rank = QLatin1String(isFolder ? "0" : "1");
        QStandardItem* name =
            cell(info.fileName(), rank + info.fileName().toLower() + QLatin1Char('\1') + info.fileName());
        name->setIcon(icons.icon(info));
        name->setData(info.absoluteFilePath(), kTagRole);
        name->setToolTip(info.absoluteFilePath());
        const qint64 kib = (info.size() + 1023) / 1024;
        QStandardItem* size =
            cell(isFolder ? QString() : locale.toString(kib) + QLatin1String("KB"), isFolder ? -1 : info.size());
        size->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
        const QString typeText = isFolder ? QStringLiteral("Folder") : icons.type(info);
        const QDateTime modified = info.lastModified();
        const QString dateText = locale.toString(modified.date(), QLocale::ShortFormat) + QLatin1Char(' ') +
                                 locale.toString(modified.time(), QStringLiteral("hh:mm"));
        m_model->appendRow({name, size, cell(typeText, rank + typeText), cell(dateText, modified)});
    }
    if (m_model->rowCount() > 0)
        selectRow(0);
}

void PlaceholderFileList::ClearFileView()
{
    m_model->removeRows(0, m_model->rowCount());
}

int PlaceholderFileList::rowCount() const
{
    return m_model->rowCount();
}

QString PlaceholderFileList::rowText(int row) const
{
    return m_model->index(row, 0).data().toString();
}

QString PlaceholderFileList::rowTag(int row) const
{
    return m_model->index(row, 0).data(kTagRole).toString();
}

int PlaceholderFileList::selectedRow() const
{
    const QModelIndex current = m_iconView->selectionModel()->currentIndex();
    return current.isValid() ? current.row() : -1;
}

int PlaceholderFileList::rowOfText(const QString& text) const
{
    for (int row = 0; row < m_model->rowCount(); ++row) {
        if (rowText(row) == text)
            return row;
    }
    return -1;
}

void PlaceholderFileList::selectRow(int row)
{
    const QModelIndex index = m_model->index(row, 0);
    m_iconView->selectionModel()->setCurrentIndex(index,
                                                  QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    activeView()->scrollTo(index);
}

void PlaceholderFileList::sortRows(int column, int order)
{
    m_model->sort(column, order == 0 ? Qt::AscendingOrder : Qt::DescendingOrder);
}

QHeaderView* PlaceholderFileList::header() const
{
    return m_detailsView->header();
}

QAbstractItemView* PlaceholderFileList::activeView() const
{
    return m_mode == 3 ? static_cast<QAbstractItemView*>(m_detailsView) : m_iconView;
}

bool PlaceholderFileList::owns(const QObject* object) const
{
    for (; object != nullptr; object = object->parent()) {
        if (object == this)
            return true;
    }
    return false;
}

PlaceholderFolderTree::PlaceholderFolderTree(QWidget* parent)
    : QWidget(parent)
    , m_model(new QFileSystemModel(this))
    , m_view(new QTreeView)
{
    auto* layout = new QStackedLayout(this);
    layout->addWidget(m_view);
    m_model->setFilter(QDir::AllDirs | QDir::NoDotAndDotDot | QDir::Hidden);
    m_model->setRootPath(QStringLiteral("/"));
    m_view->setModel(m_model);
    m_view->setHeaderHidden(true);
    for (int column = 1; column < m_model->columnCount(); ++column)
        m_view->hideColumn(column);
    m_view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_view->setIndentation(19);
    m_view->setFrameShape(QFrame::NoFrame);
    connect(m_view->selectionModel(), &QItemSelectionModel::currentChanged, this, [this](const QModelIndex& index) {
        if (index.isValid())
            emit folderSelected(m_model->filePath(index));
    });
}

void PlaceholderFolderTree::SetTreeRoot(const QString& folder)
{
    // The whole file system stays reachable above the start folder.
    m_view->setRootIndex(folder == QDir::homePath() ? QModelIndex() : m_model->index(folder).parent());
    const QModelIndex start = m_model->index(folder);
    for (QModelIndex up = start.parent(); up.isValid(); up = up.parent())
        m_view->expand(up);
    selectFolder(folder);
    m_view->expand(start);
}

void PlaceholderFolderTree::selectFolder(const QString& folder)
{
    const QModelIndex index = m_model->index(folder);
    m_view->setCurrentIndex(index);
    m_view->scrollTo(index);
}

QString PlaceholderFolderTree::selectedFolder() const
{
    const QModelIndex current = m_view->currentIndex();
    return current.isValid() ? m_model->filePath(current) : QString();
}

QString PlaceholderFolderTree::rootFolder() const
{
    return m_view->rootIndex().isValid() ? m_model->filePath(m_view->rootIndex()) : QStringLiteral("/");
}

void PlaceholderFolderTree::ClearTree()
{
    m_view->setModel(nullptr);
}

PlaceholderVSplitter::PlaceholderVSplitter(QObject* parent)
    : QObject(parent)
{
}

void PlaceholderVSplitter::SetControls(QWidget* host, QWidget* left, QWidget* right, QWidget* bar)
{
    if (m_host != nullptr)
        m_host->removeEventFilter(this);
    if (m_bar != nullptr)
        m_bar->removeEventFilter(this);
    m_host = host;
    m_leftPane = left;
    m_rightPane = right;
    m_bar = bar;
    m_host->installEventFilter(this);
    m_bar->installEventFilter(this);
    m_bar->setCursor(Qt::SplitHCursor);
    layOut();
}

void PlaceholderVSplitter::setLeft(int left)
{
    m_left = left;
    if (m_host != nullptr && m_bar != nullptr) {
        const int free = m_host->width() - m_bar->width();
        if (free > 0)
            m_ratio = static_cast<double>(left) / free;
    }
    layOut();
}

void PlaceholderVSplitter::layOut()
{
    if (m_host == nullptr || m_leftPane == nullptr || m_rightPane == nullptr || m_bar == nullptr)
        return;
    const int height = m_host->height() - m_top - m_heightOffset;
    if (height <= 0)
        return;
    const int barWidth = m_bar->width();
    const int free = m_host->width() - barWidth;
    m_left = std::clamp(static_cast<int>(std::lround(free * m_ratio)), 40, std::max(40, free - 40));
    m_leftPane->setGeometry(0, m_top, m_left, height);
    m_bar->setGeometry(m_left, m_top, barWidth, height);
    m_rightPane->setGeometry(m_left + barWidth, m_top, std::max(0, free - m_left), height);
}

bool PlaceholderVSplitter::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_host && event->type() == QEvent::Resize) {
        layOut();
    } else if (watched == m_bar) {
        auto* mouse = static_cast<QMouseEvent*>(event);
        switch (event->type()) {
        case QEvent::MouseButtonPress:
            m_dragging = mouse->button() == Qt::LeftButton;
            return true;
        case QEvent::MouseMove:
            if (m_dragging)
                setLeft(m_host->mapFromGlobal(mouse->globalPosition().toPoint()).x());
            return true;
        case QEvent::MouseButtonRelease:
            m_dragging = false;
            return true;
        default:
            break;
        }
    }
    return QObject::eventFilter(watched, event);
}

bool PlaceholderHeaderIcons::SetHeaderIcons(int column, int order)
{
    if (m_list == nullptr || column < 0 || column >= m_list->header()->count())
        return false;
    m_list->header()->setSortIndicatorShown(true);
    m_list->header()->setSortIndicator(column, order == 0 ? Qt::AscendingOrder : Qt::DescendingOrder);
    return true;
}

} // namespace zqvwindow
