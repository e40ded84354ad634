// Utilities -> "Verify Upgrades" in the window against the simulator's units that step aside
// (tests/lab/stepaside_fleet.json, run by test_verify_by_mac.sh): the unit that did not take its
// image is "not verified" although its heir answers at its old address with a new revision; a
// lower revision afterwards is marked "(older)". Offscreen, the devices found by the window.
#include "transferfixture.h"
#include "ui_form.h"
#include "ui_progressinfo.h"

#include "core/app/i18n.h"

#include <QDir>
#include <QFile>
#include <QTest>

#include <string>
#include <vector>

namespace {

const std::string kSeparator(42, '-');

QString WriteImage(const QString& name, const QByteArray& revision)
{
    const QString path = QDir::temp().absoluteFilePath(name);
    QFile f(path);
    if (f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        f.write("PYXET-SIM-FIRMWARE " + revision + "\n" + QByteArray(20000, 'k'));
    return path;
}

}  // namespace

class TestLabVerify : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        InitTranslation(PYXET_BIN_DIR "/");
        Dialogs::SetAutomatic(true);
        UseLanguage("en");
    }

    void TheUnitThatSteppedAsideIsNotVerifiedAndALowerRevisionIsMarked()
    {
        const QString newImage = WriteImage(QStringLiteral("pyxet-lab-new.kri"), "2.16.0");
        const QString oldImage = WriteImage(QStringLiteral("pyxet-lab-old.kri"), "2.9.0");
        TTransferWindow w;
        QTRY_VERIFY_WITH_TIMEOUT(w.Window.Names().size() >= 6, 5000);
        Control<QAction>(w.Form(), "acVerifyUpgrades")->trigger();
        QVERIFY(w.Form().Settings.VerifyUpgrades);
        w.Form().Settings.VerifySeconds = 20;
        // In list order the heir comes first: it takes its image, then the other one does not.
        w.Check({"Heir 3", "Stubborn 3"});
        QCOMPARE(w.CheckedNames(), (QStringList{QStringLiteral("Heir 3"), QStringLiteral("Stubborn 3")}));
        w.Form().ActionLog.clear();
        Dialogs::QueueFileName(newImage.toStdString());
        Control<QAction>(w.Form(), "acFirmUpgr")->trigger();
        QVERIFY(w.Finish());
        const std::vector<std::string> expected = {"Heir 3  (10.77.33.2)",
                                                   "Upgrade successful.",
                                                   "Upgrade Succeeded",
                                                   "Verified: 2.14.0 → 2.16.0",
                                                   kSeparator,
                                                   "Stubborn 3  (10.77.33.1)",
                                                   "Upgrade successful.",
                                                   "Upgrade Succeeded",
                                                   "Not verified: the firmware revision is still 2.14.0",
                                                   kSeparator,
                                                   "Processes Summary:",
                                                   "Successful: 1",
                                                   "Unsuccessful: 1",
                                                   "Verified: 1"};
        QCOMPARE(w.Lines(), expected);
        QVERIFY(w.Logged("not verified: the firmware revision is still 2.14.0"));

        // The search after the batch finds the heir at the old address, the other one aside.
        QTRY_VERIFY_WITH_TIMEOUT(w.Window.Names().size() >= 6, 5000);
        QVERIFY(w.Window.Rows().join(QLatin1Char('\n')).contains(QStringLiteral("10.77.39.3")));
        // The batch's marks come back with its devices; only the heir's stays for the next one.
        QTRY_COMPARE_WITH_TIMEOUT(w.CheckedNames(), (QStringList{QStringLiteral("Heir 3"), QStringLiteral("Stubborn 3")}),
                                  5000);
        QAbstractItemModel* rows = Control<QAbstractItemView>(w.Form(), "DeviceListBox")->model();
        rows->setData(rows->index(int(w.Window.Names().indexOf(QStringLiteral("Stubborn 3"))), 0), Qt::Unchecked,
                      Qt::CheckStateRole);
        QCOMPARE(w.CheckedNames(), QStringList{QStringLiteral("Heir 3")});
        Dialogs::QueueFileName(oldImage.toStdString());
        Control<QAction>(w.Form(), "acFirmUpgr")->trigger();
        QVERIFY(w.Finish());
        // The window adds the batch's lines after the last one's.
        const std::vector<std::string> lines = w.Lines();
        QCOMPARE(lines.size(), expected.size() + 9);
        QCOMPARE(lines.at(expected.size()), std::string("Heir 3  (10.77.33.1)"));
        QCOMPARE(lines.at(expected.size() + 3), std::string("Verified: 2.16.0 → 2.9.0 (older)"));
        QFile::remove(newImage);
        QFile::remove(oldImage);
    }
};

QTEST_MAIN(TestLabVerify)
#include "gui_verify_tests.moc"
