#include "FolderTreeModel.h"

#include <QTimer>

#include "ShellNamespace.h"

namespace zqvshell {

FolderTreeModel::FolderTreeModel(DesktopSources sources, QObject* parent)
    : QAbstractItemModel(parent)
    , m_sources(std::move(sources))
{
}

FolderTreeModel::~FolderTreeModel() = default;

FolderTreeModel::Node* FolderTreeModel::node(const QModelIndex& index) const
{
    return index.isValid() ? static_cast<Node*>(index.internalPointer()) : nullptr;
}

QModelIndex FolderTreeModel::indexOf(const Node* target) const
{
    if (target == nullptr) {
        return {};
    }
    const auto& siblings = target->parent != nullptr ? target->parent->children : m_roots;
    for (std::size_t row = 0; row < siblings.size(); ++row) {
        if (siblings[row].get() == target) {
            return createIndex(static_cast<int>(row), 0, const_cast<Node*>(target));
        }
    }
    return {};
}

QModelIndex FolderTreeModel::appendNodes(const QModelIndex& parent, std::vector<NewNode> nodes)
{
    if (nodes.empty()) {
        return {};
    }
    Node* owner = node(parent);
    auto& siblings = owner != nullptr ? owner->children : m_roots;
    const int first = static_cast<int>(siblings.size());
    beginInsertRows(parent, first, first + static_cast<int>(nodes.size()) - 1);
    siblings.reserve(siblings.size() + nodes.size());
    for (NewNode& added : nodes) {
        auto created = std::make_unique<Node>();
        created->childrenFlag = added.item.hasSubfolders;
        created->item = std::move(added.item);
        created->data = cTVItemData(std::move(added.pidlFQ), std::move(added.pidlRel));
        created->parent = owner;
        siblings.push_back(std::move(created));
    }
    endInsertRows();
    return index(first, 0, parent);
}

void FolderTreeModel::removeChildren(const QModelIndex& parent)
{
    Node* owner = node(parent);
    if (owner == nullptr || owner->children.empty()) {
        return;
    }
    beginRemoveRows(parent, 0, static_cast<int>(owner->children.size()) - 1);
    owner->children.clear();
    endRemoveRows();
}

void FolderTreeModel::clear()
{
    if (m_roots.empty()) {
        return;
    }
    beginRemoveRows({}, 0, static_cast<int>(m_roots.size()) - 1);
    m_roots.clear();
    endRemoveRows();
}

void FolderTreeModel::setChildrenFlag(const QModelIndex& index, bool flag)
{
    Node* target = node(index);
    if (target == nullptr || target->childrenFlag == flag) {
        return;
    }
    target->childrenFlag = flag;
    emit dataChanged(index, index);
    // Views keep whether a row has children from their last layout; a fresh
    // one, once the current expansion is over, drops the button.
    if (!m_layoutQueued) {
        m_layoutQueued = true;
        QTimer::singleShot(0, this, [this] {
            m_layoutQueued = false;
            emit layoutAboutToBeChanged();
            emit layoutChanged();
        });
    }
}

void FolderTreeModel::setOpen(const QModelIndex& index, bool open)
{
    Node* target = node(index);
    if (target == nullptr || target->open == open) {
        return;
    }
    target->open = open;
    emit dataChanged(index, index, {Qt::DecorationRole});
}

QModelIndex FolderTreeModel::index(int row, int column, const QModelIndex& parent) const
{
    if (column != 0 || row < 0) {
        return {};
    }
    const Node* owner = node(parent);
    const auto& siblings = owner != nullptr ? owner->children : m_roots;
    if (row >= static_cast<int>(siblings.size())) {
        return {};
    }
    return createIndex(row, 0, siblings[static_cast<std::size_t>(row)].get());
}

QModelIndex FolderTreeModel::parent(const QModelIndex& child) const
{
    const Node* target = node(child);
    return target != nullptr ? indexOf(target->parent) : QModelIndex();
}

int FolderTreeModel::rowCount(const QModelIndex& parent) const
{
    if (parent.column() > 0) {
        return 0;
    }
    const Node* owner = node(parent);
    return static_cast<int>(owner != nullptr ? owner->children.size() : m_roots.size());
}

int FolderTreeModel::columnCount(const QModelIndex&) const
{
    return 1;
}

bool FolderTreeModel::hasChildren(const QModelIndex& parent) const
{
    const Node* owner = node(parent);
    if (owner == nullptr) {
        return !m_roots.empty();
    }
    return !owner->children.empty() || owner->childrenFlag;
}

bool FolderTreeModel::canFetchMore(const QModelIndex& parent) const
{
    const Node* owner = node(parent);
    return owner != nullptr && owner->children.empty() && owner->childrenFlag && m_filler != nullptr;
}

void FolderTreeModel::fetchMore(const QModelIndex& parent)
{
    if (canFetchMore(parent)) {
        m_filler(parent);
    }
}

QVariant FolderTreeModel::data(const QModelIndex& index, int role) const
{
    const Node* target = node(index);
    if (target == nullptr) {
        return {};
    }
    switch (role) {
    case Qt::DisplayRole:
        return target->item.displayName;
    case Qt::DecorationRole:
        return itemIcon(target->item, target->open);
    case Qt::ToolTipRole:
        return target->data.pidlFQ().isEmpty() ? target->item.displayName
                                               : readablePath(GetPathFromPIDL(m_sources, target->data.pidlFQ()));
    case ItemIdRole:
        return target->item.id;
    default:
        return {};
    }
}

Qt::ItemFlags FolderTreeModel::flags(const QModelIndex& index) const
{
    return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable : Qt::NoItemFlags;
}

} // namespace zqvshell
