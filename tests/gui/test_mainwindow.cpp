// The main window's life: placement, demonstration mode, the start line, closing, and failures
// shown rather than fatal.
#include "gui/app/application.h"
#include "gui/app/dialogs.h"
#include "gui/app/form.h"
#include "pyxetfixture.h"
#include "ui_form.h"

#include <QFileInfo>
#include <QLabel>
#include <QHeaderView>
#include <QTableView>
#include <QToolButton>
#include <QProgressBar>
#include <QScreen>
#include <QScrollBar>
#include <QStyle>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTest>
#include <QWindow>

#include <stdexcept>

Q_DECLARE_METATYPE(std::string)

class TestMainWindow : public QObject {
    Q_OBJECT
    TPyxetFixture F;

private slots:
    void initTestCase() { TPyxetFixture::InitProgram(); }
    void cleanup()
    {
        F.Stop();
        Dialogs::SetDesktopSize({});
    }

    void placement_data()
    {
        QTest::addColumn<QSize>("desktop");
        QTest::addColumn<QSize>("window");
        QTest::addColumn<QPoint>("expected");
        QTest::newRow("800x600: top-left") << QSize(800, 600) << QSize(740, 680) << QPoint(0, 0);
        QTest::newRow("1024x768: centred") << QSize(1024, 768) << QSize(740, 680) << QPoint(142, 29);
        QTest::newRow("odd sizes truncate") << QSize(1025, 769) << QSize(740, 680) << QPoint(142, 29);
        QTest::newRow("801x600: only across") << QSize(801, 600) << QSize(740, 680) << QPoint(30, 0);
        QTest::newRow("800x601: only down") << QSize(800, 601) << QSize(559, 509) << QPoint(0, 31);
        QTest::newRow("taller than desktop") << QSize(1024, 640) << QSize(740, 680) << QPoint(142, 0);
    }
    void placement()
    {
        QFETCH(QSize, desktop);
        QFETCH(QSize, window);
        QFETCH(QPoint, expected);
        QCOMPARE(Dialogs::WindowPosition(desktop, window), expected);
    }

    // The real windows ask the (injected) desktop size when they are built.
    void windowsOpenWhereTheDesktopSays()
    {
        Dialogs::SetDesktopSize({800, 600});
        F.Start({}, false);
        QCOMPARE(F.Form->pos(), QPoint(0, 0));
        QCOMPARE(F.LogForm->pos(), QPoint(0, 0));
        F.Stop();

        Dialogs::SetDesktopSize({1024, 768});
        F.Start({}, false);
        const QSize main = F.Form->size();
        QCOMPARE(F.Form->pos(), QPoint((1024 - main.width()) / 2, (768 - main.height() - 30) / 2));
        QCOMPARE(F.LogForm->pos(), QPoint((1024 - 559) / 2, (768 - 509 - 30) / 2));
    }

    void layout()
    {
        F.Start({}, false);
        QCOMPARE(F.Form->minimumSize(), QSize(740, 565));
        QCOMPARE(Control<QStatusBar>(*F.Form, "StatusBar1")->height(), 20);
        QCOMPARE(Control<TStatusPanel>(*F.Form, "StatusPanel0")->text(), QStringLiteral("Ready"));
        QCOMPARE(Control<TStatusPanel>(*F.Form, "StatusPanel1")->width(), 380);
        {
            // One height for every row, fixed: the view never measures rows one by one.
            QTableView* list = Control<QTableView>(*F.Form, "DeviceListBox");
            QCOMPARE(list->verticalHeader()->sectionResizeMode(0), QHeaderView::Fixed);
            QVERIFY(!list->verticalHeader()->isVisible());
            QCOMPARE(list->selectionBehavior(), QAbstractItemView::SelectRows);
            QVERIFY(!list->tabKeyNavigation());
        }
        QVERIFY(!Control<QCheckBox>(*F.Form, "AllChecked")->isTristate());  // the user never grays it; only the check marks do
        for (QWidget* w : {static_cast<QWidget*>(Control<QPushButton>(*F.Form, "btnRestartDevice")), static_cast<QWidget*>(Control<QPushButton>(*F.Form, "btnSetDefault")),
                           static_cast<QWidget*>(Control<QPushButton>(*F.Form, "btnConfigDevice"))})
            QVERIFY(!w->isEnabled());
        QVERIFY(!Control<QAction>(*F.Form, "acFirmUpgr")->isEnabled());
        QVERIFY(!Control<QAction>(*F.Form, "acBackup")->isEnabled());
        QCOMPARE(Control<QAction>(*F.Form, "acFind")->shortcuts(), (QList<QKeySequence>{QKeySequence(QStringLiteral("Ctrl+N")), QKeySequence(Qt::Key_F5)}));
        QCOMPARE(Control<QAction>(*F.Form, "acExit")->shortcut(), QKeySequence(QStringLiteral("Ctrl+X")));
        QCOMPARE(Control<QAction>(*F.Form, "acHelp")->shortcut(), QKeySequence(QStringLiteral("Ctrl+H")));
        QCOMPARE(Control<QToolButton>(*F.Form, "tbConfig")->menu(), Control<QMenu>(*F.Form, "pmLoadSaveConfig"));
        QCOMPARE(Control<QToolButton>(*F.Form, "tbLanguage")->menu(), Control<QMenu>(*F.Form, "pmSelectLang"));
        // The setup fields are visited in their working order, the globe beside the IP address (Tab
        // skips what takes no focus).
        const char* order[] = {"chbDhcp",         "teDeviceName", "teDeviceIP",   "Image2",     "teDeviceMask",
                               "teDeviceGateway", "teDeviceDNS1", "teDeviceDNS2", "teHTTPPort", "teTelnetPort"};
        for (size_t i = 0; i + 1 < std::size(order); ++i) {
            QWidget* w = F.Form->findChild<QWidget*>(QLatin1String(order[i]))->nextInFocusChain();
            while (!(w->focusPolicy() & Qt::TabFocus))
                w = w->nextInFocusChain();
            QCOMPARE(w->objectName(), QLatin1String(order[i + 1]));
        }
    }

    // Growing the window moves right/bottom-anchored controls and stretches the list.
    void anchorsFollowResize()
    {
        F.Start();
        QTableView* table = Control<QTableView>(*F.Form, "DeviceListBox");
        const QRect list = table->geometry();
        const QRect apply = Control<QPushButton>(*F.Form, "btnConfigDevice")->geometry();
        const QRect setup = Control<QGroupBox>(*F.Form, "GroupBox2")->geometry();
        const QRect counter = Control<QLabel>(*F.Form, "DeviceCounter")->geometry();
        F.Form->resize(F.Form->width() + 100, F.Form->height() + 50);
        QTRY_COMPARE(table->width(), list.width() + 100);
        QCOMPARE(table->height(), list.height() + 50);
        QCOMPARE(Control<QPushButton>(*F.Form, "btnConfigDevice")->geometry(), apply.translated(100, 50));
        QCOMPARE(Control<QGroupBox>(*F.Form, "GroupBox2")->geometry(), setup.translated(0, 50));
        QCOMPARE(Control<QLabel>(*F.Form, "DeviceCounter")->geometry(), counter.translated(0, 50));
        auto* pb = F.Form->findChild<QProgressBar*>(QStringLiteral("pbHTTP"));
        QCOMPARE(pb->geometry().right(), Control<QStatusBar>(*F.Form, "StatusBar1")->width() - 4);
    }

    void demoModeFromTheFirstArgument_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<bool>("demo");
        QTest::newRow("-demo") << QStringList{QStringLiteral("-demo")} << true;
        QTest::newRow("x-demox") << QStringList{QStringLiteral("x-demox")} << true;
        QTest::newRow("-demo2") << QStringList{QStringLiteral("-demo2")} << true;
        QTest::newRow("-DEMO") << QStringList{QStringLiteral("-DEMO")} << false;
        QTest::newRow("second argument") << QStringList{QStringLiteral("x"), QStringLiteral("-demo")} << false;
        QTest::newRow("none") << QStringList{} << false;
    }
    void demoModeFromTheFirstArgument()
    {
        QFETCH(QStringList, arguments);
        QFETCH(bool, demo);
        F.WriteIni("[Logs]\nTime=False\n");
        F.Start(arguments);
        QCOMPARE(F.Form->DemoMode, demo);
        QCOMPARE(F.Form->AppTitle, std::string(demo ? "Pyxet Demo" : "Pyxet"));
        QCOMPARE(F.Form->windowTitle(), QStringLiteral("Pyxet"));  // shown when the caption is next rebuilt
        // The settings line comes first, then the start line.
        QVERIFY(F.Form->ActionLog.size() >= 2);
        QCOMPARE(F.Form->ActionLog[0].Text, std::string(" Loading config from Pyxet.ini"));
        QCOMPARE(F.Form->ActionLog[1].Text, std::string(demo ? " Demo Pyxet started" : " Application Pyxet started"));
        QCOMPARE(F.Form->ActionLog[1].Level, int(LOG_INFO));
        if (demo) {
            // Find Devices only shows the device panel: the start line stays the last one.
            QCOMPARE(F.Form->ActionLog.size(), size_t(2));
            QCOMPARE(Control<TStatusPanel>(*F.Form, "StatusPanel0")->text(), QStringLiteral("Demo Pyxet Started"));
        } else {
            // A discovery cycle follows at once and writes its own caption.
            QVERIFY(F.Form->ActionLog.size() >= 3);
            QCOMPARE(F.Form->ActionLog[2].Text, std::string(" Finding devices. Please wait."));
        }
        // Demonstration mode offers the device commands without any device.
        QCOMPARE(Control<QAction>(*F.Form, "acFirmUpgr")->isEnabled(), demo);
        QCOMPARE(Control<QAction>(*F.Form, "acBackup")->isEnabled(), demo);
        QCOMPARE(Control<QToolButton>(*F.Form, "tbConfig")->isEnabled(), demo);
        QCOMPARE(Control<QPushButton>(*F.Form, "btnSetDefault")->isEnabled(), demo);
        QCOMPARE(Control<QPushButton>(*F.Form, "btnRestartDevice")->isEnabled(), demo);
        QVERIFY(!Control<QPushButton>(*F.Form, "btnConfigDevice")->isEnabled());
        // The Log Report window got the same lines.
        QCOMPARE(F.LogForm->ActionReport().size(), F.Form->ActionLog.size());
    }

    // With time stamps on (the default), the first line still has none: the switch is read
    // from the file that line reports on.
    void firstLineNeverStamped()
    {
        F.Start();
        QVERIFY(F.Form->Logger.TimeStamps);
        QCOMPARE(F.Form->ActionLog[0].Text, std::string(" Loading config from Pyxet.ini"));
        const std::string& start = F.Form->ActionLog[1].Text;
        QVERIFY2(start.rfind(" [", 0) == 0, start.c_str());
        const std::string tail = "]   Application Pyxet started";
        QVERIFY2(start.size() > tail.size() + 2 && start.compare(start.size() - tail.size(), tail.size(), tail) == 0,
                 start.c_str());
    }

    void f5InDemoModeChangesNothing()
    {
        F.Start({QStringLiteral("-demo")});
        F.Form->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(F.Form.get()));
        const size_t lines = F.Form->ActionLog.size();
        const QString status = Control<TStatusPanel>(*F.Form, "StatusPanel0")->text();
        QTest::keyClick(F.Form.get(), Qt::Key_F5);
        QTest::keyClick(F.Form.get(), Qt::Key_N, Qt::ControlModifier);
        QCOMPARE(F.Form->ActionLog.size(), lines);
        QCOMPARE(Control<TStatusPanel>(*F.Form, "StatusPanel0")->text(), status);
        QVERIFY(Control<QWidget>(*F.Form, "pDevices")->isVisible());
    }

    void closingSavesOnce_data()
    {
        QTest::addColumn<int>("route");
        QTest::newRow("Exit action") << 0;
        QTest::newRow("Ctrl+X") << 1;
        QTest::newRow("close box") << 2;
    }
    void closingSavesOnce()
    {
        QFETCH(int, route);
        F.Start();
        QSignalSpy closed(F.Form.get(), &TPyxetForm::FormClosed);
        switch (route) {
        case 0:
            Control<QAction>(*F.Form, "acExit")->trigger();
            break;
        case 1:
            F.Form->activateWindow();
            QVERIFY(QTest::qWaitForWindowActive(F.Form.get()));
            QTest::keyClick(F.Form.get(), Qt::Key_X, Qt::ControlModifier);
            break;
        case 2:
            F.Form->windowHandle()->close();  // what the window manager's close box does
            break;
        }
        QTRY_VERIFY(!F.Form->isVisible());
        QCOMPARE(closed.count(), 1);
        QCOMPARE(F.Form->SettingsSaves(), 1);
        const QString ini = F.ReadIni();
        for (const char* key : {"Time=True", "Lang=en", "Orvex=", "HWG=0=Unknown,2=Damocles+2404"})
            QVERIFY2(ini.contains(QLatin1String(key)), key);
        // A second close (the program ending) does not write again.
        F.Form->close();
        QCOMPARE(F.Form->SettingsSaves(), 1);
        QVERIFY(Dialogs::TakeShownBoxes().empty());
    }

    // The place and size go into [Window] once the user changes them, and are used next time.
    void windowPlaceKeptOnceChanged()
    {
        F.Start();
        const QSize designed = F.Form->size();
        F.Form->close();
        QVERIFY2(!F.ReadIni().contains(QStringLiteral("[Window]")), "unchanged: not written");
        F.LogForm.reset();
        F.Form.reset();

        // Started again on the same file: moved and resized by the user.
        F.Start();
        QCOMPARE(F.Form->size(), designed);
        F.Form->resize(designed.width() + 120, designed.height() + 40);
        F.Form->move(37, 41);
        QTRY_COMPARE(F.Form->pos(), QPoint(37, 41));
        F.Form->close();
        QString ini = F.ReadIni();
        for (const QString& key : {QStringLiteral("Left=37"), QStringLiteral("Top=41"),
                                   QStringLiteral("Width=%1").arg(designed.width() + 120),
                                   QStringLiteral("Height=%1").arg(designed.height() + 40)})
            QVERIFY2(ini.contains(key), qPrintable(ini));
        F.LogForm.reset();
        F.Form.reset();

        // Next time it opens there; closing without a change keeps the keys as they are.
        F.Start();
        QCOMPARE(F.Form->pos(), QPoint(37, 41));
        QCOMPARE(F.Form->size(), QSize(designed.width() + 120, designed.height() + 40));
        F.Form->close();
        QCOMPARE(F.ReadIni(), ini);
        F.LogForm.reset();
        F.Form.reset();

        // A place on no screen (a monitor gone since): the size stays, the window is centred.
        F.WriteIni("[Window]\nLeft=60000\nTop=60000\nWidth=900\nHeight=700\n");
        F.Start();
        QCOMPARE(F.Form->size(), QSize(900, 700));
        QVERIFY(F.Form->screen()->availableGeometry().contains(F.Form->pos()));
    }

    // At the designed size the list shows every column whole, the firmware revision's included,
    // with room for the scroll bar.
    void defaultWidthShowsEveryColumn()
    {
        F.Start();
        QTableView* list = Control<QTableView>(*F.Form, "DeviceListBox");
        QHeaderView* header = list->horizontalHeader();
        const int last = header->count() - 1;
        const int right = header->sectionViewportPosition(last) + header->sectionSize(last);
        const int room = list->viewport()->width()
            - (list->verticalScrollBar()->isVisible() ? 0 : list->style()->pixelMetric(QStyle::PM_ScrollBarExtent));
        QVERIFY2(right <= room, qPrintable(QStringLiteral("%1 > %2").arg(right).arg(room)));
        // Each caption whole in its section.
        for (int c = 0; c <= last; ++c)
            QVERIFY(header->fontMetrics().horizontalAdvance(list->model()->headerData(c, Qt::Horizontal).toString())
                    < header->sectionSize(c));
        QVERIFY(F.Form->width() >= 738);
    }

    // The list's column widths: kept as [Window] Columns once the user sizes a column, read back
    // at the next start; a value that is not five good widths leaves the list's own.
    void columnWidthsKeptAcrossARestart()
    {
        const auto widths = [this] {
            QHeaderView* header = Control<QHeaderView>(*F.Form, "DeviceListHeader");
            QList<int> sizes;
            for (int c = 0; c < header->count(); ++c)
                sizes << header->sectionSize(c);
            return sizes;
        };
        F.Start();
        const QList<int> defaults = widths();
        QCOMPARE(defaults.size(), 5);
        F.Form->close();
        QVERIFY2(!F.ReadIni().contains(QStringLiteral("Columns")), "not written before the user sizes a column");

        F.Start();
        Control<QHeaderView>(*F.Form, "DeviceListHeader")->resizeSection(1, 260);
        F.Form->close();
        QList<int> sized = defaults;
        sized[1] = 260;
        const QString kept = QStringLiteral("Columns=%1,260,%2,%3,%4").arg(defaults[0]).arg(defaults[2]).arg(defaults[3]).arg(defaults[4]);
        QVERIFY2(F.ReadIni().contains(kept), qPrintable(F.ReadIni()));
        F.Start();
        QCOMPARE(widths(), sized);
        F.Form->close();
        QVERIFY2(F.ReadIni().contains(kept), "kept as read");

        const struct {
            const char* Value;
            const char* Why;
        } bad[] = {
            {"abc", "no number"},
            {"90,200,120,100", "one too few"},
            {"90,200,120,100,100,100", "one too many"},
            {"90,0,120,100,100", "a width of 0"},
            {"90,-5,120,100,100", "a negative width"},
            {"90,,120,100,100", "an empty width"},
            {"90,200,120,100,99999999999", "a number too large"},
            {"90;200;120;100;100", "not separated by commas"},
        };
        for (const auto& b : bad) {
            F.WriteIni(qPrintable(QStringLiteral("[Window]\nColumns=%1\n").arg(QLatin1String(b.Value))));
            F.Start();
            QVERIFY2(widths() == defaults, b.Why);
            F.Form.reset();
        }
        F.WriteIni("[Window]\nColumns= 90, 200 ,120,100,100\n");  // blanks around the numbers
        F.Start();
        QCOMPARE(widths(), (QList<int>{90, 200, 120, 100, 100}));
    }

    void failedSaveIsShownAndClosingGoesOn()
    {
        // A program folder that cannot hold a file, whoever runs the test.
        F.Form = std::make_unique<TPyxetForm>(QStringList{}, F.AppDir() + "missing/");
        F.Form->show();
        QVERIFY(QTest::qWaitForWindowExposed(F.Form.get()));
        F.Form->close();
        QVERIFY(!F.Form->isVisible());
        const auto boxes = Dialogs::TakeShownBoxes();
        QCOMPARE(boxes.size(), size_t(1));
        QVERIFY(boxes[0].Kind == Dialogs::TBoxKind::Error);
        QCOMPARE(boxes[0].Text, "Unable to write to " + F.AppDir() + "missing/Pyxet.ini");
    }

    // A file with CR CR LF line ends: its values are honoured and the close saves it quietly.
    void carriageReturnsBeforeLineEndsDoNotBlockTheSave()
    {
        F.WriteIni("[Logs]\r\r\nTime=False\r\r\n[Setup]\r\r\nLang=en\r\r\n");
        F.Start();
        QVERIFY(!F.Form->Logger.TimeStamps);
        F.Form->close();
        QVERIFY(Dialogs::TakeShownBoxes().empty());
        const QString ini = F.ReadIni();
        QVERIFY2(ini.startsWith(QLatin1String("[Logs]\r\r\nTime=False\r\r\n[Setup]\r\r\nLang=en\r\r\n")), qPrintable(ini));
        QVERIFY(ini.contains(QLatin1String("\r\nHWG=0=Unknown,")));
    }

    // A Pyxet.ini its owner made read-only (also for root, as in CI) is kept, and the close says
    // so as for any failed write.
    void readOnlyFileIsKeptAndTheCloseSaysSo()
    {
        F.WriteIni("[Logs]\nTime=False\n");
        QVERIFY(QFile::setPermissions(F.IniPath(), QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));
        F.Start();
        F.Form->close();
        const auto boxes = Dialogs::TakeShownBoxes();
        QCOMPARE(boxes.size(), size_t(1));
        QVERIFY(boxes[0].Kind == Dialogs::TBoxKind::Error);
        QCOMPARE(boxes[0].Text, "Unable to write to " + F.AppDir() + "Pyxet.ini");
        QCOMPARE(F.ReadIni(), QStringLiteral("[Logs]\nTime=False\n"));
    }

    // Above 16 MiB the file is not read: an ERROR line at start, and the reason in the box at exit.
    void fileTooLargeIsReportedAtStartAndAtExit()
    {
        F.WriteIni("[Logs]\nTime=False\n[Pad]\nx=");
        const qint64 size = 16 * 1024 * 1024 + 1;
        QVERIFY(QFile::resize(F.IniPath(), size));
        F.Start();
        QVERIFY2(F.Form->Logger.TimeStamps, "the file's values are not applied");
        const std::string reason = "The file is larger than 16 MiB and cannot be read.";
        QVERIFY(F.Form->ActionLog.size() >= 2);
        QCOMPARE(F.Form->ActionLog[1].Text, " " + F.AppDir() + "Pyxet.ini: " + reason);
        QCOMPARE(F.Form->ActionLog[1].Level, int(LOG_ERROR));
        F.Form->close();
        const auto boxes = Dialogs::TakeShownBoxes();
        QCOMPARE(boxes.size(), size_t(1));
        QVERIFY(boxes[0].Kind == Dialogs::TBoxKind::Error);
        QCOMPARE(boxes[0].Text, "Unable to write to " + F.AppDir() + "Pyxet.ini\n" + reason);
        QCOMPARE(QFileInfo(F.IniPath()).size(), size);
    }

    void logReportMenuShowsTheWindowWithoutBlocking()
    {
        F.Start();
        Control<QAction>(*F.Form, "mActionReport")->trigger();
        QVERIFY(F.LogForm->isVisible());
        QVERIFY(!F.LogForm->isModal());
        QCOMPARE(F.LogForm->ActionReport().size(), F.Form->ActionLog.size());
    }

    // A failure escaping an event handler is shown, and the program carries on.
    void exceptionInAHandlerIsShown()
    {
        struct TThrower : QObject {
            bool event(QEvent* e) override
            {
                if (e->type() == QEvent::User)
                    throw std::runtime_error("handler failed");
                return QObject::event(e);
            }
        } thrower;
        QEvent event(QEvent::User);
        QCOMPARE(QCoreApplication::sendEvent(&thrower, &event), false);
        const auto boxes = Dialogs::TakeShownBoxes();
        QCOMPARE(boxes.size(), size_t(1));
        QCOMPARE(boxes[0].Text, std::string("handler failed"));
        QEvent again(QEvent::User);
        QCoreApplication::sendEvent(&thrower, &again);
        QCOMPARE(Dialogs::TakeShownBoxes().size(), size_t(1));
    }
};

int main(int argc, char** argv)
{
    TPyxetApplication app(argc, argv);
    TestMainWindow test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_mainwindow.moc"
