// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/PluginRegistry.h"

#include "platform/FileLock.h"
#include "platform/Files.h"
#include "platform/GRef.h"
#include "platform/Log.h"
#include "platform/ProductPaths.h"
#include "platform/UserFolders.h"

#include <gio/gio.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <string.h>
#include <sys/stat.h>

namespace ov {
namespace {

constexpr const char* kManifestGroup = "Plug-in";
constexpr const char* kElectionsGroup = "Elections";
constexpr std::size_t kMaxFileBytes = 1u << 20;

struct KeyFileDeleter {
    void operator()(GKeyFile* f) const { g_key_file_free(f); }
};
using KeyFilePtr = std::unique_ptr<GKeyFile, KeyFileDeleter>;

// A key file from bytes on disk; none when unreadable or malformed.
KeyFilePtr loadKeyFile(const std::string& path)
{
    auto data = readFile(path, kMaxFileBytes);
    if (!data)
        return nullptr;
    KeyFilePtr file(g_key_file_new());
    if (!g_key_file_load_from_data(file.get(), data->data(), data->size(), G_KEY_FILE_NONE, nullptr))
        return nullptr;
    return file;
}

std::optional<std::string> stringValue(GKeyFile* file, const char* group, const char* key)
{
    gchar* value = g_key_file_get_string(file, group, key, nullptr);
    if (!value)
        return std::nullopt;
    std::string out(value);
    g_free(value);
    return out;
}

const char* electionWord(PluginElection election)
{
    switch (election) {
    case PluginElection::Use:
        return "use";
    case PluginElection::Ignore:
        return "ignore";
    case PluginElection::None:
        break;
    }
    return nullptr;
}

PluginElection electionIn(GKeyFile* file, const std::string& identifier)
{
    auto word = stringValue(file, kElectionsGroup, identifier.c_str());
    if (word == "use")
        return PluginElection::Use;
    if (word == "ignore")
        return PluginElection::Ignore;
    return PluginElection::None;
}

bool fail(std::string* error, const std::string& message)
{
    if (error)
        *error = message;
    return false;
}

} // namespace

bool isValidPluginIdentifier(const std::string& identifier)
{
    if (identifier.empty() || identifier.size() > 255 || identifier.front() == '.' || identifier.front() == '-')
        return false;
    return std::all_of(identifier.begin(), identifier.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' || c == '-' ||
               c == '_';
    });
}

std::vector<std::string> pluginManifestFolders()
{
    return {pathByAppending(userDataDir(), "orvane/plugins"), pathByAppending(resourcesPath(), "plugins")};
}

std::vector<PluginRegistration> registeredPluginVersions(const std::string& identifier)
{
    std::vector<PluginRegistration> found;
    if (!isValidPluginIdentifier(identifier))
        return found;
    const std::string fileName = identifier + ".plugin";
    for (const auto& folder : pluginManifestFolders()) {
        GDir* dir = g_dir_open(folder.c_str(), 0, nullptr);
        if (!dir)
            continue;
        while (const char* name = g_dir_read_name(dir)) {
            // One manifest per version: "<id>.plugin" or "<id>-<anything>.plugin".
            std::string entry(name);
            if (!entry.ends_with(".plugin") || !(entry == fileName || entry.starts_with(identifier + "-")))
                continue;
            std::string path = pathByAppending(folder, entry);
            KeyFilePtr manifest = loadKeyFile(path);
            if (!manifest || stringValue(manifest.get(), kManifestGroup, "Identifier") != identifier)
                continue;
            auto version = stringValue(manifest.get(), kManifestGroup, "Version");
            if (!version || version->empty())
                continue;
            const bool known = std::any_of(found.begin(), found.end(),
                                           [&](const PluginRegistration& r) { return r.version == *version; });
            if (!known)
                found.push_back({identifier, *version, path});
        }
        g_dir_close(dir);
    }
    std::stable_sort(found.begin(), found.end(), [](const PluginRegistration& a, const PluginRegistration& b) {
        return ::strverscmp(a.version.c_str(), b.version.c_str()) > 0;
    });
    return found;
}

std::string pluginElectionsPath() { return pathByAppending(userConfigDir(), "orvane-pluginkit/elections"); }

PluginElection pluginElection(const std::string& identifier)
{
    KeyFilePtr file = loadKeyFile(pluginElectionsPath());
    return file ? electionIn(file.get(), identifier) : PluginElection::None;
}

bool setPluginElection(const std::string& identifier, PluginElection election, std::string* error)
{
    if (!isValidPluginIdentifier(identifier))
        return fail(error, "not a plug-in identifier: " + identifier);
    const std::string path = pluginElectionsPath();
    const std::string folder = deletingLastPathComponent(path);
    if (!makeDirectories(folder, 0700))
        return fail(error, "cannot create " + folder + ": " + std::strerror(errno));
    // Two elections at once must not lose one another.
    FileLock lock(folder, FileLock::Mode::Exclusive);
    if (!lock.locked())
        return fail(error, "cannot lock " + folder + ": " + std::strerror(errno));

    // An unreadable or damaged file is replaced rather than kept: elections are the user's
    // latest word, and a damaged file has none to keep.
    KeyFilePtr file = pathExists(path) ? loadKeyFile(path) : nullptr;
    if (!file)
        file.reset(g_key_file_new());
    if (const char* word = electionWord(election))
        g_key_file_set_string(file.get(), kElectionsGroup, identifier.c_str(), word);
    else
        g_key_file_remove_key(file.get(), kElectionsGroup, identifier.c_str(), nullptr);
    gsize length = 0;
    gchar* text = g_key_file_to_data(file.get(), &length, nullptr);
    std::string data(text ? text : "", text ? length : 0);
    g_free(text);
    std::string writeError;
    if (!writeFileAtomically(path, data, 0600, &writeError))
        return fail(error, writeError);
    return true;
}

bool PluginElectionReader::isElectedForUse()
{
    const std::string path = pluginElectionsPath();
    Stamp now;
    struct stat st;
    if (::stat(path.c_str(), &st) == 0) {
        now.exists = true;
        now.device = st.st_dev;
        now.inode = st.st_ino;
        now.size = st.st_size;
        now.modifiedNs = (long long)st.st_mtim.tv_sec * 1000000000LL + st.st_mtim.tv_nsec;
        now.changedNs = (long long)st.st_ctim.tv_sec * 1000000000LL + st.st_ctim.tv_nsec;
    }
    if (stamp_ && *stamp_ == now)
        return electedForUse_;
    stamp_ = now;
    electedForUse_ = !now.exists || pluginElection(identifier_) != PluginElection::Ignore;
    return electedForUse_;
}

struct PluginElectionWatcher::Impl {
    std::function<void()> callback;
    GRef<GFileMonitor> monitor;
    SignalConnection changed;

    static void changedCb(GFileMonitor*, GFile*, GFile*, GFileMonitorEvent event, gpointer data)
    {
        if (event == G_FILE_MONITOR_EVENT_CHANGES_DONE_HINT || event == G_FILE_MONITOR_EVENT_ATTRIBUTE_CHANGED)
            return;
        auto* impl = static_cast<Impl*>(data);
        guarded("the plug-in elections watcher", [impl] { impl->callback(); });
    }
};

std::unique_ptr<PluginElectionWatcher> PluginElectionWatcher::create(std::function<void()> callback)
{
    const std::string path = pluginElectionsPath();
    // The folder must exist for the file to be watched without polling.
    makeDirectories(deletingLastPathComponent(path), 0700);
    GRef<GFile> file(g_file_new_for_path(path.c_str()));
    GError* error = nullptr;
    GRef<GFileMonitor> monitor(g_file_monitor_file(file.get(), G_FILE_MONITOR_WATCH_MOVES, nullptr, &error));
    if (!monitor) {
        ovLog("Cannot watch %s: %s", path.c_str(), error ? error->message : "unknown error");
        if (error)
            g_error_free(error);
        return nullptr;
    }
    g_file_monitor_set_rate_limit(monitor.get(), 0);
    auto impl = std::make_unique<Impl>();
    impl->callback = std::move(callback);
    impl->changed = SignalConnection(monitor.get(),
                                     g_signal_connect(monitor.get(), "changed", G_CALLBACK(&Impl::changedCb), impl.get()));
    impl->monitor = std::move(monitor);
    return std::unique_ptr<PluginElectionWatcher>(new PluginElectionWatcher(std::move(impl)));
}

PluginElectionWatcher::PluginElectionWatcher(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}

PluginElectionWatcher::~PluginElectionWatcher()
{
    impl_->changed.disconnect();
    if (impl_->monitor)
        g_file_monitor_cancel(impl_->monitor.get());
}

} // namespace ov
