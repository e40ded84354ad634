// config_compare_1mib: milliseconds to read two configurations of 1 MiB each and compare them as
// trees, as the window does for a compare of two devices (both read at once, on two threads):
// sections of repeated elements with ids (in another order on the right), attributes, texts, a
// few hundred values changed. The target is under 50 ms. Also printed: the processor time of the
// same (both threads; the wall time counts the waits for a processor on a busy machine), the
// same read one file after the other on one thread, the read of one file and the compare alone.
#include "core/config/compare.h"
#include "core/config/configdoc.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// About `bytes` of configuration; `variant` 1 reorders the channels and changes every 97th value.
QByteArray MakeConfig(qsizetype bytes, int variant)
{
    std::string text = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<!-- generated -->\n<setup version=\"3\">\n"
                       "  <network dhcp=\"0\">\n    <ip>10.0.0.5</ip>\n    <mask>255.255.255.0</mask>\n  </network>\n";
    int section = 0;
    while (static_cast<qsizetype>(text.size()) < bytes) {
        text += "  <section id=\"" + std::to_string(section) + "\" name=\"Section " + std::to_string(section) + "\">\n";
        std::vector<int> order(32);
        for (int i = 0; i < 32; ++i)
            order[i] = variant ? 31 - i : i;
        for (int i : order) {
            const int n = section * 32 + i;
            const bool changed = variant && n % 97 == 0;
            text += "    <channel id=\"" + std::to_string(i) + "\" low=\"" + std::to_string(n % 50) + "\" high=\"" +
                    std::to_string(changed ? 999 : 50 + n % 50) + "\" unit=\"C\">\n";
            text += "      <name>Channel " + std::to_string(n) + "</name>\n";
            text += "      <alarm enabled=\"1\"><mail>ops@example.com</mail><delay>" + std::to_string(n % 60) +
                    "</delay></alarm>\n";
            text += "    </channel>\n";
        }
        text += "  </section>\n";
        ++section;
    }
    text += "</setup>\n";
    return QByteArray::fromStdString(text);
}

double Milliseconds(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

// The processor time of the process (all its threads): what the work costs, whatever else the
// machine runs.
double CpuMilliseconds()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
}

double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

}  // namespace

int main()
{
    const QByteArray left = MakeConfig(1024 * 1024, 0);
    const QByteArray right = MakeConfig(1024 * 1024, 1);
    std::vector<double> whole, cpu, oneThread, oneThreadCpu, read, compare;
    size_t differences = 0;
    for (int run = 0; run < 7; ++run) {
        // Both files at once, as a compare of two devices reads them.
        double c0 = CpuMilliseconds();
        auto t0 = Clock::now();
        const auto [a, b] = ReadConfigPair(left, right);
        const std::vector<TConfigDifference> found = CompareConfigs(a, b);
        auto t1 = Clock::now();
        double c1 = CpuMilliseconds();
        if (!a.Ok || !b.Ok) {
            std::fprintf(stderr, "bench_config_compare: %s%s\n", a.Error.c_str(), b.Error.c_str());
            return 1;
        }
        differences = found.size();
        whole.push_back(Milliseconds(t1 - t0));
        cpu.push_back(c1 - c0);

        // One after the other on this thread.
        c0 = CpuMilliseconds();
        t0 = Clock::now();
        const TConfigDocument x = ReadConfig(left);
        t1 = Clock::now();
        const TConfigDocument y = ReadConfig(right);
        const auto t2 = Clock::now();
        const std::vector<TConfigDifference> again = CompareConfigs(x, y);
        const auto t3 = Clock::now();
        c1 = CpuMilliseconds();
        if (again != found) {
            std::fprintf(stderr, "bench_config_compare: the two reads differ\n");
            return 1;
        }
        oneThread.push_back(Milliseconds(t3 - t0));
        oneThreadCpu.push_back(c1 - c0);
        read.push_back(Milliseconds(t1 - t0));
        compare.push_back(Milliseconds(t3 - t2));
    }
    std::printf("config_compare_1mib %.1f ms\n", Median(whole));
    std::printf("config_compare_1mib_cpu %.1f ms\n", Median(cpu));
    std::printf("config_compare_1mib_one_thread %.1f ms\n", Median(oneThread));
    std::printf("config_compare_1mib_one_thread_cpu %.1f ms\n", Median(oneThreadCpu));
    std::printf("config_read_1mib %.1f ms\n", Median(read));
    std::printf("config_tree_compare_1mib %.1f ms\n", Median(compare));
    std::printf("config_compare_1mib_differences %zu count\n", differences);
    return 0;
}
