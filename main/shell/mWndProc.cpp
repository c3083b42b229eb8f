#include "mWndProc.h"

#include <QAbstractItemView>
#include <QContextMenuEvent>
#include <QHash>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QTreeView>

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
            if (watched == view && event->type() == QEvent::KeyPress) {
                const int key = static_cast<QKeyEvent*>(event)->key();
                if (key == Qt::Key_Return || key == Qt::Key_Enter) {
                    QModelIndex current = view->currentIndex();
                    if (view->selectionModel() == nullptr || !view->selectionModel()->isSelected(current)) {
                        current = QModelIndex();
                    }
                    return notify({NotifyCode::Return, view, current, {}});
                }
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
            const QPoint pos = mouse->position().toPoint();
            notify({NotifyCode::DblClick, view, view->indexAt(pos), pos});
            return false;
        }
        case QEvent::ContextMenu: {
            const auto* menu = static_cast<QContextMenuEvent*>(event);
            QPoint pos = menu->pos();
            QModelIndex index = view->indexAt(pos);
            // The menu key opens the menu of the current row, at that row.
            if (menu->reason() == QContextMenuEvent::Keyboard && view->currentIndex().isValid()) {
                index = view->currentIndex();
                pos = view->visualRect(index).center();
            }
            return notify({NotifyCode::RClick, view, index, pos});
        }
        default:
            return false;
        }
    }

    bool notify(const ViewNotification& notification) { return m_handler ? m_handler(notification) : false; }

    QPointer<QWidget> m_window;
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
