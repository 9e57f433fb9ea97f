// SPDX-License-Identifier: GPL-3.0-or-later
// The shared preferences of the three programs.
#pragma once

#include "model/HLUserDefaults.h"

#include <memory>

class OVCompressPasswordAction;

class OVUserDefaults : public HLUserDefaults {
public:
    static std::shared_ptr<OVUserDefaults> standardUserDefaults();
    static std::shared_ptr<OVUserDefaults> create();
    ~OVUserDefaults() override;

    std::string suiteName() const override; // "app.orvane.Orvane.preferences"
    std::map<std::string, OVValue> setupDefaults() const override;

    // The boolean preferences, each stored under its own name.
    bool suppressActionDeletionAlert() const { return boolForProperty("suppressActionDeletionAlert"); }
    void setSuppressActionDeletionAlert(bool v) { setBoolForProperty("suppressActionDeletionAlert", v); }
    bool didCreateDefaultTemplates() const { return boolForProperty("didCreateDefaultTemplates"); }
    void setDidCreateDefaultTemplates(bool v) { setBoolForProperty("didCreateDefaultTemplates", v); }
    bool didCreateDefaultActions() const { return boolForProperty("didCreateDefaultActions"); }
    void setDidCreateDefaultActions(bool v) { setBoolForProperty("didCreateDefaultActions", v); }
    bool didCreateDefaultActions2() const { return boolForProperty("didCreateDefaultActions2"); }
    void setDidCreateDefaultActions2(bool v) { setBoolForProperty("didCreateDefaultActions2", v); }
    bool showIconInToolbar() const { return boolForProperty("showIconInToolbar"); }
    void setShowIconInToolbar(bool v) { setBoolForProperty("showIconInToolbar", v); }
    bool useBlackAndWhiteIcon() const { return boolForProperty("useBlackAndWhiteIcon"); }
    void setUseBlackAndWhiteIcon(bool v) { setBoolForProperty("useBlackAndWhiteIcon", v); }
    bool useSubmenu() const { return boolForProperty("useSubmenu"); }
    void setUseSubmenu(bool v) { setBoolForProperty("useSubmenu", v); }
    bool playAlertOnCompletion() const { return boolForProperty("playAlertOnCompletion"); }
    void setPlayAlertOnCompletion(bool v) { setBoolForProperty("playAlertOnCompletion", v); }
    bool showFileOnMoveCopyComplete() const { return boolForProperty("showFileOnMoveCopyComplete"); }
    void setShowFileOnMoveCopyComplete(bool v) { setBoolForProperty("showFileOnMoveCopyComplete", v); }
    bool disableActionNotifications() const { return boolForProperty("disableActionNotifications"); }
    void setDisableActionNotifications(bool v) { setBoolForProperty("disableActionNotifications", v); }
    bool overwriteDestinationFile() const { return boolForProperty("overwriteDestinationFile"); }
    void setOverwriteDestinationFile(bool v) { setBoolForProperty("overwriteDestinationFile", v); }

    static const std::vector<std::string>& propertyNames(); // declaration order

    // Whether the menu is also written for another file manager ("nemo", "thunar", "dolphin"):
    // keys "exportMenuToNemo" and so on, off unless set.
    static std::string exportMenuProperty(const std::string& fileManager);
    bool exportsMenuTo(const std::string& fileManager) const { return boolForProperty(exportMenuProperty(fileManager)); }
    void setExportsMenuTo(const std::string& fileManager, bool v) { setBoolForProperty(exportMenuProperty(fileManager), v); }

    // The compress prompt's strong encryption switch, remembered per action (by uid) beside the
    // store rather than in it: the settings application keeps the whole list in memory and writes
    // it back whole, so a runner writing Actions.plist would lose its choice or the user's edits.
    // Where the prompt starts: the choice last confirmed there, else the action's own setting.
    bool startsWithStrongEncryption(const OVCompressPasswordAction& action) const;
    // Kept only while it differs from the action's own setting; an action without a uid of the
    // usual shape (letters, digits, '-', '_'; at most 128) keeps none.
    void rememberStrongEncryption(const OVCompressPasswordAction& action, bool strong);
    // The action's own setting decides again (it was just set in the editor).
    void forgetStrongEncryption(const std::string& uid);
    static std::string strongEncryptionProperty(const std::string& uid) { return "strongEncryption." + uid; }

protected:
    void didChangeValueForKey(const std::string& key) override;

private:
    OVUserDefaults() = default;
};
