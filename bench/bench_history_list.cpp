// history_list_10000: milliseconds to list a device's history of 10,000 kept versions, newest
// first with each one's changes, as `pyxet-cli history` and the compare window do. The target is
// under 100 ms. Also printed: the same list once the index is gone (every version read and
// compared with the one before it) and one more version kept on top of the 10,000.
#include "core/config/history.h"

#include <QByteArray>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <stdlib.h>

namespace {
using Clock = std::chrono::steady_clock;
constexpr int kVersions = 10000;
constexpr const char* kMac = "00:1A:2B:3C:4D:5E";
constexpr int64_t kStart = 1796897700;  // 2026-12-10 10:15:00 UTC

QByteArray Config(int n)
{
    return QByteArray("<?xml version=\"1.0\"?>\n<setup>\n  <snmp community=\"c") + QByteArray::number(n)
        + "\"/>\n  <name>Boiler room</name>\n</setup>\n";
}

double Ms(Clock::time_point from) { return std::chrono::duration<double, std::milli>(Clock::now() - from).count(); }

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}
}  // namespace

int main()
{
    char tmpl[] = "/tmp/pyxet-bench-history-XXXXXX";
    if (!mkdtemp(tmpl)) {
        std::perror("bench_history_list: mkdtemp");
        return 1;
    }
    const std::filesystem::path root = tmpl;
    THistory history(root.string(), 100000);
    // The versions as a long history leaves them: written straight into the device's folder,
    // then one keep builds the index from them.
    const std::filesystem::path folder = history.DeviceFolder(kMac);
    std::filesystem::create_directories(folder);
    for (int i = 0; i < kVersions - 1; ++i) {
        const QByteArray bytes = Config(i);
        std::ofstream(folder / (HistoryVersionName(kStart + i * 60) + ".xml"), std::ios::binary)
            .write(bytes.constData(), bytes.size());
    }
    Clock::time_point start = Clock::now();
    history.Keep(kMac, Config(kVersions), kStart + int64_t(kVersions) * 60);
    const double rebuildAndKeep = Ms(start);

    std::vector<double> list;
    size_t count = 0;
    for (int run = 0; run < 9; ++run) {
        start = Clock::now();
        count = history.Versions(kMac).size();
        list.push_back(Ms(start));
    }
    start = Clock::now();
    history.Keep(kMac, Config(kVersions + 1), kStart + int64_t(kVersions + 1) * 60);
    const double keepOne = Ms(start);

    std::filesystem::remove(folder / kHistoryIndexName);
    start = Clock::now();
    history.Versions(kMac);
    const double withoutIndex = Ms(start);
    std::filesystem::remove_all(root);

    if (count != size_t(kVersions)) {
        std::fprintf(stderr, "bench_history_list: %zu versions listed, not %d\n", count, kVersions);
        return 1;
    }
    std::printf("history_list_10000 %.1f ms\n", Median(list));
    std::printf("history_keep_on_10000 %.1f ms\n", keepOne);
    std::printf("history_list_10000_without_index %.1f ms\n", withoutIndex);
    std::printf("history_index_built_10000 %.1f ms\n", rebuildAndKeep);
    return 0;
}
