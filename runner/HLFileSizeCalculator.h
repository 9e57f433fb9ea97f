// SPDX-License-Identifier: GPL-3.0-or-later
// Measures the byte size of a file or of everything below a folder, in the background.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

class HLFileSizeCalculator {
public:
    HLFileSizeCalculator();

    // Measures on a queue of its own ("app.orvane.filesizecalculator", one per call) and hands
    // the size to the block on the main context.
    void fileSizeForPath(const std::string& path, std::function<void(std::uint64_t size)> completionBlock);

    // Nothing there: 0. A folder: the sum below it. Anything else, a link included: its own
    // size (a link is never followed). 0 once cancelled.
    std::int64_t fileSizeForPath(const std::string& path) const;
    std::int64_t fileSizeForDirectory(const std::string& path) const;

    // Measurements running or asked for later answer 0.
    void cancel() { isCancelled_->store(true); }
    bool isCancelled() const { return isCancelled_->load(); }

private:
    // Shared with the queues, which may outlive the calculator.
    std::shared_ptr<std::atomic<bool>> isCancelled_;
};
