// The setup panel of the real main window against the simulated devices (run inside
// scripts/lab.sh by test_window_setup.sh, offscreen, every box answered Yes): a new name, address
// and ports for an Orvex and an HWG device, an Orvex restart (silent, then back), factory
// defaults of both families, and the Orvex answers after a factory default. Everything is checked
// by rediscovery in the window and in the simulator's events file.
#include "../gui/controls.h"
#include "gui/app/dialogs.h"
#include "gui/app/devicelistpanel.h"
#include "gui/app/form.h"
#include "ui_form.h"

#include "core/app/i18n.h"
#include "core/devices/udpserver.h"
#include "core/protocols/orvex/discovery.h"

#include <QElapsedTimer>
#include <QTableView>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

namespace {

void Pump(int ms)
{
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < ms)
        QApplication::processEvents(QEventLoop::AllEvents, 20);
}

// Waits until the action log holds a line ending in text (or the time is up).
bool WaitForLine(const TPyxetForm& form, const std::string& text, int ms = 3000)
{
    QElapsedTimer timer;
    timer.start();
    for (;;) {
        for (const TLogLine& line : form.ActionLog)
            if (line.Text.size() >= text.size() && line.Text.compare(line.Text.size() - text.size(), text.size(), text) == 0)
                return true;
        if (timer.elapsed() > ms)
            return false;
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    }
}

// The questions asked since the last call.
size_t Questions()
{
    size_t n = 0;
    for (const Dialogs::TShownBox& box : Dialogs::TakeShownBoxes())
        n += box.Kind == Dialogs::TBoxKind::Confirm;
    return n;
}

int CountLines(const TPyxetForm& form, const std::string& text)
{
    int n = 0;
    for (const TLogLine& line : form.ActionLog)
        n += line.Text.find(text) != std::string::npos;
    return n;
}

QList<QJsonObject> Events()
{
    QList<QJsonObject> events;
    QFile file(qEnvironmentVariable("PYXET_LAB_EVENTS"));
    if (!file.open(QIODevice::ReadOnly))
        return events;
    for (const QByteArray& line : file.readAll().split('\n'))
        if (!line.trimmed().isEmpty())
            events << QJsonDocument::fromJson(line).object();
    return events;
}

// The commands (not the info requests) a device received.
QList<QJsonObject> Commands(const QString& mac)
{
    QList<QJsonObject> found;
    for (const QJsonObject& e : Events())
        if (e.value(QStringLiteral("event")) == QStringLiteral("request") && e.value(QStringLiteral("device")) == mac
            && e.value(QStringLiteral("kind")) != QStringLiteral("info"))
            found << e;
    return found;
}

} // namespace

class TestWindowSetup : public QObject {
    Q_OBJECT

    QTemporaryDir Dir;
    std::unique_ptr<TPyxetForm> Form;

    // Shows the device with this MAC address as the user does, by a click on its row.
    TProduct* Select(const std::string& mac)
    {
        QTableView* list = Control<QTableView>(*Form, "DeviceListBox");
        for (int row = 0; row < list->model()->rowCount(); ++row) {
            const auto* device =
                reinterpret_cast<TProduct*>(list->model()->index(row, 0).data(Qt::UserRole + 1).value<quintptr>());
            if (device->Info.MAC != mac)
                continue;
            list->scrollTo(list->model()->index(row, 0));
            QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualRect(list->model()->index(row, 0)).center());
            Dialogs::TakeShownBoxes();  // the program folder has no device pictures
            return Form->findChild<TDeviceListPanel*>(QStringLiteral("DeviceListPanel"))->ShownDevice();
        }
        return nullptr;
    }
    const TProduct* Listed(const std::string& mac) const
    {
        for (const TDeviceEntry& entry : Form->Devices.DeviceList())
            if (entry.Device->Info.MAC == mac)
                return entry.Device.get();
        return nullptr;
    }
    void Rediscover(int ms = 1200)
    {
        Form->acFindExecute();
        Pump(ms);
    }
    static void Type(QLineEdit* field, const QString& text)
    {
        field->selectAll();
        QTest::keyClicks(field, text);
    }

private slots:
    void initTestCase()
    {
        InitTranslation(PYXET_BIN_DIR "/");
        Dialogs::SetAutomatic(true);
        QFile ini(Dir.path() + QStringLiteral("/Pyxet.ini"));
        QVERIFY(ini.open(QIODevice::WriteOnly));
        ini.write("[Setup]\nLang=en\n[Logs]\nTime=0\n");
        ini.close();
        Form = std::make_unique<TPyxetForm>(QStringList{}, Dir.path().toStdString() + "/");
        Form->show();
        QVERIFY(QTest::qWaitForWindowExposed(Form.get()));
        Pump(1200);
        QCOMPARE(Form->Devices.DeviceList().size(), size_t(5));
    }

    void ApplyReachesAnOrvexDevice()
    {
        QVERIFY(Select("00:0A:14:00:02:01"));
        Type(Control<QLineEdit>(*Form, "teDeviceName"), QStringLiteral("Hall East"));
        Type(Control<QLineEdit>(*Form, "teDeviceIP"), QStringLiteral("10.77.6.41"));
        Type(Control<QLineEdit>(*Form, "teHTTPPort"), QStringLiteral("8081"));
        Type(Control<QLineEdit>(*Form, "teTelnetPort"), QStringLiteral("2323"));
        QVERIFY(Control<QPushButton>(*Form, "btnConfigDevice")->isEnabled());
        QTest::mouseClick(Control<QPushButton>(*Form, "btnConfigDevice"), Qt::LeftButton);
        QCOMPARE(Questions(), size_t(1));  // the restart question, answered Yes
        QVERIFY(!Control<QPushButton>(*Form, "btnConfigDevice")->isEnabled());
        QVERIFY(WaitForLine(*Form, "Reconfiguring 10.77.6.41 device. Please wait."));
        QVERIFY(WaitForLine(*Form, "Device Hall East from 10.77.6.1 was reconfigured"));
        const QList<QJsonObject> commands = Commands(QStringLiteral("00:0A:14:00:02:01"));
        QCOMPARE(commands.size(), 1);
        QCOMPARE(commands[0].value(QStringLiteral("outcome")).toString(), QStringLiteral("done"));
        QCOMPARE(commands[0].value(QStringLiteral("action")).toInt(), 1);
    }

    void ApplyReachesAnHwgDevice()
    {
        QVERIFY(Select("00:0A:59:00:02:01"));
        Type(Control<QLineEdit>(*Form, "teDeviceIP"), QStringLiteral("10.77.7.41"));
        Type(Control<QLineEdit>(*Form, "teDeviceGateway"), QStringLiteral("10.77.7.254"));
        Type(Control<QLineEdit>(*Form, "teHTTPPort"), QStringLiteral("81"));
        QTest::mouseClick(Control<QPushButton>(*Form, "btnConfigDevice"), Qt::LeftButton);
        QCOMPARE(Questions(), size_t(1));
        Pump(300);
        const QList<QJsonObject> commands = Commands(QStringLiteral("00:0A:59:00:02:01"));
        QCOMPARE(commands.size(), 1);
        QCOMPARE(commands[0].value(QStringLiteral("outcome")).toString(), QStringLiteral("done"));
        QVERIFY(commands[0].value(QStringLiteral("authentic")).toBool());
        QVERIFY(commands[0].value(QStringLiteral("filler_intact")).toBool());
    }

    void RestartMakesAnOrvexDeviceSilentThenBack()
    {
        QVERIFY(Select("00:0A:14:00:02:02"));
        QTest::mouseClick(Control<QPushButton>(*Form, "btnRestartDevice"), Qt::LeftButton);
        QCOMPARE(Questions(), size_t(1));
        QVERIFY(WaitForLine(*Form, "Restart Boiler device from 10.77.6.2. Please wait."));
        QVERIFY(WaitForLine(*Form, "Device from 10.77.6.2 was restarted"));
        Rediscover(600);
        QVERIFY(!Listed("00:0A:14:00:02:02"));
        Pump(1500);
        Rediscover(600);
        QVERIFY(Listed("00:0A:14:00:02:02"));
    }

    void FactoryDefaultsAndTheAnswersAfterThem()
    {
        QVERIFY(Select("00:0A:14:00:02:03"));
        QTest::mouseClick(Control<QPushButton>(*Form, "btnSetDefault"), Qt::LeftButton);
        QCOMPARE(Questions(), size_t(1));
        QVERIFY(WaitForLine(*Form, "Device from 10.77.6.3 was set to default factory"));

        // Info answers that reach the window's endpoint now are discovery's, not the command's.
        const size_t listed = Form->Devices.DeviceList().size();
        SendOrvexInfoRequest(*Form->OrvexServer);
        Pump(500);
        QCOMPARE(CountLines(*Form, "was set to default factory"), 1);
        QVERIFY(CountLines(*Form, "Found Boiler device at 10.77.6.2") >= 2);
        QCOMPARE(Form->Devices.DeviceList().size(), listed);  // the same lines, kept once

        QVERIFY(Select("00:0A:59:00:02:02"));
        QTest::mouseClick(Control<QPushButton>(*Form, "btnSetDefault"), Qt::LeftButton);
        QCOMPARE(Questions(), size_t(1));
        Pump(300);
        const QList<QJsonObject> commands = Commands(QStringLiteral("00:0A:59:00:02:02"));
        QCOMPARE(commands.size(), 1);
        QVERIFY(commands[0].value(QStringLiteral("authentic")).toBool());
        QVERIFY(commands[0].value(QStringLiteral("filler_intact")).toBool());
        Pump(600);  // its restart

        // An apply on the same device object afterwards is an update, not a second reset (the
        // panel still shows the values from before the reset, and they are what it sends).
        Type(Control<QLineEdit>(*Form, "teHTTPPort"), QStringLiteral("8088"));
        QTest::mouseClick(Control<QPushButton>(*Form, "btnConfigDevice"), Qt::LeftButton);
        QCOMPARE(Questions(), size_t(1));
        Pump(300);
        QStringList causes;
        QJsonObject reset;
        for (const QJsonObject& e : Events())
            if (e.value(QStringLiteral("event")) == QStringLiteral("state")
                && e.value(QStringLiteral("device")) == QStringLiteral("00:0A:59:00:02:02")) {
                causes << e.value(QStringLiteral("cause")).toString();
                if (causes.size() == 1)
                    reset = e.value(QStringLiteral("setup")).toObject();
            }
        QCOMPARE(causes, (QStringList{QStringLiteral("factory_default"), QStringLiteral("command")}));
        QCOMPARE(reset.value(QStringLiteral("ip")).toString(), QStringLiteral("10.77.7.20"));
        QCOMPARE(reset.value(QStringLiteral("http_port")).toInt(), 80);
    }

    void RediscoveryShowsTheNewValues()
    {
        Pump(1500);  // the restarts of the last commands
        Rediscover();
        const TProduct* hall = Listed("00:0A:14:00:02:01");
        QVERIFY(hall);
        QCOMPARE(hall->Info.Name, std::string("Hall East"));
        QCOMPARE(hall->Info.IP, std::string("10.77.6.41"));
        QCOMPARE(hall->Info.HTTPPort, int16_t(8081));
        QCOMPARE(hall->Info.TelnetPort, int16_t(2323));
        const TProduct* poseidon = Listed("00:0A:59:00:02:01");
        QVERIFY(poseidon);
        QCOMPARE(poseidon->Info.IP, std::string("10.77.7.41"));
        QCOMPARE(poseidon->Info.Gateway, std::string("10.77.7.254"));
        QCOMPARE(poseidon->Info.HTTPPort, int16_t(81));
        const TProduct* shop = Listed("00:0A:14:00:02:03");
        QVERIFY(shop);
        QCOMPARE(shop->Info.Name, std::string("Orvex factory"));
        QCOMPARE(shop->Info.HTTPPort, int16_t(80));
        const TProduct* damocles = Listed("00:0A:59:00:02:02");
        QVERIFY(damocles);
        QCOMPARE(damocles->Info.IP, std::string("10.77.7.2"));
        QCOMPARE(damocles->Info.HTTPPort, int16_t(8088));  // the update after the reset
    }

    void cleanupTestCase() { Form.reset(); }
};

QTEST_MAIN(TestWindowSetup)
#include "window_setup.moc"
