#include "platform/GuiAlert.h"

#include "platform/GuiResources.h"

#include "platform/Log.h"
#include "platform/MainContext.h"

#include <adwaita.h>
#include <gtk/gtk.h>

#include <cstdlib>
#include <string>

namespace ov {
namespace {

std::optional<AlertPresenter>& presenterSlot()
{
    static std::optional<AlertPresenter> p; // main context only
    return p;
}

struct PendingAlert {
    std::function<void(int)> done;
    std::size_t buttonCount = 0;
    bool answered = false;
};

void answer(PendingAlert* pending, int response)
{
    if (pending->answered)
        return;
    pending->answered = true;
    try {
        if (pending->done)
            pending->done(response);
    } catch (const std::exception& e) {
        ovLog("Alert callback failed: %s", e.what());
    } catch (...) {
        ovLog("Alert callback failed");
    }
}

void onResponse(AdwMessageDialog*, const char* response, gpointer data)
{
    auto* pending = static_cast<PendingAlert*>(data);
    int index = -1;
    if (response && g_ascii_isdigit(response[0])) {
        char* end = nullptr;
        long value = std::strtol(response, &end, 10);
        if (end && *end == '\0' && value >= 0 && std::size_t(value) < pending->buttonCount)
            index = int(value);
    }
    answer(pending, index);
}

void freePending(gpointer data, GClosure*)
{
    auto* pending = static_cast<PendingAlert*>(data);
    answer(pending, -1); // a dialog destroyed without an answer still ends the wait
    delete pending;
}

} // namespace

void showAlert(const AlertRequest& request, std::function<void(int)> done)
{
    if (auto& presenter = presenterSlot(); presenter && *presenter) {
        (*presenter)(request, std::move(done));
        return;
    }
    if (!guiReady()) {
        ovLog("No display for the alert \"%s\": %s", request.messageText.c_str(), request.informativeText.c_str());
        runOnNextTurn([done = std::move(done)] {
            if (done)
                done(-1);
        });
        return;
    }

    GtkWidget* dialog = adw_message_dialog_new(nullptr, request.messageText.c_str(), request.informativeText.c_str());
    for (std::size_t i = 0; i < request.buttons.size(); ++i) {
        std::string id = std::to_string(i);
        adw_message_dialog_add_response(ADW_MESSAGE_DIALOG(dialog), id.c_str(), request.buttons[i].c_str());
    }
    if (!request.buttons.empty())
        adw_message_dialog_set_default_response(ADW_MESSAGE_DIALOG(dialog), "0");
    auto* pending = new PendingAlert{std::move(done), request.buttons.size(), false};
    g_signal_connect_data(dialog, "response", G_CALLBACK(onResponse), pending, freePending, GConnectFlags(0));
    gtk_window_present(GTK_WINDOW(dialog));
}

void setAlertPresenter(std::optional<AlertPresenter> presenter) { presenterSlot() = std::move(presenter); }

} // namespace ov
