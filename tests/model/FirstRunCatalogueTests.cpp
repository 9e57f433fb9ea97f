// SPDX-License-Identifier: GPL-3.0-or-later
#include "model/OVActionsManager.h"
#include "model/OVFirstRunCatalogue.h"
#include "model/OVMoveToAction.h"
#include "model/OVNewFileActionGroup.h"
#include "model/OVUserDefaults.h"
#include "platform/Files.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <csignal>
#include <sys/resource.h>

namespace {

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
    EXPECT_TRUE(OVFirstRunCatalogue::writeIfNoStore());
    EXPECT_EQ(OVFirstRunCatalogue::loadStore()->actions().size(), 19u);
    EXPECT_EQ(stored(), first);
}

TEST_F(FirstRunCatalogueTest, AnExistingStoreIsTheUsers)
{
    // A list the user emptied, an empty file, a list of their own and one that cannot be read:
    // none of them gets the catalogue, not a byte changes.
    writeStore({});
    const std::string emptied = stored();
    EXPECT_TRUE(OVFirstRunCatalogue::writeIfNoStore());
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
    bool wrote;
    {
        ovtest::LogCapture log;
        wrote = OVFirstRunCatalogue::writeIfNoStore();
    }
    ::setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldSignal);
    EXPECT_FALSE(wrote);
    EXPECT_FALSE(ov::pathExists(store()));

    // The built-in scripts come once per flag: a failed write must not have spent them.
    EXPECT_TRUE(OVFirstRunCatalogue::writeIfNoStore());
    EXPECT_EQ(OVFirstRunCatalogue::loadStore()->actions().size(), 19u);
}

} // namespace
