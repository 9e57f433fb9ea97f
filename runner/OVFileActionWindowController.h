// SPDX-License-Identifier: GPL-3.0-or-later
// The window of one item being copied: its icon, what goes where, and how far it has got. The
// copy runs on a queue of the window's own; closing the window does not stop it, its Cancel
// button does.
#pragma once

#include "platform/FileOutcome.h"
#include "runner/OVCopyReservation.h"
#include "runner/OVRunningWork.h"
#include "runner/HLFileSizeCalculator.h"
#include "runner/HLMemoryFormatter.h"
#include "ui/HLWindowController.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

class HLTimer;

class OVFileActionWindowController : public HLWindowController {
public:
    using CompletionBlock = std::function<void(OVFileActionWindowController&)>;
    enum class Outcome { Copying, Copied, Failed, Cancelled };

    // Copies to destinationFile, which must not exist yet.
    static std::shared_ptr<OVFileActionWindowController> controllerWithSourceFile(const std::string& sourceFile,
                                                                                   const std::string& destinationFile);
    // Copies into what was reserved for it.
    static std::shared_ptr<OVFileActionWindowController> controllerWithReservation(const std::string& sourceFile,
                                                                                    OVCopyReservation reservation);
    ~OVFileActionWindowController() override;

    std::vector<std::string> classHierarchy() const override
    {
        return {"OVFileActionWindowController", "HLWindowController"};
    }

    const std::string& sourceFile() const { return sourceFile_; }
    const std::string& destinationFile() const { return destinationFile_; }
    std::uint64_t fileSize() const { return fileSize_; }
    const std::string& fileSizeString() const { return fileSizeString_; }
    std::uint64_t progress() const { return progress_; }
    const std::string& title() const { return title_; }
    const HLMemoryFormatter& memoryFormatter() const { return memoryFormatter_; }

    void setCompletionBlock(CompletionBlock block) { completionBlock_ = std::move(block); }

    // How the copy ended, and why when it failed.
    Outcome outcome() const { return outcome_; }
    const std::optional<ov::FileError>& error() const { return error_; }

    void startCopying();
    void updateProgress();
    void updateUI();
    void handleCompletion();
    void showNotificationIfNeeded();
    // Stops the copy and removes what it had made; the source stays as it is.
    void cancel();

    void hl_viewDidLoad() override;

    // The same notification for an item whose copy could not even begin.
    static void deliverCopyErrorNotification();

protected:
    OVFileActionWindowController(std::string sourceFile, std::string destinationFile,
                                 std::optional<OVCopyReservation> reservation);
    friend class HLWindowController;

private:
    void sizeDidArrive(std::uint64_t size);
    void copyDidFinish(const ov::MoveResult& result);
    void setIndeterminate(bool on);
    void installCancelAction();
    void invalidateTimers();
    std::shared_ptr<OVFileActionWindowController> sharedSelf();
    template <typename T>
    T* widget(const char* name) const { return window() ? outlet<T>(name) : nullptr; }

    std::string sourceFile_;
    std::string destinationFile_;
    std::uint64_t fileSize_ = 0;
    std::string fileSizeString_;
    std::uint64_t progress_ = 0;
    std::string title_;
    HLMemoryFormatter memoryFormatter_;
    HLFileSizeCalculator fileSizeCalculator_;
    std::shared_ptr<HLTimer> updateTimer_;
    std::shared_ptr<HLTimer> pulseTimer_;
    CompletionBlock completionBlock_;

    std::optional<OVCopyReservation> reservation_;
    bool copying_ = false;
    bool measuringProgress_ = false;
    Outcome outcome_ = Outcome::Copying;
    std::optional<ov::FileError> error_;
    std::shared_ptr<std::atomic<bool>> cancelled_ = std::make_shared<std::atomic<bool>>(false);
    ov::GRef<GSimpleAction> cancelAction_;
    ov::SignalConnection cancelConnection_;
    OVRunningWork::Token runningWork_ = 0;
};
