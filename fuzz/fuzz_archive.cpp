// Keyed archives from hostile bytes: the decoder must answer, never crash. What it accepts must
// survive being written and read again.
#include "archive/OVKeyedArchiver.h"
#include "archive/OVKeyedUnarchiver.h"
#include "model/OVActionArchive.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::string_view bytes(reinterpret_cast<const char*>(data), size);
    std::string error;
    if (auto actions = OVActionArchive::unarchiveActions(bytes, &error)) {
        std::string again = OVActionArchive::archivedDataWithRootActions(*actions);
        auto reread = OVActionArchive::unarchiveActions(again, &error);
        if (!reread || reread->size() != actions->size())
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
