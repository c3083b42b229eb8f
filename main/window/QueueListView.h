#pragma once

#include <QTreeView>
#include <functional>

class QMimeData;

namespace zqvwindow {

// `lvQueue`: the queue in report view, which takes files dropped on it and
// opens the queue's pop-up menu on a right click.
class QueueListView : public QTreeView
{
public:
    using DropHandler = std::function<void(const QMimeData* data, const QObject* source)>;
    using MenuHandler = std::function<void(const QPoint& globalPosition)>;

    explicit QueueListView(QWidget* parent = nullptr);
    void setDropHandler(DropHandler handler) { m_onDrop = std::move(handler); }
    void setMenuHandler(MenuHandler handler) { m_onMenu = std::move(handler); }

protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    DropHandler m_onDrop;
    MenuHandler m_onMenu;
};

} // namespace zqvwindow
