// SPDX-License-Identifier: GPL-3.0-or-later
#include "model/OVActionsManager.h"
#include "model/OVFirstRunCatalogue.h"
#include "model/OVMoveToAction.h"
#include "model/OVNewFileActionGroup.h"
#include "model/OVUserDefaults.h"
#include "platform/FileLock.h"
#include "platform/Files.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <gio/gio.h>

#include <csignal>
#include <fstream>
#include <sys/resource.h>

namespace {

constexpr const char* kRacerVariable = "ORVANE_TEST_FIRST_RUN_RACER";

std::vector<std::string> uidsOf(const OVActionList& actions)
{
    std::vector<std::string> uids;
    for (const auto& action : actions)
        uids.push_back(action->uid());
    return uids;
}

class FirstRunCatalogueTest : public ::testing::Test {
protected:
    static std::string store() { return OVActionsManager::saveURL(); }
    static std::string stored() { return ovtest::readAll(store()); }

    static void writeStore(const OVActionList& actions)
    {
        auto manager = OVActionsManager::create();
        ASSERT_TRUE(manager);
        manager->updateActions(actions);
        ASSERT_TRUE(manager->saveToFile());
    }

    ovtest::TempHome home;
};

TEST_F(FirstRunCatalogueTest, NoStoreGetsTheCatalogueOnce)
{
    ASSERT_FALSE(ov::pathExists(store()));
    auto loaded = OVFirstRunCatalogue::loadStore();
    ASSERT_TRUE(loaded);
    const OVActionList actions = loaded->actions();
    ASSERT_EQ(actions.size(), 19u);
    EXPECT_TRUE(std::dynamic_pointer_cast<OVNewFileActionGroup>(actions.front()));
    auto defaults = OVUserDefaults::create();
    EXPECT_TRUE(defaults->didCreateDefaultActions());
    EXPECT_TRUE(defaults->didCreateDefaultActions2());

    // Later readers find it and write nothing.
    const std::string first = stored();
    EXPECT_EQ(OVFirstRunCatalogue::writeIfNoStore(), OVFirstRunCatalogue::Outcome::Found);
    EXPECT_EQ(OVFirstRunCatalogue::loadStore()->actions().size(), 19u);
    EXPECT_EQ(stored(), first);
}

TEST_F(FirstRunCatalogueTest, AnExistingStoreIsTheUsers)
{
    // A list the user emptied, an empty file, a list of their own and one that cannot be read:
    // none of them gets the catalogue, not a byte changes.
    writeStore({});
    const std::string emptied = stored();
    EXPECT_EQ(OVFirstRunCatalogue::writeIfNoStore(), OVFirstRunCatalogue::Outcome::Found);
    EXPECT_TRUE(OVFirstRunCatalogue::loadStore()->actions().empty());
    EXPECT_EQ(stored(), emptied);

    home.writeFile("data/ORVANE.app.orvane.Orvane/Actions.plist", "");
    EXPECT_TRUE(OVFirstRunCatalogue::loadStore()->actions().empty());
    EXPECT_EQ(stored(), "");

    auto own = OVAction::action<OVMoveToAction>();
    own->setTitle(std::string("Mine"));
    writeStore({own});
    const std::string mine = stored();
    auto loaded = OVFirstRunCatalogue::loadStore();
    ASSERT_EQ(loaded->actions().size(), 1u);
    EXPECT_EQ(loaded->actions()[0]->uid(), own->uid());
    EXPECT_EQ(stored(), mine);

    ovtest::LogCapture log;
    home.writeFile("data/ORVANE.app.orvane.Orvane/Actions.plist", "not an archive");
    EXPECT_FALSE(OVFirstRunCatalogue::loadStore());
    EXPECT_EQ(stored(), "not an archive");
    EXPECT_FALSE(OVUserDefaults::create()->didCreateDefaultActions());
}

TEST_F(FirstRunCatalogueTest, ACatalogueThatWasNotWrittenIsWrittenWholeNextTime)
{
    // Files larger than the limit cannot be written, not even by root: the preferences fit, the
    // catalogue does not.
    struct rlimit old {};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
    auto oldSignal = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = old;
    small.rlim_cur = 4096;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    OVFirstRunCatalogue::Outcome outcome;
    {
        ovtest::LogCapture log;
        outcome = OVFirstRunCatalogue::writeIfNoStore();
    }
    ::setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldSignal);
    EXPECT_EQ(outcome, OVFirstRunCatalogue::Outcome::Failed);
    EXPECT_FALSE(ov::pathExists(store()));

    // The built-in scripts come once per flag: a failed write must not have spent them.
    EXPECT_EQ(OVFirstRunCatalogue::writeIfNoStore(), OVFirstRunCatalogue::Outcome::Written);
    EXPECT_EQ(OVFirstRunCatalogue::loadStore()->actions().size(), 19u);
}

TEST_F(FirstRunCatalogueTest, ProgramsStartingTogetherWriteOneCatalogue)
{
    // The racers wait behind a gate (an exclusive lock held here) and all find no store at the
    // same moment: exactly one writes, and every one reads what it wrote.
    constexpr int kRacers = 4;
    const std::string gate = home.path() + "/gate";
    std::vector<GSubprocess*> children;
    std::vector<std::optional<bool>> succeeded(kRacers);
    {
        ov::FileLock closed(gate, ov::FileLock::Mode::Exclusive);
        ASSERT_TRUE(closed.locked());
        for (int i = 0; i < kRacers; ++i) {
            const std::string report = home.path() + "/racer-" + std::to_string(i);
            GSubprocess* child = ovtest::spawnSelfAsChild("FirstRunRacer.DISABLED_Run", kRacerVariable,
                                                          gate + "\n" + report, &succeeded[i]);
            ASSERT_TRUE(child);
            children.push_back(child);
        }
        // Each racer notes its start just before it waits at the gate.
        ASSERT_TRUE(ovtest::pumpUntil([&] {
            for (int i = 0; i < kRacers; ++i) {
                if (!ov::pathExists(home.path() + "/racer-" + std::to_string(i) + ".waiting"))
                    return false;
            }
            return true;
        }, 30000));
    }
    EXPECT_TRUE(ovtest::pumpUntil([&] {
        return std::all_of(succeeded.begin(), succeeded.end(), [](const auto& s) { return s.has_value(); });
    }, 60000));
    for (GSubprocess* child : children)
        g_object_unref(child);

    auto store = OVActionsManager::create();
    ASSERT_TRUE(store);
    ASSERT_EQ(store->actions().size(), 19u);
    int writers = 0;
    for (int i = 0; i < kRacers; ++i) {
        SCOPED_TRACE("racer " + std::to_string(i));
        EXPECT_TRUE(succeeded[i].value_or(false));
        std::ifstream in(home.path() + "/racer-" + std::to_string(i));
        std::string outcome;
        std::getline(in, outcome);
        writers += outcome == "wrote";
        std::vector<std::string> uids;
        for (std::string line; std::getline(in, line);)
            uids.push_back(line);
        EXPECT_EQ(uids, uidsOf(store->actions()));
    }
    EXPECT_EQ(writers, 1);
}

} // namespace

// One racing program: waits at the gate, reads the store as a menu does, and reports whether it
// wrote the catalogue and which actions it got.
TEST(FirstRunRacer, DISABLED_Run)
{
    const char* mode = g_getenv(kRacerVariable);
    ASSERT_TRUE(mode);
    const std::string value = mode;
    const std::string gate = value.substr(0, value.find('\n'));
    const std::string report = value.substr(value.find('\n') + 1);
    std::ofstream(report + ".waiting").close();
    {
        ov::FileLock open(gate, ov::FileLock::Mode::Shared);
        ASSERT_TRUE(open.locked());
    }
    const auto outcome = OVFirstRunCatalogue::writeIfNoStore();
    auto store = OVActionsManager::create();
    ASSERT_TRUE(store);
    std::ofstream out(report);
    out << (outcome == OVFirstRunCatalogue::Outcome::Written ? "wrote" : "found") << "\n";
    for (const auto& uid : uidsOf(store->actions()))
        out << uid << "\n";
}
