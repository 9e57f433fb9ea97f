// SPDX-License-Identifier: GPL-3.0-or-later
#include "runner/OVRunningWork.h"

#include "platform/CopyStop.h"

#include <map>
#include <vector>

namespace {

struct Registry {
    std::map<OVRunningWork::Token, std::function<void()>> cancels;
    OVRunningWork::Token next = 1;
    bool stopping = false;
};

Registry& registry()
{
    static Registry r;
    return r;
}

} // namespace

OVRunningWork::Token OVRunningWork::add(std::function<void()> cancel)
{
    Token token = registry().next++;
    registry().cancels.emplace(token, std::move(cancel));
    return token;
}

void OVRunningWork::remove(Token token) { registry().cancels.erase(token); }

std::size_t OVRunningWork::count() { return registry().cancels.size(); }

void OVRunningWork::cancelAll()
{
    registry().stopping = true;
    ov::stopEveryCopy(true);
    // A cancel may finish its work at once and remove other entries: call from a snapshot.
    std::vector<Token> tokens;
    for (const auto& [token, cancel] : registry().cancels)
        tokens.push_back(token);
    for (Token token : tokens) {
        auto it = registry().cancels.find(token);
        if (it == registry().cancels.end())
            continue;
        auto cancel = it->second;
        if (cancel)
            cancel();
    }
}

bool OVRunningWork::isStopping() { return registry().stopping; }

void OVRunningWork::resume()
{
    registry().stopping = false;
    ov::stopEveryCopy(false);
}
