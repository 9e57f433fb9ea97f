// SPDX-License-Identifier: GPL-3.0-or-later
#include "runner/OVFileActionWindowController.h"

#include "model/HLTimer.h"
#include "model/OVUserDefaults.h"
#include "platform/Files.h"
#include "platform/GuiFileIcon.h"
#include "platform/Log.h"
#include "platform/MainContext.h"
#include "platform/Translation.h"
#include "platform/Workspace.h"
#include "runner/OVUserNotificationCenter.h"
#include "runner/OVWorkJournal.h"

#include <algorithm>
#include <cerrno>

namespace {
constexpr double kProgressInterval = 1.0;
constexpr double kPulseInterval = 0.1;
} // namespace

std::shared_ptr<OVFileActionWindowController> OVFileActionWindowController::controllerWithSourceFile(
    const std::string& sourceFile, const std::string& destinationFile)
{
    return HLWindowController::controller<OVFileActionWindowController>(sourceFile, destinationFile, std::nullopt);
}

std::shared_ptr<OVFileActionWindowController> OVFileActionWindowController::controllerWithReservation(
    const std::string& sourceFile, OVCopyReservation reservation)
{
    std::string destination = reservation.destination;
    return HLWindowController::controller<OVFileActionWindowController>(sourceFile, std::move(destination),
                                                                        std::move(reservation));
}

OVFileActionWindowController::OVFileActionWindowController(std::string sourceFile, std::string destinationFile,
                                                           std::optional<OVCopyReservation> reservation)
    : sourceFile_(std::move(sourceFile)), destinationFile_(std::move(destinationFile)), reservation_(std::move(reservation))
{
    // An ending runner cancels the copy as its Cancel button would.
    runningWork_ = OVRunningWork::add([this] { cancel(); });
}

OVFileActionWindowController::~OVFileActionWindowController()
{
    OVRunningWork::remove(runningWork_);
    invalidateTimers();
    fileSizeCalculator_.cancel();
}

std::shared_ptr<OVFileActionWindowController> OVFileActionWindowController::sharedSelf()
{
    return std::static_pointer_cast<OVFileActionWindowController>(shared_from_this());
}

void OVFileActionWindowController::hl_viewDidLoad()
{
    title_ = ov::stringPrintf(_("Copying \"%s\" to \"%s\""), ov::lastPathComponent(sourceFile_).c_str(),
                              ov::lastPathComponent(ov::deletingLastPathComponent(destinationFile_)).c_str());
    if (GtkWindow* w = window()) {
        gtk_window_set_title(w, title_.c_str());
        gtk_label_set_text(widget<GtkLabel>("titleLabel"), title_.c_str());
        gtk_label_set_text(widget<GtkLabel>("progressLabel"), _("Calculating..."));
        ov::GRef<GIcon> icon(ov::iconForFile(sourceFile_));
        gtk_image_set_from_gicon(widget<GtkImage>("imageView"), icon.get());
        installCancelAction();
        setIndeterminate(true);
    }

    // Measured before the copy begins (the calculator answers on a later turn, never at once).
    std::weak_ptr<HLWindowController> weak = weak_from_this();
    fileSizeCalculator_.fileSizeForPath(sourceFile_, [weak](std::uint64_t size) {
        if (auto self = weak.lock())
            static_cast<OVFileActionWindowController&>(*self).sizeDidArrive(size);
    });
}

void OVFileActionWindowController::installCancelAction()
{
    cancelAction_.reset(g_simple_action_new("cancel", nullptr));
    gulong id = g_signal_connect(cancelAction_.get(), "activate", G_CALLBACK(+[](GSimpleAction*, GVariant*, gpointer data) {
        ov::guarded("cancelling a copy", [&] { static_cast<OVFileActionWindowController*>(data)->cancel(); });
    }), this);
    cancelConnection_ = ov::SignalConnection(cancelAction_.get(), id);
    ov::GRef<GSimpleActionGroup> group(g_simple_action_group_new());
    g_action_map_add_action(G_ACTION_MAP(group.get()), G_ACTION(cancelAction_.get()));
    gtk_widget_insert_action_group(GTK_WIDGET(window()), "copy", G_ACTION_GROUP(group.get()));
}

void OVFileActionWindowController::sizeDidArrive(std::uint64_t size)
{
    if (outcome_ != Outcome::Copying)
        return;
    fileSize_ = size;
    fileSizeString_ = memoryFormatter_.stringFromBytes(double(size));
    updateUI();
    startCopying();
}

void OVFileActionWindowController::startCopying()
{
    if (copying_ || outcome_ != Outcome::Copying)
        return;
    invalidateTimers();
    std::weak_ptr<HLWindowController> weak = weak_from_this();
    updateTimer_ = HLTimer::timerWithInterval(kProgressInterval, true, [weak](HLTimer&) {
        if (auto self = weak.lock())
            static_cast<OVFileActionWindowController&>(*self).updateProgress();
    });

    if (!reservation_) {
        OVCopyReservation reservation;
        ov::MoveResult made = OVCopyReservation::reserve(sourceFile_, destinationFile_, false, &reservation);
        if (made.outcome != ov::FileOutcome::Done) {
            ov::runOnNextTurn([weak, made] {
                if (auto self = weak.lock())
                    static_cast<OVFileActionWindowController&>(*self).copyDidFinish(made);
            });
            return;
        }
        reservation_ = std::move(reservation);
    }

    copying_ = true;
    ov::SerialQueue::create("app.orvane.copyqueue")->async([weak, reservation = *reservation_, cancelled = cancelled_] {
        ov::MoveResult result;
        try {
            result = reservation.perform(*cancelled);
        } catch (const std::exception& e) {
            reservation.remove();
            result.outcome = ov::FileOutcome::Failed;
            result.error = {EIO, e.what()};
        }
        ov::runOnNextTurn([weak, result] {
            if (auto self = weak.lock())
                static_cast<OVFileActionWindowController&>(*self).copyDidFinish(result);
        });
    });
    updateProgress();
}

void OVFileActionWindowController::updateProgress()
{
    // One measurement at a time: a large copy takes longer to measure than a tick lasts.
    if (!copying_ || measuringProgress_ || !reservation_)
        return;
    measuringProgress_ = true;
    std::weak_ptr<HLWindowController> weak = weak_from_this();
    // The copy grows beside the destination until it is complete.
    fileSizeCalculator_.fileSizeForPath(reservation_->copy.path, [weak](std::uint64_t size) {
        auto self = weak.lock();
        if (!self)
            return;
        auto& controller = static_cast<OVFileActionWindowController&>(*self);
        controller.measuringProgress_ = false;
        if (controller.outcome_ != Outcome::Copying)
            return; // the window has closed meanwhile
        controller.progress_ = size;
        controller.updateUI();
    });
}

void OVFileActionWindowController::updateUI()
{
    if (!window())
        return;
    setIndeterminate(false);
    double fraction = fileSize_ > 0 ? double(progress_) / double(fileSize_) : 0.0;
    gtk_progress_bar_set_fraction(widget<GtkProgressBar>("progressIndicator"), std::min(fraction, 1.0));
    const std::string text = ov::stringPrintf(C_("copied bytes", "%s of %s"), memoryFormatter_.stringFromBytes(double(progress_)).c_str(),
                                              fileSizeString_.c_str());
    gtk_label_set_text(widget<GtkLabel>("progressLabel"), text.c_str());
}

void OVFileActionWindowController::setIndeterminate(bool on)
{
    if (!on) {
        if (pulseTimer_)
            pulseTimer_->invalidate();
        pulseTimer_.reset();
        return;
    }
    if (pulseTimer_ || !window())
        return;
    GtkProgressBar* bar = widget<GtkProgressBar>("progressIndicator");
    gtk_progress_bar_pulse(bar);
    std::weak_ptr<HLWindowController> weak = weak_from_this();
    pulseTimer_ = HLTimer::timerWithInterval(kPulseInterval, true, [weak, bar](HLTimer&) {
        if (auto self = weak.lock())
            gtk_progress_bar_pulse(bar);
    });
}

void OVFileActionWindowController::cancel()
{
    if (outcome_ != Outcome::Copying || cancelled_->load())
        return;
    cancelled_->store(true);
    fileSizeCalculator_.cancel();
    if (cancelAction_)
        g_simple_action_set_enabled(cancelAction_.get(), FALSE);
    if (GtkLabel* label = widget<GtkLabel>("progressLabel"))
        gtk_label_set_text(label, _("Cancelling..."));
    if (copying_)
        return; // the copy stops at its next piece and reports back

    // Not begun yet: only the reserved item is there to remove.
    if (reservation_)
        reservation_->remove();
    ov::MoveResult stopped;
    stopped.outcome = ov::FileOutcome::Failed;
    stopped.error = {ECANCELED, "The copy of " + sourceFile_ + " was stopped"};
    std::weak_ptr<HLWindowController> weak = weak_from_this();
    ov::runOnNextTurn([weak, stopped] {
        if (auto self = weak.lock())
            static_cast<OVFileActionWindowController&>(*self).copyDidFinish(stopped);
    });
}

void OVFileActionWindowController::copyDidFinish(const ov::MoveResult& result)
{
    if (outcome_ != Outcome::Copying)
        return;
    copying_ = false;
    OVRunningWork::remove(runningWork_);
    if (reservation_ && reservation_->name)
        OVWorkJournal::forgetHeldName(reservation_->name->path, reservation_->name->dev, reservation_->name->ino);
    if (result.outcome == ov::FileOutcome::Done) {
        outcome_ = Outcome::Copied;
        if (result.oldItemError)
            ov::ovLog("Could not remove the existing file because of error: %s", result.oldItemError->message.c_str());
    } else if (result.error.code == ECANCELED && cancelled_->load()) {
        outcome_ = Outcome::Cancelled;
    } else {
        outcome_ = Outcome::Failed;
        error_ = result.error;
    }
    handleCompletion();
}

void OVFileActionWindowController::handleCompletion()
{
    auto keep = sharedSelf(); // the completion block may let go of this controller
    fileSizeCalculator_.cancel();
    switch (outcome_) {
    case Outcome::Copied:
        showNotificationIfNeeded();
        if (auto defaults = OVUserDefaults::create(); defaults && defaults->showFileOnMoveCopyComplete())
            ov::revealFiles({destinationFile_});
        break;
    case Outcome::Failed:
        ov::ovLog("Could not copy because of error: %s", error_ ? error_->message.c_str() : "unknown");
        deliverCopyErrorNotification();
        break;
    case Outcome::Cancelled:
        ov::ovLog("Cancelled copying %s", sourceFile_.c_str());
        break;
    case Outcome::Copying:
        return;
    }
    invalidateTimers();
    close();
    CompletionBlock block = std::move(completionBlock_);
    completionBlock_ = nullptr;
    if (block)
        block(*this);
}

void OVFileActionWindowController::showNotificationIfNeeded()
{
    auto defaults = OVUserDefaults::create();
    if (defaults && defaults->disableActionNotifications())
        return;
    OVUserNotification notification;
    notification.informativeText = ov::stringPrintf(_("Finished copying %s"), ov::lastPathComponent(destinationFile_).c_str());
    notification.hasActionButton = true;
    notification.actionButtonTitle = _("Show");
    notification.playsDefaultSound = true;
    notification.path = destinationFile_;
    OVUserNotificationCenter::deliverNotification(notification);
}

void OVFileActionWindowController::deliverCopyErrorNotification()
{
    // Shown even with action notifications off: nothing else tells that the copy is missing.
    OVUserNotification notification;
    notification.informativeText = _("An error occurred while copying this file.");
    notification.hasActionButton = false;
    notification.isError = true;
    notification.playsDefaultSound = true;
    OVUserNotificationCenter::deliverNotification(notification);
}

void OVFileActionWindowController::invalidateTimers()
{
    if (updateTimer_)
        updateTimer_->invalidate();
    updateTimer_.reset();
    setIndeterminate(false);
}
