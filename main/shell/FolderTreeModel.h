#pragma once

#include <QAbstractItemModel>
#include <functional>
#include <memory>
#include <vector>

#include "DesktopFolder.h"
#include "ShellItem.h"
#include "cTVItemData.h"

namespace zqvshell {

// How the window uses it: never directly; FolderTree owns it over TreeView1.

// The folder tree's nodes, filled one level at a time: a node says it may
// have children (from the has-subfolders attribute) until its first expansion
// finds none. FolderTree does the filling; the view's first expansion of a
// node asks for it through fetchMore.
class FolderTreeModel : public QAbstractItemModel
{
    Q_OBJECT
public:
    struct Node
    {
        cTVItemData data;
        ShellItem item;
        Node* parent = nullptr;
        std::vector<std::unique_ptr<Node>> children;
        bool childrenFlag = false; // shows the expand button
        bool open = false;         // expanded or selected: the open-folder picture
    };
    struct NewNode
    {
        ShellItem item;
        ItemIdList pidlFQ;
        ItemIdList pidlRel;
    };

    enum Role { ItemIdRole = Qt::UserRole + 1 };

    explicit FolderTreeModel(DesktopSources sources, QObject* parent = nullptr);
    ~FolderTreeModel() override;

    // Called for the first expansion of a node without children.
    void setFiller(std::function<void(const QModelIndex&)> filler) { m_filler = std::move(filler); }

    [[nodiscard]] Node* node(const QModelIndex& index) const;
    [[nodiscard]] QModelIndex indexOf(const Node* node) const;
    // Appends nodes under `parent` (invalid: top level) in the order given.
    QModelIndex appendNodes(const QModelIndex& parent, std::vector<NewNode> nodes);
    void removeChildren(const QModelIndex& parent);
    void clear();
    // The expand button goes when the node's first expansion found nothing.
    void setChildrenFlag(const QModelIndex& index, bool flag);
    void setOpen(const QModelIndex& index, bool open);

    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    bool hasChildren(const QModelIndex& parent = {}) const override;
    bool canFetchMore(const QModelIndex& parent) const override;
    void fetchMore(const QModelIndex& parent) override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

private:
    DesktopSources m_sources; // for the nodes' paths
    std::vector<std::unique_ptr<Node>> m_roots;
    std::function<void(const QModelIndex&)> m_filler;
    bool m_layoutQueued = false;
};

} // namespace zqvshell
