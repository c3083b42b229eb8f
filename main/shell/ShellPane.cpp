#include "ShellPane.h"

#include "ShellContextMenu.h"
#include "mWndProc.h"

namespace zqvshell {

ShellPane::ShellPane(QWidget* view, DesktopSources sources, QObject* parent)
    : QObject(parent)
    , m_paneView(view)
    , m_sources(std::move(sources))
{
}

void ShellPane::setContextMenu(ShellContextMenu* menu)
{
    m_menu = menu;
}

ShellContextMenu* ShellPane::contextMenu() const
{
    return m_menu;
}

bool ShellPane::install()
{
    return SubclassWindow(m_paneView, [this](const ViewNotification& notification) { return notify(notification); });
}

bool ShellPane::uninstall()
{
    return UnsubclassWindow(m_paneView);
}

} // namespace zqvshell
