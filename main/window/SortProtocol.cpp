#include "SortProtocol.h"

#include <cstdlib>

namespace zqvwindow {

int SortProtocol::rememberedDirection(int column) const
{
    if (column < 0 || static_cast<std::size_t>(column) >= m_directions.size())
        return 0;
    return m_directions[static_cast<std::size_t>(column)];
}

void SortProtocol::headerClicked(int column)
{
    if (column < 0)
        return;
    if (static_cast<std::size_t>(column) >= m_directions.size())
        m_directions.resize(static_cast<std::size_t>(column) + 1, 0);
    int& direction = m_directions[static_cast<std::size_t>(column)];
    if (column == m_sortColumn)
        direction = ~direction;
    m_sortOrder = std::abs(direction);
    m_sortColumn = column;
}

unsigned SortProtocol::sortParameter() const
{
    return static_cast<unsigned>(m_sortColumn) | (m_sortOrder != 0 ? 0x80000000u : 0u);
}

} // namespace zqvwindow
