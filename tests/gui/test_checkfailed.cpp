// Utilities -> "Check Failed Devices" on a real main window: after a backup batch in which three
// devices fail (a small web server on the loopback address answers the others), the item checks
// exactly those three, found again by MAC after the list was made anew, under the All box's rules
// (a search that hides some, the box grayed or checked); the item is disabled while none of them
// is listed, and locked while a batch runs.
#include "configserver.h"
#include "transferfixture.h"
#include "ui_form.h"
#include "ui_progressinfo.h"

#include "core/app/i18n.h"

#include <QTest>


#include <functional>
#include <string>
#include <utility>

namespace {

// Each device that comes through answers with a small setup.xml (configserver.h); the loopback
// addresses without one refuse connections at once.
const std::string kSetup = "<?xml version=\"1.0\"?><setup><name>unit</name></setup>";

const std::vector<TDeviceSpec> kFleet = {
    {.Name = "Alpha", .MAC = "00:0A:59:00:00:01", .PeerIP = "127.0.0.1"},
    {.Name = "Bravo", .MAC = "00:0A:59:00:00:02", .PeerIP = "127.0.0.2"},
    {.Name = "Charlie", .MAC = "00:0A:59:00:00:03", .PeerIP = "127.0.0.6"},
    {.Name = "Delta", .MAC = "00:0A:59:00:00:04", .PeerIP = "127.0.0.3"},
    {.Name = "Echo", .MAC = "00:0A:59:00:00:05", .PeerIP = "127.0.0.4"},
    {.Name = "Foxtrot", .MAC = "00:0A:59:00:00:06", .PeerIP = "127.0.0.5"},
};

// A new discovery cycle: the devices freed, then found again as new objects.
void NewCycle(TTransferWindow& w, const std::vector<TDeviceSpec>& devices)
{
    w.Form().Devices.BeginCycle();
    w.Form().ClearDeviceView();
    for (const TDeviceSpec& device : devices)
        w.Window.Add(device);
}

// The fleet backed up with all but Foxtrot checked: Bravo, Delta and Echo fail.
void BackUpWithThreeFailures(TTransferWindow& w)
{
    for (const TDeviceSpec& device : kFleet)
        w.Window.Add(device);
    w.Check({"Alpha", "Bravo", "Charlie", "Delta", "Echo"});
    Control<QAction>(w.Form(), "BackupConfig")->trigger();
    QVERIFY(w.Finish());
    const auto lines = w.Lines();
    QVERIFY(lines.size() > 2);
    QCOMPARE(lines[lines.size() - 2], std::string("Successful: 2"));
    QCOMPARE(lines.back(), std::string("Unsuccessful: 3"));
}

}  // namespace

class TestCheckFailed : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        InitTranslation(PYXET_BIN_DIR "/");
        UseLanguage("en");
        Dialogs::SetAutomatic(true);
    }

    void ChecksExactlyTheFailedOnesFoundAgainByMac()
    {
        TConfigServer server("127.0.0.1", kSetup), charlie("127.0.0.6", kSetup);
        QVERIFY(server.Listening && charlie.Listening);
        TTransferWindow w;
        QAction* item = Control<QAction>(w.Form(), "acCheckFailed");
        QVERIFY2(!item->isEnabled(), "nothing failed yet");
        BackUpWithThreeFailures(w);
        QVERIFY(item->isEnabled());

        // The same devices, found again as new objects in another order of answers; Foxtrot
        // is checked by hand and Bravo's MAC comes written in another form.
        std::vector<TDeviceSpec> again(kFleet.rbegin(), kFleet.rend());
        again[4].MAC = "00-0a-59-00-00-02";
        NewCycle(w, again);
        QVERIFY(item->isEnabled());
        w.Check({"Foxtrot"});
        item->trigger();
        QCOMPARE(w.CheckedNames(),
                 (QStringList{QStringLiteral("Bravo"), QStringLiteral("Delta"), QStringLiteral("Echo")}));
        QCOMPARE(Control<QCheckBox>(w.Form(), "AllChecked")->checkState(), Qt::PartiallyChecked);
        // The marks are the list's own: the batch takes exactly them.
        QVERIFY(w.Form().AnyDeviceChecked());
        w.Progress->hide();  // "Ok": the next batch starts a new list
        Control<QAction>(w.Form(), "RestoreConfig")->trigger();  // no backup of these three: all fail again
        QVERIFY(w.Finish());
        const auto lines = w.Lines();
        QCOMPARE(lines[0], std::string("Bravo  (127.0.0.2)"));
        QCOMPARE(lines.back(), std::string("Unsuccessful: 3"));
        QCOMPARE(lines.size(), size_t(15));

        // A search shows Delta alone: only that row is checked, and it is every row.
        Control<QLineEdit>(w.Form(), "teSearch")->setText(QStringLiteral("Delta"));
        QCOMPARE(w.Window.Names(), QStringList{QStringLiteral("Delta")});
        item->trigger();
        QCOMPARE(w.CheckedNames(), QStringList{QStringLiteral("Delta")});
        QCOMPARE(Control<QCheckBox>(w.Form(), "AllChecked")->checkState(), Qt::Checked);
        // A click on the All box then clears the marks as usual.
        QTest::mouseClick(Control<QCheckBox>(w.Form(), "AllChecked"), Qt::LeftButton);
        QVERIFY(w.CheckedNames().isEmpty());
    }

    void DisabledWhileNoneOfThemIsListed()
    {
        TConfigServer server("127.0.0.1", kSetup), charlie("127.0.0.6", kSetup);
        QVERIFY(server.Listening && charlie.Listening);
        TTransferWindow w;
        QAction* item = Control<QAction>(w.Form(), "acCheckFailed");
        BackUpWithThreeFailures(w);
        QVERIFY(item->isEnabled());
        // A cycle that finds only devices that came through.
        NewCycle(w, {kFleet[0], kFleet[2], kFleet[5]});
        QVERIFY(!item->isEnabled());
        // One of the failed devices answers again.
        w.Window.Add(kFleet[3]);
        QVERIFY(item->isEnabled());
        // A search that hides it, then one that shows it again; a sort keeps the search.
        Control<QLineEdit>(w.Form(), "teSearch")->setText(QStringLiteral("Alpha"));
        QVERIFY(!item->isEnabled());
        Control<QLineEdit>(w.Form(), "teSearch")->setText(QString());
        QVERIFY(item->isEnabled());
        Control<QLineEdit>(w.Form(), "teSearch")->setText(QStringLiteral("Alpha"));
        w.Window.ClickColumn(1);
        QVERIFY(!item->isEnabled());
        Control<QLineEdit>(w.Form(), "teSearch")->clear();
        QVERIFY(item->isEnabled());
        NewCycle(w, {kFleet[0]});
        QVERIFY(!item->isEnabled());
        // A batch in which every device comes through leaves nothing to check.
        w.Check({"Alpha"});
        Control<QAction>(w.Form(), "BackupConfig")->trigger();
        QVERIFY(w.Finish());
        QCOMPARE(w.Lines().back(), std::string("Unsuccessful: 0"));
        w.Window.Add(kFleet[1]);
        QVERIFY(!item->isEnabled());
    }

    void LockedWhileABatchRuns()
    {
        TTransferWindow w;
        auto watched = std::make_unique<TWatchedProgress>();
        w.Form().Progress = watched.get();
        QAction* item = Control<QAction>(w.Form(), "acCheckFailed");
        w.Window.Add(kFleet[1]);
        w.Check({"Bravo"});
        Control<QAction>(w.Form(), "RestoreConfig")->trigger();  // no backup: Bravo fails
        QVERIFY(w.Finish());
        QVERIFY(item->isEnabled());
        bool ran = false;
        watched->OnLine = [&] {
            ran = true;
            QVERIFY(!item->isEnabled());
            // Reached all the same: the marks stay as they are.
            Control<QCheckBox>(w.Form(), "AllChecked")->setCheckState(Qt::Unchecked);
            w.Form().acCheckFailedExecute();
            QVERIFY(!w.Form().AnyDeviceChecked());
        };
        w.Check({"Bravo"});
        Control<QAction>(w.Form(), "RestoreConfig")->trigger();
        QVERIFY(w.Finish());
        QVERIFY(ran);
        QVERIFY2(item->isEnabled(), "given back, and Bravo failed again");
        watched->hide();
        w.Form().Progress = w.Progress.get();
    }
};

QTEST_MAIN(TestCheckFailed)
#include "test_checkfailed.moc"
