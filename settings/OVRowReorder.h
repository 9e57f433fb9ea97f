// SPDX-License-Identifier: GPL-3.0-or-later
// Reordering the rows of an action table: one row a place up or down, or dragged rows as one
// block into a gap.
#pragma once

#include "model/OVAction.h"

#include <vector>

namespace ovsettings {

// The list with the dragged rows (numbers outside it ignored) moved as one block into the gap
// above `row`, and where the block starts.
struct Reordered {
    OVActionList list;
    unsigned at = 0;
    unsigned count = 0;
};
// The list with the row at `from` moved one place up (delta < 0) or down, staying put at either end.
Reordered moveRowByOne(const OVActionList& list, unsigned from, int delta);
// The rows of a block that starts at `first`.
std::vector<unsigned> blockRows(unsigned first, unsigned count);
Reordered moveRowsToGap(const OVActionList& list, const std::vector<unsigned>& dragged, unsigned row);

} // namespace ovsettings
