// The window's firmware upgrade of the slowed devices the lab serves (run inside it by
// bench_lab_gui_jobs; not a bench_ program itself, as it needs the lab): every device found is checked and upgraded with the image given, first one
// after another, then eight at once. Prints
//   gui_upgrade_50          seconds, one after another
//   gui_upgrade_50_jobs8    seconds, eight at once
//   gui_jobs8_loop_gap_ms   the longest time between two passes of the window's event loop while
//                           eight transfers run
#include "core/app/i18n.h"
#include "core/http/http.h"
#include "gui/app/batchcontroller.h"
#include "gui/app/dialogs.h"
#include "gui/app/form.h"
#include "gui/app/translate.h"
#include "gui/devices/devicelistmodel.h"
#include "gui/http/login.h"
#include "gui/http/upgrade.h"
#include "gui/windows/progressinfo.h"

#include <QTableView>

#include <QAbstractItemView>
#include <QAction>
#include <QApplication>
#include <QEventLoop>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <clocale>
#include <cstdio>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    std::setlocale(LC_NUMERIC, "C");  // figures with a decimal point whatever the user's language
    if (argc != 3) {
        std::fprintf(stderr, "usage: lab_gui_upgrade IMAGE DEVICES\n");
        return 2;
    }
    const std::string image = argv[1];
    const int devices = std::atoi(argv[2]);
    InitTranslation(QCoreApplication::applicationDirPath().toStdString() + "/");
    UseLanguage("en");
    Dialogs::SetAutomatic(true);

    QTemporaryDir folder;  // the window's settings file and backup folder stay out of the build
    TPyxetForm form({}, folder.path().toStdString() + "/");
    TUpgradeForm upgrade;
    TProgressInfoForm progress;
    TLoginForm login;
    THTTPModule http;
    form.Upgrade = &upgrade;
    form.Progress = &progress;
    form.Login = &login;
    form.Http = &http;
    form.show();

    QElapsedTimer waited;
    waited.start();
    while (form.findChild<QTableView*>(QStringLiteral("DeviceListBox"))->model()->rowCount() < devices && waited.elapsed() < 20000)
        QApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    while (waited.elapsed() < 3000)  // the discovery cycle ends
        QApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    if (form.findChild<QTableView*>(QStringLiteral("DeviceListBox"))->model()->rowCount() != devices) {
        std::fprintf(stderr, "found %d devices, not %d\n", form.findChild<QTableView*>(QStringLiteral("DeviceListBox"))->model()->rowCount(), devices);
        return 1;
    }
    QAbstractItemModel* rows = form.findChild<QAbstractItemView*>(QStringLiteral("DeviceListBox"))->model();
    QAction* upgradeItem = form.findChild<QAction*>(QStringLiteral("acFirmUpgr"));

    double longestGap = 0;
    for (int jobs : {1, 8}) {
        for (int r = 0; r < rows->rowCount(); ++r)
            rows->setData(rows->index(r, 0), Qt::Checked, Qt::CheckStateRole);
        form.Settings.TransferJobs = jobs;
        // A timer of no interval runs once per pass of the event loop.
        QElapsedTimer pass;
        pass.start();
        double gap = 0;
        QTimer loop;
        QObject::connect(&loop, &QTimer::timeout, [&] { gap = std::max(gap, double(pass.nsecsElapsed()) / 1e6); pass.restart(); });
        loop.start(0);
        Dialogs::QueueFileName(image);
        QElapsedTimer took;
        took.start();
        QEventLoop finished;  // the batch runs on threads of its own until its Finished
        QObject::connect(form.Batches(), &TBatchController::BatchFinished, &finished, &QEventLoop::quit);
        upgradeItem->trigger();
        if (form.Batches()->BatchRunning())
            finished.exec();
        const double seconds = double(took.nsecsElapsed()) / 1e9;
        loop.stop();
        const std::vector<std::string> lines = progress.Lines();
        if (lines.empty() || lines.back() != "Unsuccessful: 0") {
            std::fprintf(stderr, "the upgrade with %d at once did not succeed everywhere\n", jobs);
            return 1;
        }
        std::printf("gui_upgrade_%d%s %.2f s\n", devices, jobs == 1 ? "" : "_jobs8", seconds);
        if (jobs == 8)
            longestGap = gap;
        progress.hide();
    }
    std::printf("gui_jobs8_loop_gap_ms %.1f ms\n", longestGap);
    return 0;
}
