// SPDX-License-Identifier: GPL-3.0-or-later
// Run requests come from URLs anyone can open and from files in the container: the URL handler
// and the request-file reader must take any bytes without crashing or touching other files.
#include "model/OVOpenFavesAction.h"
#include "platform/Files.h"
#include "platform/ProductPaths.h"
#include "runner/AppDelegate.h"

#include <glib.h>

#include <cstdint>
#include <string>

namespace {

// Completes at once, so every accepted request runs to its end.
class FinishAtOnce : public OVRunBehaviour {
public:
    void run(OVAction&, const OVPaths&, OVRunCompletion completion) override { completion(true, std::nullopt); }
};

struct Setup {
    FinishAtOnce finishAtOnce;
    std::shared_ptr<AppDelegate> delegate;
    std::string uid;
    const std::string requestName = "0F0E0D0C-0B0A-4909-8807-060504030201";

    Setup()
    {
        char* home = g_dir_make_tmp("orvane-fuzz-request-XXXXXX", nullptr);
        g_setenv("XDG_DATA_HOME", (std::string(home) + "/data").c_str(), TRUE);
        g_setenv("XDG_CONFIG_HOME", (std::string(home) + "/config").c_str(), TRUE);
        g_free(home);
        delegate = AppDelegate::create();
        delegate->setRunBehaviourLookup([this](const OVAction&) -> OVRunBehaviour* { return &finishAtOnce; });
        delegate->setPresenter([](const OVUserNotification&) {});
        delegate->applicationWillFinishLaunching();
        delegate->applicationDidFinishLaunching();
        auto action = OVAction::action<OVOpenFavesAction>();
        uid = action->uid();
        delegate->setActionsArray({action});
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static Setup setup;
    if (size == 0)
        return 0;
    const std::string rest(reinterpret_cast<const char*>(data) + 1, size - 1);
    if (data[0] & 1) {
        // The bytes are a request file for a valid action.
        ov::writeFileAtomically(ov::pathByAppending(ov::containerPath(), setup.requestName), rest, 0600);
        setup.delegate->handleURLString("orvane://runaction?action=" + setup.uid + "&file=" + setup.requestName);
    } else {
        // The bytes are the URL itself; a valid action name keeps the interesting paths reachable.
        setup.delegate->handleURLString(rest);
        setup.delegate->handleURLString("orvane://runaction?action=" + setup.uid + "&" + rest);
        AppDelegate::parseQueryString(rest);
    }
    return 0;
}
