// SPDX-License-Identifier: GPL-3.0-or-later
// The record of one menu action and the base of every action kind.
#pragma once

#include "archive/OVArchivable.h"
#include "model/OVArchivedField.h"
#include "model/OVImage.h"
#include "platform/Translation.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class OVAction;

using OVActionPtr = std::shared_ptr<OVAction>;
using OVActionList = std::vector<OVActionPtr>;
using OVPaths = std::vector<std::string>;
using OVStringList = std::vector<std::string>;

struct OVError {
    std::string domain;
    int code = 0;
    std::string message;
    std::string description() const;
};

// What a kind is, apart from its fields. Unset entries keep what the base kind says.
struct OVKindTraits {
    const char* editorClassName = nullptr; // the kind's editor in the settings app
    const char* defaultTitle = nullptr;    // the title it is known by, and its first title
    const char* title = nullptr;           // a first title other than the default one
    const char* iconName = nullptr;
    const char* description = nullptr;
    bool isDefault = false;
    const char* fileType = nullptr; // the one file type it is offered for
    const char* targetField = nullptr; // the archived string field naming its target
    const char* childKind = nullptr;   // the kind a group's editor makes its children of
};

// How many selected items an action is for. An absent bound is open; both absent, any number.
struct OVSelectionCounts {
    // Larger bounds are taken for damage and ignored.
    static constexpr int kMaxBound = 100000;
    std::optional<int> minimum;
    std::optional<int> maximum;

    bool isLimited() const { return minimum || maximum; }
    bool allows(std::size_t count) const
    {
        return (!minimum || count >= std::size_t(*minimum)) && (!maximum || count <= std::size_t(*maximum));
    }
    // The bounds that make sense: each from 1 to kMaxBound, the minimum not above the maximum
    // (a pair that contradicts itself limits nothing).
    static OVSelectionCounts sanitized(std::optional<int64_t> minimum, std::optional<int64_t> maximum);
    bool operator==(const OVSelectionCounts&) const = default;
};

using OVRunCompletion = std::function<void(bool success, std::optional<OVError> error)>;
using OVBeforeRunCompletion = std::function<void(bool cancelled)>;

class OVAction : public std::enable_shared_from_this<OVAction>, public OVArchivable {
public:
    virtual ~OVAction() = default;
    OVAction(const OVAction&) = delete;
    OVAction& operator=(const OVAction&) = delete;

    // Normal creation of a kind: defaults of the record, then of the kind.
    template <typename T = OVAction>
    static std::shared_ptr<T> action()
    {
        std::shared_ptr<T> a(new T());
        static_cast<OVAction&>(*a).init();
        return a;
    }
    // A zero-filled instance of a kind, to be read into.
    template <typename T>
    static std::shared_ptr<T> emptyInstance()
    {
        return std::shared_ptr<T>(new T());
    }
    // A zero-filled instance of the named kind (for unarchiving), or none for an unknown name.
    static OVActionPtr emptyInstanceOfClass(const std::string& className);
    // Every kind this program can read, by class name.
    static const std::vector<std::string>& knownClassNames();
    static constexpr const char* kClassName = "OVAction";
    static constexpr OVKindTraits kKind{};
    static std::vector<std::string> staticClassHierarchy() { return {kClassName, "NSObject"}; }

    const char* className() const override { return kClassName; }
    std::vector<std::string> classHierarchy() const override { return staticClassHierarchy(); }

    const std::string& uid() const { return uid_; }
    void generateUID();
    bool enabled() const { return enabled_; }
    void setEnabled(bool v) { enabled_ = v; }
    const std::optional<OVImage>& icon() const { return icon_; }
    void setIcon(const std::optional<OVImage>& image); // none stores the empty image
    const std::optional<std::string>& title() const { return title_; }
    void setTitle(std::optional<std::string> v) { title_ = std::move(v); }
    const std::optional<std::string>& actionDescription() const { return actionDescription_; }
    void setActionDescription(std::optional<std::string> v) { actionDescription_ = std::move(v); }
    const std::optional<OVStringList>& fileTypes() const { return fileTypes_; }
    void setFileTypes(std::optional<OVStringList> v) { fileTypes_ = std::move(v); }
    // Groups apply theirs to their children; a child's own are not consulted.
    OVSelectionCounts selectionCounts() const { return {minimumSelection_, maximumSelection_}; }
    void setSelectionCounts(const OVSelectionCounts& counts); // sanitized
    bool isNew() const { return isNew_; }
    void setIsNew(bool v) { isNew_ = v; }
    bool isDefault() const { return isDefault_; }
    void setIsDefault(bool v) { isDefault_ = v; }
    virtual std::optional<std::string> defaultTitle() const { return defaultTitle_; }
    void setDefaultTitle(std::optional<std::string> v) { defaultTitle_ = std::move(v); }
    virtual std::optional<std::string> editorClassName() const { return std::nullopt; }
    // What the action works on (a folder, an application), for kinds that name one.
    virtual std::optional<std::string> target() const { return std::nullopt; }
    virtual void setTarget(std::optional<std::string>) {}
    // The kind a group's editor makes its children of.
    virtual std::optional<std::string> childKindName() const { return std::nullopt; }

    virtual bool isGroup() const { return false; }
    // An action of a kind this version does not know, kept only to be written back: never
    // offered in a menu nor run.
    virtual bool isUnknown() const { return false; }

    void encodeWithCoder(OVKeyedArchiver& coder) const override;
    void initWithCoder(OVKeyedUnarchiver& coder) override;
    OVActionPtr copy() const;
    // Same kind and the same archived fields (children of groups compared the same way).
    bool isEqual(const OVAction& other) const;

    std::string description() const;

protected:
    OVAction() = default;
    virtual void init();
    virtual OVActionPtr newEmptyInstance() const { return OVActionPtr(new OVAction()); }
    virtual void copyFieldsTo(OVAction& other) const;
    virtual bool fieldsEqual(const OVAction& other) const;

private:
    static auto recordFields();

    std::string uid_;
    bool enabled_ = false;
    std::optional<OVImage> icon_;
    std::optional<std::string> title_;
    std::optional<std::string> actionDescription_;
    std::optional<OVStringList> fileTypes_;
    bool isNew_ = false;
    bool isDefault_ = false;
    std::optional<std::string> defaultTitle_;
    std::optional<int> minimumSelection_;
    std::optional<int> maximumSelection_;
};

// The base of every kind. A kind names its archive class (kClassName) and its traits (kKind), and
// may list its archived fields (a static archivedFields() returning a tuple of ovfield
// descriptors over its own members) and set kind-specific first values (a static
// setInitialValues(Kind&)). Its class chain follows from its C++ base.
template <class Kind, class Base = OVAction>
class OVActionKind : public Base {
public:
    static std::vector<std::string> staticClassHierarchy()
    {
        std::vector<std::string> chain = Base::staticClassHierarchy();
        chain.insert(chain.begin(), Kind::kClassName);
        return chain;
    }
    const char* className() const override
    {
        static_assert(std::string_view(Kind::kClassName) != std::string_view(Base::kClassName),
                      "a kind names its own class");
        return Kind::kClassName;
    }
    std::vector<std::string> classHierarchy() const override { return staticClassHierarchy(); }
    std::optional<std::string> defaultTitle() const override
    {
        if (Kind::kKind.defaultTitle)
            return std::string(Kind::kKind.defaultTitle);
        return Base::defaultTitle();
    }
    std::optional<std::string> editorClassName() const override
    {
        if (Kind::kKind.editorClassName)
            return std::string(Kind::kKind.editorClassName);
        return Base::editorClassName();
    }
    std::optional<std::string> target() const override
    {
        if (auto* field = ovfield::stringMember(ownFields(), self(), Kind::kKind.targetField))
            return *field;
        return Base::target();
    }
    void setTarget(std::optional<std::string> v) override
    {
        if (auto* field = ovfield::stringMember(ownFields(), static_cast<Kind&>(*this), Kind::kKind.targetField))
            *field = std::move(v);
        else
            Base::setTarget(std::move(v));
    }
    std::optional<std::string> childKindName() const override
    {
        if (Kind::kKind.childKind)
            return std::string(Kind::kKind.childKind);
        return Base::childKindName();
    }
    void encodeWithCoder(OVKeyedArchiver& coder) const override
    {
        Base::encodeWithCoder(coder);
        ovfield::encodeAll(ownFields(), self(), coder);
    }
    void initWithCoder(OVKeyedUnarchiver& coder) override
    {
        Base::initWithCoder(coder);
        ovfield::decodeAll(ownFields(), static_cast<Kind&>(*this), coder);
    }

protected:
    void init() override
    {
        Base::init();
        constexpr const OVKindTraits& k = Kind::kKind;
        // The first title and description are written in the user's language; once stored they
        // are the user's own text.
        if (k.title)
            this->setTitle(std::string(ov::translate(k.title)));
        if (k.iconName)
            this->setIcon(OVImage::named(k.iconName));
        if (k.description)
            this->setActionDescription(std::string(ov::translate(k.description)));
        if (k.isDefault)
            this->setIsDefault(true);
        if (k.fileType)
            this->setFileTypes(OVStringList{k.fileType});
        if constexpr (requires { static_cast<void (*)(Kind&)>(&Kind::setInitialValues); })
            Kind::setInitialValues(static_cast<Kind&>(*this));
    }
    OVActionPtr newEmptyInstance() const override { return OVActionPtr(new Kind()); }
    void copyFieldsTo(OVAction& other) const override
    {
        Base::copyFieldsTo(other);
        ovfield::copyAll(ownFields(), self(), static_cast<Kind&>(other));
    }
    bool fieldsEqual(const OVAction& other) const override
    {
        return Base::fieldsEqual(other) && ovfield::equalAll(ownFields(), self(), static_cast<const Kind&>(other));
    }

private:
    const Kind& self() const { return static_cast<const Kind&>(*this); }
    // The fields Kind declares itself; a kind without a list of its own adds none.
    static constexpr auto ownFields()
    {
        if constexpr (requires { Kind::archivedFields(); }) {
            if constexpr (ovfield::kOwnedBy<Kind, decltype(Kind::archivedFields())>)
                return Kind::archivedFields();
            else
                return std::tuple<>{};
        } else {
            return std::tuple<>{};
        }
    }
};
