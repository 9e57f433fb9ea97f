// SPDX-License-Identifier: GPL-3.0-or-later
// Copies made in two steps: the top item is reserved beside its destination first, filled on a
// worker thread, then put in place of the destination or of a reserved name.
#pragma once

#include "platform/FileOutcome.h"
#include "platform/ReservedCopy.h"

#include <atomic>
#include <string>

namespace ov {

// Holds the name dst with an empty file: DestinationExists when something is there.
MoveResult reserveName(const std::string& dst, ReservedCopy* reserved);

// Makes the top item of a copy of src (a link at src is copied as the link) under a hidden
// temporary name beside dst. A folder is never copied into itself, and only files, folders and
// links are copied.
MoveResult reserveCopyBeside(const std::string& src, const std::string& dst, ReservedCopy* reserved);

// Fills a reserved copy: contents (cloned where the file system can), modes and modification
// times. Links inside are copied as links and never entered; FIFOs, sockets and devices inside
// are left out. Stops with ECANCELED once *cancelled is set. A failed copy is removed again.
MoveResult fillCopy(const ReservedCopy& reserved, const std::atomic<bool>* cancelled);

// Removes a reserved item with everything in it, if it is still the item that was reserved.
bool removeCopy(const ReservedCopy& reserved, FileError* error);

// Puts the item at `incoming` at a reserved name, in place of the reservation only: an item that
// took the name meanwhile stays (EEXIST).
MoveResult replaceReservation(const std::string& incoming, const ReservedCopy& name);

} // namespace ov
