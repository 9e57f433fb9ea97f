// SPDX-License-Identifier: GPL-3.0-or-later
// Image conversion and secure delete through their actions against the tools a user would run
// instead, in the same run: 500 selected photographs of 12 megapixels converted to JPEG and to PNG
// (the action's processes through their pool) against ImageMagick's convert one file after
// another, with the memory all the action's processes hold together; and 1 GiB in 1,000 selected
// files securely deleted against shred -n 1 -u.
//
// ORVANE_BENCH_PHOTOS (500) sets how many photographs are selected (they are links of at most 20
// distinct ones), ORVANE_BENCH_MEGAPIXELS (12) their size, ORVANE_BENCH_FORMATS ("jpeg,png") the
// conversions, ORVANE_BENCH_DELETE_FILES (1000) the files deleted.
#include "BenchSupport.h"

#include "model/OVConvertImageAction.h"
#include "model/OVSecureRemoveAction.h"
#include "model/OVUserDefaults.h"
#include "platform/GuiAlert.h"
#include "platform/MainContext.h"
#include "platform/Workspace.h"
#include "runner/OVRunBehaviours.h"

#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

int envInt(const char* name, int fallback)
{
    const char* value = std::getenv(name);
    return value && std::atoi(value) > 0 ? std::atoi(value) : fallback;
}

const int kPhotos = envInt("ORVANE_BENCH_PHOTOS", 500);
const int kDistinctPhotos = std::min(kPhotos, 20);
const int kMegapixels = envInt("ORVANE_BENCH_MEGAPIXELS", 12);
const int kPhotoWidth = int(std::lround(std::sqrt(kMegapixels * 1e6 * 4 / 3)));
const int kPhotoHeight = kPhotoWidth * 3 / 4;
const int kDeleteFiles = envInt("ORVANE_BENCH_DELETE_FILES", 1000);
constexpr std::size_t kDeleteFileSize = 1u << 20;
constexpr const char* kImageMagick = "/usr/bin/convert-im6.q16";

int spawnAndWait(const std::vector<std::string>& argv)
{
    std::vector<char*> args;
    for (const auto& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    pid_t pid;
    if (posix_spawn(&pid, args[0], nullptr, nullptr, args.data(), environ) != 0)
        return -1;
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool shell(const std::string& script) { return spawnAndWait({"/bin/sh", "-c", script}) == 0; }

double seconds(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

// Photographs (4000x3000 at 12 megapixels): smooth structure at three scales and sensor noise,
// each distinct one cut from a different place of a larger field and given noise of its own. The
// selection holds kPhotos names, links of the distinct ones in turn.
std::vector<std::string> makePhotographs(const std::string& folder)
{
    fs::create_directories(folder);
    const std::string f = folder + "/";
    const std::string w = std::to_string(kPhotoWidth), h = std::to_string(kPhotoHeight);
    const std::string fw = std::to_string(kPhotoWidth * 6 / 5), fh = std::to_string(kPhotoHeight * 6 / 5);
    const std::string field = "vips perlin " + f + "p1.v " + fw + " " + fh + " --cell-size 400 && vips perlin " + f
        + "p2.v " + fw + " " + fh + " --cell-size 97 && vips perlin " + f + "p3.v " + fw + " " + fh
        + " --cell-size 23 && vips bandjoin \"" + f + "p1.v " + f + "p2.v " + f + "p3.v\" " + f + "pj.v && vips linear "
        + f + "pj.v " + f + "field.v \"110 90 70\" \"128 120 110\"";
    if (!shell(field)) {
        std::fprintf(stderr, "cannot make the photographs (vips from libvips-tools is needed)\n");
        std::exit(1);
    }
    std::vector<std::string> distinct;
    for (int i = 0; i < kDistinctPhotos; ++i) {
        std::string name = f + "distinct-" + std::to_string(i) + ".jpg";
        int x = (i * 37) % (kPhotoWidth / 5), y = (i * 53) % (kPhotoHeight / 5);
        std::string script = "vips crop " + f + "field.v " + f + "c.v " + std::to_string(x) + " " + std::to_string(y) + " "
            + w + " " + h + " && vips gaussnoise " + f + "n.v " + w + " " + h + " --sigma 6 --mean 0 && vips add " + f
            + "c.v " + f + "n.v " + f + "s.v && vips cast " + f + "s.v " + f + "u.v uchar && vips copy " + f + "u.v '"
            + name + "[Q=92]'";
        if (!shell(script)) {
            std::fprintf(stderr, "cannot make photograph %d\n", i);
            std::exit(1);
        }
        distinct.push_back(name);
    }
    shell("rm -f " + f + "*.v");
    std::vector<std::string> photos;
    for (int i = 0; i < kPhotos; ++i) {
        std::string name = f + "photo-" + std::to_string(i) + ".jpg";
        fs::create_hard_link(distinct[std::size_t(i) % distinct.size()], name);
        photos.push_back(name);
    }
    sync();
    return photos;
}

// The resident memory of every process below this one, summed, sampled every few milliseconds
// while a run goes on; and how many image tools ran at once.
class DescendantSampler {
public:
    void start()
    {
        stop_ = false;
        peakKiB_ = 0;
        peakTools_ = 0;
        thread_ = std::thread([this] {
            while (!stop_) {
                sample();
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            }
        });
    }
    void stop()
    {
        stop_ = true;
        if (thread_.joinable())
            thread_.join();
    }
    long peakKiB() const { return peakKiB_; }
    int peakTools() const { return peakTools_; }

private:
    void sample()
    {
        struct Process {
            long parent = 0;
            long rssKiB = 0;
            bool tool = false;
        };
        std::map<long, Process> processes;
        const long pageKiB = sysconf(_SC_PAGESIZE) / 1024;
        for (const auto& entry : fs::directory_iterator("/proc", fs::directory_options::skip_permission_denied)) {
            const std::string name = entry.path().filename().string();
            if (name.empty() || name.find_first_not_of("0123456789") != std::string::npos)
                continue;
            std::ifstream stat(entry.path() / "stat");
            std::string line;
            if (!std::getline(stat, line))
                continue;
            auto open = line.find('('), close = line.rfind(')');
            if (open == std::string::npos || close == std::string::npos)
                continue;
            std::istringstream rest(line.substr(close + 2));
            std::string field;
            std::vector<std::string> fields;
            while (rest >> field)
                fields.push_back(field);
            if (fields.size() < 22)
                continue;
            Process p;
            p.parent = std::atol(fields[1].c_str());
            p.rssKiB = std::atol(fields[21].c_str()) * pageKiB;
            p.tool = line.substr(open + 1, close - open - 1) == "orvane-sips";
            processes[std::atol(name.c_str())] = p;
        }
        long sum = 0;
        int tools = 0;
        const long self = getpid();
        for (const auto& [pid, p] : processes) {
            long up = p.parent;
            for (int depth = 0; depth < 16 && up > 1 && up != self; ++depth) {
                auto it = processes.find(up);
                up = it == processes.end() ? 0 : it->second.parent;
            }
            if (up == self && pid != self) {
                sum += p.rssKiB;
                tools += p.tool ? 1 : 0;
            }
        }
        peakKiB_ = std::max<long>(peakKiB_.load(), sum);
        peakTools_ = std::max(peakTools_.load(), tools);
    }

    std::thread thread_;
    std::atomic<bool> stop_{false};
    std::atomic<long> peakKiB_{0};
    std::atomic<int> peakTools_{0};
};

void pumpUntil(const bool& done)
{
    while (!done)
        ov::iterateMainUntil([&] { return done; }, 1000);
}

// Links of the photographs in a folder of their own, so each run writes beside its own copies.
std::vector<std::string> linkInto(const std::vector<std::string>& photos, const std::string& folder)
{
    fs::create_directories(folder);
    std::vector<std::string> links;
    for (const auto& p : photos) {
        std::string link = folder + "/" + fs::path(p).filename().string();
        fs::create_hard_link(p, link);
        links.push_back(link);
    }
    return links;
}

// The size of the files a conversion wrote in a folder: the ones with the extension that are not
// links of the photographs.
std::uintmax_t sizeOfOutputs(const std::string& folder, const std::string& extension)
{
    std::uintmax_t total = 0;
    for (const auto& entry : fs::directory_iterator(folder))
        if (entry.path().extension() == extension && entry.hard_link_count() == 1)
            total += entry.file_size();
    return total;
}

struct Conversion {
    double actionSeconds = 0;
    double magickSeconds = 0;
    std::uintmax_t actionBytes = 0;
    std::uintmax_t magickBytes = 0;
    long peakKiB = 0;        // the most any one conversion process held
    long peakTogetherKiB = 0; // the most the action's processes held together
    int peakProcesses = 0;
    long magickPeakKiB = 0;
};

Conversion convert(const std::vector<std::string>& photos, const std::string& work, const std::string& format,
                   const std::string& extension, const std::string& rssLog)
{
    Conversion c;
    auto inputs = linkInto(photos, work + "/action-" + extension);
    auto action = OVAction::action<OVConvertImageAction>();
    action->setOutputFormat(format);
    action->setOutputExtension(extension);
    fs::remove(rssLog);
    bool done = false, ok = false;
    DescendantSampler sampler;
    sampler.start();
    auto start = Clock::now();
    OVRunAction(*action, inputs, [&](bool success, std::optional<OVError>) {
        ok = success;
        done = true;
    });
    pumpUntil(done);
    c.actionSeconds = seconds(start);
    sampler.stop();
    c.peakTogetherKiB = sampler.peakKiB();
    c.peakProcesses = sampler.peakTools();
    if (!ok)
        std::fprintf(stderr, "the conversion to %s failed\n", format.c_str());
    c.actionBytes = sizeOfOutputs(work + "/action-" + extension, "." + extension);
    std::ifstream log(rssLog);
    for (long kib; log >> kib;)
        c.peakKiB = std::max(c.peakKiB, kib);

    std::string magickFolder = work + "/magick-" + extension;
    fs::create_directories(magickFolder);
    start = Clock::now();
    for (const auto& p : photos) {
        auto cost = bench::runCommand({kImageMagick, p, magickFolder + "/" + fs::path(p).stem().string() + "." + extension});
        c.magickPeakKiB = std::max(c.magickPeakKiB, cost.peakKiB);
    }
    c.magickSeconds = seconds(start);
    c.magickBytes = sizeOfOutputs(magickFolder, "." + extension);
    return c;
}

std::vector<std::string> makeDeleteFiles(const std::string& folder)
{
    fs::create_directories(folder);
    std::vector<std::string> files;
    std::vector<std::uint64_t> block(kDeleteFileSize / 8);
    std::uint64_t x = 0x9E3779B97F4A7C15ull ^ std::uint64_t(getpid());
    for (int i = 0; i < kDeleteFiles; ++i) {
        for (auto& v : block) {
            x ^= x << 13, x ^= x >> 7, x ^= x << 17;
            v = x;
        }
        std::string path = folder + "/file-" + std::to_string(i) + ".bin";
        std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(block.data()), std::streamsize(kDeleteFileSize));
        files.push_back(path);
    }
    return files;
}

double secureDeleteWithAction(const OVPaths& paths)
{
    auto action = OVAction::action<OVSecureRemoveAction>();
    ov::setAlertPresenter([](const ov::AlertRequest& request, std::function<void(int)> done) {
        done(request.textField && request.textField->enablesFirstButton("DELETE") ? 0 : 1);
    });
    bool confirmed = false, cancelled = true;
    OVBeforeRunAction(*action, paths, [&](bool c) {
        cancelled = c;
        confirmed = true;
    });
    pumpUntil(confirmed);
    bool done = false, ok = false;
    auto start = Clock::now();
    if (!cancelled)
        OVRunAction(*action, paths, [&](bool success, std::optional<OVError>) {
            ok = success;
            done = true;
        });
    else
        done = true;
    pumpUntil(done);
    double elapsed = seconds(start);
    if (!ok)
        std::fprintf(stderr, "secure delete failed\n");
    return elapsed;
}

double shred(const std::vector<std::string>& files)
{
    std::vector<std::string> argv = {"/usr/bin/shred", "-n", "1", "-u"};
    argv.insert(argv.end(), files.begin(), files.end());
    auto start = Clock::now();
    if (spawnAndWait(argv) != 0)
        std::fprintf(stderr, "shred failed\n");
    return seconds(start);
}

} // namespace

int main()
{
    std::string home = bench::makePrivateHome();
    OVUserDefaults::create()->setDisableActionNotifications(true);
    ov::setWorkspaceRecorder(ov::WorkspaceRecorder{[](const std::string&, const std::vector<std::string>&) {}});
    if (access(kImageMagick, X_OK) != 0) {
        std::fprintf(stderr, "%s is needed (imagemagick)\n", kImageMagick);
        return 1;
    }

    // Every conversion process reports its peak resident memory through GNU time.
    std::string tools = home + "/tools";
    fs::create_directories(tools);
    char self[4096] = {0};
    ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    std::string buildTools = fs::path(std::string(self, n > 0 ? std::size_t(n) : 0)).parent_path().parent_path() / "tools";
    std::string rssLog = home + "/rss.log";
    std::ofstream(tools + "/orvane-sips") << "#!/bin/sh\nexec /usr/bin/time -a -o '" << rssLog << "' -f %M '" << buildTools
                                          << "/orvane-sips' \"$@\"\n";
    fs::permissions(tools + "/orvane-sips", fs::perms::owner_all);
    fs::create_symlink(buildTools + "/orvane-rm", tools + "/orvane-rm");
    setenv("ORVANE_TOOLS_DIR", tools.c_str(), 1);

    std::string work = home + "/work";
    std::printf("making %d photographs of %d megapixels (%d distinct)...\n", kPhotos, kMegapixels, kDistinctPhotos);
    std::fflush(stdout);
    auto photos = makePhotographs(work + "/photos");

    const std::string formats = std::getenv("ORVANE_BENCH_FORMATS") ? std::getenv("ORVANE_BENCH_FORMATS") : "jpeg,png";
    for (auto [format, extension] : {std::pair<const char*, const char*>{"jpeg", "jpg"}, {"png", "png"}}) {
        if (formats.find(format) == std::string::npos)
            continue;
        Conversion c = convert(photos, work, format, extension, rssLog);
        std::printf("convert %d photographs of %d MP to %s: action %.2f s (%.2f photos/s), ImageMagick one by one %.2f s "
                    "(%.2f photos/s), throughput ratio %.2fx; output %.1f MiB vs %.1f MiB (size ratio %.3f); "
                    "peak RSS per process %.1f MiB (ImageMagick %.1f MiB); the action's processes together at most "
                    "%.1f MiB, %d at once\n",
                    kPhotos, kMegapixels, format, c.actionSeconds, kPhotos / c.actionSeconds, c.magickSeconds,
                    kPhotos / c.magickSeconds, c.magickSeconds / c.actionSeconds, c.actionBytes / 1048576.0,
                    c.magickBytes / 1048576.0, double(c.actionBytes) / double(c.magickBytes), c.peakKiB / 1024.0,
                    c.magickPeakKiB / 1024.0, c.peakTogetherKiB / 1024.0, c.peakProcesses);
        bench::tableRow(bench::format("convert %d photographs of %d MP to %s", kPhotos, kMegapixels, format),
                        bench::format("%.2f s", c.actionSeconds), bench::format("ImageMagick %.2f s", c.magickSeconds),
                        c.magickSeconds / c.actionSeconds);
        bench::tableRow(bench::format("convert to %s, memory of all processes at once", format),
                        bench::format("%.0f MiB (%d processes)", c.peakTogetherKiB / 1024.0, c.peakProcesses),
                        bench::format("ImageMagick %.0f MiB", c.magickPeakKiB / 1024.0), 0, "< 1024 MiB");
        std::fflush(stdout);
        fs::remove_all(work + "/action-" + extension);
        fs::remove_all(work + "/magick-" + extension);
    }

    const double mib = double(kDeleteFiles) * kDeleteFileSize / 1048576.0;
    auto forShred = makeDeleteFiles(work + "/shred");
    auto forFolder = makeDeleteFiles(work + "/folder");
    auto forItems = makeDeleteFiles(work + "/items");
    sync();
    double shredSeconds = shred(forShred);
    double folderSeconds = secureDeleteWithAction({work + "/folder"});
    double itemsSeconds = secureDeleteWithAction(forItems);
    std::printf("secure delete %.0f MiB in %d files: shred -n 1 -u %.2f s (%.0f MiB/s); action on the folder %.2f s "
                "(%.0f MiB/s, ratio %.2fx); action on the %d files %.2f s (%.0f MiB/s, ratio %.2fx)\n",
                mib, kDeleteFiles, shredSeconds, mib / shredSeconds, folderSeconds, mib / folderSeconds,
                shredSeconds / folderSeconds, kDeleteFiles, itemsSeconds, mib / itemsSeconds, shredSeconds / itemsSeconds);
    const std::string shredFigure = bench::format("shred -n 1 -u %.2f s", shredSeconds);
    bench::tableRow(bench::format("secure delete %.0f MiB, the folder", mib), bench::format("%.2f s", folderSeconds),
                    shredFigure, shredSeconds / folderSeconds);
    bench::tableRow(bench::format("secure delete %.0f MiB, %d files", mib, kDeleteFiles),
                    bench::format("%.2f s", itemsSeconds), shredFigure, shredSeconds / itemsSeconds, ">= 0.9x");
    ov::setAlertPresenter(std::nullopt);
    fs::remove_all(home);
    return 0;
}
