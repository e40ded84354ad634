// gui_search_5000: milliseconds from one more character typed into the search field to the
// narrowed list laid out and painted, in a real main window on the offscreen platform holding
// 5,000 devices (ten types, names "Device N"). The figure is the slowest of the characters of
// "device 4217" typed one by one, then deleted one by one (the list grows back to 5,000 rows),
// after one such round to warm up. Each step includes the details of the first row shown
// (picture included), as the window shows them after every refill. BENCH_VERBOSE=1 prints
// each step.
#include "benchdevices.h"
#include "gui/app/form.h"
#include "core/app/settings.h"
#include "core/log/format.h"
#include "ui_form.h"

#include <QApplication>
#include <QDir>
#include <QLineEdit>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <random>
#include <vector>

namespace {

double Milliseconds(std::chrono::steady_clock::time_point since)
{
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - since).count();
}

} // namespace

int main(int argc, char* argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const std::string appDir = QDir(QCoreApplication::applicationDirPath()).absolutePath().toStdString() + "/";
    auto form = std::make_unique<TPyxetForm>(QStringList{QStringLiteral("-demo")}, appDir);
    form->show();
    QApplication::processEvents();
    const TProductTable products = SplitCommaText(kBuiltInOrvexTable);
    std::vector<std::unique_ptr<TProduct>> devices = MakeBenchDevices(5000);
    for (auto& device : devices)
        form->AddDevice(std::move(device), products, nullptr);
    QApplication::processEvents();

    QLineEdit* search = form->ui()->teSearch;
    const QString text = QStringLiteral("device 4217");
    double slowest = 0;
    std::vector<int> rows;
    auto type = [&](const QString& now) {
        const auto start = std::chrono::steady_clock::now();
        search->setText(now);
        QApplication::processEvents();
        form->ui()->DeviceListBox->viewport()->repaint();
        slowest = std::max(slowest, Milliseconds(start));
        if (qEnvironmentVariableIsSet("BENCH_VERBOSE"))
            std::fprintf(stderr, "%s: %.2f ms\n", qPrintable(now), Milliseconds(start));
        rows.push_back(form->ui()->DeviceListBox->model()->rowCount());
    };
    auto typeAndDelete = [&] {
        for (int n = 1; n <= text.size(); ++n)
            type(text.left(n));
        for (int n = int(text.size()) - 1; n >= 0; --n)
            type(text.left(n));
    };
    typeAndDelete();  // warm-up: the first narrowed views lay out fonts and caches once
    slowest = 0;
    rows.clear();
    typeAndDelete();
    if (rows[text.size() - 1] != 1 || rows.back() != 5000)
        std::fprintf(stderr, "bench_gui_search: %d rows for the whole text, %d for none\n", rows[text.size() - 1],
                     rows.back());
    std::printf("gui_search_5000 %.2f ms\n", slowest);
    return 0;
}
