// SPDX-License-Identifier: GPL-3.0-or-later
// Alerts of the settings window: an AdwMessageDialog attached to a window (a sheet) or standing
// alone, optionally with the "Do not show this message again" check box.
#pragma once

#include "platform/Translation.h"

#include <gtk/gtk.h>

#include <functional>
#include <string>
#include <vector>

namespace ovsettings {

struct OVAlertRequest {
    std::string messageText;
    std::string informativeText;
    std::vector<std::string> buttons; // the first is the default
    bool showsSuppressionButton = false;
    int destructiveButton = -1;       // drawn in the destructive style
    int cancelButton = -1;            // what Escape answers; -1 when Escape should not dismiss
};

// The answer: the index of the chosen button (-1 when the dialog went away unanswered) and the
// state of the suppression check box. Called once, on the main context.
using OVAlertCompletion = std::function<void(int response, bool suppressionChecked)>;

// Shows the alert at once, modal on parent when one is given (a sheet), else as a window of
// application when one is given. Answers the dialog, for callers that must find it again.
GtkWindow* beginAlert(GtkWindow* parent, GtkApplication* application, const OVAlertRequest& request,
                      OVAlertCompletion done);

// The suppression check box of a dialog made by beginAlert, or null.
GtkCheckButton* alertSuppressionButton(GtkWindow* alert);

inline constexpr const char* kSuppressionButtonTitle = N_("Do not show this message again");

} // namespace ovsettings
