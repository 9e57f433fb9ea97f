// SPDX-License-Identifier: GPL-3.0-or-later
// Handing a chosen action to the runner: a request file in the container and a run-request URL.
#include "menus/FinderSync.h"

#include "messaging/OVProtocol.h"
#include "platform/MainContext.h"
#include "platform/ProductPaths.h"
#include "platform/Workspace.h"

#include <nlohmann/json.hpp>

#include <cstdio>

bool FinderSync::resolveInstanceMethod(const std::string& selector)
{
    return selector.starts_with(kSelectorPrefix);
}

bool FinderSync::performSelector(const std::string& selector, DispatchCompletion done)
{
    if (!resolveInstanceMethod(selector))
        return false;
    resolveActionWithUID(selector.substr(std::char_traits<char>::length(kSelectorPrefix)), std::move(done));
    return true;
}

std::string FinderSync::runRequestURL(const std::string& uid, const std::string& fileName)
{
    return OVProtocol::runRequestURL(uid, fileName);
}

void FinderSync::resolveActionWithUID(const std::string& uid, DispatchCompletion done)
{
    nlohmann::json dictionary = OVProtocol::requestDictionary(selectedItems(), currentFolder());
    if (!requestQueue_)
        requestQueue_ = ov::SerialQueue::create(std::string(ov::kVendorPrefix) + ".requestqueue");

    auto finish = [uid, done = std::move(done)](std::optional<std::string> fileName) {
        if (!fileName) {
            if (done)
                done(false, "The run request could not be written.");
            return;
        }
        const std::string url = runRequestURL(uid, *fileName);
        const std::string requestPath = OVProtocol::requestFilePath(*fileName);
        ov::openURI(url, [requestPath, done](bool ok, const std::string& error) {
            // Nobody will ever read it: do not leave the selection's paths in the container.
            if (!ok)
                std::remove(requestPath.c_str());
            if (done)
                done(ok, error);
        });
    };
    requestQueue_->async([dictionary = std::move(dictionary), finish = std::move(finish)]() mutable {
        std::optional<std::string> fileName = saveDictionary(dictionary);
        ov::invokeOnMain([fileName = std::move(fileName), finish = std::move(finish)]() mutable {
            finish(std::move(fileName));
        });
    });
}

std::optional<std::string> FinderSync::saveDictionary(const nlohmann::json& dictionary)
{
    return OVProtocol::writeRequestFile(dictionary);
}
