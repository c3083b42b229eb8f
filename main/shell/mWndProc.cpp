#include "mWndProc.h"

#include <QAbstractItemView>
#include <QContextMenuEvent>
#include <QHash>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QTreeView>
#include <algorithm>

#include "FileListView.h"

namespace zqvshell {

namespace {

class Router : public QObject
{
public:
    Router(QWidget* window, NotifyHandler handler)
        : m_window(window)
        , m_handler(std::move(handler))
    {
        QList<QAbstractItemView*> views;
        if (auto* list = qobject_cast<FileListView*>(window)) {
            views = list->views();
        } else if (auto* view = qobject_cast<QAbstractItemView*>(window)) {
            views = {view};
        }
        for (QAbstractItemView* view : std::as_const(views)) {
            m_views.push_back(view);
            view->installEventFilter(this);
            view->viewport()->installEventFilter(this);
            view->setContextMenuPolicy(Qt::DefaultContextMenu);
            if (auto* tree = qobject_cast<QTreeView*>(view); tree != nullptr && views.size() == 1) {
                m_connections.push_back(
                    QObject::connect(tree, &QTreeView::expanded, this, [this, tree](const QModelIndex& index) {
                        notify({NotifyCode::ItemExpanding, tree, index, {}});
                    }));
                if (tree->selectionModel() != nullptr) {
                    m_connections.push_back(QObject::connect(tree->selectionModel(),
                                                             &QItemSelectionModel::currentChanged,
                                                             this,
                                                             [this, tree](const QModelIndex& current) {
                                                                 notify({NotifyCode::SelChanged, tree, current, {}});
                                                             }));
                }
            }
        }
    }

    ~Router() override
    {
        for (const QMetaObject::Connection& connection : std::as_const(m_connections)) {
            QObject::disconnect(connection);
        }
        for (QAbstractItemView* view : std::as_const(m_views)) {
            if (view != nullptr) {
                view->removeEventFilter(this);
                view->viewport()->removeEventFilter(this);
            }
        }
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        for (QAbstractItemView* view : std::as_const(m_views)) {
            if (view == nullptr) {
                continue;
            }
            if (watched == view->viewport()) {
                return viewportEvent(view, event);
            }
            if (watched != view) {
                continue;
            }
            if (event->type() == QEvent::KeyPress) {
                const auto* keyEvent = static_cast<QKeyEvent*>(event);
                const int key = keyEvent->key();
                if (key == Qt::Key_Return || key == Qt::Key_Enter) {
                    QModelIndex current = view->currentIndex();
                    if (view->selectionModel() == nullptr || !view->selectionModel()->isSelected(current)) {
                        current = QModelIndex();
                    }
                    return notify({NotifyCode::Return, view, current, {}});
                }
                if (isMenuKey(*keyEvent)) {
                    keyboardMenu(view);
                    return true;
                }
            }
            // The platform's own menu-key event reaches the focused view
            // itself, not its viewport.
            if (event->type() == QEvent::ContextMenu &&
                static_cast<QContextMenuEvent*>(event)->reason() == QContextMenuEvent::Keyboard) {
                keyboardMenu(view);
                return true;
            }
        }
        return false;
    }

private:
    bool viewportEvent(QAbstractItemView* view, QEvent* event)
    {
        switch (event->type()) {
        case QEvent::MouseButtonDblClick: {
            const auto* mouse = static_cast<QMouseEvent*>(event);
            if (mouse->button() != Qt::LeftButton) {
                return false;
            }
            // Acted on once the view is done with the click's release: a
            // folder's list filled earlier would have that release select
            // the row that happens to lie under the pointer.
            const QPoint pos = mouse->position().toPoint();
            m_pendingDouble = {view, QPersistentModelIndex(view->indexAt(pos)), pos};
            return false;
        }
        case QEvent::MouseButtonPress:
            m_pendingDouble = {};
            return false;
        case QEvent::MouseButtonRelease: {
            const auto* mouse = static_cast<QMouseEvent*>(event);
            if (mouse->button() == Qt::LeftButton && m_pendingDouble.view == view) {
                const PendingDouble pending = m_pendingDouble;
                m_pendingDouble = {};
                QMetaObject::invokeMethod(
                    this,
                    [this, pending] {
                        if (pending.view != nullptr) {
                            notify({NotifyCode::DblClick, pending.view, pending.index, pending.pos});
                        }
                    },
                    Qt::QueuedConnection);
            }
            return false;
        }
        case QEvent::ContextMenu: {
            const auto* menu = static_cast<QContextMenuEvent*>(event);
            if (menu->reason() == QContextMenuEvent::Keyboard) {
                keyboardMenu(view);
                return true;
            }
            const QPoint pos = menu->pos();
            return notify({NotifyCode::RClick, view, view->indexAt(pos), pos});
        }
        default:
            return false;
        }
    }

    bool notify(const ViewNotification& notification) { return m_handler ? m_handler(notification) : false; }

    static bool isMenuKey(const QKeyEvent& key)
    {
        const Qt::KeyboardModifiers modifiers =
            key.modifiers() & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier);
        return (key.key() == Qt::Key_Menu && modifiers == Qt::NoModifier) ||
               (key.key() == Qt::Key_F10 && modifiers == Qt::ShiftModifier);
    }

    // The menu key and Shift+F10: the menu of the current row, shown at that
    // row; with no row, the menu of the empty space at the view's corner.
    void keyboardMenu(QAbstractItemView* view)
    {
        QModelIndex index = view->currentIndex();
        QPoint pos(4, 4);
        if (index.isValid()) {
            QItemSelectionModel* selection = view->selectionModel();
            if (selection != nullptr && !selection->isSelected(index)) {
                // The menu acts on what it names: make the focused row the selection.
                selection->select(index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
            }
            view->scrollTo(index);
            const QRect rect = view->visualRect(index).intersected(view->viewport()->rect());
            pos = rect.isEmpty() ? pos : QPoint(rect.left() + std::min(rect.width() / 2, 24), rect.center().y());
        }
        notify({NotifyCode::RClick, view, index, pos});
    }

    struct PendingDouble
    {
        QPointer<QAbstractItemView> view;
        QPersistentModelIndex index;
        QPoint pos;
    };

    QPointer<QWidget> m_window;
    PendingDouble m_pendingDouble;
    NotifyHandler m_handler;
    QList<QPointer<QAbstractItemView>> m_views;
    QList<QMetaObject::Connection> m_connections;
};

QHash<const QWidget*, Router*>& routes()
{
    static QHash<const QWidget*, Router*> table;
    return table;
}

} // namespace

bool SubclassWindow(QWidget* window, NotifyHandler handler)
{
    if (window == nullptr) {
        return false;
    }
    if (routes().contains(window)) {
        return true;
    }
    auto* router = new Router(window, std::move(handler));
    routes().insert(window, router);
    QObject::connect(window, &QObject::destroyed, [window] { UnsubclassWindow(static_cast<QWidget*>(window)); });
    return true;
}

bool UnsubclassWindow(QWidget* window)
{
    Router* router = routes().take(window);
    if (router == nullptr) {
        return false;
    }
    delete router;
    return true;
}

bool IsSubclassed(const QWidget* window)
{
    return routes().contains(window);
}

} // namespace zqvshell
