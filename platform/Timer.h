// SPDX-License-Identifier: GPL-3.0-or-later
// Timers on the default main context, with millisecond resolution.
#pragma once

#include <functional>

namespace ov {

// Calls fn on the main context after the given delay, and then every delay again when repeats is
// set, until cancelled. Answers an id for cancelTimer (never 0).
unsigned scheduleTimer(unsigned milliseconds, bool repeats, std::function<void()> fn);

// Stops a timer; an id of 0 or of a timer that already ended is ignored.
void cancelTimer(unsigned id);

} // namespace ov
