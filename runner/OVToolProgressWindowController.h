// SPDX-License-Identifier: GPL-3.0-or-later
// The progress window of a long tool run: how many of the items are done, and a Cancel button
// that stops the rest. The run owns the rules (when to show, what Cancel does); this shows them.
#pragma once

#include "platform/GRef.h"
#include "ui/HLWindowController.h"

#include <cstddef>
#include <functional>
#include <memory>
#include <string>

class OVToolProgressWindowController : public HLWindowController {
public:
    static std::shared_ptr<OVToolProgressWindowController> controllerWithTitle(std::string title, std::size_t total);
    ~OVToolProgressWindowController() override;
    std::vector<std::string> classHierarchy() const override
    {
        return {"OVToolProgressWindowController", "HLWindowController"};
    }

    const std::string& title() const { return title_; }
    std::size_t done() const { return done_; }
    std::size_t total() const { return total_; }
    // "3 of 500", or "Cancelling..." once Cancel was chosen.
    std::string progressText() const;
    bool isCancelling() const { return cancelling_; }

    void setDone(std::size_t done);
    // Called once, when the user chooses Cancel.
    void setCancelBlock(std::function<void()> block) { cancelBlock_ = std::move(block); }
    void cancel();

    void hl_viewDidLoad() override;

protected:
    OVToolProgressWindowController(std::string title, std::size_t total) : title_(std::move(title)), total_(total) {}
    friend class HLWindowController;

private:
    void updateUI();

    std::string title_;
    std::size_t done_ = 0;
    std::size_t total_ = 0;
    bool cancelling_ = false;
    std::function<void()> cancelBlock_;
    ov::GRef<GSimpleAction> cancelAction_;
    ov::SignalConnection cancelConnection_;
};
