// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/OVSelectionCountControl.h"

#include "model/OVActionsManager.h"
#include "platform/Translation.h"

namespace {

GtkSpinButton* countSpin()
{
    auto* spin = GTK_SPIN_BUTTON(gtk_spin_button_new_with_range(1, OVSelectionCounts::kMaxBound, 1));
    gtk_spin_button_set_numeric(spin, TRUE);
    gtk_editable_set_width_chars(GTK_EDITABLE(spin), 4);
    gtk_widget_set_valign(GTK_WIDGET(spin), GTK_ALIGN_CENTER);
    return spin;
}

int valueOf(GtkSpinButton* spin) { return gtk_spin_button_get_value_as_int(spin); }

} // namespace

OVSelectionCountControl::OVSelectionCountControl()
{
    GtkWidget* box = gtk_box_new(GTK_ORIENTATION_VERTICAL, 6);
    view_ = GTK_WIDGET(g_object_ref_sink(box));
    gtk_widget_set_margin_start(view_, 12);
    gtk_widget_set_margin_end(view_, 12);
    gtk_widget_set_margin_top(view_, 6);
    gtk_widget_set_margin_bottom(view_, 12);

    GtkWidget* line = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 12);
    GtkWidget* label = gtk_label_new(_("Show for:"));
    gtk_widget_add_css_class(label, "dim-label");
    gtk_box_append(GTK_BOX(line), label);
    const char* choices[] = {_("Any number of items"), _("For 1 item"), _("For 2 or more items"), _("A custom range"),
                             nullptr};
    choice_ = GTK_DROP_DOWN(gtk_drop_down_new_from_strings(choices));
    gtk_widget_set_hexpand(GTK_WIDGET(choice_), TRUE);
    gtk_widget_set_halign(GTK_WIDGET(choice_), GTK_ALIGN_START);
    const char* choiceName = _("How many selected items the action is for");
    gtk_accessible_update_property(GTK_ACCESSIBLE(choice_), GTK_ACCESSIBLE_PROPERTY_LABEL, choiceName, -1);
    // A screen reader lands on the drop-down's own button, which has no name of its own.
    for (GtkWidget* child = gtk_widget_get_first_child(GTK_WIDGET(choice_)); child; child = gtk_widget_get_next_sibling(child)) {
        if (GTK_IS_BUTTON(child))
            gtk_accessible_update_property(GTK_ACCESSIBLE(child), GTK_ACCESSIBLE_PROPERTY_LABEL, choiceName, -1);
    }
    gtk_box_append(GTK_BOX(line), GTK_WIDGET(choice_));
    gtk_box_append(GTK_BOX(view_), line);

    // Two short lines rather than one long one: the editor is narrow on small screens.
    rangeBox_ = gtk_grid_new();
    gtk_grid_set_row_spacing(GTK_GRID(rangeBox_), 6);
    gtk_grid_set_column_spacing(GTK_GRID(rangeBox_), 12);
    minimum_ = countSpin();
    maximum_ = countSpin();
    gtk_accessible_update_property(GTK_ACCESSIBLE(minimum_), GTK_ACCESSIBLE_PROPERTY_LABEL, _("Fewest items"), -1);
    gtk_accessible_update_property(GTK_ACCESSIBLE(maximum_), GTK_ACCESSIBLE_PROPERTY_LABEL, _("Most items"), -1);
    noMaximum_ = GTK_CHECK_BUTTON(gtk_check_button_new_with_label(C_("item count range", "No upper limit")));
    GtkWidget* least = gtk_label_new(C_("item count range", "At least"));
    GtkWidget* most = gtk_label_new(C_("item count range", "At most"));
    for (GtkWidget* label : {least, most})
        gtk_label_set_xalign(GTK_LABEL(label), 0);
    gtk_grid_attach(GTK_GRID(rangeBox_), least, 0, 0, 1, 1);
    gtk_grid_attach(GTK_GRID(rangeBox_), GTK_WIDGET(minimum_), 1, 0, 1, 1);
    gtk_grid_attach(GTK_GRID(rangeBox_), most, 0, 1, 1, 1);
    gtk_grid_attach(GTK_GRID(rangeBox_), GTK_WIDGET(maximum_), 1, 1, 1, 1);
    gtk_grid_attach(GTK_GRID(rangeBox_), GTK_WIDGET(noMaximum_), 2, 1, 1, 1);
    gtk_box_append(GTK_BOX(view_), rangeBox_);

    g_signal_connect_swapped(choice_, "notify::selected", G_CALLBACK(+[](OVSelectionCountControl* self) {
                                 self->choiceChanged();
                             }),
                             this);
    auto onRange = +[](GtkWidget* changed, OVSelectionCountControl* self) {
        self->rangeChanged(GTK_IS_SPIN_BUTTON(changed) ? GTK_SPIN_BUTTON(changed) : nullptr);
    };
    g_signal_connect(minimum_, "value-changed", G_CALLBACK(onRange), this);
    g_signal_connect(maximum_, "value-changed", G_CALLBACK(onRange), this);
    g_signal_connect(noMaximum_, "toggled", G_CALLBACK(onRange), this);
    gtk_widget_set_visible(view_, FALSE);
}

OVSelectionCountControl::~OVSelectionCountControl()
{
    for (gpointer widget : {gpointer(choice_), gpointer(minimum_), gpointer(maximum_), gpointer(noMaximum_)})
        g_signal_handlers_disconnect_by_data(widget, this);
    if (GtkWidget* parent = gtk_widget_get_parent(view_); parent && GTK_IS_BOX(parent))
        gtk_box_remove(GTK_BOX(parent), view_);
    g_object_unref(view_);
}

OVSelectionCountControl::Choice OVSelectionCountControl::choiceFor(const OVSelectionCounts& counts)
{
    if (!counts.isLimited())
        return AnyNumber;
    if (counts == OVSelectionCounts{1, 1})
        return OneItem;
    if (counts == OVSelectionCounts{2, std::nullopt})
        return TwoOrMore;
    return CustomRange;
}

void OVSelectionCountControl::setAction(OVActionPtr action, std::shared_ptr<OVActionsManager> store)
{
    action_ = std::move(action);
    store_ = std::move(store);
    gtk_widget_set_visible(view_, action_ != nullptr);
    showCounts();
}

void OVSelectionCountControl::showCounts(std::optional<Choice> shown)
{
    const OVSelectionCounts counts = action_ ? action_->selectionCounts() : OVSelectionCounts{};
    updating_ = true;
    const Choice choice = shown.value_or(choiceFor(counts));
    gtk_drop_down_set_selected(choice_, choice);
    const int minimum = counts.minimum.value_or(1);
    gtk_spin_button_set_value(minimum_, minimum);
    gtk_spin_button_set_value(maximum_, counts.maximum.value_or(minimum));
    gtk_check_button_set_active(noMaximum_, counts.minimum && !counts.maximum);
    gtk_widget_set_sensitive(GTK_WIDGET(maximum_), !gtk_check_button_get_active(noMaximum_));
    gtk_widget_set_visible(rangeBox_, choice == CustomRange);
    updating_ = false;
}

void OVSelectionCountControl::choiceChanged()
{
    if (updating_ || !action_)
        return;
    switch (gtk_drop_down_get_selected(choice_)) {
    case OneItem: store({1, 1}); break;
    case TwoOrMore: store({2, std::nullopt}); break;
    case CustomRange: {
        // The range starts from what is stored; from "any number", from one item up.
        const OVSelectionCounts now = action_->selectionCounts();
        store(now.isLimited() ? now : OVSelectionCounts{1, 1}, CustomRange);
        break;
    }
    default: store({}); break;
    }
}

void OVSelectionCountControl::rangeChanged(GtkSpinButton* changed)
{
    if (updating_ || !action_)
        return;
    int minimum = valueOf(minimum_);
    int maximum = valueOf(maximum_);
    // A range whose ends cross limits nothing: the end not being moved follows the other.
    updating_ = true;
    if (minimum > maximum) {
        if (changed == maximum_)
            gtk_spin_button_set_value(minimum_, minimum = maximum);
        else
            gtk_spin_button_set_value(maximum_, maximum = minimum);
    }
    const bool open = gtk_check_button_get_active(noMaximum_);
    gtk_widget_set_sensitive(GTK_WIDGET(maximum_), !open);
    updating_ = false;
    store({minimum, open ? std::nullopt : std::optional<int>(maximum)}, CustomRange);
}

void OVSelectionCountControl::store(const OVSelectionCounts& counts, std::optional<Choice> shown)
{
    action_->setSelectionCounts(counts);
    if (auto s = store_ ? store_ : OVActionsManager::sharedInstance())
        s->save();
    showCounts(shown);
}
