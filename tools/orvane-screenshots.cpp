// Writes a PNG of every window the programs show, for reviewers: run under a display (Xvfb).
// usage: orvane-screenshots OUTPUT-FOLDER
#include "platform/FileOperations.h"
#include "platform/GRef.h"
#include "platform/GuiAlert.h"
#include "platform/MainContext.h"
#include "platform/Workspace.h"
#include "runner/OVFileActionWindowController.h"

#include <adwaita.h>
#include <gtk/gtk.h>

#include <condition_variable>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace {

bool saveWindow(GtkWindow* window, const std::string& path)
{
    GtkWidget* widget = GTK_WIDGET(window);
    const int width = gtk_widget_get_width(widget);
    const int height = gtk_widget_get_height(widget);
    if (width <= 0 || height <= 0)
        return false;
    GdkPaintable* paintable = gtk_widget_paintable_new(widget);
    GtkSnapshot* snapshot = gtk_snapshot_new();
    gdk_paintable_snapshot(paintable, snapshot, width, height);
    GskRenderNode* node = gtk_snapshot_free_to_node(snapshot);
    bool ok = false;
    if (node) {
        GskRenderer* renderer = gtk_native_get_renderer(GTK_NATIVE(window));
        GdkTexture* texture = gsk_renderer_render_texture(renderer, node, nullptr);
        ok = texture && gdk_texture_save_to_png(texture, path.c_str());
        if (texture)
            g_object_unref(texture);
        gsk_render_node_unref(node);
    }
    g_object_unref(paintable);
    return ok;
}

// Shows one window through the program's own code, waits until it is drawn, saves it, closes it.
bool capture(const std::string& folder, const std::string& name, const std::function<void()>& show)
{
    GListModel* toplevels = gtk_window_get_toplevels();
    const guint before = g_list_model_get_n_items(toplevels);
    show();
    ov::iterateMainUntil([&] { return g_list_model_get_n_items(toplevels) > before; }, 3000);
    ov::iterateMainUntil([] { return false; }, 700); // let it lay out and draw
    bool ok = false;
    for (guint i = g_list_model_get_n_items(toplevels); i-- > 0;) {
        auto* window = GTK_WINDOW(g_list_model_get_item(toplevels, i));
        if (gtk_widget_get_visible(GTK_WIDGET(window))) {
            ok = saveWindow(window, folder + "/" + name + ".png");
            gtk_window_destroy(window);
            g_object_unref(window);
            break;
        }
        g_object_unref(window);
    }
    std::printf("%s %s\n", ok ? "wrote" : "could not write", (folder + "/" + name + ".png").c_str());
    return ok;
}

// The copy window halfway through a folder: the copy is held before its second picture until
// the window has measured the first one.
bool captureCopyWindow(const std::string& folder)
{
    ov::GCharPtr work(g_dir_make_tmp("orvane-screenshots-XXXXXX", nullptr));
    if (!work)
        return false;
    const std::string root = work.get();
    g_mkdir_with_parents((root + "/Holiday Pictures").c_str(), 0755);
    g_mkdir_with_parents((root + "/Backups").c_str(), 0755);
    for (const char* name : {"beach.jpg", "harbour.jpg"})
        std::ofstream(root + "/Holiday Pictures/" + name, std::ios::binary) << std::string(1800000, 'x');

    std::mutex mutex;
    std::condition_variable wake;
    int seen = 0;
    bool open = false;
    ov::setFillCopyObserver([&](const std::string&) {
        std::unique_lock lock(mutex);
        if (++seen == 3)
            wake.wait(lock, [&] { return open; });
    });
    ov::setWorkspaceRecorder(ov::WorkspaceRecorder{[](const std::string&, const std::vector<std::string>&) {}});

    auto controller = OVFileActionWindowController::controllerWithSourceFile(root + "/Holiday Pictures",
                                                                             root + "/Backups/Holiday Pictures");
    bool finished = false;
    controller->setCompletionBlock([&](OVFileActionWindowController&) { finished = true; });
    controller->showWindow();
    ov::iterateMainUntil([&] { return controller->progress() > 0; }, 5000);
    ov::iterateMainUntil([] { return false; }, 700); // let it lay out and draw
    const std::string path = folder + "/copy-progress.png";
    const bool ok = saveWindow(controller->window(), path);
    std::printf("%s %s\n", ok ? "wrote" : "could not write", path.c_str());

    {
        std::lock_guard lock(mutex);
        open = true;
        wake.notify_all();
    }
    ov::iterateMainUntil([&] { return finished; }, 10000);
    ov::setFillCopyObserver(nullptr);
    std::error_code ignored;
    std::filesystem::remove_all(root, ignored);
    return ok;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT-FOLDER\n", argv[0]);
        return 2;
    }
    if (!gtk_init_check()) {
        std::fprintf(stderr, "No display: run under Xvfb (scripts/screenshots does).\n");
        return 1;
    }
    adw_init();
    const std::string folder = argv[1];
    g_mkdir_with_parents(folder.c_str(), 0755);

    bool ok = capture(folder, "alert-no-mail-handler", [] {
        ov::showAlert({"No Default Mail Handler Detected", "Orvane could not find an application to open.", {"Okay"}},
                      [](int) {});
    });
    ok = captureCopyWindow(folder) && ok;
    return ok ? 0 : 1;
}
