// SPDX-License-Identifier: GPL-3.0-or-later
// Property lists among the application's resources (the data folder), read defensively.
#pragma once

#include "platform/OVValue.h"

#include <optional>
#include <string>

// The root array of "<name>.plist" in the resources; none when the file is missing, unreadable
// or not a list ("Property list isn't an array" is logged for another root).
std::optional<OVValue::Array> hl_arrayFromPropertyListWithName(const std::string& name);
std::optional<OVValue::Array> hl_arrayFromPropertyListAtPath(const std::string& path);

// The root dictionary of "<name>.plist" in the resources; none for anything else, silently.
std::optional<OVValue::Dictionary> hl_dictionaryFromPropertyListWithName(const std::string& name);
