// Shared by the transfer window tests: a main window (devicefeed.h) with the secondary windows
// and the HTTP module of the transfers handed over as the program's start-up does, running in a
// working folder of its own (backup/ is made there), plus the progress window's pixels.
#pragma once
#include "controls.h"
#include "devicefeed.h"

#include "core/http/http.h"
#include "gui/app/batchcontroller.h"
#include "gui/config/comparedialog.h"
#include "gui/http/login.h"
#include "gui/http/upgrade.h"
#include "gui/windows/progressinfo.h"
#include "ui_progressinfo.h"

#include <QAbstractItemView>
#include <QDir>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QSignalSpy>
#include <QTest>

#include <functional>
#include <string>
#include <utility>

// The progress window with a hand inside the batch: the first line it is given runs OnLine
// while the batch holds the window, as a click would during a transfer.
class TWatchedProgress : public TProgressInfoForm {
public:
    std::function<void()> OnLine;
    void AddLine(const std::string& text) override
    {
        TProgressInfoForm::AddLine(text);
        if (OnLine)
            std::exchange(OnLine, nullptr)();
    }
};

struct TTransferWindow {
    QTemporaryDir WorkDir;
    QString PreviousDir = QDir::currentPath();
    TTestWindow Window;
    std::unique_ptr<TUpgradeForm> Upgrade = std::make_unique<TUpgradeForm>();
    std::unique_ptr<TProgressInfoForm> Progress = std::make_unique<TProgressInfoForm>();
    std::unique_ptr<TLoginForm> Login = std::make_unique<TLoginForm>();
    std::unique_ptr<THTTPModule> Http = std::make_unique<THTTPModule>();

    TTransferWindow()
    {
        QDir::setCurrent(WorkDir.path());
        Window.Form->Upgrade = Upgrade.get();
        Window.Form->Progress = Progress.get();
        Window.Form->Login = Login.get();
        Window.Form->Http = Http.get();
        Window.Form->Logger.TimeStamps = false;  // the log lines as passed in
        // The transfers' own flow, without the preview before a write (the preview's tests turn
        // it on); whatever is downloaded is kept in the working folder, never the program's.
        Window.Form->Settings.Preview = false;
        Window.Form->Settings.HistoryFolder = WorkDir.filePath(QStringLiteral("history")).toStdString();
        Window.Form->MarkTransferMenu();
        Window.Form->ActionLog.clear();
        Dialogs::TakeShownBoxes();
    }
    ~TTransferWindow()
    {
        Progress->hide();
        QDir::setCurrent(PreviousDir);
    }

    TPyxetForm& Form() { return *Window.Form; }
    const TPyxetForm& Main() const { return *Window.Form; }
    TBatchController& Batches() { return *Window.Form->Batches(); }
    // Waits until the batch that the last command started has finished (at once when none
    // runs); false when it did not within a minute.
    bool Finish()
    {
        if (!Batches().BatchRunning())
            return true;
        QSignalSpy finished(&Batches(), &TBatchController::BatchFinished);
        return finished.wait(60000);
    }
    // The names of the checked rows in list order.
    QStringList CheckedNames() const { return Window.CheckedNames(); }
    // Checks the rows of these device names.
    void Check(std::initializer_list<const char*> names)
    {
        const QStringList shown = Window.Names();
        for (const char* name : names) {
            const int row = int(shown.indexOf(QLatin1String(name)));
            QVERIFY2(row >= 0, name);
            QAbstractItemModel* rows = Control<QAbstractItemView>(Form(), "DeviceListBox")->model();
            rows->setData(rows->index(row, 0), Qt::Checked, Qt::CheckStateRole);
        }
    }
    // The log's messages as passed in (stored after one blank).
    std::vector<std::string> Log() const
    {
        std::vector<std::string> out;
        for (const TLogLine& line : Window.Form->ActionLog)
            out.push_back(line.Text.substr(1));
        return out;
    }
    std::string LogText() const
    {
        std::string text;
        for (const std::string& m : Log())
            text += m + "\n";
        return text;
    }
    bool Logged(const std::string& message) const
    {
        for (const std::string& m : Log())
            if (m == message)
                return true;
        return false;
    }
    std::vector<std::string> Lines() const { return Progress->Lines(); }
};

// The lines one a line, for a failure's message.
inline std::string JoinedLines(const std::vector<std::string>& lines)
{
    std::string text;
    for (const std::string& line : lines)
        text += line + "\n";
    return text;
}

// A double-click on the progress window's line `row` as a user gives it: its first click, then
// the second.
inline void DoubleClickLine(TProgressInfoForm& window, int row)
{
    QListWidget* list = window.ui()->ListBox1;
    list->scrollToItem(list->item(row));
    const QRect rect = list->visualItemRect(list->item(row));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, rect.center());
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, rect.center());
}

// The batches' compare dialog is open on these two files and its summary says `summary`; it is
// closed again. (A failure returns early: the caller's test has failed.)
inline void CheckCompareShown(TBatchController& batches, const std::string& left, const std::string& right,
                              const QString& summary)
{
    TCompareDialog* compare = batches.CompareWindow();
    QVERIFY(compare);
    QVERIFY(compare->isVisible());
    QCOMPARE(Control<QLineEdit>(*compare, "teLeftFile")->text().toStdString(), left);
    QCOMPARE(Control<QLineEdit>(*compare, "teRightFile")->text().toStdString(), right);
    QCOMPARE(Control<QLabel>(*compare, "lblSummary")->text(), summary);
    compare->hide();
}

// The progress window's rows as drawn: how many pixels of the row's text area have this colour.
inline int ProgressPixels(TProgressInfoForm& window, int row, QRgb colour)
{
    QListWidget* list = window.ui()->ListBox1;
    const QRect rect = list->visualItemRect(list->item(row));
    const QImage image = list->viewport()->grab().toImage();
    int count = 0;
    for (int y = rect.top(); y <= rect.bottom() && y < image.height(); ++y)
        for (int x = rect.left(); x <= rect.right() && x < image.width(); ++x)
            if (image.pixel(x, y) == (colour | 0xFF000000u))
                ++count;
    return count;
}

// Pixels of the row drawn in a dark grey or black (anti-aliased black text).
inline int ProgressDarkPixels(TProgressInfoForm& window, int row)
{
    QListWidget* list = window.ui()->ListBox1;
    const QRect rect = list->visualItemRect(list->item(row));
    const QImage image = list->viewport()->grab().toImage();
    int count = 0;
    for (int y = rect.top(); y <= rect.bottom() && y < image.height(); ++y)
        for (int x = rect.left(); x <= rect.right() && x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            if (c.red() < 110 && c.green() < 110 && c.blue() < 110)
                ++count;
        }
    return count;
}

// The longest run of pixels of this colour in one pixel line of the row (an underline).
inline int ProgressLongestRun(TProgressInfoForm& window, int row, QRgb colour)
{
    QListWidget* list = window.ui()->ListBox1;
    const QRect rect = list->visualItemRect(list->item(row));
    const QImage image = list->viewport()->grab().toImage();
    int longest = 0;
    for (int y = rect.top(); y <= rect.bottom() && y < image.height(); ++y) {
        int run = 0;
        for (int x = rect.left(); x <= rect.right() && x < image.width(); ++x) {
            run = image.pixel(x, y) == (colour | 0xFF000000u) ? run + 1 : 0;
            longest = std::max(longest, run);
        }
    }
    return longest;
}
