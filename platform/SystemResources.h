// SPDX-License-Identifier: GPL-3.0-or-later
// How much of the machine a batch of helper processes may take: its processors and the memory
// the kernel says can be handed out without swapping.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace ov {

// The processors this process may run on; at least 1.
unsigned processorCount();

// MemAvailable of /proc/meminfo in bytes; none when it cannot be read.
std::optional<std::uint64_t> availableMemoryBytes();

// The MemAvailable figure of a /proc/meminfo text, in bytes; none when the line is missing or
// does not read as a number of kB.
std::optional<std::uint64_t> availableMemoryFromMeminfo(std::string_view meminfo);

} // namespace ov
