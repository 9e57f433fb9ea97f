// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/OVAlert.h"

#include "platform/GRef.h"
#include "platform/Log.h"

#include <adwaita.h>

#include <cstdlib>
#include <string>

namespace ovsettings {
namespace {

struct AlertState {
    OVAlertCompletion done;
    ov::GRef<GtkCheckButton> suppression; // held: the answer may come while the dialog is torn down
    int buttonCount = 0;
    bool finished = false;

    void finish(int response)
    {
        if (finished)
            return;
        finished = true;
        const bool checked = suppression && gtk_check_button_get_active(suppression.get());
        ov::guarded("an alert's answer", [&] {
            if (done)
                done(response, checked);
        });
    }
};

// Response ids are the button indexes; anything else (such as a close without an answer) is -1.
int indexOfResponse(const char* response, int buttonCount)
{
    if (!response || !g_ascii_isdigit(response[0]))
        return -1;
    char* end = nullptr;
    const long value = std::strtol(response, &end, 10);
    return (end && *end == '\0' && value < buttonCount) ? int(value) : -1;
}

void onAlertResponse(AdwMessageDialog*, const char* response, gpointer data)
{
    auto* state = static_cast<AlertState*>(data);
    state->finish(indexOfResponse(response, state->buttonCount));
}

void freeAlertState(gpointer data, GClosure*)
{
    auto* state = static_cast<AlertState*>(data);
    state->finish(-1);
    delete state;
}

constexpr const char* kSuppressionKey = "ov-suppression-button";

} // namespace

GtkWindow* beginAlert(GtkWindow* parent, GtkApplication* application, const OVAlertRequest& request,
                      OVAlertCompletion done)
{
    GtkWidget* dialog = adw_message_dialog_new(parent, request.messageText.c_str(),
                                               request.informativeText.empty() ? nullptr : request.informativeText.c_str());
    auto* messageDialog = ADW_MESSAGE_DIALOG(dialog);
    for (std::size_t i = 0; i < request.buttons.size(); ++i) {
        const std::string id = std::to_string(i);
        adw_message_dialog_add_response(messageDialog, id.c_str(), request.buttons[i].c_str());
        if (int(i) == request.destructiveButton)
            adw_message_dialog_set_response_appearance(messageDialog, id.c_str(), ADW_RESPONSE_DESTRUCTIVE);
    }
    if (!request.buttons.empty())
        adw_message_dialog_set_default_response(messageDialog, "0");
    // Without a cancel button Escape must not pass for one of the real answers.
    const std::string closeId = request.cancelButton >= 0 ? std::to_string(request.cancelButton) : "close";
    adw_message_dialog_set_close_response(messageDialog, closeId.c_str());

    auto* state = new AlertState{std::move(done), {}, int(request.buttons.size()), false};
    if (request.showsSuppressionButton) {
        GtkWidget* check = gtk_check_button_new_with_label(_(kSuppressionButtonTitle));
        gtk_widget_set_halign(check, GTK_ALIGN_CENTER);
        adw_message_dialog_set_extra_child(messageDialog, check);
        state->suppression = ov::GRef<GtkCheckButton>::retain(GTK_CHECK_BUTTON(check));
        g_object_set_data(G_OBJECT(dialog), kSuppressionKey, check);
    }
    g_signal_connect_data(dialog, "response", G_CALLBACK(onAlertResponse), state, freeAlertState, GConnectFlags(0));

    GtkWindow* window = GTK_WINDOW(dialog);
    gtk_window_set_modal(window, TRUE);
    if (!parent && application)
        gtk_window_set_application(window, application);
    gtk_window_present(window);
    return window;
}

GtkCheckButton* alertSuppressionButton(GtkWindow* alert)
{
    return alert ? static_cast<GtkCheckButton*>(g_object_get_data(G_OBJECT(alert), kSuppressionKey)) : nullptr;
}

} // namespace ovsettings
