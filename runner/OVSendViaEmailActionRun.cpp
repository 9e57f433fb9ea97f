// SPDX-License-Identifier: GPL-3.0-or-later
// "Send via Email": finds the mail application first, then opens a new message with the
// selected files attached.
#include "runner/OVRunBehaviours.h"

#include "model/OVSendViaEmailAction.h"
#include "platform/Files.h"
#include "platform/GuiAlert.h"
#include "platform/Log.h"
#include "platform/MainContext.h"
#include "platform/Process.h"
#include "platform/Translation.h"
#include "platform/Uri.h"
#include "platform/Workspace.h"
#include "runner/OVUserNotificationCenter.h"

#include <algorithm>
#include <cctype>
#include <cerrno>

namespace {

std::string lowercase(std::string s)
{
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    return s;
}

// Keeps the mail client running until it ends, so that its output pipes stay open.
class MailClientRun : public std::enable_shared_from_this<MailClientRun> {
public:
    bool start(const std::vector<std::string>& argv, std::string* error)
    {
        std::weak_ptr<MailClientRun> weak = weak_from_this();
        ov::ChildProcess::Handlers handlers;
        handlers.error = [](const std::string& chunk) { ov::ovLog("Got error: %s", chunk.c_str()); };
        handlers.exit = [weak](int, int) {
            if (auto self = weak.lock())
                ov::runOnNextTurn([self] { self->self_.reset(); });
        };
        process_ = ov::ChildProcess::start(argv, std::nullopt, std::move(handlers), error);
        if (!process_)
            return false;
        self_ = shared_from_this();
        return true;
    }

private:
    std::unique_ptr<ov::ChildProcess> process_;
    std::shared_ptr<MailClientRun> self_;
};

class SendViaEmailRunBehaviour : public OVKindRunBehaviour<OVSendViaEmailAction> {
public:
    bool hasBeforeRun() const override { return true; }

    void beforeRunKind(OVSendViaEmailAction& mail, const OVPaths&, OVBeforeRunCompletion completion) override
    {
        if (auto application = ov::defaultApplicationForScheme("mailto")) {
            mail.setApplicationURL(*application);
            completion(false);
            return;
        }
        OVActivationCenter::postEnableActivation();
        ov::AlertRequest alert;
        alert.messageText = _("No Default Mail Handler Detected");
        alert.informativeText = _("Orvane could not find an application to open.");
        alert.buttons = {_("Okay")};
        OVActionPtr keep = ovrun::retainAction(mail);
        ov::showAlert(alert, [keep, completion = std::move(completion)](int) {
            OVActivationCenter::postDisableActivation();
            completion(true);
        });
    }

    void runKind(OVSendViaEmailAction& mail, const OVPaths& paths, OVRunCompletion completion) override
    {
        ovrun::OnceCompletion done(std::move(completion));
        std::string error;
        auto run = std::make_shared<MailClientRun>();
        bool started = run->start(OVMailComposeCommand(mail.applicationURL().value_or(""), paths), &error);
        if (!started) // a client that is not on the PATH (a sandboxed one): the desktop's own way
            started = run->start(OVMailComposeCommand("", paths), &error);
        if (started)
            done(true, std::nullopt);
        else
            done(false, OVError{ovrun::kOrvaneErrorDomain, ENOEXEC, error});
    }
};

} // namespace

std::vector<std::string> OVMailComposeCommand(const std::string& mailApplication, const OVPaths& paths)
{
    // Only "/" stays unescaped in the file URIs, so a path cannot end the list or query that
    // carries it.
    const std::string id = lowercase(ov::lastPathComponent(mailApplication));
    if (id.find("thunderbird") != std::string::npos) {
        std::string list;
        for (const auto& p : paths)
            list += (list.empty() ? "" : ",") + ov::uri::fileURI(p);
        return {"thunderbird", "-compose", "attachment='" + list + "'"};
    }
    if (id.find("evolution") != std::string::npos) {
        std::string uri = "mailto:";
        for (std::size_t i = 0; i < paths.size(); ++i)
            uri += (i == 0 ? "?attach=" : "&attach=") + ov::uri::fileURI(paths[i]);
        return {"evolution", uri};
    }
    std::vector<std::string> argv = {"xdg-email"};
    for (const auto& p : paths) {
        argv.push_back("--attach");
        // A name that starts with "-" must not read as an option.
        argv.push_back(!p.empty() && p.front() == '-' ? "./" + p : p);
    }
    return argv;
}

std::shared_ptr<OVKindRunBehaviour<OVSendViaEmailAction>> OVMakeSendViaEmailRunBehaviour() { return std::make_shared<SendViaEmailRunBehaviour>(); }
