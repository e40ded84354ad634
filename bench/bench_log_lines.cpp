// gui_log_line, gui_log_line_report_open: microseconds per LogAction line on a shown main
// window (status panels painted at once) whose Log Report window exists hidden, or is open.
// Each figure is the mean over 10,000 lines logged after 20,000 others without a pass of the
// event loop, as a long command logs them, so a cost that grows with the log shows here.
// The window runs in demonstration mode, so its start sends no discovery request.
#include "gui/app/form.h"
#include "core/log/format.h"
#include "gui/log/logrep.h"

#include <QApplication>
#include <QDir>

#include <chrono>
#include <cstdio>
#include <memory>

namespace {

double MicrosecondsPerLine(bool reportOpen)
{
    const std::string appDir = QDir(QCoreApplication::applicationDirPath()).absolutePath().toStdString() + "/";
    auto form = std::make_unique<TPyxetForm>(QStringList{QStringLiteral("-demo")}, appDir);
    auto report = std::make_unique<TLogActionForm>();
    form->LogReport = report.get();
    form->show();
    if (reportOpen)
        report->show();
    QApplication::processEvents();

    auto log = [&](int i) {
        form->LogAction("Device Found", Format("Found Device %d device at 10.%d.%d.%d", i, (i >> 16) & 0xFF,
                                               (i >> 8) & 0xFF, i & 0xFF),
                        LOG_INFO);
    };
    for (int i = 0; i < 20000; ++i)
        log(i);
    QApplication::processEvents();

    constexpr int kLines = 10000;
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < kLines; ++i)
        log(20000 + i);
    const double us = std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count();
    QApplication::processEvents();
    return us / kLines;
}

} // namespace

int main(int argc, char* argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    std::printf("gui_log_line %.1f us\n", MicrosecondsPerLine(false));
    std::printf("gui_log_line_report_open %.1f us\n", MicrosecondsPerLine(true));
    return 0;
}
