// The window's batches with several devices at once, offscreen, against the simulated devices of
// tests/lab/jobs_fleet.json inside scripts/lab.sh (test_gui_jobs.sh): the same lines as one at a
// time, never more transfers open than asked (from the devices' http_open/http_close events), two
// units sharing one address never reached, the rows of one unit on one address one after the other,
// one login dialog at a time, Stop, the count line.
#include "labevents.h"
#include "transferfixture.h"
#include "ui_form.h"
#include "ui_progressinfo.h"

#include "core/app/i18n.h"
#include "core/log/format.h"

#include <QFile>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <map>
#include <set>

namespace {

const char* const kTwinAddress = "10.77.6.50";
const char* const kOrvex01 = "00:0A:14:60:00:01";

// The web requests' open and close events since the last Mark.
struct TOpenEvents {
    size_t From = 0;
    static std::vector<QJsonObject> All()
    {
        return LabEvents({QStringLiteral("http_open"), QStringLiteral("http_close")});
    }
    void Mark() { From = All().size(); }
    // The most requests open at once, of all devices or of the one device given.
    int MostOpen(const QString& device = {}) const
    {
        const auto all = All();
        int open = 0, most = 0;
        for (size_t i = From; i < all.size(); ++i) {
            if (!device.isEmpty() && all[i][QStringLiteral("device")].toString() != device)
                continue;
            open += all[i][QStringLiteral("event")].toString() == QStringLiteral("http_open") ? 1 : -1;
            most = std::max(most, open);
        }
        return most;
    }
    // How many requests were opened, at all devices or at the one given.
    int Opened(const QString& device = {}) const
    {
        int n = 0;
        const auto all = All();
        for (size_t i = From; i < all.size(); ++i)
            n += all[i][QStringLiteral("event")].toString() == QStringLiteral("http_open")
                 && (device.isEmpty() || all[i][QStringLiteral("device")].toString() == device);
        return n;
    }
};

// A window that has found the fleet, plus an unreachable device added by hand.
struct TJobsWindow : TTransferWindow {
    TOpenEvents Events;
    TJobsWindow()
    {
        QTRY_VERIFY_WITH_TIMEOUT(Window.Names().size() >= 26, 5000);
        Window.Add({.TypeCode = 1, .Name = "Nowhere", .MAC = "00:0A:59:00:99:99", .PeerIP = "10.77.9.9"});
        Form().ActionLog.clear();
    }
    // Checks exactly the rows whose names pass.
    void CheckWhere(const std::function<bool(const QString&)>& take)
    {
        const QStringList names = Window.Names();
        QAbstractItemModel* m = Control<QTableView>(Main(), "DeviceListBox")->model();
        for (int r = 0; r < names.size(); ++r)
            m->setData(m->index(r, 0), take(names[r]) ? Qt::Checked : Qt::Unchecked, Qt::CheckStateRole);
    }
    // The log without the lines that carry a rate, and without the time a failed connection
    // took ("after 2001 ms"): the figures that may differ from run to run.
    std::vector<std::string> PlainLog() const
    {
        static const QRegularExpression took(QStringLiteral("after \\d+ ms"));
        std::vector<std::string> out;
        for (const std::string& line : Log())
            if (line.find("kB/s") == std::string::npos && line.find("Please wait.") == std::string::npos)
                out.push_back(QString::fromStdString(line).replace(took, QStringLiteral("after ... ms")).toStdString());
        return out;
    }
};

bool IsGate(const QString& name) { return name.startsWith(QStringLiteral("Gate")); }

} // namespace

class TestLabJobs : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        InitTranslation(PYXET_BIN_DIR "/");
        Dialogs::SetAutomatic(true);
        UseLanguage("en");
        Image = LabFile(QStringLiteral("pyxet-jobs-image.kri"), QByteArray(20000, 'k'));
        QVERIFY(!Image.isEmpty());
    }
    void cleanupTestCase() { QFile::remove(Image); }
    void cleanup() { Dialogs::TakeShownBoxes(); }

    // Twenty-six rows (a refused login, an unreachable one, a slow one, two units sharing one
    // address, and one unit listed three times on its address, as a unit answering through
    // several families and types is): one at a time, then four and eight at once. The same lines
    // in the progress window and the log; at most four or eight requests open at once, more than
    // one; nothing sent to the shared address; the three rows of one unit never two at once; the
    // count line beside the buttons while it runs, never in the list, gone afterwards.
    void EightAtOnceReadLikeOneAtATime()
    {
        TJobsWindow w;
        const std::string shared = Format("Shares %s with 1 other device; give each its own address first (Actions → "
                                          "Set Up Checked Devices...)",
                                          kTwinAddress);
        for (int type : {1, 2})
            w.Window.Add({.TypeCode = type, .Name = "Orvex 01", .MAC = kOrvex01, .PeerIP = "10.77.6.1"});
        std::map<int, int> oneUnit;
        std::map<int, std::vector<std::string>> lines, logs;
        std::map<int, int> most;
        std::map<int, int> twins;
        std::set<QString> counts;
        QTimer watch;
        connect(&watch, &QTimer::timeout, [&] {
            const QString text = QString::fromStdString(w.Progress->CountText());
            if (!text.isEmpty())
                counts.insert(text);
        });
        for (int jobs : {1, 4, 8}) {
            w.Form().Settings.TransferJobs = jobs;
            w.CheckWhere([](const QString& name) { return !IsGate(name); });
            w.Form().ActionLog.clear();
            w.Events.Mark();
            QTest::qWait(300);  // the devices of the last run are back from their restart
            Dialogs::QueueFileName(Image.toStdString());
            TLoginForm::QueueAnswer(false);  // "Locked": Cancel
            watch.start(5);
            Control<QAction>(w.Form(), "acFirmUpgr")->trigger();
            QVERIFY(w.Finish());
            watch.stop();
            lines[jobs] = w.Lines();
            logs[jobs] = w.PlainLog();
            most[jobs] = w.Events.MostOpen();
            twins[jobs] = w.Events.MostOpen(QStringLiteral("00:0A:14:60:00:50"));
            oneUnit[jobs] = w.Events.MostOpen(QString::fromLatin1(kOrvex01));
            QCOMPARE(w.Events.Opened(QString::fromLatin1(kOrvex01)), 3);
            // One request each but for the unreachable one and the two sharing an address.
            QCOMPARE(w.Events.Opened(), 23);
            QCOMPARE(w.Batches().MostAtOnce(), jobs);
            QVERIFY(w.Progress->CountText().empty());
            w.Progress->hide();
        }
        QCOMPARE(lines[1].size(), size_t(26 * 4 + 3));
        for (const char* mac : {"00:0A:14:60:00:50", "00:0A:14:60:00:51"}) {
            const auto at = std::find(lines[1].begin(), lines[1].end(), "Upgrade Failed (" + std::string(mac) + ")");
            QVERIFY2(at != lines[1].end() && *(at - 1) == shared, mac);
        }
        for (int jobs : {4, 8}) {
            QCOMPARE(lines[jobs], lines[1]);
            for (size_t i = 0; i < std::min(logs[jobs].size(), logs[1].size()); ++i)
                QVERIFY2(logs[jobs][i] == logs[1][i], (std::to_string(jobs) + " at once, log line " + std::to_string(i) + ": "
                                                       + logs[jobs][i] + " | one at a time: " + logs[1][i]).c_str());
            QCOMPARE(logs[jobs].size(), logs[1].size());
        }
        QCOMPARE(lines[8].back(), std::string("Unsuccessful: 4"));  // "Locked", "Nowhere", "Twin A" and "Twin B"
        QCOMPARE(most[1], 1);
        QVERIFY2(most[4] > 1 && most[4] <= 4, std::to_string(most[4]).c_str());
        QVERIFY2(most[8] > 1 && most[8] <= 8, std::to_string(most[8]).c_str());
        QCOMPARE(twins[1] + twins[4] + twins[8], 0);
        for (int jobs : {1, 4, 8})
            QCOMPARE(oneUnit[jobs], 1);
        // The count line: done, running and left, as the run went on; never a line of the list.
        QVERIFY(!counts.empty());
        const QRegularExpression shape(QStringLiteral("^Done: (\\d+), running: (\\d+), left: (\\d+)$"));
        bool sawEight = false;
        for (const QString& text : counts) {
            const auto match = shape.match(text);
            QVERIFY2(match.hasMatch(), qPrintable(text));
            QCOMPARE(match.captured(1).toInt() + match.captured(2).toInt() + match.captured(3).toInt(), 26);
            QVERIFY(match.captured(2).toInt() <= 8);
            sawEight = sawEight || match.captured(2).toInt() == 8;
        }
        QVERIFY(sawEight);
        for (const std::string& line : lines[8])
            QVERIFY2(line.rfind("Done:", 0) != 0, line.c_str());
    }

    // Three devices with the same credentials, eight at once: they all ask at about the same time,
    // one dialog is shown and its credentials serve all three. Then Cancel in the first dialog fails
    // only the device that asked; the next one asks again.
    void OneLoginDialogAtATime()
    {
        for (bool cancelFirst : {false, true}) {
            TJobsWindow w;
            w.Form().Settings.TransferJobs = 8;
            w.CheckWhere(IsGate);
            const int shown = TLoginForm::TimesShown();
            if (cancelFirst)
                TLoginForm::QueueAnswer(false);
            TLoginForm::QueueAnswer(true, "admin", "secret");
            Dialogs::QueueFileName(Image.toStdString());
            Control<QAction>(w.Form(), "acFirmUpgr")->trigger();
            QVERIFY(w.Finish());
            QCOMPARE(TLoginForm::TimesShown(), shown + (cancelFirst ? 2 : 1));
            const std::vector<std::string> lines = w.Lines();
            QCOMPARE(lines[lines.size() - 2], std::string(cancelFirst ? "Successful: 2" : "Successful: 3"));
        }
    }

    // Four at once over ten devices. Stop once two have ended: the running ones end as usual, the
    // rest get no block and are counted as not started. Stop twice while four run: those four end
    // at once, failed.
    void StopWithSeveralAtOnce()
    {
        TJobsWindow w;
        w.Form().Settings.TransferJobs = 4;
        auto* ui = w.Progress->ui();
        const QRegularExpression shape(QStringLiteral("^Done: (\\d+), running: (\\d+), left: (\\d+)$"));
        for (int clicks : {1, 2}) {
            w.CheckWhere([](const QString& name) { return name.startsWith(QStringLiteral("Orvex")); });
            w.Form().ActionLog.clear();
            w.Events.Mark();
            QTest::qWait(300);
            bool clicked = false;
            QTimer watch;
            connect(&watch, &QTimer::timeout, [&] {
                const auto match = shape.match(QString::fromStdString(w.Progress->CountText()));
                if (clicked || !match.hasMatch())
                    return;
                if (clicks == 1 ? match.captured(1).toInt() >= 2 : match.captured(2).toInt() == 4) {
                    clicked = true;
                    for (int i = 0; i < clicks; ++i)
                        QTest::mouseClick(ui->StopButton, Qt::LeftButton);
                }
            });
            watch.start(2);
            Dialogs::QueueFileName(Image.toStdString());
            Control<QAction>(w.Form(), "acFirmUpgr")->trigger();
            QVERIFY(w.Finish());
            watch.stop();
            QVERIFY(clicked);
            const std::vector<std::string> lines = w.Lines();
            std::string all;
            for (const std::string& line : lines)
                all += line + "\n";
            QVERIFY2(lines.size() > 4, all.c_str());
            const size_t blocks = (lines.size() - 4) / 4;
            QCOMPARE(lines.size(), blocks * 4 + 4);
            QVERIFY2(lines.back() == Format("Not started: %d", int(10 - blocks)), all.c_str());
            QVERIFY(blocks >= 4 && blocks < 10);
            // A device with a block connected, unless the second stop came while it was still
            // looking up its login (then it fails before connecting); none without a block did.
            QVERIFY(w.Events.Opened() <= int(blocks));
            QVERIFY(w.Events.Opened() >= int(blocks) - (clicks == 2 ? 4 : 0));
            QVERIFY(w.Logged("The batch was stopped."));
            int failed = 0;
            for (size_t b = 0; b < blocks; ++b)
                failed += lines[b * 4 + 2] == "Upgrade Failed";
            if (clicks == 1)
                QCOMPARE(failed, 0);
            else
                QVERIFY2(failed >= 1 && w.Logged("The transfer was stopped."), std::to_string(failed).c_str());
            w.Progress->hide();
        }
    }

private:
    QString Image;
};

QTEST_MAIN(TestLabJobs)
#include "gui_jobs_tests.moc"
