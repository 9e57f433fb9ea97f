// Keyed archives from hostile bytes: the decoder must answer, never crash. What it accepts must
// survive being written and read again.
#include "model/OVKeyedArchiver.h"
#include "model/OVKeyedUnarchiver.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::string_view bytes(reinterpret_cast<const char*>(data), size);
    std::string error;
    if (auto actions = OVKeyedUnarchiver::unarchiveActions(bytes, &error)) {
        std::string again = OVKeyedArchiver::archivedDataWithRootActions(*actions);
        auto reread = OVKeyedUnarchiver::unarchiveActions(again, &error);
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
