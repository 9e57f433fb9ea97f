// SPDX-License-Identifier: GPL-3.0-or-later
// Wake-up latency of the wormhole between two processes, and the memory of a listening process.
// Run without arguments; the program starts a copy of itself as the listener ("--child").
#include "BenchSupport.h"
#include "messaging/OVProtocol.h"
#include "messaging/OVWormhole.h"
#include "platform/Files.h"
#include "platform/MainContext.h"

#include <gio/gio.h>
#include <glib.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

constexpr int kPosts = 1000;
constexpr double kTargetP50Ms = 5, kTargetP99Ms = 20;

// The listener: answers each ping with a pong, then reports when each ping arrived.
int runChild()
{
    auto wormhole = OVProtocol::wormhole();
    if (!wormhole)
        return 1;
    std::vector<gint64> arrivals;
    arrivals.reserve(kPosts);
    bool done = false;
    wormhole->listenForMessageWithIdentifier(std::string("ping"), [&](const std::optional<OVValue>&) {
        arrivals.push_back(g_get_monotonic_time());
        wormhole->passMessageObject(std::nullopt, std::string("pong"));
    });
    wormhole->listenForMessageWithIdentifier(std::string("done"), [&](const std::optional<OVValue>&) { done = true; });
    const long rssListening = bench::residentKiB();
    wormhole->passMessageObject(std::nullopt, std::string("ready"));
    ov::iterateMainUntil([&] { return done; }, 120000);
    std::printf("rss %ld %ld\n", rssListening, bench::residentKiB());
    for (gint64 t : arrivals)
        std::printf("%lld\n", static_cast<long long>(t));
    return done ? 0 : 1;
}

double percentile(std::vector<double> values, double p)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    std::size_t index = std::min(values.size() - 1, std::size_t(p / 100.0 * double(values.size())));
    return values[index];
}

int runParent()
{
    // A private container, so the benchmark neither wakes nor disturbs a running system.
    char home[] = "/tmp/orvane-bench-XXXXXX";
    if (!g_mkdtemp(home))
        return 1;
    g_setenv("XDG_DATA_HOME", home, TRUE);
    g_setenv("XDG_CONFIG_HOME", home, TRUE);

    auto wormhole = OVProtocol::wormhole();
    int ready = 0, pongs = 0;
    wormhole->listenForMessageWithIdentifier(std::string("ready"), [&](const std::optional<OVValue>&) { ++ready; });
    wormhole->listenForMessageWithIdentifier(std::string("pong"), [&](const std::optional<OVValue>&) { ++pongs; });

    GError* error = nullptr;
    GSubprocess* child = g_subprocess_new(G_SUBPROCESS_FLAGS_STDOUT_PIPE, &error, "/proc/self/exe", "--child", nullptr);
    if (!child) {
        std::fprintf(stderr, "cannot start the listener: %s\n", error->message);
        return 1;
    }
    int status = 0;
    std::vector<gint64> sent;
    if (ov::iterateMainUntil([&] { return ready > 0; }, 10000)) {
        for (int i = 0; i < kPosts; ++i) {
            sent.push_back(g_get_monotonic_time());
            wormhole->passMessageObject(std::nullopt, std::string("ping"));
            // One post in flight at a time, so every wake-up is measured on its own.
            if (!ov::iterateMainUntil([&] { return pongs > i; }, 5000)) {
                std::fprintf(stderr, "no answer to post %d\n", i);
                break;
            }
        }
    } else {
        std::fprintf(stderr, "the listener never became ready\n");
        status = 1;
    }
    wormhole->passMessageObject(std::nullopt, std::string("done"));
    char* out = nullptr;
    g_subprocess_communicate_utf8(child, nullptr, nullptr, &out, nullptr, nullptr);
    g_subprocess_wait(child, nullptr, nullptr);
    g_object_unref(child);

    std::istringstream lines(out ? out : "");
    g_free(out);
    std::string word;
    long rssListening = -1, rssAfter = -1;
    lines >> word >> rssListening >> rssAfter;
    std::vector<double> latencies;
    long long arrival = 0;
    for (std::size_t i = 0; lines >> arrival && i < sent.size(); ++i)
        latencies.push_back(double(arrival - sent[i]) / 1000.0);

    std::error_code ec;
    std::filesystem::remove_all(home, ec);

    if (latencies.size() != std::size_t(kPosts)) {
        std::printf("wormhole wake-up: only %zu of %d posts arrived\n", latencies.size(), kPosts);
        return 1;
    }
    const double p50 = percentile(latencies, 50), p99 = percentile(latencies, 99);
    const double max = *std::max_element(latencies.begin(), latencies.end());
    std::printf("wormhole wake-up, post in one process to listener in another, %d posts:\n", kPosts);
    std::printf("  p50 %.3f ms (target < %.0f ms, %.0fx under)\n", p50, kTargetP50Ms, kTargetP50Ms / std::max(p50, 1e-3));
    std::printf("  p99 %.3f ms (target < %.0f ms, %.0fx under)\n", p99, kTargetP99Ms, kTargetP99Ms / std::max(p99, 1e-3));
    std::printf("  max %.3f ms\n", max);
    std::printf("RSS of a process listening on the wormhole: %ld KiB at start, %ld KiB after %d wake-ups\n",
                rssListening, rssAfter, kPosts);
    bench::tableRow("wormhole wake-up, p50", bench::format("%.3f ms", p50), "", 0, bench::format("< %.0f ms", kTargetP50Ms));
    bench::tableRow("wormhole wake-up, p99", bench::format("%.3f ms", p99), "", 0, bench::format("< %.0f ms", kTargetP99Ms));
    if (p50 >= kTargetP50Ms || p99 >= kTargetP99Ms)
        std::printf("  TARGET MISSED\n");
    return status;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc > 1 && std::strcmp(argv[1], "--child") == 0)
        return runChild();
    return runParent();
}
