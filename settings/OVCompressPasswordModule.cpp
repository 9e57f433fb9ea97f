// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/OVCompressPasswordModule.h"

#include "model/OVCompressPasswordAction.h"
#include "model/OVUserDefaults.h"
#include "settings/OVWeakSignal.h"

void OVCompressPasswordModule::hl_viewDidLoad()
{
    OVResetAppModule::hl_viewDidLoad();
    auto* edited = dynamic_cast<OVCompressPasswordAction*>(action().get());
    GtkSwitch* toggle = strongEncryptionSwitch();
    if (!edited || !toggle)
        return;
    // Where the next prompt starts, which may be a choice made there since.
    gtk_switch_set_active(toggle, OVUserDefaults::standardUserDefaults()->startsWithStrongEncryption(*edited));
    const std::weak_ptr<OVCompressPasswordModule> weak =
        std::static_pointer_cast<OVCompressPasswordModule>(shared_from_this());
    ovsettings::connectWeak(toggle, "notify::active", G_CALLBACK(+[](GtkSwitch*, GParamSpec*, gpointer data) {
        ovsettings::withTarget<OVCompressPasswordModule>(data, "the strong encryption switch",
                                                         [](OVCompressPasswordModule& m) { m.strongEncryptionDidChange(); });
    }), weak);
}

void OVCompressPasswordModule::strongEncryptionDidChange()
{
    auto* edited = dynamic_cast<OVCompressPasswordAction*>(action().get());
    if (!edited)
        return;
    const bool strong = gtk_switch_get_active(strongEncryptionSwitch());
    edited->setStrongEncryption(strong);
    // Set here, it is where the prompt starts again.
    OVUserDefaults::standardUserDefaults()->forgetStrongEncryption(edited->uid());
    saveStore();
}
