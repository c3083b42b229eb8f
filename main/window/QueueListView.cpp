#include "QueueListView.h"

#include <QContextMenuEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QHeaderView>
#include <QMimeData>
#include <QMouseEvent>

namespace zqvwindow {
namespace {

bool offersFile(const QMimeData* data)
{
    return data != nullptr && (data->hasUrls() || data->hasText());
}

} // namespace

QueueListView::QueueListView(QWidget* parent)
    : QTreeView(parent)
{
    setRootIsDecorated(false);
    setUniformRowHeights(true);
    setAcceptDrops(true);
    setDropIndicatorShown(false);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setTextElideMode(Qt::ElideMiddle);
    setAllColumnsShowFocus(true);
    header()->setStretchLastSection(true);
    header()->setSectionsMovable(false);
}

void QueueListView::dragEnterEvent(QDragEnterEvent* event)
{
    if (offersFile(event->mimeData()))
        event->acceptProposedAction();
}

void QueueListView::dragMoveEvent(QDragMoveEvent* event)
{
    if (offersFile(event->mimeData()))
        event->acceptProposedAction();
}

void QueueListView::dropEvent(QDropEvent* event)
{
    if (!offersFile(event->mimeData()))
        return;
    event->acceptProposedAction();
    if (m_onDrop)
        m_onDrop(event->mimeData(), event->source());
}

void QueueListView::mousePressEvent(QMouseEvent* event)
{
    QTreeView::mousePressEvent(event);
    if (event->button() == Qt::RightButton && m_onMenu)
        m_onMenu(event->globalPosition().toPoint());
}

void QueueListView::contextMenuEvent(QContextMenuEvent* event)
{
    // The mouse opens the menu on its press; this is the menu key.
    if (event->reason() != QContextMenuEvent::Mouse && m_onMenu)
        m_onMenu(viewport()->mapToGlobal(visualRect(currentIndex()).center()));
}

} // namespace zqvwindow
