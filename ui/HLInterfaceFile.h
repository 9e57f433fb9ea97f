// SPDX-License-Identifier: GPL-3.0-or-later
// Finds the interface file of a controller class: the first class of its chain, most derived
// first, that has one. Found names are remembered per class for the life of the process.
#pragma once

#include <gtk/gtk.h>

#include <optional>
#include <string>
#include <vector>

namespace hl {

// The resource path of the interface file for a class chain, or none.
std::optional<std::string> interfaceResourceForClassChain(const std::vector<std::string>& chain);

// A builder loaded from that file, or none (logged) when there is none or it does not parse.
GtkBuilder* builderForClassChain(const std::vector<std::string>& chain);

} // namespace hl
