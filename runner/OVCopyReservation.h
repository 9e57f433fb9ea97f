// SPDX-License-Identifier: GPL-3.0-or-later
// What one copy makes before it begins: the copy's own top item, hidden beside the destination
// until it is complete, and, unless the copy is to replace what is at the destination, the
// destination's name held by an empty file. Held names keep two copies of one run (or of two
// runs) from choosing the same free name.
#pragma once

#include "platform/FileOutcome.h"
#include "platform/ReservedCopy.h"

#include <atomic>
#include <optional>
#include <string>

struct OVCopyReservation {
    ov::ReservedCopy copy;
    std::optional<ov::ReservedCopy> name; // none: the copy replaces the item at the destination
    std::string destination;

    // DestinationExists when the name is taken and replacing is off; nothing stays made when it
    // fails.
    static ov::MoveResult reserve(const std::string& source, const std::string& destination, bool replacesDestination,
                                  OVCopyReservation* reservation);

    // Fills the copy and puts it at the destination; on failure (ECANCELED once *cancelled is
    // set) everything made is removed and the source and the destination are as they were.
    ov::MoveResult perform(const std::atomic<bool>& cancelled) const;

    // Removes what was made, while it is still ours.
    void remove() const;
};
