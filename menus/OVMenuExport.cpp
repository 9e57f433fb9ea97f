// SPDX-License-Identifier: GPL-3.0-or-later
#include "menus/OVMenuExport.h"

#include "archive/UTF8.h"
#include "model/OVActionGroup.h"
#include "model/OVThemeIcons.h"
#include "model/OVTypes.h"
#include "platform/ContentTypes.h"
#include "platform/Log.h"
#include "platform/Markup.h"
#include "platform/Translation.h"

#include <algorithm>
#include <cstdio>

namespace {

constexpr const char* kRootTitle = "Orvane";
constexpr const char* kUntitled = "Untitled";

std::string replaceAll(std::string text, const std::string& from, const std::string& to)
{
    for (std::size_t pos = text.find(from); pos != std::string::npos; pos = text.find(from, pos + to.size()))
        text.replace(pos, from.size(), to);
    return text;
}

// A key-file value (Nemo actions and desktop files): backslashes doubled, a leading space kept.
// Titles hold no control characters by now, so no line can be started from a value.
std::string keyFileValue(const std::string& text)
{
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\\')
            out += "\\\\";
        else if (c == ' ' && i == 0)
            out += "\\s";
        else if (c == '\n')
            out += "\\n";
        else if (c == '\t')
            out += "\\t";
        else if (c == '\r')
            out += "\\r";
        else
            out += c;
    }
    return out;
}

std::string xmlText(const std::string& text)
{
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        case '\'': out += "&apos;"; break;
        default: out += c;
        }
    }
    return out;
}

// One argument for a command line that the file manager splits like a POSIX shell.
std::string shellQuoted(const std::string& arg) { return "'" + replaceAll(arg, "'", "'\\''") + "'"; }

// One argument of a desktop-file Exec line: reserved characters inside double quotes, where
// only " ` $ and \ need a backslash.
std::string desktopExecArgument(const std::string& arg)
{
    static const std::string reserved = " \t\n\"'\\><~|&;$*?#()`";
    if (!arg.empty() && arg.find_first_of(reserved) == std::string::npos)
        return arg;
    std::string out = "\"";
    for (char c : arg) {
        if (c == '"' || c == '`' || c == '$' || c == '\\')
            out += '\\';
        out += c;
    }
    return out + "\"";
}

// Field codes start with "%" in all three formats; "%%" is a literal one.
std::string withoutFieldCodes(const std::string& text) { return replaceAll(text, "%", "%%"); }

std::string themedIconName(const OVAction& action)
{
    if (!action.icon() || action.icon()->serialized().empty())
        return {};
    std::string name = action.icon()->serialized();
    const std::string themed = ". GThemedIcon ";
    if (name.starts_with(themed)) {
        name = name.substr(themed.size());
        name = name.substr(0, name.find(' '));
    }
    name = OVThemeIcons::exportedName(name);
    const bool plain = !name.empty() && std::all_of(name.begin(), name.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '_' || c == '.' || c == '+';
    });
    return plain ? name : std::string();
}

OVExportItem exportItem(const OVAction& action, const OVAction& filters)
{
    const auto& fileTypes = filters.fileTypes();
    OVExportItem item;
    item.uid = action.uid();
    item.title = menuSafeTitle(action.title().value_or(""));
    if (item.title.find_first_not_of(' ') == std::string::npos)
        item.title = kUntitled;
    item.iconName = themedIconName(action);
    item.fileTypes = fileTypes;
    item.counts = filters.selectionCounts();
    return item;
}

// An entry of a flat list: the item, and the group it came from when it has one.
struct FlatEntry {
    const OVExportItem* item;
    const OVExportItem* group;
};

std::vector<FlatEntry> flatEntries(const OVExportMenu& menu)
{
    std::vector<FlatEntry> entries;
    for (const auto& item : menu.items) {
        if (!item.isGroup) {
            entries.push_back({&item, nullptr});
            continue;
        }
        for (const auto& child : item.children)
            entries.push_back({&child, &item});
    }
    return entries;
}

std::string orderedName(std::size_t position, const std::string& uid, const std::string& suffix)
{
    char number[16];
    std::snprintf(number, sizeof number, "%04zu-", position);
    return std::string(kExportFilePrefix) + number + uid + suffix;
}

std::string runArguments(const std::string& uid)
{
    return " --run " + uid + " --";
}

// Whether a folder passes the action's type test, so that its background menu may offer it.
bool fitsFolder(const std::optional<OVStringList>& fileTypes)
{
    if (!fileTypes)
        return true;
    const std::string folder = kUTTypeFolder;
    return std::all_of(fileTypes->begin(), fileTypes->end(),
                       [&folder](const std::string& type) { return ov::contentTypeConformsTo(folder, type); });
}

// Nemo's Selection= says one count, "one", "several" or "any": the nearest that lets through
// every count the action takes. orvane-menu refuses the rest with the reason.
std::string nemoSelection(const OVSelectionCounts& counts)
{
    if (counts.minimum && counts.maximum && *counts.minimum == *counts.maximum)
        return *counts.minimum == 1 ? "s" : std::to_string(*counts.minimum);
    if (counts.minimum && *counts.minimum >= 2)
        return "m";
    return "notnone";
}

std::string nemoActionFile(const std::string& name, const OVExportItem& item, const std::string& exec, bool background)
{
    std::string out = "[Nemo Action]\n";
    out += "Name=" + keyFileValue(withoutFieldCodes(name)) + "\n";
    out += "Comment=" + keyFileValue(withoutFieldCodes(name)) + "\n";
    out += "Exec=" + keyFileValue(exec) + "\n";
    if (!item.iconName.empty())
        out += "Icon-Name=" + item.iconName + "\n";
    if (background) {
        out += "Selection=none\nExtensions=any;\n";
    } else {
        out += "Selection=" + nemoSelection(item.counts) + "\n";
        if (item.fileTypes && !item.fileTypes->empty()) {
            // Nemo shows an action when each file has one of the types: coarser than Orvane,
            // where each file must have all of them. orvane-menu checks again.
            out += "Mimetypes=";
            for (const auto& type : *item.fileTypes)
                out += keyFileValue(replaceAll(menuSafeTitle(type), ";", "\\;")) + ";";
            out += "\n";
        } else {
            out += "Extensions=any;\n";
        }
    }
    return out;
}

enum ThunarClass : unsigned {
    Directories = 1,
    AudioFiles = 2,
    ImageFiles = 4,
    OtherFiles = 8,
    TextFiles = 16,
    VideoFiles = 32,
    AllClasses = 63,
};

// Thunar filters by file class only; a type maps to the classes its files can fall in.
unsigned thunarClasses(const std::optional<OVStringList>& fileTypes)
{
    if (!fileTypes || fileTypes->empty())
        return AllClasses;
    unsigned classes = 0;
    for (const auto& type : *fileTypes) {
        if (type == kUTTypeFolder)
            classes |= Directories;
        else if (type.starts_with("image/"))
            classes |= ImageFiles;
        else if (type.starts_with("audio/"))
            classes |= AudioFiles;
        else if (type.starts_with("video/"))
            classes |= VideoFiles;
        else if (type.starts_with("text/"))
            classes |= TextFiles | OtherFiles; // scripts and sources are text/plain too
        else if (type.starts_with("application/") && type != "application/octet-stream")
            classes |= OtherFiles;
        else
            return AllClasses;
    }
    return classes;
}

// A submenu path component: "/" would start another level.
std::string thunarSubmenuComponent(const std::string& title) { return replaceAll(title, "/", "\u2215"); }

// Dolphin reads "&" in a submenu's title as the mark of a keyboard accelerator. Action names it
// escapes itself: doubled there, they would show "&&".
std::string dolphinLabel(const std::string& title) { return keyFileValue(replaceAll(title, "&", "&&")); }

std::string dolphinMimeTypes(const std::optional<OVStringList>& fileTypes)
{
    // Every file is an application/octet-stream; folders are not.
    if (!fileTypes || fileTypes->empty())
        return "application/octet-stream;inode/directory;";
    std::string out;
    for (const auto& type : *fileTypes)
        out += keyFileValue(replaceAll(menuSafeTitle(type), ";", "\\;")) + ";";
    return out;
}

} // namespace

const char* fileManagerName(OVFileManager fileManager)
{
    switch (fileManager) {
    case OVFileManager::Nemo: return "nemo";
    case OVFileManager::Thunar: return "thunar";
    case OVFileManager::Dolphin: return "dolphin";
    }
    return "";
}

std::optional<OVFileManager> fileManagerNamed(const std::string& name)
{
    for (auto fileManager : allFileManagers()) {
        if (name == fileManagerName(fileManager))
            return fileManager;
    }
    return std::nullopt;
}

const std::vector<OVFileManager>& allFileManagers()
{
    static const std::vector<OVFileManager> all = {OVFileManager::Nemo, OVFileManager::Thunar, OVFileManager::Dolphin};
    return all;
}

bool isExportableUID(const std::string& uid)
{
    return !uid.empty() && uid.size() <= 64 && std::all_of(uid.begin(), uid.end(), [](char c) {
        return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
    });
}

std::string menuSafeTitle(const std::string& text)
{
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const auto c = ovutf8::decode(text, i);
        if (!c) {
            out += "\uFFFD";
            ++i;
            continue;
        }
        if (c->value < 0x20 || c->value == 0x7f)
            out += ' ';
        else
            out.append(text, i, c->length);
        i += c->length;
    }
    return out;
}

OVExportMenu exportMenu(const OVActionList& actions, bool useSubmenu, std::string command)
{
    OVExportMenu menu;
    menu.useSubmenu = useSubmenu;
    menu.command = std::move(command);
    for (const auto& action : actions) {
        if (!action || !action->enabled() || action->isUnknown() || !isExportableUID(action->uid()))
            continue;
        if (!action->isGroup()) {
            menu.items.push_back(exportItem(*action, *action));
            continue;
        }
        auto* group = dynamic_cast<const OVActionGroup*>(action.get());
        if (!group)
            continue;
        OVExportItem item = exportItem(*action, *action);
        item.isGroup = true;
        for (const auto& child : group->actions()) {
            // Children follow the group's file types and counts, as in the menu.
            if (child && child->enabled() && !child->isUnknown() && isExportableUID(child->uid()))
                item.children.push_back(exportItem(*child, *action));
        }
        if (!item.children.empty())
            menu.items.push_back(std::move(item));
    }
    return menu;
}

std::vector<OVExportFile> nemoActionFiles(const OVExportMenu& menu)
{
    std::vector<OVExportFile> files;
    const std::string command = withoutFieldCodes(shellQuoted(menu.command));
    std::size_t position = 0;
    for (const auto& entry : flatEntries(menu)) {
        std::string name = menu.useSubmenu ? std::string(kRootTitle) + ": " : std::string();
        if (entry.group)
            name += entry.group->title + ": ";
        name += entry.item->title;
        const std::string run = command + runArguments(entry.item->uid);
        files.push_back({orderedName(position, entry.item->uid, ".nemo_action"),
                         nemoActionFile(name, *entry.item, run + " %F", false)});
        // The background stands for one item, the folder.
        if (fitsFolder(entry.item->fileTypes) && entry.item->counts.allows(1)) {
            files.push_back({orderedName(position, entry.item->uid, "-background.nemo_action"),
                             nemoActionFile(name, *entry.item, run + " %P", true)});
        }
        ++position;
    }
    return files;
}

std::vector<OVExportFile> dolphinServiceMenus(const OVExportMenu& menu)
{
    std::vector<OVExportFile> files;
    const std::string command = keyFileValue(withoutFieldCodes(desktopExecArgument(menu.command)));
    // KIO sorts the actions of one submenu by their names, whatever file or line they come
    // from; names that start with the entry's place keep the menu in the user's order. One width
    // for all, so that "10" never sorts before "9".
    const std::size_t count = flatEntries(menu).size();
    int width = 4;
    for (std::size_t limit = 10000; limit <= count; limit *= 10)
        ++width;
    std::size_t entryPosition = 0;
    auto actionName = [&](const OVExportItem& entry) {
        char number[32];
        std::snprintf(number, sizeof number, "%0*zu", width, entryPosition++);
        return "orvane" + std::string(number) + entry.uid;
    };
    std::size_t position = 0;
    for (const auto& item : menu.items) {
        std::vector<const OVExportItem*> entries;
        std::string submenu;
        if (item.isGroup) {
            for (const auto& child : item.children)
                entries.push_back(&child);
            // Service menus nest one level: under the root a group's items carry its title.
            submenu = menu.useSubmenu ? kRootTitle : item.title;
        } else {
            entries.push_back(&item);
            submenu = menu.useSubmenu ? kRootTitle : "";
        }
        std::vector<std::string> names;
        for (const auto* entry : entries)
            names.push_back(actionName(*entry));
        std::string out = "[Desktop Entry]\nType=Service\n";
        out += "Name=" + dolphinLabel(item.title) + "\n";
        out += "MimeType=" + dolphinMimeTypes(item.fileTypes) + "\n";
        out += "X-KDE-ServiceTypes=KonqPopupMenu/Plugin\n";
        if (item.counts.minimum)
            out += "X-KDE-MinNumberOfUrls=" + std::to_string(*item.counts.minimum) + "\n";
        if (item.counts.maximum)
            out += "X-KDE-MaxNumberOfUrls=" + std::to_string(*item.counts.maximum) + "\n";
        out += "Actions=";
        for (const auto& name : names)
            out += name + ";";
        out += "\n";
        if (!submenu.empty())
            out += "X-KDE-Submenu=" + dolphinLabel(submenu) + "\n";
        for (std::size_t i = 0; i < entries.size(); ++i) {
            const auto* entry = entries[i];
            std::string label = item.isGroup && menu.useSubmenu ? item.title + ": " + entry->title : entry->title;
            out += "\n[Desktop Action " + names[i] + "]\n";
            out += "Name=" + keyFileValue(label) + "\n";
            if (!entry->iconName.empty())
                out += "Icon=" + entry->iconName + "\n";
            out += "Exec=" + command + runArguments(entry->uid) + " %F\n";
        }
        files.push_back({orderedName(position++, item.uid, ".desktop"), std::move(out), true});
    }
    return files;
}

std::string thunarActionElements(const OVExportMenu& menu)
{
    std::string out;
    const std::string command = withoutFieldCodes(shellQuoted(menu.command));
    for (const auto& entry : flatEntries(menu)) {
        std::string submenu = menu.useSubmenu ? kRootTitle : "";
        if (entry.group)
            submenu += (submenu.empty() ? "" : "/") + thunarSubmenuComponent(entry.group->title);
        const unsigned classes = thunarClasses(entry.item->fileTypes);
        out += "<action>\n";
        out += "\t<icon>" + xmlText(entry.item->iconName) + "</icon>\n";
        out += "\t<name>" + xmlText(entry.item->title) + "</name>\n";
        out += "\t<submenu>" + xmlText(submenu) + "</submenu>\n";
        out += "\t<unique-id>" + std::string(kThunarIdPrefix) + entry.item->uid + "</unique-id>\n";
        out += "\t<command>" + xmlText(command + runArguments(entry.item->uid) + " %F") + "</command>\n";
        out += "\t<description>" + xmlText(entry.item->title) + "</description>\n";
        // Thunar's range is "min-max"; an open end is written as the largest count an action takes.
        if (entry.item->counts.isLimited())
            out += "\t<range>" + std::to_string(entry.item->counts.minimum.value_or(1)) + "-" +
                   std::to_string(entry.item->counts.maximum.value_or(OVSelectionCounts::kMaxBound)) + "</range>\n";
        out += "\t<patterns>*</patterns>\n";
        static const std::pair<unsigned, const char*> kClassElements[] = {
            {Directories, "directories"}, {AudioFiles, "audio-files"}, {ImageFiles, "image-files"},
            {OtherFiles, "other-files"},  {TextFiles, "text-files"},   {VideoFiles, "video-files"},
        };
        for (const auto& [flag, element] : kClassElements) {
            if (classes & flag)
                out += std::string("\t<") + element + "/>\n";
        }
        out += "</action>\n";
    }
    return out;
}

namespace {

// The <action> elements of a uca.xml as byte ranges, comments and CDATA skipped, and where the
// root element closes.
struct ThunarLayout {
    struct Range {
        std::size_t begin, end;
    };
    std::vector<Range> actions;
    std::size_t rootEnd = std::string::npos;   // offset of "</actions>"
    std::size_t emptyRoot = std::string::npos; // offset of "<actions/>"
};

// Thunar writes its list plainly: an XML declaration first, no document type, no processing
// instructions, no attributes on the list or its actions, closing tags without spaces. Files
// outside that are refused rather than read by a scan that could see other elements than an XML
// reader does.
bool isPlainThunarText(const std::string& text)
{
    for (std::size_t at = text.find("<?"); at != std::string::npos; at = text.find("<?", at + 1))
        if (at != 0)
            return false;
    for (std::size_t at = text.find("<!"); at != std::string::npos; at = text.find("<!", at + 1))
        if (text.compare(at, 4, "<!--") != 0 && text.compare(at, 9, "<![CDATA[") != 0)
            return false;
    for (std::size_t at = text.find("<action"); at != std::string::npos; at = text.find("<action", at + 1)) {
        const std::size_t close = text.find('>', at);
        if (close == std::string::npos || text.find_first_of("\"'<", at + 1) < close)
            return false;
    }
    for (std::size_t at = text.find("</action"); at != std::string::npos; at = text.find("</action", at + 1))
        if (text.compare(at, 9, "</action>") != 0 && text.compare(at, 10, "</actions>") != 0)
            return false;
    return true;
}

std::optional<ThunarLayout> thunarLayout(const std::string& text)
{
    if (!isPlainThunarText(text))
        return std::nullopt;
    ThunarLayout layout;
    bool rootOpen = false;
    std::size_t pos = 0;
    while ((pos = text.find('<', pos)) != std::string::npos) {
        auto skipTo = [&](const char* end) {
            std::size_t found = text.find(end, pos);
            pos = found == std::string::npos ? std::string::npos : found + std::char_traits<char>::length(end);
        };
        auto tagIs = [&](const char* name) {
            const std::size_t length = std::char_traits<char>::length(name);
            if (text.compare(pos, length, name) != 0 || pos + length >= text.size())
                return false;
            const char next = text[pos + length];
            return next == '>' || next == '/' || next == ' ' || next == '\t' || next == '\n' || next == '\r';
        };
        if (text.compare(pos, 4, "<!--") == 0) {
            skipTo("-->");
        } else if (text.compare(pos, 9, "<![CDATA[") == 0) {
            skipTo("]]>");
        } else if (text.compare(pos, 2, "<?") == 0) {
            skipTo("?>"); // the XML declaration, the only instruction a plain list has
        } else if (tagIs("<actions")) {
            if (rootOpen) // a second root: not a file Thunar wrote
                return std::nullopt;
            std::size_t close = text.find('>', pos);
            if (close == std::string::npos)
                return std::nullopt;
            if (text[close - 1] == '/') {
                layout.emptyRoot = pos;
                break;
            }
            rootOpen = true;
            pos = close + 1;
        } else if (tagIs("</actions")) {
            // A close without its open would take our entries outside the list, where the next
            // read no longer finds them.
            if (!rootOpen)
                return std::nullopt;
            layout.rootEnd = pos;
            break;
        } else if (tagIs("<action") && rootOpen) {
            std::size_t close = text.find('>', pos);
            if (close == std::string::npos)
                return std::nullopt;
            if (text[close - 1] == '/') { // an empty action: never one of ours
                pos = close + 1;
                continue;
            }
            std::size_t end = text.find("</action>", pos);
            if (end == std::string::npos)
                return std::nullopt;
            // Thunar never nests actions nor comments them inside; either could end this one early.
            if (text.find("<action", close) < end || text.find("<!", close) < end)
                return std::nullopt;
            layout.actions.push_back({pos, end + 9});
            pos = end + 9;
        } else {
            ++pos;
        }
        if (pos == std::string::npos)
            return std::nullopt;
    }
    if (layout.rootEnd == std::string::npos && layout.emptyRoot == std::string::npos)
        return std::nullopt;
    return layout;
}

bool isOrvaneAction(const std::string& text, std::size_t begin, std::size_t end)
{
    const std::string open = "<unique-id>";
    std::size_t id = text.find(open, begin);
    if (id == std::string::npos || id >= end)
        return false;
    id += open.size();
    while (id < end && (text[id] == ' ' || text[id] == '\t' || text[id] == '\n'))
        ++id;
    return text.compare(id, std::char_traits<char>::length(kThunarIdPrefix), kThunarIdPrefix) == 0;
}

} // namespace

std::optional<std::string> mergeThunarActions(const std::optional<std::string>& existing, const std::string& elements,
                                              std::string* error)
{
    if (!existing || existing->find_first_not_of(" \t\r\n") == std::string::npos)
        return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<actions>\n" + elements + "</actions>\n";
    const std::string& text = *existing;
    // The scan below finds elements by their tags; only a well-formed file has them where they seem.
    std::string malformed;
    if (!ov::isWellFormedMarkup(text, &malformed)) {
        if (error)
            *error = ov::stringPrintf(_("it is not well-formed XML (%s)"), malformed.c_str());
        return std::nullopt;
    }
    auto layout = thunarLayout(text);
    if (!layout) {
        if (error)
            *error = _("it is not a list of Thunar custom actions");
        return std::nullopt;
    }
    std::string out;
    out.reserve(text.size() + elements.size());
    std::size_t copied = 0;
    for (const auto& range : layout->actions) {
        if (!isOrvaneAction(text, range.begin, range.end))
            continue;
        // Our elements end their line; the indent before one may belong to what follows.
        const std::size_t begin = range.begin;
        std::size_t end = range.end;
        if (end < text.size() && text[end] == '\n')
            ++end;
        out.append(text, copied, begin - copied);
        copied = end;
    }
    if (layout->rootEnd != std::string::npos) {
        out.append(text, copied, layout->rootEnd - copied);
        out += elements;
        out.append(text, layout->rootEnd, std::string::npos);
    } else {
        out.append(text, copied, layout->emptyRoot - copied);
        out += "<actions>\n" + elements + "</actions>";
        out.append(text, text.find('>', layout->emptyRoot) + 1, std::string::npos);
    }
    return out;
}
