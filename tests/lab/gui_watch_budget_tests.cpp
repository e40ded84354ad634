// The window's watch, offscreen, against the simulated devices of
// tests/lab/gui_watch_budget_fleet.json inside scripts/lab.sh (test_gui_watch_budget.sh):
//  - watched at 5 s, Find at Addresses (the unit last in a sweep of 201 addresses) and Find
//    Devices pressed several times within a few seconds: the simulator's events show no two
//    requests of one family closer than 5 s, and the unit found by unicast asked at most once in
//    5 s; the list emptied by Find Devices is filled again by the round that goes once its time
//    has come;
//  - an upgrade with verification that restarts "Upgraded" for 14 s: no round begins while the
//    batch runs, the unit is never reported gone, and the rounds go on after the batch;
//  - a search a command waits for while watching ends with the watch's round of the new list,
//    and the units it hears again are no new devices.
#include "transferfixture.h"
#include "ui_form.h"
#include "ui_progressinfo.h"

#include "core/app/i18n.h"
#include "core/devices/netinterfaces.h"
#include "core/watch/watchrun.h"
#include "gui/app/watchpanel.h"

#include <QAction>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSignalSpy>
#include <QTest>

#include <algorithm>
#include <map>
#include <vector>

namespace {

const char* const kAsked = "00:0A:14:71:00:01";
const char* const kUpgraded = "00:0A:14:71:00:02";
// The gap the simulator may measure short of 5 s: its clock is not the window's, and it reads a
// datagram a moment after it was sent.
constexpr double kMeasureSlack = 0.05;
// The copies of a request ([Discovery] Repeat 2, 250 ms apart) and its broadcast addresses
// reach the devices within this many seconds: one request.
constexpr double kCopiesSpan = 0.6;

// The simulator's events from line `from` on.
QList<QJsonObject> Events(qsizetype from = 0)
{
    QList<QJsonObject> events;
    QFile file(qEnvironmentVariable("PYXET_LAB_EVENTS"));
    if (!file.open(QIODevice::ReadOnly))
        return events;
    const QList<QByteArray> lines = file.readAll().split('\n');
    for (qsizetype k = from; k < lines.size(); ++k)
        if (!lines[k].trimmed().isEmpty())
            events << QJsonDocument::fromJson(lines[k]).object();
    return events;
}

qsizetype EventCount()
{
    QFile file(qEnvironmentVariable("PYXET_LAB_EVENTS"));
    return file.open(QIODevice::ReadOnly) ? file.readAll().count('\n') : -1;
}

bool InfoRequest(const QJsonObject& e)
{
    return e.value(QStringLiteral("event")) == QStringLiteral("request") && e.value(QStringLiteral("kind")) == QStringLiteral("info");
}

// A family's broadcast requests: each datagram once (every device it reached logs it), those
// within kCopiesSpan of the first as one request; the times of the requests and how many
// datagrams each had.
std::vector<std::pair<double, int>> BroadcastRequests(const QList<QJsonObject>& events, const QString& family)
{
    std::map<int, double> datagrams;
    for (const QJsonObject& e : events)
        if (InfoRequest(e) && e.value(QStringLiteral("broadcast")).toBool() && e.value(QStringLiteral("family")) == family)
            datagrams.emplace(e.value(QStringLiteral("datagram")).toInt(), e.value(QStringLiteral("t")).toDouble());
    std::vector<double> times;
    for (const auto& [datagram, t] : datagrams)
        times.push_back(t);
    std::sort(times.begin(), times.end());
    std::vector<std::pair<double, int>> requests;
    for (const double t : times) {
        if (requests.empty() || t - requests.back().first > kCopiesSpan)
            requests.push_back({t, 0});
        ++requests.back().second;
    }
    return requests;
}

// The times a unit received an info request sent to its own address.
std::vector<double> UnicastRequests(const QList<QJsonObject>& events, const char* mac)
{
    std::vector<double> times;
    for (const QJsonObject& e : events)
        if (InfoRequest(e) && !e.value(QStringLiteral("broadcast")).toBool()
            && e.value(QStringLiteral("device")) == QLatin1String(mac))
            times.push_back(e.value(QStringLiteral("t")).toDouble());
    std::sort(times.begin(), times.end());
    return times;
}

// The gaps between consecutive times shorter than the budget allows, as text for a failure.
QStringList TooClose(const std::vector<double>& times)
{
    QStringList close;
    for (size_t k = 1; k < times.size(); ++k)
        if (times[k] - times[k - 1] < kWatchSpacingMs / 1000.0 - kMeasureSlack)
            close << QStringLiteral("%1 s after %2").arg(times[k] - times[k - 1], 0, 'f', 3).arg(times[k - 1], 0, 'f', 3);
    return close;
}

// The log lines of the watch's events about one unit, their texts after "(<MAC>): ".
QStringList EventsOf(const TPyxetForm& form, const std::string& mac)
{
    QStringList out;
    for (const TLogLine& line : form.ActionLog) {
        const size_t at = line.Text.find(mac + "): ");
        if (at != std::string::npos && line.Level == LOG_INFO)
            out << QString::fromStdString(line.Text.substr(at + mac.size() + 3));
    }
    return out;
}

void StartWatch(TTestWindow& w)
{
    w.Form->Watch->SetSeconds(5);
    Control<QAction>(*w.Form, "acWatch")->trigger();
    QVERIFY(w.Form->Watch->Watching());
}

}  // namespace

class TestGuiWatchBudget : public QObject {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        InitTranslation(PYXET_BIN_DIR "/");
        Dialogs::SetAutomatic(true);
        UseLanguage("en");
    }

    void FindPressedInAHurryKeepsTheBudget()
    {
        TTransferWindow t;
        TTestWindow& w = t.Window;
        QTRY_VERIFY_WITH_TIMEOUT(w.Names().size() == 3, 5000);
        QTest::qWait(300);  // the window's own search has had its answers
        const qsizetype from = EventCount();
        QVERIFY(from > 0);
        w.Form->Settings.Repeat = 2;
        TWatchRunner& runner = w.Form->Watch->Runner();
        QSignalSpy begun(&runner, &TWatchRunner::RoundBegun);
        StartWatch(w);

        // Find at Addresses three times in a second and a half, once more a second after a
        // round: each goes when the budget allows. Two hundred addresses where nobody answers
        // come first: the sweep reaches the unit most of a second into its round.
        std::vector<uint32_t> targets;
        for (uint32_t k = 1; k <= 200; ++k)
            targets.push_back(*ParseAddress("10.77.9.0") + k);
        targets.push_back(*ParseAddress("10.77.8.1"));
        QTest::qWait(1500);
        for (int k = 0; k < 3; ++k) {
            w.Form->FindDevices(targets);
            QTest::qWait(700);
        }
        QTRY_VERIFY_WITH_TIMEOUT(runner.Watch().UnicastAddresses() == std::vector<std::string>{"10.77.8.1"}, 10000);
        begun.clear();
        QVERIFY(begun.wait(8000));
        QTest::qWait(1000);
        w.Form->FindDevices(targets);
        // Two rounds that ask the unit found by unicast at its address.
        QTRY_VERIFY_WITH_TIMEOUT(begun.size() >= 3, 20000);
        QCOMPARE(runner.Watch().UnicastAddresses(), std::vector<std::string>{"10.77.8.1"});

        // Find Devices three times within two seconds, a second after a round: the list is new
        // at once, its round goes when the 5 s have passed, and fills it.
        begun.clear();
        QVERIFY(begun.wait(8000));
        QTest::qWait(1000);
        QAction* find = Control<QAction>(*w.Form, "acFind");
        for (int k = 0; k < 3; ++k) {
            find->trigger();
            if (k == 0)
                QVERIFY(w.Names().isEmpty());
            QTest::qWait(700);
        }
        QTRY_VERIFY_WITH_TIMEOUT(w.Names().size() == 3, 10000);
        begun.clear();
        QVERIFY(begun.wait(8000));
        QTest::qWait(2500);  // its answers
        QCOMPARE(w.Names().size(), 3);
        Control<QAction>(*w.Form, "acWatch")->trigger();
        QVERIFY(!w.Form->Watch->Watching());
        QTest::qWait(300);

        const QList<QJsonObject> events = Events(from);
        for (const char* name : {"Orvex", "HWG"}) {
            const QString family = QLatin1String(name);
            const std::vector<std::pair<double, int>> requests = BroadcastRequests(events, family);
            std::vector<double> times;
            for (const auto& [at, datagrams] : requests) {
                times.push_back(at);
                // Each request whole (its copies and broadcast addresses), none merged with another.
                QCOMPARE(datagrams, requests.front().second);
            }
            QVERIFY2(requests.size() >= 6, qPrintable(family));
            QCOMPARE(TooClose(times), QStringList());
        }
        const std::vector<double> unicast = UnicastRequests(events, kAsked);
        QVERIFY2(unicast.size() >= 4, qPrintable(QString::number(unicast.size())));
        QCOMPARE(TooClose(unicast), QStringList());
        QVERIFY(EventsOf(*w.Form, kAsked).filter(QStringLiteral("gone")).isEmpty());
    }

    void RoundsRestWhileABatchRestartsAUnit()
    {
        const QString image = QDir::temp().absoluteFilePath(QStringLiteral("pyxet-watch-batch.kri"));
        {
            QFile f(image);
            QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
            f.write("PYXET-SIM-FIRMWARE 2.16.0\n" + QByteArray(20000, 'k'));
        }
        TTransferWindow t;
        TTestWindow& w = t.Window;
        QTRY_VERIFY_WITH_TIMEOUT(w.Names().size() == 3, 5000);
        TWatchRunner& runner = w.Form->Watch->Runner();
        QSignalSpy ended(&runner, &TWatchRunner::RoundEnded);
        StartWatch(w);
        QVERIFY(ended.wait(8000));

        // Verification keeps the batch running through the unit's 14 s restart: more than two
        // rounds of 5 s.
        Control<QAction>(t.Form(), "acVerifyUpgrades")->trigger();
        QVERIFY(t.Form().Settings.VerifyUpgrades);
        t.Form().Settings.VerifySeconds = 40;
        t.Check({"Upgraded"});
        bool restedAtStart = false;
        int roundsInBatch = 0;
        connect(&t.Batches(), &TBatchController::BatchStarted, this, [&] { restedAtStart = runner.Paused(); });
        connect(&runner, &TWatchRunner::RoundBegun, this, [&] {
            if (t.Main().Busy())
                ++roundsInBatch;
        });
        QSignalSpy begun(&runner, &TWatchRunner::RoundBegun);
        QElapsedTimer batch;
        batch.start();
        Dialogs::QueueFileName(image.toStdString());
        Control<QAction>(t.Form(), "acFirmUpgr")->trigger();
        QVERIFY(t.Finish());
        QVERIFY2(batch.elapsed() > 12000, qPrintable(QString::number(batch.elapsed())));
        QVERIFY(restedAtStart);
        QCOMPARE(roundsInBatch, 0);
        QVERIFY(!runner.Paused());
        begun.clear();
        // The rounds go on after the batch: within the 5 s of the budget.
        QVERIFY(begun.wait(7000));
        QVERIFY(ended.wait(5000));
        const int row = int(w.Names().indexOf(QStringLiteral("Upgraded")));
        QVERIFY(row >= 0);
        QVERIFY(!w.Model()->IsGone(row));
        QCOMPARE(w.Model()->Device(row)->Info.FirmwareRev, std::string("2.16.0"));
        QVERIFY2(!EventsOf(*w.Form, kUpgraded).contains(QStringLiteral("gone")),
                 qPrintable(EventsOf(*w.Form, kUpgraded).join(QLatin1Char('\n'))));
        QFile::remove(image);
    }

    // A search that a command waits for (Resume Last Upgrade) while watching: the watch's round of
    // the new list is that search, and the command goes on once it has ended, the list filled.
    // The units that answer it again are no new devices.
    void FindDevicesThenWaitsForTheWatchsRound()
    {
        TTransferWindow t;
        TTestWindow& w = t.Window;
        QTRY_VERIFY_WITH_TIMEOUT(w.Names().size() == 3, 5000);
        TWatchRunner& runner = w.Form->Watch->Runner();
        QSignalSpy ended(&runner, &TWatchRunner::RoundEnded);
        StartWatch(w);
        QVERIFY(ended.wait(8000));
        bool called = false;
        qsizetype namesThen = -1;
        QVERIFY(w.Form->FindDevicesThen([&] {
            called = true;
            namesThen = w.Names().size();
        }));
        QVERIFY(w.Names().isEmpty());
        QTRY_VERIFY_WITH_TIMEOUT(called, 15000);
        QCOMPARE(namesThen, qsizetype(3));
        for (const char* mac : {kAsked, kUpgraded, "00:0A:59:71:00:03"})
            QVERIFY2(EventsOf(*w.Form, mac).isEmpty(), qPrintable(EventsOf(*w.Form, mac).join(QLatin1Char('\n'))));
    }
};

QTEST_MAIN(TestGuiWatchBudget)
#include "gui_watch_budget_tests.moc"
