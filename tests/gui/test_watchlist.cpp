// Window tests of the watch's marks in the device list: units gone after two silent rounds
// (grey, italic, no check mark, "Last seen" in the tool tip and the Last Seen column) and back
// when they answer, a changed answer re-filing its row, and the open site's line. The rounds
// are stopped as soon as the watch is on; the tests play them on the watch's state itself.
#include "devicefeed.h"
#include "pyxetfixture.h"
#include "ui_form.h"

#include "core/app/i18n.h"
#include "core/devices/family.h"
#include "core/watch/watchrun.h"
#include "gui/app/watchpanel.h"

#include <QAction>
#include <QDateTime>
#include <QLabel>
#include <QLocale>
#include <QTest>

namespace {

const TDeviceSpec kBoiler{.TypeCode = 1, .Name = "Boiler", .MAC = "00:0A:59:00:00:01", .PeerIP = "10.0.0.1"};
const TDeviceSpec kGarage{.TypeCode = 1, .Name = "Garage", .MAC = "00:0A:59:00:00:02", .PeerIP = "10.0.0.2"};

TWatchAnswer AnswerOf(const TDeviceSpec& spec)
{
    return {spec.MAC, "Orvex", spec.Name, spec.PeerIP, spec.FirmwareRev, "Poseidon 2261"};
}

QString LocalTime(int64_t ms)
{
    const QDateTime when = QDateTime::fromMSecsSinceEpoch(ms).toLocalTime();
    const QLocale locale;
    return locale.toString(when.date(), QLocale::ShortFormat) + QLatin1Char(' ')
           + locale.toString(when.time(), QStringLiteral("HH:mm:ss"));
}

}  // namespace

class TestWatchList : public QObject {
    Q_OBJECT

    void Add(TTestWindow& w, const TDeviceSpec& spec)
    {
        w.Form->AddDevice(MakeOrvexUnit(spec), kTestProducts, nullptr);
        QApplication::processEvents();
    }
    // The watch on, its rounds stopped: the test plays them.
    TWatch& WatchOn(TTestWindow& w)
    {
        Control<QAction>(*w.Form, "acWatch")->trigger();
        w.Form->Watch->Runner().Stop();
        return w.Form->Watch->Runner().Watch();
    }
    void Shown(TTestWindow& w)
    {
        w.Form->Watch->Refresh();
        QApplication::processEvents();
    }
    int Row(TTestWindow& w, const char* name) { return int(w.Names().indexOf(QString::fromUtf8(name))); }

private slots:
    void OffChangesNothing()
    {
        TTestWindow w;
        QAction* watch = Control<QAction>(*w.Form, "acWatch");
        QVERIFY(watch->isCheckable());
        QVERIFY(!watch->isChecked());
        QVERIFY(watch->isEnabled());
        Add(w, kBoiler);
        QCOMPARE(w.Model()->columnCount(), 5);
        QVERIFY(!Control<QLabel>(*w.Form, "WatchSiteLine")->isVisible());

        // On, the Last Seen column; off again, the list is as it was and answers are filed by
        // their lines alone.
        watch->trigger();
        QCOMPARE(w.Model()->columnCount(), 6);
        QCOMPARE(w.Model()->headerData(5, Qt::Horizontal, Qt::DisplayRole).toString(), QStringLiteral("Last Seen"));
        watch->trigger();
        QVERIFY(!w.Form->Watch->Watching());
        QCOMPARE(w.Model()->columnCount(), 5);
        Add(w, {.Name = "Boiler", .MAC = kBoiler.MAC, .PeerIP = "10.0.0.9"});
        QCOMPARE(w.Names(), (QStringList{QStringLiteral("Boiler"), QStringLiteral("Boiler")}));

        TTestWindow demo({QStringLiteral("-demo")});
        QVERIFY(!Control<QAction>(*demo.Form, "acWatch")->isEnabled());
    }

    void GoneAfterTwoRoundsAndBack()
    {
        TTestWindow w;
        Add(w, kBoiler);
        Add(w, kGarage);
        TWatch& watch = WatchOn(w);
        w.ClickCheck(0);
        w.ClickCheck(1);
        QCOMPARE(w.CheckedNames(), (QStringList{QStringLiteral("Boiler"), QStringLiteral("Garage")}));
        const QColor ink = w.List()->palette().color(QPalette::Text);
        const QColor grey = w.List()->palette().color(QPalette::Disabled, QPalette::Text);
        QVERIFY(ink != grey);

        // Only the garage answers two rounds; the boiler is gone after the second.
        const int64_t start = QDateTime::currentMSecsSinceEpoch();
        const int64_t boilerSeen = watch.Find(*WatchKeyOf(kBoiler.MAC, "Orvex"))->LastSeen;
        for (int round = 0; round < 2; ++round) {
            QVERIFY(!w.Model()->IsGone(Row(w, "Boiler")));
            watch.BeginRound(start + round * 5000);
            watch.Answer(AnswerOf(kGarage), start + round * 5000 + 100);
            watch.EndRound(start + round * 5000 + 2000);
            Shown(w);
        }
        const int boiler = Row(w, "Boiler");
        const int garage = Row(w, "Garage");
        QVERIFY(w.Model()->IsGone(boiler));
        QVERIFY(!w.Model()->IsGone(garage));
        QCOMPARE(w.CheckedNames(), QStringList{QStringLiteral("Garage")});  // its mark is gone with it
        QVERIFY(!(w.Model()->flags(w.Model()->index(boiler, 0)) & Qt::ItemIsUserCheckable));
        w.ClickCheck(boiler);
        QCOMPARE(w.CheckedNames(), QStringList{QStringLiteral("Garage")});
        w.Panel()->CheckRows({boiler, garage});
        QCOMPARE(w.CheckedNames(), QStringList{QStringLiteral("Garage")});
        QCOMPARE(w.Panel()->CheckedDevices().size(), size_t(1));

        // Last seen: when it answered last, in the column and the tool tip.
        const QString seen = LocalTime(boilerSeen);
        QCOMPARE(w.Model()->index(boiler, 5).data().toString(), seen);
        QCOMPARE(w.Model()->index(boiler, 0).data(Qt::ToolTipRole).toString(), QStringLiteral("Last seen ") + seen);
        QCOMPARE(w.Model()->index(garage, 5).data().toString(), LocalTime(start + 5100));
        QVERIFY(w.Model()->index(garage, 0).data(Qt::ToolTipRole).toString().isEmpty());
        // Grey, the garage in the list's ink.
        QVERIFY(w.RowHasColour(boiler, grey));
        QVERIFY(!w.RowHasColour(boiler, ink));
        QVERIFY(w.RowHasColour(garage, ink));

        // It answers again: normal, and it takes a mark.
        watch.Answer(AnswerOf(kBoiler), start + 11000);
        Shown(w);
        QVERIFY(!w.Model()->IsGone(boiler));
        QVERIFY(w.Model()->index(boiler, 0).data(Qt::ToolTipRole).toString().isEmpty());
        w.ClickCheck(boiler);
        QCOMPARE(w.CheckedNames(), (QStringList{QStringLiteral("Boiler"), QStringLiteral("Garage")}));
    }

    void ChangedAnswerRefilesItsRow()
    {
        TTestWindow w;
        Add(w, kBoiler);
        Add(w, kGarage);
        WatchOn(w);
        w.Form->SelectDevice(0);
        TProduct* boiler = w.Model()->Device(0);
        const QString oldLine = w.Rows().at(0);

        // A new address and name: the same device, its row moved to where the new line files.
        Add(w, {.Name = "Hall", .MAC = kBoiler.MAC, .PeerIP = "10.0.0.41"});
        QCOMPARE(w.Names(), (QStringList{QStringLiteral("Garage"), QStringLiteral("Hall")}));
        QCOMPARE(w.Model()->Device(1), boiler);
        QCOMPARE(boiler->Info.PeerIP, std::string("10.0.0.41"));
        QVERIFY(!w.Rows().contains(oldLine));
        QCOMPARE(w.Form->Devices.DeviceList().size(), size_t(2));
        QCOMPARE(w.Form->SelectedDevice(), boiler);
        // The same answer again changes nothing.
        Add(w, {.Name = "Hall", .MAC = kBoiler.MAC, .PeerIP = "10.0.0.41"});
        QCOMPARE(w.Names(), (QStringList{QStringLiteral("Garage"), QStringLiteral("Hall")}));
    }

    void SiteLineCountsExpectedUnits()
    {
        TTestWindow w;
        Add(w, kBoiler);
        TWatch& watch = WatchOn(w);
        QLabel* line = Control<QLabel>(*w.Form, "WatchSiteLine");
        TWatchUnit boiler;
        boiler.Key = *WatchKeyOf(kBoiler.MAC, "Orvex");
        boiler.Last = AnswerOf(kBoiler);
        boiler.Expected = true;
        boiler.Note = "In the cellar";
        TWatchUnit garage = boiler;
        garage.Key = *WatchKeyOf(kGarage.MAC, "Orvex");
        garage.Last = AnswerOf(kGarage);
        garage.Note = "";
        w.Form->Watch->SetSite("Villa", {boiler, garage});
        const int64_t now = QDateTime::currentMSecsSinceEpoch();
        watch.Answer(AnswerOf(kBoiler), now);
        Shown(w);
        QVERIFY(line->isVisible());
        QCOMPARE(line->text(), QStringLiteral("Villa: 1 of 2 expected devices answered"));
        // An expected unit that answers shows the site's note.
        QCOMPARE(w.Model()->index(0, 0).data(Qt::ToolTipRole).toString(), QStringLiteral("In the cellar"));

        w.Form->Watch->SetSite("", {});
        Shown(w);
        QVERIFY(!line->isVisible());
    }
};

QTEST_MAIN(TestWatchList)
#include "test_watchlist.moc"
