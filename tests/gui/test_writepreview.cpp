// The preview before a write on a real main window: "Restore Selected" and "Configure Devices..."
// first download each checked device's configuration (small web servers on loopback addresses
// play the devices), then show what would change; Write goes on to the write, Cancel writes
// nothing, and with Utilities -> "Preview Before Writing" off the commands run as they always
// did. For a common file that carries the devices' own address and name, "Keep each device's own
// identity" is ticked and each device is sent its own values.
#include "configserver.h"
#include "transferfixture.h"
#include "ui_form.h"
#include "ui_progressinfo.h"

#include "core/app/i18n.h"

#include <QCheckBox>
#include <QDialog>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>

namespace {

std::string Setup(const std::string& name, const std::string& ip, const std::string& community)
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<setup>\n  <name>" + name + "</name>\n  <network><ip>" + ip
           + "</ip></network>\n  <snmp><community>" + community + "</community></snmp>\n</setup>\n";
}

const std::vector<TDeviceSpec> kFleet = {
    {.Name = "Alpha", .MAC = "00:0A:59:00:00:01", .PeerIP = "127.0.0.1"},
    {.Name = "Bravo", .MAC = "00:0A:59:00:00:02", .PeerIP = "127.0.0.2"},
};

void WriteFile(const QString& path, const std::string& text)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(text.data(), qint64(text.size()));
}

// Both devices listed and checked, the preview on, and a backup for each: Alpha's would change
// its community, Bravo's is what Bravo holds.
void PrepareRestore(TTransferWindow& w)
{
    for (const TDeviceSpec& device : kFleet)
        w.Window.Add(device);
    w.Check({"Alpha", "Bravo"});
    Control<QAction>(w.Form(), "acPreviewWrites")->trigger();
    QVERIFY(w.Form().Settings.Preview);
    WriteFile(QStringLiteral("backup/setup_127.0.0.1_.xml"), Setup("Alpha", "127.0.0.1", "private"));
    WriteFile(QStringLiteral("backup/setup_127.0.0.2_.xml"), Setup("Bravo", "127.0.0.2", "public"));
    w.Form().ActionLog.clear();
}

// "Restore Selected" with the preview: the download, then the preview shown (null when it is not).
QDialog* OpenRestorePreview(TTransferWindow& w)
{
    PrepareRestore(w);
    Control<QAction>(w.Form(), "RestoreConfig")->trigger();
    if (!w.Finish())
        return nullptr;
    QDialog* preview = w.Batches().PreviewWindow();
    return preview && preview->isVisible() ? preview : nullptr;
}

QStringList Row(QTableWidget* table, int row)
{
    QStringList cells;
    for (int c = 0; c < table->columnCount(); ++c)
        cells << (table->item(row, c) ? table->item(row, c)->text() : QString());
    return cells;
}

// Alpha and Bravo, each holding its own name and address and the community "public".
struct TTwoDevices {
    TConfigServer Alpha{"127.0.0.1", Setup("Alpha", "127.0.0.1", "public")};
    TConfigServer Bravo{"127.0.0.2", Setup("Bravo", "127.0.0.2", "public")};
    bool Listening() const { return Alpha.Listening && Bravo.Listening; }
};

}  // namespace

class TestWritePreview : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        InitTranslation(PYXET_BIN_DIR "/");
        UseLanguage("en");
        Dialogs::SetAutomatic(true);
    }

    void RestoreShowsWhatWouldChangeAndWritesOnWrite()
    {
        TTwoDevices fleet;
        QVERIFY(fleet.Listening());
        TConfigServer &alpha = fleet.Alpha, &bravo = fleet.Bravo;
        TTransferWindow w;
        QDialog* preview = OpenRestorePreview(w);
        QVERIFY(preview);
        QCOMPARE(alpha.Gets(), 1);
        QVERIFY2(alpha.Posts().empty() && bravo.Posts().empty(), "nothing written before Write");
        QVERIFY(!w.Logged("Process restore starting."));
        // Per device a line; the device shown first has one difference, in the table below.
        auto* devices = Control<QTableWidget>(*preview, "tblDevices");
        QCOMPARE(devices->rowCount(), 2);
        QVERIFY2(Row(devices, 0)[0].startsWith(QStringLiteral("Alpha")), qPrintable(Row(devices, 0).join(QLatin1Char('|'))));
        QVERIFY(!Control<QCheckBox>(*preview, "chkKeepIdentity")->isVisible());
        auto* differences = Control<QTableWidget>(*preview, "tblDifferences");
        QCOMPARE(differences->rowCount(), 1);
        QCOMPARE(Row(differences, 0).mid(0, 3),
                 (QStringList{QStringLiteral("/setup/snmp/community"), QStringLiteral("public"), QStringLiteral("private")}));
        devices->setCurrentCell(1, 0);
        QCOMPARE(differences->rowCount(), 0);

        QTest::mouseClick(Control<QPushButton>(*preview, "btnWrite"), Qt::LeftButton);
        QVERIFY(w.Finish());
        QCOMPARE(alpha.Posts().size(), size_t(1));
        QVERIFY(alpha.Posts()[0].find("<community>private</community>") != std::string::npos);
        QCOMPARE(bravo.Posts().size(), size_t(1));
        QVERIFY2(w.Logged("Process restore starting.") && w.Logged("Restore process finished."), w.LogText().c_str());
        QVERIFY(!w.Batches().PreviewWindow() || !w.Batches().PreviewWindow()->isVisible());
    }

    void CancelWritesNothing()
    {
        TTwoDevices fleet;
        QVERIFY(fleet.Listening());
        TConfigServer &alpha = fleet.Alpha, &bravo = fleet.Bravo;
        TTransferWindow w;
        QDialog* preview = OpenRestorePreview(w);
        QVERIFY(preview);
        QTest::mouseClick(Control<QPushButton>(*preview, "btnCancel"), Qt::LeftButton);
        QVERIFY(!w.Batches().BatchRunning());
        QVERIFY(w.Finish());
        QVERIFY(alpha.Posts().empty() && bravo.Posts().empty());
        QVERIFY2(!w.Logged("Process restore starting."), w.LogText().c_str());
        QVERIFY(Dialogs::TakeShownBoxes().empty());
        // The commands are free again.
        QVERIFY(Control<QAction>(w.Form(), "RestoreConfig")->isEnabled());
    }

    // Without the preview the commands are what they were: no download, the restore at once; the
    // common file's question straight after the file dialog.
    void PreviewOffRunsTheCommandsAsBefore()
    {
        TTwoDevices fleet;
        QVERIFY(fleet.Listening());
        TConfigServer& alpha = fleet.Alpha;
        TTransferWindow w;
        PrepareRestore(w);
        QAction* item = Control<QAction>(w.Form(), "acPreviewWrites");
        QVERIFY(item->isCheckable() && item->isChecked());
        item->trigger();
        QVERIFY(!w.Form().Settings.Preview);
        Control<QAction>(w.Form(), "RestoreConfig")->trigger();
        QVERIFY(w.Finish());
        QVERIFY(!w.Batches().PreviewWindow());
        QCOMPARE(alpha.Gets(), 0);
        QCOMPARE(alpha.Posts().size(), size_t(1));
        // The restore's own lines and nothing downloaded before them.
        const std::vector<std::string> log = w.Log();
        QVERIFY2(!log.empty() && log.front() == "Process restore starting." && log.back() == "Restore process finished.",
                 w.LogText().c_str());
        for (const std::string& line : log)
            QVERIFY2(line.rfind("GET", 0) == std::string::npos, line.c_str());

        WriteFile(QStringLiteral("common.xml"), Setup("Common", "127.0.0.9", "secret"));
        w.Form().ActionLog.clear();
        Dialogs::QueueFileName("common.xml");
        Dialogs::QueueAnswer(false);
        Control<QAction>(w.Form(), "CommonConfig")->trigger();
        QVERIFY(w.Finish());
        const auto boxes = Dialogs::TakeShownBoxes();
        QCOMPARE(boxes.size(), size_t(1));
        QCOMPARE(boxes[0].Kind, Dialogs::TBoxKind::Warning);
        QVERIFY(!w.Batches().PreviewWindow());
        QCOMPARE(alpha.Gets(), 0);
        QVERIFY(w.Log().empty());
    }

    // A common file carrying an address and a name: they show in red, the box is ticked, the
    // question follows Write, and each device keeps its own while the common value arrives.
    void CommonFileKeepsEachDevicesOwnIdentity()
    {
        TTwoDevices fleet;
        QVERIFY(fleet.Listening());
        TConfigServer &alpha = fleet.Alpha, &bravo = fleet.Bravo;
        TTransferWindow w;
        PrepareRestore(w);
        WriteFile(QStringLiteral("common.xml"), Setup("Common", "127.0.0.9", "secret"));
        Dialogs::QueueFileName("common.xml");
        Control<QAction>(w.Form(), "CommonConfig")->trigger();
        QVERIFY(w.Finish());
        QVERIFY2(Dialogs::TakeShownBoxes().empty(), "the question follows the preview");
        QDialog* preview = w.Batches().PreviewWindow();
        QVERIFY(preview && preview->isVisible());
        auto* keep = Control<QCheckBox>(*preview, "chkKeepIdentity");
        QVERIFY(keep->isVisible() && keep->isChecked());
        // Kept, only the common value would change.
        auto* devices = Control<QTableWidget>(*preview, "tblDevices");
        auto* differences = Control<QTableWidget>(*preview, "tblDifferences");
        QVERIFY2(devices->item(0, 1)->text().isEmpty(), qPrintable(devices->item(0, 1)->text()));
        QCOMPARE(differences->rowCount(), 1);
        QCOMPARE(Row(differences, 0)[0], QStringLiteral("/setup/snmp/community"));
        // Not kept: the address and the name would change, in red.
        keep->setChecked(false);
        QTableWidgetItem* identity = devices->item(0, 1);
        QVERIFY(identity);
        QVERIFY2(identity->text().contains(QStringLiteral("127.0.0.1")) && identity->text().contains(QStringLiteral("127.0.0.9")),
                 qPrintable(identity->text()));
        QCOMPARE(identity->foreground().color(), QColor(0xC8, 0x00, 0x00));
        int marked = 0;
        for (int r = 0; r < differences->rowCount(); ++r)
            if (differences->item(r, 3)->text().contains(QStringLiteral("identity")))
                ++marked;
        QCOMPARE(marked, 2);  // the name and the address; the community is common
        keep->setChecked(true);

        Dialogs::QueueAnswer(true);
        QTest::mouseClick(Control<QPushButton>(*preview, "btnWrite"), Qt::LeftButton);
        const auto boxes = Dialogs::TakeShownBoxes();
        QCOMPARE(boxes.size(), size_t(1));
        QCOMPARE(boxes[0].Text, std::string("Set common config to selected devices!\nDo you wish to continue?"));
        QVERIFY(w.Finish());
        for (auto [server, name, ip] : {std::tuple{&alpha, "Alpha", "127.0.0.1"}, std::tuple{&bravo, "Bravo", "127.0.0.2"}}) {
            QCOMPARE(server->Posts().size(), size_t(1));
            const std::string sent = server->Posts()[0];
            QVERIFY2(sent.find(std::string("<name>") + name + "</name>") != std::string::npos, sent.c_str());
            QVERIFY2(sent.find(std::string("<ip>") + ip + "</ip>") != std::string::npos, sent.c_str());
            QVERIFY2(sent.find("<community>secret</community>") != std::string::npos, sent.c_str());
        }
    }
};

QTEST_MAIN(TestWritePreview)
#include "test_writepreview.moc"
