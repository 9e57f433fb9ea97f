// SPDX-License-Identifier: GPL-3.0-or-later
// Keyed archives from hostile bytes: the decoder must answer, never crash. What it accepts must
// survive being written and read again, actions of unknown kinds with the very records they had.
#include "archive/OVKeyedArchiver.h"
#include "archive/OVKeyedUnarchiver.h"
#include "model/OVActionArchive.h"
#include "model/OVActionGroup.h"
#include "model/OVUnknownAction.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string_view>

namespace {

// The unknown actions of a list, group children included, in order.
void collectUnknown(const OVActionList& actions, std::vector<const OVUnknownAction*>& out)
{
    for (const auto& action : actions) {
        if (auto* unknown = dynamic_cast<const OVUnknownAction*>(action.get()))
            out.push_back(unknown);
        else if (auto* group = dynamic_cast<const OVActionGroup*>(action.get()))
            collectUnknown(group->actions(), out);
    }
}

bool sameUnknownRecords(const OVActionList& a, const OVActionList& b)
{
    std::vector<const OVUnknownAction*> before, after;
    collectUnknown(a, before);
    collectUnknown(b, after);
    if (before.size() != after.size())
        return false;
    for (std::size_t i = 0; i < before.size(); ++i) {
        if (std::strcmp(before[i]->className(), after[i]->className()) != 0 ||
            before[i]->classHierarchy() != after[i]->classHierarchy() ||
            !OVOpaqueValue::sameContent(before[i]->record(), after[i]->record()))
            return false;
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::string_view bytes(reinterpret_cast<const char*>(data), size);
    std::string error;
    if (auto actions = OVActionArchive::unarchiveActions(bytes, &error)) {
        std::string again = OVActionArchive::archivedDataWithRootActions(*actions);
        auto reread = OVActionArchive::unarchiveActions(again, &error);
        if (!reread || reread->size() != actions->size() || !sameUnknownRecords(*actions, *reread))
            abort();
    } else if (error.empty()) {
        abort();
    }
    error.clear();
    if (auto value = OVKeyedUnarchiver::unarchiveValue(bytes, &error)) {
        if (!OVKeyedUnarchiver::unarchiveValue(OVKeyedArchiver::archivedDataWithRootValue(*value)))
            abort();
    } else if (error.empty()) {
        abort();
    }
    return 0;
}
