// SPDX-License-Identifier: GPL-3.0-or-later
// A window listing the installed applications (their desktop files) to choose one or several.
#pragma once

#include "platform/GRef.h"

#include <gio/gio.h>
#include <gtk/gtk.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

class OVApplicationChooser : public std::enable_shared_from_this<OVApplicationChooser> {
public:
    // Called once: with the chosen applications on "Add", with none on "Cancel" or closing.
    using Completion = std::function<void(const std::vector<GAppInfo*>& chosen)>;

    // Lists the installed applications that have a desktop file and are shown in menus.
    static std::shared_ptr<OVApplicationChooser> create(const std::string& title, GtkWindow* parent,
                                                        Completion done);
    ~OVApplicationChooser();

    // What is offered (sorted by name); replaces the installed list.
    void setApplications(std::vector<ov::GRef<GAppInfo>> applications);
    const std::vector<ov::GRef<GAppInfo>>& applications() const { return applications_; }
    void selectRows(const std::vector<unsigned>& rows);

    void present();
    void add();
    void cancel();

    GtkWindow* window() const { return window_; }

private:
    OVApplicationChooser() = default;
    void finish(bool accepted);

    GtkWindow* window_ = nullptr; // owned: destroyed when finished
    ov::GRef<GListStore> items_;
    ov::GRef<GtkMultiSelection> selection_;
    std::vector<ov::GRef<GAppInfo>> applications_;
    Completion done_;
};
