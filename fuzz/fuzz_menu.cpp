// SPDX-License-Identifier: GPL-3.0-or-later
// Builds an action list and a selection from the input and asks for every kind of menu: no list
// and no selection may crash the menu builder, and every menu must keep its shape.
#include "menus/FinderSync.h"
#include "model/OVActionGroup.h"
#include "model/OVMoveActionGroup.h"
#include "model/OVMoveToAction.h"
#include "model/OVTypes.h"
#include "model/OVUserDefaults.h"
#include "platform/Log.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

class Reader {
public:
    Reader(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    bool empty() const { return pos_ >= size_; }
    uint8_t byte() { return pos_ < size_ ? data_[pos_++] : 0; }
    std::string text()
    {
        size_t length = byte() % 24;
        std::string s;
        while (length-- && !empty())
            s.push_back(char(byte()));
        return s;
    }

private:
    const uint8_t* data_;
    size_t size_;
    size_t pos_ = 0;
};

const char* const kTypes[] = {kUTTypeFolder, kUTTypeImage, kUTTypeApplication, "text/plain", "image/png",
                              "application/pdf", "application/octet-stream", "", "*", "image/", "/"};
const char* const kNames[] = {"a.png", "b.JPG", "c.txt", "Makefile", "x.tar.gz", "Photos 2023.05", ".hidden", "d.",
                              "e.desktop", "CMakeLists.txt", "noext", "f.pdf", "g.app", "/", ""};

std::string pick(Reader& in, const char* const* pool, size_t count, bool allowFree)
{
    uint8_t b = in.byte();
    if (allowFree && b >= 240)
        return in.text();
    return pool[b % count];
}

std::optional<OVStringList> fileTypes(Reader& in)
{
    uint8_t b = in.byte();
    if (b % 3 == 0)
        return std::nullopt;
    OVStringList types;
    for (int n = b % 4; n > 0; --n)
        types.push_back(pick(in, kTypes, std::size(kTypes), true));
    return types;
}

OVActionPtr makeAction(Reader& in, int depth)
{
    uint8_t shape = in.byte();
    OVActionPtr action;
    if (depth < 2 && shape % 4 == 0) {
        auto group = OVAction::action<OVMoveActionGroup>();
        OVActionList children;
        for (int n = in.byte() % 6; n > 0 && !in.empty(); --n)
            children.push_back(in.byte() == 0 ? nullptr : makeAction(in, depth + 1));
        group->updateActions(children);
        action = group;
    } else {
        action = OVAction::action<OVMoveToAction>();
    }
    action->setEnabled(shape & 0x10);
    if (shape & 0x20)
        action->setTitle(in.text());
    else
        action->setTitle(std::nullopt);
    if (shape & 0x40)
        action->setIcon(std::nullopt);
    action->setFileTypes(fileTypes(in));
    return action;
}

void checkShape(const OVMenu& menu, int depth)
{
    if (depth > 3)
        std::abort();
    for (const auto& item : menu.items) {
        if (item.hasAction() && item.identifier.rfind(FinderSync::kSelectorPrefix, 0) != 0)
            std::abort();
        if (item.submenu)
            checkShape(*item.submenu, depth + 1);
    }
}

FinderSync& finderSync()
{
    static std::shared_ptr<FinderSync> sync = [] {
        char folder[] = "/tmp/orvane-fuzz-menu-XXXXXX";
        if (!::mkdtemp(folder))
            std::abort();
        ::setenv("XDG_CONFIG_HOME", folder, 1);
        ::setenv("XDG_DATA_HOME", folder, 1);
        ov::setLogSink([](const std::string&) {});
        return FinderSync::create();
    }();
    return *sync;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FinderSync& sync = finderSync();
    Reader in(data, size);

    const uint8_t flags = in.byte();
    // Writing the preference is slow; only do it when the input asks for the other value.
    if (sync.userDefaults() && sync.userDefaults()->useSubmenu() != bool(flags & 1))
        sync.userDefaults()->setUseSubmenu(flags & 1);

    OVActionList actions;
    for (int n = in.byte() % 12; n > 0 && !in.empty(); --n)
        actions.push_back(in.byte() == 0 ? nullptr : makeAction(in, 0));
    sync.setActionsArray(actions);

    std::vector<FinderSync::Item> selected;
    for (int n = in.byte() % 6; n > 0; --n) {
        uint8_t b = in.byte();
        std::string path = "/fuzz/" + pick(in, kNames, std::size(kNames), true);
        std::optional<bool> isDirectory;
        if (b % 3 != 2)
            isDirectory = b % 3 == 1;
        selected.push_back({path, isDirectory});
    }
    std::optional<FinderSync::Item> targeted;
    if (flags & 2)
        targeted = FinderSync::Item{"/fuzz/" + pick(in, kNames, std::size(kNames), true), bool(flags & 4)};
    sync.setSelectionItems(selected, targeted);

    for (int kind = 0; kind < 4; ++kind) {
        OVMenu menu = sync.menuForMenuKind(FIMenuKind(kind));
        checkShape(menu, 0);
        if (kind == 3 && menu.empty())
            std::abort(); // the toolbar menu always has at least "No Actions Enabled"
    }
    return 0;
}
