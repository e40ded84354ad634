// Utilities -> "Colour Scheme": System follows the desktop's palette (offscreen a light one),
// Light and Dark set the program's own, the windows follow at once, and the choice is kept as
// [Window] Scheme in Pyxet.ini.
#include "pyxetfixture.h"
#include "ui_form.h"
#include "ui_progressinfo.h"

#include "core/app/colours.h"
#include "gui/app/colourscheme.h"
#include "gui/windows/progressinfo.h"

#include <QActionGroup>
#include <QApplication>
#include <QTableView>
#include <QTest>

namespace {

uint32_t Rgb(const QColor& c) { return c.rgb() & 0xFFFFFFu; }

bool DarkWindow(const QPalette& palette) { return IsDarkWindow(Rgb(palette.color(QPalette::Window))); }
bool DarkList(const QWidget* list) { return IsDarkWindow(Rgb(list->palette().color(QPalette::Base))); }

// The scheme the menu marks, by the item's text.
QString Marked(const TPyxetForm& form)
{
    const QAction* item = Control<QActionGroup>(form, "ColourSchemes")->checkedAction();
    return item ? item->text() : QString();
}

}  // namespace

class TestColourScheme : public QObject {
    Q_OBJECT
    TPyxetFixture F;
    QPalette Platform;  // the offscreen platform's palette, before any scheme was chosen

private slots:
    void initTestCase()
    {
        TPyxetFixture::InitProgram();
        Platform = QGuiApplication::palette();
        QVERIFY2(!DarkWindow(Platform), "the offscreen platform is expected to be light");
    }
    void cleanup()
    {
        ApplyColourScheme(TColourScheme::System);
        F.Stop();
    }

    // Dark on a light platform: the window, its list and a window opened afterwards are dark;
    // the menu marks it, and Pyxet.ini keeps it. System gives the platform's palette back; Light
    // is a light palette.
    void DarkOnALightPlatformAndBack()
    {
        F.Start();
        TPyxetForm& form = *F.Form;
        QCOMPARE(Marked(form), QStringLiteral("System"));
        QCOMPARE(Control<QMenu>(form, "mColourScheme")->menuAction()->text(), QStringLiteral("Colour Scheme"));
        QVERIFY(Control<QMenu>(form, "mUtilities")->actions().contains(Control<QMenu>(form, "mColourScheme")->menuAction()));
        QTRY_VERIFY(!DarkWindow(form.palette()));

        Control<QAction>(form, "acSchemeDark")->trigger();
        QCOMPARE(Marked(form), QStringLiteral("Dark"));
        QCOMPARE(form.Settings.Scheme, TColourScheme::Dark);
        QVERIFY(DarkWindow(QGuiApplication::palette()));
        QTRY_VERIFY(DarkWindow(form.palette()));
        QTRY_VERIFY(DarkList(Control<QTableView>(*F.Form, "DeviceListBox")));
        QCOMPARE(Control<QLabel>(form, "tlIPConflict")->font(), form.font());  // its style sheet set again keeps the window's font
        TProgressInfoForm progress;  // made now, dark from the start
        QTRY_VERIFY(DarkList(progress.ui()->ListBox1));

        Control<QAction>(form, "acSchemeLight")->trigger();
        QCOMPARE(Marked(form), QStringLiteral("Light"));
        QTRY_VERIFY(!DarkWindow(form.palette()));
        QTRY_VERIFY(!DarkList(Control<QTableView>(*F.Form, "DeviceListBox")));
        QTRY_VERIFY(!DarkList(progress.ui()->ListBox1));

        Control<QAction>(form, "acSchemeSystem")->trigger();
        QCOMPARE(Marked(form), QStringLiteral("System"));
        QCOMPARE(QGuiApplication::palette(), Platform);

        Control<QAction>(form, "acSchemeDark")->trigger();
        form.close();
        QVERIFY2(F.ReadIni().contains(QStringLiteral("[Window]\nScheme=Dark\n")), qPrintable(F.ReadIni()));
    }

    // Read at start: the window opens in the kept scheme, its item marked; letter case aside.
    // Back to System, the key says so; a file that never had it gets none.
    void KeptInTheSettingsFile()
    {
        F.WriteIni("[Window]\nScheme=dark\n");
        F.Start();
        QCOMPARE(Marked(*F.Form), QStringLiteral("Dark"));
        QTRY_VERIFY(DarkWindow(F.Form->palette()));
        QTRY_VERIFY(DarkList(Control<QTableView>(*F.Form, "DeviceListBox")));
        Control<QAction>(*F.Form, "acSchemeSystem")->trigger();
        QCOMPARE(QGuiApplication::palette(), Platform);
        QTRY_VERIFY(!DarkWindow(F.Form->palette()));
        F.Form->close();
        QVERIFY2(F.ReadIni().contains(QStringLiteral("Scheme=System")), qPrintable(F.ReadIni()));
        F.Stop();

        F.WriteIni("[Window]\nScheme=Purple\n");  // no scheme of ours: the desktop's
        F.Start();
        QCOMPARE(Marked(*F.Form), QStringLiteral("System"));
        QCOMPARE(QGuiApplication::palette(), Platform);
        F.Stop();

        F.Start();  // no file at all
        QCOMPARE(Marked(*F.Form), QStringLiteral("System"));
        F.Form->close();
        QVERIFY2(!F.ReadIni().contains(QStringLiteral("Scheme")), qPrintable(F.ReadIni()));
    }

    // A desktop that is dark itself (here a dark application palette set before the window)
    // stays dark under System, and comes back after Light.
    void SystemFollowsADarkDesktop()
    {
        QApplication::setPalette(DarkSchemePalette());
        F.Start();
        QTRY_VERIFY(DarkWindow(F.Form->palette()));
        Control<QAction>(*F.Form, "acSchemeLight")->trigger();
        QTRY_VERIFY(!DarkWindow(F.Form->palette()));
        Control<QAction>(*F.Form, "acSchemeSystem")->trigger();
        QTRY_VERIFY(DarkWindow(F.Form->palette()));
        QTRY_VERIFY(DarkList(Control<QTableView>(*F.Form, "DeviceListBox")));
        QApplication::setPalette(Platform);
    }
};

QTEST_MAIN(TestColourScheme)
#include "test_colourscheme.moc"
