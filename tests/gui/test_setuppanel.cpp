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
        Type(Control<QLineEdit>(w.Main(), "teDeviceName"), QStringLiteral("Something"));
        Type(Control<QLineEdit>(w.Main(), "teHTTPPort"), QStringLiteral("81"));
        Control<QCheckBox>(w.Main(), "chbDhcp")->click();
        QVERIFY(Control<QCheckBox>(w.Main(), "chbDhcp")->isChecked());
        QVERIFY(!Control<QPushButton>(w.Main(), "btnConfigDevice")->isEnabled());
        QVERIFY(!Locked(Control<QLineEdit>(w.Main(), "teDeviceIP")));  // "Enable" locks nothing in demonstration mode
        QVERIFY(!Locked(Control<QLineEdit>(w.Main(), "teDeviceDNS1")));

        // The two command buttons are enabled without a device: a click asks and sends nothing.
        QVERIFY(Control<QPushButton>(w.Main(), "btnRestartDevice")->isEnabled());
        QVERIFY(Control<QPushButton>(w.Main(), "btnSetDefault")->isEnabled());
        const size_t logged = w.Form->ActionLog.size();
        QTest::mouseClick(Control<QPushButton>(w.Main(), "btnRestartDevice"), Qt::LeftButton);
        QTest::mouseClick(Control<QPushButton>(w.Main(), "btnSetDefault"), Qt::LeftButton);
        QVERIFY(Dialogs::TakeShownBoxes().empty());
        QCOMPARE(w.Form->ActionLog.size(), logged);
    }

    void EditsEnableApplyFieldByField()
    {
        TTestWindow w;
        Feed(w, OrvexDevice());
        QVERIFY(!Control<QPushButton>(w.Main(), "btnConfigDevice")->isEnabled());
        Type(Control<QLineEdit>(w.Main(), "teDeviceIP"), QStringLiteral("10.77.1.50"));
        QVERIFY(Control<QPushButton>(w.Main(), "btnConfigDevice")->isEnabled());
        Type(Control<QLineEdit>(w.Main(), "teDeviceName"), QStringLiteral("Hall"));  // the last edited field decides
        QVERIFY(!Control<QPushButton>(w.Main(), "btnConfigDevice")->isEnabled());
        Type(Control<QLineEdit>(w.Main(), "teHTTPPort"), QStringLiteral("080"));
        QVERIFY(Control<QPushButton>(w.Main(), "btnConfigDevice")->isEnabled());
        Type(Control<QLineEdit>(w.Main(), "teHTTPPort"), QStringLiteral("80"));
        QVERIFY(!Control<QPushButton>(w.Main(), "btnConfigDevice")->isEnabled());

        // Checking "Enable" on a device that has DHCP on ends disabled; on one with 2 it differs.
        TTestWindow v;
        Feed(v, OrvexDevice("Dhcp", 2));
        QVERIFY(Control<QCheckBox>(v.Main(), "chbDhcp")->isChecked());
        Control<QCheckBox>(v.Main(), "chbDhcp")->click();
        Control<QCheckBox>(v.Main(), "chbDhcp")->click();
        QVERIFY(Control<QPushButton>(v.Main(), "btnConfigDevice")->isEnabled());
    }

    void DhcpLocksTheAddressesButNotANameServerShowingNA()
    {
        TTestWindow w;
        Feed(w, HwgDevice());
        QCOMPARE(Control<QLineEdit>(w.Main(), "teDeviceDNS1")->text(), QStringLiteral("N/A"));
        QVERIFY(Locked(Control<QLineEdit>(w.Main(), "teDeviceDNS1")));
        QVERIFY(!Control<QCheckBox>(w.Main(), "chbDhcp")->isChecked());
        Control<QCheckBox>(w.Main(), "chbDhcp")->click();
        for (QLineEdit* field : {Control<QLineEdit>(w.Main(), "teDeviceIP"), Control<QLineEdit>(w.Main(), "teDeviceMask"), Control<QLineEdit>(w.Main(), "teDeviceGateway")})
            QVERIFY(Locked(field));
        Control<QCheckBox>(w.Main(), "chbDhcp")->click();
        for (QLineEdit* field : {Control<QLineEdit>(w.Main(), "teDeviceIP"), Control<QLineEdit>(w.Main(), "teDeviceMask"), Control<QLineEdit>(w.Main(), "teDeviceGateway")})
            QVERIFY(!Locked(field));
        QVERIFY(Locked(Control<QLineEdit>(w.Main(), "teDeviceDNS1")));  // "N/A" keeps its look both ways
        QVERIFY(Locked(Control<QLineEdit>(w.Main(), "teDeviceDNS2")));

        // An Orvex device with one name server "N/A": the other one follows the box.
        TTestWindow v;
        auto orvex = OrvexDevice();
        orvex->Info.DNS1 = "N/A";
        Feed(v, std::move(orvex));
        QVERIFY(!Locked(Control<QLineEdit>(v.Main(), "teDeviceDNS2")));
        Control<QCheckBox>(v.Main(), "chbDhcp")->click();
        QVERIFY(Locked(Control<QLineEdit>(v.Main(), "teDeviceIP")));
        QVERIFY(Locked(Control<QLineEdit>(v.Main(), "teDeviceDNS2")));
        Control<QCheckBox>(v.Main(), "chbDhcp")->click();
        QVERIFY(!Locked(Control<QLineEdit>(v.Main(), "teDeviceDNS2")));
        QVERIFY(Locked(Control<QLineEdit>(v.Main(), "teDeviceDNS1")));
    }

    void ApplyAsksOnlyWhenARestartIsNeeded()
    {
        TListener orvex(57739);
        QVERIFY(orvex.Bound);
        TTestWindow w;
        Feed(w, OrvexDevice());
        orvex.Take(100);

        const QString filed = w.Model()->index(0, 1).data().toString();
        QVERIFY(!filed.isEmpty() && filed != QStringLiteral("Hall East"));
        Type(Control<QLineEdit>(w.Main(), "teDeviceName"), QStringLiteral("Hall East"));
        size_t logged = w.Form->ActionLog.size();
        QTest::mouseClick(Control<QPushButton>(w.Main(), "btnConfigDevice"), Qt::LeftButton);
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
        QVERIFY(!Control<QPushButton>(w.Main(), "btnConfigDevice")->isEnabled());

        // A new gateway: asked; No keeps the button and sends nothing; a second click asks again.
        Type(Control<QLineEdit>(w.Main(), "teDeviceGateway"), QStringLiteral("10.77.0.1"));
        Dialogs::QueueAnswer(false);
        logged = w.Form->ActionLog.size();
        QTest::mouseClick(Control<QPushButton>(w.Main(), "btnConfigDevice"), Qt::LeftButton);
        auto boxes = Dialogs::TakeShownBoxes();
        QCOMPARE(boxes.size(), size_t(1));
        QCOMPARE(boxes[0].Text, std::string(kApplyQuestion));
        QVERIFY(orvex.Take().empty());
        QCOMPARE(w.Form->ActionLog.size(), logged);
        QVERIFY(Control<QPushButton>(w.Main(), "btnConfigDevice")->isEnabled());
        QTest::mouseClick(Control<QPushButton>(w.Main(), "btnConfigDevice"), Qt::LeftButton);  // answered Yes
        QCOMPARE(Dialogs::TakeShownBoxes().size(), size_t(1));
        sent = orvex.Take();
        QCOMPARE(sent.size(), size_t(1));
        QCOMPARE(int(sent[0][93]), 1);
        QCOMPARE(std::vector<uint8_t>(sent[0].begin() + 63, sent[0].begin() + 67), (Bytes{10, 77, 0, 1}));
        QVERIFY(!Control<QPushButton>(w.Main(), "btnConfigDevice")->isEnabled());
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

        QVERIFY(
            LogSince(w, logged).contains(QStringLiteral("Found ") + shown + QStringLiteral(" device at 10.77.1.5")));
        QVERIFY2(w.Model()->Line(0).find(name) != std::string::npos, "the line of the stored texts");
        const QString row = w.Model()->index(0, 0).data(TDeviceListModel::LineRole).toString();
        QVERIFY2(row.contains(shown), qPrintable(row));
        QVERIFY(!row.contains(QChar(0x1B)) && !row.contains(QLatin1Char('\n')) && !row.contains(QChar(0x202E)));
        QCOMPARE(w.Model()->index(0, 1).data(Qt::DisplayRole).toString(), shown);  // the name's own cell

        QCOMPARE(Control<QLineEdit>(w.Main(), "teDeviceName")->text(), shown);
        QVERIFY(!Control<QPushButton>(w.Main(), "btnConfigDevice")->isEnabled());
        Type(Control<QLineEdit>(w.Main(), "teDeviceName"), QStringLiteral("Other"));
        QVERIFY(Control<QPushButton>(w.Main(), "btnConfigDevice")->isEnabled());
        Type(Control<QLineEdit>(w.Main(), "teDeviceName"), shown);
        QVERIFY2(!Control<QPushButton>(w.Main(), "btnConfigDevice")->isEnabled(), "typed back as shown: unchanged");

        // Another field changed, the name field untouched: the device's own bytes go out.
        Type(Control<QLineEdit>(w.Main(), "teDeviceDNS2"), QStringLiteral("10.77.0.2"));
        QVERIFY(Control<QPushButton>(w.Main(), "btnConfigDevice")->isEnabled());
        QTest::mouseClick(Control<QPushButton>(w.Main(), "btnConfigDevice"), Qt::LeftButton);
        Dialogs::TakeShownBoxes();
        std::vector<Bytes> sent = orvex.Take();
        QCOMPARE(sent.size(), size_t(1));
        QCOMPARE(std::string(sent[0].begin() + 16, sent[0].begin() + 16 + long(name.size())), name);
        QCOMPARE(int(sent[0][16 + name.size()]), 0);
        QCOMPARE(w.Panel()->ShownDevice()->CopyInfo().Name, name);

        // An edited name is sent as typed, a backslash as one backslash.
        Type(Control<QLineEdit>(w.Main(), "teDeviceName"), QStringLiteral("New\\x0A"));
        QTest::mouseClick(Control<QPushButton>(w.Main(), "btnConfigDevice"), Qt::LeftButton);
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
        Type(Control<QLineEdit>(w.Main(), "teDeviceIP"), QStringLiteral("10.77.2.40"));
        QTest::mouseClick(Control<QPushButton>(w.Main(), "btnConfigDevice"), Qt::LeftButton);
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
        Type(Control<QLineEdit>(w.Main(), "teHTTPPort"), QStringLiteral("xyz"));
        Type(Control<QLineEdit>(w.Main(), "teTelnetPort"), QStringLiteral("abc"));
        QTest::mouseClick(Control<QPushButton>(w.Main(), "btnConfigDevice"), Qt::LeftButton);
        auto boxes = Dialogs::TakeShownBoxes();
        QCOMPARE(boxes.size(), size_t(1));
        QVERIFY(boxes[0].Kind == Dialogs::TBoxKind::Error);
        QCOMPARE(boxes[0].Text, std::string("'abc' is not a valid integer value"));
        QVERIFY(Control<QPushButton>(w.Main(), "btnConfigDevice")->isEnabled());

        // 65536 is stored (and shown, after selecting the device again) as 0.
        Type(Control<QLineEdit>(w.Main(), "teTelnetPort"), QStringLiteral("23"));
        Type(Control<QLineEdit>(w.Main(), "teHTTPPort"), QStringLiteral("65536"));
        QTest::mouseClick(Control<QPushButton>(w.Main(), "btnConfigDevice"), Qt::LeftButton);
        QVERIFY(Dialogs::TakeShownBoxes().empty());
        const std::vector<Bytes> sent = orvex.Take();
        QCOMPARE(sent.size(), size_t(1));
        QCOMPARE(std::vector<uint8_t>(sent[0].begin() + 84, sent[0].begin() + 86), (Bytes{0, 0}));
        QCOMPARE(w.Panel()->ShownDevice()->Info.HTTPPort, int16_t(0));

        // A malformed address in a field the request carries is refused, naming the text.
        Type(Control<QLineEdit>(w.Main(), "teDeviceMask"), QStringLiteral("255.255.0"));
        QTest::mouseClick(Control<QPushButton>(w.Main(), "btnConfigDevice"), Qt::LeftButton);
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
        const TProductInfo before = w.Panel()->ShownDevice()->Info;
        const std::pair<QLineEdit*, QString> malformed[] = {
            {Control<QLineEdit>(w.Main(), "teDeviceIP"), QStringLiteral("10.77.1.5OO")},     // letter O
            {Control<QLineEdit>(w.Main(), "teDeviceGateway"), QStringLiteral("10..0.254")},  // an empty number
            {Control<QLineEdit>(w.Main(), "teDeviceDNS1"), QStringLiteral("10.77.0.")},      // no last number
            {Control<QLineEdit>(w.Main(), "teDeviceMask"), QStringLiteral("255.255.00.0")},  // a leading zero
            {Control<QLineEdit>(w.Main(), "teDeviceIP"), QString()},                         // DHCP off: an address is needed
        };
        for (const auto& [field, text] : malformed) {
            const QString shown = field->text();
            Type(field, text);
            if (text.isEmpty())
                field->clear();
            const size_t logged = w.Form->ActionLog.size();
            QTest::mouseClick(Control<QPushButton>(w.Main(), "btnConfigDevice"), Qt::LeftButton);
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
            QVERIFY(Control<QPushButton>(w.Main(), "btnConfigDevice")->isEnabled());
            field->setText(shown);
        }

        // Blanks around an address are removed: stored, sent and shown without them.
        Type(Control<QLineEdit>(w.Main(), "teDeviceIP"), QStringLiteral(" 10.77.1.6 "));
        Type(Control<QLineEdit>(w.Main(), "teDeviceDNS2"), QStringLiteral("  "));  // an empty name server goes out as 0.0.0.0
        QTest::mouseClick(Control<QPushButton>(w.Main(), "btnConfigDevice"), Qt::LeftButton);
        QCOMPARE(Dialogs::TakeShownBoxes().size(), size_t(1));  // the restart question only
        const std::vector<Bytes> sent = orvex.Take();
        QCOMPARE(sent.size(), size_t(1));
        QCOMPARE(std::vector<uint8_t>(sent[0].begin() + 51, sent[0].begin() + 55), (Bytes{10, 77, 1, 6}));
        QCOMPARE(std::vector<uint8_t>(sent[0].begin() + 75, sent[0].begin() + 79), (Bytes{0, 0, 0, 0}));
        QCOMPARE(w.Panel()->ShownDevice()->Info.IP, std::string("10.77.1.6"));
        QCOMPARE(w.Panel()->ShownDevice()->Info.DNS2, std::string());
        QCOMPARE(Control<QLineEdit>(w.Main(), "teDeviceIP")->text(), QStringLiteral("10.77.1.6"));
        QVERIFY(!Control<QPushButton>(w.Main(), "btnConfigDevice")->isEnabled());

        // An HWG device reads its addresses strictly, but stopped at the letter O all the same.
        TTestWindow v;
        Feed(v, HwgDevice());
        hwg.Take(100);
        Type(Control<QLineEdit>(v.Main(), "teDeviceIP"), QStringLiteral("10.77.2.4O"));
        QTest::mouseClick(Control<QPushButton>(v.Main(), "btnConfigDevice"), Qt::LeftButton);
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
        Control<QLineEdit>(w.Main(), "teDeviceName")->selectAll();
        Control<QLineEdit>(w.Main(), "teDeviceName")->insert(name);  // key clicks take Latin-1 only
        QTest::mouseClick(Control<QPushButton>(w.Main(), "btnConfigDevice"), Qt::LeftButton);
        const std::vector<Bytes> sent = orvex.Take();
        QCOMPARE(sent.size(), size_t(1));
        QCOMPARE(std::string(sent[0].begin() + 16, sent[0].begin() + 48),
                 std::string("Kotelna u vchodu do skladu 12") + "\xC4\x8D" + std::string(1, '\0'));
        QCOMPARE(w.Panel()->ShownDevice()->Info.Name, name.toStdString());  // stored whole

        // The field's tool tip gives the limit and says that HWG devices do not take the name,
        // in English and in Czech.
        const QString tip = Control<QLineEdit>(w.Main(), "teDeviceName")->toolTip();
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
        QCOMPARE(Control<QLineEdit>(w.Main(), "teTelnetPort")->text(), QStringLiteral("N/A"));
        Type(Control<QLineEdit>(w.Main(), "teHTTPPort"), QStringLiteral("81"));
        QTest::mouseClick(Control<QPushButton>(w.Main(), "btnConfigDevice"), Qt::LeftButton);
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

        Dialogs::QueueAnswer(false);
        size_t logged = w.Form->ActionLog.size();
        QTest::mouseClick(Control<QPushButton>(w.Main(), "btnRestartDevice"), Qt::LeftButton);
        auto boxes = Dialogs::TakeShownBoxes();
        QCOMPARE(boxes.size(), size_t(1));
        QCOMPARE(boxes[0].Text, std::string("Restart device. Do you wish to continue?"));
        QVERIFY(orvex.Take().empty());
        QCOMPARE(w.Form->ActionLog.size(), logged);

        QTest::mouseClick(Control<QPushButton>(w.Main(), "btnRestartDevice"), Qt::LeftButton);
        QCOMPARE(LogSince(w, logged), (QStringList{QStringLiteral("->> Sending Orvex UDP Restart to 255.255.255.255"),
                                                                 QStringLiteral("Restart Hall device from 10.77.1.5. Please wait.")}));
        logged = w.Form->ActionLog.size();
        QTest::mouseClick(Control<QPushButton>(w.Main(), "btnSetDefault"), Qt::LeftButton);
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
        QCOMPARE(Control<TStatusPanel>(*w.Form, "StatusPanel0")->text(), QStringLiteral("Set Default Factory"));
    }

    void AClickOnTheHighlightedRowShowsItAgain()
    {
        TTestWindow w;
        w.Add({.Name = "First", .MAC = "00:0A:59:00:00:01", .PeerIP = "10.0.0.1"});
        w.Add({.Name = "Second", .MAC = "00:0A:59:00:00:02", .PeerIP = "10.0.0.2"});
        QTableView* list = w.List();
        const auto click = [list](int r) {
            QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualRect(list->model()->index(r, 0)).center());
        };
        click(1);
        const int row = w.HighlightedRow();
        QCOMPARE(row, 1);
        const QString name = Control<QLineEdit>(w.Main(), "teDeviceName")->text();
        Type(Control<QLineEdit>(w.Main(), "teDeviceName"), QStringLiteral("Edited"));
        Type(Control<QLineEdit>(w.Main(), "teDeviceIP"), QStringLiteral("1.2.3.4"));
        QVERIFY(Control<QPushButton>(w.Main(), "btnConfigDevice")->isEnabled());
        click(row);
        QCOMPARE(Control<QLineEdit>(w.Main(), "teDeviceName")->text(), name);
        QCOMPARE(Control<QLineEdit>(w.Main(), "teDeviceIP")->text(), QStringLiteral("10.0.0.%1").arg(row + 1));
        QVERIFY(!Control<QPushButton>(w.Main(), "btnConfigDevice")->isEnabled());

        // A click on another row shows that one, once (a missing picture is reported once).
        const int other = 1 - row;
        click(other);
        QCOMPARE(w.HighlightedRow(), other);
        QCOMPARE(Control<QLineEdit>(w.Main(), "teDeviceIP")->text(), QStringLiteral("10.0.0.%1").arg(other + 1));
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
            QMetaObject::invokeMethod(lang == std::string("cs") ? Control<QAction>(w.Main(), "CzechLang") : Control<QAction>(w.Main(), "EnglishLang"), "trigger");
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
        QCheckBox* all = Control<QCheckBox>(w.Main(), "AllChecked");
        QVERIFY(!all->isTristate());
        QTest::mouseClick(all, Qt::LeftButton);
        QCOMPARE(all->checkState(), Qt::Checked);
        QTest::mouseClick(all, Qt::LeftButton);
        QCOMPARE(all->checkState(), Qt::Unchecked);
    }
};

QTEST_MAIN(TestSetupPanel)
#include "test_setuppanel.moc"
