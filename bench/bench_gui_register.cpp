// gui_register_1000, gui_register_5000: seconds to register that many answered devices into a
// real main window on the offscreen platform, list refills, log lines and painting included.
// The answers come in bursts: one event-loop pass (layout and paint) per 50 answers.
// gui_register_1000_one_per_pass, gui_register_5000_one_per_pass: the same with a pass after
// every answer, as answers that trickle in arrive (a sweep, late devices, a busy network);
// _cpu: the processor time of that run, which other programs on a busy machine do not inflate.
// The window runs in demonstration mode, so its start sends no discovery request.
#include "benchdevices.h"
#include "gui/app/form.h"
#include "core/app/settings.h"
#include "core/log/format.h"

#include <QApplication>
#include <QDir>

#include <chrono>
#include <ctime>
#include <cstdio>
#include <memory>
#include <random>
#include <vector>

namespace {

double Register(int count, int answersPerPass, double* cpuSeconds = nullptr)
{
    const std::string appDir = QDir(QCoreApplication::applicationDirPath()).absolutePath().toStdString() + "/";
    auto form = std::make_unique<TPyxetForm>(QStringList{QStringLiteral("-demo")}, appDir);
    form->show();
    QApplication::processEvents();
    const TProductTable products = SplitCommaText(kBuiltInOrvexTable);
    std::vector<std::unique_ptr<TProduct>> devices = MakeBenchDevices(count);

    const auto start = std::chrono::steady_clock::now();
    const std::clock_t cpuStart = std::clock();
    for (int i = 0; i < count; ++i) {
        form->AddDevice(std::move(devices[size_t(i)]), products, nullptr);
        if ((i + 1) % answersPerPass == 0)
            QApplication::processEvents();
    }
    QApplication::processEvents();
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (cpuSeconds)
        *cpuSeconds = double(std::clock() - cpuStart) / CLOCKS_PER_SEC;
    if (form->Devices.DeviceList().size() != size_t(count))
        std::fprintf(stderr, "bench_gui_register: %zu of %d devices listed\n", form->Devices.DeviceList().size(), count);
    return seconds;
}

} // namespace

int main(int argc, char* argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    Register(200, 50);  // warm up fonts, styles and the allocator
    std::printf("gui_register_1000 %.4f s\n", Register(1000, 50));
    std::printf("gui_register_5000 %.4f s\n", Register(5000, 50));
    double cpu = 0;
    std::printf("gui_register_1000_one_per_pass %.4f s\n", Register(1000, 1, &cpu));
    std::printf("gui_register_1000_one_per_pass_cpu %.4f s\n", cpu);
    std::printf("gui_register_5000_one_per_pass %.4f s\n", Register(5000, 1, &cpu));
    std::printf("gui_register_5000_one_per_pass_cpu %.4f s\n", cpu);
    return 0;
}
