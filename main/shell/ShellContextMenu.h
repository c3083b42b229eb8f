#pragma once

#include <QObject>
#include <QPoint>
#include <QStringList>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "Operations.h"
#include "ShellFolder.h"

class QAction;
class QMenu;
class QWidget;

namespace zqvgui {
class Messenger;
}

namespace zqvshell {

// The context menu of one or several items of a folder: Open, the operations
// of core's table that have a context-menu entry, Copy Location, Rename..., Move to Trash and Properties. It
// starts nothing itself: operations go to the dispatch callback, opening to
// the opener. A name that text cannot carry exactly is refused with a
// message, never swapped for a look-alike.
//
// How the window uses it: make one, setDispatch(its one dispatch routine:
// run the engine for each path, then RefreshFileView), connect itemsChanged
// to RefreshFileView, setMessenger, and give it to FolderTree and FileList.
// True when the desktop names an application for the file's type or a type it
// belongs to; true as well when that cannot be asked (the opener then tells).
[[nodiscard]] bool hasDefaultApplication(const QString& path);

class ShellContextMenu : public QObject
{
    Q_OBJECT
public:
    using Dispatch = std::function<void(zqvcore::Operation, const QStringList& paths)>;
    using Opener = std::function<bool(const QString& path)>;
    using MenuRunner = std::function<QAction*(QMenu& menu, const QPoint& screenPos)>;
    using RenamePrompt = std::function<std::optional<QString>(QWidget* owner, const QString& current)>;

    explicit ShellContextMenu(QObject* parent = nullptr);
    ~ShellContextMenu() override;

    void setDispatch(Dispatch dispatch) { m_dispatch = std::move(dispatch); }
    // Default: the desktop's default application, after asking whether there
    // is one. An opener of one's own answers for itself.
    void setOpener(Opener opener)
    {
        m_opener = std::move(opener);
        m_applicationCheck = nullptr;
    }
    // Whether an application is there to open a path; nothing: do not ask.
    void setApplicationCheck(std::function<bool(const QString& path)> check) { m_applicationCheck = std::move(check); }
    // Default: the menu's own exec(). Tests pick an action instead.
    void setMenuRunner(MenuRunner runner) { m_runner = std::move(runner); }
    // Default: a text input dialog.
    void setRenamePrompt(RenamePrompt prompt) { m_renamePrompt = std::move(prompt); }
    void setMessenger(zqvgui::Messenger* messenger) { m_messenger = messenger; }

    // Shows the menu for `items` of `folder` (the first is the one under the
    // pointer) and carries out the chosen command. True when a command was
    // chosen, false when the menu was dismissed.
    bool ShowShellContextMenu(QWidget* owner,
                              const FolderPtr& folder,
                              const std::vector<ShellItem>& items,
                              const QPoint& screenPos);

    // The menu as it would be shown (actions named mnuOpen, then each
    // operation's context-menu name, mnuCopyLocation, mnuRename, mnuTrash,
    // mnuProperties), each wired to its command. An operation is enabled
    // when its rule fits every item.
    [[nodiscard]] std::unique_ptr<QMenu>
    buildMenu(QWidget* owner, const FolderPtr& folder, const std::vector<ShellItem>& items);

    // Opens one item the way a double click does; false (with a message when
    // the name cannot be carried) when nothing was opened.
    bool openItem(QWidget* owner, const ShellFolder& folder, const ShellItem& item);

    // Renames one item of a folder to `newName` with the item's exact bytes;
    // never replaces an existing entry. Shows what went wrong.
    bool renameItem(QWidget* owner, const ShellFolder& folder, const ShellItem& item, const QString& newName);

signals:
    // Something on disk changed (renamed, trashed): refresh the views.
    void itemsChanged();

private:
    zqvgui::Messenger& messenger() const;
    void refuse(QWidget* owner, const QString& name) const;
    std::optional<QStringList>
    exactPaths(QWidget* owner, const ShellFolder& folder, const std::vector<ShellItem>& items) const;
    void runOperation(QWidget* owner,
                      zqvcore::Operation operation,
                      const FolderPtr& folder,
                      const std::vector<ShellItem>& items);
    void copyLocation(QWidget* owner, const FolderPtr& folder, const std::vector<ShellItem>& items);
    void rename(QWidget* owner, const FolderPtr& folder, const ShellItem& item);
    void moveToTrash(QWidget* owner, const FolderPtr& folder, const std::vector<ShellItem>& items);
    void showProperties(QWidget* owner, const FolderPtr& folder, const ShellItem& item);

    Dispatch m_dispatch;
    Opener m_opener;
    std::function<bool(const QString& path)> m_applicationCheck;
    MenuRunner m_runner;
    RenamePrompt m_renamePrompt;
    zqvgui::Messenger* m_messenger = nullptr;
};

} // namespace zqvshell
