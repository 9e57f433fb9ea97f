// SPDX-License-Identifier: GPL-3.0-or-later
// The work of this runner that can be stopped: every copy and archive registers how to cancel it
// while it runs, so that a runner asked to end stops all of them the way their Cancel does.
// Main context only.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

class OVRunningWork {
public:
    using Token = std::uint64_t;

    static Token add(std::function<void()> cancel);
    static void remove(Token token);
    static std::size_t count();

    // Cancels everything registered and makes every copy and move of the process, the ones not
    // registered yet too, stop at its next piece.
    static void cancelAll();
    static bool isStopping();
    // Lets work run again (tests).
    static void resume();
};
