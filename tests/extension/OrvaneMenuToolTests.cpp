// SPDX-License-Identifier: GPL-3.0-or-later
#include "extension/ExtensionTestSupport.h"

#include "menus/OVMenuExporter.h"
#include "messaging/OVProtocol.h"
#include "model/OVActionGroup.h"
#include "model/OVCompressPasswordAction.h"
#include "model/OVSendViaEmailAction.h"
#include "model/OVTypes.h"
#include "model/OVUserDefaults.h"
#include "platform/Files.h"
#include "platform/Process.h"
#include "platform/ProductPaths.h"
#include "support/TestSupport.h"
#include "support/UnknownActions.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstring>
#include <filesystem>

#include <glib.h>
#include <sys/stat.h>

using namespace ovtest;

namespace {

using Result = ToolResult;

Result orvaneMenu(std::vector<std::string> args, const std::string& cwd)
{
    args.insert(args.begin(), ORVANE_BINARY_DIR "/extension/orvane-menu");
    return runTool(args, std::nullopt, cwd);
}

class OrvaneMenuToolTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        docs = makeAction("Documents");
        auto folders = makeAction("Open folder", OVStringList{kUTTypeFolder});
        writeStore({makeGroup("Move to a folder", {docs, makeAction("Off", std::nullopt, false)}), folders,
                    makeAction("Off too", std::nullopt, false)});
        file = home.writeFile("work/report.txt", "r");
        work = home.path() + "/work";
    }

    // A stand-in runner: the default handler of "orvane" URLs, which notes each URL it gets.
    std::string installHandler()
    {
        const std::string log = home.path() + "/handled.txt";
        const std::string script = home.writeFile("handler.sh", "#!/bin/sh\nprintf '%s\\n' \"$1\" >> '" + log + "'\n");
        ::chmod(script.c_str(), 0755);
        home.writeFile("data/applications/orvane-test-runner.desktop",
                       "[Desktop Entry]\nType=Application\nName=Runner\nExec=" + script +
                           " %u\nMimeType=x-scheme-handler/orvane;\nNoDisplay=true\n");
        home.writeFile("config/mimeapps.list", "[Default Applications]\nx-scheme-handler/orvane=orvane-test-runner.desktop\n");
        return log;
    }

    TempHome home;
    OVActionPtr docs;
    std::string file, work;
};

TEST_F(OrvaneMenuToolTest, PrintsOutlineAndJSON)
{
    Result outline = orvaneMenu({"report.txt"}, work);
    EXPECT_EQ(outline.status, 0) << outline.err;
    EXPECT_EQ(outline.out, "Orvane\n  Move to a folder\n    Documents\n");

    // No path: the current folder is the clicked folder.
    Result toolbar = orvaneMenu({"--kind", "toolbar"}, work);
    EXPECT_EQ(toolbar.out, "Move to a folder\n  Documents\nOpen folder\n");

    Result json = orvaneMenu({"--json", "--kind", "container", work}, home.path());
    ASSERT_EQ(json.status, 0) << json.err;
    auto menu = nlohmann::json::parse(json.out);
    ASSERT_EQ(menu.size(), 1u);
    EXPECT_EQ(menu[0]["title"], "Orvane");
    EXPECT_EQ(menu[0]["identifier"], "");
    EXPECT_EQ(menu[0]["icon"], "icon-contextmenu");
    EXPECT_EQ(menu[0]["enabled"], true);
    const auto& items = menu[0]["submenu"];
    ASSERT_EQ(items.size(), 2u);
    EXPECT_EQ(items[0]["submenu"][0]["identifier"], "ov_" + docs->uid());
    EXPECT_TRUE(items[0]["submenu"][0]["submenu"].is_null());
    EXPECT_EQ(items[1]["title"], "Open folder");

    // An empty toolbar menu shows its disabled item; a context menu shows nothing at all.
    writeStore({});
    EXPECT_EQ(orvaneMenu({"--kind=toolbar", file}, work).out, "No Actions Enabled (disabled)\n");
    Result none = orvaneMenu({"--kind=container"}, work);
    EXPECT_EQ(none.status, 0);
    EXPECT_EQ(none.out, "");
    EXPECT_EQ(nlohmann::json::parse(orvaneMenu({"--json", file}, work).out), nlohmann::json::array());
}

// The command speaks the user's language: its help, its complaints and the menu of a store
// first written in German.
TEST_F(OrvaneMenuToolTest, SpeaksGermanUnderLanguageDe)
{
    GermanLanguage german;
    ASSERT_EQ(german.unavailable(), "");
    auto compress = OVAction::action<OVCompressPasswordAction>();
    auto off = OVAction::action<OVSendViaEmailAction>();
    off->setEnabled(false);
    writeStore({compress, off});
    std::vector<std::string> shown;
    // Each line as a person reads it: without the program's name and the outline's indent.
    auto lines = [&shown](const std::string& text) {
        for (std::string line : splitText(text)) {
            if (line.starts_with("orvane-menu: "))
                line.erase(0, std::strlen("orvane-menu: "));
            line.erase(0, std::min(line.size(), line.find_first_not_of(' ')));
            shown.push_back(line);
        }
    };

    Result outline = orvaneMenu({"report.txt"}, work);
    EXPECT_EQ(outline.status, 0) << outline.err;
    EXPECT_EQ(outline.out, "Orvane\n  Mit Passwort komprimieren\n");
    lines(outline.out);
    Result help = orvaneMenu({"--help"}, work);
    EXPECT_EQ(help.status, 0);
    EXPECT_TRUE(help.out.starts_with("Aufruf: orvane-menu")) << help.out;
    shown.push_back(help.out);
    Result bad = orvaneMenu({"--kind=dock", "report.txt"}, work);
    EXPECT_EQ(bad.status, 2);
    EXPECT_EQ(bad.err, "orvane-menu: unbekannte Menüart „dock“: verwenden Sie items, container, sidebar oder toolbar\n"
                       "„orvane-menu --help“ liefert weitere Informationen.\n");
    lines(bad.err);
    Result explained = orvaneMenu({"--explain", "report.txt"}, work);
    EXPECT_EQ(explained.status, 0) << explained.err;
    EXPECT_TRUE(explained.out.ends_with("\nAusgelassen:\n  '" + off->title().value_or("") + "': sie ist ausgeschaltet\n"))
        << explained.out;
    lines(explained.out);
    Result missing = orvaneMenu({"--run", "Nirgends", "gone.txt"}, work);
    EXPECT_EQ(missing.status, 1);
    lines(missing.err);
    EXPECT_EQ(englishLeft(shown), std::vector<std::string>{}) << outline.out << help.out << explained.out << bad.err << missing.err;
}

TEST_F(OrvaneMenuToolTest, ReportsBadInput)
{
    Result missing = orvaneMenu({"nothing-here.txt"}, work);
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.err.find("no such file or folder: " + work + "/nothing-here.txt"), std::string::npos);

    Result unknown = orvaneMenu({"--run", "Move to a folder/Pictures", file}, work);
    EXPECT_EQ(unknown.status, 1);
    EXPECT_NE(unknown.err.find("unknown action"), std::string::npos);

    Result hidden = orvaneMenu({"--run", "Open folder", file}, work);
    EXPECT_EQ(hidden.status, 1);
    EXPECT_NE(hidden.err.find("not offered"), std::string::npos);

    EXPECT_EQ(orvaneMenu({"--kind", "dock"}, work).status, 2);
    EXPECT_EQ(orvaneMenu({"--bogus"}, work).status, 2);
    Result help = orvaneMenu({"--help"}, work);
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("--run ACTION"), std::string::npos);

    home.writeFile("data/ORVANE.app.orvane.Orvane/Actions.plist", "garbage");
    Result corrupt = orvaneMenu({file}, work);
    EXPECT_EQ(corrupt.status, 1);
    EXPECT_NE(corrupt.err.find("cannot be read"), std::string::npos);
}

TEST_F(OrvaneMenuToolTest, AnActionOfAnUnknownKindIsListedByNoMenuAndRunsNever)
{
    const std::string handled = installHandler();
    auto future = unknownAction("Future");
    writeStore({future, makeAction("Documents")});
    Result menu = orvaneMenu({"report.txt"}, work);
    ASSERT_EQ(menu.status, 0) << menu.err;
    EXPECT_EQ(menu.out.find("Future"), std::string::npos) << menu.out;
    EXPECT_NE(menu.out.find("Documents"), std::string::npos) << menu.out;

    for (const std::string& name : {future->uid(), std::string("Future")}) {
        Result run = orvaneMenu({"--run", name, "report.txt"}, work);
        EXPECT_EQ(run.status, 1);
        EXPECT_NE(run.err.find("does not know"), std::string::npos) << run.err;
    }
    EXPECT_FALSE(ov::pathExists(handled));
}

TEST_F(OrvaneMenuToolTest, RunHandsTheRequestToTheRunnerBeforeExiting)
{
    const std::string handled = installHandler();
    Result run = orvaneMenu({"--run", "Move to a folder/Documents", "report.txt"}, work);
    ASSERT_EQ(run.status, 0) << run.err;
    // The handler runs on its own; the request was handed over before orvane-menu ended.
    ASSERT_TRUE(waitForContent(handled));
    const std::string url = readAll(handled);
    const std::string prefix = OVProtocol::runRequestURL(docs->uid(), "");
    ASSERT_EQ(url.rfind(prefix, 0), 0u) << url;
    const std::string name = url.substr(prefix.size(), 36);
    EXPECT_EQ(nlohmann::json::parse(readAll(ov::containerPath() + "/" + name)),
              nlohmann::json({{"paths", {file}}}));

    // By uid too.
    EXPECT_EQ(orvaneMenu({"--run", docs->uid(), file}, work).status, 0);
}

TEST_F(OrvaneMenuToolTest, FailedLaunchLeavesNoRequestBehind)
{
    // No handler for "orvane" URLs at all. GVfs (installed with Nemo and Thunar) answers any
    // scheme under a display, so the local file system alone is asked.
    ScopedEnv localVfs("GIO_USE_VFS", std::string("local"));
    // No handler for "orvane" URLs at all, not even an installed Orvane's.
    const std::string empty = home.path() + "/no-system-folders";
    ::mkdir(empty.c_str(), 0700);
    ovtest::ScopedEnv dataDirs("XDG_DATA_DIRS", empty);
    ovtest::ScopedEnv configDirs("XDG_CONFIG_DIRS", empty);
    Result run = orvaneMenu({"--run", docs->uid(), file}, work);
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("could not hand the request"), std::string::npos);
    for (const auto& entry : std::filesystem::directory_iterator(ov::containerPath()))
        EXPECT_FALSE(ov::isCanonicalUUIDString(entry.path().filename().string())) << entry.path();
}

// The uids of a JSON menu, in order, submenus included.
void collectIdentifiers(const nlohmann::json& menu, std::vector<std::string>& out)
{
    for (const auto& item : menu) {
        if (!item["identifier"].get<std::string>().empty())
            out.push_back(item["identifier"]);
        if (item["submenu"].is_array())
            collectIdentifiers(item["submenu"], out);
    }
}

// The first menus on a fresh home, asked for at once: the built-in actions, the same ones for every
// program and the ones stored (the model's tests race the writers behind a gate).
TEST(OrvaneMenuFirstRun, ProgramsStartingTogetherOnAFreshHomeShareOneCatalogue)
{
    TempHome home;
    const std::string work = home.makeFolder("work");
    constexpr int kRounds = 2;
    constexpr int kPrograms = 4;
    for (int round = 0; round < kRounds; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        ::unlink(OVActionsManager::saveURL().c_str());
        auto defaults = OVUserDefaults::create();
        defaults->setDidCreateDefaultActions(false);
        defaults->setDidCreateDefaultActions2(false);
        struct Run {
            std::unique_ptr<ov::ChildProcess> process;
            std::string out;
            int status = -1;
            bool ended = false;
        };
        std::vector<Run> runs(kPrograms);
        for (auto& run : runs) {
            ov::ChildProcess::Handlers handlers;
            handlers.output = [&run](const std::string& chunk) { run.out += chunk; };
            handlers.exit = [&run](int reason, int status) {
                run.ended = true;
                run.status = reason == ov::ChildProcess::kReasonExit ? status : -1;
            };
            run.process = ov::ChildProcess::start({ORVANE_BINARY_DIR "/extension/orvane-menu", "--json", "--kind",
                                                   "container", work},
                                                  std::nullopt, std::move(handlers));
            ASSERT_TRUE(run.process);
        }
        ASSERT_TRUE(pumpUntil([&] { return std::all_of(runs.begin(), runs.end(), [](const Run& r) { return r.ended; }); },
                              30000));

        // Every program showed the catalogue that is stored, not one of its own.
        auto store = OVActionsManager::create();
        ASSERT_TRUE(store);
        ASSERT_EQ(store->actions().size(), 19u);
        std::vector<std::string> storedIds;
        for (const auto& run : runs) {
            ASSERT_EQ(run.status, 0);
            const auto menu = nlohmann::json::parse(run.out);
            ASSERT_EQ(menu.size(), 1u);
            EXPECT_EQ(menu[0]["title"], "Orvane");
            std::vector<std::string> ids;
            collectIdentifiers(menu, ids);
            EXPECT_GT(ids.size(), 5u);
            if (storedIds.empty())
                storedIds = ids;
            EXPECT_EQ(ids, storedIds);
        }
        std::vector<std::string> uids;
        for (const auto& action : store->actions()) {
            uids.push_back(action->uid());
            if (auto* group = dynamic_cast<const OVActionGroup*>(action.get())) {
                for (const auto& child : group->actions())
                    uids.push_back(child->uid());
            }
        }
        for (const auto& id : storedIds)
            EXPECT_NE(std::find(uids.begin(), uids.end(), id.substr(3)), uids.end()) << id << " is not in the store";
    }
}

} // namespace

namespace {

// orvane-menu --watch as the session's autostart runs it, seen from outside.
class SessionWatcher {
public:
    SessionWatcher()
    {
        ov::ChildProcess::Handlers handlers;
        handlers.exit = [this](int reason, int status) {
            ended = true;
            exitedWith = reason == ov::ChildProcess::kReasonExit ? status : -1;
        };
        std::string error;
        process_ = ov::ChildProcess::start({ORVANE_BINARY_DIR "/extension/orvane-menu", "--watch"}, std::nullopt,
                                           std::move(handlers), &error);
        EXPECT_TRUE(process_) << error;
        ended = !process_;
    }
    ~SessionWatcher()
    {
        if (process_ && !ended)
            process_->cancel();
    }
    bool waitForEnd(unsigned ms = 10000) { return ovtest::pumpUntil([this] { return ended; }, ms); }

    bool ended = false;
    int exitedWith = -2;

private:
    std::unique_ptr<ov::ChildProcess> process_;
};

std::vector<std::string> treeOf(const std::string& root)
{
    std::vector<std::string> paths;
    std::error_code ec;
    for (std::filesystem::recursive_directory_iterator it(root, ec), end; !ec && it != end; it.increment(ec))
        paths.push_back(it->path().string());
    std::sort(paths.begin(), paths.end());
    return paths;
}

TEST(OrvaneMenuWatch, ForAUserWithoutExportsCreatesNothingAndLeavesAtOnce)
{
    TempHome home;
    // Every folder the program could fall back to lies in the private home.
    ScopedEnv homeVar("HOME", home.makeFolder("home"));
    ScopedEnv cache("XDG_CACHE_HOME", home.path() + "/cache");
    ScopedEnv state("XDG_STATE_HOME", home.path() + "/state");
    ScopedEnv runtime("XDG_RUNTIME_DIR", home.makeFolder("runtime"));
    const auto before = treeOf(home.path());

    SessionWatcher watcher;
    ASSERT_TRUE(watcher.waitForEnd(5000)) << "orvane-menu --watch stayed without an export turned on";
    EXPECT_EQ(watcher.exitedWith, 0);
    EXPECT_EQ(treeOf(home.path()), before);
}

TEST(OrvaneMenuWatch, StaysWhileAnExportIsOnOnlyOnceAndLeavesWhenTheLastIsOff)
{
    TempHome home;
    writeStore({makeAction("Documents")});
    OVUserDefaults::create()->setExportsMenuTo("nemo", true);
    const std::string actions = OVMenuExporter::exportPath(OVFileManager::Nemo);
    auto exported = [&] { return !treeOf(actions).empty(); };

    SessionWatcher first;
    ASSERT_TRUE(ovtest::pumpUntil([&] { return exported() || first.ended; }, 10000));
    EXPECT_FALSE(first.ended);
    EXPECT_TRUE(exported());

    // A second copy (a second login, a switch turned on again) leaves the first one to it.
    SessionWatcher second;
    ASSERT_TRUE(second.waitForEnd());
    EXPECT_EQ(second.exitedWith, 0);
    EXPECT_FALSE(first.ended);

    // Another export on and off keeps it; the last one off ends it, its files removed.
    OVUserDefaults::create()->setExportsMenuTo("dolphin", true);
    OVUserDefaults::create()->setExportsMenuTo("dolphin", false);
    OVUserDefaults::create()->setExportsMenuTo("nemo", false);
    ASSERT_TRUE(first.waitForEnd()) << "the watcher stayed with every export off";
    EXPECT_EQ(first.exitedWith, 0);
    EXPECT_FALSE(exported());
}

} // namespace
