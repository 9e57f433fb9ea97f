// Free names for files that actions create, and the shared folder of a selection.
#pragma once

#include <optional>
#include <string>
#include <vector>

// The path itself when nothing exists there, else the first free "<base> <N><.ext>" beside it,
// counting from 2. A dangling symbolic link counts as existing.
std::string hl_nextAvailablePath(const std::string& path);

// The deepest folder shared by the paths; a single path gives its parent folder, no paths none.
std::optional<std::string> hl_commonAncestorWithPaths(const std::vector<std::string>& paths);

// The extension of the last component without its dot ("" for none, for ".profile" and for "name.").
std::string hl_pathExtension(const std::string& path);
