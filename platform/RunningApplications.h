// SPDX-License-Identifier: GPL-3.0-or-later
// The programs of this session by application identifier: starting one by D-Bus activation and
// asking its running copies to quit. A copy with a bus name quits through its exported "quit"
// action; a copy that lives inside another process (the file-manager extension) hears the
// request as a doorbell and does what quitting means for it.
#pragma once

#include <functional>
#include <memory>
#include <string>

namespace ov {

// The object path of a GApplication's bus name: "/" and the identifier with "." as "/".
std::string applicationObjectPath(const std::string& applicationId);

// org.freedesktop.Application.Activate on the identifier's bus name: the bus starts the program
// from its service file when it isn't running. done(ok, error) runs on the main context.
void activateApplication(const std::string& applicationId,
                         std::function<void(bool ok, const std::string& error)> done = {});

// Asks every running copy to quit, politely and without waiting: the bus-name owner through its
// "quit" action (never starting one that isn't running), the others through requestTermination.
void terminateApplications(const std::string& applicationId);
// Rings the doorbell that copies without a bus name listen to.
bool requestTermination(const std::string& applicationId);

// Hears the quit requests for one identifier, on the main context.
class TerminationRequestListener {
public:
    // None when the shared container cannot be watched.
    static std::unique_ptr<TerminationRequestListener> create(const std::string& applicationId,
                                                              std::function<void()> callback);
    ~TerminationRequestListener();
    TerminationRequestListener(const TerminationRequestListener&) = delete;
    TerminationRequestListener& operator=(const TerminationRequestListener&) = delete;

    struct Impl;

private:
    explicit TerminationRequestListener(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> impl_;
};

} // namespace ov
