// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/GuiAlert.h"

#include "platform/GuiPresent.h"
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
    GtkEditable* field = nullptr; // lives as long as the dialog that answers
    std::shared_ptr<std::string> fieldAnswer;
    GtkSwitch* toggle = nullptr; // lives as long as the dialog that answers
    std::shared_ptr<bool> toggleAnswer;
};

using FieldRule = std::function<bool(const std::string&)>;

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
    if (index >= 0 && pending->field && pending->fieldAnswer)
        *pending->fieldAnswer = gtk_editable_get_text(pending->field);
    if (index >= 0 && pending->toggle && pending->toggleAnswer)
        *pending->toggleAnswer = gtk_switch_get_active(pending->toggle);
    answer(pending, index);
}

void onFieldChanged(GtkEditable* field, gpointer data)
{
    guarded("the alert's text field", [&] {
        auto* rule = static_cast<FieldRule*>(data);
        GtkWidget* dialog = gtk_widget_get_ancestor(GTK_WIDGET(field), ADW_TYPE_MESSAGE_DIALOG);
        if (dialog && *rule)
            adw_message_dialog_set_response_enabled(ADW_MESSAGE_DIALOG(dialog), "0", (*rule)(gtk_editable_get_text(field)));
    });
}

gboolean focusField(gpointer data)
{
    auto* ref = static_cast<GWeakRef*>(data);
    if (auto* field = static_cast<GtkWidget*>(g_weak_ref_get(ref))) {
        gtk_widget_grab_focus(field);
        g_object_unref(field);
    }
    return G_SOURCE_REMOVE;
}

// GtkPasswordEntry leaves a handler on its inner text that calls back into the entry when the
// text loses focus; the window drops its focus widget only after the entry is gone. Taking the
// focus away while the dialog is still whole runs that handler on a live entry.
void onDialogUnmap(GtkWidget* dialog, gpointer)
{
    gtk_window_set_focus(GTK_WINDOW(dialog), nullptr);
}

void freeRule(gpointer data, GClosure*) { delete static_cast<FieldRule*>(data); }

void freeWeakRef(gpointer data)
{
    auto* ref = static_cast<GWeakRef*>(data);
    g_weak_ref_clear(ref);
    delete ref;
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
    GtkWidget* extra = nullptr; // the field alone, or in a box with the switch
    if (request.textField) {
        const FieldRule& rule = request.textField->enablesFirstButton;
        GtkWidget* field = request.textField->secure ? gtk_password_entry_new() : gtk_entry_new();
        gtk_widget_set_size_request(field, 295, 24);
        gtk_widget_set_hexpand(field, TRUE);
        g_object_set(field, "activates-default", TRUE, nullptr);
        if (request.textField->secure)
            gtk_password_entry_set_show_peek_icon(GTK_PASSWORD_ENTRY(field), TRUE);
        pending->field = GTK_EDITABLE(field);
        pending->fieldAnswer = request.textField->answer;
        extra = field;
        if (!request.buttons.empty() && rule)
            adw_message_dialog_set_response_enabled(ADW_MESSAGE_DIALOG(dialog), "0", rule(""));
        g_signal_connect(dialog, "unmap", G_CALLBACK(onDialogUnmap), nullptr);
        g_signal_connect_data(field, "changed", G_CALLBACK(onFieldChanged), new FieldRule(rule), freeRule, GConnectFlags(0));
        // Typing can start at once once the dialog is up.
        auto* ref = new GWeakRef;
        g_weak_ref_init(ref, field);
        g_timeout_add_full(G_PRIORITY_DEFAULT, 300, focusField, ref, freeWeakRef);
    }
    if (request.toggle) {
        GtkWidget* box = gtk_box_new(GTK_ORIENTATION_VERTICAL, 12);
        if (extra)
            gtk_box_append(GTK_BOX(box), extra);
        extra = box;
        GtkWidget* row = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 12);
        GtkWidget* label = gtk_label_new(request.toggle->label.c_str());
        gtk_label_set_xalign(GTK_LABEL(label), 0);
        gtk_widget_set_hexpand(label, TRUE);
        GtkWidget* toggle = gtk_switch_new();
        gtk_widget_set_valign(toggle, GTK_ALIGN_CENTER);
        gtk_switch_set_active(GTK_SWITCH(toggle), request.toggle->answer && *request.toggle->answer);
        gtk_label_set_mnemonic_widget(GTK_LABEL(label), toggle);
        gtk_accessible_update_relation(GTK_ACCESSIBLE(toggle), GTK_ACCESSIBLE_RELATION_LABELLED_BY, label, nullptr, -1);
        gtk_box_append(GTK_BOX(row), label);
        gtk_box_append(GTK_BOX(row), toggle);
        gtk_box_append(GTK_BOX(extra), row);
        if (!request.toggle->detail.empty()) {
            GtkWidget* detail = gtk_label_new(request.toggle->detail.c_str());
            gtk_label_set_xalign(GTK_LABEL(detail), 0);
            gtk_label_set_wrap(GTK_LABEL(detail), TRUE);
            gtk_label_set_max_width_chars(GTK_LABEL(detail), 40);
            gtk_widget_add_css_class(detail, "dim-label");
            gtk_widget_add_css_class(detail, "caption");
            gtk_box_append(GTK_BOX(extra), detail);
        }
        pending->toggle = GTK_SWITCH(toggle);
        pending->toggleAnswer = request.toggle->answer;
    }
    if (extra)
        adw_message_dialog_set_extra_child(ADW_MESSAGE_DIALOG(dialog), extra);
    g_signal_connect_data(dialog, "response", G_CALLBACK(onResponse), pending, freePending, GConnectFlags(0));
    presentWindow(GTK_WINDOW(dialog));
}

void setAlertPresenter(std::optional<AlertPresenter> presenter) { presenterSlot() = std::move(presenter); }

} // namespace ov
