// SPDX-License-Identifier: GPL-3.0-or-later
#include "model/OVActionsManager.h"

#include "model/HLTimer.h"
#include "model/OVActionArchive.h"
#include "model/OVChangeSender.h"
#include "platform/Files.h"
#include "platform/Log.h"
#include "platform/ProductPaths.h"

#include <mutex>

namespace {
constexpr std::size_t kMaxStoreBytes = 64u << 20;
}

std::shared_ptr<OVActionsManager> OVActionsManager::sharedInstance()
{
    static std::once_flag once;
    static std::shared_ptr<OVActionsManager> shared;
    std::call_once(once, [] { shared = create(); });
    return shared;
}

std::shared_ptr<OVActionsManager> OVActionsManager::create()
{
    std::shared_ptr<OVActionsManager> manager(new OVActionsManager());
    if (!manager->configure())
        return nullptr;
    return manager;
}

OVActionsManager::~OVActionsManager()
{
    if (saveDelayTimer_)
        saveDelayTimer_->invalidate();
}

bool OVActionsManager::configure()
{
    try {
        const std::string path = saveURL();
        std::optional<std::string> data;
        if (ov::pathExists(path)) {
            data = ov::readFile(path, kMaxStoreBytes);
            if (!data) {
                // A file that exists but cannot be read must not pass for an empty list: the
                // settings application would write its catalogue over the user's actions.
                ov::ovLog("Could not load actions because of error: %s", ("cannot read " + path).c_str());
                return false;
            }
        }
        OVActionList root;
        if (data && !data->empty()) {
            std::string error;
            auto list = OVActionArchive::unarchiveActions(*data, &error);
            if (!list) {
                ov::ovLog("Could not load actions because of error: %s", error.c_str());
                return false;
            }
            root = std::move(*list);
        }
        workingActionsArray_ = std::move(root);
        return true;
    } catch (const std::exception& e) {
        ov::ovLog("Could not load actions because of error: %s", e.what());
        return false;
    } catch (...) {
        return false;
    }
}

void OVActionsManager::addAction(const OVActionPtr& action)
{
    if (action)
        workingActionsArray_.push_back(action);
}

void OVActionsManager::removeAction(const OVActionPtr& action)
{
    if (action)
        std::erase(workingActionsArray_, action);
}

void OVActionsManager::save()
{
    if (saveDelayTimer_)
        saveDelayTimer_->invalidate();
    std::weak_ptr<OVActionsManager> weak = weak_from_this();
    saveDelayTimer_ = HLTimer::timerWithInterval(double(0.1f), false, [weak](HLTimer&) {
        if (auto self = weak.lock())
            self->actuallySave();
    });
}

void OVActionsManager::actuallySave()
{
    for (const auto& action : workingActionsArray_)
        action->setIsNew(false);
    saveToFile();
    OVChangeSender::send(OVChange::Actions);
}

bool OVActionsManager::saveToFile()
{
    const std::string path = saveURL();
    std::string error;
    const std::string data = OVActionArchive::archivedDataWithRootActions(actions());
    if (!ov::writeFileAtomically(path, data, 0600, &error)) {
        ov::ovLog("Could not save actions to %s because of error: %s", path.c_str(), error.c_str());
        if (saveFailed_)
            saveFailed_(error);
        return false;
    }
    return true;
}

std::string OVActionsManager::saveURL() { return ov::pathByAppending(ov::containerPath(), "Actions.plist"); }
