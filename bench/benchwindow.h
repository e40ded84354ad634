// The main window of the list benchmarks: shown on the offscreen platform in demonstration mode
// (its start sends no discovery request), holding the answered devices of MakeBenchDevices,
// registered one event-loop pass per 50 answers, and painted.
#pragma once
#include "benchdevices.h"
#include "core/app/settings.h"
#include "core/log/format.h"
#include "gui/app/devicelistpanel.h"
#include "gui/app/form.h"
#include "gui/devices/devicelistmodel.h"

#include <QApplication>
#include <QDir>
#include <QTableView>

#include <chrono>
#include <ctime>
#include <memory>
#include <vector>

inline std::unique_ptr<TPyxetForm> BenchWindow()
{
    const std::string appDir = QDir(QCoreApplication::applicationDirPath()).absolutePath().toStdString() + "/";
    auto form = std::make_unique<TPyxetForm>(QStringList{QStringLiteral("-demo")}, appDir);
    form->show();
    QApplication::processEvents();
    return form;
}

// Registers these answered devices into the window, one event-loop pass per `answersPerPass`
// answers, then passes until every line is shown (a long list takes waiting lines in on a
// timer), and paints the list.
inline void FeedBenchDevices(TPyxetForm& form, std::vector<std::unique_ptr<TProduct>> devices, int answersPerPass = 50)
{
    const TProductTable products = SplitCommaText(kBuiltInOrvexTable);
    for (size_t i = 0; i < devices.size(); ++i) {
        form.AddDevice(std::move(devices[i]), products, nullptr);
        if ((i + 1) % size_t(answersPerPass) == 0)
            QApplication::processEvents();
    }
    QApplication::processEvents();
    auto* list = form.findChild<QTableView*>(QStringLiteral("DeviceListBox"));
    auto* rows = qobject_cast<TDeviceListModel*>(list->model());
    while (rows->WaitingRows() > 0)
        QApplication::processEvents(QEventLoop::WaitForMoreEvents, 10);
    list->viewport()->repaint();
}

// A window holding `count` devices, every line shown and painted.
inline std::unique_ptr<TPyxetForm> FilledBenchWindow(int count)
{
    std::unique_ptr<TPyxetForm> form = BenchWindow();
    FeedBenchDevices(*form, MakeBenchDevices(count));
    return form;
}

inline double MillisecondsSince(std::chrono::steady_clock::time_point since)
{
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - since).count();
}

// Processor time of the whole process since `since` (a std::clock() reading), which other
// programs on a busy machine do not inflate.
inline double CpuMillisecondsSince(std::clock_t since) { return double(std::clock() - since) * 1000 / CLOCKS_PER_SEC; }
