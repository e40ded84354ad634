// Window tests of the open site's missing units: an expected unit that does not answer is a grey
// row after the others with "Missing" in its Last Seen column and the site file's values, takes no
// check mark and counts for nothing a command works on, stays across Find Devices, gives way to
// the unit's own row when it answers, and goes with Close Site; the line under the list counts the
// units that answered. Without the watch a Find Devices cycle's end is the check (the window's
// cycles here ask a private network that nobody answers: the tests' devices answer by hand); with
// the watch two silent rounds are, played on the watch's state with its rounds stopped.
#include "devicefeed.h"
#include "pyxetfixture.h"
#include "ui_form.h"

#include "core/devices/sharedaddress.h"
#include "core/watch/watchrun.h"
#include "gui/app/watchpanel.h"

#include <QAction>
#include <QCheckBox>
#include <QDateTime>
#include <QLabel>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>

namespace {

const TDeviceSpec kBoiler{.TypeCode = 1, .Name = "Boiler", .MAC = "00:0A:59:00:00:01", .PeerIP = "10.0.0.1"};
const TDeviceSpec kGarage{.TypeCode = 1, .Name = "Garage", .MAC = "00:0A:59:00:00:02", .PeerIP = "10.0.0.2"};

// Both units expected, the garage listed at the boiler's address (the site's values, not its
// answer's: it shares no address with the boiler while it is missing).
const char* const kSite = "MAC,Family,Name,PeerIP,FirmwareRev,TypeName,Expected,Note\r\n"
                          "00:0A:59:00:00:01,Orvex,Boiler,10.0.0.1,1.0,Poseidon 2261,1,In the cellar\r\n"
                          "00:0A:59:00:00:02,Orvex,Garage,10.0.0.1,1.0,Poseidon 2261,1,By the gate\r\n";

TWatchAnswer AnswerOf(const TDeviceSpec& spec)
{
    return {spec.MAC, "Orvex", spec.Name, spec.PeerIP, spec.FirmwareRev, "Poseidon 2261"};
}

}  // namespace

class TestWatchSite : public QObject {
    Q_OBJECT
    QTemporaryDir Dir;

    std::string SitePath()
    {
        const QString path = Dir.filePath(QStringLiteral("plant.csv"));
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return {};
        file.write(kSite);
        return path.toStdString();
    }
    void Add(TTestWindow& w, const TDeviceSpec& spec)
    {
        w.Form->AddDevice(MakeOrvexUnit(spec), kTestProducts, nullptr);
        QApplication::processEvents();
    }
    // A Find Devices cycle without the watch in which these units answer, to its end.
    bool Cycle(TTestWindow& w, std::initializer_list<TDeviceSpec> answering)
    {
        w.Form->FindDevices({});
        for (const TDeviceSpec& spec : answering)
            Add(w, spec);
        const bool ended = QTest::qWaitFor([&] { return !w.Form->Watch->CycleChecking(); }, 15000);
        QApplication::processEvents();
        return ended;
    }
    int Row(TTestWindow& w, const char* name) { return int(w.Names().indexOf(QString::fromUtf8(name))); }
    QString SiteLine(TTestWindow& w)
    {
        QLabel* line = Control<QLabel>(*w.Form, "WatchSiteLine");
        return line->isVisible() ? line->text() : QString();
    }
    // The missing row of the garage, as it must show whatever else the list holds.
    void GarageMissing(TTestWindow& w)
    {
        const int garage = Row(w, "Garage");
        QCOMPARE(garage, w.Model()->RowCount());  // after the registry's rows
        QVERIFY(w.Model()->MissingDevice(garage));
        QVERIFY(w.Model()->IsGone(garage));
        QCOMPARE(w.Model()->columnCount(), 6);
        QCOMPARE(w.Model()->index(garage, 5).data().toString(), QStringLiteral("Missing"));
        QCOMPARE(w.Model()->index(garage, 2).data().toString(), QStringLiteral("00:0A:59:00:00:02"));
        QCOMPARE(w.Model()->index(garage, 3).data().toString(), QStringLiteral("10.0.0.1"));
        QCOMPARE(w.Model()->index(garage, 0).data().toString(), QStringLiteral("Poseidon 2261"));
        const Qt::ItemFlags flags = w.Model()->flags(w.Model()->index(garage, 0));
        QVERIFY(!(flags & Qt::ItemIsUserCheckable));
        QVERIFY(!(flags & Qt::ItemIsSelectable));
        const QColor ink = w.List()->palette().color(QPalette::Text);
        const QColor grey = w.List()->palette().color(QPalette::Disabled, QPalette::Text);
        QVERIFY(w.RowHasColour(garage, grey));
        QVERIFY(!w.RowHasColour(garage, ink));
    }

private slots:
    void initTestCase() { QVERIFY(Dir.isValid()); }

    // Without the watch: the cycle's end is the check, at once.
    void MissingRowWithoutWatch()
    {
        TTestWindow w;
        QLabel* line = Control<QLabel>(*w.Form, "WatchSiteLine");
        const int fullHeight = w.List()->height();
        QVERIFY(w.Form->OpenSite(SitePath(), false));
        QVERIFY(Cycle(w, {kBoiler}));
        QCOMPARE(w.Names(), (QStringList{QStringLiteral("Boiler"), QStringLiteral("Garage")}));
        GarageMissing(w);
        // The line under the list, the list shorter by its room.
        QCOMPARE(SiteLine(w), QStringLiteral("plant: 1 of 2 expected devices answered"));
        QVERIFY(line->geometry().top() > w.List()->geometry().bottom());
        QVERIFY(w.List()->height() < fullHeight);
        // The unit that answered has the site's note; it shares its address with nobody.
        const int boiler = Row(w, "Boiler");
        QCOMPARE(w.Model()->index(boiler, 0).data(Qt::ToolTipRole).toString(), QStringLiteral("In the cellar"));
        QVERIFY(!w.Model()->InIpConflict(boiler));
        QVERIFY(AddressSharers(w.Form->Devices).empty());

        // No mark, no part of the count, the All box or a batch.
        const int garage = Row(w, "Garage");
        w.ClickCheck(garage);
        QVERIFY(w.CheckedNames().isEmpty());
        QTest::mouseClick(Control<QCheckBox>(*w.Form, "AllChecked"), Qt::LeftButton);
        QCOMPARE(w.CheckedNames(), QStringList{QStringLiteral("Boiler")});
        QCOMPARE(Control<QCheckBox>(*w.Form, "AllChecked")->checkState(), Qt::Checked);
        QCOMPARE(w.Panel()->CheckedDevices().size(), size_t(1));
        QCOMPARE(Control<QLabel>(*w.Form, "DeviceCounter")->text(), QStringLiteral("1"));
        // The search hides it like any row.
        Control<QLineEdit>(*w.Form, "teSearch")->setText(QStringLiteral("Boil"));
        QCOMPARE(w.Names(), QStringList{QStringLiteral("Boiler")});
        Control<QLineEdit>(*w.Form, "teSearch")->clear();
        QCOMPARE(w.Names(), (QStringList{QStringLiteral("Boiler"), QStringLiteral("Garage")}));

        // Find Devices: kept while the cycle runs and after it.
        w.Form->FindDevices({});
        QApplication::processEvents();
        QCOMPARE(w.Names(), QStringList{QStringLiteral("Garage")});
        GarageMissing(w);
        QCOMPARE(SiteLine(w), QStringLiteral("plant: 0 of 2 expected devices answered"));
        Add(w, kBoiler);
        QTRY_VERIFY_WITH_TIMEOUT(!w.Form->Watch->CycleChecking(), 15000);
        QApplication::processEvents();
        QCOMPARE(w.Names(), (QStringList{QStringLiteral("Boiler"), QStringLiteral("Garage")}));
        GarageMissing(w);

        // It answers: its own row in place of the missing one, with its note.
        Add(w, {.Name = "Garage", .MAC = kGarage.MAC, .PeerIP = "10.0.0.7"});
        QCOMPARE(w.Names(), (QStringList{QStringLiteral("Boiler"), QStringLiteral("Garage")}));
        QCOMPARE(w.Model()->MissingRows(), 0);
        QCOMPARE(w.Model()->RowCount(), 2);
        const int answered = Row(w, "Garage");
        QVERIFY(!w.Model()->IsGone(answered));
        QCOMPARE(w.Model()->index(answered, 3).data().toString(), QStringLiteral("10.0.0.7"));
        QVERIFY(w.Model()->index(answered, 5).data().toString().isEmpty());
        QCOMPARE(w.Model()->index(answered, 0).data(Qt::ToolTipRole).toString(), QStringLiteral("By the gate"));
        QCOMPARE(SiteLine(w), QStringLiteral("plant: 2 of 2 expected devices answered"));

        // Missing again after a cycle without it; Close Site: the row, the column and the line go.
        QVERIFY(Cycle(w, {kBoiler}));
        GarageMissing(w);
        Control<QAction>(*w.Form, "acCloseSite")->trigger();
        QApplication::processEvents();
        QCOMPARE(w.Names(), QStringList{QStringLiteral("Boiler")});
        QCOMPARE(w.Model()->MissingRows(), 0);
        QCOMPARE(w.Model()->columnCount(), 5);
        QVERIFY(line->isHidden());
        QCOMPARE(w.List()->height(), fullHeight);
        QVERIFY(w.Model()->index(0, 0).data(Qt::ToolTipRole).toString().isEmpty());
    }

    // A site opened after a cycle: that cycle's answers are the check.
    void SiteOpenedAfterACycle()
    {
        TTestWindow w;
        QVERIFY(Cycle(w, {kBoiler}));
        QVERIFY(w.Form->OpenSite(SitePath(), false));
        QApplication::processEvents();
        QCOMPARE(w.Names(), (QStringList{QStringLiteral("Boiler"), QStringLiteral("Garage")}));
        GarageMissing(w);
        QCOMPARE(SiteLine(w), QStringLiteral("plant: 1 of 2 expected devices answered"));
    }

    // Watching: missing after two silent rounds, kept across Find Devices, replaced when it
    // answers.
    void MissingRowWatching()
    {
        TTestWindow w;
        Add(w, kBoiler);
        Control<QAction>(*w.Form, "acWatch")->trigger();
        TWatchRunner& runner = w.Form->Watch->Runner();
        runner.Stop();
        TWatch& watch = runner.Watch();
        QVERIFY(w.Form->OpenSite(SitePath(), false));
        const int64_t start = QDateTime::currentMSecsSinceEpoch();
        for (int round = 0; round < 2; ++round) {
            QCOMPARE(w.Model()->MissingRows(), 0);
            watch.BeginRound(start + round * 5000);
            watch.Answer(AnswerOf(kBoiler), start + round * 5000 + 100);
            for (const TWatchEvent& event : watch.EndRound(start + round * 5000 + 2000))
                emit runner.Event(event);
            QApplication::processEvents();
        }
        QCOMPARE(w.Names(), (QStringList{QStringLiteral("Boiler"), QStringLiteral("Garage")}));
        GarageMissing(w);
        QCOMPARE(SiteLine(w), QStringLiteral("plant: 1 of 2 expected devices answered"));
        QCOMPARE(w.Model()->index(Row(w, "Boiler"), 0).data(Qt::ToolTipRole).toString(),
                 QStringLiteral("In the cellar"));

        // Find Devices: a new list, the missing row stays.
        w.Form->FindDevices({});
        runner.Stop();
        QApplication::processEvents();
        QCOMPARE(w.Names(), QStringList{QStringLiteral("Garage")});
        GarageMissing(w);

        // It answers a round: its row in place of the missing one.
        watch.BeginRound(start + 20000);
        Add(w, kGarage);
        for (const TWatchEvent& event : watch.Answer(AnswerOf(kGarage), start + 20100))
            emit runner.Event(event);
        QApplication::processEvents();
        QCOMPARE(w.Names(), QStringList{QStringLiteral("Garage")});
        QCOMPARE(w.Model()->MissingRows(), 0);
        QVERIFY(!w.Model()->IsGone(0));
        QCOMPARE(w.Model()->index(0, 0).data(Qt::ToolTipRole).toString(), QStringLiteral("By the gate"));
        QCOMPARE(SiteLine(w), QStringLiteral("plant: 1 of 2 expected devices answered"));
    }
};

QTEST_MAIN(TestWatchSite)
#include "test_watchsite.moc"
