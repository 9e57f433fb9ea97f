// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/RZPreferencesModule.h"

#include "model/OVUserDefaults.h"
#include "platform/Translation.h"
#include "settings/OVWeakSignal.h"

RZPreferencesModule::RZPreferencesModule(std::shared_ptr<OVUserDefaults> defaults) : defaults_(std::move(defaults))
{
    setModuleTitle(_("Preferences"));
    setModuleImage(OVImage::named("preferences-system-symbolic"));
    setModuleIsResizable(false);
    setViewMinSize({480, 400});
}

void RZPreferencesModule::hl_viewDidLoad()
{
    const std::weak_ptr<RZPreferencesModule> weak = std::static_pointer_cast<RZPreferencesModule>(shared_from_this());
    for (GtkCheckButton* box : {submenuCheckbox(), disableNotificationsCheckbox(), showFinderWindowCheckbox(),
                                overwriteFileCheckbox()}) {
        ovsettings::connectWeak(box, "toggled", G_CALLBACK(+[](GtkCheckButton* box, gpointer data) {
            ovsettings::withTarget<RZPreferencesModule>(data, "a preference check box",
                                                        [&](RZPreferencesModule& module) { module.checkboxToggled(box); });
        }), weak);
    }
    updateUI();
    isLoaded_ = true;
}

void RZPreferencesModule::checkboxToggled(GtkCheckButton* box)
{
    if (updating_)
        return;
    if (box == submenuCheckbox())
        useSubmenuDidChange();
    else if (box == disableNotificationsCheckbox())
        disableNotificationsDidChange();
    else if (box == showFinderWindowCheckbox())
        showFinderWindowDidChange();
    else if (box == overwriteFileCheckbox())
        overwriteFileDidChange();
}

void RZPreferencesModule::hl_viewWillAppear()
{
    // Preferences may have changed elsewhere while the page was hidden.
    if (isLoaded_)
        updateUI();
}

void RZPreferencesModule::updateUI()
{
    updating_ = true;
    const auto set = [](GtkCheckButton* box, bool value) {
        if (box)
            gtk_check_button_set_active(box, value);
    };
    set(submenuCheckbox(), defaults_->useSubmenu());
    set(disableNotificationsCheckbox(), defaults_->disableActionNotifications());
    set(showFinderWindowCheckbox(), defaults_->showFileOnMoveCopyComplete());
    set(overwriteFileCheckbox(), defaults_->overwriteDestinationFile());
    updating_ = false;
}

void RZPreferencesModule::useSubmenuDidChange()
{
    defaults_->setUseSubmenu(gtk_check_button_get_active(submenuCheckbox()));
}

void RZPreferencesModule::disableNotificationsDidChange()
{
    defaults_->setDisableActionNotifications(gtk_check_button_get_active(disableNotificationsCheckbox()));
}

void RZPreferencesModule::showFinderWindowDidChange()
{
    defaults_->setShowFileOnMoveCopyComplete(gtk_check_button_get_active(showFinderWindowCheckbox()));
}

void RZPreferencesModule::overwriteFileDidChange()
{
    defaults_->setOverwriteDestinationFile(gtk_check_button_get_active(overwriteFileCheckbox()));
}
