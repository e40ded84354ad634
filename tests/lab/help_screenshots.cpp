// The pictures of the user guide, taken from the real windows in the lab (scripts/lab.sh with the
// shipped fleet) on a virtual X display: scripts/help-screenshots.sh runs it. For each language
// the main window after a discovery, its setup panel, the login dialog, the
// progress window after an upgrade with a success and a failure, the plan dialog before and after
// its plan ran (undone again afterwards), the Log Report window, the about box and the help
// window, into $PYXET_SHOTS/<lang>/images/; and the upgrade dialog with a rollout over units of
// two kinds (RolloutScreenshots, in a lab of its own).
#include "../gui/controls.h"
#include "shotwindows.h"

#include "core/app/i18n.h"
#include "core/config/history.h"
#include "core/http/batch.h"
#include "core/http/rollout.h"
#include "gui/app/batchcontroller.h"
#include "gui/config/comparedialog.h"
#include "gui/app/devicelistpanel.h"
#include "gui/app/dialogs.h"
#include "gui/setup/plandialog.h"
#include "gui/windows/help.h"
#include "gui/app/watchpanel.h"
#include "core/devices/family.h"
#include "core/watch/watchrun.h"
#include "ui_comparedialog.h"
#include "ui_form.h"
#include "ui_login.h"
#include "ui_plandialog.h"
#include "ui_progressinfo.h"
#include "ui_upgrade.h"

#include <QAction>
#include <QCheckBox>
#include <QDateTime>
#include <QComboBox>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QListWidget>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTextBrowser>

#include <memory>

namespace {

// The program folder of one language's pictures filled (and made the working folder), the folder
// the pictures go to made; "" when the folder could not be filled.
QString PrepareLanguage(const QTemporaryDir& dir, const QString& shots, const char* language)
{
    if (!FillAppFolder(dir.path(), QByteArray("[Setup]\nLang=") + language + "\n[Logs]\nTime=1\n"))
        return {};
    QDir::setCurrent(dir.path());
    const QString out = shots + QLatin1Char('/') + QLatin1String(language) + QStringLiteral("/images/");
    QDir().mkpath(out);
    return out;
}

// The window shown and its picture (or that of an area of it) saved as out/name.png.
void Shoot(QWidget& window, const QString& out, const char* name, QRect area = {})
{
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QTest::qWait(400);
    QVERIFY(window.grab(area.isValid() ? area : window.rect()).save(out + QLatin1String(name) + QStringLiteral(".png")));
}

void Check(TPyxetForm& form, const std::vector<const char*>& names)
{
    QAbstractItemModel* rows = Control<QTableView>(form, "DeviceListBox")->model();
    for (int row = 0; row < rows->rowCount(); ++row)
        rows->setData(rows->index(row, 0), Qt::Unchecked, Qt::CheckStateRole);
    for (const char* name : names) {
        const int row = RowOf(form, name);
        QVERIFY2(row >= 0, name);
        rows->setData(rows->index(row, 0), Qt::Checked, Qt::CheckStateRole);
    }
}

// An "approved" configuration made from a device's own: another name and another community, so
// that the pictures show an identity place and a common value that differ.
QByteArray Approved(QByteArray own, const std::string& name)
{
    own.replace(QByteArray::fromStdString(">" + name + "<"), QByteArrayLiteral(">Approved unit<"));
    const QRegularExpression community(QStringLiteral("<community>[^<]*</community>"));
    QString text = QString::fromUtf8(own);
    if (text.contains(community))
        text.replace(community, QStringLiteral("<community>monitoring</community>"));
    else
        text.replace(QStringLiteral("</setup>"), QStringLiteral("<snmp><community>monitoring</community></snmp></setup>"));
    return text.toUtf8();
}

}  // namespace

class HelpScreenshots : public QObject {
    Q_OBJECT

private slots:
    void Screenshots() {
        const QString shots = QString::fromLocal8Bit(qgetenv("PYXET_SHOTS"));
        QVERIFY2(!shots.isEmpty(), "PYXET_SHOTS names no folder (scripts/help-screenshots.sh sets it)");
        for (const char* language : {"en", "cs"}) {
            QTemporaryDir dir;
            const QString appDir = dir.path() + QLatin1Char('/');
            const QString out = PrepareLanguage(dir, shots, language);
            QVERIFY(!out.isEmpty());
            auto shoot = [&](QWidget& window, const char* name, QRect area = {}) { Shoot(window, out, name, area); };

            InitTranslation(PYXET_BIN_DIR "/");
            Dialogs::SetAutomatic(true);  // boxes answered, file dialogs answered from the queue
            UseLanguage(language);
            TShotWindows windows(appDir);
            auto& form = windows.Form;
            auto& progress = windows.Progress;
            auto& login = windows.Login;
            auto& about = windows.About;
            auto& logForm = windows.LogForm;
            QVERIFY(QTest::qWaitForWindowExposed(form.get()));
            QTRY_VERIFY_WITH_TIMEOUT(form->Devices.DeviceList().size() >= 12, 5000);
            QTest::qWait(500);
            const int gate = RowOf(*form, "Warehouse gate");
            QVERIFY(gate >= 0);
            form->SelectDevice(gate);
            Dialogs::TakeShownBoxes();
            shoot(*form, "main-window");
            // The setup panel: the picture, the fields and the three buttons.
            const QPoint topLeft = Control<QGroupBox>(*form, "tgbSetup")->mapTo(form.get(), QPoint(0, 0));
            const QPoint bottomRight =
                Control<QPushButton>(*form, "btnConfigDevice")->mapTo(form.get(), Control<QPushButton>(*form, "btnConfigDevice")->rect().bottomRight());
            shoot(*form, "setup-panel", QRect(topLeft - QPoint(4, 4), bottomRight + QPoint(4, 4)));

            login->SetDevice("Server room (10.77.1.13)");
            login->ui()->UserEdit->setText(QStringLiteral("admin"));
            login->ui()->PassEdit->setText(QStringLiteral("secret"));
            shoot(*login, "login");
            login->hide();

            for (const char* name : {"Hall sensor", "Warehouse gate", "Roof weather"}) {
                const int row = RowOf(*form, name);
                QVERIFY2(row >= 0, name);
                Control<QTableView>(*form, "DeviceListBox")->model()->setData(Control<QTableView>(*form, "DeviceListBox")->model()->index(row, 0), Qt::Checked,
                                                    Qt::CheckStateRole);
            }
            Dialogs::QueueFileName((appDir + QStringLiteral("firmware.kri")).toStdString());
            Control<QAction>(*form, "acFirmUpgr")->trigger();
            QTRY_VERIFY_WITH_TIMEOUT(!form->Batches()->BatchRunning(), 20000);
            progress->ui()->ListBox1->scrollToTop();
            shoot(*progress, "progress");
            progress->hide();
            shoot(*form, "main-window-checked");

            // The plan dialog: devices of both families checked, new addresses and names.
            for (const char* name : {"Hall sensor", "Warehouse gate", "Roof weather"})
                Control<QTableView>(*form, "DeviceListBox")->model()->setData(Control<QTableView>(*form, "DeviceListBox")->model()->index(RowOf(*form, name), 0),
                                                    Qt::Unchecked, Qt::CheckStateRole);
            for (const char* name : {"Hall sensor", "Server room", "Pump station", "Poseidon lab", "Poseidon2 rack"}) {
                const int row = RowOf(*form, name);
                QVERIFY2(row >= 0, name);
                Control<QTableView>(*form, "DeviceListBox")->model()->setData(Control<QTableView>(*form, "DeviceListBox")->model()->index(row, 0), Qt::Checked,
                                                    Qt::CheckStateRole);
            }
            Control<QAction>(*form, "acSetUpPlan")->trigger();
            TPlanDialog* plan = form->Batches()->PlanDialog();
            QVERIFY(plan);
            plan->ui()->chkFirstIP->setChecked(true);
            plan->ui()->teFirstIP->setText(QStringLiteral("10.77.3.1"));
            plan->ui()->chkName->setChecked(true);
            plan->ui()->teName->setText(QString::fromUtf8(language == std::string("cs") ? "Kotel ##" : "Boiler ##"));
            plan->resize(1040, 560);
            shoot(*plan, "plan-dialog");
            // Applied (the restart question answered Yes): each device's status once verified.
            plan->ui()->btnApply->click();
            QTRY_VERIFY_WITH_TIMEOUT(plan->Done(), 60000);
            shoot(*plan, "plan-results");
            const std::string undoFile = plan->UndoFile;
            plan->close();
            delete plan;
            // The plan undone, so that the next language finds the fleet as it was.
            QTRY_VERIFY_WITH_TIMEOUT(form->Devices.DeviceList().size() >= 12, 10000);
            Dialogs::QueueFileName(undoFile);
            Control<QAction>(*form, "acUndoPlan")->trigger();
            plan = form->Batches()->PlanDialog();
            QVERIFY(plan);
            plan->ui()->btnApply->click();
            QTRY_VERIFY_WITH_TIMEOUT(plan->Done(), 60000);
            plan->close();
            delete plan;
            QTRY_VERIFY_WITH_TIMEOUT(form->Devices.DeviceList().size() >= 12, 10000);
            QTest::qWait(500);

            logForm->resize(640, 400);
            shoot(*logForm, "log-report");
            logForm->hide();
            shoot(*about, "about");
            about->hide();

            // The progress window while four devices run at once, taken during the batch as soon
            // as the line beside its buttons counts running devices.
            form->Settings.TransferJobs = 4;
            QAbstractItemModel* rows = Control<QTableView>(*form, "DeviceListBox")->model();
            for (int row = 0; row < rows->rowCount(); ++row)
                rows->setData(rows->index(row, 0), Qt::Checked, Qt::CheckStateRole);
            bool running = false;
            QTimer watch;
            QObject::connect(&watch, &QTimer::timeout, [&] {
                // Done, running, left: a picture with some of each.
                std::vector<int> count;
                const QRegularExpression number(QStringLiteral("\\d+"));
                for (const auto& match : number.globalMatch(QString::fromStdString(progress->CountText())))
                    count.push_back(match.captured().toInt());
                if (running || count.size() != 3 || count[1] < 2 || count[2] < 1 || progress->Lines().size() < 8)
                    return;
                running = true;
                progress->grab().save(out + QStringLiteral("progress-running.png"));
            });
            watch.start(0);
            // A larger image, so that the batch lasts long enough to be seen.
            QFile big(appDir + QStringLiteral("firmware-big.kri"));
            QVERIFY(big.open(QIODevice::WriteOnly));
            big.write(QByteArray(8 * 1024 * 1024, '\x5a'));
            big.close();
            Dialogs::QueueFileName(big.fileName().toStdString());
            Control<QAction>(*form, "acFirmUpgr")->trigger();
            QTRY_VERIFY_WITH_TIMEOUT(!form->Batches()->BatchRunning(), 60000);  // it runs on threads of its own
            watch.stop();
            QVERIFY2(running, "a picture of the batch while it ran");
            progress->hide();
            form->Settings.TransferJobs = 1;

            // The help window shows the help files of the build (none yet on the very first run).
            if (QFile::exists(appDir + QStringLiteral("locale/%1/Pyxet.chm").arg(QLatin1String(language)))) {
                form->acHelpExecute();
                THelpWindow* help = CurrentHelpWindow();
                QVERIFY(help);
                help->resize(900, 640);
                help->ShowPage("/finding.html");
                shoot(*help, "help-window");
                ReleaseHelpLibrary();
            } else {
                qWarning("no help file in the build: no picture of the help window");
            }

            windows.Close();
            Dialogs::TakeShownBoxes();
        }
        UseLanguage("en");
    }

    // The compare dialog (a device's history version against an approved file), its drift view
    // over six devices, and the preview before "Configure Devices..." with that file.
    void CompareScreenshots()
    {
        const QString shots = QString::fromLocal8Bit(qgetenv("PYXET_SHOTS"));
        QVERIFY2(!shots.isEmpty(), "PYXET_SHOTS names no folder (scripts/help-screenshots.sh sets it)");
        for (const char* language : {"en", "cs"}) {
            QTemporaryDir dir;
            const QString appDir = dir.path() + QLatin1Char('/');
            const QString out = PrepareLanguage(dir, shots, language);
            QVERIFY(!out.isEmpty());
            auto shoot = [&](QWidget& window, const char* name, QRect area = {}) { Shoot(window, out, name, area); };
            InitTranslation(PYXET_BIN_DIR "/");
            Dialogs::SetAutomatic(true);
            UseLanguage(language);
            TShotWindows windows(appDir);
            auto& form = windows.Form;
            QVERIFY(QTest::qWaitForWindowExposed(form.get()));
            QTRY_VERIFY_WITH_TIMEOUT(form->Devices.DeviceList().size() >= 12, 5000);
            QTest::qWait(500);
            form->Settings.HistoryFolder = (appDir + QStringLiteral("history")).toStdString();
            form->Settings.Preview = true;
            const char* gate = "Hall sensor";

            // Hall sensor downloaded once (kept in its history), then its version against a file.
            Control<QAction>(*form, "acCompare")->trigger();
            TCompareDialog* compare = form->Batches()->CompareWindow();
            QVERIFY(compare);
            compare->resize(980, 520);
            compare->ui()->cbLeftKind->setCurrentIndex(int(TCompareSource::Device));
            compare->ui()->cbLeftDevice->setCurrentIndex(RowOf(*form, gate));
            compare->ui()->cbRightKind->setCurrentIndex(int(TCompareSource::Device));
            compare->ui()->cbRightDevice->setCurrentIndex(RowOf(*form, gate));
            compare->CompareClick();
            QTRY_VERIFY_WITH_TIMEOUT(!form->Batches()->BatchRunning(), 20000);
            windows.Progress->hide();
            std::string mac;
            for (const TDeviceEntry& entry : form->Devices.DeviceList())
                if (entry.Device->Info.Name == gate)
                    mac = entry.Device->Info.MAC;
            const std::vector<THistoryVersion> versions = HistoryOfSettings(form->Settings).Versions(mac);
            QVERIFY(!versions.empty());
            const std::optional<QByteArray> own = ReadHistoryVersion(versions.front());
            QVERIFY(own);
            const QString approved = appDir + QStringLiteral("approved.xml");
            QFile file(approved);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(Approved(*own, gate));
            file.close();
            compare->Reload();
            compare->ui()->cbLeftKind->setCurrentIndex(int(TCompareSource::History));
            compare->ui()->cbLeftDevice->setCurrentIndex(RowOf(*form, gate));
            compare->ui()->cbRightKind->setCurrentIndex(int(TCompareSource::File));
            compare->ui()->teRightFile->setText(approved);
            compare->CompareClick();
            compare->ui()->teRightFile->setText(QStringLiteral("/home/user/approved.xml"));  // as a user's path reads
            shoot(*compare, "compare-dialog");
            compare->hide();

            // The preview before the approved file goes to three devices: their own names would
            // change (shown with the box cleared); then written with each device's own identity.
            // Three devices with fixed addresses that take uploads (DHCP stays off, so they keep answering).
            const std::vector<const char*> three = {"Hall sensor", "Pump station", "Poseidon lab"};
            Check(*form, three);
            form->Settings.Preview = false;  // the originals backed up, for the restore at the end
            Control<QAction>(*form, "BackupConfig")->trigger();
            QTRY_VERIFY_WITH_TIMEOUT(!form->Batches()->BatchRunning(), 20000);
            form->Settings.Preview = true;
            Dialogs::QueueFileName(approved.toStdString());
            Control<QAction>(*form, "CommonConfig")->trigger();
            QTRY_VERIFY_WITH_TIMEOUT(!form->Batches()->BatchRunning(), 20000);
            windows.Progress->hide();
            QDialog* preview = form->Batches()->PreviewWindow();
            QVERIFY(preview);
            preview->resize(900, 480);
            Control<QCheckBox>(*preview, "chkKeepIdentity")->setChecked(false);
            shoot(*preview, "preview");
            Control<QCheckBox>(*preview, "chkKeepIdentity")->setChecked(true);
            Dialogs::QueueAnswer(true);
            Control<QPushButton>(*preview, "btnWrite")->click();
            QTRY_VERIFY_WITH_TIMEOUT(!form->Batches()->BatchRunning(), 20000);
            windows.Progress->hide();

            // Those three and three more against the approved file.
            Check(*form, {"Hall sensor", "Pump station", "Poseidon lab", "Warehouse gate", "Server room", "Poseidon2 rack"});
            compare->ui()->cbLeftKind->setCurrentIndex(int(TCompareSource::EveryChecked));
            compare->ui()->teRightFile->setText(approved);
            compare->CompareClick();
            QTRY_VERIFY_WITH_TIMEOUT(!form->Batches()->BatchRunning(), 30000);
            windows.Progress->hide();
            compare->ui()->teRightFile->setText(QStringLiteral("/home/user/approved.xml"));
            compare->ui()->lstGroups->setCurrentRow(std::min(1, compare->ui()->lstGroups->count() - 1));
            shoot(*compare, "compare-drift");
            compare->hide();

            // The three written back as they were, so that the next language finds the fleet so.
            Check(*form, three);
            form->Settings.Preview = false;
            Control<QAction>(*form, "RestoreConfig")->trigger();
            QTRY_VERIFY_WITH_TIMEOUT(!form->Batches()->BatchRunning(), 20000);
            windows.Progress->hide();

            windows.Close();
            Dialogs::TakeShownBoxes();
        }
        UseLanguage("en");
    }

    // The device list while watching a site: one unit gone after two silent rounds (its Last
    // Seen), an expected unit of the site that never answered, and the site's line. The rounds
    // are played on the watch's state, so that the picture does not wait for them.
    void WatchScreenshots()
    {
        const QString shots = QString::fromLocal8Bit(qgetenv("PYXET_SHOTS"));
        QVERIFY2(!shots.isEmpty(), "PYXET_SHOTS names no folder (scripts/help-screenshots.sh sets it)");
        for (const char* language : {"en", "cs"}) {
            QTemporaryDir dir;
            const QString appDir = dir.path() + QLatin1Char('/');
            const QString out = PrepareLanguage(dir, shots, language);
            QVERIFY(!out.isEmpty());
            InitTranslation(PYXET_BIN_DIR "/");
            Dialogs::SetAutomatic(true);
            UseLanguage(language);
            TShotWindows windows(appDir);
            auto& form = windows.Form;
            QVERIFY(QTest::qWaitForWindowExposed(form.get()));
            QTRY_VERIFY_WITH_TIMEOUT(form->Devices.DeviceList().size() >= 12, 5000);
            Control<QAction>(*form, "acWatch")->trigger();
            form->Watch->Runner().Stop();
            TWatch& watch = form->Watch->Runner().Watch();
            const TProduct* away = form->List->RowsNow().at(size_t(RowOf(*form, "Pump station"))).Device;
            std::vector<TWatchAnswer> answers;
            std::vector<TWatchUnit> site;
            for (const TDeviceEntry& entry : form->Devices.DeviceList()) {
                const TWatchAnswer answer = WatchAnswerOf(entry.Device->Info, entry.Device->Family().Name);
                TWatchUnit unit;
                unit.Key = *WatchKeyOf(answer.MAC, answer.Family);
                unit.Last = answer;
                unit.Expected = true;
                site.push_back(unit);
                if (entry.Device.get() != away)
                    answers.push_back(answer);
            }
            TWatchUnit missing = site.front();
            missing.Last.MAC = "00:0A:14:99:00:99";
            missing.Key = *WatchKeyOf(missing.Last.MAC, missing.Last.Family);
            missing.Last.Name = "Cold store";
            site.push_back(missing);
            form->Watch->SetSite(language == std::string("cs") ? "Sklad Jih" : "South warehouse", site);
            const int64_t start = QDateTime::currentMSecsSinceEpoch();
            for (int round = 0; round < 2; ++round) {
                watch.BeginRound(start + round * 30000);
                for (const TWatchAnswer& answer : answers)
                    watch.Answer(answer, start + round * 30000 + 50);
                // The round's events as the rounds tell them: the missing unit takes its row.
                for (const TWatchEvent& event : watch.EndRound(start + round * 30000 + 2000))
                    emit form->Watch->Runner().Event(event);
            }
            form->Watch->Refresh();
            // Wide enough for the Last Seen column beside the others.
            form->resize(form->width() + 160, form->height());
            QTest::qWait(100);
            const QPoint topLeft = Control<QGroupBox>(*form, "GroupBox1")->mapTo(form.get(), QPoint(0, 0));
            Shoot(*form, out, "watch-list", QRect(topLeft, Control<QGroupBox>(*form, "GroupBox1")->size()));
            windows.Close();
            Dialogs::TakeShownBoxes();
        }
        UseLanguage("en");
    }

    // The upgrade dialog with a rollout set and the checked units of two kinds, so that the line
    // naming them carries its warning: taken in the lab of tests/lab/rollout_fleet.json (four
    // units of one kind and one of another).
    void RolloutScreenshots()
    {
        const QString shots = QString::fromLocal8Bit(qgetenv("PYXET_SHOTS"));
        QVERIFY2(!shots.isEmpty(), "PYXET_SHOTS names no folder (scripts/help-screenshots.sh sets it)");
        for (const char* language : {"en", "cs"}) {
            QTemporaryDir dir;
            const QString appDir = dir.path() + QLatin1Char('/');
            const QString out = PrepareLanguage(dir, shots, language);
            QVERIFY(!out.isEmpty());
            InitTranslation(PYXET_BIN_DIR "/");
            Dialogs::SetAutomatic(true);
            UseLanguage(language);
            TShotWindows windows(appDir);
            auto& form = windows.Form;
            QVERIFY(QTest::qWaitForWindowExposed(form.get()));
            QTRY_VERIFY_WITH_TIMEOUT(form->Devices.DeviceList().size() >= 5, 5000);
            Check(*form, {"Rollout 1", "Rollout 2", "Rollout 3", "Rollout 4", "Rollout HWG"});
            std::vector<TUnitKind> kinds;
            for (const TProduct* device : form->List->CheckedDevices())
                kinds.push_back(BatchDevice(*device).Kind);
            QCOMPARE(kinds.size(), size_t(5));
            TRolloutSetting rollout;
            rollout.First = 1;
            rollout.Wave = 16;
            rollout.HaltAfter = 2;
            rollout.SkipCurrent = true;
            rollout.BackupFirst = true;
            rollout.Retries = 2;
            auto& upgrade = windows.Upgrade;
            upgrade->Prepare(_("Select Firmware"), "Upgrade", "Kri Image|*.kri");
            upgrade->ShowRollout(rollout, KindsLine(kinds));
            QVERIFY(KindsLine(kinds).Mixed);
            // The path a user's file would have, not the test's folder.
            upgrade->ui()->PathEdit->setText(QStringLiteral("/home/user/firmware/orvex-2.16.0.kri"));
            upgrade->ui()->RevisionEdit->setText(QStringLiteral("2.16.0"));
            Shoot(*upgrade, out, "upgrade-rollout");
            upgrade->hide();
            windows.Close();
            Dialogs::TakeShownBoxes();
        }
        UseLanguage("en");
    }
};

QTEST_MAIN(HelpScreenshots)
#include "help_screenshots.moc"
