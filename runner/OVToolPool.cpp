// SPDX-License-Identifier: GPL-3.0-or-later
#include "runner/OVToolPool.h"

#include "platform/Log.h"
#include "platform/SystemResources.h"

#include <algorithm>
#include <map>
#include <memory>

namespace {

std::optional<std::size_t>& widthForTesting()
{
    static std::optional<std::size_t> width;
    return width;
}

} // namespace

std::size_t OVToolPool::widthFor(unsigned processors, std::optional<std::uint64_t> availableBytes,
                                 std::uint64_t peakBytesPerProcess)
{
    std::size_t width = std::max(1u, processors);
    if (availableBytes && peakBytesPerProcess > 0)
        width = std::min<std::uint64_t>(width, *availableBytes / peakBytesPerProcess);
    return std::max<std::size_t>(width, 1);
}

OVToolPool& OVToolPool::forTool(const std::string& tool, std::uint64_t peakBytesPerProcess)
{
    static std::map<std::string, std::unique_ptr<OVToolPool>> pools;
    auto& pool = pools[tool];
    const std::size_t width = widthForTesting()
        ? *widthForTesting()
        : widthFor(ov::processorCount(), ov::availableMemoryBytes(), peakBytesPerProcess);
    if (!pool)
        pool = std::make_unique<OVToolPool>(width);
    else
        pool->setWidth(width);
    return *pool;
}

void OVToolPool::setWidthForTesting(std::optional<std::size_t> width) { widthForTesting() = width; }

void OVToolPool::setWidth(std::size_t width)
{
    // Narrowing stops nothing that runs; it only holds back the next starts.
    width_ = width ? width : 1;
    startWaiting();
}

OVToolPool::Ticket OVToolPool::submit(std::function<void()> start)
{
    const Ticket ticket = nextTicket_++;
    waiting_.emplace_back(ticket, std::move(start));
    startWaiting();
    return ticket;
}

void OVToolPool::release(Ticket ticket)
{
    if (running_.erase(ticket)) {
        startWaiting();
        return;
    }
    auto it = std::find_if(waiting_.begin(), waiting_.end(), [&](const auto& w) { return w.first == ticket; });
    if (it != waiting_.end())
        waiting_.erase(it);
}

void OVToolPool::startWaiting()
{
    // A start that releases its own ticket at once comes back here; the outer loop goes on.
    if (starting_)
        return;
    starting_ = true;
    while (!waiting_.empty() && running_.size() < width_) {
        auto next = std::move(waiting_.front());
        waiting_.pop_front();
        running_.insert(next.first);
        ov::guarded("starting a tool process", [&next] { next.second(); });
    }
    starting_ = false;
}
