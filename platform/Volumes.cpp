// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/Volumes.h"

#include "platform/GRef.h"
#include "platform/Log.h"

#include <gio/gio.h>
#include <gio/gunixmounts.h>

#include <algorithm>
#include <exception>

namespace ov {

std::vector<std::string> visibleVolumePaths()
{
    std::vector<std::string> paths{"/"};

    GList* entries = g_unix_mounts_get(nullptr);
    for (GList* l = entries; l; l = l->next) {
        auto* entry = static_cast<GUnixMountEntry*>(l->data);
        if (g_unix_mount_guess_should_display(entry)) {
            if (const char* path = g_unix_mount_get_mount_path(entry))
                paths.emplace_back(path);
        }
    }
    g_list_free_full(entries, reinterpret_cast<GDestroyNotify>(g_unix_mount_free));

    GRef<GVolumeMonitor> monitor(g_volume_monitor_get());
    GList* mounts = g_volume_monitor_get_mounts(monitor.get());
    for (GList* l = mounts; l; l = l->next) {
        auto* mount = static_cast<GMount*>(l->data);
        if (g_mount_is_shadowed(mount))
            continue;
        GRef<GFile> root(g_mount_get_root(mount));
        GCharPtr path(root ? g_file_get_path(root.get()) : nullptr);
        if (path)
            paths.emplace_back(path.get());
    }
    g_list_free_full(mounts, g_object_unref);

    std::sort(paths.begin(), paths.end());
    paths.erase(std::unique(paths.begin(), paths.end()), paths.end());
    return paths;
}

struct VolumeWatcher::Impl {
    std::function<void()> changed;
    GRef<GVolumeMonitor> monitor;
    std::vector<SignalConnection> connections;

    static void onMountsChanged(GVolumeMonitor*, GMount*, gpointer self)
    {
        guarded("a volume change handler", [&] {
            auto* impl = static_cast<Impl*>(self);
            if (impl->changed)
                impl->changed();
        });
    }
};

std::unique_ptr<VolumeWatcher> VolumeWatcher::create(std::function<void()> changed)
{
    auto impl = std::make_unique<Impl>();
    impl->changed = std::move(changed);
    impl->monitor = GRef<GVolumeMonitor>(g_volume_monitor_get());
    // "mount-changed" covers a renamed volume.
    for (const char* signal : {"mount-added", "mount-removed", "mount-changed"}) {
        gulong id = g_signal_connect(impl->monitor.get(), signal, G_CALLBACK(&Impl::onMountsChanged), impl.get());
        impl->connections.emplace_back(impl->monitor.get(), id);
    }
    return std::unique_ptr<VolumeWatcher>(new VolumeWatcher(std::move(impl)));
}

VolumeWatcher::VolumeWatcher(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}

VolumeWatcher::~VolumeWatcher()
{
    // Disconnect before the monitor reference is dropped.
    if (impl_)
        impl_->connections.clear();
}

} // namespace ov
