// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/OVMoveToActionModule.h"

#include "model/OVActionKinds.h"
#include "model/OVDefaultCatalogue.h"
#include "model/OVOpenWithAppAction.h"
#include "platform/Files.h"
#include "platform/Log.h"
#include "platform/Translation.h"
#include "platform/Workspace.h"
#include "settings/OVApplicationChooser.h"
#include "settings/OVFileChoice.h"
#include "settings/OVWeakSignal.h"

#include <gio/gdesktopappinfo.h>

namespace {

std::string withoutExtension(const std::string& path)
{
    std::string name = ov::lastPathComponent(path);
    const auto dot = name.rfind('.');
    if (dot != std::string::npos && dot != 0)
        name.erase(dot);
    return name;
}

// Paths compare without their trailing slashes.
std::string samePathKey(const std::string& path) { return ov::withoutTrailingSlashes(path); }

} // namespace

OVMoveToActionModule::~OVMoveToActionModule() = default;

bool OVMoveToActionModule::isApplicationGroup() const { return bool(std::dynamic_pointer_cast<OVOpenWithActionGroup>(action())); }

std::optional<std::string> OVMoveToActionModule::targetOf(const OVAction& child) { return child.target(); }

void OVMoveToActionModule::hl_viewDidLoad()
{
    OVActionListModule::hl_viewDidLoad();
    const auto& group = action();
    std::string heading;
    if (std::dynamic_pointer_cast<OVMoveActionGroup>(group))
        heading = _("Move files and folders to a specific folder");
    else if (std::dynamic_pointer_cast<OVCopyActionGroup>(group))
        heading = _("Copy files and folders to a specific folder");
    else if (isApplicationGroup())
        heading = _("Open files and folders with a specific application");
    else if (std::dynamic_pointer_cast<OVOpenFavesActionGroup>(group))
        heading = _(OVOpenFavesActionGroup::kKind.description); // older stores hold an older text
    else if (group)
        heading = group->actionDescription().value_or("");
    gtk_label_set_text(headingLabel(), heading.c_str());

    std::weak_ptr<OVMoveToActionModule> weak = std::static_pointer_cast<OVMoveToActionModule>(shared_from_this());
    TextColumn name;
    name.id = "name";
    name.title = isApplicationGroup() ? _("Application") : _("Folder");
    name.expand = true;
    name.withIcon = true;
    name.text = [](const OVAction& child) { return child.title().value_or(""); };
    name.detail = [](const OVAction& child) { return targetOf(child).value_or(""); };
    name.didEdit = [weak](unsigned row, const std::string& typed) {
        auto m = weak.lock();
        return m ? m->didEditActionName(row, typed) : typed;
    };
    addTextColumn(std::move(name));
    if (!isApplicationGroup()) {
        gtk_widget_set_visible(GTK_WIDGET(outlet("showButton")), TRUE);
        ovsettings::addCommand(commandMap(), "show-in-finder", weak, &OVMoveToActionModule::showInFinder);
        g_menu_append(contextMenuItems(), _("Show in Files"), "list.show-in-finder");
        // Folders dropped from the file manager are added like chosen ones; other items are not targets.
        GtkDropTarget* drop = gtk_drop_target_new(GDK_TYPE_FILE_LIST, GDK_ACTION_COPY);
        ovsettings::connectWeak(drop, "drop", G_CALLBACK(+[](GtkDropTarget*, const GValue* value, double, double, gpointer data) -> gboolean {
            gboolean accepted = FALSE;
            ovsettings::withTarget<OVMoveToActionModule>(data, "folders dropped on the list", [&](OVMoveToActionModule& m) {
                std::vector<std::string> folders;
                for (GSList* l = static_cast<GSList*>(g_value_get_boxed(value)); l; l = l->next) {
                    ov::GCharPtr path(g_file_get_path(G_FILE(l->data)));
                    if (path && ov::isDirectory(path.get()))
                        folders.emplace_back(path.get());
                }
                accepted = !folders.empty();
                m.addFolders(folders);
            });
            return accepted;
        }), weak);
        gtk_widget_add_controller(GTK_WIDGET(tableView()), GTK_EVENT_CONTROLLER(drop));
    }
    reloadData();
}

OVActionPtr OVMoveToActionModule::actionWithURL(const std::string& path) const
{
    // Groups that name no kind of their own hold applications.
    const auto& group = action();
    const std::string kind = (group ? group->childKindName() : std::nullopt).value_or(OVOpenWithAppAction::kClassName);
    OVActionPtr child = OVActionKinds::make(kind);
    if (!child)
        return nullptr;
    child->setTarget(path);
    child->setTitle(withoutExtension(path));
    child->setIcon(hl_iconWithURL(path));
    return child;
}

bool OVMoveToActionModule::hasTarget(const std::string& path) const
{
    auto group = actionGroup();
    if (!group)
        return false;
    for (const auto& child : group->actions())
        if (auto target = targetOf(*child); target && samePathKey(*target) == samePathKey(path))
            return true;
    return false;
}

void OVMoveToActionModule::addFiles()
{
    std::weak_ptr<OVMoveToActionModule> weak = std::static_pointer_cast<OVMoveToActionModule>(shared_from_this());
    if (isApplicationGroup()) {
        if (applicationChooser_)
            return;
        applicationChooser_ = OVApplicationChooser::create(_("Select the application you wish to add"), parentWindow(),
                                                           [weak](const std::vector<GAppInfo*>& chosen) {
            auto m = weak.lock();
            if (!m)
                return;
            m->addApplications(chosen);
            m->applicationChooser_.reset();
        });
        applicationChooser_->present();
        return;
    }
    if (folderChooser_)
        return;
    folderChooser_ = ov::GRef<GtkFileChooserNative>(gtk_file_chooser_native_new(
        _("Select a folder you wish to add"), parentWindow(), GTK_FILE_CHOOSER_ACTION_SELECT_FOLDER, _("Add"), _("Cancel")));
    gtk_file_chooser_set_select_multiple(GTK_FILE_CHOOSER(folderChooser_.get()), TRUE);
    gtk_native_dialog_set_modal(GTK_NATIVE_DIALOG(folderChooser_.get()), TRUE);
    ovsettings::connectWeak(folderChooser_.get(), "response", G_CALLBACK(+[](GtkNativeDialog* dialog, int response, gpointer data) {
        ovsettings::withTarget<OVMoveToActionModule>(data, "adding folders", [&](OVMoveToActionModule& m) {
            std::vector<std::string> paths = ovsettings::chosenPaths(dialog, response);
            auto keep = std::move(m.folderChooser_);
            m.addFolders(paths);
        });
    }), weak);
    gtk_native_dialog_show(GTK_NATIVE_DIALOG(folderChooser_.get()));
}

void OVMoveToActionModule::addFolders(const std::vector<std::string>& paths)
{
    auto group = actionGroup();
    bool added = false;
    for (const auto& path : paths) {
        if (!group || path.empty() || hasTarget(path)) // duplicates are skipped silently
            continue;
        group->addAction(actionWithURL(path));
        added = true;
    }
    childrenAdded(added);
}

void OVMoveToActionModule::addApplications(const std::vector<GAppInfo*>& applications)
{
    auto group = actionGroup();
    bool added = false;
    for (GAppInfo* info : applications) {
        const char* file = G_IS_DESKTOP_APP_INFO(info) ? g_desktop_app_info_get_filename(G_DESKTOP_APP_INFO(info)) : nullptr;
        if (!group || !file || hasTarget(file))
            continue;
        OVActionPtr child = actionWithURL(file);
        if (!child)
            continue;
        child->setTitle(std::string(g_app_info_get_name(info)));
        if (GIcon* icon = g_app_info_get_icon(info)) {
            ov::GCharPtr serialized(g_icon_to_string(icon));
            if (serialized)
                child->setIcon(OVImage::fromSerialized(serialized.get()));
        }
        group->addAction(child);
        added = true;
    }
    childrenAdded(added);
}

void OVMoveToActionModule::childrenAdded(bool added)
{
    if (added)
        saveStore();
    reloadData();
}

void OVMoveToActionModule::showInFinder()
{
    std::vector<std::string> targets;
    for (unsigned row : targetRows())
        if (row < rows().size())
            if (auto target = targetOf(*rows()[row]))
                targets.push_back(*target);
    if (targets.empty()) {
        beep();
        return;
    }
    ov::revealFiles(targets);
}
