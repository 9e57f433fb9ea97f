// SPDX-License-Identifier: GPL-3.0-or-later
#include "runner/HLFileSizeCalculator.h"

#include "platform/ItemSizes.h"
#include "platform/Log.h"
#include "platform/MainContext.h"

HLFileSizeCalculator::HLFileSizeCalculator() : isCancelled_(std::make_shared<std::atomic<bool>>(false)) {}

void HLFileSizeCalculator::fileSizeForPath(const std::string& path, std::function<void(std::uint64_t)> completionBlock)
{
    // A copy of the calculator's state, so that the measurement does not need the calculator.
    HLFileSizeCalculator measuring(*this);
    ov::SerialQueue::create("app.orvane.filesizecalculator")->async([measuring, path, completionBlock = std::move(completionBlock)] {
        std::int64_t size = 0;
        try {
            size = measuring.fileSizeForPath(path);
        } catch (const std::exception& e) {
            ov::ovLog("Could not measure %s: %s", path.c_str(), e.what());
        }
        ov::runOnNextTurn([completionBlock, size] {
            if (completionBlock)
                completionBlock(std::uint64_t(size));
        });
    });
}

std::int64_t HLFileSizeCalculator::fileSizeForPath(const std::string& path) const
{
    auto kind = ov::itemKind(path);
    if (!kind)
        return 0;
    if (kind->isDirectory)
        return fileSizeForDirectory(path);
    return isCancelled() ? 0 : std::int64_t(kind->size);
}

std::int64_t HLFileSizeCalculator::fileSizeForDirectory(const std::string& path) const
{
    if (isCancelled())
        return 0;
    std::uint64_t sum = ov::sizeOfFolderContents(path, isCancelled_.get());
    return isCancelled() ? 0 : std::int64_t(sum);
}
