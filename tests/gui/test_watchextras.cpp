// Window tests of the watch's extras: the Log Report's Events page, desktop notifications
// received by a fake notification service on a private session bus started here (never the
// user's bus), and the site file's Open/Save/Close with [Watch] Site opened again at start.
#include "devicefeed.h"
#include "pyxetfixture.h"

#include "core/watch/site.h"
#include "gui/app/watchpanel.h"
#include "ui_form.h"

#include <QAction>
#include <QApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDateTime>
#include <QLineEdit>
#include <QProcess>
#include <QTreeWidget>
#include <QVariantMap>

namespace {

// The desktop's notification service as the program calls it: each Notify is kept.
class TFakeNotifications : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
public:
    QStringList Received;  // "summary|body"

public slots:
    uint Notify(const QString& /*app*/, uint /*replaces*/, const QString& /*icon*/, const QString& summary,
                const QString& body, const QStringList& /*actions*/, const QVariantMap& /*hints*/, int /*timeout*/)
    {
        Received << summary + QLatin1Char('|') + body;
        return static_cast<uint>(Received.size());
    }
};

const TDeviceSpec kBoiler{.TypeCode = 1, .Name = "Boiler", .MAC = "00:0A:59:00:00:01", .PeerIP = "10.0.0.1"};
const TDeviceSpec kGarage{.TypeCode = 1, .Name = "Garage", .MAC = "00:0A:59:00:00:02", .PeerIP = "10.0.0.2"};
const TDeviceSpec kCellar{.TypeCode = 1, .Name = "Cellar", .MAC = "00:0A:59:00:00:03", .PeerIP = "10.0.0.3"};

TWatchEvent EventOf(const TDeviceSpec& spec, TWatchEventKind kind)
{
    TWatchEvent e;
    e.Time = QDateTime(QDate(2026, 3, 4), QTime(5, 6, 7)).toMSecsSinceEpoch();
    e.Kind = kind;
    e.MAC = spec.MAC;
    e.Family = "Orvex";
    e.Name = spec.Name;
    e.Address = spec.PeerIP;
    return e;
}

const char* const kService = "org.freedesktop.Notifications";

}  // namespace

class TestWatchExtras : public QObject {
    Q_OBJECT
    TPyxetFixture F;
    QTemporaryDir BusDir;
    QProcess Bus;
    TFakeNotifications Fake;

    QDBusConnection FakeBus() { return QDBusConnection(QStringLiteral("fake-notifications")); }

    void Add(const TDeviceSpec& spec)
    {
        F.Form->AddDevice(MakeOrvexUnit(spec), kTestProducts, nullptr);
        QApplication::processEvents();
    }
    void Emit(const TDeviceSpec& spec, TWatchEventKind kind) { emit F.Form->Watch->WatchEvent(EventOf(spec, kind)); }
    void NoWindowActive()
    {
        QApplication::setActiveWindow(nullptr);
        QVERIFY(!QApplication::activeWindow());
    }
    QString Site(const char* name) const { return F.Dir->path() + QLatin1Char('/') + QLatin1String(name); }

private slots:
    void initTestCase()
    {
        TPyxetFixture::InitProgram();
        // A session bus of this test's own: it knows no services, so nothing is started on it.
        QVERIFY(BusDir.isValid());
        QFile conf(BusDir.filePath(QStringLiteral("bus.conf")));
        QVERIFY(conf.open(QIODevice::WriteOnly));
        conf.write(QStringLiteral("<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
                                  " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
                                  "<busconfig><type>session</type><listen>unix:dir=%1</listen><auth>EXTERNAL</auth>\n"
                                  "<policy context=\"default\"><allow send_destination=\"*\" eavesdrop=\"true\"/>"
                                  "<allow eavesdrop=\"true\"/><allow own=\"*\"/></policy></busconfig>\n")
                       .arg(BusDir.path())
                       .toUtf8());
        conf.close();
        Bus.start(QStringLiteral("dbus-daemon"), {QStringLiteral("--nofork"), QStringLiteral("--print-address"),
                                                   QStringLiteral("--config-file=") + conf.fileName()});
        QVERIFY2(Bus.waitForStarted(), "dbus-daemon must be installed (scripts/install-deps.sh)");
        QTRY_VERIFY(Bus.canReadLine());
        const QByteArray address = Bus.readLine().trimmed();
        QVERIFY(!address.isEmpty());
        // Before anything in the program reaches for the session bus.
        qputenv("DBUS_SESSION_BUS_ADDRESS", address);
        QDBusConnection fake = QDBusConnection::connectToBus(QString::fromUtf8(address), QStringLiteral("fake-notifications"));
        QVERIFY(fake.isConnected());
        QVERIFY(fake.registerObject(QStringLiteral("/org/freedesktop/Notifications"), &Fake, QDBusConnection::ExportAllSlots));
        QVERIFY(fake.registerService(QLatin1String(kService)));
    }
    void cleanupTestCase()
    {
        QDBusConnection::disconnectFromBus(QStringLiteral("fake-notifications"));
        Bus.terminate();
        Bus.waitForFinished();
    }
    void cleanup() { F.Stop(); }

    // Each event is a row of the Events page: its local time, the unit and what happened.
    void eventsPageListsTheEvents()
    {
        F.Start();
        QTreeWidget* events = F.LogForm->EventsList();
        QCOMPARE(events->topLevelItemCount(), 0);
        Emit(kBoiler, TWatchEventKind::Gone);
        TWatchEvent moved = EventOf(kGarage, TWatchEventKind::Address);
        moved.Old = "10.0.0.2";
        moved.New = "10.0.0.9";
        emit F.Form->Watch->WatchEvent(moved);
        QCOMPARE(events->topLevelItemCount(), 2);
        const QTreeWidgetItem* gone = events->topLevelItem(0);
        QCOMPARE(gone->text(0), QDateTime::fromMSecsSinceEpoch(EventOf(kBoiler, TWatchEventKind::Gone).Time)
                                    .toLocalTime()
                                    .toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")));
        QCOMPARE(gone->text(1), QStringLiteral("Boiler (00:0A:59:00:00:01)"));
        QCOMPARE(gone->text(2), QStringLiteral("gone"));
        QCOMPARE(events->topLevelItem(1)->text(2), QString::fromUtf8("IP address 10.0.0.2 → 10.0.0.9"));
        QCOMPARE(F.LogForm->Pages()->tabText(1), QStringLiteral("Events"));
        QCOMPARE(events->headerItem()->text(1), QStringLiteral("Unit"));
    }

    // Gone and new units are told to the desktop while no window of the program is active and
    // Notify is on; nothing else is, and a bus without the service stays silent. Each check that
    // nothing was sent ends with one that is, so that the order on the bus tells.
    void notificationsOnlyWhenOnAndInactive()
    {
        F.WriteIni("[Watch]\nNotify=True\n");
        F.Start();
        QAction* notify = Control<QAction>(*F.Form, "acNotify");
        QVERIFY(notify->isChecked());
        Fake.Received.clear();

        NoWindowActive();
        Emit(kBoiler, TWatchEventKind::Gone);
        QTRY_COMPARE(Fake.Received.size(), 1);
        QCOMPARE(Fake.Received[0], QStringLiteral("Boiler (00:0A:59:00:00:01)|gone"));

        // Back, changes: only listed.
        Emit(kBoiler, TWatchEventKind::Back);
        Emit(kGarage, TWatchEventKind::New);
        QTRY_COMPARE(Fake.Received.size(), 2);
        QCOMPARE(Fake.Received[1], QStringLiteral("Garage (00:0A:59:00:00:02)|new device"));

        // The window active: nothing.
        QApplication::setActiveWindow(F.Form.get());
        QVERIFY(QApplication::activeWindow() == F.Form.get());
        Emit(kGarage, TWatchEventKind::Gone);
        NoWindowActive();
        Emit(kBoiler, TWatchEventKind::New);
        QTRY_COMPARE(Fake.Received.size(), 3);
        QCOMPARE(Fake.Received[2], QStringLiteral("Boiler (00:0A:59:00:00:01)|new device"));

        // Notify off: nothing, and the setting follows.
        notify->trigger();
        QVERIFY(!F.Form->Settings.WatchNotify);
        Emit(kGarage, TWatchEventKind::Gone);
        notify->trigger();
        Emit(kBoiler, TWatchEventKind::Gone);
        QTRY_COMPARE(Fake.Received.size(), 4);
        QCOMPARE(Fake.Received[3], QStringLiteral("Boiler (00:0A:59:00:00:01)|gone"));

        // No service answers: no box, no wait, the program goes on.
        QVERIFY(FakeBus().unregisterService(QLatin1String(kService)));
        Emit(kGarage, TWatchEventKind::Gone);
        QVERIFY(FakeBus().registerService(QLatin1String(kService)));
        Emit(kGarage, TWatchEventKind::New);
        QTRY_COMPARE(Fake.Received.size(), 5);
        QCOMPARE(Fake.Received[4], QStringLiteral("Garage (00:0A:59:00:00:02)|new device"));
        QVERIFY(Dialogs::TakeShownBoxes().empty());
        QCOMPARE(F.LogForm->EventsList()->topLevelItemCount(), 9);
    }

    // Save, close and open a site; a refused file's box names its line; [Watch] Site opens the
    // site again at the next start, and a site that cannot be read then is only logged.
    void siteFileRoundTrip()
    {
        F.Start();
        Add(kBoiler);
        Add(kGarage);
        const QString path = Site("plant.csv");
        Dialogs::QueueFileName(path.toStdString());
        Control<QAction>(*F.Form, "acSaveSite")->trigger();
        QVERIFY(Dialogs::TakeShownBoxes().empty());
        QFile saved(path);
        QVERIFY(saved.open(QIODevice::ReadOnly));
        const QString text = QString::fromUtf8(saved.readAll());
        QVERIFY2(text.contains(QLatin1String("00:0A:59:00:00:01")) && text.contains(QLatin1String("00:0A:59:00:00:02")),
                 qPrintable(text));
        QCOMPARE(QString::fromStdString(F.Form->SitePath()), path);
        QCOMPARE(QString::fromStdString(F.Form->Settings.WatchSite), path);
        QCOMPARE(F.Form->Watch->State().ExpectedCount(), 2);
        QVERIFY(Control<QAction>(*F.Form, "acCloseSite")->isEnabled());

        Control<QAction>(*F.Form, "acCloseSite")->trigger();
        QCOMPARE(F.Form->Watch->State().ExpectedCount(), 0);
        QVERIFY(F.Form->SitePath().empty());
        QVERIFY(F.Form->Settings.WatchSite.empty());
        QVERIFY(!Control<QAction>(*F.Form, "acCloseSite")->isEnabled());

        Dialogs::QueueFileName(path.toStdString());
        Control<QAction>(*F.Form, "acOpenSite")->trigger();
        QCOMPARE(F.Form->Watch->State().ExpectedCount(), 2);
        QCOMPARE(QString::fromStdString(F.Form->SitePath()), path);

        // A refused file: its line in an error box, the site open stays.
        const QString bad = Site("bad.csv");
        QFile badFile(bad);
        QVERIFY(badFile.open(QIODevice::WriteOnly));
        badFile.write("MAC,Family\r\n00:0A:59:00:00:01,Orvex\r\nnot a mac,Orvex\r\n");
        badFile.close();
        Dialogs::QueueFileName(bad.toStdString());
        Control<QAction>(*F.Form, "acOpenSite")->trigger();
        const std::vector<Dialogs::TShownBox> boxes = Dialogs::TakeShownBoxes();
        QCOMPARE(boxes.size(), size_t(1));
        QVERIFY(boxes[0].Kind == Dialogs::TBoxKind::Error);
        QVERIFY2(QString::fromStdString(boxes[0].Text).startsWith(QLatin1String("Line 3")), boxes[0].Text.c_str());
        QCOMPARE(QString::fromStdString(F.Form->SitePath()), path);

        // Kept, and opened again at the next start.
        F.Form->close();
        QVERIFY(F.ReadIni().contains(QStringLiteral("[Watch]\nSite=") + path));
        F.LogForm.reset();
        F.Form.reset();
        F.Start();
        QCOMPARE(QString::fromStdString(F.Form->SitePath()), path);
        QCOMPARE(F.Form->Watch->State().ExpectedCount(), 2);

        // A site gone since: logged, no box.
        F.Form->close();
        F.LogForm.reset();
        F.Form.reset();
        QVERIFY(QFile::remove(path));
        F.Start();
        QVERIFY(F.Form->SitePath().empty());
        QVERIFY(Dialogs::TakeShownBoxes().empty());
        bool logged = false;
        for (const TLogLine& line : F.Form->ActionLog)
            logged |= line.Level == LOG_ERROR && QString::fromStdString(line.Text).contains(path);
        QVERIFY(logged);
    }

    // Save Site writes every unit of the cycle, also those a search hides from the list, each
    // expected and with the note the open site gave it.
    void saveSiteWritesTheRowsASearchHides()
    {
        F.Start();
        Add(kBoiler);
        Add(kGarage);
        Add(kCellar);
        const QString noted = Site("noted.csv");
        QFile notes(noted);
        QVERIFY(notes.open(QIODevice::WriteOnly));
        notes.write("MAC,Family,Expected,Note\r\n00:0A:59:00:00:01,Orvex,yes,north wall\r\n");
        notes.close();
        Dialogs::QueueFileName(noted.toStdString());
        Control<QAction>(*F.Form, "acOpenSite")->trigger();
        QCOMPARE(F.Form->Watch->State().ExpectedCount(), 1);

        Control<QLineEdit>(*F.Form, "teSearch")->setText(QStringLiteral("Garage"));
        QCOMPARE(F.Form->List->Model()->rowCount(), 1);
        Dialogs::TakeShownBoxes();  // the row left shows its details, whose picture this folder lacks
        const QString path = Site("all.csv");
        Dialogs::QueueFileName(path.toStdString());
        Control<QAction>(*F.Form, "acSaveSite")->trigger();
        const std::vector<Dialogs::TShownBox> boxes = Dialogs::TakeShownBoxes();
        QVERIFY2(boxes.empty(), boxes.empty() ? "" : boxes[0].Text.c_str());
        QCOMPARE(F.Form->List->Model()->rowCount(), 1);

        QFile saved(path);
        QVERIFY(saved.open(QIODevice::ReadOnly));
        QVERIFY(saved.readLine().endsWith(",Expected,Note\r\n"));
        std::string error;
        const std::optional<std::vector<TSiteUnit>> site = ReadSite(path.toStdString(), error);
        QVERIFY2(site, error.c_str());
        QStringList units;
        for (const TSiteUnit& unit : *site)
            units << QString::fromStdString(unit.Unit.MAC + " " + unit.Unit.Name + " " + (unit.Expected ? "1" : "0") + " "
                                            + unit.Note);
        units.sort();
        QCOMPARE(units, (QStringList{QStringLiteral("00:0A:59:00:00:01 Boiler 1 north wall"),
                                     QStringLiteral("00:0A:59:00:00:02 Garage 1 "),
                                     QStringLiteral("00:0A:59:00:00:03 Cellar 1 ")}));
        QCOMPARE(F.Form->Watch->State().ExpectedCount(), 3);
    }
};

QTEST_MAIN(TestWatchExtras)
#include "test_watchextras.moc"
