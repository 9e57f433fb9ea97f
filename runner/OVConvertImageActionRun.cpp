// SPDX-License-Identifier: GPL-3.0-or-later
// "Convert image": each selected image is converted by the image tool, a few at a time, into a new
// file beside it with the action's extension.
#include "runner/OVRunBehaviours.h"

#include "model/OVConvertImageAction.h"
#include "model/OVUserDefaults.h"
#include "platform/Files.h"
#include "platform/ItemChanges.h"
#include "platform/Log.h"
#include "platform/ToolPaths.h"
#include "platform/Translation.h"
#include "platform/Workspace.h"
#include "runner/NextAvailable.h"
#include "runner/OVToolRun.h"
#include "runner/OVUserNotificationCenter.h"

#include <cerrno>
#include <cstdlib>
#include <map>

namespace {

bool notificationsEnabled()
{
    auto defaults = OVUserDefaults::create();
    return !(defaults && defaults->disableActionNotifications());
}

class ConvertImageRun : public OVToolRun {
public:
    ConvertImageRun(OVActionPtr action, OVRunCompletion completion)
        : OVToolRun(std::move(action), std::move(completion), "[DEBUG] Convert task got error: ",
                    {"orvane-sips", 64u << 20, _("Converting images")})
    {
    }

protected:
    void itemDidFinish(const std::string& output, bool failed) override
    {
        if (failed) {
            // The name claimed for it stays free for later conversions.
            ov::removeEmptyFile(output);
        } else {
            lastConverted_ = output;
        }
    }

    void finalStep(const Outcome& outcome) override
    {
        if (outcome.lastFailed)
            deliverFinalNotification(
                ov::stringPrintf(_("Could not convert '%s'"), ov::lastPathComponent(inputs_[*outcome.lastFailed]).c_str()),
                true, /*isError=*/true);
        else
            deliverFinalNotification(
                ov::stringPrintf(_("Finished converting '%s'"), ov::lastPathComponent(outcome.lastFinished).c_str()));
        if (lastConverted_)
            ov::revealFiles({*lastConverted_});
    }

    OVError failureError(const Outcome& outcome) const override
    {
        return {ovrun::kOrvaneErrorDomain, EIO,
                ov::stringPrintf("%ld of %ld images could not be converted", long(outcome.failedCount),
                                 long(outcome.itemCount))};
    }

public:
    void setInput(const std::string& output, const std::string& input) { inputs_[output] = input; }

private:
    std::map<std::string, std::string> inputs_; // by output
    std::optional<std::string> lastConverted_;
};

class ConvertImageRunBehaviour : public OVKindRunBehaviour<OVConvertImageAction> {
protected:
    void runKind(OVConvertImageAction& convert, const OVPaths& paths, OVRunCompletion completion) override
    {
        auto run = std::make_shared<ConvertImageRun>(ovrun::retainAction(convert), std::move(completion));
        const std::string format = convert.outputFormat().value_or("");
        const std::string extension = convert.outputExtension().value_or("");
        if (paths.empty() || format.empty() || !isPlainExtension(extension)) {
            if (!paths.empty())
                ov::ovLog("Convert image: no output format or extension (\"%s\", \"%s\")", format.c_str(), extension.c_str());
            run->start({});
            return;
        }

        if (notificationsEnabled()) {
            OVUserNotification notification;
            if (paths.size() == 1)
                notification.informativeText =
                    ov::stringPrintf(_("Started converting '%s'"), ov::lastPathComponent(paths.front()).c_str());
            else
                notification.informativeText = ov::stringPrintf(ov::translatePlural("Started converting %ld image", "Started converting %ld images", paths.size()), long(paths.size()));
            OVUserNotificationCenter::deliverNotification(notification);
        }

        const std::string tool = ov::toolPath("orvane-sips");
        std::vector<OVToolRun::Item> items;
        for (const auto& path : paths) {
            OVToolRun::Item item;
            const std::string input = standardizedPath(path);
            std::string wanted = input;
            if (std::string old = hl_pathExtension(input); !old.empty())
                wanted.resize(wanted.size() - old.size() - 1);
            wanted += "." + extension;
            // Claimed before the process starts: conversions running side by side (a.png and
            // a.gif to JPEG) must not pick the same free name.
            std::string output;
            ov::MoveResult claim = hl_placeAtNextAvailablePath(wanted, ov::createEmptyFile, &output);
            item.userInfo = output;
            run->setInput(output, input);
            if (claim.outcome != ov::FileOutcome::Done)
                item.refusal = "no name for the output: " + claim.error.message;
            item.task.launchPath = tool;
            item.task.arguments = {"-s", "format", format, input, "--out", output};
            items.push_back(std::move(item));
        }
        run->start(std::move(items));
    }

private:
    static bool isPlainExtension(const std::string& extension)
    {
        return !extension.empty() && extension.find('/') == std::string::npos && extension != "." && extension != "..";
    }

    // "~" expanded, "." and ".." components resolved, repeated slashes dropped.
    static std::string standardizedPath(const std::string& path)
    {
        std::string expanded = path;
        if (!expanded.empty() && expanded.front() == '~' && (expanded.size() == 1 || expanded[1] == '/')) {
            if (const char* home = std::getenv("HOME"); home && *home)
                expanded = home + expanded.substr(1);
        }
        const bool absolute = !expanded.empty() && expanded.front() == '/';
        std::vector<std::string> parts;
        for (std::string::size_type start = 0; start <= expanded.size();) {
            auto slash = expanded.find('/', start);
            if (slash == std::string::npos)
                slash = expanded.size();
            std::string component = expanded.substr(start, slash - start);
            if (component == "..") {
                if (!parts.empty() && parts.back() != "..")
                    parts.pop_back();
                else if (!absolute)
                    parts.push_back(component);
            } else if (!component.empty() && component != ".") {
                parts.push_back(component);
            }
            start = slash + 1;
        }
        std::string result = absolute ? "/" : "";
        for (std::size_t i = 0; i < parts.size(); ++i)
            result += (i ? "/" : "") + parts[i];
        return result.empty() ? "." : result;
    }
};

} // namespace

std::shared_ptr<OVKindRunBehaviour<OVConvertImageAction>> OVMakeConvertImageRunBehaviour()
{
    return std::make_shared<ConvertImageRunBehaviour>();
}
