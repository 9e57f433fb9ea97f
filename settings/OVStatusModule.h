// The "Orvane" page: whether the file-manager extension is on, with the switch that turns it on or
// off through the extension status logic. The page follows the logic's answers, never the press.
#pragma once

#include "ui/HLModuleViewController.h"

#include <gtk/gtk.h>

#include <memory>

class OVStatusHelper;

class OVStatusModule : public HLModuleViewController {
public:
    ~OVStatusModule() override;
    std::vector<std::string> classHierarchy() const override
    {
        return {"OVStatusModule", "HLModuleViewController", "HLViewController"};
    }

    void hl_viewDidLoad() override;
    // What the turn-on and turn-off buttons do; a press while a switch is in progress is ignored.
    void toggleEnabled(GtkButton* sender);
    void updateUI();
    void setCurrentView(GtkWidget* view);

    GtkWidget* checkingView() const { return outlet<GtkWidget>("checkingView"); }
    GtkWidget* enabledView() const { return outlet<GtkWidget>("enabledView"); }
    GtkWidget* disabledView() const { return outlet<GtkWidget>("disabledView"); }
    GtkWidget* currentView() const { return currentView_; }
    GtkSpinner* checkingProgressIndicator() const { return outlet<GtkSpinner>("checkingProgressIndicator"); }
    GtkSpinner* enabledProgressIndicator() const { return outlet<GtkSpinner>("enabledProgressIndicator"); }
    GtkSpinner* disabledProgressIndicator() const { return outlet<GtkSpinner>("disabledProgressIndicator"); }
    GtkButton* turnOffButton() const { return outlet<GtkButton>("turnOffButton"); }
    GtkButton* turnOnButton() const { return outlet<GtkButton>("turnOnButton"); }
    bool isChecking() const { return isChecking_; }

protected:
    explicit OVStatusModule(std::shared_ptr<OVStatusHelper> statusHelper);
    friend class HLViewController;

private:
    std::shared_ptr<OVStatusHelper> statusHelper_;
    unsigned observerToken_ = 0;
    GtkWidget* currentView_ = nullptr; // weak: one of the three views, held by the interface file
    bool isChecking_ = false;
};
