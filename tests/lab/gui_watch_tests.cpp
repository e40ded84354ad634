// The window's watch, offscreen, against the simulated devices of tests/lab/gui_watch_fleet.json
// inside scripts/lab.sh (test_gui_watch.sh): watched at 5 s, "Wanders" stops answering (its
// schedule), is shown gone after two silent rounds, and comes back at a new address: one row
// for it all along, re-filed under its new line, the events in the log in order.
#include "transferfixture.h"
#include "ui_form.h"
#include "ui_progressinfo.h"

#include "core/watch/watchrun.h"
#include "gui/app/watchpanel.h"

#include <QAction>
#include <QTest>

#include <algorithm>

namespace {

const QString kWanders = QStringLiteral("Wanders");

// The log lines of the watch's events about one unit, their texts after "<name> (<MAC>): ".
QStringList EventsOf(const TPyxetForm& form, const std::string& unit)
{
    QStringList out;
    for (const TLogLine& line : form.ActionLog) {
        const size_t at = line.Text.find(unit + "): ");
        if (at != std::string::npos && line.Level == LOG_INFO)
            out << QString::fromStdString(line.Text.substr(at + unit.size() + 3));
    }
    return out;
}

}  // namespace

class TestGuiWatch : public QObject {
    Q_OBJECT
private slots:
    void GoneAndBackAtANewAddress()
    {
        TTransferWindow t;
        TTestWindow& w = t.Window;
        QTRY_VERIFY_WITH_TIMEOUT(w.Names().size() == 3, 5000);
        TProduct* wanders = w.Model()->Device(int(w.Names().indexOf(kWanders)));
        QCOMPARE(wanders->Info.PeerIP, std::string("10.77.7.2"));

        w.Form->Watch->SetSeconds(5);
        Control<QAction>(*w.Form, "acWatch")->trigger();
        QVERIFY(w.Form->Watch->Watching());
        QCOMPARE(w.Form->Watch->Runner().Seconds(), 5);

        // Gone: grey, no mark, the others as ever.
        QTRY_VERIFY_WITH_TIMEOUT(w.Model()->IsGone(int(w.Names().indexOf(kWanders))), 30000);
        int row = int(w.Names().indexOf(kWanders));
        QCOMPARE(w.Names().size(), 3);
        QVERIFY(!w.Model()->IsGone(int(w.Names().indexOf(QStringLiteral("Stays")))));
        QVERIFY(w.Model()->index(row, 0).data(Qt::ToolTipRole).toString().startsWith(QStringLiteral("Last seen ")));
        QVERIFY(!w.Model()->index(row, 5).data().toString().isEmpty());
        w.Panel()->CheckRows({row});
        QVERIFY(w.CheckedNames().isEmpty());

        // Back at its new address: the same row's device, its line re-filed.
        QTRY_VERIFY_WITH_TIMEOUT(wanders->Info.PeerIP == "10.77.7.32", 30000);
        QTRY_VERIFY_WITH_TIMEOUT(!w.Model()->IsGone(int(w.Names().indexOf(kWanders))), 5000);
        QCOMPARE(w.Names().size(), 3);
        row = int(w.Names().indexOf(kWanders));
        QCOMPARE(w.Model()->Device(row), wanders);
        const QStringList rows = w.Rows();  // one copy: begin and end of the same list
        QVERIFY(rows.at(row).contains(QStringLiteral("10.77.7.32")));
        QVERIFY(std::none_of(rows.begin(), rows.end(),
                             [](const QString& line) { return line.contains(QStringLiteral("10.77.7.2 ")); }));
        QCOMPARE(EventsOf(*w.Form, "00:0A:14:70:00:02"),
                 (QStringList{QStringLiteral("gone"), QStringLiteral("back"), QStringLiteral("IP address 10.77.7.2 → 10.77.7.32")}));
        QVERIFY(EventsOf(*w.Form, "00:0A:14:70:00:01").isEmpty());
    }
};

QTEST_MAIN(TestGuiWatch)
#include "gui_watch_tests.moc"
