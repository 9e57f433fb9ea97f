// SPDX-License-Identifier: GPL-3.0-or-later
// "Copy to a folder": one progress window per selected item, each copying on a queue of its own.
#include "runner/OVRunBehaviours.h"

#include "model/OVCopyToAction.h"
#include "model/OVUserDefaults.h"
#include "platform/Files.h"
#include "platform/Log.h"
#include "platform/Replacing.h"
#include "runner/NextAvailable.h"
#include "runner/OVFileActionWindowController.h"
#include "runner/OVUserNotificationCenter.h"

#include <algorithm>
#include <cerrno>

namespace {

class CopyRun : public std::enable_shared_from_this<CopyRun> {
public:
    CopyRun(OVActionPtr action, OVRunCompletion completion)
        : action_(std::move(action)), completionBlock_(std::move(completion))
    {
    }

    void start(const std::optional<std::string>& destinationFolder, const OVPaths& paths)
    {
        OVActivationCenter::postEnableActivation();
        windowControllers_.reserve(paths.size());
        bool overwrite = false;
        if (auto defaults = OVUserDefaults::create())
            overwrite = defaults->overwriteDestinationFile();
        const std::string folder = destinationFolder ? ov::withoutTrailingSlashes(*destinationFolder) : std::string();

        for (const auto& selected : paths) {
            const std::string source = ov::withoutTrailingSlashes(selected);
            if (!folder.empty() && source == folder) {
                ov::ovLog("Skipping: %s", selected.c_str());
                continue;
            }
            const std::string name = ov::lastPathComponent(source);
            if (folder.empty() || folder.front() != '/') {
                itemFailed({EINVAL, "No folder to copy to"});
                continue;
            }
            if (source.empty() || source.front() != '/' || name == "/" || name == "." || name == "..") {
                itemFailed({EINVAL, "Not the path of an item: " + selected});
                continue;
            }
            const std::string destination = ov::pathByAppending(folder, name);
            // The same item under another name (a link on the way) is skipped the same way.
            if (overwrite && (source == destination || ov::judgeReplacing(source, destination) == ov::Replacing::SameItem)) {
                ov::ovLog("Skipping: %s", source.c_str());
                continue;
            }
            openWindow(source, destination, overwrite);
        }

        if (windowControllers_.empty())
            finish();
    }

    // A finished window leaves the run; the last one ends it.
    void handleCopyCompletion(OVFileActionWindowController& controller)
    {
        if (controller.outcome() == OVFileActionWindowController::Outcome::Cancelled)
            noteFailure({ECANCELED, "The copy of " + controller.sourceFile() + " was cancelled"});
        else if (controller.outcome() != OVFileActionWindowController::Outcome::Copied)
            noteFailure(controller.error().value_or(ov::FileError{EIO, "The copy failed"}));
        std::erase_if(windowControllers_, [&](const auto& c) { return c.get() == &controller; });
        if (windowControllers_.empty())
            finish();
    }

private:
    void openWindow(const std::string& source, const std::string& destination, bool overwrite)
    {
        // Made now, so that the next item of this run (or of another run) cannot choose the
        // same free name.
        OVCopyReservation reservation;
        ov::MoveResult made;
        if (overwrite) {
            made = OVCopyReservation::reserve(source, destination, true, &reservation);
        } else {
            made = hl_placeAtNextAvailablePath(
                destination,
                [&](const std::string& target) { return OVCopyReservation::reserve(source, target, false, &reservation); },
                nullptr);
        }
        if (made.outcome != ov::FileOutcome::Done) {
            itemFailed(made.error);
            return;
        }

        auto controller = OVFileActionWindowController::controllerWithReservation(source, std::move(reservation));
        // Held strongly: the run lives until its last window has finished, and each window
        // lets go of its block once it has called it.
        controller->setCompletionBlock([run = shared_from_this()](OVFileActionWindowController& finished) {
            run->handleCopyCompletion(finished);
        });
        controller->showWindow();
        windowControllers_.push_back(std::move(controller));
    }

    void itemFailed(const ov::FileError& error)
    {
        ov::ovLog("Could not copy because of error: %s", error.message.c_str());
        OVFileActionWindowController::deliverCopyErrorNotification();
        noteFailure(error);
    }

    void noteFailure(const ov::FileError& error)
    {
        if (!firstError_)
            firstError_ = OVError{ovrun::kPOSIXErrorDomain, error.code, error.message};
    }

    void finish()
    {
        OVActivationCenter::postDisableActivation();
        auto completion = std::move(completionBlock_);
        completionBlock_ = nullptr;
        if (completion)
            completion(!firstError_, firstError_);
    }

    OVActionPtr action_;
    OVRunCompletion completionBlock_;
    std::vector<std::shared_ptr<OVFileActionWindowController>> windowControllers_;
    std::optional<OVError> firstError_;
};

class CopyToRunBehaviour : public OVKindRunBehaviour<OVCopyToAction> {
public:
    void runKind(OVCopyToAction& copy, const OVPaths& paths, OVRunCompletion completion) override
    {
        auto run = std::make_shared<CopyRun>(ovrun::retainAction(copy), std::move(completion));
        run->start(copy.destinationURL(), paths);
    }
};

} // namespace

std::shared_ptr<OVKindRunBehaviour<OVCopyToAction>> OVMakeCopyToRunBehaviour() { return std::make_shared<CopyToRunBehaviour>(); }
