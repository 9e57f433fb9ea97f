// SPDX-License-Identifier: GPL-3.0-or-later
// The editor of the folder groups (move, copy, open a new window) and of the open-with group: a
// list of target folders or applications. Folders are chosen in the file chooser; applications in
// a chooser over the installed applications, and a child stores its application's desktop file.
#pragma once

#include "settings/OVActionListModule.h"

#include <gio/gio.h>

class OVApplicationChooser;

class OVMoveToActionModule : public OVActionListModule {
public:
    ~OVMoveToActionModule() override;
    std::vector<std::string> classHierarchy() const override
    {
        return {"OVMoveToActionModule", "OVActionListModule", "OVActionModuleViewController", "HLModuleViewController",
                "HLViewController"};
    }

    void hl_viewDidLoad() override;

    bool isApplicationGroup() const;
    // A new child of the group's kind for a folder (or a desktop file in the open-with group).
    OVActionPtr actionWithURL(const std::string& path) const;
    // A child's target: its application in the open-with group, its folder in the others.
    static std::optional<std::string> targetOf(const OVAction& child);

    // Opens the folder chooser, or the application chooser for the open-with group.
    void addFiles() override;
    // What a confirmed chooser adds, in order; targets the group already has are skipped.
    void addFolders(const std::vector<std::string>& paths);
    void addApplications(const std::vector<GAppInfo*>& applications);
    void showInFinder();

    // The chooser while it is open.
    GtkFileChooserNative* folderChooser() const { return folderChooser_.get(); }
    OVApplicationChooser* applicationChooser() const { return applicationChooser_.get(); }

protected:
    OVMoveToActionModule() = default;
    friend class OVActionModuleViewController;

private:
    bool hasTarget(const std::string& path) const;
    void childrenAdded(bool added);

    ov::GRef<GtkFileChooserNative> folderChooser_;
    std::shared_ptr<OVApplicationChooser> applicationChooser_;
};
