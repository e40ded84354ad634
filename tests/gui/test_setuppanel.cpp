// The "Device Setup" panel on a real main window: the field rules that enable "Apply Changes"
// and lock the address fields, the three command buttons with their questions, log lines and
// requests (caught on the family ports inside the test's network namespace), and the device list
// fixes that the panel relies on: a click on the highlighted row shows it again, the column
// buttons stand over their fields, the All box is two-state from the start.
#include "devicefeed.h"
#include "ui_form.h"

#include "core/app/i18n.h"
#include "core/devices/udpserver.h"
#include "core/protocols/hwg/packets.h"
#include "core/protocols/hwg/product.h"
#include "core/protocols/hwg/tea.h"
#include "core/protocols/orvex/packets.h"
#include "core/protocols/orvex/product.h"
#include "gui/devices/devicelistdelegate.h"

#include <QElapsedTimer>
#include <QFontMetrics>
#include <QImage>
#include <QHostAddress>
#include <QTest>
#include <QUdpSocket>

#include <memory>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

// What the window broadcasts to one family's port.
class TListener {
public:
    explicit TListener(uint16_t port) { Bound = Socket.bind(QHostAddress::AnyIPv4, port, QUdpSocket::ShareAddress); }
    // Datagrams that arrive within the time, less the discovery requests of the window's start.
    std::vector<Bytes> Take(int ms = 300)
    {
        std::vector<Bytes> got;
        QElapsedTimer timer;
        timer.start();
        while (timer.elapsed() < ms) {
            QApplication::processEvents(QEventLoop::AllEvents, 20);
            while (Socket.hasPendingDatagrams()) {
                Bytes data(static_cast<size_t>(Socket.pendingDatagramSize()));
                Socket.readDatagram(reinterpret_cast<char*>(data.data()), static_cast<qint64>(data.size()));
                if (data.size() != 114 && !(data.size() == 48 && data[0] == 0xFF))
                    got.push_back(data);
            }
        }
        return got;
    }
    bool Bound = false;

private:
    QUdpSocket Socket;
};

std::unique_ptr<TProduct> OrvexDevice(const std::string& name = "Hall", int16_t dhcp = 0)
{
    auto device = std::make_unique<TProductOrvex>();
    TProductInfo& i = device->Info;
    i.TypeCode = 1;
    i.MAC = "00:0A:14:1E:28:32";
    i.Name = name;
    i.PeerIP = "10.77.1.5";
    i.IP = "10.77.1.5";
    i.Mask = "255.255.0.0";
    i.Gateway = "10.77.0.254";
    i.DNS1 = "10.77.0.254";
    i.DNS2 = "0.0.0.0";
    i.Dhcp = dhcp;
    i.FirmwareRev = "1.0";
    i.HTTPPort = 80;
    i.TelnetPort = 23;
    i.CanSetDefault = i.CanRestart = true;
    return device;
}

std::unique_ptr<TProduct> HwgDevice()
{
    auto device = std::make_unique<TProductHwg>();
    TProductInfo& i = device->Info;
    i.TypeCode = 2;
    i.MAC = "00:0A:59:00:00:01";
    i.Name = "Poseidon";
    i.PeerIP = "10.77.2.1";
    i.IP = "10.77.2.1";
    i.Mask = "255.255.0.0";
    i.Gateway = "10.77.0.254";
    i.DNS1 = i.DNS2 = "N/A";
    i.Dhcp = 0;
    i.FirmwareRev = "1.0.0";
    i.HTTPPort = 80;
    i.TelnetPort = -1;
    i.CanSetDefault = true;
    i.CanRestart = false;
    device->AnswerPacket.assign(48, 0);
    std::copy_n(Bytes{0x00, 0x0A, 0x59, 0x00, 0x00, 0x01}.begin(), 6, device->AnswerPacket.begin());
    device->AnswerPacket[28] = 0x08;
    HwgSignPacket(device->AnswerPacket.data(), 48);
    return device;
}

// The window with one device of a real family, on the window's own endpoint.
void Feed(TTestWindow& w, std::unique_ptr<TProduct> device)
{
    w.Form->Logger.TimeStamps = false;
    const bool hwg = dynamic_cast<TProductHwg*>(device.get()) != nullptr;
    w.Form->AddDevice(std::move(device), kTestProducts, hwg ? w.Form->HwgServer.get() : w.Form->OrvexServer.get());
    QApplication::processEvents();
}

void Type(QLineEdit* field, const QString& text)
{
    field->selectAll();
    QTest::keyClicks(field, text);
}

QStringList LogSince(const TTestWindow& w, size_t from)
{
    QStringList lines;
    for (size_t i = from; i < w.Form->ActionLog.size(); ++i)
        lines << QString::fromStdString(w.Form->ActionLog[i].Text.substr(1));
    return lines;
}

bool Locked(const QLineEdit* field) { return field->isReadOnly(); }

const char* const kApplyQuestion = "To propagate new settings, device has to be restarted.\nDo you wish to continue?";

} // namespace

class TestSetupPanel : public QObject {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        InitTranslation(PYXET_BIN_DIR "/");
        UseLanguage("en");
    }
    void cleanup() { Dialogs::TakeShownBoxes(); }

    void DemoModeNeverEnablesApplyAndSendsNothing()
    {
        TTestWindow w({QStringLiteral("-demo")});
        QVERIFY(w.Form->DemoMode);
        Ui::TPyxetForm* ui = w.ui();
        Type(ui->teDeviceName, QStringLiteral("Something"));
        Type(ui->teHTTPPort, QStringLiteral("81"));
        ui->chbDhcp->click();
        QVERIFY(ui->chbDhcp->isChecked());
        QVERIFY(!ui->btnConfigDevice->isEnabled());
        QVERIFY(!Locked(ui->teDeviceIP));  // "Enable" locks nothing in demonstration mode
        QVERIFY(!Locked(ui->teDeviceDNS1));

        // The two command buttons are enabled without a device: a click asks and sends nothing.
        QVERIFY(ui->btnRestartDevice->isEnabled());
        QVERIFY(ui->btnSetDefault->isEnabled());
        const size_t logged = w.Form->ActionLog.size();
        QTest::mouseClick(ui->btnRestartDevice, Qt::LeftButton);
        QTest::mouseClick(ui->btnSetDefault, Qt::LeftButton);
        QVERIFY(Dialogs::TakeShownBoxes().empty());
        QCOMPARE(w.Form->ActionLog.size(), logged);
    }

    void EditsEnableApplyFieldByField()
    {
        TTestWindow w;
        Feed(w, OrvexDevice());
        Ui::TPyxetForm* ui = w.ui();
        QVERIFY(!ui->btnConfigDevice->isEnabled());
        Type(ui->teDeviceIP, QStringLiteral("10.77.1.50"));
        QVERIFY(ui->btnConfigDevice->isEnabled());
        Type(ui->teDeviceName, QStringLiteral("Hall"));  // the last edited field decides
        QVERIFY(!ui->btnConfigDevice->isEnabled());
        Type(ui->teHTTPPort, QStringLiteral("080"));
        QVERIFY(ui->btnConfigDevice->isEnabled());
        Type(ui->teHTTPPort, QStringLiteral("80"));
        QVERIFY(!ui->btnConfigDevice->isEnabled());

        // Checking "Enable" on a device that has DHCP on ends disabled; on one with 2 it differs.
        TTestWindow v;
        Feed(v, OrvexDevice("Dhcp", 2));
        QVERIFY(v.ui()->chbDhcp->isChecked());
        v.ui()->chbDhcp->click();
        v.ui()->chbDhcp->click();
        QVERIFY(v.ui()->btnConfigDevice->isEnabled());
    }

    void DhcpLocksTheAddressesButNotANameServerShowingNA()
    {
        TTestWindow w;
        Feed(w, HwgDevice());
        Ui::TPyxetForm* ui = w.ui();
        QCOMPARE(ui->teDeviceDNS1->text(), QStringLiteral("N/A"));
        QVERIFY(Locked(ui->teDeviceDNS1));
        QVERIFY(!ui->chbDhcp->isChecked());
        ui->chbDhcp->click();
        for (QLineEdit* field : {ui->teDeviceIP, ui->teDeviceMask, ui->teDeviceGateway})
            QVERIFY(Locked(field));
        ui->chbDhcp->click();
        for (QLineEdit* field : {ui->teDeviceIP, ui->teDeviceMask, ui->teDeviceGateway})
            QVERIFY(!Locked(field));
        QVERIFY(Locked(ui->teDeviceDNS1));  // "N/A" keeps its look both ways
        QVERIFY(Locked(ui->teDeviceDNS2));

        // An Orvex device with one name server "N/A": the other one follows the box.
        TTestWindow v;
        auto orvex = OrvexDevice();
        orvex->Info.DNS1 = "N/A";
        Feed(v, std::move(orvex));
        QVERIFY(!Locked(v.ui()->teDeviceDNS2));
        v.ui()->chbDhcp->click();
        QVERIFY(Locked(v.ui()->teDeviceIP));
        QVERIFY(Locked(v.ui()->teDeviceDNS2));
        v.ui()->chbDhcp->click();
        QVERIFY(!Locked(v.ui()->teDeviceDNS2));
        QVERIFY(Locked(v.ui()->teDeviceDNS1));
    }

    void ApplyAsksOnlyWhenARestartIsNeeded()
    {
        TListener orvex(57739);
        QVERIFY(orvex.Bound);
        TTestWindow w;
        Feed(w, OrvexDevice());
        orvex.Take(100);
        Ui::TPyxetForm* ui = w.ui();

        const QString filed = w.Model()->index(0, 1).data().toString();
        QVERIFY(!filed.isEmpty() && filed != QStringLiteral("Hall East"));
        Type(ui->teDeviceName, QStringLiteral("Hall East"));
        size_t logged = w.Form->ActionLog.size();
        QTest::mouseClick(ui->btnConfigDevice, Qt::LeftButton);
        QVERIFY(Dialogs::TakeShownBoxes().empty());
        // The row keeps the line it was filed with until the next cycle: its name cell shows the
        // answered name, while the device holds the new one.
        QCOMPARE(w.Panel()->ShownDevice()->CopyInfo().Name, std::string("Hall East"));
        QCOMPARE(w.Model()->index(0, 1).data().toString(), filed);
        std::vector<Bytes> sent = orvex.Take();
        QCOMPARE(sent.size(), size_t(1));
        QCOMPARE(sent[0].size(), size_t(95));
        QCOMPARE(int(sent[0][93]), 0);
        QCOMPARE(LogSince(w, logged), (QStringList{QStringLiteral("->> Sending Orvex UDP Update to 255.255.255.255"),
                                                                 QStringLiteral("Reconfiguring 10.77.1.5 device. Please wait.")}));
        QVERIFY(!ui->btnConfigDevice->isEnabled());

        // A new gateway: asked; No keeps the button and sends nothing; a second click asks again.
        Type(ui->teDeviceGateway, QStringLiteral("10.77.0.1"));
        Dialogs::QueueAnswer(false);
        logged = w.Form->ActionLog.size();
        QTest::mouseClick(ui->btnConfigDevice, Qt::LeftButton);
        auto boxes = Dialogs::TakeShownBoxes();
        QCOMPARE(boxes.size(), size_t(1));
        QCOMPARE(boxes[0].Text, std::string(kApplyQuestion));
        QVERIFY(orvex.Take().empty());
        QCOMPARE(w.Form->ActionLog.size(), logged);
        QVERIFY(ui->btnConfigDevice->isEnabled());
        QTest::mouseClick(ui->btnConfigDevice, Qt::LeftButton);  // answered Yes
        QCOMPARE(Dialogs::TakeShownBoxes().size(), size_t(1));
        sent = orvex.Take();
        QCOMPARE(sent.size(), size_t(1));
        QCOMPARE(int(sent[0][93]), 1);
        QCOMPARE(std::vector<uint8_t>(sent[0].begin() + 63, sent[0].begin() + 67), (Bytes{10, 77, 0, 1}));
        QVERIFY(!ui->btnConfigDevice->isEnabled());
    }

    // A name with controls: the row, the log, the status bar and the name field show its written
    // out form; the untouched field counts as unchanged and sends the name as the device sent it.
    void NameWithControlsIsShownSafelyAndSentAsStored()
    {
        TListener orvex(57739);
        QVERIFY(orvex.Bound);
        TTestWindow w;
        const std::string name = "Hall\r\nERROR\tx\x1B[31m\xE2\x80\xAE";  // 21 bytes
        const QString shown = QStringLiteral("Hall\\x0D\\x0AERROR\\x09x\\x1B[31m\\u{202E}");
        size_t logged = w.Form->ActionLog.size();
        Feed(w, OrvexDevice(name));
        orvex.Take(100);
        Ui::TPyxetForm* ui = w.ui();

        QVERIFY(
            LogSince(w, logged).contains(QStringLiteral("Found ") + shown + QStringLiteral(" device at 10.77.1.5")));
        QVERIFY2(w.Model()->Line(0).find(name) != std::string::npos, "the line of the stored texts");
        const QString row = w.Model()->index(0, 0).data(TDeviceListModel::LineRole).toString();
        QVERIFY2(row.contains(shown), qPrintable(row));
        QVERIFY(!row.contains(QChar(0x1B)) && !row.contains(QLatin1Char('\n')) && !row.contains(QChar(0x202E)));
        QCOMPARE(w.Model()->index(0, 1).data(Qt::DisplayRole).toString(), shown);  // the name's own cell

        QCOMPARE(ui->teDeviceName->text(), shown);
        QVERIFY(!ui->btnConfigDevice->isEnabled());
        Type(ui->teDeviceName, QStringLiteral("Other"));
        QVERIFY(ui->btnConfigDevice->isEnabled());
        Type(ui->teDeviceName, shown);
        QVERIFY2(!ui->btnConfigDevice->isEnabled(), "typed back as shown: unchanged");

        // Another field changed, the name field untouched: the device's own bytes go out.
        Type(ui->teDeviceDNS2, QStringLiteral("10.77.0.2"));
        QVERIFY(ui->btnConfigDevice->isEnabled());
        QTest::mouseClick(ui->btnConfigDevice, Qt::LeftButton);
        Dialogs::TakeShownBoxes();
        std::vector<Bytes> sent = orvex.Take();
        QCOMPARE(sent.size(), size_t(1));
        QCOMPARE(std::string(sent[0].begin() + 16, sent[0].begin() + 16 + long(name.size())), name);
        QCOMPARE(int(sent[0][16 + name.size()]), 0);
        QCOMPARE(w.Panel()->ShownDevice()->CopyInfo().Name, name);

        // An edited name is sent as typed, a backslash as one backslash.
        Type(ui->teDeviceName, QStringLiteral("New\\x0A"));
        QTest::mouseClick(ui->btnConfigDevice, Qt::LeftButton);
        Dialogs::TakeShownBoxes();
        sent = orvex.Take();
        QCOMPARE(sent.size(), size_t(1));
        QCOMPARE(std::string(sent[0].begin() + 16, sent[0].begin() + 16 + 7), std::string("New\\x0A"));
        QCOMPARE(int(sent[0][16 + 7]), 0);
    }

    void HwgAsksEveryTimeAndSendsNoName()
    {
        TListener hwg(9999);
        QVERIFY(hwg.Bound);
        TTestWindow w;
        Feed(w, HwgDevice());
        hwg.Take(100);
        Type(w.ui()->teDeviceIP, QStringLiteral("10.77.2.40"));
        QTest::mouseClick(w.ui()->btnConfigDevice, Qt::LeftButton);
        auto boxes = Dialogs::TakeShownBoxes();
        QCOMPARE(boxes.size(), size_t(1));
        QCOMPARE(boxes[0].Text, std::string(kApplyQuestion));
        const std::vector<Bytes> sent = hwg.Take();
        QCOMPARE(sent.size(), size_t(1));
        QCOMPARE(sent[0].size(), size_t(48));
        QCOMPARE(std::vector<uint8_t>(sent[0].begin() + 6, sent[0].begin() + 10), (Bytes{10, 77, 2, 40}));
        QVERIFY(HwgVerifyPacket(sent[0].data(), sent[0].size()));
    }

    void PortTextsAreCheckedTelnetFirst()
    {
        TListener orvex(57739);
        TTestWindow w;
        Feed(w, OrvexDevice());
        orvex.Take(100);
        Ui::TPyxetForm* ui = w.ui();
        Type(ui->teHTTPPort, QStringLiteral("xyz"));
        Type(ui->teTelnetPort, QStringLiteral("abc"));
        QTest::mouseClick(ui->btnConfigDevice, Qt::LeftButton);
        auto boxes = Dialogs::TakeShownBoxes();
        QCOMPARE(boxes.size(), size_t(1));
        QVERIFY(boxes[0].Kind == Dialogs::TBoxKind::Error);
        QCOMPARE(boxes[0].Text, std::string("'abc' is not a valid integer value"));
        QVERIFY(ui->btnConfigDevice->isEnabled());

        // 65536 is stored (and shown, after selecting the device again) as 0.
        Type(ui->teTelnetPort, QStringLiteral("23"));
        Type(ui->teHTTPPort, QStringLiteral("65536"));
        QTest::mouseClick(ui->btnConfigDevice, Qt::LeftButton);
        QVERIFY(Dialogs::TakeShownBoxes().empty());
        const std::vector<Bytes> sent = orvex.Take();
        QCOMPARE(sent.size(), size_t(1));
        QCOMPARE(std::vector<uint8_t>(sent[0].begin() + 84, sent[0].begin() + 86), (Bytes{0, 0}));
        QCOMPARE(w.Panel()->ShownDevice()->Info.HTTPPort, int16_t(0));

        // A malformed address in a field the request carries is refused, naming the text.
        Type(ui->teDeviceMask, QStringLiteral("255.255.0"));
        QTest::mouseClick(ui->btnConfigDevice, Qt::LeftButton);
        boxes = Dialogs::TakeShownBoxes();
        QCOMPARE(boxes.size(), size_t(1));
        QCOMPARE(boxes[0].Text, std::string("'255.255.0' is not a valid IP address"));
        QVERIFY(orvex.Take().empty());
        QCOMPARE(w.Panel()->ShownDevice()->Info.Mask, std::string("255.255.0.0"));
    }

    void MalformedAddressesAreRefusedWithNothingStoredOrSent()
    {
        TListener orvex(57739);
        TListener hwg(9999);
        QVERIFY(orvex.Bound && hwg.Bound);
        TTestWindow w;
        Feed(w, OrvexDevice());
        orvex.Take(100);
        Ui::TPyxetForm* ui = w.ui();
        const TProductInfo before = w.Panel()->ShownDevice()->Info;
        const std::pair<QLineEdit*, QString> malformed[] = {
            {ui->teDeviceIP, QStringLiteral("10.77.1.5OO")},     // letter O
            {ui->teDeviceGateway, QStringLiteral("10..0.254")},  // an empty number
            {ui->teDeviceDNS1, QStringLiteral("10.77.0.")},      // no last number
            {ui->teDeviceMask, QStringLiteral("255.255.00.0")},  // a leading zero
            {ui->teDeviceIP, QString()},                         // DHCP off: an address is needed
        };
        for (const auto& [field, text] : malformed) {
            const QString shown = field->text();
            Type(field, text);
            if (text.isEmpty())
                field->clear();
            const size_t logged = w.Form->ActionLog.size();
            QTest::mouseClick(ui->btnConfigDevice, Qt::LeftButton);
            const auto boxes = Dialogs::TakeShownBoxes();
            QCOMPARE(boxes.size(), size_t(1));
            QVERIFY(boxes[0].Kind == Dialogs::TBoxKind::Error);
            QCOMPARE(boxes[0].Text, "'" + text.toStdString() + "' is not a valid IP address");
            QVERIFY2(orvex.Take().empty(), qPrintable(text));
            QCOMPARE(w.Form->ActionLog.size(), logged);
            const TProductInfo now = w.Panel()->ShownDevice()->Info;
            QVERIFY(now.IP == before.IP && now.Mask == before.Mask && now.Gateway == before.Gateway
                    && now.DNS1 == before.DNS1 && now.DNS2 == before.DNS2);
            QVERIFY(!w.Panel()->ShownDevice()->RestartNeeded);
            QVERIFY(ui->btnConfigDevice->isEnabled());
            field->setText(shown);
        }

        // Blanks around an address are removed: stored, sent and shown without them.
        Type(ui->teDeviceIP, QStringLiteral(" 10.77.1.6 "));
        Type(ui->teDeviceDNS2, QStringLiteral("  "));  // an empty name server goes out as 0.0.0.0
        QTest::mouseClick(ui->btnConfigDevice, Qt::LeftButton);
        QCOMPARE(Dialogs::TakeShownBoxes().size(), size_t(1));  // the restart question only
        const std::vector<Bytes> sent = orvex.Take();
        QCOMPARE(sent.size(), size_t(1));
        QCOMPARE(std::vector<uint8_t>(sent[0].begin() + 51, sent[0].begin() + 55), (Bytes{10, 77, 1, 6}));
        QCOMPARE(std::vector<uint8_t>(sent[0].begin() + 75, sent[0].begin() + 79), (Bytes{0, 0, 0, 0}));
        QCOMPARE(w.Panel()->ShownDevice()->Info.IP, std::string("10.77.1.6"));
        QCOMPARE(w.Panel()->ShownDevice()->Info.DNS2, std::string());
        QCOMPARE(ui->teDeviceIP->text(), QStringLiteral("10.77.1.6"));
        QVERIFY(!ui->btnConfigDevice->isEnabled());

        // An HWG device reads its addresses strictly, but stopped at the letter O all the same.
        TTestWindow v;
        Feed(v, HwgDevice());
        hwg.Take(100);
        Type(v.ui()->teDeviceIP, QStringLiteral("10.77.2.4O"));
        QTest::mouseClick(v.ui()->btnConfigDevice, Qt::LeftButton);
        const auto boxes = Dialogs::TakeShownBoxes();
        QCOMPARE(boxes.size(), size_t(1));
        QCOMPARE(boxes[0].Text, std::string("'10.77.2.4O' is not a valid IP address"));
        QVERIFY(hwg.Take().empty());
        QCOMPARE(v.Panel()->ShownDevice()->Info.IP, std::string("10.77.2.1"));
    }

    void ANameIsCutAfterAWholeCharacterAndItsFieldSaysSo()
    {
        TListener orvex(57739);
        QVERIFY(orvex.Bound);
        TTestWindow w;
        Feed(w, OrvexDevice());
        orvex.Take(100);
        const QString name = QStringLiteral("Kotelna u vchodu do skladu 12") + QString::fromUtf8("\u010D\u0159\u017E");
        w.ui()->teDeviceName->selectAll();
        w.ui()->teDeviceName->insert(name);  // key clicks take Latin-1 only
        QTest::mouseClick(w.ui()->btnConfigDevice, Qt::LeftButton);
        const std::vector<Bytes> sent = orvex.Take();
        QCOMPARE(sent.size(), size_t(1));
        QCOMPARE(std::string(sent[0].begin() + 16, sent[0].begin() + 48),
                 std::string("Kotelna u vchodu do skladu 12") + "\xC4\x8D" + std::string(1, '\0'));
        QCOMPARE(w.Panel()->ShownDevice()->Info.Name, name.toStdString());  // stored whole

        // The field's tool tip gives the limit and says that HWG devices do not take the name,
        // in English and in Czech.
        const QString tip = w.ui()->teDeviceName->toolTip();
        QVERIFY2(tip.contains(QString::number(Orvex::kNameBytes) + QStringLiteral(" bytes")), qPrintable(tip));
        QVERIFY2(tip.contains(QStringLiteral("HWG devices do not receive the name")), qPrintable(tip));
        UseLanguage("cs");
        const std::string czech = _(tip.toStdString().c_str());
        UseLanguage("en");
        QVERIFY2(czech != tip.toStdString(), czech.c_str());
        QVERIFY2(czech.find(std::to_string(Orvex::kNameBytes) + " bajt") != std::string::npos, czech.c_str());
        QVERIFY2(czech.find("HWG") != std::string::npos, czech.c_str());
    }

    void APortShowingNAIsPassedThrough()
    {
        TTestWindow w;
        Feed(w, HwgDevice());
        QCOMPARE(w.ui()->teTelnetPort->text(), QStringLiteral("N/A"));
        Type(w.ui()->teHTTPPort, QStringLiteral("81"));
        QTest::mouseClick(w.ui()->btnConfigDevice, Qt::LeftButton);
        const auto boxes = Dialogs::TakeShownBoxes();
        QCOMPARE(boxes.size(), size_t(1));
        QVERIFY(boxes[0].Kind == Dialogs::TBoxKind::Confirm);  // the apply question, no error
        QCOMPARE(w.Panel()->ShownDevice()->Info.TelnetPort, int16_t(-1));
        QCOMPARE(w.Panel()->ShownDevice()->Info.HTTPPort, int16_t(81));
    }

    void RestartAndFactoryDefault()
    {
        TListener orvex(57739);
        TTestWindow w;
        Feed(w, OrvexDevice());
        orvex.Take(100);
        Ui::TPyxetForm* ui = w.ui();

        Dialogs::QueueAnswer(false);
        size_t logged = w.Form->ActionLog.size();
        QTest::mouseClick(ui->btnRestartDevice, Qt::LeftButton);
        auto boxes = Dialogs::TakeShownBoxes();
        QCOMPARE(boxes.size(), size_t(1));
        QCOMPARE(boxes[0].Text, std::string("Restart device. Do you wish to continue?"));
        QVERIFY(orvex.Take().empty());
        QCOMPARE(w.Form->ActionLog.size(), logged);

        QTest::mouseClick(ui->btnRestartDevice, Qt::LeftButton);
        QCOMPARE(LogSince(w, logged), (QStringList{QStringLiteral("->> Sending Orvex UDP Restart to 255.255.255.255"),
                                                                 QStringLiteral("Restart Hall device from 10.77.1.5. Please wait.")}));
        logged = w.Form->ActionLog.size();
        QTest::mouseClick(ui->btnSetDefault, Qt::LeftButton);
        boxes = Dialogs::TakeShownBoxes();
        QCOMPARE(boxes.size(), size_t(2));
        QCOMPARE(boxes[1].Text, std::string("Set device to default factory configuration.\nDo you wish to continue?"));
        QCOMPARE(LogSince(w, logged),
                 (QStringList{QStringLiteral("->> Sending Orvex UDP Default to 255.255.255.255"),
                                           QStringLiteral("Setting Hall device from 10.77.1.5 to factory default. Please wait.")}));
        const std::vector<Bytes> sent = orvex.Take();
        QCOMPARE(sent.size(), size_t(2));
        QCOMPARE(int(sent[0][14]), 1);
        QCOMPARE(int(sent[1][14]), 2);
        QCOMPARE(w.Form->StatusPanels[0]->text(), QStringLiteral("Set Default Factory"));
    }

    void AClickOnTheHighlightedRowShowsItAgain()
    {
        TTestWindow w;
        w.Add({.Name = "First", .MAC = "00:0A:59:00:00:01", .PeerIP = "10.0.0.1"});
        w.Add({.Name = "Second", .MAC = "00:0A:59:00:00:02", .PeerIP = "10.0.0.2"});
        Ui::TPyxetForm* ui = w.ui();
        QTableView* list = w.List();
        const auto click = [list](int r) {
            QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualRect(list->model()->index(r, 0)).center());
        };
        click(1);
        const int row = w.HighlightedRow();
        QCOMPARE(row, 1);
        const QString name = ui->teDeviceName->text();
        Type(ui->teDeviceName, QStringLiteral("Edited"));
        Type(ui->teDeviceIP, QStringLiteral("1.2.3.4"));
        QVERIFY(ui->btnConfigDevice->isEnabled());
        click(row);
        QCOMPARE(ui->teDeviceName->text(), name);
        QCOMPARE(ui->teDeviceIP->text(), QStringLiteral("10.0.0.%1").arg(row + 1));
        QVERIFY(!ui->btnConfigDevice->isEnabled());

        // A click on another row shows that one, once (a missing picture is reported once).
        const int other = 1 - row;
        click(other);
        QCOMPARE(w.HighlightedRow(), other);
        QCOMPARE(ui->teDeviceIP->text(), QStringLiteral("10.0.0.%1").arg(other + 1));
        QVERIFY(Dialogs::TakeShownBoxes().empty());
        w.Add({.TypeCode = 3, .Name = "No picture", .MAC = "00:0A:59:00:00:03", .PeerIP = "10.0.0.3"});
        int third = -1;
        for (int r = 0; r < list->model()->rowCount(); ++r)
            if (w.Names()[r] == QStringLiteral("No picture"))
                third = r;
        click(third);
        QCOMPARE(Dialogs::TakeShownBoxes().size(), size_t(1));
    }

    void EachFieldStandsInItsOwnColumn()
    {
        for (const char* lang : {"en", "cs"}) {
            TTestWindow w;
            w.Form->Settings.Language = lang;
            UseLanguage(lang);
            // The language menu retranslates the header.
            QMetaObject::invokeMethod(lang == std::string("cs") ? w.ui()->CzechLang : w.ui()->EnglishLang, "trigger");
            w.Add({.Name = "Device", .MAC = "00:0A:59:00:00:01", .PeerIP = "10.0.0.1", .FirmwareRev = "2.5"});
            QTableView* list = w.List();
            QHeaderView* header = w.Header();
            const QStringList captions = lang == std::string("cs")
                ? QStringList{QStringLiteral("Typ"), QStringLiteral("Název"), QStringLiteral("MAC"), QStringLiteral("IP"),
                              QStringLiteral("Verze firmwaru")}
                : QStringList{QStringLiteral("Type"), QStringLiteral("Name"), QStringLiteral("MAC"), QStringLiteral("IP"),
                              QStringLiteral("Firmware Rev.")};
            const QStringList fields = {QStringLiteral("Poseidon 2261"), QStringLiteral("Device"),
                                        QStringLiteral("00:0A:59:00:00:01"), QStringLiteral("10.0.0.1"),
                                        QStringLiteral("2.5")};
            QCOMPARE(list->model()->columnCount(), 5);
            for (int c = 0; c < 5; ++c) {
                QCOMPARE(list->model()->headerData(c, Qt::Horizontal).toString(), captions[c]);
                QCOMPARE(list->model()->index(0, c).data().toString(), fields[c]);
                // The cell stands under its section, the next one right of it.
                const QRect cell = list->visualRect(list->model()->index(0, c));
                QCOMPARE(cell.left(), header->sectionViewportPosition(c));
                if (c > 0)
                    QVERIFY(cell.left() > list->visualRect(list->model()->index(0, c - 1)).left());
            }
            // Only the first column carries the check mark.
            QVERIFY(list->model()->index(0, 0).flags() & Qt::ItemIsUserCheckable);
            QVERIFY(!(list->model()->index(0, 1).flags() & Qt::ItemIsUserCheckable));
        }
        UseLanguage("en");
    }

    void TheAllBoxIsTwoStateFromTheStart()
    {
        TTestWindow w({QStringLiteral("-demo")});
        QCheckBox* all = w.ui()->AllChecked;
        QVERIFY(!all->isTristate());
        QTest::mouseClick(all, Qt::LeftButton);
        QCOMPARE(all->checkState(), Qt::Checked);
        QTest::mouseClick(all, Qt::LeftButton);
        QCOMPARE(all->checkState(), Qt::Unchecked);
    }
};

QTEST_MAIN(TestSetupPanel)
#include "test_setuppanel.moc"
