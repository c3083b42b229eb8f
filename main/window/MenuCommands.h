#pragma once

#include <QString>

namespace zqvwindow {

// What the menus and the toolbar ask of the main window; the window answers
// them, so the menus need not know the window itself.
class MenuCommands
{
public:
    virtual ~MenuCommands() = default;

    virtual void ButtonClick(const QString& key) = 0;
    virtual void ButtonMenuClick(const QString& key) = 0;
    virtual void RefreshFileView() = 0;
    virtual void Contents() = 0;
    virtual void Perform() = 0;
    virtual void RemoveItem() = 0;
    virtual void ClearQueue() = 0;
    virtual void ToggleQueue() = 0;
    virtual void SetView(int mode) = 0;
    virtual void ViewMenuOpening() = 0;
    virtual void ArrangeAscending() = 0;
    virtual void ArrangeDescending() = 0;
    virtual void ToggleAutoArrange() = 0;
    virtual void ChangeRoot() = 0;

protected:
    MenuCommands() = default;
    MenuCommands(const MenuCommands&) = default;
    MenuCommands& operator=(const MenuCommands&) = default;
};

} // namespace zqvwindow
