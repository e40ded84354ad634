// The plan dialog on a real main window: the preview of the checked rows as the user types
// (consecutive addresses, the name counter, blocking problems in red with Apply disabled), a plan
// file that cannot be read, the one restart question, the undo file written before anything is
// sent, the devices' statuses while the plan runs, Stop, and the locks shared with the batches.
// Commands are caught on the Orvex port inside the test's network namespace.
#include "transferfixture.h"
#include "ui_form.h"
#include "ui_plandialog.h"
#include "ui_progressinfo.h"

#include "core/app/i18n.h"
#include "core/devices/udpserver.h"
#include "core/protocols/orvex/packets.h"
#include "core/protocols/orvex/product.h"
#include "core/setup/planfile.h"
#include "gui/setup/plandialog.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QHeaderView>
#include <QHostAddress>
#include <QTableWidget>
#include <QTest>
#include <QUdpSocket>

#include <functional>
#include <memory>
#include <utility>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

const char* const kRestartQuestion = "To propagate new settings, device has to be restarted.\nDo you wish to continue?";
const QColor kRed{200, 0, 0};

// The Orvex update commands the window sends (95 bytes; discovery and info requests left out),
// each named by the MAC address at its start.
class TUpdates {
public:
    TUpdates() { Bound = Socket.bind(QHostAddress::AnyIPv4, Orvex::kPort, QUdpSocket::ShareAddress); }
    // The MACs of the updates that arrive within the time.
    QStringList Take(int ms = 300)
    {
        QStringList got;
        QElapsedTimer timer;
        timer.start();
        while (timer.elapsed() < ms) {
            QApplication::processEvents(QEventLoop::AllEvents, 20);
            while (Socket.hasPendingDatagrams()) {
                Bytes data(static_cast<size_t>(Socket.pendingDatagramSize()));
                Socket.readDatagram(reinterpret_cast<char*>(data.data()), static_cast<qint64>(data.size()));
                if (data.size() == 95)
                    got << QString::asprintf("%02X:%02X:%02X:%02X:%02X:%02X", data[0], data[1], data[2], data[3],
                                             data[4], data[5]);
            }
        }
        return got;
    }
    bool Bound = false;

private:
    QUdpSocket Socket;
};

struct TOrvexSpec {
    std::string Name;
    std::string MAC;
    std::string IP;
};

// An Orvex device on the window's own endpoint.
void AddOrvex(TPyxetForm& form, const TOrvexSpec& spec)
{
    auto device = std::make_unique<TProductOrvex>();
    TProductInfo& i = device->Info;
    i.TypeCode = 1;
    i.MAC = spec.MAC;
    i.Name = spec.Name;
    i.PeerIP = i.IP = spec.IP;
    i.Mask = "255.255.255.0";
    i.Gateway = "10.77.1.254";
    i.DNS1 = "10.77.1.254";
    i.DNS2 = "0.0.0.0";
    i.FirmwareRev = "1.0";
    i.HTTPPort = 80;
    i.TelnetPort = 23;
    i.CanSetDefault = i.CanRestart = true;
    form.AddDevice(std::move(device), kTestProducts, form.OrvexServer.get());
    QApplication::processEvents();
}

// A window (in a working folder of its own) with Orvex devices.
struct TPlanWindow : TTransferWindow {
    void Add(const TOrvexSpec& spec) { AddOrvex(Form(), spec); }
    // Actions -> "Set Up Checked Devices...": the dialog it opened.
    TPlanDialog* Open()
    {
        Control<QAction>(Form(), "acSetUpPlan")->trigger();
        return Form().Batches()->PlanDialog();
    }
    ~TPlanWindow()
    {
        if (Form().Batches()->PlanDialog())
            delete Form().Batches()->PlanDialog();
    }
};

void Tick(QCheckBox* box, QLineEdit* edit, const QString& text)
{
    box->setChecked(true);
    edit->selectAll();
    QTest::keyClicks(edit, text);
}

QString Cell(const TPlanDialog* d, int row, TPlanColumn column)
{
    const QTableWidgetItem* item = d->ui()->PreviewTable->item(row, static_cast<int>(column));
    return item ? item->text() : QString();
}

bool RowRed(const TPlanDialog* d, int row)
{
    for (int column = 0; column < kPlanColumnCount; ++column) {
        const QTableWidgetItem* item = d->ui()->PreviewTable->item(row, column);
        if (!item || item->foreground().color() != kRed)
            return false;
    }
    return true;
}

QString WriteFile(const QString& name, const QByteArray& bytes)
{
    QFile f(name);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return {};
    f.write(bytes);
    return QFileInfo(f).absoluteFilePath();
}

TPlanDeviceStatus Status(TPlanDeviceState state)
{
    TPlanDeviceStatus status;
    status.State = state;
    return status;
}

QStringList UndoFiles()
{
    return QDir(QStringLiteral("backup")).entryList({QStringLiteral("undo-*.csv")}, QDir::Files);
}

}  // namespace

class TestPlanDialog : public QObject {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        InitTranslation(PYXET_BIN_DIR "/");
        Dialogs::SetAutomatic(true);
    }
    void init() { UseLanguage("en"); }
    void cleanup() { Dialogs::TakeShownBoxes(); }

    void PreviewOfTheCheckedRowsFollowsTheTyping()
    {
        TPlanWindow w;
        w.Add({"Alpha", "00:0A:14:00:00:01", "10.77.1.5"});
        w.Add({"Bravo", "00:0A:14:00:00:02", "10.77.1.6"});
        w.Add({"Charlie", "00:0A:14:00:00:03", "10.77.1.11"});
        w.Check({"Charlie", "Alpha"});
        TPlanDialog* d = w.Open();
        QVERIFY(d);
        QVERIFY(d->isVisible());
        auto* ui = d->ui();
        // Nothing ticked: every field kept, nothing to apply.
        QCOMPARE(ui->PreviewTable->rowCount(), 2);
        QCOMPARE(Cell(d, 0, TPlanColumn::Name), QStringLiteral("Alpha"));  // the order shown
        QCOMPARE(Cell(d, 1, TPlanColumn::Name), QStringLiteral("Charlie"));
        QVERIFY(!ui->btnApply->isEnabled());
        QVERIFY(!ui->teFirstIP->isEnabled());

        // Consecutive addresses skip the one Bravo (not checked) uses.
        Tick(ui->chkFirstIP, ui->teFirstIP, QStringLiteral("10.77.1.6"));
        QCOMPARE(Cell(d, 0, TPlanColumn::IP), QStringLiteral("10.77.1.5 \u2192 10.77.1.7"));
        QCOMPARE(Cell(d, 1, TPlanColumn::IP), QStringLiteral("10.77.1.11 \u2192 10.77.1.8"));
        QCOMPARE(Cell(d, 0, TPlanColumn::MAC), QStringLiteral("00:0A:14:00:00:01"));
        QVERIFY(ui->btnApply->isEnabled());
        // The last keystroke counts: one more digit moves both.
        QTest::keyClick(ui->teFirstIP, Qt::Key_Backspace);
        QTest::keyClicks(ui->teFirstIP, QStringLiteral("20"));
        QCOMPARE(Cell(d, 0, TPlanColumn::IP), QStringLiteral("10.77.1.5 \u2192 10.77.1.20"));
        QCOMPARE(Cell(d, 1, TPlanColumn::IP), QStringLiteral("10.77.1.11 \u2192 10.77.1.21"));

        // The name counter, and the other fields in their own column.
        Tick(ui->chkName, ui->teName, QStringLiteral("Boiler ##"));
        QCOMPARE(Cell(d, 0, TPlanColumn::Name), QStringLiteral("Alpha \u2192 Boiler 01"));
        QCOMPARE(Cell(d, 1, TPlanColumn::Name), QStringLiteral("Charlie \u2192 Boiler 02"));
        Tick(ui->chkHTTPPort, ui->teHTTPPort, QStringLiteral("8080"));
        QCOMPARE(Cell(d, 1, TPlanColumn::Other), QStringLiteral("HTTP Port: 80 \u2192 8080"));
        // Unticked, a field is kept again, whatever it holds.
        ui->chkHTTPPort->setChecked(false);
        QVERIFY(!ui->teHTTPPort->isEnabled());
        QCOMPARE(Cell(d, 1, TPlanColumn::Other), QString());
        for (int row = 0; row < 2; ++row)
            QVERIFY(!RowRed(d, row));

        // An address outside the mask's subnet for the gateway kept: blocking, red, no Apply.
        ui->teFirstIP->selectAll();
        QTest::keyClicks(ui->teFirstIP, QStringLiteral("10.77.2.1"));
        QVERIFY(RowRed(d, 0));
        QVERIFY(!Cell(d, 0, TPlanColumn::Problems).isEmpty());
        QVERIFY(!ui->btnApply->isEnabled());
        QVERIFY(Dialogs::TakeShownBoxes().empty());
    }

    // Under the table, what the consecutive addresses passed over and why, a run of one reason
    // as one range; nothing when they passed over nothing.
    void SkippedAddressesAreNamedWithTheirReason()
    {
        TPlanWindow w;
        w.Add({"Alpha", "00:0A:14:00:00:01", "10.77.1.5"});
        w.Add({"Charlie", "00:0A:14:00:00:03", "10.77.1.30"});
        for (int k = 12; k <= 15; ++k)
            w.Add({"Unit " + std::to_string(k), "00:0A:14:00:01:" + std::to_string(k), "10.77.1." + std::to_string(k)});
        w.Check({"Alpha", "Charlie"});
        TPlanDialog* d = w.Open();
        QVERIFY(d);
        auto* ui = d->ui();
        QVERIFY(!ui->lblSkipped->isVisible());
        Tick(ui->chkFirstIP, ui->teFirstIP, QStringLiteral("10.77.1.11"));
        QCOMPARE(Cell(d, 0, TPlanColumn::IP), QStringLiteral("10.77.1.5 \u2192 10.77.1.11"));
        QCOMPARE(Cell(d, 1, TPlanColumn::IP), QStringLiteral("10.77.1.30 \u2192 10.77.1.16"));
        QVERIFY(ui->lblSkipped->isVisible());
        QCOMPARE(ui->lblSkipped->text(), QStringLiteral("Skipped addresses: 10.77.1.12\u201310.77.1.15: in use"));
        // At the top of the subnet: the gateway (.254) and the broadcast address, one each.
        ui->teFirstIP->selectAll();
        QTest::keyClicks(ui->teFirstIP, QStringLiteral("10.77.1.253"));
        QCOMPARE(ui->lblSkipped->text(), QStringLiteral("Skipped addresses: 10.77.1.254: the gateway; "
                                                        "10.77.1.255: the subnet's broadcast address"));
        QVERIFY(!ui->btnApply->isEnabled());  // Charlie got none
        ui->teFirstIP->selectAll();
        QTest::keyClicks(ui->teFirstIP, QStringLiteral("10.77.1.40"));
        QVERIFY(!ui->lblSkipped->isVisible());
    }

    // The devices' statuses come before "Other Changes": with long other changes in a narrow
    // dialog, the Status column is in view while the plan runs.
    void TheStatusColumnStaysInViewWhileThePlanRuns()
    {
        TUpdates updates;
        QVERIFY(updates.Bound);
        TPlanWindow w;
        w.Add({"Alpha", "00:0A:14:00:00:01", "10.77.1.5"});
        w.Add({"Bravo", "00:0A:14:00:00:02", "10.77.1.6"});
        w.Check({"Alpha", "Bravo"});
        TPlanDialog* d = w.Open();
        QVERIFY(d);
        d->RunOptions.AnswerWaitMs = 5000;  // no device answers: the first stays at work
        d->RunOptions.VerifySeconds = 1;
        auto* ui = d->ui();
        Tick(ui->chkName, ui->teName, QStringLiteral("Boiler room ##"));
        Tick(ui->chkDNS1, ui->teDNS1, QStringLiteral("10.77.1.253"));
        Tick(ui->chkDNS2, ui->teDNS2, QStringLiteral("10.77.1.252"));
        Tick(ui->chkHTTPPort, ui->teHTTPPort, QStringLiteral("8080"));
        Tick(ui->chkTelnetPort, ui->teTelnetPort, QStringLiteral("2323"));
        QVERIFY(ui->btnApply->isEnabled());
        QTableWidget* table = ui->PreviewTable;
        const QHeaderView* header = table->horizontalHeader();
        QCOMPARE(table->horizontalHeaderItem(int(TPlanColumn::Status))->text(), QStringLiteral("Status"));
        QVERIFY(header->visualIndex(int(TPlanColumn::Status)) < header->visualIndex(int(TPlanColumn::Other)));
        d->resize(700, 500);
        QTRY_COMPARE(d->width(), 700);
        QVERIFY2(header->length() > table->viewport()->width(), "the table is wider than its view");

        QTest::mouseClick(ui->btnApply, Qt::LeftButton);
        QVERIFY(d->Running());
        const QString sending = QString::fromStdString(PlanStatusText(Status(TPlanDeviceState::Sending)));
        QTRY_COMPARE_WITH_TIMEOUT(Cell(d, 0, TPlanColumn::Status), sending, 4000);
        QApplication::processEvents();
        const int column = int(TPlanColumn::Status);
        const int left = header->sectionViewportPosition(column);
        QVERIFY2(left >= 0 && left + header->sectionSize(column) <= table->viewport()->width(),
                 qPrintable(QStringLiteral("Status at %1..%2 of %3").arg(left).arg(left + header->sectionSize(column))
                                .arg(table->viewport()->width())));
        QVERIFY2(header->sectionSize(column) >= table->fontMetrics().horizontalAdvance(sending),
                 "the status is not cut");
        QTest::mouseClick(ui->btnStop, Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(d->Done(), 20000);
    }

    void DemonstrationModeBlocksThePlan()
    {
        TTestWindow w({QStringLiteral("-demo")});
        QVERIFY(w.Form->DemoMode);
        AddOrvex(*w.Form, {"Alpha", "00:0A:14:00:00:01", "10.77.1.5"});
        QAbstractItemModel* rows = Control<QAbstractItemView>(*w.Form, "DeviceListBox")->model();
        rows->setData(rows->index(0, 0), Qt::Checked, Qt::CheckStateRole);
        Control<QAction>(*w.Form, "acSetUpPlan")->trigger();
        TPlanDialog* d = w.Form->Batches()->PlanDialog();
        QVERIFY(d);
        Tick(d->ui()->chkName, d->ui()->teName, QStringLiteral("Room"));
        QCOMPARE(Cell(d, 0, TPlanColumn::Name), QStringLiteral("Alpha \u2192 Room"));
        QVERIFY(!d->ui()->btnApply->isEnabled());
        QVERIFY(!d->ui()->lblProblems->text().isEmpty());
        QCOMPARE(d->ui()->lblProblems->palette().color(QPalette::WindowText), kRed);
        delete d;
    }

    void APlanFileDuplicateBlocksAndAnUnreadableFileLosesNothing()
    {
        TPlanWindow w;
        w.Add({"Alpha", "00:0A:14:00:00:01", "10.77.1.5"});
        w.Add({"Bravo", "00:0A:14:00:00:02", "10.77.1.6"});
        w.Check({"Alpha"});
        TPlanDialog* d = w.Open();
        QVERIFY(d);
        auto* ui = d->ui();
        Tick(ui->chkName, ui->teName, QStringLiteral("Hall #"));
        QVERIFY(ui->btnApply->isEnabled());

        // Two rows give one address: both devices blocked and red.
        const QString twice = WriteFile(QStringLiteral("twice.csv"),
                                        "MAC,IP\n00:0A:14:00:00:01,10.77.1.40\n"
                                        "00-0a-14-00-00-02,10.77.1.40\n");
        Dialogs::QueueFileName(twice.toStdString());
        QTest::mouseClick(ui->btnLoadPlan, Qt::LeftButton);
        QVERIFY(Dialogs::TakeShownBoxes().empty());
        QCOMPARE(ui->PreviewTable->rowCount(), 2);  // a loaded plan acts on the devices it names
        QCOMPARE(Cell(d, 1, TPlanColumn::IP), QStringLiteral("10.77.1.6 \u2192 10.77.1.40"));
        QVERIFY(!RowRed(d, 0));  // the later device of the two carries the problem
        QVERIFY(RowRed(d, 1));
        QVERIFY2(Cell(d, 1, TPlanColumn::Problems).contains(QStringLiteral("10.77.1.40")),
                 qPrintable(Cell(d, 1, TPlanColumn::Problems)));
        QVERIFY(!ui->btnApply->isEnabled());
        QVERIFY(ui->lblPlanFile->text().contains(QStringLiteral("twice.csv")));

        // A file that cannot be read: refused naming line and column; the fields and the plan
        // loaded before stay.
        const QString bad = WriteFile(QStringLiteral("bad.csv"), "MAC,IP\n00:0A:14:00:00:01,\"10.77.1.7\n");
        Dialogs::QueueFileName(bad.toStdString());
        QTest::mouseClick(ui->btnLoadPlan, Qt::LeftButton);
        const auto boxes = Dialogs::TakeShownBoxes();
        QCOMPARE(boxes.size(), size_t(1));
        QCOMPARE(boxes[0].Kind, Dialogs::TBoxKind::Error);
        QVERIFY2(QString::fromStdString(boxes[0].Text).contains(QStringLiteral("Line 2, column ")),
                 boxes[0].Text.c_str());
        QVERIFY2(QString::fromStdString(boxes[0].Text).contains(QStringLiteral("bad.csv")), boxes[0].Text.c_str());
        QVERIFY(ui->chkName->isChecked());
        QCOMPARE(ui->teName->text(), QStringLiteral("Hall #"));
        QVERIFY(ui->lblPlanFile->text().contains(QStringLiteral("twice.csv")));
        QCOMPARE(Cell(d, 1, TPlanColumn::IP), QStringLiteral("10.77.1.6 \u2192 10.77.1.40"));
        QVERIFY(RowRed(d, 1));

        // Mended, the plan can be applied.
        const QString good = WriteFile(QStringLiteral("good.csv"), "MAC;IP\r\n00:0A:14:00:00:02;10.77.1.41\r\n");
        Dialogs::QueueFileName(good.toStdString());
        QTest::mouseClick(ui->btnLoadPlan, Qt::LeftButton);
        QVERIFY(Dialogs::TakeShownBoxes().empty());
        QCOMPARE(Cell(d, 0, TPlanColumn::Name), QStringLiteral("Alpha \u2192 Hall 1"));
        QCOMPARE(Cell(d, 1, TPlanColumn::IP), QStringLiteral("10.77.1.6 \u2192 10.77.1.41"));
        QVERIFY(!RowRed(d, 0) && !RowRed(d, 1));
        QVERIFY(ui->btnApply->isEnabled());
    }

    void OneRestartQuestionAndNoSendsOnlyWhatNeedsNoRestart()
    {
        TUpdates updates;
        QVERIFY(updates.Bound);
        TPlanWindow w;
        w.Add({"Alpha", "00:0A:14:00:00:01", "10.77.1.5"});
        w.Add({"Bravo", "00:0A:14:00:00:02", "10.77.1.6"});
        w.Add({"Charlie", "00:0A:14:00:00:03", "10.77.1.7"});
        w.Check({"Alpha", "Bravo", "Charlie"});
        updates.Take(100);
        TPlanDialog* d = w.Open();
        QVERIFY(d);
        d->RunOptions.AnswerWaitMs = 200;
        d->RunOptions.VerifySeconds = 1;
        auto* ui = d->ui();
        // Two new addresses (a restart each), one new name alone (no restart).
        const QString plan = WriteFile(QStringLiteral("plan.csv"),
                                       "MAC,IP,Name\n00:0A:14:00:00:01,10.77.1.50,\n"
                                       "00:0A:14:00:00:02,10.77.1.51,\n"
                                       "00:0A:14:00:00:03,,Charlie East\n");
        Dialogs::QueueFileName(plan.toStdString());
        QTest::mouseClick(ui->btnLoadPlan, Qt::LeftButton);
        QVERIFY(ui->btnApply->isEnabled());
        Dialogs::QueueAnswer(false);
        QTest::mouseClick(ui->btnApply, Qt::LeftButton);
        const auto boxes = Dialogs::TakeShownBoxes();
        QCOMPARE(boxes.size(), size_t(1));
        QCOMPARE(boxes[0].Kind, Dialogs::TBoxKind::Confirm);
        QCOMPARE(boxes[0].Text, std::string(kRestartQuestion));
        QTRY_VERIFY_WITH_TIMEOUT(d->Done(), 20000);
        QCOMPARE(updates.Take(), QStringList{QStringLiteral("00:0A:14:00:00:03")});
        const std::vector<TPlanDeviceStatus>& statuses = d->Run()->Statuses();
        QCOMPARE(statuses.size(), size_t(3));
        QCOMPARE(statuses[0].State, TPlanDeviceState::NotSent);
        QCOMPARE(statuses[1].State, TPlanDeviceState::NotSent);
        QVERIFY(statuses[2].State != TPlanDeviceState::NotSent);
        for (int row = 0; row < 3; ++row)
            QCOMPARE(Cell(d, row, TPlanColumn::Status), QString::fromStdString(PlanStatusText(statuses[size_t(row)])));
        QVERIFY(Dialogs::TakeShownBoxes().empty());
    }

    void TheUndoFileIsWrittenBeforeAnythingIsSent()
    {
        TUpdates updates;
        QVERIFY(updates.Bound);
        TPlanWindow w;
        w.Add({"Alpha", "00:0A:14:00:00:01", "10.77.1.5"});
        w.Add({"Bravo", "00:0A:14:00:00:02", "10.77.1.6"});
        w.Check({"Alpha", "Bravo"});
        updates.Take(100);
        TPlanDialog* d = w.Open();
        QVERIFY(d);
        d->RunOptions.AnswerWaitMs = 200;
        d->RunOptions.VerifySeconds = 1;
        auto* ui = d->ui();
        Tick(ui->chkName, ui->teName, QStringLiteral("Boiler ##"));
        const std::string expected = FormatUndoFile(d->Plan());

        // A backup folder that cannot be made: a message, nothing sent, nothing locked.
        QVERIFY(!WriteFile(QStringLiteral("blocked"), "a file, not a folder").isEmpty());
        d->BackupFolder = "blocked/backup";
        w.Form().ActionLog.clear();
        QTest::mouseClick(ui->btnApply, Qt::LeftButton);
        auto boxes = Dialogs::TakeShownBoxes();
        QCOMPARE(boxes.size(), size_t(1));
        QCOMPARE(boxes[0].Kind, Dialogs::TBoxKind::Error);
        QVERIFY2(QString::fromStdString(boxes[0].Text).contains(QStringLiteral("Nothing was sent")),
                 boxes[0].Text.c_str());
        QVERIFY(!d->Running() && !d->Done());
        QVERIFY(updates.Take().isEmpty());
        QVERIFY(w.Log().empty());
        QVERIFY(!w.Form().BatchLock.Locked());
        QVERIFY(ui->btnApply->isEnabled());

        // The window's backup folder: the undo file first, named in the log before any command.
        d->BackupFolder = kBackupFolder;
        QTest::mouseClick(ui->btnApply, Qt::LeftButton);
        QVERIFY(Dialogs::TakeShownBoxes().empty());  // names need no restart
        const QStringList undo = UndoFiles();
        QCOMPARE(undo.size(), 1);
        QFile file(QStringLiteral("backup/") + undo[0]);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll().toStdString(), expected);
        QCOMPARE(d->UndoFile, std::string("backup/") + undo[0].toStdString());
        QVERIFY(!w.Log().empty());
        QCOMPARE(w.Log().front(), "The values before the plan were written to backup/" + undo[0].toStdString() + ".");
        QTRY_VERIFY_WITH_TIMEOUT(d->Done(), 20000);
        QCOMPARE(updates.Take().size(), 2);
    }

    void StatusesShowLiveAndStopEndsAfterTheCurrentDevice()
    {
        TUpdates updates;
        QVERIFY(updates.Bound);
        TPlanWindow w;
        w.Add({"Alpha", "00:0A:14:00:00:01", "10.77.1.5"});
        w.Add({"Bravo", "00:0A:14:00:00:02", "10.77.1.6"});
        w.Add({"Charlie", "00:0A:14:00:00:03", "10.77.1.7"});
        w.Check({"Alpha", "Bravo", "Charlie"});
        updates.Take(100);
        TPlanDialog* d = w.Open();
        QVERIFY(d);
        // No device answers here: each command waits its full time for the answer.
        d->RunOptions.AnswerWaitMs = 5000;
        d->RunOptions.VerifySeconds = 1;
        auto* ui = d->ui();
        Tick(ui->chkName, ui->teName, QStringLiteral("Room #"));
        QTest::mouseClick(ui->btnApply, Qt::LeftButton);
        QVERIFY(d->Running());
        QVERIFY(w.Form().Batches()->PlanRunning());
        QVERIFY(!ui->btnApply->isEnabled());
        QVERIFY(ui->btnStop->isEnabled());
        QVERIFY(!ui->btnClose->isEnabled());
        QVERIFY(!ui->FormGroup->isEnabled());
        // The first device's status while its answer is awaited, shown as the window runs on.
        const QString sending = QString::fromStdString(PlanStatusText(Status(TPlanDeviceState::Sending)));
        const QString waiting = QString::fromStdString(PlanStatusText(Status(TPlanDeviceState::Waiting)));
        QTRY_COMPARE_WITH_TIMEOUT(Cell(d, 0, TPlanColumn::Status), sending, 4000);
        QCOMPARE(Cell(d, 1, TPlanColumn::Status), waiting);
        // Closing is refused while it runs.
        d->close();
        QVERIFY(d->isVisible());
        QTest::mouseClick(ui->btnStop, Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(d->Done(), 20000);
        QCOMPARE(Cell(d, 0, TPlanColumn::Status),
                 QString::fromStdString(PlanStatusText(Status(TPlanDeviceState::NoAnswer))));
        for (int row : {1, 2})
            QCOMPARE(Cell(d, row, TPlanColumn::Status),
                     QString::fromStdString(PlanStatusText(d->Run()->Statuses()[size_t(row)])));
        QCOMPARE(d->Run()->Statuses()[1].State, TPlanDeviceState::NotSent);
        QCOMPARE(d->Run()->Statuses()[2].State, TPlanDeviceState::NotSent);
        QCOMPARE(updates.Take(), QStringList{QStringLiteral("00:0A:14:00:00:01")});
        // The results stay shown; the window is free again and has looked for the devices anew.
        QVERIFY(d->isVisible());
        QVERIFY(ui->btnClose->isEnabled());
        QVERIFY(!ui->btnStop->isEnabled());
        QVERIFY(!ui->btnApply->isEnabled());
        QVERIFY(!w.Form().Batches()->PlanRunning());
        QVERIFY(!w.Form().BatchLock.Locked());
        QVERIFY(Control<QAction>(w.Form(), "acFind")->isEnabled());
        QCOMPARE(w.Form().Devices.PreviousList().size(), size_t(3));
        // The three are remembered as failed: once found again (Delta besides), Utilities ->
        // "Check Failed Devices" checks exactly them.
        QAction* checkFailed = Control<QAction>(w.Form(), "acCheckFailed");
        QVERIFY2(!checkFailed->isEnabled(), "none of them is listed yet");
        w.Add({"Delta", "00:0A:14:00:00:04", "10.77.1.8"});
        QVERIFY(!checkFailed->isEnabled());
        w.Add({"Charlie", "00:0A:14:00:00:03", "10.77.1.7"});
        QVERIFY(checkFailed->isEnabled());
        w.Add({"Alpha", "00:0A:14:00:00:01", "10.77.1.5"});
        w.Add({"Bravo", "00:0A:14:00:00:02", "10.77.1.6"});
        checkFailed->trigger();
        QStringList checked;
        const QAbstractItemModel* rows = Control<QAbstractItemView>(w.Form(), "DeviceListBox")->model();
        for (int row = 0; row < rows->rowCount(); ++row)
            if (rows->index(row, 0).data(Qt::CheckStateRole).toInt() == Qt::Checked)
                checked << w.Window.Names()[row];
        QCOMPARE(checked, (QStringList{QStringLiteral("Alpha"), QStringLiteral("Bravo"), QStringLiteral("Charlie")}));
        QCOMPARE(Control<QCheckBox>(w.Form(), "AllChecked")->checkState(), Qt::PartiallyChecked);
        QTest::mouseClick(ui->btnClose, Qt::LeftButton);
        QTRY_VERIFY(!w.Form().Batches()->PlanDialog());
    }

    void APlanRunLocksWhatABatchLocks()
    {
        TPlanWindow w;
        w.Add({"Alpha", "00:0A:14:00:00:01", "10.77.1.5"});
        w.Add({"Bravo", "00:0A:14:00:00:02", "10.77.1.6"});
        w.Check({"Alpha", "Bravo"});
        TPlanDialog* d = w.Open();
        QVERIFY(d);
        d->RunOptions.AnswerWaitMs = 1000;
        d->RunOptions.VerifySeconds = 1;
        Tick(d->ui()->chkName, d->ui()->teName, QStringLiteral("Room #"));
        QTest::mouseClick(d->ui()->btnApply, Qt::LeftButton);
        QVERIFY(d->Running());
        for (QObject* control : std::initializer_list<QObject*>{
                 Control<QAction>(w.Form(), "acFind"), Control<QAction>(w.Form(), "acFindAt"),
                 Control<QAction>(w.Form(), "acFirmUpgr"), Control<QAction>(w.Form(), "acBackup"),
                 Control<QAction>(w.Form(), "RestoreConfig"), Control<QAbstractItemView>(w.Form(), "DeviceListBox"),
                 Control<QAction>(w.Form(), "acSetUpPlan"), Control<QAction>(w.Form(), "acUndoPlan"),
                 Control<QPushButton>(w.Form(), "btnConfigDevice")})
            QVERIFY2(!control->property("enabled").toBool(), qPrintable(control->objectName()));
        // Whatever reaches the commands meanwhile does nothing: the devices stay listed.
        w.Form().acFindExecute();
        w.Form().acSetUpPlanExecute();
        QCOMPARE(w.Form().Batches()->PlanDialog(), d);
        QCOMPARE(w.Form().Devices.DeviceList().size(), size_t(2));
        // Closing the main window stops the plan instead.
        w.Form().close();
        QVERIFY(w.Form().isVisible());
        QTRY_VERIFY_WITH_TIMEOUT(d->Done(), 20000);
        QVERIFY(Control<QAction>(w.Form(), "acSetUpPlan")->isEnabled());
        QVERIFY(Control<QAction>(w.Form(), "acFind")->isEnabled());
    }

    void BothMenuItemsAreLockedDuringABatch()
    {
        TPlanWindow w;
        auto watched = std::make_unique<TWatchedProgress>();
        w.Form().Progress = watched.get();
        w.Window.Add({.Name = "Alpha", .MAC = "00:0A:59:00:00:01", .PeerIP = "10.0.0.1"});
        w.Check({"Alpha"});
        QVERIFY(Control<QAction>(w.Form(), "acSetUpPlan")->isEnabled());
        QVERIFY(Control<QAction>(w.Form(), "acUndoPlan")->isEnabled());
        bool ran = false;
        watched->OnLine = [&] {
            ran = true;
            QVERIFY(!Control<QAction>(w.Form(), "acSetUpPlan")->isEnabled());
            QVERIFY(!Control<QAction>(w.Form(), "acUndoPlan")->isEnabled());
            w.Form().acSetUpPlanExecute();
            Dialogs::QueueFileName("never.csv");
            w.Form().acUndoPlanExecute();
            QVERIFY(!w.Form().Batches()->PlanDialog());
        };
        Control<QAction>(w.Form(), "RestoreConfig")->trigger();
        QVERIFY(w.Finish());
        QVERIFY(ran);
        QCOMPARE(Dialogs::OpenFileName(nullptr, "", ""), std::string("never.csv"));  // no file was asked for
        QVERIFY(Control<QAction>(w.Form(), "acSetUpPlan")->isEnabled());
        QVERIFY(Control<QAction>(w.Form(), "acUndoPlan")->isEnabled());
    }

    void UndoTakesTheChosenUndoFile()
    {
        TPlanWindow w;
        w.Add({"Alpha", "00:0A:14:00:00:01", "10.77.1.5"});
        QDir().mkdir(QStringLiteral("backup"));
        const QString undo = WriteFile(QStringLiteral("backup/undo-20260101-120000.csv"),
                                       "MAC,Name,IP\n00:0A:14:00:00:01,Old Alpha,10.77.1.5\n");
        // The newest undo file is offered first (their names sort by time); cancelled, nothing opens.
        QVERIFY(!WriteFile(QStringLiteral("backup/undo-20251231-235959.csv"), "MAC\n").isEmpty());
        QVERIFY(!WriteFile(QStringLiteral("backup/zz-other.csv"), "MAC\n").isEmpty());
        Control<QAction>(w.Form(), "acUndoPlan")->trigger();
        QCOMPARE(Dialogs::LastFileFolder(), std::string("backup/undo-20260101-120000.csv"));
        QVERIFY(!w.Form().Batches()->PlanDialog());
        // Unreadable: refused with line and column, no dialog.
        const QString bad = WriteFile(QStringLiteral("backup/undo-20260101-130000.csv"), "MAC,Name\n\"x\"y,z\n");
        Dialogs::QueueFileName(bad.toStdString());
        Control<QAction>(w.Form(), "acUndoPlan")->trigger();
        auto boxes = Dialogs::TakeShownBoxes();
        QCOMPARE(boxes.size(), size_t(1));
        QVERIFY2(QString::fromStdString(boxes[0].Text).contains(QStringLiteral("Line 2, column")),
                 boxes[0].Text.c_str());
        QVERIFY(!w.Form().Batches()->PlanDialog());

        Dialogs::QueueFileName(undo.toStdString());
        Control<QAction>(w.Form(), "acUndoPlan")->trigger();
        TPlanDialog* d = w.Form().Batches()->PlanDialog();
        QVERIFY(d);
        QVERIFY(d->Plan().Undo);
        QVERIFY(!d->ui()->FormGroup->isVisible());
        QCOMPARE(Cell(d, 0, TPlanColumn::Name), QStringLiteral("Alpha \u2192 Old Alpha"));
        QCOMPARE(Cell(d, 0, TPlanColumn::IP), QStringLiteral("10.77.1.5"));
        QVERIFY(d->ui()->btnApply->isEnabled());
    }

    void AnUndoShowsWhatANewPlanWouldRefuseAsANote()
    {
        // The undo file gives the unit back a gateway outside its subnet: a note, not red, and
        // Apply enabled.
        TPlanWindow w;
        w.Add({"Alpha", "00:0A:14:00:00:01", "10.77.1.5"});
        QDir().mkdir(QStringLiteral("backup"));
        const QString undo = WriteFile(QStringLiteral("backup/undo-20260102-120000.csv"),
                                       "MAC,IP,Mask,Gateway\n00:0A:14:00:00:01,10.77.2.5,255.255.255.0,10.99.0.1\n");
        Dialogs::QueueFileName(undo.toStdString());
        Control<QAction>(w.Form(), "acUndoPlan")->trigger();
        TPlanDialog* d = w.Form().Batches()->PlanDialog();
        QVERIFY(d);
        QVERIFY2(Cell(d, 0, TPlanColumn::Problems).contains(QStringLiteral("10.99.0.1")),
                 qPrintable(Cell(d, 0, TPlanColumn::Problems)));
        QVERIFY(!RowRed(d, 0));
        QVERIFY(d->ui()->btnApply->isEnabled());
    }
};

QTEST_MAIN(TestPlanDialog)
#include "test_plandialog.moc"
