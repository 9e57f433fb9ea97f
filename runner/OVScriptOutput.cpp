// SPDX-License-Identifier: GPL-3.0-or-later
#include "runner/OVScriptOutput.h"

#include "archive/UTF8.h"
#include "platform/Files.h"
#include "platform/Log.h"
#include "platform/Translation.h"
#include "platform/UserFolders.h"

#include <sys/stat.h>

#include <algorithm>
#include <filesystem>

namespace {

// Keeps the last limit bytes; the string is trimmed only once it holds twice that, so that
// appending stays cheap.
void appendKeepingEnd(std::string& into, std::string_view bytes, std::size_t limit)
{
    if (bytes.size() >= limit) {
        into.assign(bytes.substr(bytes.size() - limit));
        return;
    }
    into.append(bytes);
    if (into.size() > 2 * limit)
        into.erase(0, into.size() - limit);
}

// Where a cut at from may start without splitting a character.
std::size_t characterStart(std::string_view text, std::size_t from)
{
    std::size_t at = from;
    while (at < text.size() && at < from + 3 && (static_cast<unsigned char>(text[at]) & 0xC0) == 0x80)
        ++at;
    return at;
}

bool isDigits(std::string_view s) { return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; }); }

} // namespace

void OVScriptOutput::append(std::string_view bytes, bool isError)
{
    total_ += bytes.size();
    appendKeepingEnd(tail_, bytes, kMaxBytes);
    if (isError)
        appendKeepingEnd(errorTail_, bytes, kErrorTailBytes);
}

std::string OVScriptOutput::contents() const
{
    if (total_ <= kMaxBytes)
        return tail_;
    // The note takes far less than this in any language; what is kept fills the rest.
    constexpr std::size_t kNoteRoom = 512;
    const std::string_view kept(tail_);
    const std::size_t from = characterStart(kept, kept.size() - std::min(kMaxBytes - kNoteRoom, kept.size()));
    std::string note = ov::stringPrintf(_("[The first %llu bytes of output are left out; this is the end of it.]"),
                                        static_cast<unsigned long long>(total_ - (kept.size() - from)));
    note += "\n";
    return note.substr(0, kNoteRoom) + std::string(kept.substr(from));
}

std::string OVScriptOutput::folder() { return ov::pathByAppending(ov::pathByAppending(ov::userCacheDir(), "orvane"), "script-output"); }

bool OVScriptOutput::isOutputFileName(std::string_view name)
{
    // YYYYMMDD-HHMMSS-NNNNNNNNN.txt, or with -K before .txt when two runs end in the same instant.
    if (!name.ends_with(".txt"))
        return false;
    name.remove_suffix(4);
    if (name.size() < 25 || name[8] != '-' || name[15] != '-')
        return false;
    if (!isDigits(name.substr(0, 8)) || !isDigits(name.substr(9, 6)) || !isDigits(name.substr(16, 9)))
        return false;
    std::string_view rest = name.substr(25);
    return rest.empty() || (rest.size() <= 4 && rest[0] == '-' && isDigits(rest.substr(1)));
}

bool OVScriptOutput::isOutputFile(const std::string& path)
{
    if (ov::deletingLastPathComponent(path) != folder() || !isOutputFileName(ov::lastPathComponent(path)))
        return false;
    return ov::isRegularFile(path);
}

std::optional<std::string> OVScriptOutput::save(const std::string& into, const struct timespec& when) const
{
    if (!ov::makeDirectories(into, 0700)) {
        ov::ovLog("Cannot make the script output folder %s", into.c_str());
        return std::nullopt;
    }
    struct tm utc;
    gmtime_r(&when.tv_sec, &utc);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &utc);
    std::string base = ov::stringPrintf("%s-%09ld", stamp, long(when.tv_nsec));
    std::string path = ov::pathByAppending(into, base + ".txt");
    for (int k = 2; ov::pathExists(path) && k < 1000; ++k)
        path = ov::pathByAppending(into, base + "-" + std::to_string(k) + ".txt");
    std::string error;
    // A cache: atomic so that no half file is ever read, but not worth waiting for the disk.
    if (!ov::writeFileAtomically(path, contents(), 0600, &error, /*durable=*/false)) {
        ov::ovLog("Cannot save the script output in %s: %s", path.c_str(), error.c_str());
        return std::nullopt;
    }
    prune(into);
    return path;
}

void OVScriptOutput::prune(const std::string& in, std::size_t keep)
{
    std::vector<std::string> names;
    std::error_code ec;
    for (std::filesystem::directory_iterator it(in, ec), end; !ec && it != end; it.increment(ec)) {
        std::string name = it->path().filename().string();
        if (isOutputFileName(name) && ov::isRegularFile(ov::pathByAppending(in, name)))
            names.push_back(std::move(name));
    }
    if (names.size() <= keep)
        return;
    std::sort(names.begin(), names.end());
    for (std::size_t i = 0; i + keep < names.size(); ++i) {
        std::filesystem::remove(ov::pathByAppending(in, names[i]), ec);
        if (ec)
            ov::ovLog("Cannot remove old script output %s: %s", names[i].c_str(), ec.message().c_str());
    }
}

std::vector<std::string> OVLastLines(std::string_view text, std::size_t count, std::size_t maxCharacters)
{
    std::vector<std::string> lines;
    std::size_t end = text.size();
    while (lines.size() < count && end > 0) {
        std::size_t start = text.rfind('\n', end - 1);
        start = start == std::string_view::npos ? 0 : start + 1;
        std::string_view line = text.substr(start, end - start);
        end = start == 0 ? 0 : start - 1;
        while (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        if (auto cr = line.rfind('\r'); cr != std::string_view::npos)
            line.remove_prefix(cr + 1);

        const std::string repaired = ovutf8::repaired(line);
        std::string clean;
        std::size_t characters = 0;
        bool visible = false;
        for (std::size_t i = 0; i < repaired.size();) {
            auto c = ovutf8::decode(repaired, i);
            const std::size_t length = c ? c->length : 1;
            const char32_t value = c ? c->value : U'\uFFFD';
            if (value == U'\t' || value == U' ') {
                clean += ' ';
                ++characters;
            } else if (value >= 0x20 && value != 0x7F && !(value >= 0x80 && value < 0xA0)) {
                clean.append(repaired, i, length);
                ++characters;
                visible = true;
            }
            i += length;
            if (characters >= maxCharacters && i < repaired.size()) {
                clean += "\u2026";
                break;
            }
        }
        if (!visible)
            continue;
        const auto first = clean.find_first_not_of(' ');
        const auto last = clean.find_last_not_of(' ');
        lines.push_back(clean.substr(first, last - first + 1));
    }
    std::reverse(lines.begin(), lines.end());
    return lines;
}
