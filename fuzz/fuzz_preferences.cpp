// SPDX-License-Identifier: GPL-3.0-or-later
// Feeds arbitrary bytes to the preferences reader as the suite's file, then reads every
// preference: nothing may crash, hang or answer anything but a boolean.
#include "model/OVUserDefaults.h"
#include "platform/Log.h"

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>

namespace {
const std::string& preferencesPath()
{
    static const std::string path = [] {
        char folder[] = "/tmp/orvane-fuzz-preferences-XXXXXX";
        if (!::mkdtemp(folder))
            std::abort();
        ::setenv("XDG_CONFIG_HOME", folder, 1);
        ::setenv("XDG_DATA_HOME", folder, 1);
        ov::setLogSink([](const std::string&) {}); // a line per rejected file would drown the fuzzer
        return std::string(folder) + "/app.orvane.Orvane.preferences.plist";
    }();
    return path;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string& path = preferencesPath();
    {
        // Written in place: the reader must cope with whatever it finds.
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), std::streamsize(size));
    }
    auto defaults = OVUserDefaults::create();
    volatile bool sink = false;
    sink = sink ^ defaults->suppressActionDeletionAlert();
    sink = sink ^ defaults->didCreateDefaultTemplates();
    sink = sink ^ defaults->didCreateDefaultActions();
    sink = sink ^ defaults->didCreateDefaultActions2();
    sink = sink ^ defaults->showIconInToolbar();
    sink = sink ^ defaults->useBlackAndWhiteIcon();
    sink = sink ^ defaults->useSubmenu();
    sink = sink ^ defaults->playAlertOnCompletion();
    sink = sink ^ defaults->showFileOnMoveCopyComplete();
    sink = sink ^ defaults->disableActionNotifications();
    sink = sink ^ defaults->overwriteDestinationFile();
    for (const auto& property : OVUserDefaults::propertyNames())
        (void)defaults->objectForProperty(property);
    return 0;
}
