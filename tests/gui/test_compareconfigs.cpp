// Utilities -> "Compare Configurations..." on a real main window: two files side by side (the
// differences table, "Differences only", the table copied as text), a device's history version
// against a file (its identity places marked), a file that is not well-formed compared line by
// line, and every checked device against a reference: the drift groups, whose devices one click
// checks in the list. Small web servers on loopback addresses play the devices.
#include "configserver.h"
#include "transferfixture.h"
#include "ui_comparedialog.h"
#include "ui_form.h"
#include "ui_progressinfo.h"

#include "core/app/i18n.h"
#include "core/config/history.h"
#include "gui/config/comparedialog.h"

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>

namespace {

std::string Setup(const std::string& name, const std::string& community, const std::string& high = "40")
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<setup>\n  <name>" + name + "</name>\n  <snmp><community>"
           + community + "</community><port>161</port></snmp>\n  <sensors><sensor id=\"1\" high=\"30\"/><sensor id=\"2\" high=\""
           + high + "\"/></sensors>\n</setup>\n";
}

void WriteFile(const QString& path, const std::string& text)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(text.data(), qint64(text.size()));
}

QStringList Row(QTableWidget* table, int row)
{
    QStringList cells;
    for (int c = 0; c < table->columnCount(); ++c)
        cells << (table->item(row, c) ? table->item(row, c)->text() : QString());
    return cells;
}

TCompareDialog* OpenCompare(TTransferWindow& w)
{
    Control<QAction>(w.Form(), "acCompare")->trigger();
    TCompareDialog* dialog = w.Batches().CompareWindow();
    if (!dialog || !dialog->isVisible())
        QTest::qFail("the compare dialog is not shown", __FILE__, __LINE__);
    return dialog;
}

void ChooseFiles(TCompareDialog* dialog, const QString& left, const QString& right)
{
    dialog->ui()->cbLeftKind->setCurrentIndex(int(TCompareSource::File));
    dialog->ui()->cbRightKind->setCurrentIndex(int(TCompareSource::File));
    dialog->ui()->teLeftFile->setText(left);
    dialog->ui()->teRightFile->setText(right);
}

}  // namespace

class TestCompareConfigs : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        InitTranslation(PYXET_BIN_DIR "/");
        UseLanguage("en");
        Dialogs::SetAutomatic(true);
    }

    void TwoFilesShowTheirDifferences()
    {
        TTransferWindow w;
        WriteFile(QStringLiteral("left.xml"), Setup("Alpha", "public"));
        // Reordered, reindented, with a comment: only the community and one sensor's limit differ.
        WriteFile(QStringLiteral("right.xml"),
                  "<?xml version=\"1.0\"?><!-- the approved one --><setup><sensors><sensor high=\"45\" id=\"2\"/>"
                  "<sensor id=\"1\" high=\"30\"/></sensors><name>Alpha</name><snmp><port>161</port>"
                  "<community>private</community></snmp></setup>");
        TCompareDialog* dialog = OpenCompare(w);
        QVERIFY(dialog);
        ChooseFiles(dialog, QStringLiteral("left.xml"), QStringLiteral("right.xml"));
        QVERIFY(!dialog->ui()->DriftPane->isVisible());
        QTest::mouseClick(dialog->ui()->btnCompare, Qt::LeftButton);
        QCOMPARE(dialog->ui()->lblSummary->text(), QStringLiteral("2 differences"));
        QTableWidget* table = dialog->ui()->tblDifferences;
        QCOMPARE(table->rowCount(), 2);
        QCOMPARE(Row(table, 0), (QStringList{QStringLiteral("/setup/snmp/community"), QStringLiteral("public"),
                                            QStringLiteral("private"), QStringLiteral("changed")}));
        QCOMPARE(Row(table, 1), (QStringList{QStringLiteral("/setup/sensors/sensor[id=2]/@high"), QStringLiteral("40"),
                                            QStringLiteral("45"), QStringLiteral("changed")}));
        QVERIFY2(!dialog->ui()->btnRestoreVersion->isEnabled(), "no history version on either side");

        // With "Differences only" off the values held alike are listed too, before the differences.
        dialog->ui()->chkDifferencesOnly->setChecked(false);
        QVERIFY(table->rowCount() > 2);
        QCOMPARE(Row(table, 0), (QStringList{QStringLiteral("/setup/name"), QStringLiteral("Alpha"), QStringLiteral("Alpha"),
                                            QStringLiteral("equal")}));
        QCOMPARE(Row(table, table->rowCount() - 2)[0], QStringLiteral("/setup/snmp/community"));
        dialog->ui()->chkDifferencesOnly->setChecked(true);
        QCOMPARE(table->rowCount(), 2);

        QTest::mouseClick(dialog->ui()->btnCopy, Qt::LeftButton);
        QCOMPARE(QApplication::clipboard()->text(),
                 QStringLiteral("Path\tLeft\tRight\tDifference\n/setup/snmp/community\tpublic\tprivate\tchanged\n"
                                "/setup/sensors/sensor[id=2]/@high\t40\t45\tchanged\n"));
    }

    void HistoryVersionMarksTheDevicesIdentity()
    {
        TTransferWindow w;
        w.Window.Add({.Name = "Alpha", .MAC = "00:0A:59:00:00:01", .PeerIP = "127.0.0.1"});
        THistory history(w.Form().Settings.HistoryFolder);
        QVERIFY(history.Keep("00:0A:59:00:00:01", QByteArray::fromStdString(Setup("Alpha", "public")), 1765361700).Ok);
        WriteFile(QStringLiteral("common.xml"), Setup("Common", "public"));
        TCompareDialog* dialog = OpenCompare(w);
        QVERIFY(dialog);
        dialog->ui()->cbLeftKind->setCurrentIndex(int(TCompareSource::History));
        QCOMPARE(dialog->ui()->cbLeftDevice->currentText(), QStringLiteral("Alpha (127.0.0.1)"));
        QCOMPARE(dialog->ui()->cbLeftVersion->count(), 1);
        QCOMPARE(dialog->ui()->cbLeftVersion->currentText(), QStringLiteral("2025-12-10 10:15:00 UTC"));
        dialog->ui()->cbRightKind->setCurrentIndex(int(TCompareSource::File));
        dialog->ui()->teRightFile->setText(QStringLiteral("common.xml"));
        QTest::mouseClick(dialog->ui()->btnCompare, Qt::LeftButton);
        QTableWidget* table = dialog->ui()->tblDifferences;
        QCOMPARE(table->rowCount(), 1);
        QCOMPARE(Row(table, 0), (QStringList{QStringLiteral("/setup/name"), QStringLiteral("Alpha"), QStringLiteral("Common"),
                                            QStringLiteral("changed, identity")}));
        QCOMPARE(table->item(0, 0)->foreground().color(), QColor(0xC8, 0x00, 0x00));
        QVERIFY(dialog->ui()->btnRestoreVersion->isEnabled());
    }

    // A kept version back to its device: the download and the preview first, then the version
    // itself is written.
    void RestoreThisVersionGoesThroughThePreview()
    {
        TConfigServer alpha("127.0.0.1", Setup("Alpha", "private"));
        QVERIFY(alpha.Listening);
        TTransferWindow w;
        w.Form().Settings.Preview = true;
        w.Window.Add({.Name = "Alpha", .MAC = "00:0A:59:00:00:01", .PeerIP = "127.0.0.1"});
        THistory history(w.Form().Settings.HistoryFolder);
        QVERIFY(history.Keep("00:0A:59:00:00:01", QByteArray::fromStdString(Setup("Alpha", "public")), 1765361700).Ok);
        WriteFile(QStringLiteral("other.xml"), Setup("Alpha", "other"));
        TCompareDialog* dialog = OpenCompare(w);
        QVERIFY(dialog);
        dialog->ui()->cbLeftKind->setCurrentIndex(int(TCompareSource::History));
        dialog->ui()->cbRightKind->setCurrentIndex(int(TCompareSource::File));
        dialog->ui()->teRightFile->setText(QStringLiteral("other.xml"));
        QTest::mouseClick(dialog->ui()->btnCompare, Qt::LeftButton);
        QVERIFY(dialog->ui()->btnRestoreVersion->isEnabled());
        QTest::mouseClick(dialog->ui()->btnRestoreVersion, Qt::LeftButton);
        QVERIFY(w.Finish());  // the download
        QCOMPARE(alpha.Gets(), 1);
        QDialog* preview = w.Batches().PreviewWindow();
        QVERIFY(preview && preview->isVisible());
        QTableWidget* table = Control<QTableWidget>(*preview, "tblDifferences");
        QCOMPARE(table->rowCount(), 1);
        QCOMPARE(Row(table, 0).mid(0, 3), (QStringList{QStringLiteral("/setup/snmp/community"), QStringLiteral("private"),
                                                      QStringLiteral("public")}));
        QVERIFY(alpha.Posts().empty());
        QTest::mouseClick(Control<QPushButton>(*preview, "btnWrite"), Qt::LeftButton);
        QVERIFY(w.Finish());
        QCOMPARE(alpha.Posts().size(), size_t(1));
        QVERIFY2(alpha.Posts()[0].find("<community>public</community>") != std::string::npos, alpha.Posts()[0].c_str());
    }

    void NotWellFormedIsComparedLineByLine()
    {
        TTransferWindow w;
        WriteFile(QStringLiteral("left.xml"), "<setup>\n<name>Alpha</name>\n</setup>\n");
        WriteFile(QStringLiteral("right.xml"), "<setup>\n<name>Alpha</nam>\n</setup>\n");
        TCompareDialog* dialog = OpenCompare(w);
        QVERIFY(dialog);
        ChooseFiles(dialog, QStringLiteral("left.xml"), QStringLiteral("right.xml"));
        QTest::mouseClick(dialog->ui()->btnCompare, Qt::LeftButton);
        QVERIFY(dialog->LineCompare());
        const QString summary = dialog->ui()->lblSummary->text();
        QVERIFY2(summary.startsWith(QStringLiteral("Not well-formed (line 2, column")), qPrintable(summary));
        QVERIFY2(summary.contains(QStringLiteral("compared line by line")), qPrintable(summary));
        QTableWidget* table = dialog->ui()->tblDifferences;
        QCOMPARE(table->rowCount(), 1);
        QCOMPARE(Row(table, 0)[1], QStringLiteral("<name>Alpha</name>"));
        QCOMPARE(Row(table, 0)[2], QStringLiteral("<name>Alpha</nam>"));
    }

    // Four checked devices against a reference file: two hold it (their own names aside), one
    // differs in its community, one does not answer. A click checks the one that differs.
    void DriftGroupsTheCheckedDevices()
    {
        TConfigServer alpha("127.0.0.1", Setup("Alpha", "public"));
        TConfigServer bravo("127.0.0.2", Setup("Bravo", "public"));
        TConfigServer charlie("127.0.0.3", Setup("Charlie", "private"));
        QVERIFY(alpha.Listening && bravo.Listening && charlie.Listening);
        TTransferWindow w;
        w.Window.Add({.Name = "Alpha", .MAC = "00:0A:59:00:00:01", .PeerIP = "127.0.0.1"});
        w.Window.Add({.Name = "Bravo", .MAC = "00:0A:59:00:00:02", .PeerIP = "127.0.0.2"});
        w.Window.Add({.Name = "Charlie", .MAC = "00:0A:59:00:00:03", .PeerIP = "127.0.0.3"});
        w.Window.Add({.Name = "Delta", .MAC = "00:0A:59:00:00:04", .PeerIP = "127.0.0.4"});
        w.Check({"Alpha", "Bravo", "Charlie", "Delta"});
        WriteFile(QStringLiteral("reference.xml"), Setup("Reference", "public"));
        TCompareDialog* dialog = OpenCompare(w);
        QVERIFY(dialog);
        dialog->ui()->cbLeftKind->setCurrentIndex(int(TCompareSource::EveryChecked));
        QVERIFY(dialog->ui()->DriftPane->isVisible());
        dialog->ui()->cbRightKind->setCurrentIndex(int(TCompareSource::File));
        dialog->ui()->teRightFile->setText(QStringLiteral("reference.xml"));
        QTest::mouseClick(dialog->ui()->btnCompare, Qt::LeftButton);
        QVERIFY(w.Batches().BatchRunning());
        QVERIFY(w.Finish());
        QListWidget* groups = dialog->ui()->lstGroups;
        QStringList titles;
        for (int i = 0; i < groups->count(); ++i)
            titles << groups->item(i)->text();
        QCOMPARE(titles, (QStringList{QStringLiteral("2 match"), QStringLiteral("1 differs in /setup/snmp/community"),
                                      QStringLiteral("1 could not be read")}));
        // The group that matches has no differences to show (the names are identity places).
        QCOMPARE(dialog->ui()->tblDifferences->rowCount(), 0);
        QCOMPARE(dialog->ui()->lblSummary->text(), QStringLiteral("Alpha (127.0.0.1), Bravo (127.0.0.2)"));
        groups->setCurrentRow(1);
        QTableWidget* table = dialog->ui()->tblDifferences;
        QCOMPARE(table->rowCount(), 1);
        QCOMPARE(Row(table, 0).mid(0, 3), (QStringList{QStringLiteral("/setup/snmp/community"), QStringLiteral("public"),
                                                      QStringLiteral("private")}));
        QTest::mouseClick(dialog->ui()->btnCheckGroup, Qt::LeftButton);
        QCOMPARE(w.CheckedNames(), QStringList{QStringLiteral("Charlie")});
        groups->setCurrentRow(2);
        QCOMPARE(Row(table, 0)[0], QStringLiteral("Delta (127.0.0.4)"));
        QTest::mouseClick(dialog->ui()->btnCheckGroup, Qt::LeftButton);
        QCOMPARE(w.CheckedNames(), QStringList{QStringLiteral("Delta")});
    }
};

QTEST_MAIN(TestCompareConfigs)
#include "test_compareconfigs.moc"
