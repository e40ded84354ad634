// The window's transfers to units that share an address, offscreen, against the simulated devices
// of tests/lab/shared_fleet.json inside scripts/lab.sh (test_shared_address.sh): four new units
// at the factory address 192.168.1.80 and "Boiler" alone at 10.77.8.1, found by the window's own
// discovery. An upgrade, a backup and a restore of all five, one at a time and four at once: the
// four get no transfer (nothing in the simulator's events), each block says why and names its
// MAC, the log has the reason as an error; the one alone is served as ever.
#include "labevents.h"
#include "transferfixture.h"
#include "ui_form.h"
#include "ui_progressinfo.h"

#include "core/app/i18n.h"

#include <QComboBox>
#include <QFile>
#include <QJsonObject>
#include <QTest>

namespace {

const std::string kShared = "192.168.1.80";
const std::string kAlone = "10.77.8.1";
const std::string kBoiler = "00:0A:14:20:00:10";
const std::string kReason =
    "Shares 192.168.1.80 with 3 other devices; give each its own address first (Actions → Set Up Checked Devices...)";
const std::string kSeparator(42, '-');

const TProduct* RowDevice(const QAbstractItemModel* m, int row)
{
    return reinterpret_cast<const TProduct*>(m->index(row, 0).data(Qt::UserRole + 1).value<quintptr>());
}

// A window that has found the five units.
struct TSharedWindow : TTransferWindow {
    size_t EventsFrom = 0;
    TSharedWindow()
    {
        QTRY_VERIFY_WITH_TIMEOUT(Window.Names().size() >= 5, 5000);
        Form().ActionLog.clear();
    }
    void Mark() { EventsFrom = LabEvents({QStringLiteral("http")}).size(); }
    // The MACs the web requests since Mark reached, in order.
    std::vector<std::string> Reached() const
    {
        const auto all = LabEvents({QStringLiteral("http")});
        std::vector<std::string> macs;
        for (size_t i = EventsFrom; i < all.size(); ++i)
            macs.push_back(all[i][QStringLiteral("device")].toString().toStdString());
        return macs;
    }
    // The shown rows' devices, in view order.
    std::vector<const TProduct*> Shown()
    {
        std::vector<const TProduct*> devices;
        const QAbstractItemModel* m = Control<QTableView>(Main(), "DeviceListBox")->model();
        for (int r = 0; r < m->rowCount(); ++r)
            devices.push_back(RowDevice(m, r));
        return devices;
    }
    void CheckAllShown()
    {
        QAbstractItemModel* m = Control<QTableView>(Main(), "DeviceListBox")->model();
        for (int r = 0; r < m->rowCount(); ++r)
            m->setData(m->index(r, 0), Qt::Checked, Qt::CheckStateRole);
    }
    // The lines a batch over the shown rows gives: a refused block for each unit on the shared
    // address, `served` for the one alone, then the summary.
    std::vector<std::string> Expected(const std::string& label, const std::vector<std::string>& served)
    {
        std::vector<std::string> lines;
        int refused = 0;
        for (const TProduct* device : Shown()) {
            const TProductInfo& info = device->Info;
            lines.push_back(info.Name + "  (" + info.PeerIP + ")");
            if (info.PeerIP == kShared) {
                lines.insert(lines.end(), {kReason, label + " Failed (" + info.MAC + ")"});
                ++refused;
            } else {
                lines.insert(lines.end(), served.begin(), served.end());
            }
            lines.push_back(kSeparator);
        }
        const int alone = int(Shown().size()) - refused;
        lines.insert(lines.end(), {"Processes Summary:", "Successful: " + std::to_string(alone),
                                   "Unsuccessful: " + std::to_string(refused)});
        return lines;
    }
    int ErrorsLogged(const std::string& message)
    {
        int n = 0;
        for (const TLogLine& line : Form().ActionLog)
            n += line.Text.substr(1) == message && line.Level == LOG_ERROR;
        return n;
    }
};

} // namespace

class TestLabShared : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        InitTranslation(PYXET_BIN_DIR "/");
        Dialogs::SetAutomatic(true);
        UseLanguage("en");
    }
    void cleanup() { Dialogs::TakeShownBoxes(); }

    void UpgradeBackupRestoreServeOnlyTheUnitAlone()
    {
        TSharedWindow w;
        QCOMPARE(w.Shown().size(), size_t(5));
        QFile image(QStringLiteral("image.kri"));  // in the window's working folder, the test's own
        QVERIFY(image.open(QIODevice::WriteOnly));
        image.write(QByteArray(20000, 'k'));
        image.close();
        const std::string imagePath = QDir::current().absoluteFilePath(image.fileName()).toStdString();
        const QString sharedFile = QStringLiteral("backup/setup_192.168.1.80_.xml");
        for (int jobs : {1, 4}) {
            w.Form().Settings.TransferJobs = jobs;
            QDir().mkpath(QStringLiteral("backup"));
            QFile file(sharedFile);  // there, so that only the refusal keeps it from going out
            QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
            file.write("<setup>shared</setup>");
            file.close();
            w.CheckAllShown();
            const struct {
                QAction* Command;
                std::string Label;
                std::vector<std::string> Served;
            } commands[] = {
                {Control<QAction>(w.Form(), "acFirmUpgr"), "Upgrade", {"Upgrade successful.", "Upgrade Succeeded"}},
                {Control<QAction>(w.Form(), "BackupConfig"), "Backup", {"Sending request...", "Backup Succeeded"}},
                {Control<QAction>(w.Form(), "RestoreConfig"), "Restore", {"Sending request...", "Restore Succeeded"}},
            };
            for (const auto& c : commands) {
                const std::string what = c.Label + ", " + std::to_string(jobs) + " at once";
                w.Form().ActionLog.clear();
                w.Mark();
                if (c.Command == Control<QAction>(w.Form(), "acFirmUpgr")) Dialogs::QueueFileName(imagePath);
                c.Command->trigger();
                QVERIFY(w.Finish());
                std::string shown;
                for (const std::string& line : w.Lines())
                    shown += line + "\n";
                QVERIFY2(w.Lines() == w.Expected(c.Label, c.Served), (what + ":\n" + shown).c_str());
                QVERIFY2(w.Reached() == std::vector<std::string>{kBoiler}, what.c_str());
                QVERIFY2(w.ErrorsLogged(kReason) == 4, (what + "\n" + w.LogText()).c_str());
                QVERIFY2(w.LogText().find("data from " + kShared) == std::string::npos, what.c_str());
                w.Progress->hide();
            }
            QVERIFY(QFile::exists(QStringLiteral("backup/setup_10.77.8.1_.xml")));
            QFile kept(sharedFile);
            QVERIFY(kept.open(QIODevice::ReadOnly));
            QCOMPARE(kept.readAll(), QByteArray("<setup>shared</setup>"));
        }
    }

    // The type filter shows two of the four: they still share with three, and "Save..." on the
    // selected one is refused too.
    void HiddenUnitsStillCount()
    {
        TSharedWindow w;
        QComboBox* filter = Control<QComboBox>(w.Form(), "DeviceFilter");
        filter->setCurrentIndex(filter->findText(QStringLiteral("Orvex Relay 4")));
        emit filter->activated(filter->currentIndex());
        QCOMPARE(w.Shown().size(), size_t(2));
        w.CheckAllShown();
        w.Mark();
        Control<QAction>(w.Form(), "BackupConfig")->trigger();
        QVERIFY(w.Finish());
        QCOMPARE(w.Lines(), w.Expected("Backup", {}));
        QVERIFY(w.Reached().empty());
        w.Progress->hide();

        w.Form().SelectDevice(1);
        const std::string mac = w.Shown()[1]->Info.MAC;
        w.Mark();
        Dialogs::QueueFileName("saved.xml");
        Control<QAction>(w.Form(), "SaveConfig")->trigger();
        QVERIFY(w.Finish());
        QCOMPARE(w.Lines(), (std::vector<std::string>{"Orvex device  (192.168.1.80)", kReason,
                                                      "Saving Failed (" + mac + ")", kSeparator, "Processes Summary:",
                                                      "Successful: 0", "Unsuccessful: 1"}));
        QVERIFY(w.Reached().empty());
        QVERIFY(!QFile::exists(QStringLiteral("saved.xml")));
    }
};

QTEST_MAIN(TestLabShared)
#include "gui_shared_tests.moc"
