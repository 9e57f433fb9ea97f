// SPDX-License-Identifier: GPL-3.0-or-later
// How the store and the preferences tell the other programs that they changed. Unless a program
// sets a sender of its own (tests do, to watch), each change goes out as the protocol's wormhole
// message, so no program can forget to connect it.
#pragma once

#include <functional>

enum class OVChange {
    Actions,     // the action list was saved
    Preferences, // a preference was written
};

namespace OVChangeSender {

using Sender = std::function<void(OVChange change)>;

// Replaces the sender of this process; an empty one restores the wormhole messages.
void set(Sender sender);
void send(OVChange change);

} // namespace OVChangeSender
