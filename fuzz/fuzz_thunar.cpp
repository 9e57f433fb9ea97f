// SPDX-License-Identifier: GPL-3.0-or-later
// A user's uca.xml is read and rewritten by the Thunar export: any bytes must give either a
// refusal or a file that keeps every byte outside Orvane's own entries, never a crash.
#include "menus/OVMenuExport.h"

#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    const std::string ours = "<action><unique-id>app.orvane.Orvane-F00</unique-id></action>\n";
    auto merged = mergeThunarActions(text, ours);
    if (!merged)
        return 0;
    // Writing the same entries again changes nothing, and taking them out gives what taking
    // them out of the user's file gives.
    auto again = mergeThunarActions(*merged, ours);
    auto removed = mergeThunarActions(*merged, "");
    auto removedFromUsers = mergeThunarActions(text, "");
    if (!again || *again != *merged || !removed || !removedFromUsers || *removed != *removedFromUsers)
        std::abort();
    return 0;
}
