// SPDX-License-Identifier: GPL-3.0-or-later
// "Move to a folder": moves the selection into the action's folder on a queue of its own.
#include "runner/OVRunBehaviours.h"

#include "model/OVMoveToAction.h"
#include "model/OVUserDefaults.h"
#include "platform/Files.h"
#include "platform/ItemChanges.h"
#include "platform/Log.h"
#include "platform/MainContext.h"
#include "platform/MovingItems.h"
#include "platform/Translation.h"
#include "platform/Workspace.h"
#include "runner/NextAvailable.h"
#include "runner/OVUserNotificationCenter.h"
#include "runner/OVWorkJournal.h"

#include <cerrno>

namespace {

OVError errorFrom(const ov::FileError& e) { return {ovrun::kPOSIXErrorDomain, e.code, e.message}; }

struct MovePreferences {
    bool overwriteDestinationFile = false;
    bool disableActionNotifications = false;
    bool showFileOnMoveCopyComplete = false;
};

class MoveRun {
public:
    MoveRun(OVActionPtr action, std::optional<std::string> folder, OVPaths paths, MovePreferences preferences,
            OVRunCompletion completion)
        : action_(std::move(action)), folder_(std::move(folder)), paths_(std::move(paths)), preferences_(preferences),
          completion_(std::move(completion))
    {
    }

    void perform()
    {
        try {
            performItems();
        } catch (const std::exception& e) {
            ov::ovLog("Could not move because of error: %s", e.what());
            completion_(false, OVError{ovrun::kOrvaneErrorDomain, EIO, e.what()});
        }
    }

private:
    void performItems()
    {
        if (!folder_ || !ov::pathExists(*folder_) || !ov::isWritableFolder(*folder_)) {
            completion_(false, std::nullopt);
            return;
        }
        const std::string folder = ov::withoutTrailingSlashes(*folder_);
        std::vector<std::string> moved;
        bool success = true;
        std::optional<OVError> error;

        for (const auto& selected : paths_) {
            std::string source = ov::withoutTrailingSlashes(selected);
            if (source == folder) {
                ov::ovLog("Skipping: %s", selected.c_str());
                continue;
            }
            std::string name = ov::lastPathComponent(source);
            if (source.empty() || source.front() != '/' || name == "/" || name == "." || name == "..") {
                error = OVError{ovrun::kPOSIXErrorDomain, EINVAL, "Not the path of an item: " + selected};
                ov::ovLog("Could not move because of error: %s", error->description().c_str());
                success = false;
                break;
            }
            std::string destination = ov::pathByAppending(folder, name);
            if (preferences_.overwriteDestinationFile && source == destination) {
                ov::ovLog("Skipping: %s", source.c_str());
                moved.push_back(destination);
                continue;
            }

            ov::MoveResult result;
            if (preferences_.overwriteDestinationFile) {
                result = ov::moveItem(source, destination, false);
                if (result.oldItemError)
                    ov::ovLog("Could not remove the existing file because of error: %s",
                              errorFrom(*result.oldItemError).description().c_str());
            } else {
                // The free name is claimed by the move itself.
                std::string target;
                result = hl_placeAtNextAvailablePath(
                    destination, [&](const std::string& t) { return ov::moveItem(source, t, true); }, &target);
                destination = target;
            }

            if (result.outcome != ov::FileOutcome::Done) {
                error = errorFrom(result.error);
                ov::ovLog("Could not move because of error: %s", error->description().c_str());
                success = false;
                break;
            }
            moved.push_back(destination);
        }

        if (!success || !preferences_.disableActionNotifications)
            deliverNotification(success, moved);
        if (preferences_.showFileOnMoveCopyComplete)
            ov::revealFiles(moved);
        completion_(success, std::move(error));
    }

    static void deliverNotification(bool success, const std::vector<std::string>& moved)
    {
        OVUserNotification notification;
        notification.playsDefaultSound = true;
        if (!success) {
            notification.informativeText = _("An error occurred while moving these files.");
            notification.hasActionButton = false;
            notification.isError = true;
        } else {
            notification.hasActionButton = true;
            notification.actionButtonTitle = _("Show");
            if (moved.size() == 1) {
                notification.informativeText =
                    ov::stringPrintf(_("Finished moving '%s'"), ov::lastPathComponent(moved.front()).c_str());
                notification.path = moved.front();
            } else {
                notification.informativeText = ov::stringPrintf(ov::translatePlural("Finished moving %ld file", "Finished moving %ld files", moved.size()), long(moved.size()));
                notification.paths = moved;
            }
        }
        OVUserNotificationCenter::deliverNotification(notification);
    }

    OVActionPtr action_;
    std::optional<std::string> folder_;
    OVPaths paths_;
    MovePreferences preferences_;
    ovrun::OnceCompletion completion_;
};

class MoveToRunBehaviour : public OVKindRunBehaviour<OVMoveToAction> {
public:
    void runKind(OVMoveToAction& move, const OVPaths& paths, OVRunCompletion completion) override
    {
        // Read once per run, here on the main context where the preferences live.
        MovePreferences preferences;
        if (auto defaults = OVUserDefaults::create()) {
            preferences.overwriteDestinationFile = defaults->overwriteDestinationFile();
            preferences.disableActionNotifications = defaults->disableActionNotifications();
            preferences.showFileOnMoveCopyComplete = defaults->showFileOnMoveCopyComplete();
        }
        // Across file systems the items are copied there under hidden names first.
        if (auto folder = move.destinationURL())
            OVWorkJournal::noteFolder(ov::withoutTrailingSlashes(*folder));
        auto run = std::make_shared<MoveRun>(ovrun::retainAction(move), move.destinationURL(), paths, preferences,
                                             std::move(completion));
        ov::SerialQueue::create("app.orvane.movequeue")->async([run] { run->perform(); });
    }
};

} // namespace

std::shared_ptr<OVKindRunBehaviour<OVMoveToAction>> OVMakeMoveToRunBehaviour() { return std::make_shared<MoveToRunBehaviour>(); }
