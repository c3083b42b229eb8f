#pragma once

#include <QModelIndex>
#include <QObject>

#include "DesktopFolder.h"
#include "ShellFolder.h"
#include "ShellPane.h"
#include "ViewNotification.h"
#include "cTVItemData.h"

class QTreeView;

namespace zqvshell {

class FolderTreeModel;

// The folder tree: folders only (hidden ones too), one level read per first
// expansion, siblings in their folder's name order. Selecting a node reports
// it (folderSelected); a right click on a node (not the desktop) opens the
// context menu.
//
// How the window uses it: FolderTree tree(TreeView1); connect folderSelected
// to FileList::FillFileView; tree.setContextMenu(...); tree.install() (routes the view's events to
// TreeViewNotify); SetTreeRoot(ItemIdList()) at start-up; for RefreshFileView:
// PruneCollapsedNodes(), then GetTreeItemData(selectedNode()) and
// FileList::FillFileView with its lists; uninstall() and ClearTree() at unload.
class FolderTree : public ShellPane
{
    Q_OBJECT
public:
    // `sources`: where the desktop root finds its entries.
    FolderTree(QTreeView* tree, DesktopSources sources, QObject* parent = nullptr);
    ~FolderTree() override;

    [[nodiscard]] QTreeView* view() const { return m_tree; }
    [[nodiscard]] FolderTreeModel* model() const { return m_model; }
    // Makes `root` the single node, selects and expands it. The new node, or
    // an invalid index when the root cannot be described.
    QModelIndex SetTreeRoot(const ItemIdList& root);
    void ClearTree();
    // Drops the children of every collapsed node (from `first` and its
    // following siblings down; invalid: the top level) so the next expansion
    // reads the folder again.
    void PruneCollapsedNodes(const QModelIndex& first = {});
    [[nodiscard]] const cTVItemData* GetTreeItemData(const QModelIndex& node) const;
    // Adds a node for item `pidlRel` of `folder` as the last child of
    // `parentNode` (invalid: top level).
    QModelIndex AddTreeNode(const QModelIndex& parentNode,
                            const ShellFolder& folder,
                            const ItemIdList& pidlFQ,
                            const ItemIdList& pidlRel);
    // Reads a node's subfolders (the first expansion). False when it has none:
    // its expand button then goes.
    bool FillTreeChildren(const QModelIndex& node);
    // Order of two sibling nodes in `folder`.
    [[nodiscard]] int CompareTreeItems(const QModelIndex& a, const QModelIndex& b, const ShellFolder& folder) const;
    // True when the notification was consumed.
    bool TreeViewNotify(const ViewNotification& notification);

    [[nodiscard]] QModelIndex selectedNode() const;
    [[nodiscard]] QModelIndex rootNode() const;
    // Expands `parent` and selects its child with these item bytes. False when
    // there is no such child.
    bool selectChild(const QModelIndex& parent, const QByteArray& id);

signals:
    // A node became the selected one: the folder to show.
    void folderSelected(const ItemIdList& pidlFQ, const ItemIdList& pidlRel);

private:
    bool notify(const ViewNotification& notification) override { return TreeViewNotify(notification); }
    void updateOpen(const QModelIndex& index);

    QTreeView* m_tree;
    FolderTreeModel* m_model;
};

} // namespace zqvshell
