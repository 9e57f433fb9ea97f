// SPDX-License-Identifier: GPL-3.0-or-later
// The settings application: launch of the built orvane to its window on screen with
// the default catalogue, reloading the action list with 500 actions, and how soon a
// switch flipped in the window shows in orvane-menu's output. Needs a display and a session bus
// (bench/run gives it both).
// usage: bench_settings_bench BUILD-FOLDER
#include "BenchSupport.h"
#include "model/OVActionsManager.h"
#include "model/OVMoveActionGroup.h"
#include "model/OVMoveToAction.h"
#include "model/OVShellScriptAction.h"
#include "model/OVUserDefaults.h"
#include "platform/Files.h"
#include "platform/GuiResources.h"
#include "platform/MainContext.h"
#include "settings/OVEditorModule.h"

#include <X11/Xlib.h>
#include <gio/gio.h>
#include <gtk/gtk.h>
#include <poll.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

namespace {
using Clock = std::chrono::steady_clock;

double ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

OVActionList makeActions(int count)
{
    OVActionList list;
    for (int i = 0; list.size() < std::size_t(count); ++i) {
        if (i % 4 == 0) {
            auto group = OVAction::action<OVMoveActionGroup>();
            bench::addFolderChildren(*group);
            list.push_back(group);
        } else {
            auto script = OVAction::action<OVShellScriptAction>();
            script->setTitle("Script " + std::to_string(i));
            list.push_back(script);
        }
    }
    return list;
}

void writeStore(int count)
{
    auto store = OVActionsManager::create();
    store->updateActions(makeActions(count));
    store->actuallySave();
}

// Milliseconds from starting orvane to its window being mapped on the X server, or none.
std::optional<double> launchToWindow(const std::string& orvane, Display* display)
{
    XSelectInput(display, DefaultRootWindow(display), SubstructureNotifyMask);
    XSync(display, True); // drop what came before
    const auto start = Clock::now();
    const char* argv[] = {orvane.c_str(), nullptr};
    GSubprocess* process = g_subprocess_newv(argv, G_SUBPROCESS_FLAGS_NONE, nullptr);
    if (!process)
        return std::nullopt;
    std::optional<double> shown;
    while (!shown && ms(Clock::now() - start) < 10000) {
        while (XPending(display)) {
            XEvent event;
            XNextEvent(display, &event);
            if (event.type == MapNotify && !event.xmap.override_redirect) {
                shown = ms(Clock::now() - start);
                break;
            }
        }
        if (!shown) {
            pollfd fd{ConnectionNumber(display), POLLIN, 0};
            poll(&fd, 1, 20);
        }
    }
    // SIGTERM goes through quitting, which saves: the next launch starts from the same store.
    g_subprocess_send_signal(process, SIGTERM);
    g_subprocess_wait(process, nullptr, nullptr);
    g_object_unref(process);
    XSelectInput(display, DefaultRootWindow(display), NoEventMask);
    return shown;
}

// orvane-menu's outline for a file.
std::string menuFor(const std::string& tool, const std::string& file)
{
    const char* argv[] = {tool.c_str(), "--kind", "items", file.c_str(), nullptr};
    GSubprocess* process = g_subprocess_newv(argv, GSubprocessFlags(G_SUBPROCESS_FLAGS_STDOUT_PIPE | G_SUBPROCESS_FLAGS_STDERR_SILENCE), nullptr);
    if (!process)
        return {};
    // Asynchronous, so the settings side's save timer keeps running in this process's loop.
    std::optional<std::string> output;
    g_subprocess_communicate_utf8_async(process, nullptr, nullptr, [](GObject* source, GAsyncResult* result, gpointer data) {
        char* out = nullptr;
        g_subprocess_communicate_utf8_finish(G_SUBPROCESS(source), result, &out, nullptr, nullptr);
        *static_cast<std::optional<std::string>*>(data) = out ? out : "";
        g_free(out);
    }, &output);
    ov::iterateMainUntil([&] { return output.has_value(); }, 10000);
    g_object_unref(process);
    return output.value_or("");
}

} // namespace

int main(int argc, char** argv)
{
    const std::string build = argc > 1 ? argv[1] : ORVANE_BINARY_DIR;
    if (!g_getenv("DISPLAY") || !g_getenv("DBUS_SESSION_BUS_ADDRESS") || !ov::guiReady()) {
        std::printf("skipped: needs a display and a session bus (run through bench/run)\n");
        return 0;
    }
    const std::string home = bench::makePrivateHome();

    // 1. Launch to the window. The first launch, left out, writes the default catalogue into the
    // empty store; the others load it.
    writeStore(0);
    Display* display = XOpenDisplay(nullptr);
    std::vector<double> launches;
    for (int i = 0; i < 12 && display; ++i) {
        auto t = launchToWindow(build + "/settings/orvane", display);
        if (!t) {
            std::printf("orvane did not show its window\n");
            return 1;
        }
        if (i > 0) // the first run warms the caches
            launches.push_back(*t);
    }
    if (display)
        XCloseDisplay(display);
    std::printf("launch to window (default catalogue): median %.1f ms, best %.1f ms over %zu launches (target < 500 ms)\n",
                median(launches), launches.empty() ? 0 : *std::min_element(launches.begin(), launches.end()),
                launches.size());
    bench::tableRow("launch to window", bench::format("%.1f ms", median(launches)), "", 0, "< 500 ms");

    // 2. Reloading the list, 500 actions, in a window on screen.
    writeStore(500);
    auto store = OVActionsManager::create();
    auto editor = HLViewController::controller<OVEditorModule>(store, OVUserDefaults::create());
    GtkWindow* window = GTK_WINDOW(gtk_window_new());
    gtk_window_set_default_size(window, 900, 600);
    gtk_window_set_child(window, editor->view());
    gtk_window_present(window);
    ov::iterateMainUntil([&] { return editor->switchAt(0) != nullptr; }, 5000);
    std::vector<double> reloads, reloadsDrawn, afterAdd, fresh;
    for (int i = 0; i < 30; ++i) {
        const auto t0 = Clock::now();
        editor->reloadData();
        const auto t1 = Clock::now();
        ov::iterateMainUntil([] { return !g_main_context_pending(nullptr); }, 2000);
        reloads.push_back(ms(t1 - t0));
        reloadsDrawn.push_back(ms(Clock::now() - t0));
    }
    // After a change that adds one action, and with every action new to the list (a store
    // replaced under the window): the latter builds every row the list keeps alive.
    for (int i = 0; i < 10; ++i) {
        store->addAction(makeActions(2).back());
        auto t0 = Clock::now();
        editor->reloadData();
        afterAdd.push_back(ms(Clock::now() - t0));
        store->updateActions(makeActions(500));
        t0 = Clock::now();
        editor->reloadData();
        fresh.push_back(ms(Clock::now() - t0));
        ov::iterateMainUntil([] { return !g_main_context_pending(nullptr); }, 2000);
    }
    std::printf("reload of 500 actions: median %.2f ms; with the visible rows laid out %.2f ms (target < 50 ms)\n",
                median(reloads), median(reloadsDrawn));
    std::printf("  after adding one: median %.2f ms; every action new to the list: median %.2f ms\n", median(afterAdd),
                median(fresh));
    bench::tableRow("reload of 500 actions, laid out", bench::format("%.2f ms", median(reloadsDrawn)), "", 0,
                    "< 50 ms");

    // 3. A switch flipped in the window, until orvane-menu prints the change.
    const std::string file = home + "/note.txt";
    g_file_set_contents(file.c_str(), "note", -1, nullptr);
    const std::string tool = build + "/extension/orvane-menu";
    const std::string title = store->actions()[1]->title().value_or("");
    std::vector<double> toggles;
    for (int i = 0; i < 10; ++i) {
        GtkSwitch* toggle = editor->switchAt(1);
        const bool on = !gtk_switch_get_active(toggle);
        const auto t0 = Clock::now();
        gtk_switch_set_active(toggle, on);
        bool seen = false;
        while (!seen && ms(Clock::now() - t0) < 5000) {
            const std::string menu = menuFor(tool, file);
            seen = (menu.find(title + "\n") != std::string::npos) == on;
        }
        toggles.push_back(ms(Clock::now() - t0));
    }
    std::printf("switch flipped to orvane-menu showing it: median %.1f ms, worst %.1f ms (target < 300 ms; the store waits 100 ms to save)\n",
                median(toggles), *std::max_element(toggles.begin(), toggles.end()));
    bench::tableRow("switch to orvane-menu showing it", bench::format("%.1f ms", median(toggles)), "", 0,
                    "< 300 ms");
    gtk_window_destroy(window);
    return 0;
}
