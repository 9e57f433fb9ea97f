// SPDX-License-Identifier: GPL-3.0-or-later
// Alerts of the runner: a message dialog whose answer arrives asynchronously.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace ov {

// A text field under the informative text; the first button can be chosen only while the rule
// holds for the field's whole text.
struct AlertTextField {
    std::function<bool(const std::string& text)> enablesFirstButton;
    bool secure = false; // a password field: the text is hidden
    // Receives the field's text when a button is chosen, before done is called.
    std::shared_ptr<std::string> answer;
};

// A switch under the text field, with a line of explanation beneath it.
struct AlertSwitch {
    std::string label;
    std::string detail;
    // Holds the switch's state when the alert is shown; receives it when a button is chosen,
    // before done is called.
    std::shared_ptr<bool> answer;
};

struct AlertRequest {
    std::string messageText;
    std::string informativeText;
    std::vector<std::string> buttons; // first is the default
    std::optional<AlertTextField> textField;
    std::optional<AlertSwitch> toggle;
};

// Shows the alert and calls done on the main context with the index of the chosen button, or -1
// when it was closed otherwise. Without a display the alert is logged and counts as closed.
// Call on the main context.
void showAlert(const AlertRequest& request, std::function<void(int response)> done);

// Test hook: when set, alerts go here instead of onto the screen.
using AlertPresenter = std::function<void(const AlertRequest&, std::function<void(int)> done)>;
void setAlertPresenter(std::optional<AlertPresenter> presenter);

} // namespace ov
