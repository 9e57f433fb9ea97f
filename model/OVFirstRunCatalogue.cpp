// SPDX-License-Identifier: GPL-3.0-or-later
#include "model/OVFirstRunCatalogue.h"

#include "model/OVChangeSender.h"
#include "model/OVDefaultCatalogue.h"
#include "model/OVUserDefaults.h"
#include "platform/FileLock.h"
#include "platform/Files.h"
#include "platform/Log.h"
#include "platform/ProductPaths.h"

#include <chrono>
#include <memory>
#include <thread>

namespace {

// Writing the catalogue takes milliseconds; a file manager waits no longer than this for another
// program that writes it, and shows what is there.
constexpr auto kLockPatience = std::chrono::seconds(2);
constexpr auto kLockRetry = std::chrono::milliseconds(5);

std::unique_ptr<ov::FileLock> lockCatalogue()
{
    const auto giveUp = std::chrono::steady_clock::now() + kLockPatience;
    for (;;) {
        auto lock = std::make_unique<ov::FileLock>(OVFirstRunCatalogue::lockPath(), ov::FileLock::Mode::Exclusive,
                                                   /*wait=*/false);
        if (lock->locked())
            return lock;
        if (std::chrono::steady_clock::now() >= giveUp)
            return nullptr;
        std::this_thread::sleep_for(kLockRetry);
    }
}

} // namespace

std::string OVFirstRunCatalogue::lockPath() { return OVActionsManager::saveURL() + ".lock"; }

OVFirstRunCatalogue::Outcome OVFirstRunCatalogue::writeIfNoStore()
{
    try {
        const std::string path = OVActionsManager::saveURL();
        // The usual case costs one stat.
        if (ov::pathExists(path))
            return Outcome::Found;
        auto lock = lockCatalogue();
        if (!lock) {
            ov::ovLog("Could not write the built-in actions: %s stays locked", lockPath().c_str());
            return Outcome::Failed;
        }
        // Another program may have written it while this one waited.
        if (ov::pathExists(path))
            return Outcome::Found;
        auto store = OVActionsManager::create();
        if (!store)
            return Outcome::Failed;
        auto defaults = OVUserDefaults::create();
        const bool firstBatch = defaults->didCreateDefaultActions();
        const bool secondBatch = defaults->didCreateDefaultActions2();
        OVDefaultCatalogue(store, defaults).addMissingDefaults();
        for (const auto& action : store->actions())
            action->setIsNew(false);
        if (!store->saveToFile()) {
            // The built-in scripts are written once per flag: a catalogue that never reached the
            // disk must not count as written.
            if (!firstBatch)
                defaults->setDidCreateDefaultActions(false);
            if (!secondBatch)
                defaults->setDidCreateDefaultActions2(false);
            return Outcome::Failed;
        }
        OVChangeSender::send(OVChange::Actions);
        return Outcome::Written;
    } catch (const std::exception& e) {
        ov::ovLog("Could not write the built-in actions: %s", e.what());
    } catch (...) {
        ov::ovLog("Could not write the built-in actions");
    }
    return Outcome::Failed;
}

std::shared_ptr<OVActionsManager> OVFirstRunCatalogue::loadStore()
{
    writeIfNoStore();
    return OVActionsManager::create();
}
