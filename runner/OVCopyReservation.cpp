// SPDX-License-Identifier: GPL-3.0-or-later
#include "runner/OVCopyReservation.h"

#include "platform/CopyReservations.h"
#include "platform/Files.h"
#include "platform/MovingItems.h"
#include "platform/Replacing.h"
#include "runner/OVWorkJournal.h"

#include <cerrno>

namespace {
ov::MoveResult failure(int code, const std::string& message)
{
    ov::MoveResult r;
    r.outcome = ov::FileOutcome::Failed;
    r.error = {code, message};
    return r;
}
} // namespace

ov::MoveResult OVCopyReservation::reserve(const std::string& source, const std::string& destination,
                                          bool replacesDestination, OVCopyReservation* reservation)
{
    OVCopyReservation made;
    made.destination = destination;
    // Noted before anything is made there, so that a runner ended mid-way is cleaned up after.
    OVWorkJournal::noteFolder(ov::deletingLastPathComponent(destination));
    if (replacesDestination) {
        // Replacing the source itself, or a folder that holds it, would remove the source.
        ov::FileError refusal;
        switch (ov::judgeReplacing(source, destination, &refusal)) {
        case ov::Replacing::Allowed:
            break;
        case ov::Replacing::SameItem:
            return failure(EINVAL, "Cannot replace " + destination + " by itself");
        case ov::Replacing::Refused:
            return failure(refusal.code, refusal.message);
        }
    } else {
        made.name.emplace();
        ov::MoveResult held = ov::reserveName(destination, &*made.name);
        if (held.outcome != ov::FileOutcome::Done)
            return held;
        OVWorkJournal::noteHeldName(made.name->path, made.name->dev, made.name->ino);
    }
    ov::MoveResult result = ov::reserveCopyBeside(source, destination, &made.copy);
    if (result.outcome != ov::FileOutcome::Done) {
        if (made.name) {
            ov::FileError ignored;
            ov::removeCopy(*made.name, &ignored);
            OVWorkJournal::forgetHeldName(made.name->path, made.name->dev, made.name->ino);
        }
        result.outcome = ov::FileOutcome::Failed; // the name was free: no other name would do better
        return result;
    }
    *reservation = std::move(made);
    return result;
}

ov::MoveResult OVCopyReservation::perform(const std::atomic<bool>& cancelled) const
{
    ov::MoveResult result = ov::fillCopy(copy, &cancelled);
    if (result.outcome == ov::FileOutcome::Done && cancelled.load())
        result = failure(ECANCELED, "The copy of " + copy.source + " was stopped"); // after its last piece
    if (result.outcome == ov::FileOutcome::Done)
        result = name ? ov::replaceReservation(copy.path, *name) : ov::replaceItem(copy.path, destination);
    if (result.outcome != ov::FileOutcome::Done)
        remove();
    return result;
}

void OVCopyReservation::remove() const
{
    ov::FileError ignored;
    ov::removeCopy(copy, &ignored);
    if (name)
        ov::removeCopy(*name, &ignored);
}
