// SPDX-License-Identifier: GPL-3.0-or-later
// The window of script runs that take a while: a line for each, with the action's title, the
// time since it started, a spinner and Stop. The runs own the rules (when a line comes and goes,
// what Stop does); this shows them.
#pragma once

#include "platform/GRef.h"
#include "ui/HLWindowController.h"

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class HLTimer;

class OVScriptRunsWindowController : public HLWindowController {
public:
    using Clock = std::chrono::steady_clock;

    static std::shared_ptr<OVScriptRunsWindowController> controllerForRuns();
    ~OVScriptRunsWindowController() override;
    std::vector<std::string> classHierarchy() const override
    {
        return {"OVScriptRunsWindowController", "HLWindowController"};
    }

    // A line for a run; stop is called once, when the user chooses its Stop.
    void addRun(long long id, std::string title, Clock::time_point started, std::function<void()> stop);
    void removeRun(long long id);
    bool hasRuns() const { return !runs_.empty(); }
    std::size_t runCount() const { return runs_.size(); }
    // What Stop does for the run with that id (nothing for one not shown or stopping already).
    void stop(long long id);
    bool isStopping(long long id) const;
    // The text of a run's time: "0:07", "12:30", "1:02:03"; "Stopping…" once stopped.
    std::string elapsedText(long long id, Clock::time_point now) const;
    static std::string formatElapsed(std::chrono::seconds elapsed);
    std::vector<std::string> titles() const;

    void hl_viewDidLoad() override;
    // Closing the window by hand only hides it; the runs go on.
    bool windowShouldClose() override;

protected:
    OVScriptRunsWindowController() = default;
    friend class HLWindowController;

private:
    struct Run {
        long long id = 0;
        std::string title;
        Clock::time_point started;
        std::function<void()> stop;
        bool stopping = false;
        GtkWidget* line = nullptr;
        GtkLabel* elapsed = nullptr;
        GtkWidget* button = nullptr;
    };
    Run* find(long long id);
    const Run* find(long long id) const;
    void addLine(Run& run);
    void updateTimes();

    std::vector<Run> runs_;
    std::shared_ptr<HLTimer> ticker_;
    ov::GRef<GSimpleAction> stopAction_;
    ov::SignalConnection stopConnection_;
};
