#include "FolderTree.h"

#include <QItemSelectionModel>
#include <QTreeView>
#include <algorithm>

#include "FolderTreeModel.h"
#include "ShellContextMenu.h"
#include "ShellNamespace.h"
#include "WorkRunner.h"

namespace zqvshell {

FolderTree::FolderTree(QTreeView* tree, DesktopSources sources, QObject* parent)
    : ShellPane(tree, std::move(sources), parent)
    , m_tree(tree)
    , m_model(new FolderTreeModel(this->sources(), this))
{
    m_model->setFiller([this](const QModelIndex& node) { FillTreeChildren(node); });
    m_tree->setModel(m_model);
    m_tree->setHeaderHidden(true);
    m_tree->setUniformRowHeights(true);
    m_tree->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_tree->setSelectionMode(QAbstractItemView::SingleSelection);
    m_tree->setIndentation(19);
    m_tree->setTextElideMode(Qt::ElideMiddle);
    connect(m_tree, &QTreeView::expanded, this, &FolderTree::updateOpen);
    connect(m_tree, &QTreeView::collapsed, this, &FolderTree::updateOpen);
    connect(m_tree->selectionModel(),
            &QItemSelectionModel::currentChanged,
            this,
            [this](const QModelIndex& current, const QModelIndex& previous) {
                updateOpen(previous);
                updateOpen(current);
            });
}

// The route ends before the rest of the pane, which its handler uses.
FolderTree::~FolderTree()
{
    uninstall();
}

void FolderTree::updateOpen(const QModelIndex& index)
{
    if (index.isValid()) {
        m_model->setOpen(index, m_tree->isExpanded(index) || m_tree->currentIndex() == index);
    }
}

QModelIndex FolderTree::SetTreeRoot(const ItemIdList& root)
{
    ClearTree();
    const ItemIdList pidlRel = root.lastItem();
    const FolderPtr parentFolder = GetParentFolder(sources(), root);
    const QModelIndex node = AddTreeNode({}, *parentFolder, root, pidlRel);
    if (!node.isValid()) {
        return {};
    }
    m_tree->setCurrentIndex(node);
    // Read the first level now rather than at the view's next layout, so the
    // caller finds it there.
    FillTreeChildren(node);
    m_tree->expand(node);
    return node;
}

void FolderTree::ClearTree()
{
    const QModelIndex root = rootNode();
    if (root.isValid()) {
        m_tree->collapse(root);
    }
    m_model->clear();
}

void FolderTree::PruneCollapsedNodes(const QModelIndex& first)
{
    QModelIndex node = first.isValid() ? first : m_model->index(0, 0);
    const QModelIndex parent = node.parent();
    for (int row = node.row(); node.isValid(); node = m_model->index(++row, 0, parent)) {
        if (m_tree->isExpanded(node)) {
            if (m_model->rowCount(node) > 0) {
                PruneCollapsedNodes(m_model->index(0, 0, node));
            }
        } else if (m_model->rowCount(node) > 0) {
            // It had subfolders a moment ago: keep its button even where the
            // link count said otherwise when it was added.
            m_model->removeChildren(node);
            m_model->setChildrenFlag(node, true);
        }
    }
}

const cTVItemData* FolderTree::GetTreeItemData(const QModelIndex& node) const
{
    const FolderTreeModel::Node* target = m_model->node(node);
    return target != nullptr ? &target->data : nullptr;
}

QModelIndex FolderTree::AddTreeNode(const QModelIndex& parentNode,
                                    const ShellFolder& folder,
                                    const ItemIdList& pidlFQ,
                                    const ItemIdList& pidlRel)
{
    std::optional<ShellItem> item;
    if (pidlRel.isEmpty()) {
        item = folder.pidl().isEmpty() ? std::optional<ShellItem>(DesktopFolder::rootItem()) : std::nullopt;
    } else {
        item = folder.describe(pidlRel.itemBytes(pidlRel.count() - 1));
    }
    if (!item) {
        return {};
    }
    std::vector<FolderTreeModel::NewNode> nodes;
    nodes.push_back({std::move(*item), pidlFQ, pidlRel});
    return m_model->appendNodes(parentNode, std::move(nodes));
}

bool FolderTree::FillTreeChildren(const QModelIndex& node)
{
    FolderTreeModel::Node* target = m_model->node(node);
    if (target == nullptr || !target->children.empty()) {
        return target != nullptr;
    }
    const zqvgui::BusyCursor busy;
    const FolderPtr folder = GetFolderFromPIDL(sources(), target->data.pidlFQ());
    std::vector<ShellItem> items = folder->enumerate(EnumFlag::Folders | EnumFlag::IncludeHidden);
    if (items.empty()) {
        m_model->setChildrenFlag(node, false);
        return false;
    }
    std::sort(items.begin(), items.end(), [&](const ShellItem& a, const ShellItem& b) {
        return folder->compare(0, a, b) < 0;
    });
    std::vector<FolderTreeModel::NewNode> nodes;
    nodes.reserve(items.size());
    const ItemIdList& base = target->data.pidlFQ();
    for (ShellItem& item : items) {
        ItemIdList rel = ItemIdList::single(item.id);
        ItemIdList fq = ItemIdList::combine(base, rel);
        nodes.push_back({std::move(item), std::move(fq), std::move(rel)});
    }
    m_model->appendNodes(node, std::move(nodes));
    return true;
}

int FolderTree::CompareTreeItems(const QModelIndex& a, const QModelIndex& b, const ShellFolder& folder) const
{
    const FolderTreeModel::Node* first = m_model->node(a);
    const FolderTreeModel::Node* second = m_model->node(b);
    if (first == nullptr || second == nullptr) {
        return 0;
    }
    return folder.compare(0, first->item, second->item);
}

bool FolderTree::TreeViewNotify(const ViewNotification& notification)
{
    const FolderTreeModel::Node* target = m_model->node(notification.index);
    switch (notification.code) {
    case NotifyCode::SelChanged:
        if (target != nullptr) {
            emit folderSelected(target->data.pidlFQ(), target->data.pidlRel());
        }
        return false;
    case NotifyCode::ItemExpanding:
        if (target != nullptr && target->children.empty() && target->childrenFlag) {
            FillTreeChildren(notification.index);
        }
        return false;
    case NotifyCode::RClick: {
        // The desktop itself gets no menu.
        ShellContextMenu* menu = contextMenu();
        if (target == nullptr || target->data.pidlFQ().isEmpty() || menu == nullptr) {
            return false;
        }
        const FolderPtr parent = GetParentFolder(sources(), target->data.pidlFQ());
        const QPoint screen = m_tree->viewport()->mapToGlobal(notification.pos);
        return !menu->ShowShellContextMenu(m_tree, parent, {target->item}, screen);
    }
    default:
        return false;
    }
}

QModelIndex FolderTree::selectedNode() const
{
    return m_tree->currentIndex();
}

QModelIndex FolderTree::rootNode() const
{
    return m_model->index(0, 0);
}

bool FolderTree::selectChild(const QModelIndex& parent, const QByteArray& id)
{
    if (!parent.isValid()) {
        return false;
    }
    m_tree->expand(parent);
    FillTreeChildren(parent);
    for (int row = 0; row < m_model->rowCount(parent); ++row) {
        const QModelIndex child = m_model->index(row, 0, parent);
        if (m_model->node(child)->item.id == id) {
            m_tree->setCurrentIndex(child);
            m_tree->scrollTo(child);
            return true;
        }
    }
    return false;
}

} // namespace zqvshell
