#pragma once

#include <QKeySequence>
#include <QObject>
#include <map>

#include "MainWindowTools.h"
#include "MenuCommands.h"
#include "Operations.h"

class QAction;
class QActionGroup;
class QMainWindow;
class QMenu;
class QToolBar;
class QWidget;

namespace zqvwindow {

// The main window's menu bar, its toolbar with the Queue and Advanced menus,
// and the queue pane's pop-up. The operation buttons and the Queue menu's
// items are made from core's operation rows; every action is a child of the
// window, named as the window's tests and users know it.
class MainMenus : public QObject
{
    Q_OBJECT
public:
    MainMenus(QMainWindow& window, MenuCommands& commands, QWidget* toolbarParent, const MainWindowTools& tools);

    [[nodiscard]] QToolBar* toolbar() const { return m_toolbar; }
    [[nodiscard]] QMenu* viewMenu() const { return m_viewMenu; }
    [[nodiscard]] QMenu* queuePopUp() const { return m_queuePopUp; }
    [[nodiscard]] QActionGroup* viewModes() const { return m_viewModes; }

    // Enables what fits the selected row: the buttons by what the row is, the
    // Queue menu's items by its shown name alone (the Queue button above them
    // already refuses a row that is not a file). An empty name: no row.
    void applyEnabling(const QString& shownName, zqvcore::ItemKind kind);

    // The keys that run an operation, and that queue it; empty for none.
    [[nodiscard]] static QKeySequence runKey(zqvcore::Operation operation);
    [[nodiscard]] static QKeySequence queueKey(zqvcore::Operation operation);

private:
    void buildFileAndViewMenus();
    void buildHelpAndQueuePopUp();
    void buildToolbar();
    void buildActionsMenu();

    QMainWindow& m_window;
    MenuCommands& m_commands;
    const MainWindowTools& m_tools;
    QToolBar* m_toolbar = nullptr;
    QMenu* m_viewMenu = nullptr;
    QMenu* m_queuePopUp = nullptr;
    QMenu* m_queueMenu = nullptr;
    QMenu* m_advancedMenu = nullptr;
    QActionGroup* m_viewModes = nullptr;
    QAction* m_queueButton = nullptr;
    QAction* m_advancedButton = nullptr;
    QAction* m_hash = nullptr;
    std::map<zqvcore::Operation, QAction*> m_buttons;
    std::map<zqvcore::Operation, QAction*> m_queueItems;
};

} // namespace zqvwindow
