// SPDX-License-Identifier: GPL-3.0-or-later
// An item named by a path, held as it was when the user confirmed it: the folder that holds it
// stays open, so later steps reach that very folder whatever happens to the path above it, and
// the identity of the item is recorded, so that a name that now holds something else (a link
// put in its place, say) can be told from the item that was confirmed.
#pragma once

#include <memory>
#include <optional>
#include <string>

namespace ov {

class PinnedItem {
public:
    // Only absolute paths without "." or ".." components name an item here; anything else, and
    // a folder above the item that cannot be opened, answers none and *error.
    static std::unique_ptr<PinnedItem> pin(const std::string& path, std::string* error);
    ~PinnedItem();
    PinnedItem(const PinnedItem&) = delete;
    PinnedItem& operator=(const PinnedItem&) = delete;

    // A path by which a child process of this program reaches the item through the held folder.
    std::string pathForChildProcess() const;
    // Whether the name still holds the item it held when pinned (or, as then, nothing).
    bool unchanged() const;
    const std::string& path() const { return path_; }

private:
    struct Identity {
        unsigned long long device = 0;
        unsigned long long inode = 0;
        unsigned type = 0;
        long long birth = 0;
        bool operator==(const Identity&) const = default;
    };

    PinnedItem() = default;
    std::optional<Identity> identity() const; // none and errno when it cannot be read

    std::string path_;
    std::string name_;
    int folder_ = -1;
    std::optional<Identity> identity_; // none: nothing was there
};

} // namespace ov
