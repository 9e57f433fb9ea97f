// Writes a PNG of every window the programs show, for reviewers: run under a display (Xvfb).
// usage: orvane-screenshots OUTPUT-FOLDER
#include "ScreenshotSupport.h"
#include "SettingsScreenshots.h"
#include "platform/GuiAlert.h"
#include "platform/MainContext.h"

#include <adwaita.h>
#include <gtk/gtk.h>

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

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
    ok = captureSettingsScreens(folder) && ok;
    return ok ? 0 : 1;
}
