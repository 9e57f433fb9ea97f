#include "runner/OVCompressingWindowController.h"

#include "model/HLTimer.h"
#include "model/OVUserDefaults.h"
#include "platform/Files.h"
#include "platform/Log.h"
#include "platform/MainContext.h"
#include "platform/Workspace.h"
#include "runner/NextAvailable.h"
#include "runner/OVUserNotificationCenter.h"
#include "runner/ZipArchiveWriter.h"

#include <gtk/gtk.h>
#include <sys/stat.h>

#include <filesystem>

namespace fs = std::filesystem;

namespace {

constexpr int kMaxNameAttempts = 1000;

// What the compression queue hands back.
struct Outcome {
    bool ok = false;
    std::string archive;
    std::string error;
};

bool isRegularFileFollowingLink(const fs::directory_entry& entry)
{
    std::error_code ec;
    return entry.is_regular_file(ec); // a link to a file counts: the entry holds the file
}

} // namespace

std::shared_ptr<OVCompressingWindowController> OVCompressingWindowController::controllerWithPaths(
    std::vector<std::string> paths, std::string destinationFile, std::string password)
{
    auto controller = HLWindowController::controller<OVCompressingWindowController>();
    controller->paths_ = std::move(paths);
    controller->destinationFile_ = std::move(destinationFile);
    controller->password_ = std::move(password);
    controller->hl_viewDidLoad(); // the texts depend on the paths set just now
    return controller;
}

OVCompressingWindowController::~OVCompressingWindowController()
{
    if (pulseTimer_)
        pulseTimer_->invalidate();
}

void OVCompressingWindowController::hl_viewDidLoad()
{
    if (paths_.empty() || !window())
        return; // the first call comes from loading, before the paths are known
    const std::string first = paths_.size() == 1
                                  ? ov::stringPrintf("\"%s\"", ov::lastPathComponent(paths_.front()).c_str())
                                  : ov::stringPrintf("%ld items", long(paths_.size()));
    const std::string title =
        ov::stringPrintf("Compressing %s to \"%s\"", first.c_str(), ov::lastPathComponent(destinationFile_).c_str());
    gtk_window_set_title(window(), title.c_str());
    if (auto* label = outlet<GtkLabel>("titleLabel"))
        gtk_label_set_text(label, title.c_str());
    if (auto* image = outlet<GtkImage>("imageView")) {
        GIcon* icon = g_content_type_get_icon("application/zip");
        gtk_image_set_from_gicon(image, icon);
        g_object_unref(icon);
    }
    if (auto* label = outlet<GtkLabel>("progressLabel"))
        gtk_label_set_text(label, "Preparing to compress...");
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
        [weak, post, paths, destination = destinationFile_, password = password_, cancel = cancelled_] {
            Outcome outcome;
            try {
                // The name was free when chosen; whatever took it since only moves on to the next.
                std::unique_ptr<ZipArchiveWriter> writer;
                std::string archive = destination;
                ZipResult opened;
                for (int attempt = 0; attempt < kMaxNameAttempts; ++attempt) {
                    writer = std::make_unique<ZipArchiveWriter>(archive);
                    opened = writer->open();
                    if (opened.status != ZipStatus::DestinationExists)
                        break;
                    archive = hl_nextAvailablePath(archive);
                }
                outcome.archive = archive;
                if (!opened.ok())
                    throw std::runtime_error(opened.error);

                int64_t step = 0;
                auto add = [&](const std::string& source, const std::string& wanted) {
                    ZipResult r = writer->writeFileAtPath(source, writer->availableEntryName(wanted), password);
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
                    std::error_code ec;
                    for (fs::recursive_directory_iterator it(path, fs::directory_options::skip_permission_denied, ec), end;
                         !ec && it != end && !cancel->load(); it.increment(ec)) {
                        const std::string full = it->path().string();
                        if (full == archive)
                            continue; // the archive may be written inside a selected folder
                        if (isRegularFileFollowingLink(*it))
                            add(full, prefix + "/" + it->path().lexically_relative(path).generic_string());
                        else
                            ++step; // folders, links to folders and special files: no entry
                    }
                    if (ec)
                        throw std::runtime_error(path + ": " + ec.message());
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
    if (pulseTimer_)
        pulseTimer_->invalidate();
    auto defaults = OVUserDefaults::create();
    if (succeeded_) {
        if (defaults && defaults->showFileOnMoveCopyComplete())
            ov::revealFiles({destinationFile_});
        if (!(defaults && defaults->disableActionNotifications())) {
            OVUserNotification n;
            n.informativeText =
                ov::stringPrintf("Finished compressing '%s'", ov::lastPathComponent(destinationFile_).c_str());
            n.actionButtonTitle = "Show";
            n.path = destinationFile_;
            OVUserNotificationCenter::deliverNotification(n);
        }
    } else if (!cancelled()) {
        ov::ovLog("Could not compress because of error: %s", error_.c_str());
        OVUserNotification n;
        n.informativeText = "An error occurred while compressing these files.";
        n.hasActionButton = false;
        n.isError = true;
        OVUserNotificationCenter::deliverNotification(n);
    }
    close();
    if (auto block = std::move(completionBlock_))
        block(*this);
}
