// Pictures of the windows in each colour scheme of Utilities -> "Colour Scheme" (System, which
// on a virtual X display is the platform's light palette, Light and Dark), to look at: the main
// window with a new device and an address conflict in the list, the Log Report and the progress
// window after an upgrade with a success and a failure. Run in the lab on a virtual X display by
// scripts/colour-screenshots.sh, into $PYXET_SHOTS/<scheme>-<name>.png.
#include "../gui/controls.h"
#include "shotwindows.h"

#include "core/app/i18n.h"
#include "gui/app/batchcontroller.h"
#include "gui/app/dialogs.h"
#include "ui_form.h"
#include "ui_logrep.h"

#include <QDir>
#include <QFile>
#include <QStyle>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

namespace {

// A device that answers only in the second discovery, handed over as an answer handler would.
class TLateDevice : public TProduct {
public:
    void Update() override {}
    void FactoryDefault() override {}
    void Restart() override {}
};

} // namespace

class ColourScreenshots : public QObject {
    Q_OBJECT

private slots:
    void Screenshots()
    {
        const QString shots = QString::fromLocal8Bit(qgetenv("PYXET_SHOTS"));
        QVERIFY2(!shots.isEmpty(), "PYXET_SHOTS names no folder (scripts/colour-screenshots.sh sets it)");
        QDir().mkpath(shots);
        for (const char* scheme : {"System", "Light", "Dark"}) {
            QTemporaryDir dir;
            const QString appDir = dir.path() + QLatin1Char('/');
            const QByteArray language = qEnvironmentVariable("PYXET_SHOT_LANG", QStringLiteral("en")).toLatin1();
            // The scheme as the settings file keeps it: the window chooses it when it opens.
            QVERIFY(FillAppFolder(dir.path(), "[Setup]\nLang=" + language + "\n[Window]\nScheme=" + scheme + "\n"));
            QDir::setCurrent(dir.path());
            auto shoot = [&](QWidget& window, const char* name) {
                window.show();
                QVERIFY(QTest::qWaitForWindowExposed(&window));
                QTest::qWait(400);
                QVERIFY(window.grab().save(shots + QLatin1Char('/') + QString::fromLatin1(scheme).toLower()
                                           + QLatin1Char('-') + QLatin1String(name) + QStringLiteral(".png")));
            };

            InitTranslation(PYXET_BIN_DIR "/");
            Dialogs::SetAutomatic(true);
            TShotWindows windows(appDir);
            auto& form = windows.Form;
            auto& progress = windows.Progress;
            auto& logForm = windows.LogForm;
            QVERIFY(QTest::qWaitForWindowExposed(form.get()));
            QTRY_VERIFY_WITH_TIMEOUT(form->Devices.DeviceList().size() >= 12, 5000);
            // The second discovery lists the fleet again; one more device answers only now.
            Control<QAction>(*form, "acFind")->trigger();
            QTRY_VERIFY_WITH_TIMEOUT(form->Devices.DeviceList().size() >= 12, 5000);
            QTest::qWait(500);
            auto late = std::make_unique<TLateDevice>();
            TProductInfo& i = late->Info;
            i.TypeCode = 33;  // Orvex Sense TH
            i.Name = "New unit";
            i.MAC = "00:0A:14:1E:28:40";
            i.PeerIP = i.IP = "10.77.1.40";
            i.Mask = "255.255.0.0";
            i.Gateway = "10.77.0.254";
            i.DNS1 = i.DNS2 = "10.77.0.254";
            i.FirmwareRev = "2.1.0";
            i.HTTPPort = 80;
            i.TelnetPort = 23;
            form->AddDevice(std::move(late), form->Settings.OrvexProducts, nullptr);
            QTest::qWait(300);
            form->SelectDevice(RowOf(*form, "Warehouse gate"));
            Dialogs::TakeShownBoxes();
            shoot(*form, "main-window");
            form->SelectDevice(RowOf(*form, "Hall sensor"));  // in the conflict: the note over the picture
            shoot(*form, "main-window-conflict");

            for (const char* name : {"Hall sensor", "Warehouse gate", "Roof weather"}) {
                const int row = RowOf(*form, name);
                QVERIFY2(row >= 0, name);
                Control<QTableView>(*form, "DeviceListBox")->model()->setData(Control<QTableView>(*form, "DeviceListBox")->model()->index(row, 0),
                                                            Qt::Checked, Qt::CheckStateRole);
            }
            Dialogs::QueueFileName((appDir + QStringLiteral("firmware.kri")).toStdString());
            Control<QAction>(*form, "acFirmUpgr")->trigger();
            QTRY_VERIFY_WITH_TIMEOUT(!form->Batches()->BatchRunning(), 20000);
            shoot(*progress, "progress");
            progress->hide();

            // No part of the program logs an answer with "<-" today; one line shows its colour.
            form->LogAction("", "<- Answer from 10.77.1.12 (shown for its colour)", 2);
            logForm->resize(640, 400);
            shoot(*logForm, "log-report");
            logForm->ui()->ActionReport->scrollToTop();  // the discovery's outgoing requests
            shoot(*logForm, "log-report-top");
            logForm->hide();

            windows.Close();
            Dialogs::TakeShownBoxes();
        }
    }
};

QTEST_MAIN(ColourScreenshots)
#include "colour_screenshots.moc"
