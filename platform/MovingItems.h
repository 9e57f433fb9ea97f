// SPDX-License-Identifier: GPL-3.0-or-later
// Moving and copying items so that nothing the user did not ask to replace is ever replaced, and
// a failed operation leaves the items as they were.
#pragma once

#include "platform/FileOutcome.h"

#include <functional>
#include <string>

namespace ov {

// Moves src to dst. With noReplace an existing item at dst is never touched (DestinationExists).
// Without it, an item at dst is replaced only once src is in place beside it (atomic rename for
// files, an exchange for folders and mixed kinds), and never when that would lose src
// (judgeReplacing refuses: EINVAL). Across file systems the item is copied with modes, times,
// links and folders under a hidden temporary name beside dst, checked, flushed to disk, put at
// dst, and only then removed at the source; a failed copy is removed again and the source stays.
MoveResult moveItem(const std::string& src, const std::string& dst, bool noReplace);

// Copies src (following a symbolic link at src itself) to a dst that must not exist yet: never
// overwrites (DestinationExists). The copy is a new item of the current user: no owner or set-id
// bits are carried over. A failed copy is removed again.
MoveResult copyItem(const std::string& src, const std::string& dst);

// Puts the item at `incoming` (beside dst) at dst in place of what is there. The old item goes
// only once the new one is in place (its removal failing shows as oldItemError); on failure
// both stay where they were.
MoveResult replaceItem(const std::string& incoming, const std::string& dst);

// For tests: while alive, a move across file systems calls the hook with the source once the
// copy is complete and before the source is removed, so a test can change the source there.
class ScopedMoveAcrossHook {
public:
    explicit ScopedMoveAcrossHook(std::function<void(const std::string& src)> hook);
    ~ScopedMoveAcrossHook();
    ScopedMoveAcrossHook(const ScopedMoveAcrossHook&) = delete;
    ScopedMoveAcrossHook& operator=(const ScopedMoveAcrossHook&) = delete;
};

} // namespace ov
