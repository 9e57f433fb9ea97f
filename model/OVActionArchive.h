// SPDX-License-Identifier: GPL-3.0-or-later
// Action lists in keyed archives: the store's file and the children of groups. Reading makes the
// kinds through the catalogue of OVAction::emptyInstanceOfClass; an action of a kind outside it
// (one whose class chain holds OVAction) becomes an OVUnknownAction, written back as read. Any
// other class corrupts the archive.
#pragma once

#include "model/OVAction.h"

#include <optional>
#include <string>
#include <string_view>

namespace OVActionArchive {

std::string archivedDataWithRootActions(const OVActionList& actions);
// The root list of actions; none (and *error) when the archive is corrupt or holds an object
// that is no action.
std::optional<OVActionList> unarchiveActions(std::string_view data, std::string* error = nullptr);

// Used by encodeWithCoder and initWithCoder of groups.
void encodeActions(OVKeyedArchiver& coder, const char* key, const OVActionList& actions);
OVActionList decodeActions(OVKeyedUnarchiver& coder, const char* key);

} // namespace OVActionArchive
