// SPDX-License-Identifier: GPL-3.0-or-later
// "Reset App Preferences": the preferences tool resets the settings of the first selected
// application.
#include "runner/OVRunBehaviours.h"

#include "model/OVResetAppPreferencesAction.h"
#include "platform/DesktopFiles.h"
#include "platform/Files.h"
#include "platform/Log.h"
#include "platform/ToolPaths.h"
#include "platform/Translation.h"
#include "runner/OVToolRun.h"

namespace {

class ResetAppPreferencesRun : public OVToolRun {
public:
    ResetAppPreferencesRun(OVActionPtr action, OVRunCompletion completion)
        : OVToolRun(std::move(action), std::move(completion), "[DEBUG] Reset pref task got error: ",
                    {"orvane-defaults", 32u << 20, _("Resetting preferences")})
    {
    }

protected:
    void finalStep(const Outcome& outcome) override
    {
        deliverFinalNotification(ov::stringPrintf(outcome.hasError ? _("Preferences for %s could not be reset.")
                                                                   : _("Preferences for %s have been reset."),
                                                  ov::lastPathComponent(outcome.lastFinished).c_str()),
                                 true, /*isError=*/outcome.hasError);
    }

    OVError failureError(const Outcome& outcome) const override
    {
        return {ovrun::kOrvaneErrorDomain, EIO,
                "The preferences of " + ov::lastPathComponent(outcome.lastFinished) + " could not be reset"};
    }
};

class ResetAppPreferencesRunBehaviour : public OVKindRunBehaviour<OVResetAppPreferencesAction> {
protected:
    void runKind(OVResetAppPreferencesAction& reset, const OVPaths& paths, OVRunCompletion completion) override
    {
        auto run = std::make_shared<ResetAppPreferencesRun>(ovrun::retainAction(reset), std::move(completion));
        // Only the first selected application is reset.
        std::optional<std::string> identifier = paths.empty() ? std::nullopt : OVBundleIDForPath(paths.front());
        if (!identifier || identifier->empty()) {
            if (!paths.empty())
                ov::ovLog("No application id for path %s", paths.front().c_str());
            run->start({});
            return;
        }
        ov::ovLog("Found bundle '%s' for path %s", identifier->c_str(), paths.front().c_str());
        OVToolRun::Item item;
        item.userInfo = paths.front();
        item.task = {ov::toolPath("orvane-defaults"), {"delete", *identifier}, std::nullopt};
        run->start({std::move(item)});
    }
};

} // namespace

std::optional<std::string> OVBundleIDForPath(const std::string& path) { return ov::desktopFileId(path); }

std::shared_ptr<OVKindRunBehaviour<OVResetAppPreferencesAction>> OVMakeResetAppPreferencesRunBehaviour()
{
    return std::make_shared<ResetAppPreferencesRunBehaviour>();
}
