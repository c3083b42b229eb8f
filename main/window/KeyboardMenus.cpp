#include "KeyboardMenus.h"

#include <QAbstractItemView>
#include <QContextMenuEvent>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QScopedValueRollback>

namespace zqvwindow {

KeyboardMenus::KeyboardMenus(QObject* parent)
    : QObject(parent)
{
}

void KeyboardMenus::watch(QAbstractItemView* view, Open open)
{
    m_views[view] = std::move(open);
    view->installEventFilter(this);
    connect(view, &QObject::destroyed, this, [this, view] { m_views.erase(view); });
}

bool KeyboardMenus::eventFilter(QObject* watched, QEvent* event)
{
    const auto found = m_views.find(watched);
    if (found == m_views.end())
        return false;
    auto* view = static_cast<QAbstractItemView*>(watched);
    if (event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        const Qt::KeyboardModifiers modifiers = key->modifiers() & ~Qt::KeypadModifier;
        const bool menuKey = key->key() == Qt::Key_Menu && modifiers == Qt::NoModifier;
        const bool shiftF10 = key->key() == Qt::Key_F10 && modifiers == Qt::ShiftModifier;
        if (!menuKey && !shiftF10)
            return false;
        open(view);
        return true;
    }
    if (event->type() == QEvent::ContextMenu &&
        static_cast<QContextMenuEvent*>(event)->reason() == QContextMenuEvent::Keyboard) {
        if (!m_opening)
            open(view);
        return true;
    }
    return false;
}

void KeyboardMenus::open(QAbstractItemView* view)
{
    const auto found = m_views.find(view);
    if (found == m_views.end() || m_opening)
        return;
    const QScopedValueRollback opening(m_opening, true);
    QModelIndex index = view->currentIndex();
    if (view->selectionModel() == nullptr || !view->selectionModel()->isSelected(index))
        index = QModelIndex();
    QPoint at(4, 4);
    if (index.isValid()) {
        view->scrollTo(index);
        at = view->visualRect(index).center();
    }
    const Open callback = found->second;
    callback(view, index, at);
}

} // namespace zqvwindow
