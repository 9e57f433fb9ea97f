// SPDX-License-Identifier: GPL-3.0-or-later
// Sizes of items on disk, measured without following symbolic links.
#pragma once

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>

namespace ov {

struct ItemKind {
    bool isDirectory = false;
    std::uint64_t size = 0; // a link's own size (the length of what it points to)
};

// The item itself (lstat): none when nothing is there.
std::optional<ItemKind> itemKind(const std::string& path);

// The sum of the sizes of everything below a folder that is not a folder, hidden items
// included. A link counts its own size and is never followed; folders that cannot be read add
// nothing. Stops early (with a partial sum) once *cancelled is set.
std::uint64_t sizeOfFolderContents(const std::string& folder, const std::atomic<bool>* cancelled = nullptr);

} // namespace ov
