// Utilities -> "Verify Upgrades" and "Transfers at Once" on a real main window: an upgrade of
// three devices on loopback addresses (tests/fakeupgrade.h), one coming back with a new
// revision, one with the old one, one never; the lines, the log and the summary; the window
// painting all the while; Stop ending the wait; the discovery cycle afterwards giving back the
// marks of the devices that answer again; the items locked while a batch runs and kept in the
// settings file only once changed.
#include "../fakeupgrade.h"
#include "transferfixture.h"
#include "ui_form.h"
#include "ui_progressinfo.h"

#include "core/app/i18n.h"

#include <QActionGroup>
#include <QElapsedTimer>
#include <QFile>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace {

using TAfter = TFakeUpgradeDevice::TAfter;

const std::vector<TDeviceSpec> kFleet = {
    {.Name = "Alpha", .MAC = "00:0A:59:00:00:01", .PeerIP = "127.0.0.1"},
    {.Name = "Bravo", .MAC = "00:0A:59:00:00:02", .PeerIP = "127.0.0.2"},
    {.Name = "Charlie", .MAC = "00:0A:59:00:00:03", .PeerIP = "127.0.0.3"},
    {.Name = "Delta", .MAC = "00:0A:59:00:00:04", .PeerIP = "127.0.0.4"},
};

void WriteImage() { std::ofstream("image.kri", std::ios::binary) << std::string(4000, 'K'); }

std::string ReadText(const QString& path)
{
    std::ifstream in(path.toStdString(), std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

QAction* JobsItem(TTransferWindow& w, int jobs)
{
    return w.Form().findChild<QAction*>(QStringLiteral("acJobs%1").arg(jobs));
}

}  // namespace

class TestVerifyUpgrades : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        InitTranslation(PYXET_BIN_DIR "/");
        UseLanguage("en");
        Dialogs::SetAutomatic(true);
    }

    void NewRevisionSameRevisionAndNeverBack()
    {
        TTransferWindow w;
        for (const TDeviceSpec& device : kFleet)
            w.Window.Add(device);
        Control<QAction>(w.Form(), "acVerifyUpgrades")->trigger();
        QVERIFY(w.Form().Settings.VerifyUpgrades);
        w.Form().Settings.VerifySeconds = 4;  // how long Charlie is waited for
        w.Check({"Alpha", "Bravo", "Charlie"});
        WriteImage();
        w.Form().ActionLog.clear();

        int passes = 0;  // event-loop passes while the batch runs
        QTimer ticker;
        connect(&ticker, &QTimer::timeout, [&passes] { ++passes; });
        ticker.start(20);
        QElapsedTimer clock;
        {
            TFakeUpgradeDevice alpha("127.0.0.1", TAfter::NewRevision, "1.0", "2.0");
            TFakeUpgradeDevice bravo("127.0.0.2", TAfter::SameRevision, "1.0");
            TFakeUpgradeDevice charlie("127.0.0.3", TAfter::NeverBack, "1.0");
            QVERIFY(alpha.Listening && bravo.Listening && charlie.Listening);
            Dialogs::QueueFileName("image.kri");
            clock.start();
            Control<QAction>(w.Form(), "acFirmUpgr")->trigger();
            QVERIFY(w.Finish());
            QCOMPARE(alpha.Uploads() + bravo.Uploads() + charlie.Uploads(), 3);
            QVERIFY2(charlie.InfoRequests() >= 2, "asked before the image and while waiting");
        }
        ticker.stop();
        const std::string separator(42, '-');
        const std::vector<std::string> expected = {"Alpha  (127.0.0.1)",
                                                   "Upgrade successful.",
                                                   "Upgrade Succeeded",
                                                   "Verified: 1.0 → 2.0",
                                                   separator,
                                                   "Bravo  (127.0.0.2)",
                                                   "Upgrade successful.",
                                                   "Upgrade Succeeded",
                                                   "Not verified: the firmware revision is still 1.0",
                                                   separator,
                                                   "Charlie  (127.0.0.3)",
                                                   "Upgrade successful.",
                                                   "Upgrade Succeeded",
                                                   "Not verified: no answer to discovery within 4 s",
                                                   separator,
                                                   "Processes Summary:",
                                                   "Successful: 1",
                                                   "Unsuccessful: 2",
                                                   "Verified: 1"};
        QCOMPARE(w.Lines(), expected);
        QVERIFY(w.Logged("Firmware of 127.0.0.1 verified: 1.0 before, 2.0 after."));
        QVERIFY(w.Logged("not verified: the firmware revision is still 1.0"));
        QVERIFY(w.Logged("not verified: no answer to discovery within 4 s"));
        // The window kept painting: about one pass per 20 ms of the four seconds and more.
        QVERIFY2(passes > int(clock.elapsed() / 20 / 4),
                 qPrintable(QStringLiteral("%1 passes in %2 ms").arg(passes).arg(clock.elapsed())));

        // One discovery cycle began: the list is empty until the devices answer again. As they
        // do, the marks of the batch's devices come back; Delta's stays off, Charlie is gone.
        QCOMPARE(w.Window.Names().size(), 0);
        TDeviceSpec alpha = kFleet[0];
        alpha.FirmwareRev = "2.0";
        w.Window.Add(kFleet[3]);
        w.Window.Add(alpha);
        QCOMPARE(w.CheckedNames(), QStringList{QStringLiteral("Alpha")});
        w.Window.Add(kFleet[1]);
        QCOMPARE(w.CheckedNames(), (QStringList{QStringLiteral("Alpha"), QStringLiteral("Bravo")}));
        QVERIFY(w.Window.Rows().join(QLatin1Char('\n')).contains(QStringLiteral("2.0")));
        QCOMPARE(Control<QCheckBox>(w.Form(), "AllChecked")->checkState(), Qt::PartiallyChecked);
        // The unverified devices are the failed ones.
        QVERIFY(Control<QAction>(w.Form(), "acCheckFailed")->isEnabled());
        Control<QAction>(w.Form(), "acCheckFailed")->trigger();
        QCOMPARE(w.CheckedNames(), QStringList{QStringLiteral("Bravo")});
        // Another cycle of the user's own gives back no marks.
        w.Form().acFindExecute();
        w.Window.Add(kFleet[0]);
        QVERIFY(w.CheckedNames().isEmpty());
    }

    void WithoutVerifyNothingIsAskedOrAdded()
    {
        TTransferWindow w;
        w.Window.Add(kFleet[0]);
        QVERIFY(!Control<QAction>(w.Form(), "acVerifyUpgrades")->isChecked());
        w.Check({"Alpha"});
        WriteImage();
        TFakeUpgradeDevice alpha("127.0.0.1", TAfter::NewRevision);
        QVERIFY(alpha.Listening);
        Dialogs::QueueFileName("image.kri");
        Control<QAction>(w.Form(), "acFirmUpgr")->trigger();
        QVERIFY(w.Finish());
        const std::vector<std::string> expected = {"Alpha  (127.0.0.1)", "Upgrade successful.", "Upgrade Succeeded",
                                                   std::string(42, '-'), "Processes Summary:",  "Successful: 1",
                                                   "Unsuccessful: 0"};
        QCOMPARE(w.Lines(), expected);
        QCOMPARE(alpha.InfoRequests(), 0);
        QCOMPARE(w.Window.Names(), QStringList{QStringLiteral("Alpha")});  // no discovery cycle
    }

    void StopEndsTheWait()
    {
        TTransferWindow w;
        w.Window.Add(kFleet[2]);
        w.Window.Add(kFleet[3]);
        Control<QAction>(w.Form(), "acVerifyUpgrades")->trigger();
        QCOMPARE(w.Form().Settings.VerifySeconds, 120);
        w.Check({"Charlie", "Delta"});
        WriteImage();
        TFakeUpgradeDevice charlie("127.0.0.3", TAfter::NeverBack);
        TFakeUpgradeDevice delta("127.0.0.4", TAfter::NewRevision);
        QVERIFY(charlie.Listening && delta.Listening);
        // Stop, once the wait for Charlie has begun.
        QTimer watch;
        connect(&watch, &QTimer::timeout, [&] {
            const std::vector<std::string> lines = w.Lines();
            if (!lines.empty() && lines.back() == "Waiting for the new firmware...") {
                watch.stop();
                QTest::mouseClick(w.Progress->ui()->StopButton, Qt::LeftButton);
            }
        });
        watch.start(50);
        Dialogs::QueueFileName("image.kri");
        QElapsedTimer clock;
        clock.start();
        Control<QAction>(w.Form(), "acFirmUpgr")->trigger();
        QVERIFY(w.Finish());
        QVERIFY2(clock.elapsed() < 30000, "ended long before its 120 s");
        const std::vector<std::string> expected = {
            "Charlie  (127.0.0.3)", "Upgrade successful.", "Upgrade Succeeded", "Not verified: the batch was stopped",
            std::string(42, '-'),   "Processes Summary:",  "Successful: 0",     "Unsuccessful: 1",
            "Verified: 0",          "Not started: 1"};
        QCOMPARE(w.Lines(), expected);
        QCOMPARE(delta.Uploads(), 0);
        QVERIFY(w.Logged("The batch was stopped."));
    }

    void ItemsFollowTheSettingsAndAreLockedDuringABatch()
    {
        TTransferWindow w;
        QActionGroup* group = JobsItem(w, 1)->actionGroup();
        QVERIFY(group);
        QCOMPARE(group->actions().size(), 5);
        QVERIFY(group->isExclusive());
        QVERIFY(JobsItem(w, 1)->isChecked());
        QVERIFY(!Control<QAction>(w.Form(), "acVerifyUpgrades")->isChecked());
        QVERIFY(Control<QMenu>(w.Form(), "mUtilities")
                    ->actions()
                    .contains(Control<QMenu>(w.Form(), "mTransferJobs")->menuAction()));
        JobsItem(w, 8)->trigger();
        QCOMPARE(w.Form().Settings.TransferJobs, 8);
        QVERIFY(!JobsItem(w, 1)->isChecked());
        w.Form().Settings.TransferJobs = 4;
        w.Form().Settings.VerifyUpgrades = true;
        w.Batches().MarkTransferMenu();
        QVERIFY(JobsItem(w, 4)->isChecked());
        QVERIFY(Control<QAction>(w.Form(), "acVerifyUpgrades")->isChecked());

        // Locked while a batch runs, given back afterwards.
        auto watched = std::make_unique<TWatchedProgress>();
        w.Form().Progress = watched.get();
        w.Window.Add(kFleet[1]);
        w.Check({"Bravo"});
        bool ran = false;
        watched->OnLine = [&] {
            ran = true;
            QVERIFY(!Control<QAction>(w.Form(), "acVerifyUpgrades")->isEnabled());
            QVERIFY(!Control<QMenu>(w.Form(), "mTransferJobs")->menuAction()->isEnabled());
            QVERIFY(!JobsItem(w, 2)->isEnabled());
        };
        Control<QAction>(w.Form(), "RestoreConfig")->trigger();  // no backup: fails at once
        QVERIFY(w.Finish());
        QVERIFY(ran);
        QVERIFY(Control<QAction>(w.Form(), "acVerifyUpgrades")->isEnabled());
        QVERIFY(Control<QMenu>(w.Form(), "mTransferJobs")->menuAction()->isEnabled());
        QVERIFY(JobsItem(w, 2)->isEnabled());
        watched->hide();
        w.Form().Progress = w.Progress.get();
    }

    void SettingsWrittenOnlyOnceChanged()
    {
        const QString ini = [] {
            TTransferWindow w;
            const QString path = w.Window.Dir.path() + QStringLiteral("/Pyxet.ini");
            w.Form().close();
            const std::string text = ReadText(path);
            [&] { QVERIFY2(text.find("[Transfers]") == std::string::npos, text.c_str()); }();
            return QString::fromStdString(text);
        }();
        QVERIFY(!ini.isEmpty());
        TTransferWindow w;
        const QString path = w.Window.Dir.path() + QStringLiteral("/Pyxet.ini");
        JobsItem(w, 16)->trigger();
        Control<QAction>(w.Form(), "acVerifyUpgrades")->trigger();
        w.Form().close();
        const std::string text = ReadText(path);
        QVERIFY2(text.find("[Transfers]\nJobs=16\nVerify=True\n") != std::string::npos, text.c_str());
        QVERIFY2(text.find("VerifySeconds") == std::string::npos, text.c_str());
    }
};

QTEST_MAIN(TestVerifyUpgrades)
#include "test_verifyupgrades.moc"
