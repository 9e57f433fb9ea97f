// SPDX-License-Identifier: GPL-3.0-or-later
// The run behaviours of the action kinds that the runner carries out.
#pragma once

#include "model/OVAction.h"
#include "platform/Log.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

// The run behaviour of a kind lives here, in the program that runs it; the model knows nothing
// of it.
class OVRunBehaviour {
public:
    virtual ~OVRunBehaviour() = default;
    virtual bool hasBeforeRun() const { return false; }
    virtual void beforeRun(OVAction& action, const OVPaths& paths, OVBeforeRunCompletion completion);
    virtual void run(OVAction& action, const OVPaths& paths, OVRunCompletion completion) = 0;
};

// The behaviour of one kind. It is only ever handed actions of its kind (or of a subkind it was
// chosen for in the table), so the cast is made here once.
template <typename Kind>
class OVKindRunBehaviour : public OVRunBehaviour {
public:
    using ActionKind = Kind;

    void beforeRun(OVAction& action, const OVPaths& paths, OVBeforeRunCompletion completion) final
    {
        beforeRunKind(static_cast<Kind&>(action), paths, std::move(completion));
    }
    void run(OVAction& action, const OVPaths& paths, OVRunCompletion completion) final
    {
        runKind(static_cast<Kind&>(action), paths, std::move(completion));
    }

protected:
    virtual void beforeRunKind(Kind&, const OVPaths&, OVBeforeRunCompletion completion) { completion(false); }
    virtual void runKind(Kind& action, const OVPaths& paths, OVRunCompletion completion) = 0;
};

// The behaviour of the action's own kind in this runner; none for the bare record, groups, kinds
// this version does not know and kinds outside the model's table.
OVRunBehaviour* OVRunBehaviourFor(const OVAction& action);

// Where a caller (a test) chooses behaviours itself: its answer, when it gives one, is used
// instead of the table's.
using OVRunBehaviourLookup = std::function<OVRunBehaviour*(const OVAction&)>;

// Runs an action: its behaviour's before-run step (at once "not cancelled" when it has none),
// then its run. A run that cannot happen still finishes, once, with failure.
void OVBeforeRunAction(OVAction& action, const OVPaths& paths, OVBeforeRunCompletion completion,
                       const OVRunBehaviourLookup& lookup = {});
void OVRunAction(OVAction& action, const OVPaths& paths, OVRunCompletion completion,
                 const OVRunBehaviourLookup& lookup = {});
// Ends a run that does not happen: failure, with an error naming the action and why.
void OVFinishWithoutRunning(const OVAction& action, const OVRunCompletion& completion, const char* reason);


// The informative text of the secure-delete confirmation: the first ten paths, one line each
// with control characters escaped, how many more there are, and what to type.
std::string OVSecureRemoveConfirmationText(const OVPaths& paths);

// The application id (desktop-file id) of a selected .desktop file, or none.
std::optional<std::string> OVBundleIDForPath(const std::string& path);

// The command that opens a new message with the files attached in the given mail application
// (its desktop file or id; empty for the desktop's default).
std::vector<std::string> OVMailComposeCommand(const std::string& mailApplication, const OVPaths& paths);

// Shared by the behaviours.
namespace ovrun {

inline constexpr const char* kPOSIXErrorDomain = "NSPOSIXErrorDomain";
inline constexpr const char* kOrvaneErrorDomain = "app.orvane.Orvane";

// Calls a run completion at most once, on the main context.
class OnceCompletion {
public:
    explicit OnceCompletion(OVRunCompletion completion) : completion_(std::move(completion)) {}
    void operator()(bool success, std::optional<OVError> error);

private:
    OVRunCompletion completion_;
};

// The action kept alive for the length of a run (none when it is not shared-owned).
inline OVActionPtr retainAction(OVAction& action) { return action.weak_from_this().lock(); }

} // namespace ovrun
