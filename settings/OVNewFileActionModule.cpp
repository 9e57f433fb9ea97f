// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/OVNewFileActionModule.h"

#include "model/OVNewFileAction.h"
#include "platform/ContentTypes.h"
#include "platform/FileIcons.h"
#include "platform/Files.h"
#include "platform/Log.h"
#include "platform/MovingItems.h"
#include "platform/ProductPaths.h"
#include "platform/Translation.h"
#include "settings/OVImageIcon.h"
#include "settings/OVWeakSignal.h"

namespace {

// "name.ext" splits at the last dot; a leading dot belongs to the name.
std::pair<std::string, std::string> nameAndExtension(const std::string& path)
{
    const std::string name = ov::lastPathComponent(path);
    const auto dot = name.rfind('.');
    if (dot == std::string::npos || dot == 0)
        return {name, ""};
    return {name.substr(0, dot), name.substr(dot + 1)};
}

// What the desktop calls a file of this kind ("OpenDocument Text"), else "Document".
std::string kindText(const std::string& path)
{
    const ov::GuessedContentType guessed = ov::contentTypeForFileName(ov::lastPathComponent(path));
    if (guessed.uncertain || !guessed.type)
        return _("Document");
    ov::GCharPtr description(g_content_type_get_description(guessed.type->c_str()));
    return description && *description.get() ? std::string(description.get()) : std::string(_("Document"));
}

} // namespace

OVNewFileActionModule::~OVNewFileActionModule() = default;

std::string OVNewFileActionModule::customTemplatesURL()
{
    const std::string folder = ov::pathByAppending(ov::containerPath(), "templates");
    ov::makeDirectories(folder, 0755);
    return folder;
}

bool OVNewFileActionModule::isTemplateMissing(const OVAction& child)
{
    auto* entry = dynamic_cast<const OVNewFileAction*>(&child);
    return entry && (!entry->templateURL() || !ov::pathExists(*entry->templateURL()));
}

void OVNewFileActionModule::hl_viewDidLoad()
{
    OVActionListModule::hl_viewDidLoad();
    gtk_label_set_text(headingLabel(), _("Create new files from templates"));
    std::weak_ptr<OVNewFileActionModule> weak = std::static_pointer_cast<OVNewFileActionModule>(shared_from_this());
    addCheckColumn("", [](const OVAction& child) { return child.enabled(); }, [weak](unsigned row, bool on) {
        if (auto m = weak.lock())
            m->didToggleEnabled(row, on);
    });
    TextColumn title;
    title.id = "title";
    title.title = _("Title");
    title.expand = true;
    title.withIcon = true;
    title.widthChars = 10;
    title.text = [](const OVAction& child) { return child.title().value_or(""); };
    title.didEdit = [weak](unsigned row, const std::string& typed) {
        auto m = weak.lock();
        return m ? m->didEditActionName(row, typed) : typed;
    };
    addTextColumn(std::move(title));
    // The new file's name and extension: fields of the entry, each with its own editing rule.
    using Field = const std::optional<std::string>& (OVNewFileAction::*)() const;
    using Edit = std::string (OVNewFileActionModule::*)(unsigned, const std::string&);
    auto addField = [&](const char* id, const char* heading, int width, Field get, Edit edit) {
        TextColumn column;
        column.id = id;
        column.title = heading;
        column.widthChars = width;
        column.text = [get](const OVAction& child) {
            auto* entry = dynamic_cast<const OVNewFileAction*>(&child);
            return entry ? (entry->*get)().value_or("") : std::string();
        };
        column.didEdit = [weak, edit](unsigned row, const std::string& typed) {
            auto m = weak.lock();
            return m ? ((*m).*edit)(row, typed) : typed;
        };
        addTextColumn(std::move(column));
    };
    addField("fileName", _("File Name"), 8, &OVNewFileAction::fileName, &OVNewFileActionModule::didEditFileName);
    addField("extension", _("Extension"), 4, &OVNewFileAction::extension, &OVNewFileActionModule::didEditExtension);
    ovsettings::addCommand(commandMap(), "edit-file-name", weak, &OVNewFileActionModule::editFileName);
    ovsettings::addCommand(commandMap(), "edit-extension", weak, &OVNewFileActionModule::editExtension);
    reloadData();
}

void OVNewFileActionModule::showIcon(GtkImage* image, const OVAction& action) const
{
    if (isTemplateMissing(action)) {
        gtk_image_set_from_icon_name(image, "dialog-warning-symbolic");
        gtk_widget_set_tooltip_text(GTK_WIDGET(image), _("The template file of this entry is missing"));
        return;
    }
    gtk_widget_set_tooltip_text(GTK_WIDGET(image), nullptr);
    OVActionListModule::showIcon(image, action);
}

void OVNewFileActionModule::focusField(const char* column)
{
    const std::vector<unsigned> targets = targetRows();
    GtkEntry* field = targets.empty() ? nullptr : fieldAt(targets.front(), column);
    if (!field) {
        beep();
        return;
    }
    gtk_widget_grab_focus(GTK_WIDGET(field));
}

OVActionPtr OVNewFileActionModule::actionWithURL(const std::string& path) const
{
    const auto [name, extension] = nameAndExtension(path);
    std::string copyName = ov::newUUIDString();
    if (!extension.empty())
        copyName += "." + extension;
    const std::string destination = ov::pathByAppending(customTemplatesURL(), copyName);
    if (ov::copyItem(path, destination).outcome != ov::FileOutcome::Done) {
        ov::ovLog("Failed");
        return nullptr;
    }
    auto entry = OVAction::action<OVNewFileAction>();
    entry->setTitle(kindText(path));
    entry->setEnabled(true);
    entry->setFileName(name);
    entry->setExtension(extension);
    entry->setTemplateURL(destination);
    if (std::string icon = ov::fileManagerIcon(path); !icon.empty())
        entry->setIcon(OVImage::fromSerialized(std::move(icon)));
    return entry;
}

void OVNewFileActionModule::addFiles()
{
    if (templateChooser_)
        return;
    templateChooser_ = ov::GRef<GtkFileChooserNative>(gtk_file_chooser_native_new(
        _("Select a file template you wish to add"), parentWindow(), GTK_FILE_CHOOSER_ACTION_OPEN, _("Add"), _("Cancel")));
    gtk_native_dialog_set_modal(GTK_NATIVE_DIALOG(templateChooser_.get()), TRUE);
    std::weak_ptr<OVNewFileActionModule> weak = std::static_pointer_cast<OVNewFileActionModule>(shared_from_this());
    ovsettings::connectWeak(templateChooser_.get(), "response", G_CALLBACK(+[](GtkNativeDialog* dialog, int response, gpointer data) {
        ovsettings::withTarget<OVNewFileActionModule>(data, "adding a template", [&](OVNewFileActionModule& m) {
            std::vector<std::string> paths;
            if (response == GTK_RESPONSE_ACCEPT) {
                ov::GRef<GFile> file(gtk_file_chooser_get_file(GTK_FILE_CHOOSER(dialog)));
                ov::GCharPtr path(file ? g_file_get_path(file.get()) : nullptr);
                if (path)
                    paths.emplace_back(path.get());
            }
            auto keep = std::move(m.templateChooser_);
            m.addTemplates(paths);
        });
    }), weak);
    gtk_native_dialog_show(GTK_NATIVE_DIALOG(templateChooser_.get()));
}

void OVNewFileActionModule::addTemplates(const std::vector<std::string>& paths)
{
    auto group = actionGroup();
    bool added = false;
    for (const auto& path : paths) {
        if (auto entry = group ? actionWithURL(path) : nullptr) {
            group->addAction(entry);
            added = true;
        }
    }
    if (added)
        saveStore();
    reloadData();
}

std::string OVNewFileActionModule::didEditFileName(unsigned row, const std::string& typed)
{
    auto entry = row < rows().size() ? std::dynamic_pointer_cast<OVNewFileAction>(rows()[row]) : nullptr;
    if (!entry)
        return typed;
    const std::string text = trimmed(typed);
    if (text.empty()) {
        beep();
        return entry->fileName().value_or("");
    }
    entry->setFileName(text);
    saveStore();
    return text;
}

std::string OVNewFileActionModule::didEditExtension(unsigned row, const std::string& typed)
{
    auto entry = row < rows().size() ? std::dynamic_pointer_cast<OVNewFileAction>(rows()[row]) : nullptr;
    if (!entry)
        return typed;
    // Empty is allowed: a template without extension.
    const std::string text = trimmed(typed);
    entry->setExtension(text);
    saveStore();
    return text;
}

void OVNewFileActionModule::didToggleEnabled(unsigned row, bool on)
{
    if (row >= rows().size())
        return;
    rows()[row]->setEnabled(on);
    saveStore();
}
