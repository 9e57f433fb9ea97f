// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/SystemResources.h"

#include <glib.h>

#include <fstream>
#include <limits>
#include <sstream>

namespace ov {

unsigned processorCount()
{
    const unsigned n = g_get_num_processors();
    return n > 0 ? n : 1;
}

std::optional<std::uint64_t> availableMemoryFromMeminfo(std::string_view meminfo)
{
    constexpr std::string_view key = "MemAvailable:";
    std::size_t at = 0;
    while (at < meminfo.size()) {
        std::size_t end = meminfo.find('\n', at);
        if (end == std::string_view::npos)
            end = meminfo.size();
        std::string_view line = meminfo.substr(at, end - at);
        at = end + 1;
        if (line.substr(0, key.size()) != key)
            continue;
        line.remove_prefix(key.size());
        while (!line.empty() && (line.front() == ' ' || line.front() == '\t'))
            line.remove_prefix(1);
        std::uint64_t kib = 0;
        std::size_t digits = 0;
        for (; digits < line.size() && line[digits] >= '0' && line[digits] <= '9'; ++digits) {
            const std::uint64_t digit = std::uint64_t(line[digits] - '0');
            if (kib > (std::numeric_limits<std::uint64_t>::max() / 1024 - digit) / 10)
                return std::nullopt;
            kib = kib * 10 + digit;
        }
        if (digits == 0 || line.substr(digits) != " kB")
            return std::nullopt;
        return kib * 1024;
    }
    return std::nullopt;
}

std::optional<std::uint64_t> availableMemoryBytes()
{
    std::ifstream in("/proc/meminfo");
    if (!in)
        return std::nullopt;
    std::ostringstream text;
    text << in.rdbuf();
    return availableMemoryFromMeminfo(text.str());
}

} // namespace ov
