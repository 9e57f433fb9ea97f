// SPDX-License-Identifier: GPL-3.0-or-later
// The editor of the new-file group: its templates with an on/off box, a title, the new file's
// name and extension. Templates the user adds are copied into "templates/" of the container, and
// the entry refers to the copy. A template file that has gone is shown as missing, not dropped.
#pragma once

#include "settings/OVActionListModule.h"

class OVNewFileActionModule : public OVActionListModule {
public:
    ~OVNewFileActionModule() override;
    std::vector<std::string> classHierarchy() const override
    {
        return {"OVNewFileActionModule", "OVActionListModule", "OVActionModuleViewController", "HLModuleViewController",
                "HLViewController"};
    }

    void hl_viewDidLoad() override;

    // The folder template copies go to (created when missing).
    static std::string customTemplatesURL();
    // A new entry for a template file, made from a copy of it; none (and "Failed" logged) when
    // the copy fails.
    OVActionPtr actionWithURL(const std::string& path) const;
    void addFiles() override;
    void addTemplates(const std::vector<std::string>& paths);

    // Editing a row's fields; each answers what its field shows afterwards.
    std::string didEditFileName(unsigned row, const std::string& typed);
    std::string didEditExtension(unsigned row, const std::string& typed);
    void didToggleEnabled(unsigned row, bool on);
    void editFileName() { focusField("fileName"); }
    void editExtension() { focusField("extension"); }

    // Whether an entry's template file is gone.
    static bool isTemplateMissing(const OVAction& child);
    GtkFileChooserNative* templateChooser() const { return templateChooser_.get(); }

protected:
    OVNewFileActionModule() = default;
    friend class OVActionModuleViewController;
    bool canRemove(const OVAction& child) const override { return !child.isDefault(); }
    void showIcon(GtkImage* image, const OVAction& action) const override;

private:
    void focusField(const char* column);
    ov::GRef<GtkFileChooserNative> templateChooser_;
};
