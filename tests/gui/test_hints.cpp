// What the main window tells beside its commands: the note over the picture of a device whose
// address other MACs share, on as many lines as it takes; the tool tip of a "Restart Device"
// disabled for a device that takes no restart command; and the file dialog of "Save...", a save
// dialog, where "Load..." opens one to read.
#include "transferfixture.h"
#include "ui_form.h"
#include "ui_progressinfo.h"
#include "wrappedlines.h"

#include "core/app/i18n.h"

#include <QFontMetrics>
#include <QLabel>
#include <QTest>

namespace {

int RowOf(const TTestWindow& w, const char* name) { return int(w.Names().indexOf(QLatin1String(name))); }

// How many lines the label's text takes at its width, and whether they all fit in its height.
int NoteLines(const QLabel* label)
{
    return int(WrappedLineStarts(label->text(), label->font(), label->contentsRect().width()).size());
}
bool LinesFit(const QLabel* label)
{
    return NoteLines(label) * QFontMetrics(label->font()).lineSpacing() <= label->contentsRect().height();
}

}  // namespace

class TestHints : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        InitTranslation(PYXET_BIN_DIR "/");
        UseLanguage("en");
    }
    void cleanup()
    {
        UseLanguage("en");
        Dialogs::TakeShownBoxes();
    }

    // Four devices on one address: the note of the first names the other three on three lines
    // or more, every one of them inside the label, which stays inside the picture's group; in
    // Czech too, and back to two lines for a device that shares its address with one other.
    void ConflictNoteWrapsInsteadOfBeingCut()
    {
        TTestWindow w;
        w.Add({.Name = "Alpha", .MAC = "00:0A:59:00:00:01", .PeerIP = "10.0.0.5"});
        const QLabel* note = Control<QLabel>(w.Main(), "tlIPConflict");
        w.Add({.Name = "Bravo", .MAC = "00:0A:59:00:00:02", .PeerIP = "10.0.0.6", .IP = "10.0.0.5"});
        QVERIFY(note->isVisible());
        QVERIFY2(LinesFit(note), qPrintable(note->text()));
        const int twoLines = note->height();
        w.Add({.Name = "Charlie", .MAC = "00:0A:59:00:00:03", .PeerIP = "10.0.0.7", .IP = "10.0.0.5"});
        w.Add({.Name = "Delta", .MAC = "00:0A:59:00:00:04", .PeerIP = "10.0.0.8", .IP = "10.0.0.5"});
        w.Form->SelectDevice(RowOf(w, "Alpha"));
        QVERIFY(note->text().contains(QStringLiteral("00:\u20600A:\u206059:\u206000:\u206000:\u206004")));
        QVERIFY2(NoteLines(note) >= 3, qPrintable(QString::number(NoteLines(note))));
        QVERIFY2(LinesFit(note), qPrintable(QStringLiteral("%1 lines in %2 pixels").arg(NoteLines(note)).arg(note->height())));
        QVERIFY(note->geometry().bottom() < note->parentWidget()->height());
        QVERIFY(note->height() > twoLines);

        Control<QAction>(w.Main(), "CzechLang")->trigger();
        QVERIFY(note->text().startsWith(QStringLiteral("IP adresu")));
        QVERIFY2(LinesFit(note), qPrintable(note->text()));
        Control<QAction>(w.Main(), "EnglishLang")->trigger();

        w.Add({.Name = "Echo", .MAC = "00:0A:59:00:00:05", .PeerIP = "10.0.0.9"});
        w.Add({.Name = "Foxtrot", .MAC = "00:0A:59:00:00:06", .PeerIP = "10.0.0.10", .IP = "10.0.0.9"});
        w.Form->SelectDevice(RowOf(w, "Echo"));
        QVERIFY(LinesFit(note));
        QCOMPARE(note->height(), twoLines);
    }

    // The tool tip says why the button is off for a device that takes no restart command, in
    // the language of the moment, and nothing for a device that takes one or when none is shown.
    void DisabledRestartSaysWhy()
    {
        const QString why = QStringLiteral("This device takes no restart command.");
        TTestWindow w;
        QPushButton* restart = Control<QPushButton>(w.Main(), "btnRestartDevice");
        QCOMPARE(restart->toolTip(), QString());
        w.Add({.Name = "Alpha", .MAC = "00:0A:59:00:00:01", .PeerIP = "10.0.0.1", .CanRestart = false});
        w.Add({.Name = "Bravo", .MAC = "00:0A:59:00:00:02", .PeerIP = "10.0.0.2"});
        w.Form->SelectDevice(RowOf(w, "Alpha"));
        QVERIFY(!restart->isEnabled());
        QCOMPARE(restart->toolTip(), why);
        w.Form->SelectDevice(RowOf(w, "Bravo"));
        QVERIFY(restart->isEnabled());
        QCOMPARE(restart->toolTip(), QString());

        w.Form->SelectDevice(RowOf(w, "Alpha"));
        Control<QAction>(w.Main(), "CzechLang")->trigger();
        QCOMPARE(restart->toolTip(), QStringLiteral("Toto zařízení nepřijímá příkaz k restartu."));
        QCOMPARE(restart->text(), QStringLiteral("Restartovat zařízení"));
        Control<QAction>(w.Main(), "EnglishLang")->trigger();
        QCOMPARE(restart->toolTip(), why);

        Control<QAction>(w.Main(), "acFind")->trigger();  // a new cycle: no device shown
        QCOMPARE(restart->toolTip(), QString());
    }

    // "Save..." writes the file it asks for: its dialog is a save dialog; "Load..." reads.
    void SaveAsksInASaveDialog()
    {
        TTransferWindow w;
        w.Window.Add({.Name = "Alpha", .MAC = "00:0A:59:00:00:01", .PeerIP = "10.0.0.1"});
        w.Form().SelectDevice(0);
        Control<QAction>(w.Form(), "LoadConfig")->trigger();  // cancelled
        QVERIFY(w.Finish());
        QVERIFY(!Dialogs::LastFileDialogSaves());
        Control<QAction>(w.Form(), "SaveConfig")->trigger();  // cancelled
        QVERIFY(w.Finish());
        QVERIFY(Dialogs::LastFileDialogSaves());
        Control<QAction>(w.Form(), "LoadConfig")->trigger();
        QVERIFY(w.Finish());
        QVERIFY(!Dialogs::LastFileDialogSaves());
    }
};

QTEST_MAIN(TestHints)
#include "test_hints.moc"
