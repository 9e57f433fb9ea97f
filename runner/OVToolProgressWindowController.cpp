// SPDX-License-Identifier: GPL-3.0-or-later
#include "runner/OVToolProgressWindowController.h"

#include "platform/Log.h"
#include "platform/Translation.h"

#include <algorithm>

std::shared_ptr<OVToolProgressWindowController> OVToolProgressWindowController::controllerWithTitle(std::string title,
                                                                                                   std::size_t total)
{
    return HLWindowController::controller<OVToolProgressWindowController>(std::move(title), total);
}

OVToolProgressWindowController::~OVToolProgressWindowController() = default;

void OVToolProgressWindowController::hl_viewDidLoad()
{
    GtkWindow* w = window();
    if (!w)
        return;
    gtk_window_set_title(w, title_.c_str());
    gtk_label_set_text(outlet<GtkLabel>("titleLabel"), title_.c_str());

    cancelAction_.reset(g_simple_action_new("cancel", nullptr));
    gulong id = g_signal_connect(cancelAction_.get(), "activate", G_CALLBACK(+[](GSimpleAction*, GVariant*, gpointer data) {
        ov::guarded("cancelling a tool run", [&] { static_cast<OVToolProgressWindowController*>(data)->cancel(); });
    }), this);
    cancelConnection_ = ov::SignalConnection(cancelAction_.get(), id);
    ov::GRef<GSimpleActionGroup> group(g_simple_action_group_new());
    g_action_map_add_action(G_ACTION_MAP(group.get()), G_ACTION(cancelAction_.get()));
    gtk_widget_insert_action_group(GTK_WIDGET(w), "tool", G_ACTION_GROUP(group.get()));
    updateUI();
}

std::string OVToolProgressWindowController::progressText() const
{
    if (cancelling_)
        return _("Cancelling...");
    return ov::stringPrintf(C_("items done", "%zu of %zu"), done_, total_);
}

void OVToolProgressWindowController::setDone(std::size_t done)
{
    done_ = std::min(done, total_);
    updateUI();
}

void OVToolProgressWindowController::cancel()
{
    if (cancelling_)
        return;
    cancelling_ = true;
    if (cancelAction_)
        g_simple_action_set_enabled(cancelAction_.get(), FALSE);
    updateUI();
    // The block may close this window and let go of the controller.
    auto keep = shared_from_this();
    if (auto block = std::move(cancelBlock_))
        block();
}

void OVToolProgressWindowController::updateUI()
{
    if (!window())
        return;
    const double fraction = total_ ? double(done_) / double(total_) : 0.0;
    gtk_progress_bar_set_fraction(outlet<GtkProgressBar>("progressIndicator"), fraction);
    gtk_label_set_text(outlet<GtkLabel>("progressLabel"), progressText().c_str());
}
