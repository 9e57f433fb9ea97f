// SPDX-License-Identifier: GPL-3.0-or-later
// "Create new file": one copy of the template in every folder of the selection.
#include "runner/OVRunBehaviours.h"

#include "model/OVNewFileAction.h"
#include "platform/Files.h"
#include "platform/ItemChanges.h"
#include "platform/Log.h"
#include "platform/MainContext.h"
#include "platform/MovingItems.h"
#include "platform/Translation.h"
#include "platform/Workspace.h"
#include "runner/NextAvailable.h"
#include "runner/OVUserNotificationCenter.h"

#include <cerrno>
#include <set>

namespace {

class NewFileRun {
public:
    NewFileRun(OVActionPtr action, std::optional<std::string> templatePath, std::string name, OVPaths paths,
               OVRunCompletion completion)
        : action_(std::move(action)), templatePath_(std::move(templatePath)), name_(std::move(name)),
          paths_(std::move(paths)), completion_(std::move(completion))
    {
    }

    void perform()
    {
        try {
            performItems();
        } catch (const std::exception& e) {
            completion_(false, OVError{ovrun::kOrvaneErrorDomain, EIO, e.what()});
        }
    }

private:
    void performItems()
    {
        std::set<std::string> served;
        std::vector<std::string> created;
        bool success = true;
        std::optional<OVError> error;

        for (const auto& path : paths_) {
            if (!ov::pathExists(path))
                continue;
            std::string folder = ov::withoutTrailingSlashes(ov::isDirectory(path) ? path : ov::deletingLastPathComponent(path));
            if (!served.insert(folder).second)
                continue;
            error = copyTemplate(folder, &created);
            if (error) {
                success = false;
                break;
            }
        }

        ov::revealFiles(created);
        completion_(success, std::move(error));
    }

    // Copies the template into the folder under the first free name; none on success.
    std::optional<OVError> copyTemplate(const std::string& folder, std::vector<std::string>* created)
    {
        if (!templatePath_ || templatePath_->empty() || !ov::pathExists(*templatePath_))
            return missingTemplate();
        // The name comes from the stored action: it must stay one item inside the folder.
        if (name_.empty() || name_ == "." || name_ == ".." || name_.find('/') != std::string::npos)
            return OVError{ovrun::kPOSIXErrorDomain, EINVAL, "Not a valid file name: " + name_};

        const std::string wanted = ov::pathByAppending(folder, name_);
        // Created exclusively: a file that appears at the free name is never overwritten.
        std::string target;
        ov::MoveResult result = hl_placeAtNextAvailablePath(
            wanted, [&](const std::string& t) { return ov::copyItem(*templatePath_, t); }, &target);
        if (result.outcome != ov::FileOutcome::Done)
            return OVError{ovrun::kPOSIXErrorDomain, result.error.code, result.error.message};
        ov::touchItem(target); // a failure here leaves the template's time, nothing worse
        created->push_back(target);
        return std::nullopt;
    }

    // The first-run catalogue keeps an entry whose template did not ship; such a run must tell
    // the user, not end unseen in the log.
    OVError missingTemplate() const
    {
        const std::string title = action_ && action_->title() ? *action_->title() : name_;
        OVError error{ovrun::kPOSIXErrorDomain, ENOENT,
                      templatePath_ && !templatePath_->empty()
                          ? ov::stringPrintf(_("The template file of \"%s\" is missing (%s). Choose another template for it in Orvane."),
                                             title.c_str(), templatePath_->c_str())
                          : ov::stringPrintf(_("The template file of \"%s\" is missing. Choose another template for it in Orvane."),
                                             title.c_str())};
        OVUserNotification notification;
        notification.informativeText = ov::stringPrintf(_("Couldn't create \"%s\": %s"), name_.c_str(), error.message.c_str());
        notification.hasActionButton = false;
        notification.isError = true;
        OVUserNotificationCenter::deliverNotification(notification);
        return error;
    }

    OVActionPtr action_;
    std::optional<std::string> templatePath_;
    std::string name_;
    OVPaths paths_;
    ovrun::OnceCompletion completion_;
};

class NewFileRunBehaviour : public OVKindRunBehaviour<OVNewFileAction> {
public:
    void runKind(OVNewFileAction& newFile, const OVPaths& paths, OVRunCompletion completion) override
    {
        std::string name = newFile.fileName().value_or("");
        if (const auto& extension = newFile.extension(); extension && !extension->empty())
            name += "." + *extension;
        auto run = std::make_shared<NewFileRun>(ovrun::retainAction(newFile), newFile.templateURL(), std::move(name), paths,
                                                std::move(completion));
        ov::SerialQueue::create("app.orvane.newfilequeue")->async([run] { run->perform(); });
    }
};

} // namespace

std::shared_ptr<OVKindRunBehaviour<OVNewFileAction>> OVMakeNewFileRunBehaviour() { return std::make_shared<NewFileRunBehaviour>(); }
