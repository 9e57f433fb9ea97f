// SPDX-License-Identifier: GPL-3.0-or-later
// A bounded pool for the processes of one tool: at most `width` of them run at a time, the rest
// wait in the order they came. Without it a selection of a thousand items would start a thousand
// processes at once and ask the machine for a thousand times a tool's memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <utility>

class OVToolPool {
public:
    using Ticket = std::uint64_t;

    // About one process per processor, fewer when the available memory holds fewer of the tool's
    // peak, never less than one.
    static std::size_t widthFor(unsigned processors, std::optional<std::uint64_t> availableBytes,
                                std::uint64_t peakBytesPerProcess);

    // The pool shared by every run of a tool, its width measured again on each call (the memory
    // that is free changes). Main context only.
    static OVToolPool& forTool(const std::string& tool, std::uint64_t peakBytesPerProcess);
    // Tests: every pool gets this width instead of the measured one.
    static void setWidthForTesting(std::optional<std::size_t> width);

    explicit OVToolPool(std::size_t width) : width_(width ? width : 1) {}
    OVToolPool(const OVToolPool&) = delete;
    OVToolPool& operator=(const OVToolPool&) = delete;

    // Calls start now when a place is free, else when one frees up. The ticket holds the place
    // until it is released.
    Ticket submit(std::function<void()> start);
    // Gives back the place of a started ticket (starting the next waiting one), or withdraws a
    // waiting one so that it never starts. Unknown tickets are ignored.
    void release(Ticket ticket);

    std::size_t width() const { return width_; }
    void setWidth(std::size_t width);
    std::size_t running() const { return running_.size(); }
    std::size_t waiting() const { return waiting_.size(); }

private:
    void startWaiting();

    std::size_t width_;
    Ticket nextTicket_ = 1;
    std::set<Ticket> running_;
    std::deque<std::pair<Ticket, std::function<void()>>> waiting_;
    bool starting_ = false;
};
