// SPDX-License-Identifier: GPL-3.0-or-later
// Free names for files that actions create, and the shared folder of a selection.
#pragma once

#include "platform/FileOutcome.h"

#include <functional>
#include <optional>
#include <string>
#include <vector>

// The path itself when nothing exists there, else the first free "<base> <N><.ext>" beside it,
// counting from 2. A dangling symbolic link counts as existing.
std::string hl_nextAvailablePath(const std::string& path);

// "<base> <number><.ext>" for a last path component: the one naming rule for every free name.
std::string hl_numberedName(const std::string& component, long number);

// The deepest folder shared by the paths; a single path gives its parent folder, no paths none.
std::optional<std::string> hl_commonAncestorWithPaths(const std::vector<std::string>& paths);

// The extension of the last component without its dot ("" for none, for ".profile" and for "name.").
std::string hl_pathExtension(const std::string& path);

// Puts an item at the first free name for `wanted` with place(target), which must never replace
// anything (it answers DestinationExists instead). An item that turns up at the chosen name first
// only sends the search on to the next free name. *placedAt is the name used.
ov::MoveResult hl_placeAtNextAvailablePath(const std::string& wanted,
                                           const std::function<ov::MoveResult(const std::string& target)>& place,
                                           std::string* placedAt);
