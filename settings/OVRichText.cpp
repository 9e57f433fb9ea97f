// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/OVRichText.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <vector>

namespace {

// Windows-1252 0x80..0x9F; the rest of the code page is Latin-1. Holes read as U+FFFD.
constexpr std::array<char32_t, 32> kCp1252High = {
    0x20AC, 0xFFFD, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0xFFFD, 0x017D, 0xFFFD, 0xFFFD, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0xFFFD, 0x017E, 0x0178};

void appendUtf8(std::string& out, char32_t c)
{
    if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF))
        c = 0xFFFD;
    if (c < 0x80) {
        out += char(c);
    } else if (c < 0x800) {
        out += char(0xC0 | (c >> 6));
        out += char(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += char(0xE0 | (c >> 12));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    } else {
        out += char(0xF0 | (c >> 18));
        out += char(0x80 | ((c >> 12) & 0x3F));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    }
}

char32_t fromCp1252(unsigned char byte)
{
    return byte >= 0x80 && byte < 0xA0 ? kCp1252High[byte - 0x80] : char32_t(byte);
}

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// Destinations whose content is not text of the document.
bool isSkippedDestination(std::string_view word)
{
    static constexpr std::string_view kSkipped[] = {
        "fonttbl", "colortbl", "stylesheet", "info", "pict", "header", "footer", "headerl", "headerr",
        "footerl", "footerr", "footnote", "object", "listtable", "listoverridetable", "revtbl",
        "rsidtbl", "generator", "xmlnstbl", "themedata", "colorschememapping", "latentstyles", "datastore",
    };
    for (auto skipped : kSkipped)
        if (word == skipped)
            return true;
    return false;
}

struct Group {
    bool skipped = false;
    int unicodeSkip = 1; // \ucN: characters that stand in for each \u
};

} // namespace

namespace OVRichText {

bool looksLikeRichText(std::string_view bytes) { return bytes.substr(0, 5) == "{\\rtf"; }

std::string plainText(std::string_view rtf)
{
    std::string out;
    std::vector<Group> groups{Group{}};
    // The first thing in a group decides whether it is an ignorable destination ("{\*\...").
    bool atGroupStart = false;
    bool starSeen = false;
    // Characters still to drop after a \u (its stand-ins).
    int pendingSkip = 0;
    char32_t highSurrogate = 0;

    // Control characters other than line ends and tabs have no place in a label.
    auto isShown = [](char32_t c) { return c >= 0x20 || c == '\n' || c == '\t'; };
    auto emit = [&](char32_t c) {
        if (groups.back().skipped || !isShown(c))
            return;
        if (pendingSkip > 0) {
            --pendingSkip;
            return;
        }
        appendUtf8(out, c);
    };
    auto emitRaw = [&](char byte) {
        if (groups.back().skipped || !isShown((unsigned char)byte))
            return;
        if (pendingSkip > 0) {
            --pendingSkip;
            return;
        }
        out += byte;
    };

    std::size_t i = 0;
    const std::size_t n = rtf.size();
    while (i < n) {
        const char c = rtf[i];
        if (c == '{') {
            // A few bytes a level: deep nesting costs no more than the input's own size.
            groups.push_back(groups.back());
            atGroupStart = true;
            starSeen = false;
            pendingSkip = 0;
            ++i;
            continue;
        }
        if (c == '}') {
            if (groups.size() > 1)
                groups.pop_back();
            atGroupStart = false;
            starSeen = false;
            pendingSkip = 0;
            ++i;
            continue;
        }
        if (c == '\r' || c == '\n') {
            ++i; // line ends in the source are not text
            continue;
        }
        if (c != '\\') {
            atGroupStart = false;
            emitRaw(c);
            ++i;
            continue;
        }

        // A control word or symbol.
        ++i;
        if (i >= n)
            break;
        const char s = rtf[i];
        const bool isLetter = (s >= 'a' && s <= 'z') || (s >= 'A' && s <= 'Z');
        if (!isLetter) {
            ++i;
            switch (s) {
            case '*':
                if (atGroupStart)
                    starSeen = true;
                continue; // a star keeps the group "at start" for the word that follows
            case '\\':
            case '{':
            case '}':
                emit(char32_t(s));
                break;
            case '~':
                emit(0x00A0);
                break;
            case '_':
                emit(0x2011);
                break;
            case '\'': {
                const int hi = i < n ? hexValue(rtf[i]) : -1;
                const int lo = i + 1 < n ? hexValue(rtf[i + 1]) : -1;
                if (hi >= 0 && lo >= 0) {
                    i += 2;
                    emit(fromCp1252((unsigned char)(hi * 16 + lo)));
                }
                break;
            }
            case '\r':
            case '\n':
                emit('\n'); // an escaped line end is a paragraph
                break;
            default:
                break; // "\-" (optional hyphen) and unknown symbols show nothing
            }
            atGroupStart = false;
            continue;
        }

        const std::size_t wordStart = i;
        while (i < n && ((rtf[i] >= 'a' && rtf[i] <= 'z') || (rtf[i] >= 'A' && rtf[i] <= 'Z')))
            ++i;
        // No known word is longer; a longer one is still one (unknown) word.
        const std::string_view word = rtf.substr(wordStart, std::min<std::size_t>(i - wordStart, 32));
        bool negative = false;
        bool hasNumber = false;
        long number = 0;
        if (i < n && rtf[i] == '-') {
            negative = true;
            ++i;
        }
        while (i < n && rtf[i] >= '0' && rtf[i] <= '9') {
            if (number < 1000000)
                number = number * 10 + (rtf[i] - '0');
            hasNumber = true;
            ++i;
        }
        if (negative)
            number = -number;
        if (i < n && rtf[i] == ' ')
            ++i; // the delimiter belongs to the word

        const bool firstInGroup = atGroupStart;
        atGroupStart = false;
        if (firstInGroup && (starSeen || isSkippedDestination(word))) {
            groups.back().skipped = true;
            starSeen = false;
            continue;
        }
        starSeen = false;

        if (word == "par" || word == "line" || word == "sect" || word == "page") {
            emit('\n');
        } else if (word == "tab" || word == "cell") {
            emit('\t');
        } else if (word == "row") {
            emit('\n');
        } else if (word == "emdash") {
            emit(0x2014);
        } else if (word == "endash") {
            emit(0x2013);
        } else if (word == "bullet") {
            emit(0x2022);
        } else if (word == "lquote") {
            emit(0x2018);
        } else if (word == "rquote") {
            emit(0x2019);
        } else if (word == "ldblquote") {
            emit(0x201C);
        } else if (word == "rdblquote") {
            emit(0x201D);
        } else if (word == "uc" && hasNumber) {
            groups.back().unicodeSkip = number < 0 ? 0 : int(std::min(number, 16L));
        } else if (word == "u" && hasNumber) {
            char32_t unit = char32_t(number < 0 ? number + 65536 : number) & 0xFFFF;
            pendingSkip = 0;
            if (unit >= 0xD800 && unit <= 0xDBFF) {
                highSurrogate = unit;
            } else if (unit >= 0xDC00 && unit <= 0xDFFF && highSurrogate) {
                emit(0x10000 + ((highSurrogate - 0xD800) << 10) + (unit - 0xDC00));
                highSurrogate = 0;
            } else {
                highSurrogate = 0;
                emit(unit);
            }
            pendingSkip = groups.back().unicodeSkip;
        }
        // Every other word is formatting.
    }
    return out;
}

} // namespace OVRichText
