// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/Timer.h"

#include "platform/Log.h"

#include <glib.h>

namespace ov {
namespace {

struct TimerBlock {
    std::function<void()> fn;
    bool repeats;
};

gboolean fireTimer(gpointer data)
{
    auto* block = static_cast<TimerBlock*>(data);
    // GLib keeps the block alive during dispatch, even if fn cancels its own timer.
    guarded("a timer", block->fn);
    return block->repeats ? G_SOURCE_CONTINUE : G_SOURCE_REMOVE;
}

void destroyTimerBlock(gpointer data) { delete static_cast<TimerBlock*>(data); }

} // namespace

unsigned scheduleTimer(unsigned milliseconds, bool repeats, std::function<void()> fn)
{
    return g_timeout_add_full(G_PRIORITY_DEFAULT, milliseconds, fireTimer, new TimerBlock{std::move(fn), repeats},
                              destroyTimerBlock);
}

void cancelTimer(unsigned id)
{
    if (id == 0)
        return;
    // g_source_remove complains about ids that are gone; a one-shot timer removes itself.
    if (GSource* source = g_main_context_find_source_by_id(nullptr, id))
        g_source_destroy(source);
}

} // namespace ov
