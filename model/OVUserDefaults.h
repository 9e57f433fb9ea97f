// The shared preferences of the three programs.
#pragma once

#include "model/HLUserDefaults.h"

#include <memory>

class OVUserDefaults : public HLUserDefaults {
public:
    static std::shared_ptr<OVUserDefaults> standardUserDefaults();
    static std::shared_ptr<OVUserDefaults> create();
    ~OVUserDefaults() override;

    std::string suiteName() const override; // "app.orvane.Orvane.preferences"
    std::map<std::string, OVValue> setupDefaults() const override;

#define OV_BOOL_PREFERENCE(name, Name)                                                             \
    bool name() const { return boolForProperty(#name); }                                           \
    void set##Name(bool v) { setBoolForProperty(#name, v); }
    OV_BOOL_PREFERENCE(suppressActionDeletionAlert, SuppressActionDeletionAlert)
    OV_BOOL_PREFERENCE(didCreateDefaultTemplates, DidCreateDefaultTemplates)
    OV_BOOL_PREFERENCE(didCreateDefaultActions, DidCreateDefaultActions)
    OV_BOOL_PREFERENCE(didCreateDefaultActions2, DidCreateDefaultActions2)
    OV_BOOL_PREFERENCE(showIconInToolbar, ShowIconInToolbar)
    OV_BOOL_PREFERENCE(useBlackAndWhiteIcon, UseBlackAndWhiteIcon)
    OV_BOOL_PREFERENCE(useSubmenu, UseSubmenu)
    OV_BOOL_PREFERENCE(playAlertOnCompletion, PlayAlertOnCompletion)
    OV_BOOL_PREFERENCE(showFileOnMoveCopyComplete, ShowFileOnMoveCopyComplete)
    OV_BOOL_PREFERENCE(disableActionNotifications, DisableActionNotifications)
    OV_BOOL_PREFERENCE(overwriteDestinationFile, OverwriteDestinationFile)
#undef OV_BOOL_PREFERENCE

    static const std::vector<std::string>& propertyNames(); // declaration order

    // Whether the menu is also written for another file manager ("nemo", "thunar", "dolphin"):
    // keys "exportMenuToNemo" and so on, off unless set.
    static std::string exportMenuProperty(const std::string& fileManager);
    bool exportsMenuTo(const std::string& fileManager) const { return boolForProperty(exportMenuProperty(fileManager)); }
    void setExportsMenuTo(const std::string& fileManager, bool v) { setBoolForProperty(exportMenuProperty(fileManager), v); }

protected:
    void didChangeValueForKey(const std::string& key) override;

private:
    OVUserDefaults() = default;
};
