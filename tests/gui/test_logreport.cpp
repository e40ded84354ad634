// The action log through the main window and the Log Report window: status-bar rules, the
// one-level filter, clearing, saving the view, and the line colours.
#include "pyxetfixture.h"
#include "ui_form.h"
#include "ui_logrep.h"

#include "gui/app/colourscheme.h"

#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QListView>
#include <QScreen>
#include <QWindow>
#include <QTest>

using TLines = std::vector<std::string>;
Q_DECLARE_METATYPE(TLines)
Q_DECLARE_METATYPE(std::string)

namespace {
QByteArray ReadAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}
} // namespace

class TestLogReport : public QObject {
    Q_OBJECT
    TPyxetFixture F;

    std::vector<std::string> View() const
    {
        std::vector<std::string> out;
        for (const TLogLine& l : F.LogForm->ActionReport())
            out.push_back(l.Text);
        return out;
    }
    void Filter(int position)
    {
        F.LogForm->ui()->ActionFilter->setCurrentIndex(position);
        F.LogForm->ActionFilterChange();
    }
    // A main window with time stamps off and a log of every level but WARNING.
    void StartWithLevels()
    {
        F.WriteIni("[Logs]\nTime=False\n");
        F.Start({QStringLiteral("-demo")});  // demo: no discovery lines
        F.Form->Logger.ActionLog.clear();
        F.Form->LogAction("c", "info one", LOG_INFO);
        F.Form->LogAction("c", "->> Sending debug", LOG_DEBUG);
        F.Form->LogAction("c", "error one", LOG_ERROR);
        F.Form->LogAction("c", "info two", LOG_INFO);
        Filter(0);
    }

private slots:
    void initTestCase() { TPyxetFixture::InitProgram(); }
    void cleanup() { F.Stop(); }

    // An empty caption leaves panel 0, an empty message changes neither panel 1 nor any list.
    void emptyCaptionAndMessage()
    {
        F.WriteIni("[Logs]\nTime=True\n");
        F.Start({QStringLiteral("-demo")});
        TStatusPanel* caption = Control<TStatusPanel>(*F.Form, "StatusPanel0");
        TStatusPanel* message = Control<TStatusPanel>(*F.Form, "StatusPanel1");
        const size_t lines = F.Form->ActionLog.size();

        F.Form->LogAction("", "only a message", LOG_INFO);
        QCOMPARE(caption->text(), QStringLiteral("Demo Pyxet Started"));
        QCOMPARE(message->text(), QStringLiteral("only a message"));
        QCOMPARE(F.Form->ActionLog.size(), lines + 1);

        F.Form->LogAction("Only a caption", "", LOG_INFO);
        QCOMPARE(caption->text(), QStringLiteral("Only a caption"));
        QCOMPARE(message->text(), QStringLiteral("only a message"));
        QCOMPARE(F.Form->ActionLog.size(), lines + 1);
        QCOMPARE(F.LogForm->ActionReport().size(), lines + 1);

        F.Form->LogAction("", "", LOG_ERROR);
        QCOMPARE(caption->text(), QStringLiteral("Only a caption"));
        QCOMPARE(F.Form->ActionLog.size(), lines + 1);
    }

    // The panels show each text before LogAction returns, drawn as their own paint draws them,
    // while the rest of the window still waits for the event loop.
    void statusPanelsPaintedAtOnce()
    {
        F.WriteIni("[Logs]\nTime=False\n");
        F.Start({QStringLiteral("-demo")});
        QTRY_VERIFY(F.Form->windowHandle()->isExposed());
        QCoreApplication::processEvents();
        auto onScreen = [&](QWidget* w) {
            const QPoint at = w->mapTo(F.Form.get(), QPoint(0, 0));
            return F.Form->screen()->grabWindow(F.Form->winId(), at.x(), at.y(), w->width(), w->height()).toImage();
        };
        auto ownPaint = [](QWidget* w) { return w->grab().toImage().convertToFormat(QImage::Format_RGB32); };
        auto rgb = [](const QImage& i) { return i.convertToFormat(QImage::Format_RGB32); };
        const QImage before = rgb(onScreen(Control<TStatusPanel>(*F.Form, "StatusPanel1")));
        const QImage counterBefore = rgb(onScreen(Control<QLabel>(*F.Form, "DeviceCounter")));
        Control<QLabel>(*F.Form, "DeviceCounter")->setText(QStringLiteral("12345"));  // waits for the event loop

        F.Form->LogAction("Device Found", "Found Poseidon device at 10.0.0.5", LOG_INFO);
        for (const char* name : {"StatusPanel0", "StatusPanel1"}) {
            TStatusPanel* panel = Control<TStatusPanel>(*F.Form, name);
            QVERIFY2(rgb(onScreen(panel)) == ownPaint(panel), name);
        }
        QVERIFY(rgb(onScreen(Control<TStatusPanel>(*F.Form, "StatusPanel1"))) != before);
        QCOMPARE(rgb(onScreen(Control<QLabel>(*F.Form, "DeviceCounter"))), counterBefore);
        QTRY_VERIFY(rgb(onScreen(Control<QLabel>(*F.Form, "DeviceCounter"))) != counterBefore);
    }

    void filterKeepsExactlyOneLevel_data()
    {
        QTest::addColumn<int>("position");
        QTest::addColumn<TLines>("expected");
        QTest::newRow("ALL") << 0 << TLines{" info one", " ->> Sending debug", " error one", " info two"};
        QTest::newRow("INFO") << 1 << TLines{" info one", " info two"};
        QTest::newRow("DEBUG") << 2 << TLines{" ->> Sending debug"};
        QTest::newRow("WARNING: none") << 3 << TLines{};
        QTest::newRow("ERROR, not a threshold") << 4 << TLines{" error one"};
    }
    void filterKeepsExactlyOneLevel()
    {
        QFETCH(int, position);
        QFETCH(TLines, expected);
        StartWithLevels();
        Filter(position);
        QCOMPARE(View(), expected);
        QVERIFY(!F.LogForm->ui()->ActionReport->selectionModel()->hasSelection());
    }

    // A new line joins the view whatever the filter shows, until the filter is applied again.
    void newLinesAppendedWhateverTheFilter()
    {
        StartWithLevels();
        Filter(4);
        F.Form->LogAction("c", "info three", LOG_INFO);
        QCOMPARE(View(), (std::vector<std::string>{" error one", " info three"}));
        Filter(4);
        QCOMPARE(View(), (std::vector<std::string>{" error one"}));
    }

    void clearThenFilterOrShowBringsLinesBack()
    {
        StartWithLevels();
        F.LogForm->ClearButtonClick();
        QVERIFY(View().empty());
        QCOMPARE(F.Form->ActionLog.size(), size_t(4));
        Filter(1);
        QCOMPARE(View().size(), size_t(2));

        F.LogForm->ClearButtonClick();
        F.LogForm->show();  // every showing: filter back to ALL, whole log
        QCOMPARE(F.LogForm->ui()->ActionFilter->currentIndex(), 0);
        QCOMPARE(View().size(), size_t(4));
        F.LogForm->hide();
        Filter(4);
        F.LogForm->show();
        QCOMPARE(View().size(), size_t(4));
    }

    void saveWritesTheViewAsShown()
    {
        StartWithLevels();
        const QString path = F.Dir->path() + QStringLiteral("/report");  // no extension added
        {
            QFile old(path);
            QVERIFY(old.open(QIODevice::WriteOnly));
            old.write("an older and much longer content that must disappear\r\n");
        }
        Filter(1);
        Dialogs::QueueFileName(path.toStdString());
        F.LogForm->SaveButtonClick();
        QCOMPARE(ReadAll(path), QByteArray(" info one\r\n info two\r\n"));
        QVERIFY(!QFile::exists(path + QStringLiteral(".txt")));

        F.LogForm->ClearButtonClick();
        Dialogs::QueueFileName(path.toStdString());
        F.LogForm->SaveButtonClick();
        QCOMPARE(ReadAll(path), QByteArray());

        QVERIFY(Dialogs::TakeShownBoxes().empty());
        Dialogs::QueueFileName("");  // cancelled: nothing written
        F.LogForm->SaveButtonClick();
        QVERIFY(Dialogs::TakeShownBoxes().empty());
    }

    void saveFailureIsShownAndKeepsTheLists()
    {
        StartWithLevels();
        Dialogs::QueueFileName(F.Dir->path().toStdString());  // a folder cannot be written as a file
        F.LogForm->SaveButtonClick();
        const auto boxes = Dialogs::TakeShownBoxes();
        QCOMPARE(boxes.size(), size_t(1));
        QVERIFY(boxes[0].Kind == Dialogs::TBoxKind::Error);
        QVERIFY2(boxes[0].Text.find(F.Dir->path().toStdString()) != std::string::npos, boxes[0].Text.c_str());
        QCOMPARE(View().size(), size_t(4));
        QCOMPARE(F.Form->ActionLog.size(), size_t(4));
    }

    void lineColours_data()
    {
        QTest::addColumn<std::string>("text");
        QTest::addColumn<bool>("selected");
        QTest::addColumn<int>("role");
        const auto plain = int(TColourRole::Plain), outgoing = int(TColourRole::LogOutgoing),
                   incoming = int(TColourRole::LogIncoming), highlight = int(TColourRole::Highlight);
        QTest::newRow("plain") << std::string(" Found device") << false << plain;
        QTest::newRow("outgoing") << std::string(" ->> Sending HWG UDP Info") << false << outgoing;
        QTest::newRow("answer") << std::string(" <- answer") << false << incoming;
        QTest::newRow("both: blue wins") << std::string(" ->> x <- y") << false << incoming;
        QTest::newRow("marker as first character") << std::string(">> no space") << false << plain;
        QTest::newRow("selected outgoing") << std::string(" ->> Sending") << true << highlight;
        QTest::newRow("selected plain") << std::string(" x") << true << highlight;
    }
    void lineColours()
    {
        QFETCH(std::string, text);
        QFETCH(bool, selected);
        QFETCH(int, role);
        QCOMPARE(int(LogLineRole(text, selected)), role);
    }

    // The newest line is the selected one, so it is drawn in the selection colours; on screen too.
    // A hidden list selects it at once; a visible one before it is next painted, after the
    // command that logged it has returned.
    void newestLineSelectedAndDrawnSo()
    {
        StartWithLevels();
        QListView* list = F.LogForm->ui()->ActionReport;
        auto last = [&] { return list->model()->index(list->model()->rowCount() - 1, 0); };
        F.Form->LogAction("c", "while hidden", LOG_INFO);
        QVERIFY(list->selectionModel()->isSelected(last()));

        F.LogForm->show();
        QVERIFY(QTest::qWaitForWindowExposed(F.LogForm.get()));
        QVERIFY(!list->selectionModel()->hasSelection());  // a showing rebuilds the view
        for (int i = 0; i < 3; ++i)
            F.Form->LogAction("c", "->> Sending Orvex UDP Info to 255.255.255.255", LOG_DEBUG);
        QTRY_VERIFY(list->selectionModel()->isSelected(last()));
        QCOMPARE(list->selectionModel()->selectedRows().size(), 1);
        QCOMPARE(list->visualRect(last()).height(), 16);
        const QImage shot = list->viewport()->grab(list->visualRect(last())).toImage();
        const QColor outgoing = SchemeColour(ListColours(list->palette(), TColourRole::LogOutgoing).Text);
        bool selectionColour = false, lime = false;
        for (int y = 0; y < shot.height(); ++y)
            for (int x = 0; x < shot.width(); ++x) {
                const QColor c = shot.pixelColor(x, y);
                selectionColour |= c == QColor(10, 95, 137);
                lime |= c == outgoing;
            }
        QVERIFY(selectionColour);
        QVERIFY(!lime);

        // A filter change or a clear before the loop runs leaves no line selected.
        F.Form->LogAction("c", "info three", LOG_INFO);
        Filter(1);
        F.Form->LogAction("c", "info four", LOG_INFO);
        F.LogForm->ClearButtonClick();
        QTest::qWait(20);
        QVERIFY(!list->selectionModel()->hasSelection());
    }

    // Each showing selects the current language again and translates the window.
    void showingFollowsTheLanguage()
    {
        StartWithLevels();
        UseLanguage("cs");
        F.LogForm->show();
        QCOMPARE(F.LogForm->windowTitle(), QStringLiteral("Záznam činnosti"));
        QCOMPARE(F.LogForm->ui()->ActionFilter->itemText(0), QStringLiteral("VŠE"));
        QCOMPARE(F.LogForm->ui()->ClearButton->text(), QStringLiteral("Vymazat"));
        F.LogForm->hide();
        UseLanguage("en");
        F.LogForm->show();
        QCOMPARE(F.LogForm->ui()->ActionFilter->itemText(0), QStringLiteral("ALL"));
        QCOMPARE(F.LogForm->ui()->SaveButton->text(), QStringLiteral("Save to file"));
    }
};

QTEST_MAIN(TestLogReport)
#include "test_logreport.moc"
