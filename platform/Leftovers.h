// SPDX-License-Identifier: GPL-3.0-or-later
// What an interrupted copy, move or archive leaves behind, and removing it again: hidden items of
// our own naming pattern and empty files that held a name. Nothing else is ever removed.
#pragma once

#include <sys/types.h>

#include <ctime>
#include <string>
#include <string_view>

namespace ov {

// Whether a name is one of the hidden temporary names the copy engine and the archive writer
// choose: ".orvane-" with 16 hex digits, "-" and a count, or ".orvane-zip-" with 8 hex digits.
bool isOurTemporaryName(std::string_view name);

struct TemporarySweep {
    int removed = 0;
    int kept = 0; // changed since `before`, or could not be removed
};

// Removes, with everything inside, every item directly in folder whose name is one of ours and
// that has not changed since `before` (an item still being written keeps changing).
TemporarySweep removeOurTemporaries(const std::string& folder, const struct timespec& before);

// Removes the file at path only while it is the very file that held the name (same device and
// inode) and is still an empty regular file: a name a user has since written to stays.
bool removeHeldName(const std::string& path, dev_t dev, ino_t ino);

} // namespace ov
