// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/CopyStop.h"

#include <atomic>

namespace ov {
namespace {

std::atomic<bool>& everyCopyStopped()
{
    static std::atomic<bool> stopped{false};
    return stopped;
}

} // namespace

void stopEveryCopy(bool stop) { everyCopyStopped().store(stop); }

bool isEveryCopyStopped() { return everyCopyStopped().load(); }

} // namespace ov
