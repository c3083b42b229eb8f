#pragma once

#include "ItemIdList.h"

namespace zqvshell {

// How the window uses it: RefreshFileView reads the selected node's data
// (FolderTree::GetTreeItemData) and passes both lists to FileList::FillFileView;
// Change Root reads the root node's list as the picker's start.

// A tree node's two lists: where it is from the desktop, and its own item
// relative to its parent folder.
class cTVItemData
{
public:
    cTVItemData() = default;
    cTVItemData(ItemIdList fq, ItemIdList rel)
        : m_pidlFQ(std::move(fq))
        , m_pidlRel(std::move(rel))
    {
    }

    [[nodiscard]] const ItemIdList& pidlFQ() const { return m_pidlFQ; }
    void setPidlFQ(ItemIdList list) { m_pidlFQ = std::move(list); }
    [[nodiscard]] const ItemIdList& pidlRel() const { return m_pidlRel; }
    void setPidlRel(ItemIdList list) { m_pidlRel = std::move(list); }

private:
    ItemIdList m_pidlFQ;
    ItemIdList m_pidlRel;
};

} // namespace zqvshell
