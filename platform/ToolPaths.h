// Where the runner finds the tools it starts (orvane-rm, orvane-sips, orvane-defaults).
#pragma once

#include <string>

namespace ov {

// The absolute path of a tool: in $ORVANE_TOOLS_DIR when that is set (tests); else beside the
// running program (installed: libexec/orvane, next to orvane-helper); else in the build tree's
// "tools" folder beside the program's own folder. A tool found nowhere gets the path beside the
// program, so that the failure to start it names the file that is missing.
std::string toolPath(const std::string& name);

} // namespace ov
