// gui_sort_30000: milliseconds from a click on a column of the device list's header to the list
// sorted, laid out and painted, in a real main window on the offscreen platform holding 30,000
// devices (ten types, names "Device N"). The figure is the slowest click of a round over the
// five columns, each clicked twice (both directions), after one such round to warm up. Each
// click includes the details of the first row (picture included), as the window shows them
// after every sort.
// gui_sort_30000_cpu: the processor time of the slowest click by that measure.
// gui_sort_30000_peak_mb: the whole process's peak resident memory while that window is made,
// filled and sorted.
// BENCH_VERBOSE=1 prints each click.
#include "benchwindow.h"

#include "gui/app/devicelistpanel.h"

#include <QApplication>
#include <QHeaderView>
#include <QTableView>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <memory>

int main(int argc, char* argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int count = 30000;
    std::unique_ptr<TPyxetForm> form = FilledBenchWindow(count);
    auto* list = form->findChild<QTableView*>(QStringLiteral("DeviceListBox"));
    auto* panel = form->findChild<TDeviceListPanel*>(QStringLiteral("DeviceListPanel"));
    QHeaderView* header = list->horizontalHeader();
    double slowest = 0;
    double slowestCpu = 0;
    auto round = [&] {
        for (int column = 0; column < header->count(); ++column)
            for (int click = 0; click < 2; ++click) {
                const auto start = std::chrono::steady_clock::now();
                const std::clock_t cpuStart = std::clock();
                emit header->sectionClicked(column);
                QApplication::processEvents();
                list->viewport()->repaint();
                const double ms = MillisecondsSince(start);
                slowest = std::max(slowest, ms);
                slowestCpu = std::max(slowestCpu, CpuMillisecondsSince(cpuStart));
                if (qEnvironmentVariableIsSet("BENCH_VERBOSE"))
                    std::fprintf(stderr, "column %d %s: %.2f ms\n", column,
                                 panel->SortAscending() ? "ascending" : "descending", ms);
                if (panel->RowCount() != count)
                    std::fprintf(stderr, "bench_gui_sort: %d of %d rows\n", panel->RowCount(), count);
            }
    };
    round();  // warm-up
    slowest = slowestCpu = 0;
    round();
    std::printf("gui_sort_30000 %.2f ms\n", slowest);
    std::printf("gui_sort_30000_cpu %.2f ms\n", slowestCpu);
    std::printf("gui_sort_30000_peak_mb %.1f MB\n", PeakMemoryMB());
    return 0;
}
