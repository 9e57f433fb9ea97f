// SPDX-License-Identifier: GPL-3.0-or-later
// The "About" page: the application's name, version, notice line and credits.
#pragma once

#include "platform/Translation.h"
#include "ui/HLModuleViewController.h"

#include <gtk/gtk.h>

#include <optional>
#include <string>

class RZAboutModule : public HLModuleViewController {
public:
    std::vector<std::string> classHierarchy() const override
    {
        return {"RZAboutModule", "HLModuleViewController", "HLViewController"};
    }

    void hl_viewDidLoad() override;
    void setAppNameAndVersion();
    void setCopyright();
    static long year();
    // The designed text with every "CURRENT_YEAR" replaced by the year.
    static std::string copyrightText(std::string designed, long year);

    // The resources' Credits file, if there is one.
    static std::optional<std::string> creditsPath();
    // Opens the Credits file with its default application.
    void openCredits();

    GtkLabel* appNameLabel() const { return outlet<GtkLabel>("appNameLabel"); }
    GtkLabel* appVersionLabel() const { return outlet<GtkLabel>("appVersionLabel"); }
    GtkLabel* copyrightLabel() const { return outlet<GtkLabel>("copyrightLabel"); }
    GtkLabel* creditsLabel() const { return outlet<GtkLabel>("creditsLabel"); }
    GtkLabel* licenceLabel() const { return outlet<GtkLabel>("licenceLabel"); }

    static constexpr const char* kLibrariesCredits =
        N_("Built with GLib, GTK 4, libadwaita, GtkSourceView, libplist, nlohmann-json, libzip and libvips.");

protected:
    RZAboutModule();
    friend class HLViewController;

private:
    void showCredits();
};
