// gui_register_1000, gui_register_5000, gui_register_30000: seconds to register that many
// answered devices into a real main window on the offscreen platform, list refills, log lines
// and painting included, until every line is shown and painted. The answers come in bursts: one
// event-loop pass (layout and paint) per 50 answers.
// gui_register_30000_cpu: the processor time of that run.
// gui_register_30000_peak_mb: the whole process's peak resident memory while that window is
// made and fills with 30,000 devices (from the memory resident before it).
// gui_register_1000_one_per_pass, gui_register_5000_one_per_pass: the same with a pass after
// every answer, as answers that trickle in arrive (a sweep, late devices, a busy network);
// _cpu: the processor time of that run, which other programs on a busy machine do not inflate.
// The window runs in demonstration mode, so its start sends no discovery request.
#include "benchwindow.h"

#include <QApplication>

#include <chrono>
#include <cstdio>
#include <ctime>
#include <memory>
#include <vector>

namespace {

double Register(int count, int answersPerPass, double* cpuSeconds = nullptr)
{
    std::unique_ptr<TPyxetForm> form = BenchWindow();
    std::vector<std::unique_ptr<TProduct>> devices = MakeBenchDevices(count);

    const auto start = std::chrono::steady_clock::now();
    const std::clock_t cpuStart = std::clock();
    FeedBenchDevices(*form, std::move(devices), answersPerPass);
    const double seconds = MillisecondsSince(start) / 1000;
    if (cpuSeconds)
        *cpuSeconds = double(std::clock() - cpuStart) / CLOCKS_PER_SEC;
    if (form->findChild<TDeviceListPanel*>(QStringLiteral("DeviceListPanel"))->RowCount() != count)
        std::fprintf(stderr, "bench_gui_register: %d of %d devices listed\n", form->findChild<TDeviceListPanel*>(QStringLiteral("DeviceListPanel"))->RowCount(), count);
    return seconds;
}

}  // namespace

int main(int argc, char* argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    Register(200, 50);  // warm up fonts, styles and the allocator
    std::printf("gui_register_1000 %.4f s\n", Register(1000, 50));
    std::printf("gui_register_5000 %.4f s\n", Register(5000, 50));
    ResetPeakMemory();
    double cpu = 0;
    std::printf("gui_register_30000 %.4f s\n", Register(30000, 50, &cpu));
    std::printf("gui_register_30000_cpu %.4f s\n", cpu);
    std::printf("gui_register_30000_peak_mb %.1f MB\n", PeakMemoryMB());
    std::printf("gui_register_1000_one_per_pass %.4f s\n", Register(1000, 1, &cpu));
    std::printf("gui_register_1000_one_per_pass_cpu %.4f s\n", cpu);
    std::printf("gui_register_5000_one_per_pass %.4f s\n", Register(5000, 1, &cpu));
    std::printf("gui_register_5000_one_per_pass_cpu %.4f s\n", cpu);
    return 0;
}
