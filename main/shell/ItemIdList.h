#pragma once

#include <QByteArray>
#include <QMetaType>
#include <optional>
#include <vector>

namespace zqvshell {

// The address of an item in the browsing namespace: a sequence of items from
// the desktop down; the empty list names the desktop itself. Each item's bytes
// mean something only to the folder that produced it (a file-system folder
// keeps the exact name bytes, so a name that is not valid UTF-8 survives).
// A plain value: copy it, compare it, keep it; nothing to free.
//
// How the window uses it: take a node's or a row's list from the tree or the
// list, pass it back to SetTreeRoot, BrowseForFolder or FillFileView.
class ItemIdList
{
public:
    ItemIdList() = default;
    // A list of one item.
    [[nodiscard]] static ItemIdList single(QByteArray item);

    [[nodiscard]] bool isEmpty() const { return m_items.empty(); }
    [[nodiscard]] int count() const { return static_cast<int>(m_items.size()); }
    // Bytes the list would take in a flat form (two per item plus the item,
    // plus two for the end), for callers that budget memory.
    [[nodiscard]] qsizetype byteSize() const;

    // The n-th item (1-based) as a list of one; beyond the count, or -1, the
    // last one. The desktop's copy is the desktop (the empty list).
    [[nodiscard]] ItemIdList itemAt(int n) const;
    [[nodiscard]] ItemIdList lastItem() const { return itemAt(-1); }
    // The bytes of the n-th item (0-based); an empty array when out of range.
    [[nodiscard]] QByteArray itemBytes(int index) const;

    // All but the last item. The desktop has no parent: nothing unless
    // keepEmpty, in which case the desktop is its own parent.
    [[nodiscard]] std::optional<ItemIdList> parent(bool keepEmpty) const;

    // The items of a followed by those of b.
    [[nodiscard]] static ItemIdList combine(const ItemIdList& a, const ItemIdList& b);

    [[nodiscard]] const std::vector<QByteArray>& items() const { return m_items; }

    friend bool operator==(const ItemIdList&, const ItemIdList&) = default;

private:
    std::vector<QByteArray> m_items;
};

} // namespace zqvshell

Q_DECLARE_METATYPE(zqvshell::ItemIdList)
