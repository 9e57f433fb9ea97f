// SPDX-License-Identifier: GPL-3.0-or-later
// Every kind of the table, through the one generic path: each archived field survives the
// archive and a copy, and equality sees a change in any one of them.
#include "model/OVActionArchive.h"
#include "model/OVActionKinds.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

namespace {

// A value unlike the zero value and unlike the value of any other key.
void setDistinct(bool& v, const std::string&) { v = !v; }
void setDistinct(std::optional<std::string>& v, const std::string& key) { v = "/tmp/" + key + "-" + v.value_or(""); }
[[maybe_unused]] void setDistinct(std::optional<std::vector<std::string>>& v, const std::string& key)
{
    v = std::vector<std::string>{key, std::to_string(v ? v->size() : 0)};
}
void setDistinct(OVActionList& children, const std::string& key)
{
    auto child = OVAction::action<OVCopyToAction>();
    child->setDestinationURL("/tmp/" + key + std::to_string(children.size()));
    children.push_back(child);
}

// The fields a kind lists, or those of the base kind it inherits them from.
template <class Kind>
auto fieldsOf()
{
    if constexpr (requires { Kind::archivedFields(); })
        return Kind::archivedFields();
    else
        return std::tuple<>{};
}

OVActionPtr roundTrip(const OVActionPtr& action)
{
    auto read = OVActionArchive::unarchiveActions(OVActionArchive::archivedDataWithRootActions({action}));
    return read && read->size() == 1 ? read->front() : nullptr;
}

template <class Kind>
void checkKind(int& fieldsSeen)
{
    SCOPED_TRACE(Kind::kClassName);
    auto action = OVAction::action<Kind>();
    action->setTitle(std::string("A ") + Kind::kClassName);
    action->setActionDescription("described");
    action->setFileTypes(OVStringList{"text/plain"});
    std::apply([&](const auto&... field) { (setDistinct((*action).*field.member, field.key), ...); }, fieldsOf<Kind>());
    fieldsSeen += int(std::tuple_size_v<decltype(fieldsOf<Kind>())>);

    const OVActionPtr read = roundTrip(action);
    ASSERT_TRUE(read);
    EXPECT_STREQ(read->className(), Kind::kClassName);
    EXPECT_TRUE(read->isEqual(*action));
    EXPECT_TRUE(action->copy()->isEqual(*action));

    // Each field on its own: a changed value is seen, and it is what the archive carries.
    std::apply(
        [&](const auto&... field) {
            [[maybe_unused]] auto changeOne = [&](const auto& f) {
                SCOPED_TRACE(f.key);
                auto changed = std::static_pointer_cast<Kind>(action->copy());
                setDistinct((*changed).*f.member, f.key);
                EXPECT_FALSE(changed->isEqual(*action));
                const OVActionPtr back = roundTrip(changed);
                ASSERT_TRUE(back);
                EXPECT_TRUE(back->isEqual(*changed));
            };
            (changeOne(field), ...);
        },
        fieldsOf<Kind>());

    const auto chain = action->classHierarchy();
    ASSERT_GE(chain.size(), 2u);
    EXPECT_EQ(chain.front(), Kind::kClassName);
    EXPECT_EQ(chain[chain.size() - 2], "OVAction");
    EXPECT_EQ(chain.back(), "NSObject");
    EXPECT_EQ(OVAction::emptyInstanceOfClass(Kind::kClassName)->classHierarchy(), chain);
}

template <class... Kinds>
void checkEveryKind(OVTypeList<Kinds...>, int& fieldsSeen)
{
    (checkKind<Kinds>(fieldsSeen), ...);
}

TEST(KindTable, EveryKindRoundTripsCopiesAndComparesFieldByField)
{
    int fieldsSeen = 0;
    checkEveryKind(OVActionKindTypes{}, fieldsSeen);
    EXPECT_GE(fieldsSeen, 14) << "the kinds' own fields were all visited";
}

TEST(KindTable, EqualityLooksAtTheBaseFieldsTheKindAndTheChildren)
{
    auto a = OVAction::action<OVCopyToAction>();
    auto sameFieldsOtherKind = OVAction::emptyInstance<OVMoveToAction>();
    EXPECT_FALSE(a->isEqual(*sameFieldsOtherKind));
    auto b = std::static_pointer_cast<OVCopyToAction>(a->copy());
    b->setEnabled(!a->enabled());
    EXPECT_FALSE(a->isEqual(*b));
    b = std::static_pointer_cast<OVCopyToAction>(a->copy());
    b->setIcon(OVImage::named("other"));
    EXPECT_FALSE(a->isEqual(*b));

    // Groups compare their children by content, so a group read back equals the one written.
    auto group = OVAction::action<OVCopyActionGroup>();
    auto child = OVAction::action<OVCopyToAction>();
    child->setDestinationURL("/tmp/there");
    group->addAction(child);
    const OVActionPtr read = roundTrip(group);
    ASSERT_TRUE(read);
    EXPECT_TRUE(read->isEqual(*group));
    child->setDestinationURL("/tmp/elsewhere");
    EXPECT_FALSE(read->isEqual(*group));
}

TEST(KindTable, TheRuntimeListIsTheTypeListAndFeedsArchiveReading)
{
    const auto& kinds = OVActionKinds::all();
    EXPECT_EQ(kinds.size(), OVActionKindTypes::size);
    std::vector<std::string> names;
    for (const auto& kind : kinds) {
        SCOPED_TRACE(kind.className);
        names.emplace_back(kind.className);
        OVActionPtr empty = kind.makeEmpty();
        OVActionPtr made = OVActionKinds::make(kind.className);
        ASSERT_TRUE(empty && made);
        EXPECT_EQ(OVActionKinds::indexOf(*made), std::size_t(&kind - kinds.data()));
        EXPECT_STREQ(made->className(), kind.className);
        EXPECT_EQ(made->isGroup(), kind.isGroup);
        EXPECT_TRUE(made->isNew());
        EXPECT_FALSE(empty->isNew()) << "an instance to be read into has none of the first values";
        EXPECT_FALSE(empty->enabled());
    }
    std::sort(names.begin(), names.end());
    EXPECT_EQ(std::adjacent_find(names.begin(), names.end()), names.end()) << "a class name twice";
    EXPECT_EQ(OVAction::knownClassNames(), names);
    EXPECT_FALSE(OVAction::emptyInstanceOfClass("OVNoSuchAction"));
    EXPECT_FALSE(OVActionKinds::make("OVNoSuchAction"));
}

} // namespace

TEST(KindTable, AGroupsChildKindIsInTheTableAndItsTargetIsArchived)
{
    int groupsWithChildren = 0;
    for (const auto& entry : OVActionKinds::all()) {
        auto child = OVActionKinds::make(entry.className)->childKindName();
        if (!child)
            continue;
        ++groupsWithChildren;
        SCOPED_TRACE(entry.className);
        OVActionPtr made = OVActionKinds::make(*child);
        ASSERT_TRUE(made) << *child << " is not a kind of the table";
        made->setTarget(std::string("/srv/target"));
        EXPECT_EQ(made->target(), std::string("/srv/target"));
        OVActionPtr back = roundTrip(made);
        ASSERT_TRUE(back);
        EXPECT_EQ(back->target(), std::string("/srv/target"));
    }
    EXPECT_EQ(groupsWithChildren, 4);
    // A kind that names no target keeps none.
    auto script = OVAction::action<OVShellScriptAction>();
    script->setTarget(std::string("/srv/target"));
    EXPECT_EQ(script->target(), std::nullopt);
}
