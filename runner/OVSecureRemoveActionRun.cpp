// SPDX-License-Identifier: GPL-3.0-or-later
// "Secure Delete": after the user has typed DELETE under the list of what goes, every item is
// overwritten and removed by the removal tool, a few items at a time.
#include "runner/OVRunBehaviours.h"

#include "model/OVSecureRemoveAction.h"
#include "platform/Files.h"
#include "platform/GuiAlert.h"
#include "platform/Log.h"
#include "platform/PinnedItem.h"
#include "platform/ToolPaths.h"
#include "platform/Translation.h"
#include "runner/OVToolRun.h"
#include "runner/OVUserNotificationCenter.h"

#include <cstdint>
#include <map>

namespace {

constexpr std::size_t kListedPaths = 10;

// Each character of a path as the user will see it: control characters, the marks that turn
// text direction, line separators and bytes that are not UTF-8 are written out as escapes, so
// that one path is always one line and reads as what it is.
std::string escapedForDisplay(const std::string& path)
{
    static const char* hex = "0123456789abcdef";
    std::string out;
    auto byteEscape = [&](unsigned char b) {
        out += "\\x";
        out += hex[b >> 4];
        out += hex[b & 15];
    };
    std::size_t i = 0;
    while (i < path.size()) {
        auto b = static_cast<unsigned char>(path[i]);
        if (b < 0x80) {
            switch (b) {
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\t': out += "\\t"; break;
            case '\\': out += "\\\\"; break;
            default:
                if (b < 0x20 || b == 0x7F)
                    byteEscape(b);
                else
                    out += char(b);
            }
            ++i;
            continue;
        }
        std::size_t length = (b & 0xE0) == 0xC0 ? 2 : (b & 0xF0) == 0xE0 ? 3 : (b & 0xF8) == 0xF0 ? 4 : 0;
        char32_t c = length == 2 ? (b & 0x1F) : length == 3 ? (b & 0x0F) : (b & 0x07);
        bool valid = length != 0 && i + length <= path.size();
        for (std::size_t k = 1; valid && k < length; ++k) {
            auto next = static_cast<unsigned char>(path[i + k]);
            valid = (next & 0xC0) == 0x80;
            c = (c << 6) | (next & 0x3F);
        }
        const char32_t minimum = length == 2 ? 0x80 : length == 3 ? 0x800 : 0x10000;
        valid = valid && c >= minimum && c <= 0x10FFFF && !(c >= 0xD800 && c <= 0xDFFF);
        if (!valid) {
            byteEscape(b);
            ++i;
            continue;
        }
        const bool invisible = (c >= 0x80 && c <= 0x9F) || c == 0x061C || c == 0x200E || c == 0x200F
            || (c >= 0x2028 && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069) || c == 0xFEFF;
        if (invisible)
            out += ov::stringPrintf("\\u{%04X}", unsigned(c));
        else
            out.append(path, i, length);
        i += length;
    }
    return out;
}

struct Confirmation {
    std::weak_ptr<OVAction> action;
    OVPaths paths;
    std::vector<std::shared_ptr<ov::PinnedItem>> pins; // none where the path names no item
    std::vector<std::string> refusals;
};

class SecureRemoveRun : public OVToolRun {
public:
    SecureRemoveRun(OVActionPtr action, OVRunCompletion completion, std::vector<std::shared_ptr<ov::PinnedItem>> pins)
        : OVToolRun(std::move(action), std::move(completion), "[DEBUG] Delete task got error: ",
                    {"orvane-rm", 16u << 20, _("Deleting securely")}),
          pins_(std::move(pins))
    {
    }

protected:
    void finalStep(const Outcome& outcome) override
    {
        const std::string& named = outcome.lastFailed ? *outcome.lastFailed : outcome.lastFinished;
        deliverFinalNotification(ov::stringPrintf(outcome.hasError ? _("Could not remove '%s'") : _("Successfully removed '%s'"),
                                                  ov::lastPathComponent(named).c_str()) +
                                     " ",
                                 /*hasActionButton=*/false, /*isError=*/outcome.hasError);
    }

    OVError failureError(const Outcome& outcome) const override
    {
        return {ovrun::kOrvaneErrorDomain, EIO,
                ov::stringPrintf("%ld of %ld items could not be removed", long(outcome.failedCount), long(outcome.itemCount))};
    }

private:
    // The folders of the confirmed items stay open while the tools reach the items through them.
    std::vector<std::shared_ptr<ov::PinnedItem>> pins_;
};

class SecureRemoveRunBehaviour : public OVKindRunBehaviour<OVSecureRemoveAction> {
public:
    bool hasBeforeRun() const override { return true; }

    void beforeRunKind(OVSecureRemoveAction& remove, const OVPaths& paths, OVBeforeRunCompletion completion) override
    {
        OVActivationCenter::postEnableActivation();
        ov::AlertRequest alert;
        alert.messageText = _("Are you sure you want to delete the following:");
        alert.informativeText = OVSecureRemoveConfirmationText(paths);
        alert.buttons = {_("Delete Forever"), _("Cancel")};
        alert.textField = ov::AlertTextField{[](const std::string& text) { return text == "DELETE"; }};

        // What the paths name is taken now, while the user reads them: the run acts on these
        // items and on nothing that takes their place later.
        auto confirmation = std::make_shared<Confirmation>();
        confirmation->action = remove.weak_from_this();
        confirmation->paths = paths;
        for (const auto& path : paths) {
            std::string why;
            confirmation->pins.push_back(ov::PinnedItem::pin(path, &why));
            confirmation->refusals.push_back(why);
        }

        OVActionPtr keep = ovrun::retainAction(remove);
        const OVAction* key = &remove;
        ov::showAlert(alert, [waiting = confirmations_, keep, key, confirmation, completion = std::move(completion)](int response) {
            OVActivationCenter::postDisableActivation();
            const bool confirmed = response == 0;
            if (confirmed)
                (*waiting)[key] = confirmation;
            else
                waiting->erase(key);
            completion(!confirmed);
        });
    }

    void runKind(OVSecureRemoveAction& remove, const OVPaths& paths, OVRunCompletion completion) override
    {
        std::shared_ptr<Confirmation> confirmation;
        if (auto it = confirmations_->find(&remove); it != confirmations_->end()) {
            if (it->second->action.lock().get() == &remove && it->second->paths == paths)
                confirmation = it->second;
            confirmations_->erase(it);
        }
        std::vector<OVToolRun::Item> items;
        if (!confirmation) {
            // Nothing is removed that the user did not confirm in this program.
            ov::ovLog("Secure delete was not confirmed for these items; nothing is removed");
            std::make_shared<SecureRemoveRun>(ovrun::retainAction(remove), std::move(completion),
                                              std::vector<std::shared_ptr<ov::PinnedItem>>{})
                ->start({});
            return;
        }
        const std::string tool = ov::toolPath("orvane-rm");
        for (std::size_t i = 0; i < paths.size(); ++i) {
            OVToolRun::Item item;
            item.userInfo = paths[i];
            const auto& pin = confirmation->pins[i];
            if (!pin)
                item.refusal = "not removed: " + confirmation->refusals[i];
            else if (!pin->unchanged())
                item.refusal = "not removed: it changed after the removal was confirmed";
            else
                item.task = {tool, {"-v", "-f", "-r", "-P", pin->pathForChildProcess()}, std::nullopt};
            items.push_back(std::move(item));
        }
        auto run = std::make_shared<SecureRemoveRun>(ovrun::retainAction(remove), std::move(completion), confirmation->pins);
        run->start(std::move(items));
    }

private:
    // Confirmed requests waiting for their run, by action object (main context only).
    using Waiting = std::map<const OVAction*, std::shared_ptr<Confirmation>>;
    std::shared_ptr<Waiting> confirmations_ = std::make_shared<Waiting>();
};

} // namespace

std::string OVSecureRemoveConfirmationText(const OVPaths& paths)
{
    std::string text;
    for (std::size_t i = 0; i < paths.size() && i < kListedPaths; ++i)
        text += (i ? "\n" : "") + escapedForDisplay(paths[i]);
    if (paths.size() > kListedPaths) {
        const std::size_t more = paths.size() - kListedPaths;
        text += "\n";
        text += ov::stringPrintf(ov::translatePlural(" ... and %ld other file/folder", " ... and %ld other files/folders", more),
                                 long(more));
    }
    text += "\n\n";
    // TRANSLATORS: the word to type stays DELETE in every language.
    text += _("Please confirm this action by typing DELETE in the field below.");
    return text;
}

std::shared_ptr<OVKindRunBehaviour<OVSecureRemoveAction>> OVMakeSecureRemoveRunBehaviour()
{
    return std::make_shared<SecureRemoveRunBehaviour>();
}
