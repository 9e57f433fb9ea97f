// SPDX-License-Identifier: GPL-3.0-or-later
// A machine-wide wake-up by name, without payload: every process that listens for a name in a
// folder is woken when any process rings it. Each name is a doorbell file in the folder's
// ".doorbells" subfolder; ringing renames a fresh file over it, listeners watch the subfolder.
#pragma once

#include <functional>
#include <memory>
#include <string>

namespace ov {

inline constexpr const char* kDoorbellFolderName = ".doorbells";

// A name that can be a doorbell file: not empty, no '/' or NUL, not "." or "..", short enough.
bool isValidDoorbellName(const std::string& name);

// Rings the doorbell `name` of `folder`. False when the name is unusable or the file could not
// be replaced.
bool ringDoorbell(const std::string& folder, const std::string& name);

// Watches the doorbells of one folder. Callbacks run on the main context, once per ring, and
// never after the listener is gone.
class DoorbellListener {
public:
    // None when the folder cannot be watched.
    static std::unique_ptr<DoorbellListener> create(const std::string& folder);
    ~DoorbellListener();
    DoorbellListener(const DoorbellListener&) = delete;
    DoorbellListener& operator=(const DoorbellListener&) = delete;

    // One callback per name; listening again replaces it.
    void listen(const std::string& name, std::function<void()> callback);
    void stopListening(const std::string& name);

    struct Impl;

private:
    explicit DoorbellListener(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> impl_;
};

} // namespace ov
