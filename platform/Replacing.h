// SPDX-License-Identifier: GPL-3.0-or-later
// Whether putting one item in the place of another would lose what is being moved.
#pragma once

#include "platform/FileOutcome.h"

#include <string>

namespace ov {

// What replacing the item at dst by src would do. The items are judged by identity (device and
// inode), with the folders on their way resolved, so other names for them (links, bind mounts) are
// seen through.
enum class Replacing {
    Allowed,  // nothing at dst, or an item that is neither src nor holds it
    SameItem, // dst is src itself: there is nothing to replace
    Refused,  // dst holds src, or src is a link that leads to dst or into it: replacing loses it
};
Replacing judgeReplacing(const std::string& src, const std::string& dst, FileError* why = nullptr);

} // namespace ov
