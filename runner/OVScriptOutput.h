// SPDX-License-Identifier: GPL-3.0-or-later
// What a script run wrote to its standard output and error, kept so that the user can read it
// after the run: the end of it (the end is what explains a failure), in one file per run, the
// last runs only.
#pragma once

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class OVScriptOutput {
public:
    static constexpr std::size_t kMaxBytes = 1u << 20;      // of a saved file, note included
    static constexpr std::size_t kKeptRuns = 20;
    static constexpr std::size_t kErrorTailBytes = 64u << 10; // of standard error, for its last lines

    // Output and error as they arrive, interleaved in one record.
    void append(std::string_view bytes, bool isError);
    // The last kMaxBytes of it; when more came, a note of how much was left out comes first.
    std::string contents() const;
    std::uint64_t totalBytes() const { return total_; }
    // The end of standard error alone.
    const std::string& errorTail() const { return errorTail_; }

    // Writes contents() as a new file in folder (created when missing, readable by the user only)
    // under a name that sorts by when, then removes all but the newest kKeptRuns. The file's
    // path, or none (logged) when it cannot be written.
    std::optional<std::string> save(const std::string& folder, const struct timespec& when) const;

    // $XDG_CACHE_HOME/orvane/script-output.
    static std::string folder();
    // Removes the oldest output files of folder until keep are left; other files stay.
    static void prune(const std::string& folder, std::size_t keep = kKeptRuns);
    // Whether path names an output file this system wrote in folder(): what a request from
    // outside (the notification's button) may open.
    static bool isOutputFile(const std::string& path);
    static bool isOutputFileName(std::string_view name);

private:
    std::string tail_;
    std::string errorTail_;
    std::uint64_t total_ = 0;
};

// The last count lines of text that hold something besides blanks, as one-line text a
// notification can carry: a line ends at LF, a CR inside a line keeps what follows it (as a
// terminal shows a redrawn line), bytes that are not UTF-8 become U+FFFD, control characters go
// and a line longer than maxCharacters ends in "…".
std::vector<std::string> OVLastLines(std::string_view text, std::size_t count = 3, std::size_t maxCharacters = 200);
