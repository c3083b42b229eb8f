#include "FileListView.h"

#include <QApplication>
#include <QDateTime>
#include <QDropEvent>
#include <QEvent>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QListView>
#include <QMouseEvent>
#include <QScrollBar>
#include <QSet>
#include <QStyle>
#include <QStyledItemDelegate>
#include <QTextBoundaryFinder>
#include <QTreeView>
#include <algorithm>
#include <optional>

#include "FileListModel.h"
#include "FileTypes.h"
#include "SortArrowHeader.h"

namespace zqvshell {

namespace {

constexpr int kLargeIcon = 32;
constexpr int kSmallIcon = 16;
constexpr int kArrowRoom = 16 + 8;

// A word wider than the label may break anywhere, so a name without blanks
// that fits in two lines takes them instead of being cut on the first.
QString breakableWords(const QString& text, const QFontMetrics& metrics, int width)
{
    QStringList words = text.split(QLatin1Char(' '));
    for (QString& word : words) {
        // Longer than two lines: cut in the middle on one line, which keeps
        // the ending in sight.
        const int advance = metrics.horizontalAdvance(word);
        if (advance <= width || advance > 2 * width - metrics.averageCharWidth()) {
            continue;
        }
        QString spaced;
        QTextBoundaryFinder graphemes(QTextBoundaryFinder::Grapheme, word);
        qsizetype start = 0;
        for (qsizetype end = graphemes.toNextBoundary(); end > 0; end = graphemes.toNextBoundary()) {
            if (!spaced.isEmpty()) {
                spaced += QChar(0x200B);
            }
            spaced += word.mid(start, end - start);
            start = end;
        }
        word = spaced;
    }
    return words.join(QLatin1Char(' '));
}

// Every item of the icon views takes the same cell: with uniform sizes the
// view would otherwise size all items like the first one (and cut longer
// names), and measuring each of 100,000 names would slow every layout.
// Small icons are laid out as icons too (so Auto Arrange means the same in
// both icon views) but show their label beside the icon.
class CellDelegate : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void setCell(QSize cell, bool labelBeside)
    {
        m_cell = cell;
        m_labelBeside = labelBeside;
    }
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        return m_cell.isValid() ? m_cell : QStyledItemDelegate::sizeHint(option, index);
    }

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override
    {
        QStyledItemDelegate::initStyleOption(option, index);
        if (m_labelBeside) {
            option->decorationPosition = QStyleOptionViewItem::Left;
            option->displayAlignment = Qt::AlignLeft | Qt::AlignVCenter;
            option->features &= ~QStyleOptionViewItem::WrapText;
        } else if ((option->features & QStyleOptionViewItem::WrapText) && option->rect.width() > 0) {
            option->text = breakableWords(option->text, option->fontMetrics, option->rect.width() - 8);
        }
    }

private:
    QSize m_cell;
    bool m_labelBeside = false;
};

// The icon view. With Auto Arrange off an icon dragged within the view is
// put where it is dropped; the list's own drop handling for that is done
// here, as the stock one loses the icon somewhere outside the view.
class IconView : public QListView
{
public:
    using QListView::QListView;

protected:
    void mousePressEvent(QMouseEvent* event) override
    {
        m_pressedAt = event->position().toPoint() + QPoint(horizontalOffset(), verticalOffset());
        QListView::mousePressEvent(event);
    }
    void dropEvent(QDropEvent* event) override
    {
        if (event->source() != this || movement() == QListView::Static || selectionModel() == nullptr) {
            QListView::dropEvent(event);
            return;
        }
        const QPoint delta = event->position().toPoint() + QPoint(horizontalOffset(), verticalOffset()) - m_pressedAt;
        const QModelIndexList moved = selectionModel()->selectedIndexes();
        for (const QModelIndex& index : moved) {
            if (index.column() == 0) {
                const QPoint to = rectForIndex(index).topLeft() + delta;
                setPositionForIndex(QPoint(std::max(0, to.x()), std::max(0, to.y())), index);
            }
        }
        // A copy to the drag's source: nothing is taken from the list.
        event->setDropAction(Qt::CopyAction);
        event->accept();
        setState(NoState);
        viewport()->update();
    }

private:
    QPoint m_pressedAt;
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
    , m_iconView(new IconView(this))
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
    m_detailsView->setRootIsDecorated(false);
    m_detailsView->setItemsExpandable(false);
    m_detailsView->setUniformRowHeights(true);
    m_detailsView->setAllColumnsShowFocus(true);
    // The view's own sorting stays off (rows are sorted by the window's
    // protocol); switching it off also makes a header unclickable, so the
    // header is set up after it.
    m_detailsView->setSortingEnabled(false);
    m_detailsView->setHeader(m_header);
    m_header->setSectionsClickable(true);
    m_header->setStretchLastSection(false);
    m_header->setMinimumSectionSize(24);
    connect(m_header, &QHeaderView::sectionResized, this, [this](int logicalIndex) {
        if (m_fitting) {
            return;
        }
        if (logicalIndex == 0) {
            m_nameSizedByHand = true;
        } else {
            fitNameColumn();
        }
    });
    m_detailsView->viewport()->installEventFilter(this);
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

int FileListView::contentWidth(int column) const
{
    // The widest text of a column without measuring every row: the largest
    // size, each distinct type once, a date with wide digits.
    const QFontMetrics metrics = m_detailsView->fontMetrics();
    const int margin =
        2 * (m_detailsView->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, m_detailsView) + 1);
    const bool fileSystem = m_model->isFileSystem();
    const bool typeColumn = fileSystem ? column == static_cast<int>(Column::Type) : column == 1;
    int widest = 0;
    if (fileSystem && column == static_cast<int>(Column::Size)) {
        qint64 largest = -1;
        for (int row = 0; row < m_model->rowCount(); ++row) {
            const ShellItem& item = m_model->item(row);
            if (!item.folder) {
                largest = std::max(largest, item.size);
            }
        }
        if (largest >= 0) {
            widest = metrics.horizontalAdvance(FormatSizeText(largest, m_model->displayLocale()));
        }
    } else if (typeColumn) {
        QSet<const FileType*> seen;
        for (int row = 0; row < m_model->rowCount(); ++row) {
            const FileType* type = m_model->item(row).type;
            if (type != nullptr && !seen.contains(type)) {
                seen.insert(type);
                widest = std::max(widest, metrics.horizontalAdvance(type->typeName));
            }
        }
    } else if (fileSystem && column == static_cast<int>(Column::Modified) && m_model->rowCount() > 0) {
        const QDateTime wide(QDate(QDate::currentDate().year(), 12, 28), QTime(22, 58));
        widest = metrics.horizontalAdvance(FileTimeToDisplayString(wide.toMSecsSinceEpoch(), m_model->displayLocale()));
    }
    return widest > 0 ? widest + margin + 4 : 0;
}

void FileListView::applyColumnWidths()
{
    if (m_model == nullptr) {
        return;
    }
    m_fitting = true;
    m_nameSizedByHand = false;
    const QFontMetrics captions = m_header->fontMetrics();
    for (int column = 0; column < m_model->columnCount(); ++column) {
        int width = FileListModel::defaultColumnWidth(column, m_model->isFileSystem());
        if (column > 0) {
            // Never cut a size, a type or a date, nor the caption with its arrow.
            const QString caption = m_model->headerData(column, Qt::Horizontal).toString();
            width = std::max({width, contentWidth(column), captions.horizontalAdvance(caption) + kArrowRoom});
        }
        m_detailsView->setColumnWidth(column, width);
    }
    m_fitting = false;
    fitNameColumn();
}

void FileListView::fitNameColumn()
{
    if (m_model == nullptr || m_model->columnCount() == 0 || m_nameSizedByHand) {
        return;
    }
    int others = 0;
    for (int column = 1; column < m_model->columnCount(); ++column) {
        others += m_header->sectionSize(column);
    }
    const int starting = FileListModel::defaultColumnWidth(0, m_model->isFileSystem());
    const int width = std::max(starting, m_detailsView->viewport()->width() - others);
    if (width != m_header->sectionSize(0)) {
        m_fitting = true;
        m_detailsView->setColumnWidth(0, width);
        m_fitting = false;
    }
}

bool FileListView::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_detailsView->viewport() && event->type() == QEvent::Resize) {
        fitNameColumn();
    }
    return QStackedWidget::eventFilter(watched, event);
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
    const QFontMetrics metrics = m_iconView->fontMetrics();
    const int line = metrics.lineSpacing();
    // How the one icon view shows each of its three modes; Details is the tree.
    struct Layout
    {
        QSize cell;
        bool labelBeside = false;
        QListView::ViewMode viewMode = QListView::IconMode;
        int icon = kSmallIcon;
        QSize grid;
        QListView::Flow flow = QListView::LeftToRight;
        bool wordWrap = false;
    };
    std::optional<Layout> layout;
    switch (mode) {
    case ViewMode::LargeIcons: {
        // Room for two lines of label under the icon.
        const QSize cell(std::max(100, metrics.averageCharWidth() * 16), kLargeIcon + 2 * line + 12);
        layout =
            Layout{cell, false, QListView::IconMode, kLargeIcon, cell + QSize(6, 12), QListView::LeftToRight, true};
        break;
    }
    case ViewMode::SmallIcons: {
        const QSize cell(std::max(180, metrics.averageCharWidth() * 28), std::max(kSmallIcon, line) + 4);
        layout = Layout{cell, true, QListView::IconMode, kSmallIcon, cell + QSize(4, 4), QListView::LeftToRight, false};
        break;
    }
    case ViewMode::List:
        layout = Layout{QSize(std::max(220, metrics.averageCharWidth() * 34), std::max(kSmallIcon, line) + 4),
                        false,
                        QListView::ListMode,
                        kSmallIcon,
                        QSize(),
                        QListView::TopToBottom,
                        false};
        break;
    case ViewMode::Details:
        break;
    }
    if (layout) {
        cells->setCell(layout->cell, layout->labelBeside);
        m_iconView->setViewMode(layout->viewMode);
        m_iconView->setIconSize(QSize(layout->icon, layout->icon));
        m_iconView->setGridSize(layout->grid);
        m_iconView->setFlow(layout->flow);
        m_iconView->setWrapping(true);
        m_iconView->setWordWrap(layout->wordWrap);
    }
    applyArrangement();
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
    m_autoArrange = on;
    applyArrangement();
}

void FileListView::applyArrangement()
{
    // Changing the icon view's mode resets its movement and drag settings.
    setCommonBehaviour(m_iconView);
    const bool iconMode = m_mode == ViewMode::LargeIcons || m_mode == ViewMode::SmallIcons;
    if (iconMode && !m_autoArrange) {
        // Free places: an icon dragged within the view stays where it is
        // dropped, and a change of width leaves the icons where they are.
        m_iconView->setMovement(QListView::Free);
        m_iconView->setResizeMode(QListView::Fixed);
    } else {
        m_iconView->setMovement(QListView::Static);
        m_iconView->setResizeMode(QListView::Adjust);
    }
    // Movement turns dragging on or off by itself; the list always offers
    // its items to the queue.
    m_iconView->setDragEnabled(true);
    if (iconMode) {
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
