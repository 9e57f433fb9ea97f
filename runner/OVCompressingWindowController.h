// SPDX-License-Identifier: GPL-3.0-or-later
// The progress window of "Compress with password": counts the selection, writes the archive on
// a queue of its own and says how it ended.
#pragma once

#include "runner/OVRunningWork.h"
#include "ui/HLWindowController.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class HLTimer;

class OVCompressingWindowController : public HLWindowController {
public:
    using Completion = std::function<void(OVCompressingWindowController&)>;

    static std::shared_ptr<OVCompressingWindowController> controllerWithPaths(std::vector<std::string> paths,
                                                                             std::string destinationFile,
                                                                             std::string password,
                                                                             bool strongEncryption = false);
    ~OVCompressingWindowController() override;
    std::vector<std::string> classHierarchy() const override
    {
        return {"OVCompressingWindowController", "HLWindowController"};
    }

    const std::vector<std::string>& paths() const { return paths_; }
    // Where the archive ended up (the next free name when the first one was taken meanwhile).
    const std::string& destinationFile() const { return destinationFile_; }
    int64_t totalFileCount() const { return totalFileCount_; }
    void setCompletionBlock(Completion block) { completionBlock_ = std::move(block); }

    // Shows the window and starts counting, then compressing.
    void showWindow();
    // Stops the work; the unfinished archive is removed and nothing is announced.
    void cancel();

    bool succeeded() const { return succeeded_; }
    bool cancelled() const { return cancelled_->load(); }
    const std::string& error() const { return error_; }

    // True when something exists at the path and it is a folder, links followed.
    static bool pathIsDirectory(const std::string& path);
    // Listed items below the paths' folders (the folders themselves not counted), 1 for others.
    static int64_t countFiles(const std::vector<std::string>& paths);

    void hl_viewDidLoad() override;

protected:
    OVCompressingWindowController() = default;
    friend class HLWindowController;

private:
    void startCompressionWithPaths(const std::vector<std::string>& paths);
    void handleCompletion();
    void setProgress(int64_t step, const std::optional<std::string>& label);

    std::vector<std::string> paths_;
    std::string destinationFile_;
    std::string password_;
    bool strongEncryption_ = false; // WinZip AES-256 rather than traditional encryption
    int64_t totalFileCount_ = 0;
    Completion completionBlock_;
    std::shared_ptr<HLTimer> pulseTimer_;
    std::shared_ptr<std::atomic<bool>> cancelled_ = std::make_shared<std::atomic<bool>>(false);
    bool succeeded_ = false;
    bool finished_ = false;
    std::string error_;
    OVRunningWork::Token runningWork_ = 0;
};
