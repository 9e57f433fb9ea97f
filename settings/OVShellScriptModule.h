// SPDX-License-Identifier: GPL-3.0-or-later
// The editor of a shell-script action: the script's text with shell highlighting, saved half a
// second after the last change into "scripts/" of the container, or a locked view for a script
// the user may not edit.
#pragma once

#include "platform/GRef.h"
#include "settings/OVActionModuleViewController.h"

#include <gtk/gtk.h>

#include <memory>
#include <optional>
#include <string>

class HLTimer;
class OVShellScriptAction;
struct OVScriptSaves;

class OVShellScriptModule : public OVActionModuleViewController {
public:
    ~OVShellScriptModule() override;
    std::vector<std::string> classHierarchy() const override
    {
        return {"OVShellScriptModule", "OVActionModuleViewController", "HLModuleViewController", "HLViewController"};
    }

    static constexpr double kSaveDelay = 0.5;

    void hl_viewDidLoad() override;
    void loadContent();
    void textDidChange();
    void saveAfterDelay();
    // Hands the current text to the action's save queue now.
    void save() { saveText(false); }
    void flushPendingChanges(bool wait) override;

    // The folder new scripts are written to (created when missing).
    static std::string scriptDirectoryURL();
    // What a new script starts with; none for kinds that bring their own.
    static std::optional<std::string> defaultScript(const OVShellScriptAction& action);

    std::string text() const;
    bool hasPendingSave() const;
    // The script file could not be read: it is shown as an error and never written over.
    bool readFailed() const { return readFailed_; }

    GtkTextView* textView() const { return textView_; }
    GtkWidget* lockedView() const { return GTK_WIDGET(outlet("lockedView")); }
    GtkLabel* errorLabel() const { return outlet<GtkLabel>("errorLabel"); }
    GtkWindow* saveFailureAlert() const { return saveFailureAlert_; }

protected:
    OVShellScriptModule() = default;
    friend class OVActionModuleViewController;

private:
    std::shared_ptr<OVShellScriptAction> shellAction() const;
    bool isEditable() const;
    void showText(const std::string& text);
    void saveText(bool wait);
    void showSaveFailure();

    GtkTextView* textView_ = nullptr; // owned by the view
    std::shared_ptr<HLTimer> saveDelayTimer_;
    std::shared_ptr<OVScriptSaves> saves_;
    GtkWindow* saveFailureAlert_ = nullptr; // weak
    bool loading_ = false;
    bool readFailed_ = false;
    bool dirty_ = false; // typed since the last hand-over to the queue
    friend struct OVScriptSaves;
};
