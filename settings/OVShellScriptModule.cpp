// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/OVShellScriptModule.h"

#include "model/HLTimer.h"
#include "model/OVActionsManager.h"
#include "model/OVBundledScriptAction.h"
#include "model/OVShellScriptAction.h"
#include "platform/Files.h"
#include "platform/Log.h"
#include "platform/MainContext.h"
#include "platform/ProductPaths.h"
#include "platform/Translation.h"
#include "settings/OVAlert.h"

#include <adwaita.h>
#include <gtksourceview/gtksource.h>

#include <chrono>
#include <future>
#include <map>

// The saves of one action's script, shared by every editor of that action while any of them
// lives or a write is on its way: one serial queue, so an older text never lands last, and one
// target for an action that has no script file yet, so it never ends up with two.
struct OVScriptSaves {
    std::shared_ptr<ov::SerialQueue> queue = ov::SerialQueue::create(std::string(ov::kVendorPrefix) + ".savequeue");
    std::optional<std::string> newTarget;  // chosen on the main thread, until a write there succeeds
    std::optional<std::string> unwritten;  // the newest text handed to the queue and not yet written
    unsigned inFlight = 0;

    static std::shared_ptr<OVScriptSaves> forAction(const std::string& uid)
    {
        static std::map<std::string, std::weak_ptr<OVScriptSaves>> table; // main thread only
        std::erase_if(table, [](const auto& entry) { return entry.second.expired(); });
        auto& slot = table[uid];
        auto saves = slot.lock();
        if (!saves)
            slot = saves = std::make_shared<OVScriptSaves>();
        return saves;
    }
};

namespace {

struct WriteResult {
    bool ok = false;
    std::string error;
};

// On the save queue: the whole text replaces the file in one step, executable. Nothing is
// deleted first, so a failed write leaves the old script as it was.
WriteResult writeScript(const std::string& target, const std::string& text)
{
    WriteResult result;
    ov::makeDirectories(ov::deletingLastPathComponent(target), 0755);
    result.ok = ov::writeFileAtomically(target, text, 0755, &result.error);
    return result;
}

// A new script's text, its comment in the language of the user who makes it.
std::string newScriptText()
{
    return std::string("#!/bin/bash\n# ") + _("Runs with the selected files and folders as its arguments.") +
           "\nfor path in \"$@\"; do\n"
           "    echo \"$path\"\n"
           "done\n";
}

// The desktop's monospace font, when the desktop names one.
std::string monospaceFontCSS()
{
    std::string font = "Monospace 11";
    if (GSettingsSchemaSource* source = g_settings_schema_source_get_default()) {
        if (GSettingsSchema* schema = g_settings_schema_source_lookup(source, "org.gnome.desktop.interface", TRUE)) {
            if (g_settings_schema_has_key(schema, "monospace-font-name")) {
                ov::GRef<GSettings> settings(g_settings_new("org.gnome.desktop.interface"));
                ov::GCharPtr name(g_settings_get_string(settings.get(), "monospace-font-name"));
                if (name && *name.get())
                    font = name.get();
            }
            g_settings_schema_unref(schema);
        }
    }
    PangoFontDescription* description = pango_font_description_from_string(font.c_str());
    std::string css = "textview.ov-script { font-family: \"";
    for (char c : std::string(pango_font_description_get_family(description) ? pango_font_description_get_family(description) : "Monospace"))
        if (c != '"' && c != '\\' && c != '\n')
            css += c;
    css += "\", monospace;";
    if (const int size = pango_font_description_get_size(description); size > 0 && !pango_font_description_get_size_is_absolute(description))
        css += " font-size: " + std::to_string(size / PANGO_SCALE) + "pt;";
    css += " }";
    pango_font_description_free(description);
    return css;
}

void installScriptFont()
{
    static bool installed = false;
    GdkDisplay* display = gdk_display_get_default();
    if (installed || !display)
        return;
    installed = true;
    ov::GRef<GtkCssProvider> provider(gtk_css_provider_new());
    const std::string css = monospaceFontCSS();
    gtk_css_provider_load_from_data(provider.get(), css.c_str(), -1);
    gtk_style_context_add_provider_for_display(display, GTK_STYLE_PROVIDER(provider.get()),
                                               GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
}

} // namespace

OVShellScriptModule::~OVShellScriptModule()
{
    // Typing the editor never got to save is still the user's script.
    if (saveDelayTimer_)
        saveDelayTimer_->invalidate();
    if (dirty_)
        ov::guarded("saving a script", [&] { saveText(false); });
    if (saveFailureAlert_)
        g_object_remove_weak_pointer(G_OBJECT(saveFailureAlert_), reinterpret_cast<gpointer*>(&saveFailureAlert_));
}

std::shared_ptr<OVShellScriptAction> OVShellScriptModule::shellAction() const
{
    return std::dynamic_pointer_cast<OVShellScriptAction>(action());
}

bool OVShellScriptModule::isEditable() const
{
    auto shell = shellAction();
    return shell && shell->isEditable();
}

std::string OVShellScriptModule::scriptDirectoryURL()
{
    const std::string folder = ov::pathByAppending(ov::containerPath(), "scripts");
    ov::makeDirectories(folder, 0755);
    return folder;
}

std::optional<std::string> OVShellScriptModule::defaultScript(const OVShellScriptAction& action)
{
    // Built-in scripts are their resource; only the user's own start from the template.
    if (dynamic_cast<const OVBundledScriptAction*>(&action))
        return std::nullopt;
    return newScriptText();
}

void OVShellScriptModule::hl_viewDidLoad()
{
    auto shell = shellAction();
    if (shell)
        saves_ = OVScriptSaves::forAction(shell->uid());
    GtkWidget* scroll = GTK_WIDGET(outlet("scrollView"));
    if (!isEditable()) {
        // The script of a locked action is not shown at all.
        const std::string title = shell ? shell->actionDescription().value_or(shell->title().value_or("")) : "";
        adw_status_page_set_title(ADW_STATUS_PAGE(lockedView()), title.c_str());
        gtk_widget_set_visible(lockedView(), TRUE);
        gtk_box_remove(GTK_BOX(view()), scroll);
        return;
    }
    static const bool sourceReady = (gtk_source_init(), true);
    (void)sourceReady;
    installScriptFont();
    GtkSourceBuffer* buffer = gtk_source_buffer_new(nullptr);
    if (GtkSourceLanguage* shellLanguage = gtk_source_language_manager_get_language(gtk_source_language_manager_get_default(), "sh"))
        gtk_source_buffer_set_language(buffer, shellLanguage);
    gtk_source_buffer_set_highlight_syntax(buffer, TRUE);
    GtkWidget* source = gtk_source_view_new_with_buffer(buffer);
    g_object_unref(buffer);
    textView_ = GTK_TEXT_VIEW(source);
    gtk_text_view_set_monospace(textView_, TRUE);
    gtk_widget_add_css_class(source, "ov-script");
    gtk_text_view_set_left_margin(textView_, 6);
    gtk_text_view_set_top_margin(textView_, 6);
    gtk_source_view_set_show_line_numbers(GTK_SOURCE_VIEW(source), TRUE);
    gtk_source_view_set_auto_indent(GTK_SOURCE_VIEW(source), TRUE);
    gtk_accessible_update_property(GTK_ACCESSIBLE(source), GTK_ACCESSIBLE_PROPERTY_LABEL, "Script", -1);
    gtk_scrolled_window_set_child(GTK_SCROLLED_WINDOW(scroll), source);

    std::weak_ptr<OVShellScriptModule> weak = std::static_pointer_cast<OVShellScriptModule>(shared_from_this());
    g_signal_connect_data(buffer, "changed", G_CALLBACK(+[](GtkTextBuffer*, gpointer data) {
        if (auto m = static_cast<std::weak_ptr<OVShellScriptModule>*>(data)->lock())
            ov::guarded("editing a script", [&] { m->textDidChange(); });
    }), new std::weak_ptr<OVShellScriptModule>(weak),
                          [](gpointer data, GClosure*) { delete static_cast<std::weak_ptr<OVShellScriptModule>*>(data); },
                          GConnectFlags(0));
    loadContent();
}

void OVShellScriptModule::showText(const std::string& text)
{
    loading_ = true;
    gtk_text_buffer_set_text(gtk_text_view_get_buffer(textView_), text.c_str(), int(text.size()));
    loading_ = false;
}

void OVShellScriptModule::loadContent()
{
    auto shell = shellAction();
    if (!shell || !textView_)
        return;
    readFailed_ = false;
    gtk_widget_set_visible(GTK_WIDGET(errorLabel()), FALSE);
    gtk_text_view_set_editable(textView_, TRUE);
    // Text still on its way to the file is newer than the file.
    if (saves_ && saves_->unwritten) {
        showText(*saves_->unwritten);
        return;
    }
    const auto& url = shell->scriptURL();
    if (url && ov::pathExists(*url)) {
        auto content = ov::readFile(*url);
        if (content && g_utf8_validate(content->data(), gssize(content->size()), nullptr)) {
            showText(*content);
            return;
        }
        // Never replaced by the default: saving that would lose the user's script.
        readFailed_ = true;
        ov::ovLog("Could not read script: %s", url->c_str());
        const std::string message = ov::stringPrintf(
            _("The script file \"%s\" could not be read as text. It is left as it is; edit or replace it outside Orvane."),
            url->c_str());
        gtk_label_set_text(errorLabel(), message.c_str());
        gtk_widget_set_visible(GTK_WIDGET(errorLabel()), TRUE);
        showText("");
        gtk_text_view_set_editable(textView_, FALSE);
        return;
    }
    if (auto text = defaultScript(*shell)) {
        showText(*text);
        GtkTextIter start, end;
        gtk_text_buffer_get_bounds(gtk_text_view_get_buffer(textView_), &start, &end);
        gtk_text_buffer_select_range(gtk_text_view_get_buffer(textView_), &start, &end);
        dirty_ = true;
        save();
    }
}

std::string OVShellScriptModule::text() const
{
    if (!textView_)
        return {};
    GtkTextBuffer* buffer = gtk_text_view_get_buffer(textView_);
    GtkTextIter start, end;
    gtk_text_buffer_get_bounds(buffer, &start, &end);
    ov::GCharPtr text(gtk_text_buffer_get_text(buffer, &start, &end, TRUE));
    return text ? std::string(text.get()) : std::string();
}

void OVShellScriptModule::textDidChange()
{
    if (loading_ || readFailed_)
        return;
    dirty_ = true;
    saveAfterDelay();
}

void OVShellScriptModule::saveAfterDelay()
{
    if (saveDelayTimer_) {
        saveDelayTimer_->run(); // from zero again
        return;
    }
    std::weak_ptr<OVShellScriptModule> weak = std::static_pointer_cast<OVShellScriptModule>(shared_from_this());
    saveDelayTimer_ = HLTimer::timerWithInterval(kSaveDelay, false, [weak](HLTimer&) {
        if (auto m = weak.lock())
            m->save();
    });
}

bool OVShellScriptModule::hasPendingSave() const { return saveDelayTimer_ && saveDelayTimer_->isScheduled(); }

void OVShellScriptModule::flushPendingChanges(bool wait)
{
    if (dirty_ || hasPendingSave())
        saveText(wait);
}

void OVShellScriptModule::saveText(bool wait)
{
    if (saveDelayTimer_)
        saveDelayTimer_->invalidateTimerOnly();
    auto shell = shellAction();
    if (!shell || !saves_ || !textView_ || readFailed_ || !isEditable())
        return;
    dirty_ = false;
    const std::string content = text();
    // Decided here, on the main thread: every save of the action agrees on the file.
    std::string target;
    if (shell->scriptURL() && ov::pathExists(*shell->scriptURL())) {
        target = *shell->scriptURL();
    } else {
        if (!saves_->newTarget)
            saves_->newTarget = ov::pathByAppending(scriptDirectoryURL(), ov::newUUIDString() + ".sh");
        target = *saves_->newTarget;
    }
    saves_->unwritten = content;
    ++saves_->inFlight;

    std::weak_ptr<OVShellScriptModule> weak;
    if (auto self = weak_from_this().lock())
        weak = std::static_pointer_cast<OVShellScriptModule>(self);
    std::weak_ptr<OVShellScriptAction> weakAction = shell;
    const std::weak_ptr<OVActionsManager> store = this->store();
    auto finish = [weak, weakAction, store, target](const std::shared_ptr<OVScriptSaves>& saves, const WriteResult& result) {
        if (--saves->inFlight == 0)
            saves->unwritten.reset();
        auto action = weakAction.lock();
        if (result.ok) {
            if (action)
                action->setScriptURL(target);
            if (saves->newTarget == target)
                saves->newTarget.reset();
        } else {
            ov::ovLog("Could not save script %s: %s", target.c_str(), result.error.c_str());
            if (auto m = weak.lock())
                m->showSaveFailure();
        }
        if (auto s = store.lock())
            s->save();
    };

    if (wait) {
        // Quitting: the write happens on the queue, after the ones before it, and we wait for it.
        auto promise = std::make_shared<std::promise<WriteResult>>();
        std::future<WriteResult> written = promise->get_future();
        saves_->queue->async([promise, target, content] { promise->set_value(writeScript(target, content)); });
        if (written.wait_for(std::chrono::seconds(10)) == std::future_status::ready)
            finish(saves_, written.get());
        else
            ov::ovLog("Could not save script %s: the write did not finish", target.c_str());
        return;
    }
    // The block must not end holding the last reference to its own queue: it hands it on.
    auto saves = saves_;
    saves_->queue->async([saves, finish, target, content]() mutable {
        WriteResult result = writeScript(target, content);
        ov::invokeOnMain([saves = std::move(saves), finish = std::move(finish), result] { finish(saves, result); });
    });
}

void OVShellScriptModule::showSaveFailure()
{
    if (saveFailureAlert_)
        return;
    ovsettings::OVAlertRequest request;
    request.messageText = _("Could not save");
    request.informativeText = _("An error occurred when attempting to save this script. Please try again");
    request.buttons = {"OK"};
    request.cancelButton = 0;
    saveFailureAlert_ = ovsettings::beginAlert(parentWindow(), nullptr, request, [](int, bool) {});
    g_object_add_weak_pointer(G_OBJECT(saveFailureAlert_), reinterpret_cast<gpointer*>(&saveFailureAlert_));
}
