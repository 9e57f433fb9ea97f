// SPDX-License-Identifier: GPL-3.0-or-later
// Small changes to one item: an empty file that claims a name, a new modification time, removal.
#pragma once

#include "platform/FileOutcome.h"

#include <string>

namespace ov {

// Creates an empty file of the current user where nothing exists yet, claiming the name
// (DestinationExists when something is there, a dangling link too).
MoveResult createEmptyFile(const std::string& path);

// Removes a file only while it is still an empty regular file (a claimed name never filled).
bool removeEmptyFile(const std::string& path);

// Sets the modification (and access) time of an item to now.
bool touchItem(const std::string& path);

// Removes an item and everything below it.
bool removeItem(const std::string& path, FileError* error);

// Whether the current user may create entries in a folder.
bool isWritableFolder(const std::string& path);

} // namespace ov
