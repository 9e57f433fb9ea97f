// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/OVRowReorder.h"

#include <algorithm>
#include <set>

namespace ovsettings {

Reordered moveRowByOne(const OVActionList& list, unsigned from, int delta)
{
    Reordered result{list, from, 1};
    if (from >= list.size())
        return result;
    const std::size_t to = delta < 0 ? (from == 0 ? 0 : from - 1) : std::min(list.size() - 1, std::size_t(from) + 1);
    OVActionPtr moving = result.list[from];
    result.list.erase(result.list.begin() + long(from));
    result.list.insert(result.list.begin() + long(to), moving);
    result.at = unsigned(to);
    return result;
}

std::vector<unsigned> blockRows(unsigned first, unsigned count)
{
    std::vector<unsigned> rows;
    for (unsigned i = 0; i < count; ++i)
        rows.push_back(first + i);
    return rows;
}

Reordered moveRowsToGap(const OVActionList& list, const std::vector<unsigned>& draggedRows, unsigned row)
{
    std::set<unsigned> dragged;
    for (unsigned r : draggedRows)
        if (r < list.size())
            dragged.insert(r);
    const unsigned above = unsigned(std::count_if(dragged.begin(), dragged.end(), [&](unsigned r) { return r < row; }));
    OVActionList moving, staying;
    for (unsigned i = 0; i < list.size(); ++i)
        (dragged.count(i) ? moving : staying).push_back(list[i]);
    Reordered result;
    result.at = row - above;
    result.count = unsigned(moving.size());
    staying.insert(staying.begin() + long(result.at), moving.begin(), moving.end());
    result.list = std::move(staying);
    return result;
}

} // namespace ovsettings
