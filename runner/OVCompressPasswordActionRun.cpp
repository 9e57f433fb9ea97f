// SPDX-License-Identifier: GPL-3.0-or-later
// "Compress with password": a password prompt, then one archive of the selection beside it,
// written while a progress window shows how far it got.
#include "runner/OVRunBehaviours.h"

#include "model/OVCompressPasswordAction.h"
#include "model/OVUserDefaults.h"
#include "platform/Files.h"
#include "platform/GuiAlert.h"
#include "platform/Log.h"
#include "platform/Translation.h"
#include "runner/NextAvailable.h"
#include "runner/OVCompressingWindowController.h"
#include "runner/OVUserNotificationCenter.h"
#include "runner/OVWorkJournal.h"

namespace {

// The run's bookkeeping: its window and its completion, held until the window has finished.
struct CompressRun {
    std::vector<std::shared_ptr<OVCompressingWindowController>> windowControllers;
    ovrun::OnceCompletion completion;
};

class CompressPasswordRunBehaviour : public OVKindRunBehaviour<OVCompressPasswordAction> {
public:
    bool hasBeforeRun() const override { return true; }

protected:
    void beforeRunKind(OVCompressPasswordAction& action, const OVPaths&, OVBeforeRunCompletion completion) override
    {
        OVActivationCenter::postEnableActivation();
        ov::AlertRequest alert;
        alert.messageText = _("Compress with password");
        alert.informativeText = _("Enter the password you want to use below:");
        alert.buttons = {_("Continue"), _("Cancel")};
        alert.textField = ov::AlertTextField{[](const std::string& text) { return !text.empty(); }, true,
                                             std::make_shared<std::string>()};
        alert.toggle = ov::AlertSwitch{_("Strong encryption (AES-256)"),
                                       _("7-Zip and Files open it; Info-ZIP unzip 6 and Windows' built-in zip support do not."),
                                       std::make_shared<bool>(OVUserDefaults::create()->startsWithStrongEncryption(action))};
        auto answer = alert.textField->answer;
        auto strong = alert.toggle->answer;
        OVActionPtr keep = ovrun::retainAction(action);
        auto* target = &action;
        ov::showAlert(alert, [keep, target, answer, strong, completion = std::move(completion)](int response) {
            OVActivationCenter::postDisableActivation();
            const bool chosen = response == 0 && !answer->empty();
            if (chosen) {
                // Remembered before the run changes the action's copy: kept only where it
                // differs from the stored action's own setting.
                ov::guarded("remembering the encryption choice",
                            [&] { OVUserDefaults::create()->rememberStrongEncryption(*target, *strong); });
                target->setPassword(*answer);
                target->setStrongEncryption(*strong);
            }
            completion(!chosen);
        });
    }

    void runKind(OVCompressPasswordAction& action, const OVPaths& paths, OVRunCompletion completion) override
    {
        auto folder = hl_commonAncestorWithPaths(paths);
        if (paths.empty() || !folder || !action.password()) {
            ovrun::OnceCompletion(std::move(completion))(
                false, OVError{ovrun::kOrvaneErrorDomain, EINVAL, "Nothing to compress, or no password"});
            return;
        }
        OVActivationCenter::postEnableActivation();
        OVWorkJournal::noteFolder(*folder); // the archive is made there under a hidden name
        const std::string name = (paths.size() == 1 ? ov::lastPathComponent(paths.front()) : std::string("Archive")) + ".zip";
        const std::string destination = hl_nextAvailablePath(ov::pathByAppending(*folder, name));

        auto run = std::make_shared<CompressRun>(CompressRun{{}, ovrun::OnceCompletion(std::move(completion))});
        auto window = OVCompressingWindowController::controllerWithPaths(paths, destination, *action.password(),
                                                                          action.strongEncryption());
        OVActionPtr keep = ovrun::retainAction(action);
        // The window holds the run until it finishes; the run lets go of the window then.
        window->setCompletionBlock([run, keep](OVCompressingWindowController& finished) {
            std::erase_if(run->windowControllers, [&](const auto& w) { return w.get() == &finished; });
            if (!run->windowControllers.empty())
                return;
            OVActivationCenter::postDisableActivation();
            if (finished.succeeded())
                run->completion(true, std::nullopt);
            else
                run->completion(false, OVError{ovrun::kOrvaneErrorDomain, finished.cancelled() ? ECANCELED : EIO,
                                               finished.cancelled() ? "Cancelled" : finished.error()});
        });
        run->windowControllers.push_back(window);
        window->showWindow();
    }
};

} // namespace

std::shared_ptr<OVKindRunBehaviour<OVCompressPasswordAction>> OVMakeCompressPasswordRunBehaviour()
{
    return std::make_shared<CompressPasswordRunBehaviour>();
}
