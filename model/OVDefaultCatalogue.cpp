// SPDX-License-Identifier: GPL-3.0-or-later
#include "model/OVDefaultCatalogue.h"

#include "model/HLBundleResources.h"
#include "model/OVBundledScriptAction.h"
#include "model/OVCompressPasswordAction.h"
#include "model/OVConvertImageAction.h"
#include "model/OVConvertImageActionGroup.h"
#include "model/OVCopyActionGroup.h"
#include "model/OVCopyToAction.h"
#include "model/OVMoveActionGroup.h"
#include "model/OVMoveToAction.h"
#include "model/OVNewFileAction.h"
#include "model/OVNewFileActionGroup.h"
#include "model/OVOpenFavesAction.h"
#include "model/OVOpenFavesActionGroup.h"
#include "model/OVOpenWithActionGroup.h"
#include "model/OVResetAppPreferencesAction.h"
#include "model/OVSecureRemoveAction.h"
#include "model/OVSendViaEmailAction.h"
#include "model/OVTypes.h"
#include "model/OVUserDefaults.h"
#include "platform/FileIcons.h"
#include "platform/Files.h"
#include "platform/ProductPaths.h"
#include "platform/Translation.h"
#include "platform/UserFolders.h"

namespace {

constexpr std::size_t kMaxThumbnailBytes = 512u << 10;

std::optional<std::string> stringMember(const OVValue::Dictionary& dictionary, const std::string& key)
{
    auto it = dictionary.find(key);
    if (it == dictionary.end())
        return std::nullopt;
    if (auto* s = std::get_if<std::string>(&it->second.value))
        return *s;
    return std::nullopt;
}

const OVValue* member(const OVValue::Dictionary& dictionary, const std::string& key)
{
    auto it = dictionary.find(key);
    return it == dictionary.end() ? nullptr : &it->second;
}

// The template named by an entry: a plain file name inside "Default Templates"; none when the
// name leaves the folder or nothing is there.
std::optional<std::string> templatePath(const std::optional<std::string>& fileName)
{
    if (!fileName || fileName->empty() || *fileName == "." || *fileName == ".." ||
        fileName->find('/') != std::string::npos)
        return std::nullopt;
    std::string path = ov::pathByAppending(ov::pathByAppending(ov::resourcesPath(), "Default Templates"), *fileName);
    if (!ov::isRegularFile(path))
        return std::nullopt;
    return path;
}

std::optional<std::string> translated(const std::optional<std::string>& text)
{
    if (!text)
        return text;
    return std::string(ov::translate(text->c_str()));
}

// "Documents" of /home/u/Documents; the extension of a folder name goes as with any file.
std::string titleOfFolder(const std::string& path)
{
    std::string name = ov::lastPathComponent(path);
    auto dot = name.rfind('.');
    if (dot != std::string::npos && dot != 0)
        name.erase(dot);
    return name;
}

std::optional<OVImage> fileManagerImage(const std::string& path)
{
    std::string icon = ov::fileManagerIcon(path);
    if (icon.empty())
        return std::nullopt;
    return OVImage::fromSerialized(std::move(icon));
}

} // namespace

OVImage hl_iconWithURL(const std::string& path)
{
    if (auto png = ov::cachedThumbnailPNG(path, kMaxThumbnailBytes))
        return OVImage::fromPNGData(std::move(*png));
    return fileManagerImage(path).value_or(OVImage());
}

OVDefaultCatalogue::OVDefaultCatalogue(std::shared_ptr<OVActionsManager> store, std::shared_ptr<OVUserDefaults> defaults)
    : store_(std::move(store)), defaults_(std::move(defaults))
{
}

void OVDefaultCatalogue::generateDefaultsIfNeeded()
{
    addMissingDefaults();
    store_->save();
}

void OVDefaultCatalogue::addMissingDefaults()
{
    if (!hasDefaultActionForClass<OVNewFileActionGroup>())
        addNewFileGroup();
    if (!hasDefaultActionForClass<OVMoveActionGroup>())
        addFolderGroup<OVMoveActionGroup, OVMoveToAction>(_("Move to a folder"));
    if (!hasDefaultActionForClass<OVCopyActionGroup>())
        addFolderGroup<OVCopyActionGroup, OVCopyToAction>(_("Copy to a folder"));
    if (!hasDefaultActionForClass<OVOpenFavesActionGroup>())
        addFolderGroup<OVOpenFavesActionGroup, OVOpenFavesAction>(std::nullopt);
    if (!hasDefaultActionForClass<OVOpenWithActionGroup>()) {
        auto group = OVAction::action<OVOpenWithActionGroup>();
        group->setTitle(_("Open With"));
        group->setIsDefault(true);
        store_->addAction(group);
    }
    if (!hasDefaultActionForClass<OVSecureRemoveAction>()) {
        auto remove = OVAction::action<OVSecureRemoveAction>();
        remove->setEnabled(false);
        store_->addAction(remove);
    }
    if (!hasDefaultActionForClass<OVCompressPasswordAction>())
        store_->addAction(OVAction::action<OVCompressPasswordAction>());
    if (!hasDefaultActionForClass<OVSendViaEmailAction>())
        store_->addAction(OVAction::action<OVSendViaEmailAction>());
    if (!hasDefaultActionForClass<OVConvertImageActionGroup>())
        addConvertImageGroup();
    if (!defaults_->didCreateDefaultActions())
        addFirstBuiltInBatch();
    if (!defaults_->didCreateDefaultActions2())
        addSecondBuiltInBatch();
}

void OVDefaultCatalogue::addNewFileGroup()
{
    auto group = OVAction::action<OVNewFileActionGroup>();
    group->setTitle(_("Create new file"));
    group->setIsDefault(true);
    for (const auto& entry : hl_arrayFromPropertyListWithName("DefaultFiles").value_or(OVValue::Array{})) {
        auto* dictionary = std::get_if<OVValue::Dictionary>(&entry.value);
        if (!dictionary)
            continue;
        auto action = OVAction::action<OVNewFileAction>();
        // Written once, in the language of the user whose first store this is.
        action->setTitle(translated(stringMember(*dictionary, "title")));
        action->setFileName(translated(stringMember(*dictionary, "fileName")));
        action->setExtension(stringMember(*dictionary, "extension"));
        const OVValue* enabled = member(*dictionary, "enabled");
        action->setEnabled(enabled && OVBoolValue(*enabled));
        action->setIsDefault(true);
        // A missing template still makes its entry; running it then says the template is gone.
        auto path = templatePath(stringMember(*dictionary, "templateFile"));
        action->setTemplateURL(path);
        action->setIcon(path ? fileManagerImage(*path) : std::nullopt);
        group->addAction(action);
    }
    store_->addAction(group);
}

template <typename Group, typename Child>
void OVDefaultCatalogue::addFolderGroup(const std::optional<std::string>& title)
{
    auto group = OVAction::action<Group>();
    if (title)
        group->setTitle(title);
    group->setIsDefault(true);
    for (auto kind : {ov::UserDirectory::Documents, ov::UserDirectory::Pictures, ov::UserDirectory::Desktop}) {
        const std::string folder = ov::userDirectory(kind);
        auto action = OVAction::action<Child>();
        action->setDestinationURL(folder);
        action->setTitle(titleOfFolder(folder));
        action->setIcon(hl_iconWithURL(folder));
        group->addAction(action);
    }
    store_->addAction(group);
}

void OVDefaultCatalogue::addConvertImageGroup()
{
    struct Format {
        const char* title;
        const char* format;
        const char* extension;
    };
    static constexpr Format formats[] = {{"JPEG", "jpeg", "jpg"}, {"GIF", "gif", "gif"}, {"PNG", "png", "png"},
                                         {"TIFF", "tiff", "tiff"}};
    auto group = OVAction::action<OVConvertImageActionGroup>();
    for (const auto& f : formats) {
        auto action = OVAction::action<OVConvertImageAction>();
        action->setTitle(std::string(f.title));
        action->setOutputFormat(std::string(f.format));
        action->setOutputExtension(std::string(f.extension));
        group->addAction(action);
    }
    store_->addAction(group);
}

void OVDefaultCatalogue::addFirstBuiltInBatch()
{
    store_->addAction(OVAction::action<OVResetAppPreferencesAction>());
    addBundledScript("Copy paths to clipboard", true, false);
    addBundledScript("New Terminal Tab Here", false, true);
    addBundledScript("New Terminal Window Here", true, true);
    addBundledScript("Edit with Vim", true, false);
    addBundledScript("Show hidden files", false, false);
    addBundledScript("Hide hidden files", false, false);
    defaults_->setDidCreateDefaultActions(true);
}

void OVDefaultCatalogue::addSecondBuiltInBatch()
{
    addBundledScript("Edit with Emacs", false, false);
    addBundledScript("New Tab Here in Another Terminal", false, true);
    addBundledScript("New Window Here in Another Terminal", false, true);
    defaults_->setDidCreateDefaultActions2(true);
}

void OVDefaultCatalogue::addBundledScript(const std::string& title, bool enabled, bool foldersOnly)
{
    // A missing script is logged and skipped; the store ignores none.
    auto action = OVBundledScriptAction::actionWithBundledFileName(title);
    if (action) {
        action->setEnabled(enabled);
        if (foldersOnly)
            action->setFileTypes(OVStringList{kUTTypeFolder});
    }
    store_->addAction(action);
}
