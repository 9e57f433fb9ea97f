// SPDX-License-Identifier: GPL-3.0-or-later
// Where the runner finds the tools it starts (orvane-rm, orvane-sips, orvane-defaults).
#pragma once

#include <string>

namespace ov {

// The absolute path of a tool: in $ORVANE_TOOLS_DIR when that is set (tests); else beside the
// running program (installed: libexec/orvane, next to orvane-helper); else in the build tree's
// "tools" folder beside the program's own folder. A tool found nowhere gets the path beside the
// program, so that the failure to start it names the file that is missing.
std::string toolPath(const std::string& name);

// The absolute path of one of the project's programs in the bin folder: beside the running
// program, else in the build tree's folder buildFolder beside the program's own folder, else the
// installed bin folder.
std::string programPath(const std::string& name, const std::string& buildFolder);
// The path of the running program itself.
std::string runningProgramPath();
// Where a program of the system is found in PATH; empty when it is not installed.
std::string findProgramInPath(const std::string& name);

} // namespace ov
