// The device list on a real main window: the look of devices that share one configured address
// and the note in the details, "Export Device List..." (CSV read back by Python's csv module,
// JSON by QJsonDocument, the type filter respected), and a long list taking answers in.
#include "devicefeed.h"
#include "wrappedlines.h"
#include "ui_form.h"

#include "core/app/i18n.h"
#include "gui/app/colourscheme.h"
#include "gui/devices/devicelistdelegate.h"
#include "gui/devices/devicelistmodel.h"

#include <QElapsedTimer>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTest>

#include <algorithm>
#include <cstdio>

namespace {

int RowOf(TTestWindow& w, const char* name)
{
    return int(w.Names().indexOf(QLatin1String(name)));
}

// The note's text as the user reads it (without the invisible characters that hold a MAC
// address on one line).
QString Shown(const QLabel* label)
{
    return label->text().remove(QChar(0x2060));
}

// The places where the label's word wrap starts a new line, laid out as the label does.
QList<int> LineStarts(const QLabel* label)
{
    return WrappedLineStarts(label->text(), label->font(), label->contentsRect().width());
}

QString ReadAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

} // namespace

class TestListFeatures : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        InitTranslation(PYXET_BIN_DIR "/");  // the compiled catalogues beside the programs
        UseLanguage("en");
    }

    void DevicesSharingAnAddressStandOut()
    {
        QVERIFY(kConflictAmber != kNewDeviceBlue);
        QVERIFY(kConflictAmber != kHighlightBackground);
        TTestWindow w;
        w.Add({.Name = "Alpha", .MAC = "00:0A:59:00:00:01", .PeerIP = "10.0.0.5"});
        QVERIFY(!Control<QLabel>(w.Main(), "tlIPConflict")->isVisible());
        w.Add({.Name = "Charlie", .MAC = "00:0A:59:00:00:03", .PeerIP = "10.0.0.7"});
        w.Add({.Name = "Bravo", .MAC = "00:0A:59:00:00:02", .PeerIP = "10.0.0.6", .IP = "10.0.0.5"});
        w.Add({.Name = "Delta", .MAC = "00:0A:59:00:00:04", .PeerIP = "10.0.0.8", .IP = "0.0.0.0"});
        w.Add({.Name = "Echo", .MAC = "00:0A:59:00:00:05", .PeerIP = "10.0.0.9", .IP = "0.0.0.0"});
        QCOMPARE(w.HighlightedRow(), -1);

        // Both rows of the pair, and no other, on the warning colour; the text keeps its colour.
        const int alpha = RowOf(w, "Alpha"), bravo = RowOf(w, "Bravo");
        for (int r = 0; r < w.Rows().size(); ++r) {
            const bool pair = r == alpha || r == bravo;
            QVERIFY2(w.RowHasColour(r, kConflictAmber) == pair, qPrintable(w.Names()[r]));
            QVERIFY(w.RowHasColour(r, Qt::black));
        }
        int warnings = 0;
        for (const TLogLine& line : w.Form->ActionLog)
            if (line.Level == LOG_WARNING) {
                ++warnings;
                QVERIFY(line.Text.find("IP address 10.0.0.5 is used by 00:0A:59:00:00:01 and 00:0A:59:00:00:02") !=
                        std::string::npos);
            }
        QCOMPARE(warnings, 1);

        // The details of the first device, shown since its answer, now say so.
        QVERIFY(Control<QLabel>(w.Main(), "tlIPConflict")->isVisible());
        QCOMPARE(Shown(Control<QLabel>(w.Main(), "tlIPConflict")), QStringLiteral("IP address 10.0.0.5 is also used by 00:0A:59:00:00:02"));
        w.Form->SelectDevice(RowOf(w, "Charlie"));
        QVERIFY(!Control<QLabel>(w.Main(), "tlIPConflict")->isVisible());
        w.Form->SelectDevice(bravo);
        QVERIFY(Control<QLabel>(w.Main(), "tlIPConflict")->isVisible());
        QCOMPARE(Shown(Control<QLabel>(w.Main(), "tlIPConflict")), QStringLiteral("IP address 10.0.0.5 is also used by 00:0A:59:00:00:01"));
        // Highlighted, the row has the highlight's colours like any other.
        QVERIFY(w.RowHasColour(bravo, kHighlightBackground));
        QVERIFY(!w.RowHasColour(bravo, kConflictAmber));

        // In Czech.
        Control<QAction>(w.Main(), "CzechLang")->trigger();
        QCOMPARE(Shown(Control<QLabel>(w.Main(), "tlIPConflict")), QStringLiteral("IP adresu 10.0.0.5 používá také 00:0A:59:00:00:01"));
        Control<QAction>(w.Main(), "EnglishLang")->trigger();

        // A new cycle forgets the pair; a new device of the pair is blue on the warning colour.
        Control<QAction>(w.Main(), "acFind")->trigger();
        QVERIFY(!Control<QLabel>(w.Main(), "tlIPConflict")->isVisible());
        w.Add({.Name = "Alpha", .MAC = "00:0A:59:00:00:01", .PeerIP = "10.0.0.5"});
        w.Add({.Name = "Foxtrot", .MAC = "00:0A:59:00:00:06", .PeerIP = "10.0.0.10", .IP = "10.0.0.5"});
        const int fox = RowOf(w, "Foxtrot");
        QVERIFY(w.RowHasColour(fox, kConflictAmber));
        // Its blue is a darker shade that reads on the amber.
        const TSchemeColours onAmber = ListColours(w.List()->palette(), TColourRole::NewConflictRow);
        QVERIFY(onAmber.Text != kNewDeviceBlue);
        QVERIFY(w.RowHasColour(fox, SchemeColour(onAmber.Text)));

        // Three devices on one address: the note takes two lines, and no MAC address is cut in two.
        w.Add({.Name = "Golf", .MAC = "00:0A:59:00:00:07", .PeerIP = "10.0.0.11", .IP = "10.0.0.5"});
        w.Form->SelectDevice(RowOf(w, "Alpha"));
        const QLabel* note = Control<QLabel>(w.Main(), "tlIPConflict");
        QCOMPARE(Shown(note), QStringLiteral("IP address 10.0.0.5 is also used by 00:0A:59:00:00:06, 00:0A:59:00:00:07"));
        const QList<int> starts = LineStarts(note);
        QVERIFY2(starts.size() > 1, "the note is expected to wrap");
        const auto inMac = [](QChar c) { return c == u':' || c == QChar(0x2060) || c.isDigit() || (c >= u'A' && c <= u'F'); };
        for (int start : starts.mid(1))
            QVERIFY2(!(inMac(note->text()[start - 1]) && inMac(note->text()[start])),
                     qPrintable(QStringLiteral("a line starts at \"%1\"").arg(note->text().mid(start).remove(QChar(0x2060)))));
    }

    void ExportWritesTheRowsShown()
    {
        TTestWindow w;
        w.Add({.TypeCode = 1, .Name = "Hall, \"east\"", .MAC = "00:0A:59:00:00:01", .PeerIP = "10.0.0.5"});
        w.Add({.TypeCode = 2, .Name = "Other type", .MAC = "00:0A:59:00:00:02", .PeerIP = "10.0.0.6"});
        w.Add({.TypeCode = 1, .Name = "Kotelna – teploměr", .MAC = "00:0A:59:00:00:03", .PeerIP = "10.0.0.7",
               .IP = "10.0.0.5"});
        QComboBox* filter = Control<QComboBox>(w.Main(), "DeviceFilter");
        filter->setCurrentIndex(filter->findText(QStringLiteral("Poseidon 2261")));
        emit filter->activated(filter->currentIndex());
        QCOMPARE(w.Rows().size(), 2);

        // CSV, the first file type; the bare name gets its extension.
        const QString csvPath = w.Dir.path() + QStringLiteral("/devices.csv");
        Dialogs::QueueFileName((w.Dir.path() + QStringLiteral("/devices")).toStdString());
        Dialogs::QueueFileType(0);
        Control<QAction>(w.Main(), "mExportList")->trigger();
        QVERIFY(Dialogs::TakeShownBoxes().empty());
        QVERIFY(QFile::exists(csvPath));
        // Python's csv module reads it back; each record printed as JSON for the comparison.
        QProcess python;
        python.start(QStringLiteral("python3"),
                     {QStringLiteral("-c"),
                      QStringLiteral("import csv, json, sys\n"
                                     "with open(sys.argv[1], newline='', encoding='utf-8') as f:\n"
                                     "    rows = list(csv.reader(f, strict=True))\n"
                                     "print(json.dumps(rows))\n"),
                      csvPath});
        QVERIFY(python.waitForFinished(10000));
        QCOMPARE(python.exitCode(), 0);
        const QJsonArray table = QJsonDocument::fromJson(python.readAllStandardOutput()).array();
        QCOMPARE(table.size(), 3);  // the header and the two rows shown
        const QJsonArray header = table[0].toArray();
        QCOMPARE(header[3].toString(), QStringLiteral("Name"));
        QCOMPARE(header[18].toString(), QStringLiteral("IPConflict"));
        QCOMPARE(table[1].toArray()[3].toString(), QStringLiteral("Hall, \"east\""));
        QCOMPARE(table[1].toArray()[18].toString(), QStringLiteral("true"));
        QCOMPARE(table[2].toArray()[3].toString(), QStringLiteral("Kotelna – teploměr"));
        QCOMPARE(table[2].toArray()[17].toString(), QString::fromStdString(w.Model()->Line(1)));

        // JSON, the second type, over an older and longer file of the same name.
        const QString jsonPath = w.Dir.path() + QStringLiteral("/devices.json");
        {
            QFile old(jsonPath);
            QVERIFY(old.open(QIODevice::WriteOnly));
            old.write(QByteArray(100000, 'x'));
        }
        w.ClickColumn(1);  // the first sort of a run: by name, ascending
        Dialogs::QueueFileName(jsonPath.toStdString());
        Dialogs::QueueFileType(1);
        Control<QAction>(w.Main(), "mExportList")->trigger();
        QJsonParseError error;
        const QJsonDocument doc = QJsonDocument::fromJson(ReadAll(jsonPath).toUtf8(), &error);
        QCOMPARE(error.error, QJsonParseError::NoError);
        const QJsonArray objects = doc.array();
        QCOMPARE(objects.size(), 3);  // the sort shows every device again, in name order
        QStringList names;
        for (const QJsonValue& v : objects)
            names << v.toObject().value(QLatin1String("Name")).toString();
        QCOMPARE(names, (QStringList{QStringLiteral("Hall, \"east\""), QStringLiteral("Kotelna – teploměr"),
                                     QStringLiteral("Other type")}));
        QCOMPARE(objects[2].toObject().value(QLatin1String("IPConflict")).toBool(), false);
        QCOMPARE(objects[0].toObject().value(QLatin1String("TypeCode")).toInt(), 1);
        QVERIFY(w.Form->ActionLog.back().Text.find("3 devices exported to " + jsonPath.toStdString()) != std::string::npos);

        // A folder that does not exist: an error box, and no file.
        Dialogs::QueueFileName((w.Dir.path() + QStringLiteral("/missing/devices.csv")).toStdString());
        Control<QAction>(w.Main(), "mExportList")->trigger();
        const std::vector<Dialogs::TShownBox> boxes = Dialogs::TakeShownBoxes();
        QCOMPARE(boxes.size(), size_t(1));
        QCOMPARE(boxes[0].Kind, Dialogs::TBoxKind::Error);
        QVERIFY(boxes[0].Text.find("missing/devices.csv") != std::string::npos);
        QCOMPARE(w.Form->ActionLog.back().Level, LOG_ERROR);

        // Cancelled: nothing written, nothing said.
        const size_t logged = w.Form->ActionLog.size();
        Control<QAction>(w.Main(), "mExportList")->trigger();
        QCOMPARE(w.Form->ActionLog.size(), logged);
    }

    void LongListTakesAnswersInBatches()
    {
        TTestWindow w;
        int added = 0;
        auto add = [&] {
            char name[32], mac[32], ip[32];
            std::snprintf(name, sizeof name, "Device %04d", 9999 - added);  // filed at the top each time
            std::snprintf(mac, sizeof mac, "00:0A:59:00:%02X:%02X", added >> 8, added & 0xFF);
            std::snprintf(ip, sizeof ip, "10.0.%d.%d", added >> 8, added & 0xFF);
            w.Add({.Name = name, .MAC = mac, .PeerIP = ip});
            ++added;
        };
        // A short list shows every answer at once.
        while (added < TDeviceListModel::kFollowAtOnce) {
            add();
            QCOMPARE(w.Model()->RowCount(), added);
            QCOMPARE(Control<QLabel>(w.Main(), "DeviceCounter")->text(), QString::number(added));
        }
        // A long one lets answers wait while they come quickly (a slow machine may show some).
        bool waited = false;
        for (int tries = 0; tries < 200 && !waited; ++tries) {
            add();
            waited = w.Model()->WaitingRows() > 0;
        }
        QVERIFY(waited);
        const int shown = w.Model()->RowCount();
        QCOMPARE(Control<QLabel>(w.Main(), "DeviceCounter")->text(), QString::number(shown));  // the rows shown
        QVERIFY(shown < added);

        // The user checks every row shown while others wait; they come in unchecked.
        QTest::mouseClick(Control<QCheckBox>(w.Main(), "AllChecked"), Qt::LeftButton);
        QCOMPARE(w.Panel()->CheckedRowCount(), shown);
        QTRY_COMPARE_WITH_TIMEOUT(w.Model()->RowCount(), added, 2000);
        QCOMPARE(Control<QLabel>(w.Main(), "DeviceCounter")->text(), QString::number(added));
        QCOMPARE(Control<QCheckBox>(w.Main(), "AllChecked")->checkState(), Qt::PartiallyChecked);
        QCOMPARE(w.Panel()->CheckedRowCount(), shown);
        int checked = 0;
        for (int r = 0; r < added; ++r)
            checked += w.Model()->IsChecked(r);
        QCOMPARE(checked, shown);

        // The rows are DeviceList in list order, with their devices.
        for (int r = 0; r < added; ++r) {
            QCOMPARE(w.Model()->Line(r), w.Form->Devices.DeviceList()[size_t(r)].Line);
            QCOMPARE(w.Model()->Device(r), w.Form->Devices.DeviceList()[size_t(r)].Device.get());
        }
        // Another answer refills: no marks, no highlight.
        add();
        QCOMPARE(Control<QCheckBox>(w.Main(), "AllChecked")->checkState(), Qt::Unchecked);
        QCOMPARE(w.Panel()->CheckedRowCount(), 0);
        QCOMPARE(w.HighlightedRow(), -1);
        QTRY_COMPARE_WITH_TIMEOUT(w.Model()->RowCount(), added, 2000);
        for (int r = 0; r < added; ++r)
            QVERIFY(!w.Model()->IsChecked(r));
    }

    void WaitingLinesGoInWhereDeviceListFiledThem()
    {
        // Many answers in one burst on a long list: they wait together and then go in among
        // the rows, each at its place in DeviceList, with its own device and line.
        TTestWindow w;
        int added = 0;
        auto add = [&](int number) {
            char name[32], mac[32], ip[32];
            std::snprintf(name, sizeof name, "Device %04d", number);
            std::snprintf(mac, sizeof mac, "00:0A:59:01:%02X:%02X", added >> 8, added & 0xFF);
            std::snprintf(ip, sizeof ip, "10.1.%d.%d", added >> 8, added & 0xFF);
            w.Add({.Name = name, .MAC = mac, .PeerIP = ip});
            ++added;
        };
        for (int i = 0; i < TDeviceListModel::kFollowAtOnce; ++i)
            add(i * 10);
        int mostWaiting = 0;
        for (int i = 0; i < 120; ++i) {
            add((i * 37) % 500 + 1 + i % 9);  // filed in front of, among and after the rows
            mostWaiting = std::max(mostWaiting, w.Model()->WaitingRows());
        }
        QVERIFY2(mostWaiting > 1, "several lines waited at once");
        QTRY_COMPARE_WITH_TIMEOUT(w.Model()->RowCount(), int(w.Form->Devices.DeviceList().size()), 2000);
        for (int r = 0; r < w.Model()->RowCount(); ++r) {
            QCOMPARE(w.Model()->Line(r), w.Form->Devices.DeviceList()[size_t(r)].Line);
            QCOMPARE(w.Model()->Device(r), w.Form->Devices.DeviceList()[size_t(r)].Device.get());
            QCOMPARE(w.Model()->data(w.Model()->index(r, 0), TDeviceListModel::LineRole).toString(),
                     QString::fromStdString(w.Form->Devices.DeviceList()[size_t(r)].Line));
        }
    }
};

QTEST_MAIN(TestListFeatures)
#include "test_listfeatures.moc"
