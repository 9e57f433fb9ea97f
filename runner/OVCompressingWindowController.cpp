// SPDX-License-Identifier: GPL-3.0-or-later
#include "runner/OVCompressingWindowController.h"

#include "model/HLTimer.h"
#include "model/OVUserDefaults.h"
#include "platform/Files.h"
#include "platform/Log.h"
#include "platform/MainContext.h"
#include "platform/Translation.h"
#include "platform/Workspace.h"
#include "runner/OVUserNotificationCenter.h"
#include "runner/ZipArchiveWriter.h"

#include <gtk/gtk.h>
#include <sys/stat.h>

#include <filesystem>
#include <functional>
#include <stdexcept>
#include <vector>

namespace fs = std::filesystem;

namespace {

// What the compression queue hands back.
struct Outcome {
    bool ok = false;
    std::string archive;
    std::string error;
};

// A link to a file counts: the entry holds the file. A link that leads nowhere holds nothing;
// one that cannot be followed for any other reason hides data and fails the run.
bool isRegularFileFollowingLink(const fs::directory_entry& entry)
{
    std::error_code ec;
    if (entry.is_regular_file(ec))
        return true;
    if (ec && ec != std::errc::no_such_file_or_directory && ec != std::errc::too_many_symbolic_link_levels &&
        ec != std::errc::not_a_directory)
        throw std::runtime_error("Couldn't read \"" + entry.path().string() + "\": " + ec.message());
    return false;
}

// Hands every item below `folder` to visit, links listed and never followed. A folder that
// cannot be read fails the listing, named: an archive that silently lacks part of the
// selection is never finished, the same rule as for a file that cannot be read.
void listFolder(const fs::path& folder, const std::atomic<bool>& cancel,
                const std::function<void(const fs::directory_entry&)>& visit)
{
    std::vector<fs::path> pending{folder};
    while (!pending.empty() && !cancel.load()) {
        const fs::path current = std::move(pending.back());
        pending.pop_back();
        // Read whole before anything is visited, so that only one folder is open at a time.
        std::vector<fs::directory_entry> items;
        std::error_code ec;
        for (fs::directory_iterator it(current, ec), end; !ec && it != end; it.increment(ec))
            items.push_back(*it);
        if (ec)
            throw std::runtime_error("Couldn't read the folder \"" + current.string() + "\": " + ec.message());
        for (const auto& item : items) {
            if (cancel.load())
                return;
            visit(item);
            std::error_code typeError;
            if (item.is_directory(typeError) && !item.is_symlink(typeError))
                pending.push_back(item.path());
        }
    }
}

} // namespace

std::shared_ptr<OVCompressingWindowController> OVCompressingWindowController::controllerWithPaths(
    std::vector<std::string> paths, std::string destinationFile, std::string password, bool strongEncryption)
{
    auto controller = HLWindowController::controller<OVCompressingWindowController>();
    controller->paths_ = std::move(paths);
    controller->destinationFile_ = std::move(destinationFile);
    controller->password_ = std::move(password);
    controller->strongEncryption_ = strongEncryption;
    // An ending runner cancels the archive as the Cancel button would.
    controller->runningWork_ = OVRunningWork::add([raw = controller.get()] { raw->cancel(); });
    controller->hl_viewDidLoad(); // the texts depend on the paths set just now
    return controller;
}

OVCompressingWindowController::~OVCompressingWindowController()
{
    OVRunningWork::remove(runningWork_);
    if (pulseTimer_)
        pulseTimer_->invalidate();
}

void OVCompressingWindowController::hl_viewDidLoad()
{
    if (paths_.empty() || !window())
        return; // the first call comes from loading, before the paths are known
    const std::string first = paths_.size() == 1
                                  ? ov::stringPrintf("\"%s\"", ov::lastPathComponent(paths_.front()).c_str())
                                  : ov::stringPrintf(ov::translatePlural("%ld item", "%ld items", paths_.size()), long(paths_.size()));
    const std::string title =
        ov::stringPrintf(_("Compressing %s to \"%s\""), first.c_str(), ov::lastPathComponent(destinationFile_).c_str());
    gtk_window_set_title(window(), title.c_str());
    if (auto* label = outlet<GtkLabel>("titleLabel"))
        gtk_label_set_text(label, title.c_str());
    if (auto* image = outlet<GtkImage>("imageView")) {
        GIcon* icon = g_content_type_get_icon("application/zip");
        gtk_image_set_from_gicon(image, icon);
        g_object_unref(icon);
    }
    if (auto* label = outlet<GtkLabel>("progressLabel"))
        gtk_label_set_text(label, _("Preparing to compress..."));
    if (auto* button = outlet<GtkButton>("cancelButton")) {
        g_signal_connect(button, "clicked", G_CALLBACK(+[](GtkButton*, gpointer data) {
            ov::guarded("the cancel button", [&] { static_cast<OVCompressingWindowController*>(data)->cancel(); });
        }), this);
    }
    // The bar moves on its own until the count is known.
    std::weak_ptr<HLWindowController> weak = weak_from_this();
    pulseTimer_ = HLTimer::timerWithInterval(0.1, true, [weak](HLTimer&) {
        if (auto self = std::static_pointer_cast<OVCompressingWindowController>(weak.lock()))
            if (auto* bar = self->outlet<GtkProgressBar>("progressIndicator"))
                gtk_progress_bar_pulse(bar);
    });
}

bool OVCompressingWindowController::pathIsDirectory(const std::string& path)
{
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

int64_t OVCompressingWindowController::countFiles(const std::vector<std::string>& paths)
{
    int64_t count = 0;
    for (const auto& path : paths) {
        if (!pathIsDirectory(path)) {
            ++count;
            continue;
        }
        std::error_code ec;
        // Links are listed, never followed: a loop cannot make the count endless.
        for (fs::recursive_directory_iterator it(path, fs::directory_options::skip_permission_denied, ec), end;
             !ec && it != end; it.increment(ec))
            ++count;
    }
    return count;
}

void OVCompressingWindowController::showWindow()
{
    HLWindowController::showWindow();
    std::weak_ptr<HLWindowController> weak = weak_from_this();
    auto paths = paths_;
    ov::SerialQueue::create("app.orvane.countqueue")->async([weak, paths] {
        const int64_t total = countFiles(paths);
        ov::invokeOnMain([weak, total] {
            auto self = std::static_pointer_cast<OVCompressingWindowController>(weak.lock());
            if (!self || self->finished_)
                return;
            self->totalFileCount_ = total;
            if (self->pulseTimer_)
                self->pulseTimer_->invalidate();
            self->setProgress(0, std::nullopt);
            self->startCompressionWithPaths(self->paths_);
        });
    });
}

void OVCompressingWindowController::cancel()
{
    cancelled_->store(true);
    if (auto* button = outlet<GtkWidget>("cancelButton"))
        gtk_widget_set_sensitive(button, FALSE);
}

void OVCompressingWindowController::setProgress(int64_t step, const std::optional<std::string>& label)
{
    if (auto* bar = outlet<GtkProgressBar>("progressIndicator"))
        gtk_progress_bar_set_fraction(bar, totalFileCount_ > 0 ? std::min(1.0, double(step) / double(totalFileCount_)) : 0.0);
    if (label)
        if (auto* text = outlet<GtkLabel>("progressLabel"))
            gtk_label_set_text(text, label->c_str());
}

void OVCompressingWindowController::startCompressionWithPaths(const std::vector<std::string>& paths)
{
    std::weak_ptr<HLWindowController> weak = weak_from_this();
    auto post = [weak](int64_t step, std::optional<std::string> label) {
        ov::invokeOnMain([weak, step, label = std::move(label)] {
            if (auto self = std::static_pointer_cast<OVCompressingWindowController>(weak.lock()); self && !self->finished_)
                self->setProgress(step, label);
        });
    };
    ov::SerialQueue::create("app.orvane.compressionqueue")->async(
        [weak, post, paths, destination = destinationFile_, password = password_,
         strong = strongEncryption_, cancel = cancelled_] {
            Outcome outcome;
            try {
                // Two runs on one selection start with the same free name; the one that
                // finishes second takes the next free name then.
                auto writer = std::make_unique<ZipArchiveWriter>(destination);
                writer->setTakesNextFreeName(true);
                writer->setEncryption(strong ? ZipEncryption::Aes256 : ZipEncryption::Traditional);
                outcome.archive = destination;
                if (ZipResult opened = writer->open(); !opened.ok())
                    throw std::runtime_error(opened.error);

                int64_t step = 0;
                auto add = [&](const std::string& source, const std::string& wanted) {
                    ZipResult r = writer->writeFileAtPath(source, writer->availableEntryName(wanted), password);
                    // The unfinished archive lies inside a selected folder when a folder and an
                    // item in it are selected together.
                    if (r.status == ZipStatus::IsOwnArchive)
                        return;
                    if (!r.ok())
                        throw std::runtime_error(r.error);
                };
                for (const auto& path : paths) {
                    if (cancel->load())
                        break;
                    if (!pathIsDirectory(path)) {
                        add(path, ov::lastPathComponent(path));
                        continue;
                    }
                    const std::string prefix = ov::lastPathComponent(path);
                    listFolder(path, *cancel, [&](const fs::directory_entry& item) {
                        if (isRegularFileFollowingLink(item))
                            add(item.path().string(), prefix + "/" + item.path().lexically_relative(path).generic_string());
                        else
                            ++step; // folders, links to folders and special files: no entry
                    });
                }
                post(step, std::nullopt);
                const int64_t listed = step;
                ZipResult closed = writer->close(
                    [&](const ZipProgress& p) {
                        post(listed + int64_t(p.entryIndex) + (p.entryFinished ? 1 : 0), std::string(p.entryName));
                    },
                    cancel.get());
                if (!closed.ok() && !cancel->load())
                    throw std::runtime_error(closed.error);
                outcome.ok = closed.ok() && !cancel->load();
                outcome.archive = writer->path();
            } catch (const std::exception& e) {
                outcome.ok = false;
                outcome.error = e.what();
            }
            ov::invokeOnMain([weak, outcome] {
                auto self = std::static_pointer_cast<OVCompressingWindowController>(weak.lock());
                if (!self)
                    return;
                self->succeeded_ = outcome.ok;
                self->error_ = outcome.error;
                if (!outcome.archive.empty())
                    self->destinationFile_ = outcome.archive;
                self->handleCompletion();
            });
        });
}

void OVCompressingWindowController::handleCompletion()
{
    if (finished_)
        return;
    finished_ = true;
    OVRunningWork::remove(runningWork_);
    if (pulseTimer_)
        pulseTimer_->invalidate();
    auto defaults = OVUserDefaults::create();
    if (succeeded_) {
        if (defaults && defaults->showFileOnMoveCopyComplete())
            ov::revealFiles({destinationFile_});
        if (!(defaults && defaults->disableActionNotifications())) {
            OVUserNotification n;
            n.informativeText =
                ov::stringPrintf(_("Finished compressing '%s'"), ov::lastPathComponent(destinationFile_).c_str());
            n.actionButtonTitle = _("Show");
            n.path = destinationFile_;
            OVUserNotificationCenter::deliverNotification(n);
        }
    } else if (!cancelled()) {
        ov::ovLog("Could not compress because of error: %s", error_.c_str());
        OVUserNotification n;
        n.informativeText = _("An error occurred while compressing these files.");
        n.hasActionButton = false;
        n.isError = true;
        OVUserNotificationCenter::deliverNotification(n);
    }
    close();
    if (auto block = std::move(completionBlock_))
        block(*this);
}
