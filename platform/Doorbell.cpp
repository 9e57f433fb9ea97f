// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/Doorbell.h"

#include "platform/Files.h"
#include "platform/GRef.h"
#include "platform/Log.h"

#include <gio/gio.h>
#include <glib/gstdio.h>

#include <climits>
#include <fcntl.h>
#include <map>
#include <unistd.h>
#include <vector>

namespace ov {

bool isValidDoorbellName(const std::string& name)
{
    return !name.empty() && name.size() <= NAME_MAX && name != "." && name != ".."
        && name.find('/') == std::string::npos && name.find('\0') == std::string::npos;
}

namespace {
std::string doorbellFolder(const std::string& folder) { return pathByAppending(folder, kDoorbellFolderName); }
} // namespace

bool ringDoorbell(const std::string& folder, const std::string& name)
{
    if (!isValidDoorbellName(name))
        return false;
    const std::string bells = doorbellFolder(folder);
    if (!isDirectory(bells))
        makeDirectories(bells, 0700);
    // The file carries nothing, so it is neither written nor flushed: only the rename matters,
    // and a rename is what the watchers see at once (changes would be rate-limited).
    std::string tmpl = pathByAppending(bells, ".ring-XXXXXX");
    std::vector<char> temp(tmpl.begin(), tmpl.end());
    temp.push_back('\0');
    int fd = g_mkstemp_full(temp.data(), O_RDWR | O_CLOEXEC, 0600);
    if (fd < 0)
        return false;
    ::close(fd);
    if (::rename(temp.data(), pathByAppending(bells, name).c_str()) != 0) {
        ::unlink(temp.data());
        return false;
    }
    return true;
}

struct DoorbellListener::Impl {
    struct Bell {
        std::function<void()> callback;
        bool awaitingDone = false; // a file created under the name: its done hint is the same ring
    };
    GRef<GFileMonitor> monitor;
    SignalConnection changed;
    std::map<std::string, Bell> bells;

    void handle(GFile* file, GFile* other, GFileMonitorEvent event)
    {
        GFile* named = event == G_FILE_MONITOR_EVENT_RENAMED ? other : file;
        if (!named)
            return;
        GCharPtr base(g_file_get_basename(named));
        if (!base)
            return;
        auto it = bells.find(base.get());
        if (it == bells.end())
            return;
        Bell& bell = it->second;
        switch (event) {
        case G_FILE_MONITOR_EVENT_RENAMED:
        case G_FILE_MONITOR_EVENT_MOVED_IN:
            bell.awaitingDone = false;
            break;
        case G_FILE_MONITOR_EVENT_CREATED:
            bell.awaitingDone = true;
            break;
        case G_FILE_MONITOR_EVENT_CHANGES_DONE_HINT:
            if (bell.awaitingDone) {
                bell.awaitingDone = false;
                return;
            }
            break;
        default:
            return;
        }
        // The callback may stop listening or replace itself: call a copy.
        auto callback = bell.callback;
        if (callback)
            callback();
    }

    static void changedCb(GFileMonitor*, GFile* file, GFile* other, GFileMonitorEvent event, gpointer data)
    {
        guarded("a doorbell listener", [&] { static_cast<Impl*>(data)->handle(file, other, event); });
    }
};

DoorbellListener::DoorbellListener(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}

std::unique_ptr<DoorbellListener> DoorbellListener::create(const std::string& folder)
{
    const std::string bells = doorbellFolder(folder);
    if (!isDirectory(bells) && !makeDirectories(bells, 0700))
        return nullptr;
    GRef<GFile> dir(g_file_new_for_path(bells.c_str()));
    GError* error = nullptr;
    GRef<GFileMonitor> monitor(g_file_monitor_directory(dir.get(), G_FILE_MONITOR_WATCH_MOVES, nullptr, &error));
    if (!monitor) {
        ovLog("Cannot watch %s: %s", bells.c_str(), error ? error->message : "unknown error");
        if (error)
            g_error_free(error);
        return nullptr;
    }
    g_file_monitor_set_rate_limit(monitor.get(), 0);
    auto impl = std::make_unique<Impl>();
    impl->changed = SignalConnection(monitor.get(),
                                     g_signal_connect(monitor.get(), "changed", G_CALLBACK(&Impl::changedCb), impl.get()));
    impl->monitor = std::move(monitor);
    return std::unique_ptr<DoorbellListener>(new DoorbellListener(std::move(impl)));
}

DoorbellListener::~DoorbellListener()
{
    impl_->changed.disconnect();
    if (impl_->monitor)
        g_file_monitor_cancel(impl_->monitor.get());
}

void DoorbellListener::listen(const std::string& name, std::function<void()> callback)
{
    if (!isValidDoorbellName(name))
        return;
    impl_->bells[name] = Impl::Bell{std::move(callback)};
}

void DoorbellListener::stopListening(const std::string& name) { impl_->bells.erase(name); }

} // namespace ov
