// An action that holds an ordered list of child actions and shows as a submenu.
#pragma once

#include "model/OVAction.h"

class OVActionGroup : public OVAction {
    OV_ACTION_KIND(OVActionGroup, "OVAction", "NSObject")
public:
    OVActionList actions() const { return workingActionsArray_; }
    void addAction(const OVActionPtr& action);
    void removeAction(const OVActionPtr& action);
    void updateActions(const OVActionList& actions) { workingActionsArray_ = actions; }

    bool isGroup() const override { return true; }
    std::optional<std::string> editorClassName() const override;
    void encodeWithCoder(OVKeyedArchiver& coder) const override;
    void initWithCoder(OVKeyedUnarchiver& coder) override;
    void runWithFilePaths(const OVPaths& paths, OVRunCompletion completion) override;

protected:
    void copyFieldsTo(OVAction& other) const override;

private:
    OVActionList workingActionsArray_;
};

// The group kinds: each answers its own editor and starts with its own title and icon.
#define OV_GROUP_KIND(Kind)                                                                        \
    class Kind : public OVActionGroup {                                                           \
        OV_ACTION_KIND(Kind, "OVActionGroup", "OVAction", "NSObject")                             \
    public:                                                                                        \
        std::optional<std::string> defaultTitle() const override;                                 \
        std::optional<std::string> editorClassName() const override;                              \
                                                                                                   \
    protected:                                                                                     \
        void init() override;                                                                      \
    };
