// gui_register_1000, gui_register_5000: seconds to register that many answered devices into a
// real main window on the offscreen platform, list refills, log lines and painting included.
// The answers come in bursts: one event-loop pass (layout and paint) per 50 answers.
// gui_register_1000_one_per_pass, gui_register_5000_one_per_pass: the same with a pass after
// every answer, as answers that trickle in arrive (a sweep, late devices, a busy network);
// _cpu: the processor time of that run, which other programs on a busy machine do not inflate.
// The window runs in demonstration mode, so its start sends no discovery request.
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

class TBenchDevice : public TProduct {
public:
    void Update() override {}
    void FactoryDefault() override {}
    void Restart() override {}
};

std::vector<std::unique_ptr<TProduct>> MakeDevices(int count)
{
    static const int kTypes[] = {0, 1, 2, 3, 4, 20, 32, 33, 34, 35};
    std::vector<std::unique_ptr<TProduct>> devices;
    for (int i = 0; i < count; ++i) {
        auto d = std::make_unique<TBenchDevice>();
        d->Info.TypeCode = kTypes[i % 10];
        d->Info.MAC = Format("00:0A:14:%2.2x:%2.2x:%2.2x", (i >> 16) & 0xFF, (i >> 8) & 0xFF, i & 0xFF);
        d->Info.Name = Format("Device %d", i);
        d->Info.PeerIP = Format("10.%d.%d.%d", (i >> 16) & 0xFF, (i >> 8) & 0xFF, i & 0xFF);
        d->Info.IP = d->Info.PeerIP;
        d->Info.Mask = "255.0.0.0";
        d->Info.Gateway = d->Info.DNS1 = d->Info.DNS2 = "10.0.0.1";
        d->Info.FirmwareRev = "1.4.2";
        d->Info.HTTPPort = 80;
        d->Info.TelnetPort = 23;
        d->Info.CanSetDefault = d->Info.CanRestart = true;
        devices.push_back(std::move(d));
    }
    std::shuffle(devices.begin(), devices.end(), std::mt19937(12345));
    return devices;
}

double Register(int count, int answersPerPass, double* cpuSeconds = nullptr)
{
    const std::string appDir = QDir(QCoreApplication::applicationDirPath()).absolutePath().toStdString() + "/";
    auto form = std::make_unique<TPyxetForm>(QStringList{QStringLiteral("-demo")}, appDir);
    form->show();
    QApplication::processEvents();
    const TProductTable products = SplitCommaText(kBuiltInOrvexTable);
    std::vector<std::unique_ptr<TProduct>> devices = MakeDevices(count);

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
