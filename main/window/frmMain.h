#pragma once

#include <QMainWindow>
#include <QPointer>
#include <QStringList>
#include <functional>
#include <memory>
#include <optional>

#include "DesktopFolder.h"
#include "ItemIdList.h"
#include "MainWindowTools.h"
#include "MenuCommands.h"
#include "Operations.h"
#include "QueueModel.h"
#include "RunAndWait.h"
#include "SettingsError.h"
#include "SortProtocol.h"

class QAction;
class QFrame;
class QMenu;
class QMimeData;
class QToolBar;
class QToolButton;
class QTreeView;

namespace zqvgui {
class Messenger;
}

namespace zqvshell {
class FileList;
class FileListView;
class FolderTree;
class ShellContextMenu;
class cLVHeaderSortIcons;
class cVSplitter;
} // namespace zqvshell

namespace zqvwindow {

class MainMenus;
class MainSettings;

// The one top-level window of zqv: folder tree, file list, queue and toolbar.
// Every command is a public routine, so tests run them without clicking.
class frmMain : public QMainWindow, public MenuCommands
{
    Q_OBJECT
public:
    frmMain(QString programFolder,
            MainSettings& settings,
            zqvgui::Messenger& messenger,
            QString queueFile,
            MainWindowTools tools,
            zqvshell::DesktopSources desktop = zqvshell::defaultDesktopSources(),
            QWidget* parent = nullptr);
    ~frmMain() override;

    // Start-up: settings, layout, tree and list, view mode, queue.
    void Form_Load();

    // The file list's item click: which operations fit the row.
    void ListItemClick(int row);
    // A toolbar button by its key; a drop-down item by its key.
    void ButtonClick(const QString& key) override;
    void ButtonMenuClick(const QString& key) override;
    // The one way an operation starts, from the toolbar and the context menu:
    // the engine for each path in turn, then the views refreshed.
    void Dispatch(zqvcore::Operation operation, const QStringList& paths);
    void RefreshFileView() override;
    void Contents() override;

    // Queue.
    [[nodiscard]] bool CheckQueueForDuplicates(const QString& FileName) const;
    void QueueSelected(const QString& actionWord);
    bool DropOnQueue(const QMimeData* data, const QObject* source);
    void QueuePopUpOpening();
    void Perform() override;
    void RemoveItem() override;
    void ClearQueue() override;
    void ToggleQueue() override;
    void LayoutQueuePane(bool shown);

    // Views, sorting, root.
    void SetView(int mode) override;
    void ViewMenuOpening() override;
    void ArrangeAscending() override;
    void ArrangeDescending() override;
    void ToggleAutoArrange() override;
    void ColumnClick(int column); // zero-based
    void ApplySort();
    void ChangeRoot() override;

    [[nodiscard]] zqvshell::cLVHeaderSortIcons& HdrIcons();
    [[nodiscard]] const SortProtocol& sortProtocol() const { return m_sort; }
    [[nodiscard]] EngineRunner& engineRunner() { return m_runner; }
    [[nodiscard]] class EngineDispatch& engineDispatch() { return *m_engine; }
    [[nodiscard]] zqvcore::QueueModel& queue() { return m_queue; }
    [[nodiscard]] zqvshell::FileList* fileList() const { return m_list; }
    [[nodiscard]] zqvshell::FileListView* listView() const { return m_listView; }
    [[nodiscard]] zqvshell::FolderTree* folderTree() const { return m_tree; }
    [[nodiscard]] QTreeView* treeView() const { return m_treeView; }
    [[nodiscard]] zqvshell::ShellContextMenu* contextMenu() const { return m_contextMenu; }
    [[nodiscard]] zqvshell::cVSplitter* splitter() const { return m_splitter; }
    [[nodiscard]] const QString& programFolder() const { return m_programFolder; }

    // Shutdown: the queue saved, every wait abandoned, the program ends.
    void Form_Unload();

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    [[nodiscard]] zqvcore::ItemKind selectedKind() const;
    void joinPanes();
    [[nodiscard]] QString selectedTag() const;
    [[nodiscard]] QString readSetting(const char* section, const char* key, const char* defaultValue);
    void writeSetting(const char* section, const char* key, const QString& value);
    void showSettingsProblem(const zqvcore::SettingsError& problem);
    void showError(const QString& text);
    bool addToQueue(const QString& path, const QString& actionWord);
    void layOutInner();

    QString m_programFolder;
    zqvshell::DesktopSources m_desktop;
    MainSettings& m_settings;
    zqvgui::Messenger& m_messenger;
    QString m_queueFile;
    MainWindowTools m_tools;
    bool m_loading = false;
    bool m_settingsProblemShown = false;
    bool m_unloaded = false;

    QWidget* m_inner;
    QToolBar* m_toolbar = nullptr;
    QTreeView* m_treeView;
    zqvshell::FileListView* m_listView;
    QFrame* m_bar;
    QTreeView* m_queueView;
    zqvshell::FolderTree* m_tree;
    zqvshell::FileList* m_list;
    zqvshell::ShellContextMenu* m_contextMenu;
    zqvshell::cVSplitter* m_splitter = nullptr;
    std::unique_ptr<zqvshell::cLVHeaderSortIcons> m_headerIcons;
    zqvcore::QueueModel m_queue;
    EngineRunner m_runner;
    SortProtocol m_sort;

    MainMenus* m_menus = nullptr;
    QMenu* m_queuePopUp = nullptr;
    class EngineDispatch* m_engine = nullptr;
};

} // namespace zqvwindow
