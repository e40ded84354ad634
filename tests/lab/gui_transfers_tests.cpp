// The main window's transfer commands against the simulated devices of tests/lab/http_fleet.json,
// offscreen, inside scripts/lab.sh (test_gui_transfers.sh): the devices are found by the
// window's own discovery; what they received is read from the events file.
#include "labevents.h"
#include "transferfixture.h"
#include "ui_form.h"
#include "ui_login.h"
#include "ui_progressinfo.h"
#include "ui_upgrade.h"

#include "core/app/i18n.h"
#include "gui/devices/devicelistmodel.h"

#include <QElapsedTimer>
#include <QFile>
#include <QJsonObject>
#include <QProgressBar>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <map>
#include <zlib.h>

namespace {

const std::string kSeparator(42, '-');

// The web requests the devices logged since the last Mark.
struct TEvents {
    size_t From = 0;
    static std::vector<QJsonObject> All() { return LabEvents({QStringLiteral("http")}); }
    void Mark() { From = All().size(); }
    std::vector<QJsonObject> New() const
    {
        const auto all = All();
        return {all.begin() + std::min(From, all.size()), all.end()};
    }
    // (device MAC, method, path, status or -1 when dropped) of each new request.
    QStringList Summary() const
    {
        QStringList out;
        for (const QJsonObject& e : New())
            out << QStringLiteral("%1 %2 %3 %4")
                       .arg(e[QStringLiteral("device")].toString(), e[QStringLiteral("method")].toString(),
                            e[QStringLiteral("path")].toString())
                       .arg(e[QStringLiteral("status")].isNull() ? -1 : e[QStringLiteral("status")].toInt());
        return out;
    }
};

QString Crc(const QByteArray& data)
{
    return QStringLiteral("%1")
        .arg(static_cast<qulonglong>(crc32(0, reinterpret_cast<const Bytef*>(data.constData()), uInt(data.size()))), 8,
             16, QLatin1Char('0'))
        .toUpper();
}
QByteArray Read(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}
void Write(const QString& path, const QByteArray& data)
{
    QFile f(path);
    if (f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        f.write(data);
}

// MACs of the fleet's devices, by name.
const char* Mac(const char* name)
{
    static const std::map<std::string, const char*> macs = {
        {"Plain", "00:0A:14:50:00:01"},   {"Locked", "00:0A:14:50:00:02"}, {"Door", "00:0A:59:50:00:03"},
        {"Missing", "00:0A:14:50:00:04"}, {"Broken", "00:0A:59:50:00:05"}, {"Bad image", "00:0A:14:50:00:06"},
        {"Crawl", "00:0A:14:50:00:07"},   {"Mute", "00:0A:14:50:00:08"},   {"Slow", "00:0A:59:50:00:09"},
        {"Flash", "00:0A:14:50:00:0A"},   {"Poseidon", "00:0A:59:50:00:0B"}};
    return macs.at(name);
}

// A window that has found the fleet (ten devices answer; an unreachable one is added by hand).
struct TLabWindow : TTransferWindow {
    TEvents Events;
    TLabWindow()
    {
        QTRY_VERIFY_WITH_TIMEOUT(Window.Names().size() >= 11, 5000);
        Window.Add({.TypeCode = 1, .Name = "Nowhere", .MAC = "00:0A:59:00:99:99", .PeerIP = "10.77.9.9"});
        Form().ActionLog.clear();
        Events.Mark();
    }
    std::string Ip(const QString& name)
    {
        for (const TEntryIp& e : Ips())
            if (e.Name == name)
                return e.Ip;
        return {};
    }
    struct TEntryIp {
        QString Name;
        std::string Ip;
    };
    std::vector<TEntryIp> Ips()
    {
        std::vector<TEntryIp> out;
        const QAbstractItemModel* m = Control<QTableView>(Main(), "DeviceListBox")->model();
        for (int r = 0; r < m->rowCount(); ++r) {
            const auto* d = reinterpret_cast<TProduct*>(m->index(r, 0).data(Qt::UserRole + 1).value<quintptr>());
            out.push_back({QString::fromStdString(d->Info.Name), d->Info.PeerIP});
        }
        return out;
    }
    std::vector<std::string> Block(const QString& name, const std::string& step, const std::string& result)
    {
        return {name.toStdString() + "  (" + Ip(name) + ")", step, result, kSeparator};
    }
};

} // namespace

class TestLabTransfers : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        InitTranslation(PYXET_BIN_DIR "/");
        Dialogs::SetAutomatic(true);
        UseLanguage("en");
        QByteArray image(300000, '\0');
        for (int i = 0; i < image.size(); ++i)
            image[i] = char(i * 7 + i / 251);
        Image = QDir::temp().absoluteFilePath(QStringLiteral("pyxet-lab-image.kri"));
        Write(Image, image);
        Big = QDir::temp().absoluteFilePath(QStringLiteral("pyxet-lab-big.kri"));
        Write(Big, QByteArray(8000000, 'b'));
    }
    void cleanupTestCase()
    {
        QFile::remove(Image);
        QFile::remove(Big);
    }
    void cleanup() { Dialogs::TakeShownBoxes(); }

    void UpgradeTwoDevicesOneUnreachable()
    {
        TLabWindow w;
        w.Check({"Plain", "Nowhere"});
        const QStringList order = w.CheckedNames();
        // While the batch runs: the window's event loop turns, the commands that could disturb
        // it are disabled, the bar moves.
        int ticks = 0, unlockedTicks = 0;
        int barMax = 0;
        QTimer timer;
        connect(&timer, &QTimer::timeout, [&] {
            if (!w.Batches().BatchRunning())
                return;
            ++ticks;
            if (Control<QAction>(w.Form(), "acFind")->isEnabled() ||
                Control<QAction>(w.Form(), "acFirmUpgr")->isEnabled() ||
                Control<QAction>(w.Form(), "acBackup")->isEnabled() ||
                Control<QAbstractItemView>(w.Form(), "DeviceListBox")->isEnabled() ||
                Control<QCheckBox>(w.Form(), "AllChecked")->isEnabled() ||
                Control<QPushButton>(w.Form(), "btnRestartDevice")->isEnabled() ||
                Control<QPushButton>(w.Form(), "btnSetDefault")->isEnabled() ||
                Control<QPushButton>(w.Form(), "btnConfigDevice")->isEnabled() ||
                Control<QLineEdit>(w.Form(), "teDeviceName")->isEnabled())
                ++unlockedTicks;
        });
        connect(Control<QProgressBar>(w.Form(), "pbHTTP"), &QProgressBar::valueChanged, [&](int value) { barMax = std::max(barMax, value); });
        timer.start(20);
        Dialogs::QueueFileName(Image.toStdString());
        Control<QAction>(w.Form(), "acFirmUpgr")->trigger();
        QVERIFY(w.Finish());
        timer.stop();

        QVERIFY2(ticks >= 20, "the event loop ran during the batch (2 s connection limit)");
        QCOMPARE(unlockedTicks, 0);
        QVERIFY(Control<QAction>(w.Form(), "acFind")->isEnabled());
        QVERIFY(Control<QAbstractItemView>(w.Form(), "DeviceListBox")->isEnabled());
        QVERIFY(Control<QLineEdit>(w.Form(), "teDeviceName")->isEnabled());
        QVERIFY2(barMax > 290000, "pbHTTP followed the upload");
        QCOMPARE(Control<QProgressBar>(w.Form(), "pbHTTP")->value(), 0);

        std::vector<std::string> want;
        for (const QString& name : order) {
            const bool ok = name == QStringLiteral("Plain");
            for (const std::string& line :
                 w.Block(name, ok ? "Upgrade successful." : "Upgrade unsuccessful.", ok ? "Upgrade Succeeded" : "Upgrade Failed"))
                want.push_back(line);
        }
        for (const char* line : {"Processes Summary:", "Successful: 1", "Unsuccessful: 1"})
            want.push_back(line);
        QCOMPARE(w.Lines(), want);
        QCOMPARE(w.Progress->windowTitle(), QStringLiteral("Upgrade Firmware"));
        QVERIFY(w.Logged("Data upgraded."));
        QVERIFY(w.Logged("Upgrade unsuccessful."));
        QVERIFY(w.Logged("Firmware upgrade starting."));
        QCOMPARE(w.Log().back(), std::string("Firmware upgrade end."));
        QCOMPARE(w.Upgrade->windowTitle(), QStringLiteral("Select Firmware"));
        const auto ev = w.Events.New();
        QCOMPARE(ev.size(), size_t(1));
        QCOMPARE(ev[0][QStringLiteral("device")].toString(), QLatin1String(Mac("Plain")));
        QCOMPARE(ev[0][QStringLiteral("path")].toString(), QStringLiteral("/upload"));
        QCOMPARE(ev[0][QStringLiteral("file_name")].toString(), Image);
        QCOMPARE(ev[0][QStringLiteral("bytes")].toInt(), 300000);
        QCOMPARE(ev[0][QStringLiteral("crc32")].toString(), Crc(Read(Image)));
    }

    void BothFamiliesGetTheSameImage()
    {
        TLabWindow w;
        w.Check({"Plain", "Poseidon"});
        const QStringList order = w.CheckedNames();
        // A cancelled file dialog: nothing happens at all.
        Control<QAction>(w.Form(), "acFirmUpgr")->trigger();
        QVERIFY(w.Finish());
        QVERIFY(w.Log().empty());
        QVERIFY(!w.Progress->isVisible());
        QVERIFY(w.Events.New().empty());
        Dialogs::QueueFileName(Image.toStdString());
        Control<QAction>(w.Form(), "acFirmUpgr")->trigger();
        QVERIFY(w.Finish());
        QStringList want;
        for (const QString& name : order)
            want << QStringLiteral("%1 POST /upload 200").arg(QLatin1String(Mac(name.toUtf8().constData())));
        QCOMPARE(w.Events.Summary(), want);
        for (const QJsonObject& e : w.Events.New()) {
            QCOMPARE(e[QStringLiteral("file_name")].toString(), Image);
            QCOMPARE(e[QStringLiteral("crc32")].toString(), Crc(Read(Image)));
        }
        QCOMPARE(w.Lines().back(), std::string("Unsuccessful: 0"));
    }

    void LoginRetriesOnceThenCredentialsStay()
    {
        TLabWindow w;
        w.Check({"Locked"});
        const int shown = TLoginForm::TimesShown();
        TLoginForm::QueueAnswer(true, "user", "pass");
        Dialogs::QueueFileName(Image.toStdString());
        Control<QAction>(w.Form(), "acFirmUpgr")->trigger();
        QVERIFY(w.Finish());
        QCOMPARE(TLoginForm::TimesShown(), shown + 1);
        QCOMPARE(w.Login->Device(), std::string("Locked (10.77.5.2)"));  // the device that asked
        QCOMPARE(w.Login->windowTitle(), QStringLiteral("Required authorization"));
        QCOMPARE(w.Lines().at(2), std::string("Upgrade Succeeded"));
        QCOMPARE(w.Events.Summary(), QStringList({QStringLiteral("%1 POST /upload 401").arg(QLatin1String(Mac("Locked"))),
                                                  QStringLiteral("%1 POST /upload 200").arg(QLatin1String(Mac("Locked")))}));
        QCOMPARE(w.Events.New()[1][QStringLiteral("auth")].toString(), QStringLiteral("ok"));
        QVERIFY(w.Logged("HTTP/1.1 401 Unauthorized"));
        // The same credentials serve the next upload and the restore, without asking.
        w.Events.Mark();
        Dialogs::QueueFileName(Image.toStdString());
        Control<QAction>(w.Form(), "acFirmUpgr")->trigger();
        QVERIFY(w.Finish());
        QDir().mkpath(QStringLiteral("backup"));
        Write(QStringLiteral("backup/setup_10.77.5.2_.xml"), "<setup>locked</setup>\n");
        Control<QAction>(w.Form(), "RestoreConfig")->trigger();
        QVERIFY(w.Finish());
        QCOMPARE(TLoginForm::TimesShown(), shown + 1);
        QCOMPARE(w.Events.Summary(), QStringList({QStringLiteral("%1 POST /upload 200").arg(QLatin1String(Mac("Locked"))),
                                                  QStringLiteral("%1 POST /setup.xml 200").arg(QLatin1String(Mac("Locked")))}));
        for (const QJsonObject& e : w.Events.New())
            QCOMPARE(e[QStringLiteral("auth")].toString(), QStringLiteral("ok"));
        // The password is in no log line.
        for (const std::string& line : w.Log())
            QVERIFY2(line.find("pass") == std::string::npos || line.find("password") != std::string::npos, line.c_str());
    }

    void CancelledLoginMakesNoSecondRequest()
    {
        TLabWindow w;
        w.Check({"Door", "Plain"});
        const QStringList order = w.CheckedNames();
        const int shown = TLoginForm::TimesShown();
        Dialogs::QueueFileName(Image.toStdString());
        Control<QAction>(w.Form(), "acFirmUpgr")->trigger();  // no answer queued: Cancel
        QVERIFY(w.Finish());
        QCOMPARE(TLoginForm::TimesShown(), shown + 1);
        QStringList want;
        for (const QString& name : order)
            want << (name == QStringLiteral("Door") ? QStringLiteral("%1 POST /upload -1").arg(QLatin1String(Mac("Door")))
                                                    : QStringLiteral("%1 POST /upload 200").arg(QLatin1String(Mac("Plain"))));
        QCOMPARE(w.Events.Summary(), want);
        const auto lines = w.Lines();
        QCOMPARE(lines[lines.size() - 2], std::string("Successful: 1"));
        QCOMPARE(lines[lines.size() - 1], std::string("Unsuccessful: 1"));
    }

    // Each failed device's reason shows under the list while one of its lines is selected, and
    // in its lines' tool tips; the lines themselves stay as they were.
    void FailureReasonsUnderTheList()
    {
        TLabWindow w;
        w.Check({"Broken", "Plain", "Nowhere"});
        const QStringList order = w.CheckedNames();
        Dialogs::QueueFileName(Image.toStdString());
        Control<QAction>(w.Form(), "acFirmUpgr")->trigger();
        QVERIFY(w.Finish());
        const auto lines = w.Lines();
        QCOMPARE(lines.size(), size_t(3 * 4 + 3));
        QListWidget* list = w.Progress->ui()->ListBox1;
        QCOMPARE(w.Progress->ReasonText(), std::string());  // the summary is selected
        const std::map<QString, std::string> reasons = {
            {QStringLiteral("Broken"), "HTTP/1.1 500 Internal Server Error"},
            {QStringLiteral("Plain"), ""},
            {QStringLiteral("Nowhere"), "*"}};  // the client's words, whichever way it failed
        for (int d = 0; d < order.size(); ++d) {
            const std::string reason = reasons.at(order[d]);
            const bool ok = reason.empty();
            QCOMPARE(lines[size_t(d * 4 + 2)], std::string(ok ? "Upgrade Succeeded" : "Upgrade Failed"));
            QCOMPARE(lines[size_t(d * 4 + 1)], std::string(ok ? "Upgrade successful." : "Upgrade unsuccessful."));
            for (int row = d * 4; row < d * 4 + 4; ++row) {
                list->setCurrentRow(row);
                const std::string shown = w.Progress->ReasonText();
                // The tool tip: the line, and under it "Reason: " and the reason when it failed.
                const std::string line = lines[size_t(row)];
                const std::string fullTip = list->item(row)->toolTip().toStdString();
                QVERIFY2(fullTip.rfind(line, 0) == 0, fullTip.c_str());
                if (ok) {
                    QCOMPARE(shown, std::string());
                    QCOMPARE(fullTip, line);
                } else {
                    QVERIFY2(fullTip.rfind(line + "\nReason: ", 0) == 0, fullTip.c_str());
                    const std::string tip = fullTip.substr(line.size() + 9);
                    const std::string prefix = reason == "*" ? std::string() : reason;
                    QVERIFY2(tip.size() > prefix.size() + 4 || tip == prefix, tip.c_str());
                    QVERIFY2(shown.rfind("Reason: " + prefix, 0) == 0, shown.c_str());
                    QVERIFY2(tip.rfind(prefix, 0) == 0, tip.c_str());
                    QVERIFY2(w.Logged(tip), tip.c_str());  // the reason the log gave
                }
            }
        }
        for (int row = 12; row < 15; ++row) {
            list->setCurrentRow(row);
            QCOMPARE(w.Progress->ReasonText(), std::string());
        }
        // In Czech the line names it too.
        UseLanguage("cs");
        list->setCurrentRow(order.indexOf(QStringLiteral("Broken")) * 4);
        QCOMPARE(w.Progress->ReasonText(), std::string("Důvod: HTTP/1.1 500 Internal Server Error"));
        UseLanguage("en");
    }

    void BackupTwoDevicesOneUnreachable()
    {
        TLabWindow w;
        w.Check({"Plain", "Nowhere"});
        const QStringList order = w.CheckedNames();
        Control<QAction>(w.Form(), "BackupConfig")->trigger();
        QVERIFY(w.Finish());
        std::vector<std::string> want;
        for (const QString& name : order) {
            const bool ok = name == QStringLiteral("Plain");
            for (const std::string& line : w.Block(name, "Sending request...", ok ? "Backup Succeeded" : "Backup Failed"))
                want.push_back(line);
        }
        for (const char* line : {"Processes Summary:", "Successful: 1", "Unsuccessful: 1"})
            want.push_back(line);
        QCOMPARE(w.Lines(), want);
        QCOMPARE(w.Progress->windowTitle(), QStringLiteral("Backup Configuration"));
        QVERIFY(QFile::exists(QStringLiteral("backup/setup_10.77.5.1_.xml")));
        QVERIFY(!QFile::exists(QStringLiteral("backup/setup_10.77.9.9_.xml")));
        QCOMPARE(QDir(QStringLiteral("backup")).entryList(QDir::Files), QStringList{QStringLiteral("setup_10.77.5.1_.xml")});
        QVERIFY(Read(QStringLiteral("backup/setup_10.77.5.1_.xml")).contains("</setup>"));
        QCOMPARE(w.Log().front(), std::string("Process backup starting."));
        QCOMPARE(w.Log().back(), std::string("Backup process finished."));
        // The line before it names the folder the files went to, from the root.
        const std::string folder = QDir(QStringLiteral("backup")).absolutePath().toStdString();
        QCOMPARE(w.Log().at(w.Log().size() - 2), "Backup files written to " + folder);
        QVERIFY(w.Logged("Backup data from 10.77.5.1 starting."));
        QVERIFY(w.Logged("GET request: http://10.77.5.1/setup.xml"));
    }

    void FaultyDevicesFailWithinTheirLimits()
    {
        TLabWindow w;
        w.Check({"Missing", "Broken", "Bad image", "Crawl", "Mute", "Flash", "Door", "Plain"});
        const QStringList order = w.CheckedNames();
        QElapsedTimer clock;
        clock.start();
        Dialogs::QueueFileName(Big.toStdString());
        Control<QAction>(w.Form(), "acFirmUpgr")->trigger();  // Door: login cancelled
        QVERIFY(w.Finish());
        QVERIFY2(clock.elapsed() < 40000, "each stalled device fails within its limit");
        const std::map<QString, bool> ok = {{QStringLiteral("Flash"), true}, {QStringLiteral("Plain"), true}};
        const auto lines = w.Lines();
        QCOMPARE(lines.size(), size_t(order.size() * 4 + 3));
        for (int i = 0; i < order.size(); ++i)
            QCOMPARE(lines[size_t(i * 4 + 2)], std::string(ok.count(order[i]) ? "Upgrade Succeeded" : "Upgrade Failed"));
        QCOMPARE(lines.back(), std::string("Unsuccessful: 6"));
        for (const char* message :
             {"HTTP/1.1 404 Not Found", "HTTP/1.1 500 Internal Server Error",
              "The device took no data for 5 seconds.",  // Crawl, its window closed
              "The device did not answer within 5 seconds."})
            QVERIFY2(w.Logged(message), message);
        // The reset comes while the body is still going out or once it is out.
        QVERIFY(w.Logged("Send failure: Connection reset by peer") || w.Logged("Recv failure: Connection reset by peer"));
        QVERIFY(!w.Logged("Upload failed"));
        for (const QJsonObject& e : w.Events.New()) {
            const QString mac = e[QStringLiteral("device")].toString();
            if (mac == QLatin1String(Mac("Plain")) || mac == QLatin1String(Mac("Bad image"))) {
                QCOMPARE(e[QStringLiteral("bytes")].toInt(), 8000000);
                QCOMPARE(e[QStringLiteral("crc32")].toString(), Crc(Read(Big)));
            }
        }

        // Backup of the failing kinds: the earlier files stay.
        QDir().mkpath(QStringLiteral("backup"));
        for (const char* ip : {"10.77.5.4", "10.77.5.7", "10.77.5.8"})
            Write(QStringLiteral("backup/setup_%1_.xml").arg(QLatin1String(ip)), "earlier");
        for (int r = 0; r < w.Window.Names().size(); ++r)
            Control<QAbstractItemView>(w.Form(), "DeviceListBox")
                ->model()
                ->setData(Control<QAbstractItemView>(w.Form(), "DeviceListBox")->model()->index(r, 0), Qt::Unchecked,
                          Qt::CheckStateRole);
        w.Check({"Missing", "Crawl", "Mute", "Plain"});
        w.Form().ActionLog.clear();
        clock.restart();
        Control<QAction>(w.Form(), "BackupConfig")->trigger();
        QVERIFY(w.Finish());
        QVERIFY2(clock.elapsed() < 20000, "each stalled download fails within its limit");
        QCOMPARE(w.Lines().back(), std::string("Unsuccessful: 3"));
        for (const char* ip : {"10.77.5.4", "10.77.5.7", "10.77.5.8"})
            QCOMPARE(Read(QStringLiteral("backup/setup_%1_.xml").arg(QLatin1String(ip))), QByteArray("earlier"));
        QVERIFY(w.Logged("The device did not answer within 3 seconds."));
        // The backups only (the upgrade above left its journal beside them).
        QCOMPARE(QDir(QStringLiteral("backup")).entryList({QStringLiteral("setup_*")}, QDir::Files).size(), 4);
        QCOMPARE(QDir(QStringLiteral("backup")).entryList({QStringLiteral("upgrade-*.json")}, QDir::Files).size(), 1);
    }

    void RestoreSaveLoadAndCommonConfiguration()
    {
        TLabWindow w;
        w.Check({"Plain", "Flash"});
        const QStringList order = w.CheckedNames();
        // Flash reports its web server on port 8080; the transfers go to port 80 all the same.
        for (int r = 0; r < w.Window.Names().size(); ++r)
            if (w.Window.Names()[r] == QStringLiteral("Flash"))
                QCOMPARE(w.Window.Model()->Device(r)->Info.HTTPPort, int16_t(8080));
        Control<QAction>(w.Form(), "BackupConfig")->trigger();
        QVERIFY(w.Finish());
        QCOMPARE(w.Lines().back(), std::string("Unsuccessful: 0"));
        Write(QStringLiteral("backup/setup_10.77.5.1_.xml"), "<setup>plain restored</setup>\n");
        w.Events.Mark();
        Control<QAction>(w.Form(), "RestoreConfig")->trigger();
        QVERIFY(w.Finish());
        QCOMPARE(w.Lines().back(), std::string("Unsuccessful: 0"));
        QCOMPARE(w.Progress->windowTitle(), QStringLiteral("Restore Configuration"));
        const auto restored = w.Events.New();
        QCOMPARE(restored.size(), size_t(2));
        for (size_t i = 0; i < 2; ++i) {
            const QString ip = QString::fromStdString(w.Ip(order[int(i)]));
            const QString file = QStringLiteral("backup/setup_%1_.xml").arg(ip);
            QCOMPARE(restored[i][QStringLiteral("device")].toString(), QLatin1String(Mac(order[int(i)].toUtf8().constData())));
            QCOMPARE(restored[i][QStringLiteral("path")].toString(), QStringLiteral("/setup.xml"));
            QCOMPARE(restored[i][QStringLiteral("file_name")].toString(), file);
            QCOMPARE(restored[i][QStringLiteral("crc32")].toString(), Crc(Read(file)));
        }

        // Save and load act on the selected device, checked or not.
        w.Form().SelectDevice(int(w.Window.Names().indexOf(QStringLiteral("Plain"))));
        Dialogs::QueueFileName("saved.xml");
        w.Progress->Button1Click();  // "Ok": the next command starts an empty list
        Control<QAction>(w.Form(), "SaveConfig")->trigger();
        QVERIFY(w.Finish());
        QCOMPARE(Read(QStringLiteral("saved.xml")), QByteArray("<setup>plain restored</setup>\n"));
        QCOMPARE(w.Lines(), (std::vector<std::string>{"Plain  (10.77.5.1)", "Sending request...", "Saving Succeeded",
                                                      kSeparator, "Processes Summary:", "Successful: 1",
                                                      "Unsuccessful: 0"}));
        QCOMPARE(w.Progress->windowTitle(), QStringLiteral("Save Configuration"));
        Write(QStringLiteral("load.xml"), "<setup>loaded</setup>\n");
        w.Events.Mark();
        Dialogs::QueueFileName("load.xml");
        Control<QAction>(w.Form(), "LoadConfig")->trigger();
        QVERIFY(w.Finish());
        // The window was still open: the load's lines follow the save's.
        QCOMPARE(w.Lines().size(), size_t(14));
        QCOMPARE(w.Lines().at(7), std::string("Plain  (10.77.5.1)"));
        QCOMPARE(w.Lines().at(9), std::string("Loading Succeeded"));
        QCOMPARE(w.Progress->windowTitle(), QStringLiteral("Load Configuration"));
        QCOMPARE(w.Events.New().size(), size_t(1));
        QCOMPARE(w.Events.New()[0][QStringLiteral("file_name")].toString(), QDir::current().absoluteFilePath(QStringLiteral("load.xml")));
        QCOMPARE(w.Events.New()[0][QStringLiteral("crc32")].toString(), Crc(Read(QStringLiteral("load.xml"))));

        // Common configuration: the same file to every checked device, in list order.
        Write(QStringLiteral("common.xml"), "<setup>common</setup>\n");
        w.Events.Mark();
        w.Form().ActionLog.clear();
        Dialogs::QueueFileName("common.xml");
        Dialogs::QueueAnswer(true);
        Control<QAction>(w.Form(), "CommonConfig")->trigger();
        QVERIFY(w.Finish());
        QStringList want;
        for (const QString& name : order)
            want << QStringLiteral("%1 POST /setup.xml 200").arg(QLatin1String(Mac(name.toUtf8().constData())));
        QCOMPARE(w.Events.Summary(), want);
        for (const QJsonObject& e : w.Events.New())
            QCOMPARE(e[QStringLiteral("crc32")].toString(), Crc(Read(QStringLiteral("common.xml"))));
        QCOMPARE(w.Log().front(), std::string("Process restore common starting."));
        QCOMPARE(w.Log().back(), std::string("Restore common process finished."));
        QCOMPARE(w.Lines().back(), std::string("Unsuccessful: 0"));
    }

    // Stop on a running backup of the slow device: the first click lets its transfer go on, the
    // second ends it; the older backup file stays, and a device after it is not started.
    void SecondStopEndsTheRunningTransfer()
    {
        TLabWindow w;
        // About 4 s to download at 1500 bytes/s.
        Write(QStringLiteral("long.xml"), QByteArray(6000, 'l'));
        QVERIFY(w.Http->PostFile("10.77.5.9", "setup.xml", "long.xml"));
        QDir().mkpath(QStringLiteral("backup"));
        const QString old = QStringLiteral("backup/setup_10.77.5.9_.xml");
        Write(old, "<setup>older</setup>\n");
        w.Check({"Slow", "Plain"});
        const QStringList order = w.CheckedNames();
        w.Events.Mark();
        auto* ui = w.Progress->ui();
        const std::string slowLine = "Slow  (" + w.Ip(QStringLiteral("Slow")) + ")";
        bool firstClicked = false, secondClicked = false, ranOnAfterFirst = false, stayedOpen = false;
        const QMetaObject::Connection hook =
            connect(ui->ListBox1->model(), &QAbstractItemModel::rowsInserted, this, [&](const QModelIndex&, int row) {
                if (firstClicked || ui->ListBox1->item(row)->text().toStdString() != slowLine)
                    return;
                firstClicked = true;
                QTimer::singleShot(300, this, [&] {
                    QTest::mouseClick(ui->StopButton, Qt::LeftButton);
                    QTimer::singleShot(500, this, [&] {
                        ranOnAfterFirst = w.Batches().BatchRunning() && !w.Logged("The transfer was stopped.");
                        QTest::keyClick(w.Progress.get(), Qt::Key_Escape);
                        w.Progress->close();
                        QTest::mouseClick(ui->Button1, Qt::LeftButton);
                        stayedOpen = w.Progress->isVisible();
                        secondClicked = true;
                        QTest::mouseClick(ui->StopButton, Qt::LeftButton);
                    });
                });
            });
        QElapsedTimer clock;
        clock.start();
        Control<QAction>(w.Form(), "BackupConfig")->trigger();
        QVERIFY(w.Finish());
        disconnect(hook);
        QVERIFY(secondClicked);
        QVERIFY2(ranOnAfterFirst, "the first Stop lets the running transfer go on");
        QVERIFY2(stayedOpen, "Ok, Esc and the close box are refused while the transfer runs");
        QVERIFY2(clock.elapsed() < 3500, "the second Stop ends the transfer at once");
        QVERIFY(w.Logged("The transfer was stopped."));
        QVERIFY(w.Logged("The batch was stopped."));
        QCOMPARE(w.Log().back(), std::string("Backup process finished."));
        QCOMPARE(Read(old), QByteArray("<setup>older</setup>\n"));
        // The devices before the slow one ran as usual; the one after it did not start.
        std::vector<std::string> want;
        int succeeded = 0, notStarted = 0;
        bool slowSeen = false;
        for (const QString& name : order) {
            if (slowSeen) {
                ++notStarted;
                continue;
            }
            if (name == QStringLiteral("Slow")) {
                slowSeen = true;
                const auto lines = w.Block(name, "Sending request...", "Backup Failed");
                want.insert(want.end(), lines.begin(), lines.end());
            } else {
                ++succeeded;
                const auto lines = w.Block(name, "Sending request...", "Backup Succeeded");
                want.insert(want.end(), lines.begin(), lines.end());
            }
        }
        want.insert(want.end(), {"Processes Summary:", "Successful: " + std::to_string(succeeded), "Unsuccessful: 1"});
        if (notStarted > 0)
            want.push_back("Not started: " + std::to_string(notStarted));
        QCOMPARE(w.Lines(), want);
        if (notStarted > 0)
            QVERIFY2(!w.Events.Summary().join(QLatin1Char('\n')).contains(QLatin1String(Mac("Plain"))),
                     "no request to a device not started");
        QVERIFY(!ui->StopButton->isEnabled());
        QVERIFY(ui->Button1->isEnabled());
        // No backup of the slow device is left for the tests after this one.
        QFile::remove(old);
    }

    void ClosingDuringABatchAsksThenStopsAndSaves()
    {
        TLabWindow w;
        // A short file on the slow device: its download takes about 3 s at 1500 bytes/s.
        Write(QStringLiteral("short.xml"), QByteArray(4000, 's'));
        QVERIFY(w.Http->PostFile("10.77.5.9", "setup.xml", "short.xml"));
        w.Check({"Slow"});
        // Closing answered No: the batch goes on to its end.
        Dialogs::QueueAnswer(false);
        QTimer::singleShot(500, &w.Form(), [&] { w.Form().close(); });
        Control<QAction>(w.Form(), "BackupConfig")->trigger();
        QVERIFY(w.Finish());
        QVERIFY(w.Form().isVisible());
        QCOMPARE(w.Lines().at(2), std::string("Backup Succeeded"));
        QCOMPARE(w.Form().SettingsSaves(), 0);
        // Answered Yes: the transfer stops, the window closes once the batch has ended, and the
        // settings are saved.
        QFile::remove(QStringLiteral("backup/setup_10.77.5.9_.xml"));
        Dialogs::QueueAnswer(true);
        QSignalSpy closed(&w.Form(), &TPyxetForm::FormClosed);
        QElapsedTimer clock;
        clock.start();
        QTimer::singleShot(500, &w.Form(), [&] { w.Form().close(); });
        Control<QAction>(w.Form(), "BackupConfig")->trigger();
        QVERIFY(w.Finish());
        QVERIFY(clock.elapsed() < 4000);  // a second at most after the answer, more on a busy machine
        QVERIFY(w.Logged("The transfer was stopped."));
        QCOMPARE(w.Log().back(), std::string("Backup process finished."));
        QVERIFY(!QFile::exists(QStringLiteral("backup/setup_10.77.5.9_.xml")));
        QTRY_COMPARE(closed.count(), 1);
        QCOMPARE(w.Form().SettingsSaves(), 1);
        const auto boxes = Dialogs::TakeShownBoxes();
        QCOMPARE(boxes.size(), size_t(2));
        QCOMPARE(boxes[0].Text, std::string("A transfer is running. Stop it and close the program?"));
    }

    // Into the folder PYXET_SHOTS names (scripts/screenshots-transfers.sh: docs/, on a virtual X
    // display; test_gui_transfers.sh: a temporary one): the login dialog, the upgrade dialog and
    // the progress window after a batch with successes and failures, in English and Czech.
    void Screenshots()
    {
        const QString folder = QString::fromLocal8Bit(qgetenv("PYXET_SHOTS"));
        QVERIFY2(!folder.isEmpty(), "PYXET_SHOTS names no folder");
        for (const char* language : {"en", "cs"}) {
            TLabWindow w;
            UseLanguage(language);  // after the window's own start-up chose one
            const QString suffix = QLatin1String(language);
            auto shoot = [&](QWidget& window, const char* name) {
                window.show();
                QVERIFY(QTest::qWaitForWindowExposed(&window));
                QTest::qWait(300);
                QVERIFY(window.grab().save(QStringLiteral("%1/%2-%3.png").arg(folder, QLatin1String(name), suffix)));
            };
            w.Upgrade->Prepare(_("Select Firmware"), "Upgrade", "Kri Image|*.kri");
            Dialogs::QueueFileName(Image.toStdString());
            w.Upgrade->BrowseBtnClick();
            // The picture shows the path a user's file would have, not the test's temporary one.
            w.Upgrade->ui()->PathEdit->setText(QStringLiteral("/home/user/firmware/orvex.kri"));
            shoot(*w.Upgrade, "transfers-upgrade");
            w.Upgrade->hide();
            w.Login->SetDevice("Server room (10.77.1.13)");
            w.Login->ui()->UserEdit->setText(QStringLiteral("admin"));
            w.Login->ui()->PassEdit->setText(QStringLiteral("secret"));
            shoot(*w.Login, "transfers-login");
            w.Login->hide();
            w.Check({"Plain", "Nowhere", "Bad image", "Flash"});
            Dialogs::QueueFileName(Image.toStdString());
            Control<QAction>(w.Form(), "acFirmUpgr")->trigger();
            QVERIFY(w.Finish());
            // A failed device's line selected: its reason shows under the list.
            const QStringList checked = w.CheckedNames();
            w.Progress->ui()->ListBox1->setCurrentRow(checked.indexOf(QStringLiteral("Nowhere")) * 4 + 2);
            w.Progress->ui()->ListBox1->scrollToTop();
            shoot(*w.Progress, "transfers-progress");
            w.Progress->hide();
        }
        UseLanguage("en");
    }

private:
    QString Image, Big;
};

QTEST_MAIN(TestLabTransfers)
#include "gui_transfers_tests.moc"
