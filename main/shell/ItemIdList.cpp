#include "ItemIdList.h"

namespace zqvshell {

ItemIdList ItemIdList::single(QByteArray item)
{
    ItemIdList list;
    list.m_items.push_back(std::move(item));
    return list;
}

qsizetype ItemIdList::byteSize() const
{
    qsizetype size = 2;
    for (const QByteArray& item : m_items) {
        size += 2 + item.size();
    }
    return size;
}

ItemIdList ItemIdList::itemAt(int n) const
{
    if (m_items.empty()) {
        return {};
    }
    const std::size_t index = (n < 1 || n > count()) ? m_items.size() - 1 : static_cast<std::size_t>(n - 1);
    return single(m_items[index]);
}

QByteArray ItemIdList::itemBytes(int index) const
{
    if (index < 0 || index >= count()) {
        return {};
    }
    return m_items[static_cast<std::size_t>(index)];
}

std::optional<ItemIdList> ItemIdList::parent(bool keepEmpty) const
{
    if (m_items.empty()) {
        return keepEmpty ? std::optional<ItemIdList>(ItemIdList()) : std::nullopt;
    }
    ItemIdList result;
    result.m_items.assign(m_items.begin(), m_items.end() - 1);
    return result;
}

ItemIdList ItemIdList::combine(const ItemIdList& a, const ItemIdList& b)
{
    ItemIdList result = a;
    result.m_items.insert(result.m_items.end(), b.m_items.begin(), b.m_items.end());
    return result;
}

} // namespace zqvshell
