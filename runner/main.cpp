// SPDX-License-Identifier: GPL-3.0-or-later
// orvane-helper: the action runner.
#include "platform/Application.h"
#include "platform/MainContext.h"
#include "platform/ProductPaths.h"
#include "platform/Translation.h"
#include "runner/AppDelegate.h"
#include "runner/OVScriptRuns.h"

int main(int argc, char** argv)
{
    ov::setUpProgramTranslations();
    auto delegate = AppDelegate::create();

    ov::Application::Handlers handlers;
    handlers.startup = [delegate] { delegate->applicationWillFinishLaunching(); };
    handlers.launch = [delegate] { delegate->applicationDidFinishLaunching(); };
    handlers.open = [delegate](const std::string& uri) { delegate->handleURL(uri); };
    handlers.show = [delegate](const std::vector<std::string>& paths) {
        OVUserNotification clicked;
        if (paths.size() == 1)
            clicked.path = paths.front();
        else if (!paths.empty())
            clicked.paths = paths;
        delegate->didActivateNotification(clicked);
    };
    handlers.openOutput = [delegate](const std::string& path) {
        OVUserNotification clicked;
        clicked.outputPath = path;
        delegate->didActivateNotification(clicked);
    };
    handlers.stopRun = [](long long id) { OVScriptRuns::stop(id); };
    handlers.activate = [delegate] { delegate->applicationDidBecomeActive(); };
    handlers.quitRequested = [delegate] { delegate->applicationShouldTerminate(); };
    ov::Application application(ov::kRunnerId, std::move(handlers));
    delegate->setTerminator([&application] { application.quit(); });

    delegate->setPresenter([&application](const OVUserNotification& notification) {
        ov::AppNotification out;
        out.title = notification.title;
        out.body = notification.informativeText;
        if (notification.outputPath)
            out.outputTarget = *notification.outputPath;
        else if (notification.paths)
            out.showTarget = *notification.paths;
        else if (notification.path)
            out.showTarget = std::vector<std::string>{*notification.path};
        if ((out.showTarget || out.outputTarget) && notification.hasActionButton && !notification.actionButtonTitle.empty())
            out.buttonTitle = notification.actionButtonTitle;
        application.sendNotification(out);
    });

    // The session's logout and Ctrl+C end the runner only once its work has cleaned up.
    ov::TerminationSignalWatch signals([delegate] { delegate->applicationShouldTerminateNow(); });
    int status = application.run(argc, argv);
    delegate->setPresenter({});
    delegate->setTerminator({});
    return status;
}
