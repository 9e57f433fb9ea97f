#include "model/OVActionGroup.h"

#include "model/OVActionArchive.h"
#include "model/OVConvertImageActionGroup.h"
#include "model/OVCopyActionGroup.h"
#include "model/OVMoveActionGroup.h"
#include "model/OVNewFileActionGroup.h"
#include "model/OVOpenFavesActionGroup.h"
#include "model/OVOpenWithActionGroup.h"
#include "model/OVTypes.h"
#include "platform/Log.h"

#include <algorithm>

void OVActionGroup::addAction(const OVActionPtr& action)
{
    if (action)
        workingActionsArray_.push_back(action);
}

void OVActionGroup::removeAction(const OVActionPtr& action)
{
    if (action)
        std::erase(workingActionsArray_, action);
}

std::optional<std::string> OVActionGroup::editorClassName() const
{
    ov::ovLog("Subclasses need to overwrite editorClassName - %s", className());
    return std::nullopt;
}

void OVActionGroup::encodeWithCoder(OVKeyedArchiver& coder) const
{
    OVAction::encodeWithCoder(coder);
    OVActionArchive::encodeActions(coder, "actions", workingActionsArray_);
}

void OVActionGroup::initWithCoder(OVKeyedUnarchiver& coder)
{
    OVAction::initWithCoder(coder);
    workingActionsArray_ = OVActionArchive::decodeActions(coder, "actions");
}

void OVActionGroup::copyFieldsTo(OVAction& other) const
{
    OVAction::copyFieldsTo(other);
    // The copy gets its own list holding the same children.
    static_cast<OVActionGroup&>(other).workingActionsArray_ = workingActionsArray_;
}

void OVActionGroup::runWithFilePaths(const OVPaths&, OVRunCompletion completion)
{
    ov::ovLog("Group actions can't be run");
    finishWithoutRunBehaviour(*this, completion, "is a group and cannot be run");
}

#define OV_GROUP_CONSTANTS(Kind, title, editor)                                                    \
    std::optional<std::string> Kind::defaultTitle() const { return title; }                       \
    std::optional<std::string> Kind::editorClassName() const { return std::string(editor); }

OV_GROUP_CONSTANTS(OVOpenWithActionGroup, std::string("Open With"), "OVMoveToActionModule")
OV_GROUP_CONSTANTS(OVCopyActionGroup, std::string("Copy to a folder"), "OVMoveToActionModule")
OV_GROUP_CONSTANTS(OVMoveActionGroup, std::string("Move to a folder"), "OVMoveToActionModule")
OV_GROUP_CONSTANTS(OVNewFileActionGroup, std::string("Create new file"), "OVNewFileActionModule")
OV_GROUP_CONSTANTS(OVOpenFavesActionGroup, std::nullopt, "OVMoveToActionModule")
OV_GROUP_CONSTANTS(OVConvertImageActionGroup, std::nullopt, "OVResetAppModule")

void OVOpenWithActionGroup::init()
{
    OVActionGroup::init();
    setIcon(OVImage::named("icon-open-with"));
}

void OVCopyActionGroup::init()
{
    OVActionGroup::init();
    setIcon(OVImage::named("icon-copy"));
}

void OVMoveActionGroup::init()
{
    OVActionGroup::init();
    setIcon(OVImage::named("icon-move"));
}

void OVNewFileActionGroup::init()
{
    OVActionGroup::init();
    setIcon(OVImage::named("icon-new-file"));
}

void OVOpenFavesActionGroup::init()
{
    OVActionGroup::init();
    setTitle("Open new Finder window");
    setIcon(OVImage::named("icon-open-faves"));
    setActionDescription("Opens a new Finder window/tab to the selected location");
    setIsDefault(true);
}

void OVConvertImageActionGroup::init()
{
    OVActionGroup::init();
    setTitle("Convert Image");
    setIcon(OVImage::named("icon-convert-images"));
    setActionDescription("Converts an image to the selected format");
    setIsDefault(true);
    setFileTypes(OVStringList{kUTTypeImage});
}
