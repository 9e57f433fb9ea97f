// SPDX-License-Identifier: GPL-3.0-or-later
// Writes a PNG of every window the programs show, for reviewers: run under a display (Xvfb).
// usage: orvane-screenshots OUTPUT-FOLDER
#include "ScreenshotSupport.h"
#include "SettingsScreenshots.h"
#include "model/OVCompressPasswordAction.h"
#include "platform/GRef.h"
#include "platform/GuiAlert.h"
#include "platform/MainContext.h"
#include "platform/TreeCopier.h"
#include "platform/Workspace.h"
#include "runner/OVCompressingWindowController.h"
#include "runner/OVFileActionWindowController.h"
#include "runner/OVRunBehaviours.h"
#include "runner/OVScriptRunsWindowController.h"
#include "runner/OVToolProgressWindowController.h"

#include <adwaita.h>
#include <gtk/gtk.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace {

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
    const bool ok = screenshots::saveWindow(controller->window(), path);
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

// The compression window while it counts a large selection.
bool captureCompressWindow(const std::string& folder)
{
    auto controller = OVCompressingWindowController::controllerWithPaths(
        {"/usr/share/doc", "/usr/share/man"}, "/nonexistent/Archive.zip", "pw");
    controller->setCompletionBlock([](OVCompressingWindowController&) {});
    gtk_window_present(controller->window());
    ov::iterateMainUntil([&] { return gtk_widget_get_width(GTK_WIDGET(controller->window())) > 0; }, 3000);
    ov::iterateMainUntil([] { return false; }, 700); // let it lay out and draw
    const std::string path = folder + "/compress-progress.png";
    const bool ok = screenshots::saveWindow(controller->window(), path);
    std::printf("%s %s\n", ok ? "wrote" : "could not write", path.c_str());
    controller->close();
    return ok;
}

// The progress window of a long tool run (converting images), part way.
bool captureToolWindow(const std::string& folder)
{
    auto controller = OVToolProgressWindowController::controllerWithTitle("Converting Images", 500);
    controller->setDone(137);
    controller->showWindow();
    ov::iterateMainUntil([&] { return gtk_widget_get_width(GTK_WIDGET(controller->window())) > 0; }, 3000);
    screenshots::letDraw();
    const bool ok = screenshots::saveWindow(controller->window(), folder + "/tool-progress.png");
    controller->close();
    return ok;
}

// The window of running scripts: two runs, one of them being stopped.
bool captureScriptRunsWindow(const std::string& folder)
{
    auto controller = OVScriptRunsWindowController::controllerForRuns();
    const auto now = OVScriptRunsWindowController::Clock::now();
    controller->addRun(1, "Resize for the web", now - std::chrono::seconds(14), [] {});
    controller->addRun(2, "Sync to the backup disk", now - std::chrono::seconds(207), [] {});
    controller->stop(1);
    controller->showWindow();
    ov::iterateMainUntil([&] { return gtk_widget_get_width(GTK_WIDGET(controller->window())) > 0; }, 3000);
    screenshots::letDraw();
    const bool ok = screenshots::saveWindow(controller->window(), folder + "/script-runs.png");
    controller->removeRun(1);
    controller->removeRun(2);
    controller->close();
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

    bool ok = screenshots::capture(folder, "alert-no-mail-handler", [] {
        ov::showAlert({"No Default Mail Handler Detected", "Orvane could not find an application to open.", {"Okay"}},
                      [](int) {});
    });
    // The runner's own prompt, with its strong encryption switch.
    auto zipper = OVAction::action<OVCompressPasswordAction>();
    ok = screenshots::capture(folder, "alert-compress-password", [&] {
        OVBeforeRunAction(*zipper, {"/tmp/Report.pdf"}, [](bool) {});
    }) && ok;
    ok = captureCopyWindow(folder) && ok;
    ok = captureCompressWindow(folder) && ok;
    ok = captureToolWindow(folder) && ok;
    ok = captureScriptRunsWindow(folder) && ok;
    ok = captureSettingsScreens(folder) && ok;
    return ok ? 0 : 1;
}
