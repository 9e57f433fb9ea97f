#include "model/OVAction.h"

#include "archive/OVKeyedArchiver.h"
#include "archive/OVKeyedUnarchiver.h"
#include "platform/Files.h"
#include "platform/Log.h"

#include <map>

using ov::ovLog;

std::string OVError::description() const
{
    return ov::stringPrintf("Error Domain=%s Code=%d \"%s\"", domain.c_str(), code, message.c_str());
}

void OVRunBehaviour::beforeRun(OVAction&, const OVPaths&, OVBeforeRunCompletion completion)
{
    completion(false);
}

namespace {
std::map<std::string, std::shared_ptr<OVRunBehaviour>>& behaviours()
{
    static std::map<std::string, std::shared_ptr<OVRunBehaviour>> table; // main thread only
    return table;
}
} // namespace

void OVAction::setRunBehaviour(const std::string& className, std::shared_ptr<OVRunBehaviour> behaviour)
{
    if (behaviour)
        behaviours()[className] = std::move(behaviour);
    else
        behaviours().erase(className);
}

OVRunBehaviour* OVAction::runBehaviour() const
{
    for (const auto& name : classHierarchy()) {
        auto it = behaviours().find(name);
        if (it != behaviours().end())
            return it->second.get();
    }
    return nullptr;
}

void OVAction::init()
{
    isNew_ = true;
    title_ = defaultTitle();
    enabled_ = true;
    generateUID();
}

void OVAction::generateUID()
{
    std::string u = ov::newUUIDString();
    std::erase(u, '-');
    uid_ = std::move(u);
}

void OVAction::setIcon(const std::optional<OVImage>& image)
{
    icon_ = image.value_or(OVImage());
}

void OVAction::encodeWithCoder(OVKeyedArchiver& coder) const
{
    coder.encodeBool("enabled", enabled_);
    coder.encodeString("title", title_);
    if (icon_)
        icon_->encodeWithCoder(coder, "icon");
    coder.encodeString("uid", uid_.empty() ? std::nullopt : std::optional<std::string>(uid_));
    coder.encodeBool("isDefault", isDefault_);
    coder.encodeStringList("fileTypes", fileTypes_);
    coder.encodeString("actionDescription", actionDescription_);
}

void OVAction::initWithCoder(OVKeyedUnarchiver& coder)
{
    uid_ = coder.decodeString("uid").value_or("");
    enabled_ = coder.decodeBool("enabled");
    title_ = coder.decodeString("title");
    setIcon(OVImage::imageWithCoder(coder, "icon"));
    isDefault_ = coder.decodeBool("isDefault");
    fileTypes_ = coder.decodeStringList("fileTypes");
    actionDescription_ = coder.decodeString("actionDescription");
    if (uid_.empty())
        generateUID();
}

OVActionPtr OVAction::copy() const
{
    OVActionPtr other = newEmptyInstance();
    copyFieldsTo(*other);
    return other;
}

void OVAction::copyFieldsTo(OVAction& other) const
{
    other.uid_ = uid_;
    other.enabled_ = enabled_;
    other.setIcon(icon_); // a copy without an icon gets the empty one, as a stored action does
    other.title_ = title_;
    other.isDefault_ = isDefault_;
    other.fileTypes_ = fileTypes_;
    other.actionDescription_ = actionDescription_;
}

std::string OVAction::description() const
{
    return ov::stringPrintf("<%s: %p title=%s>", className(), static_cast<const void*>(this),
                            title_ ? title_->c_str() : "(null)");
}

void OVAction::beforeRunWithFilePaths(const OVPaths& paths, OVBeforeRunCompletion completion)
{
    if (auto* b = runBehaviour(); b && b->hasBeforeRun()) {
        b->beforeRun(*this, paths, std::move(completion));
        return;
    }
    if (completion)
        completion(false);
}

void OVAction::runWithFilePaths(const OVPaths& paths, OVRunCompletion completion)
{
    if (auto* b = runBehaviour()) {
        b->run(*this, paths, std::move(completion));
        return;
    }
    ovLog("Subclasses should override this");
    finishWithoutRunBehaviour(*this, completion, "cannot be run by this program");
}

void OVAction::finishWithoutRunBehaviour(const OVAction& action, const OVRunCompletion& completion, const char* reason)
{
    if (!completion)
        return;
    const std::string title = action.title().value_or(action.className());
    completion(false, OVError{"app.orvane.Orvane", 1, ov::stringPrintf("\"%s\" (%s) %s.", title.c_str(),
                                                                      action.className(), reason)});
}
