// SPDX-License-Identifier: GPL-3.0-or-later
// The mounted volumes a user can see, and word when that set changes.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace ov {

// Mount points of every visible mounted volume: the root, the user-visible unix mounts and the
// mounts of the volume monitor. Sorted, without duplicates.
std::vector<std::string> visibleVolumePaths();

// Calls changed() on the main context after a volume was mounted, unmounted or renamed, until
// the watcher goes away.
class VolumeWatcher {
public:
    static std::unique_ptr<VolumeWatcher> create(std::function<void()> changed);
    ~VolumeWatcher();
    VolumeWatcher(const VolumeWatcher&) = delete;
    VolumeWatcher& operator=(const VolumeWatcher&) = delete;

    struct Impl;

private:
    explicit VolumeWatcher(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> impl_;
};

} // namespace ov
