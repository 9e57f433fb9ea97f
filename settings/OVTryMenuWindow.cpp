// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/OVTryMenuWindow.h"

#include "platform/GRef.h"
#include "platform/Log.h"
#include "platform/Translation.h"
#include "settings/OVImageIcon.h"

#include <adwaita.h>

namespace {

// Titles and paths come from the store and the disk: any bytes, shown as plain text.
std::string plainText(const std::string& text)
{
    ov::GCharPtr valid(g_utf8_make_valid(text.c_str(), gssize(text.size())));
    return valid ? std::string(valid.get()) : std::string();
}

std::string baseName(const std::string& path)
{
    ov::GCharPtr name(g_path_get_basename(path.c_str()));
    return name ? std::string(name.get()) : path;
}

GtkWidget* newRow(const std::string& title, const std::string& detail)
{
    GtkWidget* row = adw_action_row_new();
    adw_preferences_row_set_use_markup(ADW_PREFERENCES_ROW(row), FALSE);
    adw_preferences_row_set_title(ADW_PREFERENCES_ROW(row), plainText(title).c_str());
    if (!detail.empty()) {
        adw_action_row_set_subtitle(ADW_ACTION_ROW(row), plainText(detail).c_str());
        // The reason is the point of the row: all of it, never cut short.
        adw_action_row_set_subtitle_lines(ADW_ACTION_ROW(row), 0);
    }
    gtk_widget_set_focusable(row, FALSE);
    return row;
}

GtkWidget* newList(const char* name)
{
    GtkWidget* list = gtk_list_box_new();
    gtk_widget_set_name(list, name);
    gtk_list_box_set_selection_mode(GTK_LIST_BOX(list), GTK_SELECTION_NONE);
    gtk_widget_add_css_class(list, "boxed-list");
    return list;
}

GtkWidget* newHeading(const char* text)
{
    GtkWidget* label = gtk_label_new(text);
    gtk_label_set_xalign(GTK_LABEL(label), 0);
    gtk_widget_add_css_class(label, "heading");
    return label;
}

GtkWidget* newNote(const char* text)
{
    GtkWidget* label = gtk_label_new(text);
    gtk_label_set_xalign(GTK_LABEL(label), 0);
    gtk_label_set_wrap(GTK_LABEL(label), TRUE);
    gtk_widget_add_css_class(label, "dim-label");
    return label;
}

// The outline as compact rows, like the menu itself.
void addMenuRows(GtkListBox* list, const OVMenu& menu, int level)
{
    for (const auto& item : menu.items) {
        GtkWidget* box = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 8);
        gtk_widget_set_margin_top(box, 7);
        gtk_widget_set_margin_bottom(box, 7);
        gtk_widget_set_margin_start(box, 12);
        gtk_widget_set_margin_end(box, 12);
        GtkWidget* icon = gtk_image_new();
        ovsettings::setImage(GTK_IMAGE(icon), item.image);
        gtk_box_append(GTK_BOX(box), icon);
        GtkWidget* label = gtk_label_new(plainText(item.title).c_str());
        gtk_label_set_xalign(GTK_LABEL(label), 0);
        gtk_label_set_ellipsize(GTK_LABEL(label), PANGO_ELLIPSIZE_END);
        gtk_box_append(GTK_BOX(box), label);
        GtkWidget* row = gtk_list_box_row_new();
        gtk_list_box_row_set_child(GTK_LIST_BOX_ROW(row), box);
        gtk_list_box_row_set_activatable(GTK_LIST_BOX_ROW(row), FALSE);
        gtk_widget_set_margin_start(row, level * OVTryMenuWindow::kIndentPerLevel);
        gtk_list_box_append(list, row);
        if (item.submenu)
            addMenuRows(list, *item.submenu, level + 1);
    }
}

GtkWidget* newColumn()
{
    GtkWidget* column = gtk_box_new(GTK_ORIENTATION_VERTICAL, 12);
    gtk_widget_set_valign(column, GTK_ALIGN_START);
    return column;
}

} // namespace

std::string OVTryMenuWindow::describe(const Subject& subject)
{
    if (subject.paths.empty())
        return {};
    if (subject.background || subject.paths.size() == 1)
        return baseName(subject.paths.front());
    return ov::stringPrintf(ov::translatePlural("%ld item", "%ld items", subject.paths.size()), long(subject.paths.size()));
}

GtkWindow* OVTryMenuWindow::present(const OVMenuExplanation& explanation, const Subject& subject, GtkWindow* parent)
{
    GtkWidget* window = adw_window_new();
    gtk_window_set_title(GTK_WINDOW(window), _("Try on Files"));
    gtk_window_set_default_size(GTK_WINDOW(window), 780, 540);
    gtk_window_set_modal(GTK_WINDOW(window), TRUE);
    if (parent)
        gtk_window_set_transient_for(GTK_WINDOW(window), parent);
    gtk_window_set_destroy_with_parent(GTK_WINDOW(window), TRUE);

    GtkWidget* header = adw_header_bar_new();
    adw_header_bar_set_title_widget(ADW_HEADER_BAR(header),
                                    adw_window_title_new(subject.background ? _("Background Menu") : _("Context Menu"),
                                                         plainText(describe(subject)).c_str()));

    // The menu beside the reasons, as the menu would stand beside the files.
    GtkWidget* body = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 24);
    gtk_widget_set_margin_top(body, 18);
    gtk_widget_set_margin_bottom(body, 18);
    gtk_widget_set_margin_start(body, 18);
    gtk_widget_set_margin_end(body, 18);

    if (explanation.extensionOff) {
        gtk_box_append(GTK_BOX(body), newNote(_("Nothing is shown: the Orvane extension is turned off in Orvane.")));
    } else {
        GtkWidget* menuColumn = newColumn();
        gtk_widget_set_size_request(menuColumn, 260, -1);
        gtk_box_append(GTK_BOX(menuColumn), newHeading(_("Shown")));
        if (explanation.menu.empty()) {
            gtk_box_append(GTK_BOX(menuColumn), newNote(_("No action is offered for these files.")));
        } else {
            GtkWidget* shown = newList(kShownListName);
            addMenuRows(GTK_LIST_BOX(shown), explanation.menu, 0);
            gtk_box_append(GTK_BOX(menuColumn), shown);
        }
        gtk_box_append(GTK_BOX(body), menuColumn);

        GtkWidget* reasonColumn = newColumn();
        gtk_widget_set_hexpand(reasonColumn, TRUE);
        gtk_box_append(GTK_BOX(reasonColumn), newHeading(_("Left Out")));
        if (explanation.leftOut.empty()) {
            gtk_box_append(GTK_BOX(reasonColumn), newNote(_("No action is left out.")));
        } else {
            GtkWidget* leftOut = newList(kLeftOutListName);
            for (const auto& entry : explanation.leftOut)
                gtk_list_box_append(GTK_LIST_BOX(leftOut), newRow(entry.qualifiedName(), entry.reason));
            gtk_box_append(GTK_BOX(reasonColumn), leftOut);
        }
        gtk_box_append(GTK_BOX(body), reasonColumn);
    }

    GtkWidget* scrolled = gtk_scrolled_window_new();
    gtk_scrolled_window_set_policy(GTK_SCROLLED_WINDOW(scrolled), GTK_POLICY_NEVER, GTK_POLICY_AUTOMATIC);
    gtk_widget_set_vexpand(scrolled, TRUE);
    gtk_scrolled_window_set_child(GTK_SCROLLED_WINDOW(scrolled), body);

    GtkWidget* content = gtk_box_new(GTK_ORIENTATION_VERTICAL, 0);
    gtk_box_append(GTK_BOX(content), header);
    gtk_box_append(GTK_BOX(content), scrolled);
    adw_window_set_content(ADW_WINDOW(window), content);

    // Escape closes it, as any dialog.
    GtkEventController* keys = gtk_shortcut_controller_new();
    gtk_shortcut_controller_add_shortcut(GTK_SHORTCUT_CONTROLLER(keys),
                                         gtk_shortcut_new(gtk_keyval_trigger_new(GDK_KEY_Escape, GdkModifierType(0)),
                                                          gtk_named_action_new("window.close")));
    gtk_widget_add_controller(window, keys);

    gtk_window_present(GTK_WINDOW(window));
    return GTK_WINDOW(window);
}
