// The record of one menu action and the base of every action kind.
#pragma once

#include "archive/OVArchivable.h"
#include "model/OVImage.h"

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
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

using OVRunCompletion = std::function<void(bool success, std::optional<OVError> error)>;
using OVBeforeRunCompletion = std::function<void(bool cancelled)>;

// The run behaviour of a kind lives in the program that runs it (the runner); the model only
// dispatches to it. A kind without a behaviour in this program does what its base does.
class OVRunBehaviour {
public:
    virtual ~OVRunBehaviour() = default;
    virtual bool hasBeforeRun() const { return false; }
    virtual void beforeRun(OVAction& action, const OVPaths& paths, OVBeforeRunCompletion completion);
    virtual void run(OVAction& action, const OVPaths& paths, OVRunCompletion completion) = 0;
};

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
        a->init();
        return a;
    }
    // A zero-filled instance of the named kind (for unarchiving), or none for an unknown name.
    static OVActionPtr emptyInstanceOfClass(const std::string& className);
    // Every kind this program can read, by class name.
    static const std::vector<std::string>& knownClassNames();
    static constexpr const char* kClassName = "OVAction";

    const char* className() const override { return "OVAction"; }
    std::vector<std::string> classHierarchy() const override { return {"OVAction", "NSObject"}; }

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
    bool isNew() const { return isNew_; }
    void setIsNew(bool v) { isNew_ = v; }
    bool isDefault() const { return isDefault_; }
    void setIsDefault(bool v) { isDefault_ = v; }
    virtual std::optional<std::string> defaultTitle() const { return defaultTitle_; }
    void setDefaultTitle(std::optional<std::string> v) { defaultTitle_ = std::move(v); }
    virtual std::optional<std::string> editorClassName() const { return editorClassName_; }

    virtual bool isGroup() const { return false; }
    // An action of a kind this version does not know, kept only to be written back: never
    // offered in a menu nor run.
    virtual bool isUnknown() const { return false; }

    void encodeWithCoder(OVKeyedArchiver& coder) const override;
    void initWithCoder(OVKeyedUnarchiver& coder) override;
    OVActionPtr copy() const;

    std::string description() const;

    virtual void beforeRunWithFilePaths(const OVPaths& paths, OVBeforeRunCompletion completion);
    // A kind with no run behaviour in this program still finishes: with failure.
    virtual void runWithFilePaths(const OVPaths& paths, OVRunCompletion completion);
    static void finishWithoutRunBehaviour(const OVAction& action, const OVRunCompletion& completion,
                                          const char* reason);

    // Installs the run behaviour of a kind (and of its subkinds without one of their own).
    static void setRunBehaviour(const std::string& className, std::shared_ptr<OVRunBehaviour> behaviour);
    OVRunBehaviour* runBehaviour() const;

protected:
    OVAction() = default;
    virtual void init();
    virtual OVActionPtr newEmptyInstance() const { return OVActionPtr(new OVAction()); }
    virtual void copyFieldsTo(OVAction& other) const;

private:
    using Factory = OVActionPtr (*)();
    static const std::map<std::string, Factory>& factories();

    std::string uid_;
    bool enabled_ = false;
    std::optional<OVImage> icon_;
    std::optional<std::string> title_;
    std::optional<std::string> actionDescription_;
    std::optional<OVStringList> fileTypes_;
    bool isNew_ = false;
    bool isDefault_ = false;
    std::optional<std::string> defaultTitle_;
    std::optional<std::string> editorClassName_;
};

// Boilerplate shared by every kind: its names and a zero-filled instance of itself.
#define OV_ACTION_KIND(Kind, ...)                                                                  \
public:                                                                                            \
    static constexpr const char* kClassName = #Kind;                                              \
    const char* className() const override { return #Kind; }                                      \
    std::vector<std::string> classHierarchy() const override { return {#Kind, __VA_ARGS__}; }      \
                                                                                                   \
protected:                                                                                         \
    OVActionPtr newEmptyInstance() const override { return OVActionPtr(new Kind()); }              \
    Kind() = default;                                                                              \
    friend class OVAction;                                                                         \
                                                                                                   \
private:
