#pragma once

#include <QModelIndex>
#include <QObject>
#include <QPoint>
#include <functional>
#include <map>

class QAbstractItemView;

namespace zqvwindow {

// Opens a view's context menu from the keyboard: the Menu key and Shift+F10,
// at the current row (or, without a selected current row, with no row at the
// view's top left corner). The mouse's right click is routed by the panes
// themselves; this only adds the keyboard's way to the same menu.
class KeyboardMenus : public QObject
{
    Q_OBJECT
public:
    // `index` is invalid when no row is current and selected; `at` is in the
    // view's viewport.
    using Open = std::function<void(QAbstractItemView* view, const QModelIndex& index, const QPoint& at)>;

    explicit KeyboardMenus(QObject* parent = nullptr);

    void watch(QAbstractItemView* view, Open open);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void open(QAbstractItemView* view);

    std::map<QObject*, Open> m_views;
    // The platform may follow the Menu key with its own context-menu event:
    // one key press opens one menu.
    bool m_opening = false;
};

} // namespace zqvwindow
