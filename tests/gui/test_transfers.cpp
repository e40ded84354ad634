// The transfer windows without a device to talk to: the progress window's lines and their looks
// in English and Czech, the line a transfer replaces, the window kept above the program's other
// windows, the upgrade and login dialogs, the controls a batch locks, and the batch commands'
// paths that send nothing (no device checked, cancelled dialogs, a missing configuration file).
#include "../fiforescue.h"
#include "transferfixture.h"
#include "wrappedlines.h"

#include "core/app/i18n.h"
#include "core/http/progresslook.h"
#include "core/log/format.h"
#include "gui/devices/findat.h"
#include "gui/log/logrep.h"
#include "gui/windows/about.h"
#include "gui/windows/help.h"
#include "ui_form.h"
#include "ui_login.h"
#include "ui_logrep.h"
#include "ui_progressinfo.h"
#include "ui_upgrade.h"

#include <QActionGroup>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <sys/stat.h>

#include <functional>
#include <utility>

// Keeps the stacking order of the program's windows as a window manager does: a window goes to
// the top when it is shown, raised, activated or clicked, and leaves the stack when it is hidden.
class TStackWatch : public QObject {
public:
    TStackWatch() { qApp->installEventFilter(this); }
    ~TStackWatch() override { qApp->removeEventFilter(this); }
    QWidget* Top() const { return Stack.empty() ? nullptr : Stack.back(); }
    // Whether `upper` lies above `lower` (both visible).
    bool Above(QWidget* upper, QWidget* lower) const
    {
        const auto u = std::find(Stack.begin(), Stack.end(), upper), l = std::find(Stack.begin(), Stack.end(), lower);
        return u != Stack.end() && l != Stack.end() && u > l;
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (!watched->isWidgetType())
            return false;
        auto* window = static_cast<QWidget*>(watched);
        if (event->type() == QEvent::MouseButtonPress)
            window = window->window();
        else if (!window->isWindow())
            return false;
        if (window->windowType() == Qt::Popup || window->windowType() == Qt::ToolTip)
            return false;
        switch (event->type()) {
        case QEvent::Show:
        case QEvent::MouseButtonPress:
        case QEvent::ZOrderChange:
        case QEvent::WindowActivate:
            Stack.erase(std::remove(Stack.begin(), Stack.end(), window), Stack.end());
            Stack.push_back(window);
            break;
        case QEvent::Hide:
        case QEvent::Destroy:
            Stack.erase(std::remove(Stack.begin(), Stack.end(), window), Stack.end());
            break;
        default:
            break;
        }
        return false;
    }

private:
    std::vector<QWidget*> Stack;
};



class TestTransfers : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        InitTranslation(PYXET_BIN_DIR "/");
        Dialogs::SetAutomatic(true);
    }
    void init() { UseLanguage("en"); }
    void cleanup()
    {
        UseLanguage("en");
        Dialogs::SetDesktopSize({});
        Dialogs::TakeShownBoxes();
    }

    void ProgressColoursInEnglishAndCzech()
    {
        for (const char* language : {"en", "cs"}) {
            UseLanguage(language);
            TProgressInfoForm window;
            window.Open("Backup Configuration");
            QVERIFY(QTest::qWaitForWindowExposed(&window));
            const std::string device = "Hall sensor  (10.77.1.20)";
            window.AddLine(device);
            window.AddLine(_("Sending request..."));
            window.AddLine(std::string(_("Backup")) + _(" Succeeded"));
            window.AddLine(std::string(_("Backup")) + _(" Failed"));
            window.AddLine(std::string(42, '-'));
            window.AddLine(_("Processes Summary:"));
            window.AddLine(_("Upgrade unsuccessful."));
            window.AddLine("Hall sensor  10.77.1.20");
            if (std::string(language) == "cs")
                QVERIFY2(window.Lines()[2] != "Backup Succeeded", "the Czech catalogue is used");
            const QRgb black = 0x000000, green = kProgressGreen, red = kProgressRed;
            const char* where = language;
            // Result lines: green or red, never both, no black text.
            QVERIFY2(ProgressPixels(window, 2, green) > 20, where);
            QCOMPARE(ProgressPixels(window, 2, red), 0);
            QCOMPARE(ProgressDarkPixels(window, 2), 0);
            QVERIFY2(ProgressPixels(window, 3, red) > 20, where);
            QCOMPARE(ProgressPixels(window, 3, green), 0);
            // The plain lines are black.
            for (int row : {0, 1, 4, 5, 6}) {
                QVERIFY2(ProgressDarkPixels(window, row) > 10, where);
                QCOMPARE(ProgressPixels(window, row, green) + ProgressPixels(window, row, red), 0);
            }
            // The summary heading is underlined: one black line across its whole text.
            QVERIFY2(ProgressLongestRun(window, 5, black) > 60, where);
            QVERIFY2(ProgressLongestRun(window, 0, black) < 20, "the device line is not underlined");
            // The device line is bold: more black than the same text without the parenthesis.
            QVERIFY2(ProgressDarkPixels(window, 0) > ProgressDarkPixels(window, 7) + 20, where);
            // Every row lies on cream, the selected last one too.
            QCOMPARE(window.SelectedLine(), 7);
            for (int row = 0; row < 8; ++row)
                QVERIFY2(ProgressPixels(window, row, kProgressBackground) > 100, where);
            if (const char* shots = std::getenv("PYXET_SHOTS"))
                window.grab().save(QString::fromLocal8Bit(shots) + QStringLiteral("/progress-%1.png").arg(QLatin1String(language)));
        }
    }

    void ProgressWindowKeepsItsLinesWhileOpen()
    {
        TProgressInfoForm window;
        window.Open("First");
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        window.AddLine("Alpha  (10.0.0.1)");
        window.AddLine("Uploading...");
        window.ReplaceLine("Uploading...  1");
        window.ReplaceLine("Uploading...  2");
        QCOMPARE(window.Lines(), (std::vector<std::string>{"Alpha  (10.0.0.1)", "Uploading...  2"}));
        QCOMPARE(window.SelectedLine(), 1);
        // Opened again while visible: the new caption, the lines stay.
        window.Open("Second");
        QCOMPARE(window.windowTitle(), QStringLiteral("Second"));
        QCOMPARE(window.Lines().size(), size_t(2));
        window.AddLine("next");
        QCOMPARE(window.Lines().back(), std::string("next"));
        // After "Ok" the next command starts with an empty list.
        QTest::mouseClick(window.ui()->Button1, Qt::LeftButton);
        QVERIFY(!window.isVisible());
        QCOMPARE(window.Lines().size(), size_t(3));
        window.Open("Third");
        QVERIFY(window.Lines().empty());
        QCOMPARE(window.windowTitle(), QStringLiteral("Third"));
        // A click on another line changes no look.
        window.AddLine("Backup Succeeded");
        window.AddLine("Backup Failed");
        const int green = ProgressPixels(window, 0, kProgressGreen);
        QTest::mouseClick(window.ui()->ListBox1->viewport(), Qt::LeftButton, {},
                          window.ui()->ListBox1->visualItemRect(window.ui()->ListBox1->item(0)).center());
        QCOMPARE(window.SelectedLine(), 0);
        QCOMPARE(ProgressPixels(window, 0, kProgressGreen), green);
    }

    void ReplacedLineIsTheLastAddedWhateverTheUserClicked()
    {
        TProgressInfoForm window;
        window.Open("Upgrade Firmware");
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        window.AddLine("Alpha  (10.0.0.1)");
        window.AddLine("Uploading...");
        window.ReplaceLine("Uploading...  1.0 kB/s");
        // The user clicks the device line while the upload runs.
        QListWidget* list = window.ui()->ListBox1;
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(0)).center());
        QCOMPARE(window.SelectedLine(), 0);
        window.ReplaceLine("Uploading...  2.0 kB/s");
        window.ReplaceLine("Upgrade successful.");
        QCOMPARE(window.Lines(), (std::vector<std::string>{"Alpha  (10.0.0.1)", "Upgrade successful."}));
        // The next device's lines follow, and replacing goes on with its own last line.
        window.AddLine("Bravo  (10.0.0.2)");
        window.AddLine("Uploading...");
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(1)).center());
        window.ReplaceLine("Upgrade unsuccessful.");
        QCOMPARE(window.Lines(), (std::vector<std::string>{"Alpha  (10.0.0.1)", "Upgrade successful.",
                                                           "Bravo  (10.0.0.2)", "Upgrade unsuccessful."}));
        // A window shown again starts empty: nothing to replace until a line is added.
        window.hide();
        window.Open("Upgrade Firmware");
        window.ReplaceLine("stray");
        QVERIFY(window.Lines().empty());
        window.AddLine("Charlie  (10.0.0.3)");
        window.ReplaceLine("Sending request...");
        QCOMPARE(window.Lines(), std::vector<std::string>{"Sending request..."});
    }

    // A failed device's reason: under the list while a line of its block is selected, and in
    // the tool tips of its lines under the line itself; nothing more for a device that succeeded
    // or for the summary.
    void FailureReasonFollowsTheSelectedLine()
    {
        TProgressInfoForm window;
        window.Open("Upgrade Firmware");
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QListWidget* list = window.ui()->ListBox1;
        // The reason line lies under the list, clear of the button row.
        const QRect reasonBox = window.ui()->ReasonLabel->geometry();
        QVERIFY(reasonBox.top() >= list->geometry().bottom());
        QVERIFY(reasonBox.bottom() < window.ui()->Button1->geometry().top());
        const std::string longReason = "HTTP/1.1 500 " + std::string(200, 'x');
        for (const auto& [device, reason] : std::vector<std::pair<std::string, std::string>>{
                 {"Alpha  (10.0.0.1)", "HTTP/1.1 500 Internal Server Error"},
                 {"Bravo  (10.0.0.2)", ""},
                 {"Charlie  (10.0.0.3)", longReason}}) {
            window.AddLine(device);
            window.AddLine("Uploading...");
            window.ReplaceLine(reason.empty() ? "Upgrade successful." : "Upgrade unsuccessful.");
            window.AddLine(reason.empty() ? "Upgrade Succeeded" : "Upgrade Failed");
            window.AddLine(std::string(42, '-'));
            window.EndDevice(reason);
            // The last line added is selected: the block just ended shows its reason.
            QCOMPARE(window.ReasonText(), reason.empty() ? std::string() : "Reason: " + reason);
        }
        window.AddLine("Processes Summary:");
        QCOMPARE(window.ReasonText(), std::string());
        QCOMPARE(window.ui()->ReasonLabel->text(), QString());
        for (int row = 0; row < 12; ++row) {
            list->setCurrentRow(row);
            const std::string want = row < 4 ? "HTTP/1.1 500 Internal Server Error" : row < 8 ? "" : longReason;
            QCOMPARE(window.ReasonText(), want.empty() ? std::string() : "Reason: " + want);
            QCOMPARE(list->item(row)->toolTip().toStdString(),
                     window.Lines()[size_t(row)] + (want.empty() ? std::string() : "\nReason: " + want));
        }
        // A long reason is cut to the label's width; its tool tip has it whole.
        QLabel* label = window.ui()->ReasonLabel;
        QVERIFY(label->fontMetrics().horizontalAdvance(label->text()) <= label->width());
        QVERIFY(label->text().endsWith(QChar(0x2026)));
        QCOMPARE(label->toolTip().toStdString(), "Reason: " + longReason);
        QCOMPARE(window.Lines().at(1), std::string("Upgrade unsuccessful."));  // the lines stay
        // A click chooses the line too.
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(2)).center());
        QCOMPARE(window.ReasonText(), std::string("Reason: HTTP/1.1 500 Internal Server Error"));
        // A second batch in the open window: its blocks begin after the old summary.
        window.Open("Backup Configuration");
        window.AddLine("Delta  (10.0.0.4)");
        window.AddLine("Sending request...");
        window.EndDevice("Connection refused");
        list->setCurrentRow(12);
        QCOMPARE(window.ReasonText(), std::string());
        list->setCurrentRow(13);
        QCOMPARE(window.ReasonText(), std::string("Reason: Connection refused"));
        // Shown again: empty, no reason left.
        window.hide();
        window.Open("Upgrade Firmware");
        QCOMPARE(window.ReasonText(), std::string());
        window.AddLine("Echo  (10.0.0.5)");
        window.EndDevice("");
        QCOMPARE(list->item(0)->toolTip(), QStringLiteral("Echo  (10.0.0.5)"));
    }

    // Lines longer than the window read whole: the list scrolls sideways to the end of the
    // longest (one added later than a short first line, or a line replaced), and each tool tip
    // holds its line. The window opens at its designed size and can be enlarged; the list widens
    // with it, until the scroll bar is needed no more.
    void LongLinesReadWhole()
    {
        TProgressInfoForm window;
        window.Open("Upgrade Firmware");
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QCOMPARE(window.size(), QSize(309, 348));
        QVERIFY(window.minimumSize() != window.maximumSize());
        QListWidget* list = window.ui()->ListBox1;
        QScrollBar* bar = list->horizontalScrollBar();
        window.AddLine("Alpha  (10.0.0.1)");
        window.AddLine("Upgrade Succeeded");
        QTRY_VERIFY(list->viewport()->width() > 0);
        QCOMPARE(bar->maximum(), 0);
        const std::string reason = "the device did not come back with a new firmware revision within 120 s";
        const std::string line = "Not verified: " + reason;
        window.AddLine("Waiting for the new firmware...");
        window.ReplaceLine(line);
        window.EndDevice(reason);
        const QString shown = QString::fromStdString(line);
        QFont bold = list->font();
        bold.setBold(true);
        const int lineWidth = QFontMetrics(bold).horizontalAdvance(shown);
        QTRY_VERIFY(bar->maximum() > 0);
        QVERIFY(bar->isVisible());
        // Scrolled to its end, the whole line is in view.
        QVERIFY2(bar->maximum() + list->viewport()->width() >= lineWidth,
                 qPrintable(QStringLiteral("%1 + %2 < %3").arg(bar->maximum()).arg(list->viewport()->width()).arg(lineWidth)));
        QCOMPARE(list->item(2)->toolTip(), shown + QStringLiteral("\nReason: ") + QString::fromStdString(reason));
        QCOMPARE(list->item(0)->toolTip(), QStringLiteral("Alpha  (10.0.0.1)\nReason: ") + QString::fromStdString(reason));
        // The next device's short lines change nothing; its tool tips are its lines alone.
        window.AddLine("Bravo  (10.0.0.2)");
        window.EndDevice("");
        QCOMPARE(list->item(3)->toolTip(), QStringLiteral("Bravo  (10.0.0.2)"));
        QVERIFY(bar->maximum() + list->viewport()->width() >= lineWidth);

        const int listWidth = list->width();
        const QSize larger(lineWidth + 200, 500);
        window.resize(larger);
        QTRY_COMPARE(window.size(), larger);
        QTRY_COMPARE(list->width(), listWidth + larger.width() - 309);
        QVERIFY(list->height() > 313);
        QTRY_COMPARE(bar->maximum(), 0);
        QVERIFY(!bar->isVisible());
    }

    // The count beside the buttons wraps only after a comma, at whatever width: "left: 4" never
    // breaks; the text given stays as it was.
    void CountLineKeepsEachNumberWithItsWord()
    {
        TProgressInfoForm window;
        window.Open("Backup Configuration");
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        for (const char* language : {"en", "cs"}) {
            UseLanguage(language);
            const std::string given = Format(_("Done: %d, running: %d, left: %d"), 12, 16, 4);
            window.SetCount(given);
            QCOMPARE(window.CountText(), given);
            const QLabel* count = window.ui()->CountLabel;
            const QString text = count->text();
            const int full = QFontMetrics(count->font()).horizontalAdvance(text);
            QList<int> widths{count->contentsRect().width()};
            for (int width = full; width > full / 4; width -= 2)
                widths << width;
            int wrapped = 0;
            for (int width : widths) {
                const QList<int> starts = WrappedLineStarts(text, count->font(), width);
                wrapped += starts.size() > 1 ? 1 : 0;
                for (int start : starts.mid(1))
                    QVERIFY2(text.mid(0, start).endsWith(QStringLiteral(", ")),
                             qPrintable(QStringLiteral("at %1 pixels a line starts at \"%2\"").arg(width).arg(text.mid(start))));
            }
            QVERIFY(wrapped > 0);
        }
        UseLanguage("en");
    }

    void BatchLocksWhatChangesTheDevicesRowsOrSelection()
    {
        TTransferWindow w;
        auto watched = std::make_unique<TWatchedProgress>();
        w.Form().Progress = watched.get();
        w.Window.Add({.Name = "Alpha", .MAC = "00:0A:59:00:00:01", .PeerIP = "10.0.0.1"});
        w.Window.Add({.Name = "Bravo", .MAC = "00:0A:59:00:00:02", .PeerIP = "10.0.0.2"});
        w.Check({"Alpha", "Bravo"});
        w.Form().SelectDevice(1);
        TProduct* selected = w.Window.Panel()->ShownDevice();
        QVERIFY(selected);
        w.Form().RebuildFindMenu();
        const std::vector<std::pair<const char*, QObject*>> controls = {
            {"Find Devices", Control<QAction>(w.Main(), "acFind")},         {"Find at Addresses...", Control<QAction>(w.Main(), "acFindAt")},
            {"tbFind", Control<QToolButton>(w.Form(), "tbFind")},          {"the Find drop-down", Control<QMenu>(w.Form(), "pmFind")},
            {"the type filter", Control<QComboBox>(w.Main(), "DeviceFilter")}, {"the search field", Control<QLineEdit>(w.Main(), "teSearch")},
            {"the list's header", w.Window.Header()}, {"the list", w.Window.List()},
            {"All", Control<QCheckBox>(w.Main(), "AllChecked")},              {"Upgrade Firmware...", Control<QAction>(w.Main(), "acFirmUpgr")},
            {"Configuration", Control<QAction>(w.Main(), "acBackup")},      {"Restore Selected", Control<QAction>(w.Main(), "RestoreConfig")},
            {"Apply Changes", Control<QPushButton>(w.Main(), "btnConfigDevice")}, {"Restart Device", Control<QPushButton>(w.Main(), "btnRestartDevice")},
            {"the setup fields", Control<QGroupBox>(w.Main(), "GroupBox2")},
        };
        std::vector<bool> before;
        for (const auto& [name, control] : controls)
            before.push_back(control->property("enabled").toBool());
        QVERIFY(Control<QAction>(w.Main(), "acFindAt")->isEnabled() && Control<QLineEdit>(w.Main(), "teSearch")->isEnabled() && w.Window.Header()->isEnabled());

        bool ran = false;
        watched->OnLine = [&] {
            ran = true;
            for (const auto& [name, control] : controls)
                QVERIFY2(!control->property("enabled").toBool(), name);
            for (QAction* choice : Control<QActionGroup>(w.Form(), "FindInterfaces")->actions())
                QVERIFY2(!choice->isEnabled(), "an interface of the Find drop-down");
            // Whatever reaches the commands while the batch holds the window does nothing.
            Control<QAction>(w.Main(), "acFindAt")->trigger();
            Control<QAction>(w.Main(), "acFind")->trigger();
            w.Form().acFindAtExecute();
            w.Form().acFindExecute();
            w.Window.ClickColumn(1);
            QTest::keyClicks(Control<QLineEdit>(w.Main(), "teSearch"), QStringLiteral("Alpha"));
            QCOMPARE(w.Window.Names(), (QStringList{QStringLiteral("Alpha"), QStringLiteral("Bravo")}));
            QCOMPARE(w.Window.Panel()->ShownDevice(), selected);
        };
        TFindAtForm::QueueText("10.0.0.9");  // were the dialog asked, it would search
        w.Form().ActionLog.clear();
        Control<QAction>(w.Form(), "RestoreConfig")->trigger();
        QVERIFY(w.Finish());
        QVERIFY(ran);
        if (QTest::currentTestFailed())
            return;
        // The batch ran over both devices with nothing in between, and every control is back.
        QCOMPARE(w.Log(), (std::vector<std::string>{"Process restore starting.", "Restore data from 10.0.0.1 starting.",
                                                    "Restore data from 10.0.0.2 starting.", "Restore process finished."}));
        QCOMPARE(w.Window.Names(), (QStringList{QStringLiteral("Alpha"), QStringLiteral("Bravo")}));
        QCOMPARE(w.Window.Panel()->ShownDevice(), selected);
        QVERIFY(Control<QLineEdit>(w.Main(), "teSearch")->text().isEmpty());
        for (size_t i = 0; i < controls.size(); ++i)
            QVERIFY2(controls[i].second->property("enabled").toBool() == before[i], controls[i].first);
        for (QAction* choice : Control<QActionGroup>(w.Form(), "FindInterfaces")->actions())
            QVERIFY(choice->isEnabled());
        // And they work again.
        QTest::keyClicks(Control<QLineEdit>(w.Form(), "teSearch"), QStringLiteral("Bravo"));
        QCOMPARE(w.Window.Names(), QStringList{QStringLiteral("Bravo")});
    }

    void ProgressWindowStaysAboveTheProgramsOtherWindows()
    {
        TTransferWindow w;
        TStackWatch stack;
        TLogActionForm logReport;
        TAboutBox about;
        w.Form().LogReport = &logReport;
        w.Form().About = &about;
        QWidget* const progress = w.Progress.get();
        w.Progress->Open("Restore Configuration");
        QVERIFY(QTest::qWaitForWindowExposed(progress));
        QTRY_COMPARE(stack.Top(), progress);

        // The Log Report opened from the menu while the window shows a batch's lines.
        Control<QAction>(w.Form(), "mActionReport")->trigger();
        QVERIFY(QTest::qWaitForWindowExposed(&logReport));
        QTRY_COMPARE(stack.Top(), progress);
        QVERIFY(stack.Above(progress, &logReport));
        // Clicked while it is the active window, it goes under again.
        QVERIFY(logReport.isActiveWindow());
        QTest::mouseClick(logReport.ui()->ActionReport->viewport(), Qt::LeftButton);
        QTRY_COMPARE(stack.Top(), progress);

        // The help window.
        THelpWindow* help = OpenHelpWindow(&w.Form(), PYXET_BIN_DIR "/locale/en/Pyxet.chm");
        QVERIFY(help);
        QVERIFY(QTest::qWaitForWindowExposed(help));
        QTRY_COMPARE(stack.Top(), progress);
        QVERIFY(stack.Above(progress, help));

        // The about box (modal): looked at while it is open, then closed whatever was seen.
        // It opens beside the progress window, so that it is never hidden under it.
        bool aboutUnder = false;
        bool aboutBeside = false;
        QTimer::singleShot(0, &about, [&] {
            (void)QTest::qWaitFor([&] { return about.isVisible(); }, 5000);
            aboutUnder = QTest::qWaitFor([&] { return stack.Top() == progress && stack.Above(progress, &about); }, 5000);
            aboutBeside = !about.frameGeometry().intersects(progress->frameGeometry());
            about.reject();
        });
        Control<QAction>(w.Form(), "mAbout")->trigger();
        QVERIFY2(aboutUnder, "the about box stays under the progress window");
        QVERIFY2(aboutBeside, "the about box opens beside the progress window");

        // The batch's own dialogs stand above it: the login dialog and a question.
        w.Login->show();
        QVERIFY(QTest::qWaitForWindowExposed(w.Login.get()));
        QTest::qWait(50);  // time for a raise, were one to come
        QCOMPARE(stack.Top(), static_cast<QWidget*>(w.Login.get()));
        w.Login->hide();
        QTRY_COMPARE(stack.Top(), progress);
        Dialogs::SetAutomatic(false);
        bool boxOnTop = false;
        QTimer::singleShot(0, &w.Form(), [&] {
            (void)QTest::qWaitFor([] { return qobject_cast<QMessageBox*>(QApplication::activeModalWidget()) != nullptr; }, 5000);
            QWidget* box = QApplication::activeModalWidget();
            QTest::qWait(50);
            boxOnTop = box && stack.Top() == box;
            if (box)
                box->close();
        });
        Dialogs::Confirm(&w.Form(), "A transfer is running. Stop it and close the program?");
        Dialogs::SetAutomatic(true);
        QVERIFY2(boxOnTop, "the question stands above the progress window");
        QTRY_COMPARE(stack.Top(), progress);

        // Hidden by "Ok", it no longer comes back over the others.
        QTest::mouseClick(w.Progress->ui()->Button1, Qt::LeftButton);
        QVERIFY(!w.Progress->isVisible());
        logReport.raise();
        logReport.activateWindow();
        QTest::qWait(50);
        QCOMPARE(stack.Top(), static_cast<QWidget*>(&logReport));
        ReleaseHelpLibrary();
    }

    void UpgradeDialogWantsAFile()
    {
        TUpgradeForm dialog;
        auto* ui = dialog.ui();
        dialog.Prepare("Select Firmware", "Upgrade", "Kri Image|*.kri");
        QCOMPARE(dialog.windowTitle(), QStringLiteral("Select Firmware"));
        QCOMPARE(ui->UpgradeBtn->text(), QStringLiteral("Upgrade"));
        QVERIFY(!ui->UpgradeBtn->isEnabled());
        QVERIFY(ui->PathEdit->isReadOnly());
        // Browse cancelled: still nothing to confirm.
        QTest::mouseClick(ui->BrowseBtn, Qt::LeftButton);
        QVERIFY(!ui->UpgradeBtn->isEnabled());
        Dialogs::QueueFileName("image.kri");
        QTest::mouseClick(ui->BrowseBtn, Qt::LeftButton);
        QVERIFY(ui->UpgradeBtn->isEnabled());
        QCOMPARE(ui->PathEdit->text(), QDir::current().absoluteFilePath(QStringLiteral("image.kri")));
        // Prepare empties the path again.
        dialog.Prepare("Select File", "Save", "Config|*.xml");
        QVERIFY(ui->PathEdit->text().isEmpty());
        QVERIFY(!ui->UpgradeBtn->isEnabled());
        // Showing it in Czech translates its own texts and leaves Prepare's as they were given.
        UseLanguage("cs");
        dialog.Prepare("Select Firmware", "Upgrade", "Kri Image|*.kri");
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        QCOMPARE(ui->BrowseBtn->text(), QString::fromUtf8("Procházet..."));
        QCOMPARE(ui->UpgradeBtn->text(), QStringLiteral("Upgrade"));
        QCOMPARE(dialog.windowTitle(), QStringLiteral("Select Firmware"));
        dialog.hide();
        QCOMPARE(dialog.size(), QSize(426, 121));
    }

    void LoginDialog()
    {
        UseLanguage("cs");
        TLoginForm dialog;
        QCOMPARE(dialog.windowTitle(), QString::fromUtf8("Vyžadováno přihlášení"));
        UseLanguage("en");
        dialog.show();  // translated again when shown
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        QCOMPARE(dialog.windowTitle(), QStringLiteral("Required authorization"));
        dialog.ui()->PassEdit->setText(QStringLiteral("secret"));
        QCOMPARE(dialog.ui()->PassEdit->displayText(), QStringLiteral("******"));
        QVERIFY(dialog.ui()->OkButton->isDefault());
        QTest::keyClick(&dialog, Qt::Key_Escape);
        QCOMPARE(dialog.result(), int(QDialog::Rejected));
        // The device that asks, in a label of its own above the fields; a long name is cut.
        dialog.SetDevice("Server room (10.77.1.13)");
        QCOMPARE(dialog.ui()->DeviceLabel->text(), QStringLiteral("Server room (10.77.1.13)"));
        QCOMPARE(dialog.windowTitle(), QStringLiteral("Required authorization"));
        QVERIFY(dialog.ui()->DeviceLabel->geometry().bottom() < dialog.ui()->UserEdit->geometry().top());
        const std::string longName = std::string(60, 'W') + " (10.77.1.13)";
        dialog.SetDevice(longName);
        QCOMPARE(dialog.Device(), longName);
        QVERIFY(dialog.ui()->DeviceLabel->fontMetrics().horizontalAdvance(dialog.ui()->DeviceLabel->text())
                <= dialog.ui()->DeviceLabel->width());
        // Placement: left edge on an 800 pixel desktop, centred on a wider one.
        Dialogs::SetDesktopSize({800, 600});
        TLoginForm small;
        QCOMPARE(small.pos(), QPoint(0, 0));
        Dialogs::SetDesktopSize({1024, 768});
        TLoginForm large;
        QCOMPARE(large.pos(), QPoint((1024 - large.width()) / 2, (768 - (large.height() + 30)) / 2));
        TUpgradeForm upgrade;
        QCOMPARE(upgrade.pos(), QPoint((1024 - 426) / 2, (768 - (121 + 30)) / 2));
    }

    void NoCheckedDeviceOnlyInforms()
    {
        TTransferWindow w;
        w.Window.Add({.Name = "Alpha", .PeerIP = "10.0.0.1"});
        w.Form().ActionLog.clear();
        Dialogs::QueueFileName("never.kri");
        const struct {
            QAction* Action;
            const char* Text;
        } commands[] = {
            {Control<QAction>(w.Form(), "acFirmUpgr"), "Please select devices for which you want to upgrade firmware."},
            {Control<QAction>(w.Form(), "BackupConfig"),
             "Please select devices for which you want to backup configuration."},
            {Control<QAction>(w.Form(), "RestoreConfig"),
             "Please select devices for which you want to restore configuration."},
            {Control<QAction>(w.Form(), "CommonConfig"),
             "Please select devices for which you want to restore common configuration."},
        };
        for (const auto& c : commands) {
            c.Action->trigger();
            const auto boxes = Dialogs::TakeShownBoxes();
            QCOMPARE(boxes.size(), size_t(1));
            QCOMPARE(boxes[0].Kind, Dialogs::TBoxKind::Information);
            QCOMPARE(boxes[0].Text, std::string(c.Text));
        }
        QVERIFY(w.Log().empty());
        QVERIFY(!w.Progress->isVisible());
        QCOMPARE(Dialogs::OpenFileName(nullptr, "", ""), std::string("never.kri"));  // no file dialog was shown
    }

    void RestoreWithoutABackupSendsNothing()
    {
        TTransferWindow w;
        w.Window.Add({.Name = "Alpha", .PeerIP = "10.0.0.1"});
        w.Check({"Alpha"});
        w.Form().ActionLog.clear();
        QVERIFY(!QDir(QStringLiteral("backup")).exists());
        Control<QAction>(w.Form(), "RestoreConfig")->trigger();
        QVERIFY(w.Finish());
        QVERIFY2(QDir(QStringLiteral("backup")).exists(), "the backup folder is made");
        QCOMPARE(w.Lines(), (std::vector<std::string>{"Alpha  (10.0.0.1)", "Configuration not found", "Restore Failed",
                                                      std::string(42, '-'), "Processes Summary:", "Successful: 0",
                                                      "Unsuccessful: 1"}));
        QVERIFY2(w.Log() == (std::vector<std::string>{"Process restore starting.", "Restore data from 10.0.0.1 starting.",
                                                    "Restore process finished."}), w.LogText().c_str());
        QCOMPARE(w.Progress->windowTitle(), QStringLiteral("Restore Configuration"));
        QVERIFY(Checked(w, 0));
    }

    // "Stop" clicked while the second of four devices runs: that one ends, the other two get no
    // block, the summary counts them and the log says so; meanwhile "Ok", Esc and the close box
    // leave the window open. Without a click the same batch shows what it always showed.
    void StopAfterTwoDevicesLeavesTheRestNotStarted()
    {
        TTransferWindow w;
        const char* names[] = {"Alpha", "Bravo", "Charlie", "Delta"};
        for (int i = 0; i < 4; ++i)
            w.Window.Add({.Name = names[i], .MAC = Format("00:0A:59:00:00:%02X", i + 1),
                          .PeerIP = Format("10.0.0.%d", i + 1)});
        w.Check({"Alpha", "Bravo", "Charlie", "Delta"});
        auto* ui = w.Progress->ui();
        QVERIFY(!ui->StopButton->isEnabled());
        const std::string separator(42, '-');
        auto block = [&](int i) {
            return std::vector<std::string>{Format("%s  (10.0.0.%d)", names[i], i + 1), "Configuration not found",
                                            "Restore Failed", separator};
        };

        // Not stopped: the four blocks and the summary as before.
        Control<QAction>(w.Form(), "RestoreConfig")->trigger();
        QVERIFY(w.Finish());
        std::vector<std::string> whole;
        for (int i = 0; i < 4; ++i)
            for (const std::string& line : block(i))
                whole.push_back(line);
        std::vector<std::string> want = whole;
        want.insert(want.end(), {"Processes Summary:", "Successful: 0", "Unsuccessful: 4"});
        QCOMPARE(w.Lines(), want);
        QVERIFY(!w.Logged("The batch was stopped."));
        QVERIFY(!ui->StopButton->isEnabled());
        QVERIFY(ui->Button1->isEnabled());
        w.Progress->hide();

        // Stopped while the second device runs.
        bool clicked = false;
        bool stayedOpen = false;
        const QMetaObject::Connection hook =
            connect(ui->ListBox1->model(), &QAbstractItemModel::rowsInserted, this, [&] {
                if (clicked || ui->ListBox1->count() != 5)  // the second device's line
                    return;
                clicked = true;
                QTest::keyClick(w.Progress.get(), Qt::Key_Escape);
                w.Progress->close();
                w.Progress->Button1Click();
                QTest::mouseClick(ui->Button1, Qt::LeftButton);
                stayedOpen = w.Progress->isVisible() && !ui->Button1->isEnabled() && ui->StopButton->isEnabled();
                QTest::mouseClick(ui->StopButton, Qt::LeftButton);
            });
        w.Form().ActionLog.clear();
        Control<QAction>(w.Form(), "RestoreConfig")->trigger();
        QVERIFY(w.Finish());
        disconnect(hook);
        QVERIFY(clicked);
        QVERIFY2(stayedOpen, "Ok, Esc and the close box are refused while the batch runs; Stop is enabled");
        want = block(0);
        for (const std::string& line : block(1))
            want.push_back(line);
        want.insert(want.end(), {"Processes Summary:", "Successful: 0", "Unsuccessful: 2", "Not started: 2"});
        QCOMPARE(w.Lines(), want);
        QVERIFY2(w.Log() == (std::vector<std::string>{"Process restore starting.", "Restore data from 10.0.0.1 starting.",
                                                    "Restore data from 10.0.0.2 starting.", "The batch was stopped.",
                                                    "Restore process finished."}),
                 w.LogText().c_str());

        // Over: Stop is disabled, and Esc closes the window.
        QVERIFY(!ui->StopButton->isEnabled());
        QVERIFY(ui->Button1->isEnabled());
        QTest::mouseClick(ui->StopButton, Qt::LeftButton);
        QVERIFY(w.Progress->isVisible());
        QTest::keyClick(w.Progress.get(), Qt::Key_Escape);
        QVERIFY(!w.Progress->isVisible());

        // The next batch starts afresh, and its summary has no such line.
        w.Form().ActionLog.clear();
        Control<QAction>(w.Form(), "RestoreConfig")->trigger();
        QVERIFY(w.Finish());
        want = whole;
        want.insert(want.end(), {"Processes Summary:", "Successful: 0", "Unsuccessful: 4"});
        QCOMPARE(w.Lines(), want);
        QVERIFY(!w.Logged("The batch was stopped."));
        w.Progress->hide();

        // In Czech: the button, the summary line and the log line.
        UseLanguage("cs");
        w.Progress->Open("x");
        QCOMPARE(ui->StopButton->text(), QString::fromUtf8("Zastavit"));
        QCOMPARE(_("Not started: %d"), std::string("Nezahájeno: %d"));
        QCOMPARE(_("The batch was stopped."), std::string("Dávka byla zastavena."));
    }

    void BatchActsOnTheSearchedRowsOnly()
    {
        TTransferWindow w;
        w.Window.Add({.Name = "Boiler room", .MAC = "00:0A:59:00:00:01", .PeerIP = "10.0.0.1"});
        w.Window.Add({.Name = "Attic", .MAC = "00:0A:59:00:00:02", .PeerIP = "10.0.0.2"});
        w.Window.Add({.Name = "Second boiler", .MAC = "00:0A:59:00:00:03", .PeerIP = "10.0.0.3"});
        w.Check({"Attic"});  // checked, then hidden by the search: it keeps its mark
        Control<QLineEdit>(w.Form(), "teSearch")->setText(QStringLiteral("BOILER"));
        QCOMPARE(w.Window.Names(), (QStringList{QStringLiteral("Boiler room"), QStringLiteral("Second boiler")}));
        QVERIFY2(!w.Form().AnyDeviceChecked(), "no row shown is checked");
        QTest::mouseClick(Control<QCheckBox>(w.Form(), "AllChecked"), Qt::LeftButton);
        w.Form().ActionLog.clear();
        Control<QAction>(w.Form(), "RestoreConfig")->trigger();  // no backup files: no request, one block per device
        QVERIFY(w.Finish());
        auto lines = w.Lines();
        QCOMPARE(lines.size(), size_t(11));
        QCOMPARE(lines[0], std::string("Boiler room  (10.0.0.1)"));
        QCOMPARE(lines[4], std::string("Second boiler  (10.0.0.3)"));
        QCOMPARE(lines[10], std::string("Unsuccessful: 2"));

        // With the search cleared the hidden mark is back, and the batch takes all three.
        w.Progress->hide();
        Control<QLineEdit>(w.Form(), "teSearch")->clear();
        QCOMPARE(Control<QCheckBox>(w.Form(), "AllChecked")->checkState(), Qt::Checked);
        Control<QAction>(w.Form(), "RestoreConfig")->trigger();
        QVERIFY(w.Finish());
        lines = w.Lines();
        QCOMPARE(lines.size(), size_t(15));
        QCOMPARE(lines[0], std::string("Attic  (10.0.0.2)"));
        QCOMPARE(lines[14], std::string("Unsuccessful: 3"));
    }

    void CommonConfigurationAnsweredNoDoesNothing()
    {
        TTransferWindow w;
        w.Window.Add({.Name = "Alpha", .PeerIP = "10.0.0.1"});
        w.Check({"Alpha"});
        w.Form().ActionLog.clear();
        QFile file(QStringLiteral("common.xml"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.close();
        Dialogs::QueueFileName("common.xml");
        Dialogs::QueueAnswer(false);
        Control<QAction>(w.Form(), "CommonConfig")->trigger();
        QVERIFY(w.Finish());
        const auto boxes = Dialogs::TakeShownBoxes();
        QCOMPARE(boxes.size(), size_t(1));
        QCOMPARE(boxes[0].Kind, Dialogs::TBoxKind::Warning);
        QCOMPARE(boxes[0].Text, std::string("Set common config to selected devices!\nDo you wish to continue?"));
        QVERIFY(w.Log().empty());
        QVERIFY(!w.Progress->isVisible());
        QCOMPARE(w.Upgrade->windowTitle(), QStringLiteral("Select Common Configuration"));
        QCOMPARE(w.Upgrade->ui()->UpgradeBtn->text(), QStringLiteral("Config"));
        // The file dialog cancelled: only the end line.
        Control<QAction>(w.Form(), "CommonConfig")->trigger();
        QVERIFY(w.Finish());
        QCOMPARE(w.Log(), std::vector<std::string>{"Restore common process finished."});
        QVERIFY(Dialogs::TakeShownBoxes().empty());
        QVERIFY(!w.Progress->isVisible());
    }

    // The batch lock and the rest of the panel while no row is shown give each other the
    // controls back as they found them.
    void BatchWhileNoRowIsShownLeavesThePanelResting()
    {
        TTransferWindow w;
        w.Window.Add({.Name = "Alpha", .MAC = "00:0A:59:00:00:01", .PeerIP = "10.0.0.1", .CanRestart = false});
        QVERIFY(Control<QPushButton>(w.Form(), "btnSetDefault")->isEnabled()
                && Control<QGroupBox>(w.Form(), "GroupBox2")->isEnabled());
        Control<QLineEdit>(w.Form(), "teSearch")->setText(QStringLiteral("nobody"));
        QVERIFY(!Control<QPushButton>(w.Form(), "btnSetDefault")->isEnabled()
                && !Control<QGroupBox>(w.Form(), "GroupBox2")->isEnabled());
        w.Form().ActionLog.clear();
        Control<QAction>(w.Form(), "SaveConfig")
            ->trigger();  // the selected device; the file dialog cancelled: a batch all the same
        QVERIFY(w.Finish());
        QCOMPARE(w.Log(), std::vector<std::string>{"Save process finished."});
        QVERIFY2(Control<QLineEdit>(w.Form(), "teSearch")->isEnabled()
                     && Control<QAction>(w.Form(), "acFind")->isEnabled(),
                 "the batch gave its controls back");
        QVERIFY2(!Control<QPushButton>(w.Form(), "btnSetDefault")->isEnabled()
                     && !Control<QGroupBox>(w.Form(), "GroupBox2")->isEnabled()
                     && !Control<QLabel>(w.Form(), "Image2")->isEnabled(),
                 "still no row shown");
        Control<QLineEdit>(w.Form(), "teSearch")->clear();
        QVERIFY(Control<QPushButton>(w.Form(), "btnSetDefault")->isEnabled()
                && Control<QGroupBox>(w.Form(), "GroupBox2")->isEnabled()
                && Control<QLabel>(w.Form(), "Image2")->isEnabled());
        QVERIFY2(!Control<QPushButton>(w.Form(), "btnRestartDevice")->isEnabled(), "the device's own rule");
    }

    void SaveAndLoadOnTheSelectedDeviceOnly()
    {
        TTransferWindow w;
        w.Window.Add({.Name = "Alpha", .MAC = "00:0A:59:00:00:01", .PeerIP = "10.0.0.1"});
        w.Window.Add({.Name = "Bravo", .MAC = "00:0A:59:00:00:02", .PeerIP = "10.0.0.2"});
        w.Check({"Alpha"});
        w.Form().SelectDevice(int(w.Window.Names().indexOf(QStringLiteral("Bravo"))));
        w.Form().ActionLog.clear();
        // Cancelled: only the end line.
        Control<QAction>(w.Form(), "SaveConfig")->trigger();
        QVERIFY(w.Finish());
        QCOMPARE(w.Log(), std::vector<std::string>{"Save process finished."});
        QCOMPARE(w.Upgrade->windowTitle(), QStringLiteral("Select File"));
        QCOMPARE(w.Upgrade->ui()->UpgradeBtn->text(), QStringLiteral("Save"));
        // A chosen file deleted before the command sends it: not found, no request.
        w.Form().ActionLog.clear();
        Dialogs::QueueFileName("gone.xml");
        Control<QAction>(w.Form(), "LoadConfig")->trigger();
        QVERIFY(w.Finish());
        QCOMPARE(w.Upgrade->windowTitle(), QStringLiteral("Select Configuration"));
        QCOMPARE(w.Upgrade->ui()->UpgradeBtn->text(), QStringLiteral("Load"));
        QCOMPARE(w.Lines(), (std::vector<std::string>{"Bravo  (10.0.0.2)", "Configuration not found", "Loading Failed",
                                                      std::string(42, '-'), "Processes Summary:", "Successful: 0",
                                                      "Unsuccessful: 1"}));
        QCOMPARE(w.Log(), (std::vector<std::string>{"Process load configuration starting.",
                                                    "Restore data from 10.0.0.2 starting.",
                                                    "Load configuration process finished."}));
        QCOMPARE(w.Progress->windowTitle(), QStringLiteral("Load Configuration"));
    }

    void SpecialFilesAreRefusedAtOnce()
    {
        TTransferWindow w;
        w.Window.Add({.Name = "Alpha", .PeerIP = "10.0.0.1"});
        w.Check({"Alpha"});
        w.Form().SelectDevice(0);
        QVERIFY(::mkfifo("pipe.xml", 0600) == 0);
        const std::string fifo = QDir::current().absoluteFilePath(QStringLiteral("pipe.xml")).toStdString();
        TFifoRescue rescue(fifo, 10);
        const struct {
            QAction* Command;
            const char* Verb;
        } rows[] = {
            {Control<QAction>(w.Form(), "LoadConfig"), "read"},
            {Control<QAction>(w.Form(), "CommonConfig"), "read"},
            {Control<QAction>(w.Form(), "acFirmUpgr"), "read"},
            {Control<QAction>(w.Form(), "SaveConfig"), "write"},
        };
        for (const auto& row : rows) {
            w.Form().ActionLog.clear();
            Dialogs::QueueFileName("pipe.xml");
            QElapsedTimer clock;
            clock.start();
            row.Command->trigger();
            QVERIFY2(clock.elapsed() < 5000, qPrintable(row.Command->objectName()));
            const auto boxes = Dialogs::TakeShownBoxes();
            QCOMPARE(boxes.size(), size_t(1));
            QCOMPARE(boxes[0].Kind, Dialogs::TBoxKind::Error);
            QCOMPARE(boxes[0].Text, "Cannot " + std::string(row.Verb) + " the file " + fifo + ": Not a regular file");
            QVERIFY2(w.Log().empty(), w.LogText().c_str());
            QVERIFY(!w.Progress->isVisible());
        }
        struct stat info {};
        QVERIFY(::lstat("pipe.xml", &info) == 0 && S_ISFIFO(info.st_mode));
    }

    // Units of different MACs that answered from one address get no transfer, also when the type
    // filter and the search hide the others; the rows of one unit answering through both families
    // (one MAC) are no such units. The block names the MAC, the reason is logged as an error, and
    // "Save..." on the selected unit is refused the same way.
    void SharedAddressRefusedWhateverTheRowsShow()
    {
        TTransferWindow w;
        w.Window.Add({.TypeCode = 1, .Name = "New", .MAC = "00:0A:14:00:00:01", .PeerIP = "10.0.0.80"});
        w.Window.Add({.TypeCode = 2, .Name = "New", .MAC = "00:0A:14:00:00:02", .PeerIP = "10.0.0.80"});
        w.Window.Add(
            {.TypeCode = 1, .Name = "Spare", .MAC = "00:0A:14:00:00:03", .PeerIP = "10.0.0.80", .FirmwareRev = "2.0"});
        w.Window.Add({.TypeCode = 1, .Name = "Both", .MAC = "00:0A:14:00:00:04", .PeerIP = "10.0.0.81"});
        w.Window.Add({.TypeCode = 2, .Name = "Both", .MAC = "00:0A:14:00:00:04", .PeerIP = "10.0.0.81"});
        QComboBox* filter = Control<QComboBox>(w.Form(), "DeviceFilter");
        filter->setCurrentIndex(filter->findText(QStringLiteral("Poseidon 2261")));
        emit filter->activated(filter->currentIndex());
        Control<QLineEdit>(w.Form(), "teSearch")->setText(QStringLiteral("1.0"));  // the revision: "Spare" has another
        QCOMPARE(w.Window.Names(), (QStringList{QStringLiteral("Both"), QStringLiteral("New")}));
        QTest::mouseClick(Control<QCheckBox>(w.Form(), "AllChecked"), Qt::LeftButton);
        w.Form().ActionLog.clear();
        Control<QAction>(w.Form(), "RestoreConfig")->trigger();
        QVERIFY(w.Finish());
        const std::string reason =
            "Shares 10.0.0.80 with 2 other devices; give each its own address first (Actions "
            "→ Set Up Checked Devices...)";
        const std::string separator(42, '-');
        QCOMPARE(w.Lines(),
                 (std::vector<std::string>{"Both  (10.0.0.81)", "Configuration not found", "Restore Failed", separator,
                                           "New  (10.0.0.80)", reason, "Restore Failed (00:0A:14:00:00:01)", separator,
                                           "Processes Summary:", "Successful: 0", "Unsuccessful: 2"}));
        QVERIFY2(w.Log()
                     == (std::vector<std::string>{"Process restore starting.", "Restore data from 10.0.0.81 starting.",
                                                  reason, "Restore process finished."}),
                 w.LogText().c_str());
        QCOMPARE(w.Form().ActionLog[2].Level, LOG_ERROR);
        // Its reason under the list, as any failed device's.
        w.Progress->ui()->ListBox1->setCurrentRow(5);
        QCOMPARE(w.Progress->ReasonText(), "Reason: " + reason);
        w.Progress->hide();

        // "Save...": the selected unit, whatever its check mark.
        w.Form().SelectDevice(int(w.Window.Names().indexOf(QStringLiteral("New"))));
        w.Form().ActionLog.clear();
        Dialogs::QueueFileName("saved.xml");
        Control<QAction>(w.Form(), "SaveConfig")->trigger();
        QVERIFY(w.Finish());
        QCOMPARE(w.Lines(),
                 (std::vector<std::string>{"New  (10.0.0.80)", reason, "Saving Failed (00:0A:14:00:00:01)", separator,
                                           "Processes Summary:", "Successful: 0", "Unsuccessful: 1"}));
        QVERIFY(!QFile::exists(QStringLiteral("saved.xml")));
    }

    void CzechResultLinesKeepTheirColours()
    {
        UseLanguage("cs");
        TTransferWindow w;
        UseLanguage("cs");
        w.Window.Add({.Name = "Alpha", .PeerIP = "10.0.0.1"});
        w.Check({"Alpha"});
        Control<QAction>(w.Form(), "RestoreConfig")->trigger();
        QVERIFY(w.Finish());
        const auto lines = w.Lines();
        QCOMPARE(lines.size(), size_t(7));
        QCOMPARE(QString::fromStdString(lines[2]), QString::fromUtf8("Obnova selhala"));
        QCOMPARE(QString::fromStdString(lines[4]), QString::fromUtf8("Souhrn zpracování:"));
        QCOMPARE(QString::fromStdString(lines[6]), QString::fromUtf8("Neúspěšně: 1"));
        QVERIFY(QTest::qWaitForWindowExposed(w.Progress.get()));
        QVERIFY(ProgressPixels(*w.Progress, 2, kProgressRed) > 20);
        QVERIFY(ProgressLongestRun(*w.Progress, 4, 0x000000) > 60);
    }

private:
    static bool Checked(TTransferWindow& w, int row)
    {
        return Control<QAbstractItemView>(w.Form(), "DeviceListBox")
                   ->model()
                   ->index(row, 0)
                   .data(Qt::CheckStateRole)
                   .toInt()
               == Qt::Checked;
    }
};

QTEST_MAIN(TestTransfers)
#include "test_transfers.moc"
