// The window's firmware upgrade of the slowed devices the lab serves (run inside it by
// bench_lab_gui_jobs; not a bench_ program itself, as it needs the lab): every device found is
// checked and upgraded with the image given.
//   lab_gui_upgrade IMAGE DEVICES: first one after another, then eight at once. Prints
//     gui_upgrade_N           seconds, one after another
//     gui_upgrade_N_jobs8     seconds, eight at once
//     gui_jobs8_loop_gap_ms   the longest time between two passes of the window's event loop while
//                             eight transfers run
//   lab_gui_upgrade --rollout DEVICES: 8 KiB images of the simulator's own form, each of a new
//     revision (the verified runs wait for it), sixteen at once: without a rollout, then with
//     Verify Upgrades, then the rollout the window's settings file asks ([Rollout] First=1,
//     Wave=16), which verifies its units whatever Verify Upgrades says. Prints
//     gui_upgrade_N_jobs16            seconds, sixteen at once
//     gui_upgrade_N_jobs16_verified   seconds, sixteen at once, each unit verified
//     gui_upgrade_N_rollout           seconds, the first unit alone, then waves of sixteen
//     gui_upgrade_N_rollout_first     seconds of the first unit alone (from its request reaching
//                                     its device to the next unit's, in the simulator's events)
//     gui_upgrade_N_rollout_extra     seconds the rollout took beyond sixteen at once
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

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <fstream>

namespace {

struct TBench {
    TPyxetForm& Form;
    TProgressInfoForm& Progress;
    QAbstractItemModel* Rows;
    QAction* UpgradeItem;
    int Devices;
};

// Checks every device and upgrades it with the image: the seconds the batch took, and the
// longest gap between two passes of the event loop meanwhile; false when a device failed.
bool RunUpgrade(TBench& b, const std::string& image, double& seconds, double& gap)
{
    // After a verified batch the window looks for its devices again: the list is whole and the
    // command back once that cycle is over.
    QElapsedTimer waited;
    waited.start();
    while ((!b.UpgradeItem->isEnabled() || b.Rows->rowCount() < b.Devices) && waited.elapsed() < 30000)
        QApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    for (int r = 0; r < b.Rows->rowCount(); ++r)
        b.Rows->setData(b.Rows->index(r, 0), Qt::Checked, Qt::CheckStateRole);
    // A timer of no interval runs once per pass of the event loop.
    QElapsedTimer pass;
    pass.start();
    gap = 0;
    QTimer loop;
    QObject::connect(&loop, &QTimer::timeout, [&] { gap = std::max(gap, double(pass.nsecsElapsed()) / 1e6); pass.restart(); });
    loop.start(0);
    Dialogs::QueueFileName(image);
    QElapsedTimer took;
    took.start();
    QEventLoop finished;  // the batch runs on threads of its own until its Finished
    QObject::connect(b.Form.Batches(), &TBatchController::BatchFinished, &finished, &QEventLoop::quit);
    Dialogs::TakeShownBoxes();
    b.UpgradeItem->trigger();
    if (!b.Form.Batches()->BatchRunning()) {
        for (const Dialogs::TShownBox& box : Dialogs::TakeShownBoxes())
            std::fprintf(stderr, "%s\n", box.Text.c_str());
        std::fprintf(stderr, "the upgrade did not start\n");
        return false;
    }
    finished.exec();
    seconds = double(took.nsecsElapsed()) / 1e9;
    loop.stop();
    const std::vector<std::string> lines = b.Progress.Lines();
    b.Progress.hide();
    // Every device upgraded, none failed.
    const std::string all = "Successful: " + std::to_string(b.Devices);
    return std::find(lines.begin(), lines.end(), all) != lines.end()
           && std::find(lines.begin(), lines.end(), "Unsuccessful: 0") != lines.end();
}

// The simulator's events from byte `from` of its events file on: the "t" of each request that
// reached a device's web server, with the device.
std::vector<std::pair<double, std::string>> OpenedRequests(std::streamoff from)
{
    std::vector<std::pair<double, std::string>> out;
    std::ifstream events(std::getenv("PYXET_LAB_EVENTS") ? std::getenv("PYXET_LAB_EVENTS") : "");
    events.seekg(from);
    for (std::string line; std::getline(events, line);) {
        const QJsonObject e = QJsonDocument::fromJson(QByteArray::fromStdString(line)).object();
        if (e[QStringLiteral("event")].toString() == QStringLiteral("http_open"))
            out.emplace_back(e[QStringLiteral("t")].toDouble(), e[QStringLiteral("device")].toString().toStdString());
    }
    return out;
}

std::streamoff EventsSize()
{
    std::ifstream events(std::getenv("PYXET_LAB_EVENTS") ? std::getenv("PYXET_LAB_EVENTS") : "", std::ios::ate);
    return events ? std::streamoff(events.tellg()) : 0;
}

// An 8 KiB image of the simulator's own form: it restarts the device into `revision`.
std::string SimImage(const QString& folder, const std::string& revision)
{
    std::string image = "PYXET-SIM-FIRMWARE " + revision + "\n";
    uint32_t state = 12345;
    while (image.size() < 8192) {
        state = state * 1103515245u + 12345u;
        image.push_back(char(state >> 24));
    }
    const QString path = folder + QStringLiteral("/image-%1.kri").arg(QString::fromStdString(revision));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(image.data(), qint64(image.size())) != qint64(image.size()))
        return "";
    return path.toStdString();
}

}  // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    std::setlocale(LC_NUMERIC, "C");  // figures with a decimal point whatever the user's language
    const bool rollout = argc == 3 && std::string(argv[1]) == "--rollout";
    if (argc != 3) {
        std::fprintf(stderr, "usage: lab_gui_upgrade IMAGE DEVICES\n       lab_gui_upgrade --rollout DEVICES\n");
        return 2;
    }
    const std::string image = rollout ? "" : argv[1];
    const int devices = std::atoi(argv[2]);
    InitTranslation(QCoreApplication::applicationDirPath().toStdString() + "/");
    UseLanguage("en");
    Dialogs::SetAutomatic(true);

    // The window's settings file, backup folder and upgrade journals stay out of the build.
    QTemporaryDir folder;
    QDir::setCurrent(folder.path());
    if (rollout) {
        QFile ini(folder.filePath(QStringLiteral("Pyxet.ini")));
        if (!ini.open(QIODevice::WriteOnly) || ini.write("[Rollout]\nFirst=1\nWave=16\n") < 0) {
            std::fprintf(stderr, "cannot write the settings file\n");
            return 1;
        }
    }
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
    TBench bench{form, progress, form.findChild<QAbstractItemView*>(QStringLiteral("DeviceListBox"))->model(),
                 form.findChild<QAction*>(QStringLiteral("acFirmUpgr")), devices};
    double seconds = 0, gap = 0;

    if (rollout) {
        const TSettings asked = form.Settings;
        if (asked.RolloutFirst != 1 || asked.RolloutWave != 16) {
            std::fprintf(stderr, "the settings file's [Rollout] was not read\n");
            return 1;
        }
        const std::string images[] = {SimImage(folder.path(), "2.0.0"), SimImage(folder.path(), "3.0.0"),
                                      SimImage(folder.path(), "4.0.0")};
        if (std::find(std::begin(images), std::end(images), "") != std::end(images)) {
            std::fprintf(stderr, "cannot write the images\n");
            return 1;
        }
        // Sixteen at once, no rollout: without, then with Verify Upgrades.
        form.Settings.TransferJobs = 16;
        form.Settings.RolloutFirst = form.Settings.RolloutWave = 0;
        double plain = 0, verified = 0;
        for (bool verify : {false, true}) {
            form.Settings.VerifyUpgrades = verify;
            if (!RunUpgrade(bench, images[verify ? 1 : 0], verify ? verified : plain, gap)) {
                std::fprintf(stderr, "the upgrade with 16 at once did not succeed everywhere\n");
                return 1;
            }
        }
        // The rollout the settings file asks, sixteen at once, Verify Upgrades off again.
        form.Settings.VerifyUpgrades = false;
        form.Settings.RolloutFirst = asked.RolloutFirst;
        form.Settings.RolloutWave = asked.RolloutWave;
        const std::streamoff from = EventsSize();
        if (!RunUpgrade(bench, images[2], seconds, gap)) {
            std::fprintf(stderr, "the rollout did not succeed everywhere\n");
            return 1;
        }
        // The first unit alone: from its request to the first request of another unit.
        const auto opened = OpenedRequests(from);
        double first = -1;
        for (const auto& [t, device] : opened)
            if (device != opened.front().second) {
                first = t - opened.front().first;
                break;
            }
        std::printf("gui_upgrade_%d_jobs16 %.2f s\n", devices, plain);
        std::printf("gui_upgrade_%d_jobs16_verified %.2f s\n", devices, verified);
        std::printf("gui_upgrade_%d_rollout %.2f s\n", devices, seconds);
        std::printf("gui_upgrade_%d_rollout_first %.2f s\n", devices, first);
        std::printf("gui_upgrade_%d_rollout_extra %.2f s\n", devices, seconds - plain);
        return 0;
    }

    double longestGap = 0;
    for (int jobs : {1, 8}) {
        form.Settings.TransferJobs = jobs;
        if (!RunUpgrade(bench, image, seconds, gap)) {
            std::fprintf(stderr, "the upgrade with %d at once did not succeed everywhere\n", jobs);
            return 1;
        }
        std::printf("gui_upgrade_%d%s %.2f s\n", devices, jobs == 1 ? "" : "_jobs8", seconds);
        if (jobs == 8)
            longestGap = gap;
    }
    std::printf("gui_jobs8_loop_gap_ms %.1f ms\n", longestGap);
    return 0;
}
