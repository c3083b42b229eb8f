#pragma once

#include <vector>

namespace zqvwindow {

// The file list's sort column and order, and each column's remembered
// direction (0 ascending, -1 descending) that a header click flips.
class SortProtocol
{
public:
    [[nodiscard]] int sortColumn() const { return m_sortColumn; }
    [[nodiscard]] int sortOrder() const { return m_sortOrder; } // 0 ascending, 1 descending
    [[nodiscard]] int rememberedDirection(int column) const;

    // A click on the header of the zero-based `column`: the same column again
    // flips its direction; another one sorts in the direction it had last.
    void headerClicked(int column);
    // Ascending (0) or Descending (1) from the menu: the columns' memory stays.
    void setSortOrder(int order) { m_sortOrder = order == 0 ? 0 : 1; }

    // What the comparison receives: the column, with the top bit when descending.
    [[nodiscard]] unsigned sortParameter() const;

private:
    int m_sortColumn = 0;
    int m_sortOrder = 0;
    std::vector<int> m_directions;
};

} // namespace zqvwindow
