// gui_search_5000, gui_search_30000: milliseconds from one more character typed into the search
// field to the narrowed list laid out and painted, in a real main window on the offscreen
// platform holding that many devices (ten types, names "Device N"). The figure is the slowest of
// the characters of "device 4217" typed one by one, then deleted one by one (the list grows back
// to every row), after one such round to warm up. Each step includes the details of the first
// row shown (picture included), as the window shows them after every refill.
// gui_search_30000_cpu: the processor time of the slowest character by that measure.
// gui_search_30000_peak_mb: the whole process's peak resident memory while the window of 30,000
// devices is made, filled and searched (from the memory resident before it).
// BENCH_VERBOSE=1 prints each step.
#include "benchwindow.h"

#include <QApplication>
#include <QLineEdit>
#include <QTableView>
#include <QLineEdit>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <vector>

namespace {

struct TSlowest {
    double Milliseconds = 0;
    double CpuMilliseconds = 0;
};

TSlowest SlowestKeystroke(int count)
{
    std::unique_ptr<TPyxetForm> form = FilledBenchWindow(count);
    auto* search = form->findChild<QLineEdit*>(QStringLiteral("teSearch"));
    auto* list = form->findChild<QTableView*>(QStringLiteral("DeviceListBox"));
    const QString text = QStringLiteral("device 4217");
    TSlowest slowest;
    std::vector<int> rows;
    auto type = [&](const QString& now) {
        const auto start = std::chrono::steady_clock::now();
        const std::clock_t cpuStart = std::clock();
        search->setText(now);
        QApplication::processEvents();
        list->viewport()->repaint();
        slowest.Milliseconds = std::max(slowest.Milliseconds, MillisecondsSince(start));
        slowest.CpuMilliseconds = std::max(slowest.CpuMilliseconds, CpuMillisecondsSince(cpuStart));
        if (qEnvironmentVariableIsSet("BENCH_VERBOSE"))
            std::fprintf(stderr, "%d rows, \"%s\": %.2f ms\n", count, qPrintable(now), MillisecondsSince(start));
        rows.push_back(list->model()->rowCount());
    };
    auto typeAndDelete = [&] {
        for (int n = 1; n <= text.size(); ++n)
            type(text.left(n));
        for (int n = int(text.size()) - 1; n >= 0; --n)
            type(text.left(n));
    };
    typeAndDelete();  // warm-up: the first narrowed views lay out fonts and caches once
    slowest = {};
    rows.clear();
    typeAndDelete();
    if (rows[size_t(text.size()) - 1] != 1 || rows.back() != count)
        std::fprintf(stderr, "bench_gui_search: %d rows for the whole text, %d for none\n",
                     rows[size_t(text.size()) - 1], rows.back());
    return slowest;
}

}  // namespace

int main(int argc, char* argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    std::printf("gui_search_5000 %.2f ms\n", SlowestKeystroke(5000).Milliseconds);
    ResetPeakMemory();
    const TSlowest slowest = SlowestKeystroke(30000);
    std::printf("gui_search_30000 %.2f ms\n", slowest.Milliseconds);
    std::printf("gui_search_30000_cpu %.2f ms\n", slowest.CpuMilliseconds);
    std::printf("gui_search_30000_peak_mb %.1f MB\n", PeakMemoryMB());
    return 0;
}
