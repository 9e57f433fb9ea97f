// SPDX-License-Identifier: GPL-3.0-or-later
#include "runner/OVScriptRunsWindowController.h"

#include "model/HLTimer.h"
#include "platform/Log.h"
#include "platform/Translation.h"

#include <algorithm>

std::shared_ptr<OVScriptRunsWindowController> OVScriptRunsWindowController::controllerForRuns()
{
    return HLWindowController::controller<OVScriptRunsWindowController>();
}

OVScriptRunsWindowController::~OVScriptRunsWindowController()
{
    if (ticker_)
        ticker_->invalidate();
}

void OVScriptRunsWindowController::hl_viewDidLoad()
{
    GtkWindow* w = window();
    if (!w)
        return;
    stopAction_.reset(g_simple_action_new("stop", G_VARIANT_TYPE_INT64));
    gulong id = g_signal_connect(stopAction_.get(), "activate", G_CALLBACK(+[](GSimpleAction*, GVariant* parameter, gpointer data) {
        ov::guarded("stopping a script", [&] {
            static_cast<OVScriptRunsWindowController*>(data)->stop(g_variant_get_int64(parameter));
        });
    }), this);
    stopConnection_ = ov::SignalConnection(stopAction_.get(), id);
    ov::GRef<GSimpleActionGroup> group(g_simple_action_group_new());
    g_action_map_add_action(G_ACTION_MAP(group.get()), G_ACTION(stopAction_.get()));
    gtk_widget_insert_action_group(GTK_WIDGET(w), "scripts", G_ACTION_GROUP(group.get()));
}

bool OVScriptRunsWindowController::windowShouldClose()
{
    if (window())
        gtk_widget_set_visible(GTK_WIDGET(window()), FALSE);
    return false;
}

OVScriptRunsWindowController::Run* OVScriptRunsWindowController::find(long long id)
{
    auto it = std::find_if(runs_.begin(), runs_.end(), [id](const Run& r) { return r.id == id; });
    return it == runs_.end() ? nullptr : &*it;
}

const OVScriptRunsWindowController::Run* OVScriptRunsWindowController::find(long long id) const
{
    return const_cast<OVScriptRunsWindowController*>(this)->find(id);
}

void OVScriptRunsWindowController::addRun(long long id, std::string title, Clock::time_point started, std::function<void()> stop)
{
    if (find(id))
        return;
    runs_.push_back(Run{id, std::move(title), started, std::move(stop)});
    addLine(runs_.back());
    updateTimes();
    if (!ticker_) {
        std::weak_ptr<OVScriptRunsWindowController> weak =
            std::static_pointer_cast<OVScriptRunsWindowController>(shared_from_this());
        ticker_ = HLTimer::timerWithInterval(1.0, true, [weak](HLTimer&) {
            if (auto self = weak.lock())
                self->updateTimes();
        });
    }
}

void OVScriptRunsWindowController::addLine(Run& run)
{
    GtkBox* box = window() ? outlet<GtkBox>("runsBox") : nullptr;
    if (!box)
        return;
    GtkWidget* line = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 12);
    GtkWidget* spinner = gtk_spinner_new();
    gtk_spinner_start(GTK_SPINNER(spinner));
    gtk_box_append(GTK_BOX(line), spinner);

    GtkWidget* texts = gtk_box_new(GTK_ORIENTATION_VERTICAL, 2);
    gtk_widget_set_hexpand(texts, TRUE);
    GtkWidget* title = gtk_label_new(run.title.c_str());
    gtk_label_set_xalign(GTK_LABEL(title), 0);
    gtk_label_set_ellipsize(GTK_LABEL(title), PANGO_ELLIPSIZE_MIDDLE);
    gtk_widget_add_css_class(title, "heading");
    gtk_box_append(GTK_BOX(texts), title);
    GtkWidget* elapsed = gtk_label_new("");
    gtk_label_set_xalign(GTK_LABEL(elapsed), 0);
    gtk_widget_add_css_class(elapsed, "caption");
    gtk_widget_add_css_class(elapsed, "dim-label");
    gtk_widget_add_css_class(elapsed, "numeric");
    gtk_box_append(GTK_BOX(texts), elapsed);
    gtk_box_append(GTK_BOX(line), texts);

    GtkWidget* button = gtk_button_new_with_label(_("Stop"));
    gtk_widget_set_valign(button, GTK_ALIGN_CENTER);
    gtk_actionable_set_action_name(GTK_ACTIONABLE(button), "scripts.stop");
    gtk_actionable_set_action_target_value(GTK_ACTIONABLE(button), g_variant_new_int64(run.id));
    gtk_box_append(GTK_BOX(line), button);

    gtk_box_append(box, line);
    run.line = line;
    run.elapsed = GTK_LABEL(elapsed);
    run.button = button;
}

void OVScriptRunsWindowController::removeRun(long long id)
{
    auto it = std::find_if(runs_.begin(), runs_.end(), [id](const Run& r) { return r.id == id; });
    if (it == runs_.end())
        return;
    if (it->line && window())
        gtk_box_remove(outlet<GtkBox>("runsBox"), it->line);
    runs_.erase(it);
    if (runs_.empty() && ticker_) {
        ticker_->invalidate();
        ticker_.reset();
    }
}

void OVScriptRunsWindowController::stop(long long id)
{
    Run* run = find(id);
    if (!run || run->stopping)
        return;
    run->stopping = true;
    if (run->button)
        gtk_widget_set_sensitive(run->button, FALSE);
    updateTimes();
    // The block may end the run and so remove its line and let go of this controller.
    auto keep = shared_from_this();
    if (auto block = std::move(run->stop))
        block();
}

bool OVScriptRunsWindowController::isStopping(long long id) const
{
    const Run* run = find(id);
    return run && run->stopping;
}

std::string OVScriptRunsWindowController::formatElapsed(std::chrono::seconds elapsed)
{
    const long long total = std::max<long long>(0, elapsed.count());
    const long long hours = total / 3600, minutes = total / 60 % 60, seconds = total % 60;
    if (hours)
        return ov::stringPrintf("%lld:%02lld:%02lld", hours, minutes, seconds);
    return ov::stringPrintf("%lld:%02lld", minutes, seconds);
}

std::string OVScriptRunsWindowController::elapsedText(long long id, Clock::time_point now) const
{
    const Run* run = find(id);
    if (!run)
        return {};
    if (run->stopping)
        return _("Stopping…");
    return formatElapsed(std::chrono::duration_cast<std::chrono::seconds>(now - run->started));
}

std::vector<std::string> OVScriptRunsWindowController::titles() const
{
    std::vector<std::string> out;
    for (const auto& run : runs_)
        out.push_back(run.title);
    return out;
}

void OVScriptRunsWindowController::updateTimes()
{
    const auto now = Clock::now();
    for (const auto& run : runs_) {
        if (run.elapsed)
            gtk_label_set_text(run.elapsed, elapsedText(run.id, now).c_str());
    }
}
