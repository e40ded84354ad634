// The window's half of the site check in test_cli_watch.sh: offscreen, inside its lab, the site
// file pyxet-cli check was given (PYXET_LAB_SITE, one unit in it that is not in the fleet) opened
// without the watch; after a Find Devices cycle the unit that did not answer is a grey "Missing"
// row without a check mark, and the line under the list counts the others. What the window shows
// goes to PYXET_LAB_WINDOW_OUT for the script to hold against check's lines: "missing<TAB>MAC<TAB>
// family<TAB>name" per missing row (check's own form) and "line<TAB>" the site line.
#include "devicefeed.h"
#include "ui_form.h"

#include "gui/app/watchpanel.h"

#include <QFile>
#include <QLabel>
#include <QTest>

class TestGuiSite : public QObject {
    Q_OBJECT
private slots:
    void SiteWithAMissingUnit()
    {
        const QString site = qEnvironmentVariable("PYXET_LAB_SITE");
        const QString outPath = qEnvironmentVariable("PYXET_LAB_WINDOW_OUT");
        QVERIFY2(!site.isEmpty() && !outPath.isEmpty(), "PYXET_LAB_SITE and PYXET_LAB_WINDOW_OUT name the files");
        TTestWindow w;
        QVERIFY(w.Form->OpenSite(site.toStdString(), false));
        w.Form->FindDevices({});
        QVERIFY(w.Form->Watch->CycleChecking());
        QTRY_VERIFY_WITH_TIMEOUT(!w.Form->Watch->CycleChecking(), 20000);
        QApplication::processEvents();

        QFile out(outPath);
        QVERIFY(out.open(QIODevice::WriteOnly | QIODevice::Truncate));
        TDeviceListModel* rows = w.Model();
        QVERIFY(rows->RowCount() > 0);
        QCOMPARE(rows->MissingRows(), 1);
        const QColor grey = w.List()->palette().color(QPalette::Disabled, QPalette::Text);
        for (int row = rows->RowCount(); row < rows->rowCount(); ++row) {
            const TProduct* unit = rows->MissingDevice(row);
            QVERIFY(unit);
            QCOMPARE(rows->index(row, rows->LastSeenColumn()).data().toString(), QStringLiteral("Missing"));
            QVERIFY(!(rows->flags(rows->index(row, 0)) & Qt::ItemIsUserCheckable));
            QVERIFY(w.RowHasColour(row, grey));
            out.write(QStringLiteral("missing\t%1\t%2\t%3\n")
                          .arg(QString::fromStdString(unit->Info.MAC), QString::fromStdString(unit->Family().Name),
                               QString::fromStdString(unit->Info.Name))
                          .toUtf8());
        }
        for (int row = 0; row < rows->RowCount(); ++row)
            QVERIFY(!rows->IsGone(row));
        QLabel* line = Control<QLabel>(*w.Form, "WatchSiteLine");
        QVERIFY(line->isVisible());
        QVERIFY(line->geometry().top() > w.List()->geometry().bottom());
        out.write(QStringLiteral("line\t%1\n").arg(line->text()).toUtf8());
    }
};

QTEST_MAIN(TestGuiSite)
#include "gui_site_tests.moc"
