// SPDX-License-Identifier: GPL-3.0-or-later
// File access for every program: path names, atomic writes and bounded reads.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ov {

std::string pathByAppending(const std::string& folder, const std::string& component);
std::string lastPathComponent(const std::string& path);
std::string withoutTrailingSlashes(std::string path); // "/" stays "/"
std::string deletingLastPathComponent(const std::string& path);
bool pathExists(const std::string& path);       // lstat: a dangling link exists too
bool isDirectory(const std::string& path);      // stat: a link to a folder is a folder
bool isRegularFile(const std::string& path);    // lstat: regular and not a link
bool makeDirectories(const std::string& path, unsigned mode = 0755);

// Reads at most maxBytes; none when the file cannot be read, is larger, or is not a regular
// file. With followLinks false a link is not read either.
std::optional<std::string> readFile(const std::string& path, std::size_t maxBytes = 64u << 20, bool followLinks = true);

// Temporary file in the same folder, fsync, rename over the target, fsync of the folder.
// On failure the old file is untouched and *error says why. Without durable the fsyncs are
// left out: readers still see the old or the new file whole, but a crash may lose the new one
// (for files that are written again from their source anyway).
bool writeFileAtomically(const std::string& path, std::string_view data, unsigned mode = 0644,
                         std::string* error = nullptr, bool durable = true);

// Creates a new file that must not exist yet (O_EXCL), writes and fsyncs it.
bool createNewFile(const std::string& path, std::string_view data, unsigned mode = 0600,
                   std::string* error = nullptr);

// A fresh random UUID in canonical upper-case form (36 characters).
std::string newUUIDString();
bool isCanonicalUUIDString(std::string_view s);

} // namespace ov
