// SPDX-License-Identifier: GPL-3.0-or-later
#include "extension/ExtensionTestSupport.h"
#include "menus/OVMenuExporter.h"

#include "messaging/OVProtocol.h"
#include "model/OVActionArchive.h"
#include "model/OVActionGroup.h"
#include "model/OVTypes.h"
#include "model/OVUserDefaults.h"
#include "platform/PluginRegistry.h"
#include "platform/ProductPaths.h"
#include "platform/RunningApplications.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <glib.h>
#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <set>

using namespace ovtest;

namespace {

// What a file manager would show and run, read back from the files with the parsers they use.
struct Entry {
    std::string name;                 // the label, format escapes undone
    std::vector<std::string> argv;    // the command for a selection of `probe`
    std::string submenu;
    bool operator==(const Entry&) const = default;
};

void PrintTo(const Entry& entry, std::ostream* os)
{
    *os << "{\"" << entry.name << "\" in \"" << entry.submenu << "\"}";
}

const std::string kProbe = "/tmp/a 'b' \"c\" $d %F -rf\n.txt";

std::string replaced(std::string text, const std::string& from, const std::string& to)
{
    for (auto pos = text.find(from); pos != std::string::npos; pos = text.find(from, pos + to.size()))
        text.replace(pos, from.size(), to);
    return text;
}

// Expands the selection the way the three file managers do (a shell-quoted path for %F, %% for
// a percent sign) and splits the line like a shell.
std::vector<std::string> commandFor(const std::string& line)
{
    std::string expanded;
    for (std::size_t i = 0; i < line.size(); ++i) {
        if (line[i] == '%' && i + 1 < line.size()) {
            const char code = line[++i];
            if (code == '%') {
                expanded += '%';
            } else if (code == 'F' || code == 'P') {
                gchar* quoted = g_shell_quote(kProbe.c_str());
                expanded += quoted;
                g_free(quoted);
            } else {
                ADD_FAILURE() << "unexpected field code %" << code << " in " << line;
            }
        } else {
            expanded += line[i];
        }
    }
    gchar** argv = nullptr;
    GError* error = nullptr;
    std::vector<std::string> out;
    if (!g_shell_parse_argv(expanded.c_str(), nullptr, &argv, &error)) {
        ADD_FAILURE() << "cannot split " << expanded << ": " << error->message;
        g_error_free(error);
        return out;
    }
    for (gchar** a = argv; *a; ++a)
        out.emplace_back(*a);
    g_strfreev(argv);
    return out;
}

std::string keyFileString(GKeyFile* file, const char* group, const char* key)
{
    gchar* value = g_key_file_get_string(file, group, key, nullptr);
    std::string out = value ? value : "";
    g_free(value);
    return out;
}

GKeyFile* loadKeyFile(const std::string& path)
{
    GKeyFile* file = g_key_file_new();
    GError* error = nullptr;
    if (!g_key_file_load_from_file(file, path.c_str(), G_KEY_FILE_NONE, &error)) {
        ADD_FAILURE() << path << ": " << error->message;
        g_error_free(error);
    }
    return file;
}

std::vector<std::string> exportedFiles(const std::string& folder, const std::string& suffix)
{
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(folder, ec)) {
        const std::string name = entry.path().filename().string();
        if (name.starts_with(kExportFilePrefix) && name.ends_with(suffix))
            names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<Entry> nemoEntries(bool background = false)
{
    const std::string folder = OVMenuExporter::exportPath(OVFileManager::Nemo);
    std::vector<Entry> entries;
    for (const auto& name : exportedFiles(folder, ".nemo_action")) {
        if (name.ends_with("-background.nemo_action") != background)
            continue;
        GKeyFile* file = loadKeyFile(folder + "/" + name);
        entries.push_back({replaced(keyFileString(file, "Nemo Action", "Name"), "%%", "%"),
                           commandFor(keyFileString(file, "Nemo Action", "Exec")), ""});
        g_key_file_free(file);
    }
    return entries;
}

std::vector<std::string> splitLines(const std::string& text)
{
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
        lines.push_back(text.substr(start, end - start));
    lines.push_back(text.substr(start));
    return lines;
}

std::string validator()
{
    gchar* found = g_find_program_in_path("desktop-file-validate");
    std::string path = found ? found : "desktop-file-validate (not installed; scripts/setup installs it)";
    g_free(found);
    return path;
}

// The entries in the order Dolphin shows them: KIO gathers the actions of all service menus by
// submenu, puts the submenus (in the order of their titles) before the loose actions, and sorts
// each list by the actions' names, not by file or line.
std::vector<Entry> dolphinEntries()
{
    const std::string folder = OVMenuExporter::exportPath(OVFileManager::Dolphin);
    std::map<std::string, std::map<std::string, Entry>> submenus;
    std::map<std::string, Entry> loose;
    for (const auto& name : exportedFiles(folder, ".desktop")) {
        const std::string path = folder + "/" + name;
        struct stat st {};
        EXPECT_EQ(::stat(path.c_str(), &st), 0);
        EXPECT_TRUE(st.st_mode & S_IXUSR) << name << " must be executable for Dolphin";
        // The validator knows desktop entries of GNOME's kinds only: a KDE service menu's
        // MimeType and Actions are its one complaint.
        ToolResult valid = runTool({validator(), path});
        std::string complaints;
        for (const auto& line : splitLines(valid.out + valid.err)) {
            if (!line.empty() && line.find("but the type is \"Service\"") == std::string::npos)
                complaints += line + "\n";
        }
        EXPECT_GE(valid.status, 0) << name;
        EXPECT_EQ(complaints, "") << name << ":\n" << readAll(path);
        GKeyFile* file = loadKeyFile(path);
        const std::string submenu = replaced(keyFileString(file, "Desktop Entry", "X-KDE-Submenu"), "&&", "&");
        gsize count = 0;
        gchar** actions = g_key_file_get_string_list(file, "Desktop Entry", "Actions", &count, nullptr);
        for (gsize i = 0; i < count; ++i) {
            const std::string group = std::string("Desktop Action ") + actions[i];
            // KIO escapes "&" in an action's name itself, but not in a submenu's title.
            Entry entry{keyFileString(file, group.c_str(), "Name"),
                        commandFor(keyFileString(file, group.c_str(), "Exec")), submenu};
            auto& list = submenu.empty() ? loose : submenus[submenu];
            EXPECT_TRUE(list.emplace(actions[i], std::move(entry)).second) << "two actions named " << actions[i];
        }
        g_strfreev(actions);
        g_key_file_free(file);
    }
    std::vector<Entry> entries;
    for (const auto& [title, list] : submenus) {
        for (const auto& [name, entry] : list)
            entries.push_back(entry);
    }
    for (const auto& [name, entry] : loose)
        entries.push_back(entry);
    return entries;
}

// uca.xml through GLib's markup parser: each <action>'s children by element name.
std::vector<std::map<std::string, std::string>> thunarActions(const std::string& text)
{
    struct State {
        std::vector<std::map<std::string, std::string>> actions;
        std::string element;
    } state;
    GMarkupParser parser{};
    parser.start_element = [](GMarkupParseContext*, const gchar* name, const gchar**, const gchar**, gpointer data,
                              GError**) {
        auto* s = static_cast<State*>(data);
        s->element = name;
        if (s->element == "action")
            s->actions.emplace_back();
        else if (!s->actions.empty())
            s->actions.back()[s->element];
    };
    parser.text = [](GMarkupParseContext*, const gchar* text, gsize length, gpointer data, GError**) {
        auto* s = static_cast<State*>(data);
        if (!s->actions.empty() && s->element != "action")
            s->actions.back()[s->element].append(text, length);
    };
    parser.end_element = [](GMarkupParseContext*, const gchar*, gpointer data, GError**) {
        static_cast<State*>(data)->element.clear();
    };
    GMarkupParseContext* context = g_markup_parse_context_new(&parser, G_MARKUP_DEFAULT_FLAGS, &state, nullptr);
    GError* error = nullptr;
    if (!g_markup_parse_context_parse(context, text.data(), gssize(text.size()), &error) ||
        !g_markup_parse_context_end_parse(context, &error)) {
        ADD_FAILURE() << "uca.xml does not parse: " << error->message << "\n" << text;
        g_error_free(error);
    }
    g_markup_parse_context_free(context);
    return state.actions;
}

std::vector<Entry> thunarEntries(bool ownOnly = true)
{
    std::vector<Entry> entries;
    for (auto& action : thunarActions(readAll(OVMenuExporter::exportPath(OVFileManager::Thunar)))) {
        const bool own = action["unique-id"].starts_with(kThunarIdPrefix);
        if (ownOnly && !own)
            continue;
        entries.push_back({action["name"], own ? commandFor(action["command"]) : std::vector<std::string>{}, action["submenu"]});
    }
    return entries;
}

std::vector<std::string> runArgv(const std::string& command, const OVActionPtr& action)
{
    return {command, "--run", action->uid(), "--", kProbe};
}

class MenuExportTest : public ::testing::Test {
protected:
    OVExportMenu exportOf(const OVActionList& actions, bool useSubmenu = true)
    {
        return exportMenu(actions, useSubmenu, command);
    }
    void writeAll(const OVExportMenu& menu)
    {
        for (auto fileManager : allFileManagers()) {
            std::string error;
            EXPECT_TRUE(OVMenuExporter::writeExport(fileManager, menu, &error)) << error;
        }
    }

    TempHome home;
    std::string command = "/opt/Orvane 'beta' $HOME %x\\/orvane-menu";
};

// Every kind of the catalogue, plain and inside a group, comes back out of all three formats with
// its title, its place and a command that names it.
TEST_F(MenuExportTest, EveryKindAndGroupRoundTripsThroughAllThreeFormats)
{
    OVActionList plain, children;
    for (const auto& className : OVAction::knownClassNames()) {
        auto action = OVAction::emptyInstanceOfClass(className);
        ASSERT_TRUE(action) << className;
        if (action->isGroup())
            continue;
        action->generateUID();
        action->setEnabled(true);
        action->setTitle(className);
        (plain.size() <= children.size() ? plain : children).push_back(action);
    }
    ASSERT_GE(plain.size() + children.size(), 10u);
    auto hiddenChild = makeAction("Hidden child", std::nullopt, false);
    children.push_back(hiddenChild);
    auto group = makeGroup("Move to a folder", children, OVStringList{"image/*"});
    OVActionList store = plain;
    store.insert(store.begin() + 2, group);
    store.push_back(makeAction("Turned off", std::nullopt, false));
    store.push_back(makeGroup("Off group", {makeAction("In an off group")}, std::nullopt, false));
    store.push_back(makeGroup("Empty group", {hiddenChild}));

    for (bool useSubmenu : {true, false}) {
        SCOPED_TRACE(useSubmenu ? "in the Orvane submenu" : "without it");
        writeAll(exportOf(store, useSubmenu));
        const std::string root = useSubmenu ? "Orvane" : "";
        std::vector<Entry> nemo, thunar, dolphin, dolphinSubmenus;
        for (const auto& action : store) {
            if (!action->enabled())
                continue;
            if (!action->isGroup()) {
                const std::string title = *action->title();
                nemo.push_back({(useSubmenu ? "Orvane: " : "") + title, runArgv(command, action), ""});
                thunar.push_back({title, runArgv(command, action), root});
                dolphin.push_back({title, runArgv(command, action), root});
                continue;
            }
            auto* g = dynamic_cast<OVActionGroup*>(action.get());
            for (const auto& child : g->actions()) {
                if (!child->enabled())
                    continue;
                const std::string title = *child->title();
                nemo.push_back({(useSubmenu ? "Orvane: " : "") + *g->title() + ": " + title, runArgv(command, child), ""});
                thunar.push_back({title, runArgv(command, child), (useSubmenu ? "Orvane/" : "") + *g->title()});
                // Without the Orvane submenu a group is a submenu of its own, and Dolphin puts
                // those before the loose actions.
                (useSubmenu ? dolphin : dolphinSubmenus)
                    .push_back({useSubmenu ? *g->title() + ": " + title : title, runArgv(command, child),
                                useSubmenu ? root : *g->title()});
            }
        }
        dolphin.insert(dolphin.begin(), dolphinSubmenus.begin(), dolphinSubmenus.end());
        EXPECT_EQ(nemoEntries(), nemo);
        EXPECT_EQ(thunarEntries(), thunar);
        EXPECT_EQ(dolphinEntries(), dolphin);
    }

    // A folder's background offers the actions without types, not the group for images; the
    // image group is shown by Nemo for images only.
    EXPECT_EQ(nemoEntries(true).size(), plain.size());
    const std::string nemoFolder = OVMenuExporter::exportPath(OVFileManager::Nemo);
    bool sawImageFilter = false;
    for (const auto& name : exportedFiles(nemoFolder, ".nemo_action"))
        sawImageFilter = sawImageFilter || readAll(nemoFolder + "/" + name).find("Mimetypes=image/*;") != std::string::npos;
    EXPECT_TRUE(sawImageFilter);

    // Removing the store's last action removes its files; nothing else in the folders is touched.
    const std::string userNemo = home.writeFile("data/nemo/actions/mine.nemo_action", "[Nemo Action]\nName=Mine\n");
    const std::string userDolphin = home.writeFile("data/kio/servicemenus/mine.desktop", "[Desktop Entry]\n");
    writeAll(exportOf({plain.front()}));
    EXPECT_EQ(nemoEntries().size(), 1u);
    EXPECT_EQ(dolphinEntries().size(), 1u);
    EXPECT_EQ(thunarEntries().size(), 1u);
    // Nothing enabled: no entry, so no "Orvane" submenu that opens onto nothing.
    writeAll(exportOf({makeAction("Off", std::nullopt, false)}));
    EXPECT_TRUE(nemoEntries().empty());
    EXPECT_TRUE(dolphinEntries().empty());
    EXPECT_TRUE(thunarEntries().empty());
    for (auto fileManager : allFileManagers())
        EXPECT_TRUE(OVMenuExporter::removeExport(fileManager));
    EXPECT_TRUE(nemoEntries().empty());
    EXPECT_TRUE(dolphinEntries().empty());
    EXPECT_TRUE(thunarEntries().empty());
    EXPECT_EQ(readAll(userNemo), "[Nemo Action]\nName=Mine\n");
    EXPECT_EQ(readAll(userDolphin), "[Desktop Entry]\n");
}

// Dolphin sorts by action name as text: with more entries than four digits count, "10000" must
// still come after "9999".
TEST(DolphinServiceMenus, ActionNamesSortInMenuOrderPastTenThousandEntries)
{
    OVExportMenu menu;
    menu.command = "/usr/bin/orvane-menu";
    OVExportItem group;
    group.uid = "G";
    group.title = "Group";
    group.isGroup = true;
    for (int i = 0; i < 10001; ++i) {
        OVExportItem item;
        item.uid = "U" + std::to_string(i);
        item.title = std::to_string(i);
        (i % 2 ? group.children : menu.items).push_back(item);
    }
    menu.items.insert(menu.items.begin() + 3, group);
    std::vector<std::string> names;
    for (const auto& file : dolphinServiceMenus(menu)) {
        for (const auto& line : splitLines(file.contents)) {
            if (line.starts_with("[Desktop Action "))
                names.push_back(line.substr(16, line.size() - 17));
        }
    }
    ASSERT_EQ(names.size(), 10001u);
    EXPECT_TRUE(std::is_sorted(names.begin(), names.end())) << names[9999] << " " << names[10000];
    EXPECT_EQ(std::set<std::string>(names.begin(), names.end()).size(), names.size());
}

TEST_F(MenuExportTest, ThunarMergeKeepsTheUsersOwnActionsByteForByte)
{
    const std::string head = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<!-- mine: <action> -->\r\n<actions>\r\n"
                               "<action>\n\t<icon>utilities-terminal</icon>\n\t<name>Open &amp; Terminal</name>\n"
                               "\t<unique-id>1671863021510925-2</unique-id>\n\t<command>xterm %f</command>\n"
                               "\t<patterns>*</patterns>\n\t<directories/>\n</action>";
    // A user's action whose id merely contains Orvane's prefix.
    const std::string userTail = "  <action><name>Second</name><unique-id>2-app.orvane.Orvane-x</unique-id>"
                                 "<command>echo %F</command></action>\r\n";
    const std::string before = head + userTail;
    const std::string after = "</actions>\r\n";
    const std::string original = before + after;
    const std::string path = home.writeFile("config/Thunar/uca.xml", original);
    ::chmod(path.c_str(), 0600);

    auto first = makeAction("First");
    writeAll(exportOf({first, makeAction("Second one")}));
    std::string merged = readAll(path);
    EXPECT_TRUE(merged.starts_with(before)) << merged;
    EXPECT_TRUE(merged.ends_with(after)) << merged;
    EXPECT_EQ(thunarEntries().size(), 2u);
    EXPECT_EQ(thunarEntries(false).size(), 4u);

    // Orvane's entries are replaced, not added again; the file keeps its mode.
    writeAll(exportOf({makeAction("Only")}));
    merged = readAll(path);
    EXPECT_TRUE(merged.starts_with(before));
    EXPECT_TRUE(merged.ends_with(after));
    ASSERT_EQ(thunarEntries().size(), 1u);
    EXPECT_EQ(thunarEntries()[0].name, "Only");
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);

    EXPECT_TRUE(OVMenuExporter::removeExport(OVFileManager::Thunar));
    EXPECT_EQ(readAll(path), original);

    // However a file is laid out, writing the same entries again changes nothing and removing
    // them gives the file back.
    const std::string ours = thunarActionElements(exportOf({first}));
    for (const std::string layout : {"<actions/>", "<actions>\n  </actions>", "<actions></actions>\n",
                                     "<actions><!-- </actions> --><action></action></actions>",
                                     "<?xml version=\"1.0\"?>\n<actions>\n\t<action>\n\t</action></actions>"}) {
        SCOPED_TRACE(layout);
        auto merged = mergeThunarActions(layout, ours);
        ASSERT_TRUE(merged);
        EXPECT_EQ(mergeThunarActions(*merged, ours), merged);
        EXPECT_EQ(thunarActions(*merged).size(), thunarActions(layout.find("<actions/>") == 0 ? "<actions></actions>" : layout).size() + 1);
        if (layout != "<actions/>") {
            EXPECT_EQ(mergeThunarActions(*merged, ""), layout);
        }
    }

    // Files that only look like an action list to a scan of their tags are refused: entries put
    // there would be lost to the next read, or take the user's lines with them.
    for (const std::string& odd : {std::string("<x/>\n</actions>"), std::string("<actions>\0</actions>", 20),
                                  std::string("<actions><action><action><unique-id>app.orvane.Orvane-1</unique-id>"
                                              "</action></action></actions>"),
                                  std::string("<actions><action><![CDATA[</action><action><unique-id>app.orvane.Orvane-1"
                                              "</unique-id></action>]]></action></actions>")}) {
        SCOPED_TRACE(odd);
        EXPECT_FALSE(mergeThunarActions(odd, ours));
    }

    // A file that is not an action list is not Orvane's to rewrite.
    const std::string broken = "<actions>\n<action><name>cut off";
    home.writeFile("config/Thunar/uca.xml", broken);
    std::string error;
    EXPECT_FALSE(OVMenuExporter::writeExport(OVFileManager::Thunar, exportOf({first}), &error));
    EXPECT_NE(error.find("left as it is"), std::string::npos) << error;
    EXPECT_EQ(readAll(path), broken);
    // With the export off such a file is not Orvane's concern at all.
    EXPECT_TRUE(OVMenuExporter::removeExport(OVFileManager::Thunar));
}

// Names that carry quotes, line breaks, field codes, markup, accelerators, broken UTF-8 and
// options reach every format whole, and the command stays the one command.
TEST_F(MenuExportTest, HostileNamesAreEscapedNeverDroppedAndCannotInjectCommands)
{
    const std::vector<std::string> titles = {
        "It's \"quoted\" `x` $(rm -rf ~)",
        "two\nlines\r\n[Desktop Entry]\nExec=evil",
        "100% %F %U %% done",
        "Save & <b>bold</b> &amp; ]]> <!--",
        std::string("bad \xff\xfe utf8 \xc3\x28 end"),
        "--run ABC -- /etc/passwd",
        " leading space and trailing \\",
        "a/b/c",
        "",
    };
    OVActionList actions;
    for (const auto& title : titles)
        actions.push_back(makeAction(title));
    auto group = makeGroup("G & \"q\" / %F\n<x>", {makeAction("-child & 'x'")});
    actions.push_back(group);
    writeAll(exportOf(actions));

    std::vector<std::string> expected;
    for (const auto& title : titles)
        expected.push_back(title.empty() ? "Untitled" : menuSafeTitle(title));
    for (const auto& name : expected) {
        EXPECT_TRUE(g_utf8_validate(name.data(), gssize(name.size()), nullptr));
        EXPECT_EQ(name.find('\n'), std::string::npos);
    }
    const std::string groupTitle = menuSafeTitle(*group->title());
    const std::string child = "-child & 'x'";

    auto nemo = nemoEntries();
    auto thunar = thunarEntries();
    auto dolphin = dolphinEntries();
    ASSERT_EQ(nemo.size(), titles.size() + 1);
    ASSERT_EQ(thunar.size(), titles.size() + 1);
    ASSERT_EQ(dolphin.size(), titles.size() + 1);
    for (std::size_t i = 0; i < titles.size(); ++i) {
        SCOPED_TRACE(expected[i]);
        EXPECT_EQ(nemo[i].name, "Orvane: " + expected[i]);
        EXPECT_EQ(thunar[i].name, expected[i]);
        EXPECT_EQ(dolphin[i].name, expected[i]);
        for (const auto* entry : {&nemo[i], &thunar[i], &dolphin[i]})
            EXPECT_EQ(entry->argv, runArgv(command, actions[i]));
    }
    EXPECT_EQ(nemo.back().name, "Orvane: " + groupTitle + ": " + child);
    EXPECT_EQ(thunar.back().name, child);
    EXPECT_EQ(thunar.back().submenu, "Orvane/" + replaced(groupTitle, "/", "\u2215"));
    EXPECT_EQ(dolphin.back().name, groupTitle + ": " + child);
    EXPECT_EQ(dolphin.back().argv, runArgv(command, group->actions()[0]));

    // A store edited by hand may hold any uid: such an action cannot be named safely in a command
    // line or a file name, so it is left out.
    auto odd = OVAction::emptyInstanceOfClass("OVMoveToAction");
    odd->setEnabled(true);
    odd->setTitle("Odd uid");
    EXPECT_TRUE(exportOf({odd}).items.empty());
    EXPECT_FALSE(isExportableUID("'; rm -rf ~ #"));
    EXPECT_FALSE(isExportableUID("../../x"));
    EXPECT_TRUE(isExportableUID(actions[0]->uid()));
}

// A hand-edited store can give a group's child any uid: it reaches no command line and no file
// name of any format, while its well-named sibling is exported as usual.
TEST_F(MenuExportTest, AChildWithAHostileUidInsideAGroupIsLeftOut)
{
    auto sibling = makeAction("Sibling");
    auto hostile = makeAction("Hostile child");
    auto group = makeGroup("Group", {sibling, hostile});
    // The uid as a store read from disk gives it: the archive's bytes edited in place.
    std::string uid = "../x; rm -rf ~ #";
    uid += std::string(hostile->uid().size() - uid.size(), 'z');
    std::string archive = OVActionArchive::archivedDataWithRootActions({group});
    const std::size_t at = archive.find(hostile->uid());
    ASSERT_NE(at, std::string::npos);
    archive.replace(at, uid.size(), uid);
    auto read = OVActionArchive::unarchiveActions(archive);
    ASSERT_TRUE(read && read->size() == 1u);
    auto readGroup = std::dynamic_pointer_cast<OVActionGroup>(read->front());
    ASSERT_TRUE(readGroup);
    ASSERT_EQ(readGroup->actions().size(), 2u);
    ASSERT_EQ(readGroup->actions()[1]->uid(), uid);

    for (bool useSubmenu : {true, false}) {
        SCOPED_TRACE(useSubmenu);
        writeAll(exportOf(*read, useSubmenu));
        for (const auto& entries : {nemoEntries(), thunarEntries(), dolphinEntries()}) {
            ASSERT_EQ(entries.size(), 1u);
            EXPECT_EQ(entries[0].argv, runArgv(command, sibling));
        }
        // Nothing of it in any file or file name that was written.
        std::vector<std::string> written;
        std::error_code ec;
        for (std::filesystem::recursive_directory_iterator it(home.path(), ec), end; !ec && it != end; it.increment(ec)) {
            EXPECT_EQ(it->path().string().find("rm -rf"), std::string::npos) << it->path();
            if (it->is_regular_file())
                written.push_back(it->path().string());
        }
        ASSERT_GE(written.size(), 3u);
        for (const auto& path : written) {
            const std::string text = readAll(path);
            EXPECT_EQ(text.find("rm -rf"), std::string::npos) << path;
            EXPECT_EQ(text.find("../x"), std::string::npos) << path;
            EXPECT_EQ(text.find("Hostile child"), std::string::npos) << path;
        }
    }
}

// Stores keep the bundled image names their actions were written with, also names of built-in
// scripts that were renamed since; every file manager and orvane-menu --json get the icon theme's
// name for them, and any other themed name as it is.
TEST_F(MenuExportTest, StoredBundledIconNamesGoOutAsTheIconThemesNames)
{
    struct Case {
        const char* stored;
        const char* exported;
    };
    const Case cases[] = {{"icon-move", "folder-symbolic"},
                          {"icon-compress", "package-x-generic-symbolic"},
                          {"New iTerm Tab Here", "tab-new-symbolic"},
                          {"Show hidden files in Finder", "view-reveal-symbolic"},
                          {"Show hidden files", "view-reveal-symbolic"},
                          {"folder-music", "folder-music"}};
    OVActionList actions;
    std::map<std::string, std::string> expected; // by title
    for (const auto& c : cases) {
        auto action = makeAction(std::string("Stored ") + c.stored);
        action->setIcon(OVImage::named(c.stored));
        actions.push_back(action);
        expected[*action->title()] = c.exported;
    }
    writeAll(exportOf(actions, false));

    std::map<std::string, std::string> nemo, thunar, dolphin;
    const std::string nemoFolder = OVMenuExporter::exportPath(OVFileManager::Nemo);
    for (const auto& name : exportedFiles(nemoFolder, ".nemo_action")) {
        if (name.ends_with("-background.nemo_action"))
            continue;
        GKeyFile* file = loadKeyFile(nemoFolder + "/" + name);
        nemo[keyFileString(file, "Nemo Action", "Name")] = keyFileString(file, "Nemo Action", "Icon-Name");
        g_key_file_free(file);
    }
    for (auto& action : thunarActions(readAll(OVMenuExporter::exportPath(OVFileManager::Thunar))))
        thunar[action["name"]] = action["icon"];
    const std::string dolphinFolder = OVMenuExporter::exportPath(OVFileManager::Dolphin);
    for (const auto& name : exportedFiles(dolphinFolder, ".desktop")) {
        GKeyFile* file = loadKeyFile(dolphinFolder + "/" + name);
        gsize count = 0;
        gchar** entries = g_key_file_get_string_list(file, "Desktop Entry", "Actions", &count, nullptr);
        for (gsize i = 0; i < count; ++i) {
            const std::string group = std::string("Desktop Action ") + entries[i];
            dolphin[keyFileString(file, group.c_str(), "Name")] = keyFileString(file, group.c_str(), "Icon");
        }
        g_strfreev(entries);
        g_key_file_free(file);
    }
    EXPECT_EQ(nemo, expected);
    EXPECT_EQ(thunar, expected);
    EXPECT_EQ(dolphin, expected);

    writeStore(actions);
    const std::string file = home.writeFile("work/a.txt", "a");
    ToolResult json = runTool({ORVANE_BINARY_DIR "/extension/orvane-menu", "--json", file});
    ASSERT_EQ(json.status, 0) << json.err;
    const auto root = nlohmann::json::parse(json.out);
    ASSERT_EQ(root.size(), 1u) << json.out;
    EXPECT_EQ(root[0]["icon"], "icon-contextmenu") << "the root item stays the application's own";
    std::map<std::string, std::string> menu;
    for (const auto& item : root[0]["submenu"])
        menu[item["title"].get<std::string>()] = item["icon"].get<std::string>();
    EXPECT_EQ(menu, expected);
}

class MenuExportWatcherTest : public MenuExportTest {};

// With the export on, a save of the store reaches the exported files through the change message;
// switching the export off, or ignoring the extension, takes them away again.
TEST_F(MenuExportWatcherTest, StoreChangesAndElectionsReachTheExportedFiles)
{
    writeStore({makeAction("Before")});
    auto defaults = OVUserDefaults::create();
    defaults->setExportsMenuTo("nemo", true);
    defaults->setExportsMenuTo("thunar", true);
    auto watcher = OVMenuExporter::Watcher::create();
    ASSERT_EQ(nemoEntries().size(), 1u);
    EXPECT_EQ(nemoEntries()[0].name, "Orvane: Before");
    EXPECT_TRUE(dolphinEntries().empty());
    EXPECT_EQ(nemoEntries()[0].argv[0], OVMenuExporter::menuCommand());

    writeStore({makeAction("After"), makeAction("Second")});
    const auto posted = std::chrono::steady_clock::now();
    OVProtocol::postMessage(OVProtocol::kDidChangeNotification);
    ASSERT_TRUE(pumpUntil([] { return nemoEntries().size() == 2 && thunarEntries().size() == 2; }, 5000));
    EXPECT_LT(std::chrono::steady_clock::now() - posted, std::chrono::seconds(1));
    EXPECT_EQ(nemoEntries()[0].name, "Orvane: After");
    EXPECT_EQ(thunarEntries()[1].name, "Second");

    // The preference's own message: off removes Nemo's files, the submenu setting renames Thunar's.
    defaults->setExportsMenuTo("nemo", false);
    defaults->setUseSubmenu(false);
    ASSERT_TRUE(pumpUntil([] { return nemoEntries().empty() && thunarEntries()[0].submenu.empty(); }, 5000));

    // Turning the extension off is heard from the elections file alone; a restart request too.
    ASSERT_TRUE(ov::setPluginElection(ov::kExtensionId, ov::PluginElection::Ignore));
    ASSERT_TRUE(pumpUntil([] { return thunarEntries().empty(); }, 5000));
    ASSERT_TRUE(ov::setPluginElection(ov::kExtensionId, ov::PluginElection::Use));
    ASSERT_TRUE(pumpUntil([] { return thunarEntries().size() == 2; }, 5000));
    home.writeFile("config/Thunar/uca.xml", "<actions/>");
    ov::requestTermination(ov::kExtensionId);
    ASSERT_TRUE(pumpUntil([] { return thunarEntries().size() == 2; }, 5000));
}

// The command line side: --export stores the choice and writes the files, --run refuses what the
// menu would not offer and says which file does not fit.
TEST_F(MenuExportWatcherTest, CommandLineExportsAndExplainsARefusedRun)
{
    const std::string tool = ORVANE_BINARY_DIR "/extension/orvane-menu";
    auto images = makeGroup("Images", {makeAction("Shrink")}, OVStringList{"image/*"});
    auto off = makeAction("Switched off", std::nullopt, false);
    writeStore({images, off});

    ToolResult exported = runTool({tool, "--export", "all"});
    EXPECT_EQ(exported.status, 0) << exported.err;
    auto states = OVMenuExporter::fileManagerStates(false);
    ASSERT_EQ(states.size(), 3u);
    for (const auto& state : states)
        EXPECT_TRUE(state.exported) << state.name;
    ASSERT_EQ(thunarEntries().size(), 1u);
    EXPECT_EQ(thunarEntries()[0].argv[0], tool);
    EXPECT_EQ(runTool({tool, "--export", "konqueror"}).status, 2);

    const std::string text = home.writeFile("work/notes.txt", "n");
    const std::string picture = home.writeFile("work/photo.png", "p");
    ToolResult refused = runTool({tool, "--run", images->actions()[0]->uid(), "--", picture, text});
    EXPECT_EQ(refused.status, 1);
    EXPECT_NE(refused.err.find("'" + text + "' is of type text/plain"), std::string::npos) << refused.err;
    EXPECT_NE(refused.err.find("only for image/*"), std::string::npos) << refused.err;
    EXPECT_EQ(refused.err.find(picture), std::string::npos) << refused.err;
    ToolResult disabled = runTool({tool, "--run", off->uid(), "--", text});
    EXPECT_NE(disabled.err.find("it is turned off"), std::string::npos) << disabled.err;

    EXPECT_EQ(runTool({tool, "--unexport", "all"}).status, 0);
    EXPECT_TRUE(thunarEntries().empty());
    EXPECT_TRUE(nemoEntries().empty());
    EXPECT_FALSE(OVUserDefaults::create()->exportsMenuTo("dolphin"));
}

} // namespace
