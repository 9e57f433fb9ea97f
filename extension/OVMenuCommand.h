// SPDX-License-Identifier: GPL-3.0-or-later
// orvane-menu: the extension's menus on the command line, exporting them to other file managers,
// and running an action from them.
#pragma once

#include <iosfwd>

namespace OVMenuCommand {

// Runs orvane-menu with argv (argv[0] is the program's name); the menu and the help go to out,
// complaints to err. The exit status: 0 on success, 1 on failure, 2 for bad usage.
int run(int argc, const char* const* argv, std::ostream& out, std::ostream& err);

} // namespace OVMenuCommand
