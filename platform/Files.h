// File access for every program: the shared container, atomic writes and bounded reads.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ov {

inline constexpr const char* kAppId = "app.orvane.Orvane";
inline constexpr const char* kApplicationGroupIdentifier = "ORVANE.app.orvane.Orvane";
inline constexpr const char* kRunnerId = "app.orvane.Orvanehelper";
inline constexpr const char* kExtensionId = "app.orvane.Orvane.extension";
inline constexpr const char* kVendorPrefix = "app.orvane";

// $XDG_DATA_HOME (else ~/.local/share) and $XDG_CONFIG_HOME (else ~/.config), read on every call
// so that tests can point each case at its own folders.
std::string userDataDir();
std::string userConfigDir();

// The application-group container folder; created with mode 0700 when missing (errors ignored).
std::string containerPathForGroup(const std::string& groupIdentifier);
std::string containerPath();

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

// The installed data folder (share/orvane), or the build tree's resources when run uninstalled.
// ORVANE_RESOURCES_DIR overrides it (tests).
std::string resourcesPath();

// A helper program of ours: libexec/orvane/NAME, or the build tree's when run uninstalled.
// ORVANE_LIBEXEC_DIR overrides the folder (tests).
std::string libexecProgramPath(const std::string& name);

// The user's folder of a kind (the XDG user directories); $HOME/<fallback> when none is set.
enum class UserDirectory { Desktop, Documents, Pictures };
std::string userDirectory(UserDirectory kind);

} // namespace ov
