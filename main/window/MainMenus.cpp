#include "MainMenus.h"

#include <QAction>
#include <QActionGroup>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QToolBar>
#include <QToolButton>

namespace zqvwindow {
namespace {

using zqvcore::Operation;

QAction* namedAction(QObject* owner, const char* name, const QString& text)
{
    auto* action = new QAction(text, owner);
    action->setObjectName(QLatin1String(name));
    return action;
}

QAction* separator(QMenu* menu, const char* name)
{
    QAction* action = menu->addSeparator();
    action->setObjectName(QLatin1String(name));
    return action;
}

// A key shows in the tooltip, so the toolbar tells the keyboard way itself.
void giveKey(QAction* action, const QKeySequence& key)
{
    if (key.isEmpty())
        return;
    action->setShortcut(key);
    action->setToolTip(QStringLiteral("%1 (%2)").arg(action->text(), key.toString(QKeySequence::NativeText)));
}

} // namespace

// Ctrl and a letter run an operation, Ctrl+Shift and the same key queue it:
// menu mnemonics are Alt and a letter, so nothing clashes. Wipe takes the
// file managers' key for deleting for good.
QKeySequence MainMenus::runKey(Operation operation)
{
    switch (operation) {
    case Operation::Encrypt:
        return QKeySequence(Qt::CTRL | Qt::Key_E);
    case Operation::Decrypt:
        return QKeySequence(Qt::CTRL | Qt::Key_D);
    case Operation::SelfExtracting:
        return QKeySequence(Qt::CTRL | Qt::Key_M);
    case Operation::Wipe:
        return QKeySequence(Qt::SHIFT | Qt::Key_Delete);
    default:
        return {};
    }
}

QKeySequence MainMenus::queueKey(Operation operation)
{
    const QKeySequence run = runKey(operation);
    if (run.isEmpty())
        return {};
    return QKeySequence(run[0].toCombined() | Qt::CTRL | Qt::SHIFT);
}

MainMenus::MainMenus(QMainWindow& window, MenuCommands& commands, QWidget* toolbarParent, const MainWindowTools& tools)
    : QObject(&window)
    , m_window(window)
    , m_commands(commands)
    , m_tools(tools)
{
    buildFileAndViewMenus();
    m_toolbar = new QToolBar(toolbarParent);
    buildToolbar();
    buildActionsMenu();
    buildHelpAndQueuePopUp();
}

void MainMenus::buildFileAndViewMenus()
{
    QMainWindow* w = &m_window;
    QMenu* file = w->menuBar()->addMenu(QStringLiteral("&File"));
    file->setObjectName(QStringLiteral("mnuFile"));
    QAction* root = namedAction(w, "mnuFileRoot", QStringLiteral("&Change Root..."));
    root->setVisible(false);
    connect(root, &QAction::triggered, w, [this] { m_commands.ChangeRoot(); });
    file->addAction(root);
    separator(file, "mnuFileSep1")->setVisible(false);
    QAction* preferences = namedAction(w, "mnuPreferences", QStringLiteral("Preferences..."));
    preferences->setEnabled(static_cast<bool>(m_tools.openPreferences));
    connect(preferences, &QAction::triggered, w, [this] { m_tools.openPreferences(&m_window); });
    file->addAction(preferences);
    separator(file, "mnuFileSep2");
    QAction* exitAction = namedAction(w, "mnuFileExit", QStringLiteral("E&xit"));
    connect(exitAction, &QAction::triggered, w, &QWidget::close);
    file->addAction(exitAction);

    m_viewMenu = w->menuBar()->addMenu(QStringLiteral("&View"));
    m_viewMenu->setObjectName(QStringLiteral("mnuView"));
    connect(m_viewMenu, &QMenu::aboutToShow, w, [this] { m_commands.ViewMenuOpening(); });
    QAction* queueItem = namedAction(w, "mnuQueue", QStringLiteral("Queue"));
    queueItem->setCheckable(true);
    queueItem->setChecked(true);
    connect(queueItem, &QAction::triggered, w, [this] { m_commands.ToggleQueue(); });
    m_viewMenu->addAction(queueItem);
    separator(m_viewMenu, "mnuViewSep");
    const struct
    {
        const char* name;
        const char* text;
    } modes[] = {
        {"mnuViewLargeIcons", "Lar&ge Icons"},
        {"mnuViewSmallIcons", "S&mall Icons"},
        {"mnuViewList", "&List"},
        {"mnuViewReport", "&Detatils"},
    };
    // One choice of four: the menu shows them as radio items.
    m_viewModes = new QActionGroup(w);
    m_viewModes->setExclusionPolicy(QActionGroup::ExclusionPolicy::Exclusive);
    for (int mode = 0; mode < 4; ++mode) {
        QAction* action = namedAction(w, modes[mode].name, QLatin1String(modes[mode].text));
        action->setCheckable(true);
        action->setActionGroup(m_viewModes);
        connect(action, &QAction::triggered, w, [this, mode] { m_commands.SetView(mode); });
        m_viewMenu->addAction(action);
    }
    separator(m_viewMenu, "mnuViewSep1");
    QMenu* arrange = m_viewMenu->addMenu(QStringLiteral("Arrange Icons"));
    arrange->setObjectName(QStringLiteral("mnuViewArrange"));
    arrange->menuAction()->setObjectName(QStringLiteral("mnuViewArrange"));
    QAction* ascending = namedAction(w, "mnuViewArrangeAZ", QStringLiteral("A&scending"));
    QAction* descending = namedAction(w, "mnuViewArrangeZA", QStringLiteral("&Descending"));
    QAction* autoArrange = namedAction(w, "mnuViewArrangeAuto", QStringLiteral("&Auto Arrange"));
    for (QAction* action : {ascending, descending, autoArrange})
        action->setCheckable(true);
    connect(ascending, &QAction::triggered, w, [this] { m_commands.ArrangeAscending(); });
    connect(descending, &QAction::triggered, w, [this] { m_commands.ArrangeDescending(); });
    connect(autoArrange, &QAction::triggered, w, [this] { m_commands.ToggleAutoArrange(); });
    arrange->addAction(ascending);
    arrange->addAction(descending);
    separator(arrange, "mnuViewArrangeSep1");
    arrange->addAction(autoArrange);
    separator(m_viewMenu, "mnuViewSep2");
    QAction* refresh = namedAction(w, "mnuViewRefresh", QStringLiteral("&Refresh"));
    refresh->setShortcut(QKeySequence(Qt::Key_F5));
    connect(refresh, &QAction::triggered, w, [this] { m_commands.RefreshFileView(); });
    m_viewMenu->addAction(refresh);
    // The window keeps its shortcuts while the menu bar is hidden or closed.
    w->addAction(refresh);
}

void MainMenus::buildHelpAndQueuePopUp()
{
    QMainWindow* w = &m_window;
    QMenu* help = w->menuBar()->addMenu(QStringLiteral("&Help"));
    help->setObjectName(QStringLiteral("mnuHelp"));
    QAction* contents = namedAction(w, "mnuContents", QStringLiteral("&Contents"));
    contents->setShortcut(QKeySequence(Qt::Key_F1));
    connect(contents, &QAction::triggered, w, [this] { m_commands.Contents(); });
    help->addAction(contents);
    separator(help, "mnuSep1");
    QAction* about = namedAction(w, "mnuAbout", QStringLiteral("&About..."));
    about->setEnabled(static_cast<bool>(m_tools.openAbout));
    connect(about, &QAction::triggered, w, [this] { m_tools.openAbout(&m_window); });
    help->addAction(about);
    w->addAction(contents);

    m_queuePopUp = new QMenu(QStringLiteral("Queue"), w);
    m_queuePopUp->setObjectName(QStringLiteral("mnuQueuePopUp"));
    QAction* perform = namedAction(w, "mnuPerform", QStringLiteral("Perform Desired Actions Now..."));
    connect(perform, &QAction::triggered, w, [this] { m_commands.Perform(); });
    m_queuePopUp->addAction(perform);
    separator(m_queuePopUp, "mnuQueuePopUp1");
    QAction* remove = namedAction(w, "mnuRemoveItem", QStringLiteral("Remove Item"));
    connect(remove, &QAction::triggered, w, [this] { m_commands.RemoveItem(); });
    m_queuePopUp->addAction(remove);
    separator(m_queuePopUp, "mnuQueuePopUp2");
    QAction* clear = namedAction(w, "mnuClearQueue", QStringLiteral("Clear Queue"));
    connect(clear, &QAction::triggered, w, [this] { m_commands.ClearQueue(); });
    m_queuePopUp->addAction(clear);
}

void MainMenus::buildToolbar()
{
    QMainWindow* w = &m_window;
    m_toolbar->setObjectName(QStringLiteral("Toolbar1"));
    m_toolbar->setIconSize(QSize(16, 16));
    m_toolbar->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    m_toolbar->setMovable(false);
    m_toolbar->setFloatable(false);

    m_queueMenu = new QMenu(QStringLiteral("Queue File"), w);
    m_queueMenu->setObjectName(QStringLiteral("QueueMenu"));
    for (const zqvcore::OperationInfo& row : zqvcore::operationTable()) {
        if (*row.toolbarKey != '\0') {
            const QString key = QLatin1String(row.toolbarKey);
            QAction* button = namedAction(w, row.toolbarKey, QLatin1String(row.toolbarText));
            button->setIcon(QIcon(QStringLiteral(":/zqv/toolbar/%1.png").arg(QLatin1String(row.toolbarPicture))));
            button->setData(key);
            giveKey(button, runKey(row.operation));
            connect(button, &QAction::triggered, w, [this, key] { m_commands.ButtonClick(key); });
            m_toolbar->addAction(button);
            m_buttons[row.operation] = button;
        }
        if (*row.queueMenuName != '\0') {
            const QString word = QLatin1String(row.actionWord);
            QAction* item = namedAction(w, row.queueMenuName, QLatin1String(row.queueMenuText));
            item->setData(word);
            giveKey(item, queueKey(row.operation));
            connect(item, &QAction::triggered, w, [this, word] { m_commands.ButtonMenuClick(word); });
            m_queueMenu->addAction(item);
            m_queueItems[row.operation] = item;
        }
    }

    m_advancedMenu = new QMenu(QStringLiteral("Advanced"), w);
    m_advancedMenu->setObjectName(QStringLiteral("AdvancedMenu"));
    const struct
    {
        const char* name;
        const char* text;
        const char* key;
        QKeyCombination shortcut;
    } advancedItems[] = {
        {"mnuAdvancedHash", "View SHA/MD5 Hash Value...", "Hash", Qt::CTRL | Qt::Key_H},
        {"mnuAdvancedText", "Encrypt/Decrypt Text...", "Text", Qt::CTRL | Qt::Key_T},
    };
    for (const auto& entry : advancedItems) {
        QAction* item = namedAction(w, entry.name, QLatin1String(entry.text));
        const QString key = QLatin1String(entry.key);
        item->setData(key);
        giveKey(item, QKeySequence(entry.shortcut));
        connect(item, &QAction::triggered, w, [this, key] { m_commands.ButtonMenuClick(key); });
        m_advancedMenu->addAction(item);
    }
    m_hash = w->findChild<QAction*>(QStringLiteral("mnuAdvancedHash"));
    m_hash->setEnabled(static_cast<bool>(m_tools.openHashViewer));
    w->findChild<QAction*>(QStringLiteral("mnuAdvancedText"))->setEnabled(static_cast<bool>(m_tools.openTextTool));

    // The whole drop-down button opens its menu; its body has no command of its own.
    m_queueButton = namedAction(w, "Queue", QStringLiteral("Queue File"));
    m_advancedButton = namedAction(w, "Advanced", QStringLiteral("Advanced"));
    for (const auto& [button, picture, menu] :
         {std::tuple{m_queueButton, "queue", m_queueMenu}, std::tuple{m_advancedButton, "advanced", m_advancedMenu}}) {
        button->setIcon(QIcon(QStringLiteral(":/zqv/toolbar/%1.png").arg(QLatin1String(picture))));
        button->setData(button->objectName());
        button->setMenu(menu);
        m_toolbar->addAction(button);
        if (auto* tool = qobject_cast<QToolButton*>(m_toolbar->widgetForAction(button)))
            tool->setPopupMode(QToolButton::InstantPopup);
    }
}

void MainMenus::buildActionsMenu()
{
    // The toolbar's commands, for the keyboard: the same actions, so their
    // enabling and keys are shared.
    QMenu* actions = m_window.menuBar()->addMenu(QStringLiteral("&Actions"));
    actions->setObjectName(QStringLiteral("mnuActions"));
    for (QAction* button : m_toolbar->actions()) {
        if (button != m_queueButton && button != m_advancedButton)
            actions->addAction(button);
    }
    separator(actions, "mnuActionsSep1");
    actions->addMenu(m_queueMenu);
    actions->addMenu(m_advancedMenu);
}

void MainMenus::applyEnabling(const QString& shownName, zqvcore::ItemKind kind)
{
    const zqvcore::OperationSet fits = zqvcore::availableOperations(kind);
    // No row at all (an empty list) leaves nothing to queue either.
    const zqvcore::OperationSet byName = shownName.isEmpty()
                                             ? zqvcore::OperationSet()
                                             : zqvcore::availableOperations(zqvcore::itemKind(shownName, true, false));
    for (const auto& [operation, button] : m_buttons)
        button->setEnabled(fits.contains(operation));
    for (const auto& [operation, item] : m_queueItems)
        item->setEnabled(byName.contains(operation));
    const bool file = kind == zqvcore::ItemKind::PlainFile || kind == zqvcore::ItemKind::EncryptedFile;
    m_queueButton->setEnabled(file);
    m_queueMenu->menuAction()->setEnabled(file);
    m_hash->setEnabled(file && m_tools.openHashViewer);
}

} // namespace zqvwindow
