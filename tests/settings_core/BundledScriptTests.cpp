// SPDX-License-Identifier: GPL-3.0-or-later
// The built-in scripts run against stand-ins for the terminals, editors, clipboard tools and
// settings tools: a PATH that holds nothing else, so what is installed here does not matter.
#include "platform/GRef.h"
#include "platform/ProductPaths.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <gio/gio.h>
#include <sys/stat.h>

namespace {

struct ScriptCase {
    const char* name;
    const char* script;
    std::vector<std::string> stand_ins;     // programs on the PATH
    std::vector<std::string> env;           // extra environment
    std::vector<std::string> items;         // relative to the work folder
    std::vector<std::string> expectedLines; // recorded "program arguments" ($W: the work folder)
    const char* expectedError = nullptr;    // the script fails with this on standard error
};

void PrintTo(const ScriptCase& c, std::ostream* os) { *os << c.name; }

class BundledScriptTest : public ::testing::TestWithParam<ScriptCase> {
protected:
    // A stand-in notes its name and arguments, and what it read (lines joined by "|") when it
    // reads input; the terminal that takes no folder argument notes the folder it started in.
    void installStandIn(const std::string& name)
    {
        std::string body = "#!/bin/bash\n"
                           "line=${0##*/}\nfor a in \"$@\"; do line+=\" $a\"; done\n";
        if (name == "x-terminal-emulator")
            body += "line+=\" in $PWD\"\n";
        if (name == "wl-copy" || name == "xclip" || name == "xsel")
            body += "IFS= read -r -d '' input\ninput=${input//$'\\n'/|}\nline+=\" <<$input>>\"\n";
        if (name == "gsettings") // only the GTK 4 file chooser settings are installed; asking is not noted
            body += "if [ \"$1\" = writable ]; then\n"
                    "  [ \"$2\" = org.gtk.gtk4.Settings.FileChooser ] && { echo true; exit 0; }\n"
                    "  echo 'No such schema' >&2; exit 1\nfi\n";
        if (name == "kitty") // remote control is off, as it is by default
            body += "[ \"$1\" = @ ] && { printf '%s\\n' \"$line\" >> \"$ORVANE_TEST_RECORD\"; exit 1; }\n";
        body += "printf '%s\\n' \"$line\" >> \"$ORVANE_TEST_RECORD\"\n";
        const std::string path = home.writeFile("bin/" + name, body);
        ::chmod(path.c_str(), 0755);
    }

    // Programs that outlive their script (windows) record a moment after it has ended: the
    // record's monitor wakes the loop for each of their writes.
    std::vector<std::string> recordedLines(std::size_t atLeast)
    {
        ov::GRef<GFile> file(g_file_new_for_path(record().c_str()));
        ov::GRef<GFileMonitor> monitor(g_file_monitor_file(file.get(), G_FILE_MONITOR_NONE, nullptr, nullptr));
        std::vector<std::string> lines;
        ovtest::pumpUntil([&] {
            lines.clear();
            const std::string text = ovtest::readAll(record());
            for (std::size_t start = 0; start < text.size();) {
                auto end = text.find('\n', start);
                lines.push_back(text.substr(start, end - start));
                start = end == std::string::npos ? text.size() : end + 1;
            }
            return lines.size() >= atLeast;
        });
        return lines;
    }

    std::string record() const { return home.path() + "/record"; }
    std::string work() const { return home.path() + "/work"; }

    ovtest::TempHome home;
};

TEST_P(BundledScriptTest, DoesItsJobOrSaysWhatIsMissing)
{
    const ScriptCase& c = GetParam();
    home.makeFolder("bin");
    home.makeFolder("work/Project");
    home.writeFile("work/Project/notes.txt", "n");
    home.writeFile("work/a b.txt", "x");
    for (const auto& tool : c.stand_ins)
        installStandIn(tool);

    std::vector<std::string> args = {"/bin/bash", ov::resourcesPath() + "/Default Scripts/" + c.script + ".sh"};
    for (const auto& item : c.items)
        args.push_back(work() + "/" + item);
    std::vector<std::string> env = {"PATH=" + home.path() + "/bin", "HOME=" + home.path(),
                                    "XDG_DATA_HOME=" + home.dataHome(), "ORVANE_TEST_RECORD=" + record()};
    env.insert(env.end(), c.env.begin(), c.env.end());
    auto result = ovtest::runTool(args, env);

    if (c.expectedError) {
        EXPECT_EQ(result.status, 1);
        EXPECT_NE(result.err.find(std::string(c.script) + ": " + c.expectedError), std::string::npos) << result.err;
        return;
    }
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.err, "");
    std::vector<std::string> expected;
    for (std::string line : c.expectedLines) {
        for (auto at = line.find("$W"); at != std::string::npos; at = line.find("$W"))
            line.replace(at, 2, work());
        for (auto at = line.find("$D"); at != std::string::npos; at = line.find("$D"))
            line.replace(at, 2, home.dataHome());
        expected.push_back(line);
    }
    auto lines = recordedLines(expected.size());
    // Detached programs may record in any order.
    std::sort(lines.begin(), lines.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(lines, expected);
}

INSTANTIATE_TEST_SUITE_P(
    Scripts, BundledScriptTest,
    ::testing::Values(
        ScriptCase{"ClipboardOnWayland", "Copy paths to clipboard", {"wl-copy", "xclip"}, {"WAYLAND_DISPLAY=wayland-0"},
                   {"a b.txt", "Project"}, {"wl-copy <<$W/a b.txt|$W/Project>>"}},
        ScriptCase{"ClipboardOnX11", "Copy paths to clipboard", {"xclip"}, {"DISPLAY=:0"}, {"a b.txt"},
                   {"xclip -selection clipboard -in <<$W/a b.txt>>"}},
        ScriptCase{"NoClipboard", "Copy paths to clipboard", {}, {}, {"a b.txt"}, {}, "no clipboard tool found"},
        ScriptCase{"GnomeTerminalTabs", "New Terminal Tab Here", {"gnome-terminal", "konsole"}, {},
                   {"Project", "a b.txt"},
                   {"gnome-terminal --tab --working-directory=$W/Project",
                    "gnome-terminal --tab --working-directory=$W"}},
        ScriptCase{"ConsoleTab", "New Terminal Tab Here", {"kgx"}, {}, {"Project/notes.txt"},
                   {"kgx --tab --working-directory=$W/Project"}},
        ScriptCase{"KonsoleWindowOnKDE", "New Terminal Window Here", {"gnome-terminal", "konsole"},
                   {"XDG_CURRENT_DESKTOP=KDE"}, {"Project"}, {"konsole --workdir $W/Project"}},
        ScriptCase{"XfceWindow", "New Terminal Window Here", {"xfce4-terminal"}, {}, {"Project"},
                   {"xfce4-terminal --window --working-directory=$W/Project"}},
        ScriptCase{"DebianTerminalWindow", "New Terminal Window Here", {"x-terminal-emulator"}, {}, {"Project"},
                   {"x-terminal-emulator in $W/Project"}},
        ScriptCase{"NoTerminal", "New Terminal Window Here", {"vim"}, {}, {"Project"}, {}, "no terminal found"},
        ScriptCase{"VimInGnomeTerminal", "Edit with Vim", {"gnome-terminal", "vim"}, {}, {"a b.txt"},
                   {"gnome-terminal -- vim -- $W/a b.txt"}},
        ScriptCase{"VimInXfceTerminal", "Edit with Vim", {"gnome-terminal", "xfce4-terminal", "vim"},
                   {"XDG_CURRENT_DESKTOP=XFCE"}, {"a b.txt"}, {"xfce4-terminal -x vim -- $W/a b.txt"}},
        ScriptCase{"NoVim", "Edit with Vim", {"gnome-terminal"}, {}, {"a b.txt"}, {}, "Vim is not installed"},
        ScriptCase{"ShowHiddenInGnomeFiles", "Show hidden files", {"gsettings"}, {}, {"Project"},
                   {"gsettings set org.gtk.gtk4.Settings.FileChooser show-hidden true"}},
        ScriptCase{"HideHiddenInDolphin", "Hide hidden files", {"kwriteconfig5", "dolphin"}, {}, {"Project"},
                   {"kwriteconfig5 --file $D/dolphin/view_properties/global/.directory --group Settings --key "
                    "HiddenFilesShown false",
                    "kwriteconfig5 --file kdeglobals --group KFileDialog Settings --key Show hidden files false"}},
        ScriptCase{"NoFileManagerSetting", "Show hidden files", {}, {}, {"Project"}, {},
                   "no file manager setting found"},
        ScriptCase{"EmacsThroughItsServer", "Edit with Emacs", {"emacs", "emacsclient"}, {}, {"a b.txt"},
                   {"emacsclient --create-frame --no-wait --alternate-editor=emacs $W/a b.txt"}},
        ScriptCase{"EmacsAlone", "Edit with Emacs", {"emacs"}, {}, {"a b.txt"}, {"emacs $W/a b.txt"}},
        ScriptCase{"NoEmacs", "Edit with Emacs", {"vim"}, {}, {"a b.txt"}, {}, "Emacs is not installed"},
        ScriptCase{"TilixSession", "New Tab Here in Another Terminal", {"tilix", "terminator"}, {}, {"Project"},
                   {"tilix --action=app-new-session --working-directory=$W/Project"}},
        ScriptCase{"KittyTabFallsBackToAWindow", "New Tab Here in Another Terminal", {"kitty"}, {}, {"Project"},
                   {"kitty @ launch --type=tab --cwd=$W/Project", "kitty --single-instance --directory $W/Project"}},
        ScriptCase{"TerminatorWindow", "New Window Here in Another Terminal", {"terminator"}, {}, {"Project"},
                   {"terminator --working-directory=$W/Project"}},
        ScriptCase{"NoOtherTerminal", "New Window Here in Another Terminal", {"gnome-terminal"}, {}, {"Project"}, {},
                   "no other terminal found"}),
    [](const ::testing::TestParamInfo<ScriptCase>& info) { return std::string(info.param.name); });

} // namespace
