#pragma once

#include <QObject>
#include <QPointer>

#include "DesktopFolder.h"
#include "ViewNotification.h"

class QWidget;

namespace zqvshell {

class ShellContextMenu;

// What the folder tree and the file list have in common: a view whose events
// go to the pane's handler while it is installed, the desktop sources it
// reads, and the context menu a right click opens.
class ShellPane : public QObject
{
    Q_OBJECT
public:
    void setContextMenu(ShellContextMenu* menu);

    // Routes the view's events to the handler; uninstall() stops that.
    bool install();
    bool uninstall();

protected:
    ShellPane(QWidget* view, DesktopSources sources, QObject* parent);

    // The pane's handler of its view's events; true when consumed. A pane
    // uninstalls in its own destructor, so the handler never runs on a half
    // destroyed pane.
    virtual bool notify(const ViewNotification& notification) = 0;

    [[nodiscard]] const DesktopSources& sources() const { return m_sources; }
    // Null until set, and again once the menu is gone.
    [[nodiscard]] ShellContextMenu* contextMenu() const;

private:
    QWidget* m_paneView;
    DesktopSources m_sources;
    QPointer<ShellContextMenu> m_menu;
};

} // namespace zqvshell
