// SPDX-License-Identifier: GPL-3.0-or-later
// What a file operation did: done, refused because something is at the destination, or failed
// with the reason.
#pragma once

#include <optional>
#include <string>

namespace ov {

struct FileError {
    int code = 0; // errno
    std::string message;
};

enum class FileOutcome {
    Done,
    DestinationExists, // only without replacing: something is at the destination, nothing changed
    Failed,
};

struct MoveResult {
    FileOutcome outcome = FileOutcome::Failed;
    FileError error;
    // Replacing: the new item is in place but the old one could not be removed completely.
    std::optional<FileError> oldItemError;
    // Across file systems the copy is complete at the destination but the source could not be
    // removed completely; the outcome is then Failed and the destination stays.
    bool destinationKept = false;
};


} // namespace ov
