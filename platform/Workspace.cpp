// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/Workspace.h"

#include "platform/Files.h"
#include "platform/GRef.h"
#include "platform/Log.h"
#include "platform/MainContext.h"

#include <gio/gdesktopappinfo.h>
#include <gio/gio.h>

#include <mutex>

namespace ov {
namespace {

constexpr const char* kFileManagerName = "org.freedesktop.FileManager1";
constexpr const char* kFileManagerPath = "/org/freedesktop/FileManager1";
constexpr int kFileManagerTimeoutMs = 5000;

std::mutex recorderMutex; // set from tests, read on the main context
std::optional<WorkspaceRecorder>& recorderSlot()
{
    static std::optional<WorkspaceRecorder> r;
    return r;
}

// Reports to the test recorder when one is installed; answers whether it did.
bool recorded(const char* call, const std::vector<std::string>& args)
{
    std::function<void(const std::string&, const std::vector<std::string>&)> fn;
    {
        std::lock_guard lock(recorderMutex);
        if (!recorderSlot() || !recorderSlot()->record)
            return false;
        fn = recorderSlot()->record;
    }
    try {
        fn(call, args);
    } catch (...) {
    }
    return true;
}

std::string fileURI(const std::string& path)
{
    GCharPtr uri(g_filename_to_uri(path.c_str(), nullptr, nullptr));
    return uri ? std::string(uri.get()) : std::string();
}

LaunchContextSource gLaunchContextSource = nullptr; // main context only

struct OpenRequest {
    std::string uri;
    std::function<void(bool, const std::string&)> done;
};

void openURIDone(GObject*, GAsyncResult* result, gpointer data)
{
    std::unique_ptr<OpenRequest> req(static_cast<OpenRequest*>(data));
    GError* raw = nullptr;
    bool ok = g_app_info_launch_default_for_uri_finish(result, &raw);
    GErrorPtr error(raw);
    std::string message = error ? error->message : "";
    if (!ok)
        ovLog("Could not open %s: %s", req->uri.c_str(), message.c_str());
    if (req->done) {
        try {
            req->done(ok, message);
        } catch (...) {
            ovLog("Exception in open completion");
        }
    }
}

void openURIOnMain(const std::string& uri, std::function<void(bool, const std::string&)> done)
{
    if (recorded("openURI", {uri})) {
        if (done)
            done(true, {});
        return;
    }
    auto* req = new OpenRequest{uri, std::move(done)};
    GRef<GAppLaunchContext> context(gLaunchContextSource ? gLaunchContextSource() : nullptr);
    g_app_info_launch_default_for_uri_async(uri.c_str(), context.get(), nullptr, openURIDone, req);
}

// A FileManager1 call whose failure (no file manager on the bus) opens a folder instead.
struct FileManagerCall {
    std::string method;
    std::string fallbackURI;
};

void fileManagerCallDone(GObject* source, GAsyncResult* result, gpointer data)
{
    std::unique_ptr<FileManagerCall> call(static_cast<FileManagerCall*>(data));
    GError* raw = nullptr;
    GVariantPtr reply(g_dbus_connection_call_finish(G_DBUS_CONNECTION(source), result, &raw));
    GErrorPtr error(raw);
    if (reply)
        return;
    ovLog("%s failed (%s); opening the folder instead", call->method.c_str(), error ? error->message : "");
    if (!call->fallbackURI.empty())
        openURIOnMain(call->fallbackURI, {});
}

void callFileManager(const char* method, const std::vector<std::string>& paths, const std::string& fallbackFolder)
{
    std::string fallbackURI = fallbackFolder.empty() ? std::string() : fileURI(fallbackFolder);
    GError* raw = nullptr;
    GRef<GDBusConnection> bus(g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, &raw));
    GErrorPtr error(raw);
    if (!bus) {
        ovLog("No session bus: %s", error ? error->message : "");
        if (!fallbackURI.empty())
            openURIOnMain(fallbackURI, {});
        return;
    }
    GVariantBuilder uris;
    g_variant_builder_init(&uris, G_VARIANT_TYPE("as"));
    for (const auto& p : paths) {
        std::string uri = fileURI(p);
        if (!uri.empty())
            g_variant_builder_add(&uris, "s", uri.c_str());
    }
    GVariant* args = g_variant_new("(ass)", &uris, "");
    g_dbus_connection_call(bus.get(), kFileManagerName, kFileManagerPath, kFileManagerName, method, args,
                           nullptr, G_DBUS_CALL_FLAGS_NONE, kFileManagerTimeoutMs, nullptr,
                           fileManagerCallDone, new FileManagerCall{method, fallbackURI});
}

} // namespace

void openURI(const std::string& uri, std::function<void(bool ok, const std::string& error)> done)
{
    invokeOnMain([uri, done = std::move(done)]() mutable { openURIOnMain(uri, std::move(done)); });
}

void revealFiles(const std::vector<std::string>& paths)
{
    if (paths.empty())
        return;
    invokeOnMain([paths] {
        if (recorded("revealFiles", paths))
            return;
        callFileManager("ShowItems", paths, deletingLastPathComponent(paths.front()));
    });
}

void showFolder(const std::string& path)
{
    invokeOnMain([path] {
        if (recorded("showFolder", {path}))
            return;
        callFileManager("ShowFolders", {path}, path);
    });
}

void openInTextEditor(const std::string& path)
{
    invokeOnMain([path] {
        if (recorded("openInTextEditor", {path}))
            return;
        GRef<GAppInfo> editor(g_app_info_get_default_for_type("text/plain", FALSE));
        if (!editor) {
            openURIOnMain(fileURI(path), {});
            return;
        }
        GRef<GFile> file(g_file_new_for_path(path.c_str()));
        GList files{file.get(), nullptr, nullptr};
        GRef<GAppLaunchContext> context(gLaunchContextSource ? gLaunchContextSource() : nullptr);
        GError* raw = nullptr;
        if (!g_app_info_launch(editor.get(), &files, context.get(), &raw)) {
            GErrorPtr error(raw);
            const char* id = g_app_info_get_id(editor.get());
            ovLog("Could not open %s in %s: %s", path.c_str(), id ? id : "the text editor", error ? error->message : "");
        }
    });
}

bool launchApplication(const std::string& desktopFile, const std::vector<std::string>& paths, std::string* error)
{
    GRef<GDesktopAppInfo> info;
    if (desktopFile.find('/') != std::string::npos) {
        info.reset(g_desktop_app_info_new_from_filename(desktopFile.c_str()));
    } else {
        std::string id = desktopFile;
        if (!g_str_has_suffix(id.c_str(), ".desktop"))
            id += ".desktop";
        info.reset(g_desktop_app_info_new(id.c_str()));
    }
    if (!info) {
        if (error)
            *error = "No application for " + desktopFile;
        return false;
    }
    GList* files = nullptr;
    for (auto it = paths.rbegin(); it != paths.rend(); ++it)
        files = g_list_prepend(files, g_file_new_for_path(it->c_str()));
    GError* raw = nullptr;
    bool ok = g_app_info_launch(G_APP_INFO(info.get()), files, nullptr, &raw);
    GErrorPtr launchError(raw);
    g_list_free_full(files, g_object_unref);
    if (!ok && error)
        *error = launchError ? launchError->message : "launch failed";
    return ok;
}

std::optional<std::string> defaultApplicationForScheme(const std::string& scheme)
{
    GRef<GAppInfo> info(g_app_info_get_default_for_uri_scheme(scheme.c_str()));
    if (!info || !G_IS_DESKTOP_APP_INFO(info.get()))
        return std::nullopt;
    const char* filename = g_desktop_app_info_get_filename(G_DESKTOP_APP_INFO(info.get()));
    if (!filename)
        return std::nullopt;
    return std::string(filename);
}

void setLaunchContextSource(LaunchContextSource source) { gLaunchContextSource = source; }

void setWorkspaceRecorder(std::optional<WorkspaceRecorder> recorder)
{
    std::lock_guard lock(recorderMutex);
    recorderSlot() = std::move(recorder);
}

} // namespace ov
