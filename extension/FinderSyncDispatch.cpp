// Handing a chosen action to the runner: a request file in the container and a run-request URL.
#include "extension/FinderSync.h"

#include "platform/Files.h"
#include "platform/Log.h"
#include "platform/MainContext.h"
#include "platform/Uri.h"
#include "platform/Workspace.h"

#include <nlohmann/json.hpp>

#include <cstdio>
#include <exception>

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
    return ov::stringPrintf(kRunRequestURLFormat, ov::uri::escape(uid).c_str(), ov::uri::escape(fileName).c_str());
}

void FinderSync::resolveActionWithUID(const std::string& uid, DispatchCompletion done)
{
    nlohmann::json dictionary = nlohmann::json::object();
    dictionary["paths"] = selectedItems();
    if (!requestQueue_)
        requestQueue_ = ov::SerialQueue::create(std::string(ov::kVendorPrefix) + ".requestqueue");

    auto finish = [uid, done = std::move(done)](std::optional<std::string> fileName) {
        if (!fileName) {
            if (done)
                done(false, "The run request could not be written.");
            return;
        }
        const std::string url = runRequestURL(uid, *fileName);
        const std::string requestPath = ov::pathByAppending(ov::containerPath(), *fileName);
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
    std::string data;
    try {
        data = dictionary.dump(2);
    } catch (const std::exception& e) {
        // Paths that are not valid UTF-8 cannot be carried by JSON text.
        ov::ovLog("Could not convert to JSON: %s", e.what());
        return std::nullopt;
    }
    if (data.empty())
        return std::nullopt;

    const std::string container = ov::containerPath();
    std::string error;
    // A fresh random name practically never exists; a file that does is never written over.
    for (int attempt = 0; attempt < 3; ++attempt) {
        std::string name = ov::newUUIDString();
        const std::string path = ov::pathByAppending(container, name);
        if (ov::pathExists(path))
            continue;
        if (ov::createNewFile(path, data, 0600, &error))
            return name;
        break;
    }
    ov::ovLog("Could not write the run request in %s: %s", container.c_str(), error.c_str());
    return std::nullopt;
}
