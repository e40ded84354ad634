// Window tests of the colours in a dark palette: what the device list, the Log Report and the
// progress window really paint, the tool bar, the check boxes and the device picture, and the
// windows following a palette that changes while they are open.
#include "darkpalette.h"
#include "devicefeed.h"
#include "pyxetfixture.h"
#include "ui_form.h"
#include "ui_logrep.h"
#include "ui_progressinfo.h"

#include "core/app/i18n.h"
#include "gui/app/colourscheme.h"
#include "gui/windows/progressinfo.h"

#include <QLineEdit>
#include <QListView>
#include <QTableView>
#include <QListWidget>
#include <QStyle>
#include <QStyleOptionViewItem>
#include <QTest>
#include <QToolBar>

namespace {

// How many pixels of the image's rectangle have exactly this colour.
int Pixels(const QImage& image, const QRect& rect, const QColor& colour)
{
    int count = 0;
    for (int y = std::max(rect.top(), 0); y <= rect.bottom() && y < image.height(); ++y)
        for (int x = std::max(rect.left(), 0); x <= rect.right() && x < image.width(); ++x)
            if (image.pixel(x, y) == colour.rgb())
                ++count;
    return count;
}

// The ink of a line of regular-weight text: of the pixels that differ from the background, the one
// that differs most (antialiased edges lie between the background and the pen).
QColor Ink(const QImage& image, const QRect& rect, const QColor& background)
{
    QColor ink = background;
    int far = 0;
    for (int y = std::max(rect.top(), 0); y <= rect.bottom() && y < image.height(); ++y)
        for (int x = std::max(rect.left(), 0); x <= rect.right() && x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            const int d = std::abs(c.red() - background.red()) + std::abs(c.green() - background.green())
                          + std::abs(c.blue() - background.blue());
            if (d > far) {
                far = d;
                ink = c;
            }
        }
    return ink;
}

bool Near(const QColor& a, const QColor& b)
{
    return std::abs(a.red() - b.red()) <= 24 && std::abs(a.green() - b.green()) <= 24
           && std::abs(a.blue() - b.blue()) <= 24;
}

QColor Text(const QPalette& palette, TColourRole role) { return SchemeColour(ListColours(palette, role).Text); }

// The text area of a device row (the check box left of it excluded).
QRect TextArea(TTestWindow& w, int row)
{
    QTableView* list = w.List();
    return list->visualRect(list->model()->index(row, 0)).adjusted(20, 0, 0, 0);
}

QRect CheckArea(TTestWindow& w, int row)
{
    QTableView* list = w.List();
    QStyleOptionViewItem option;
    option.initFrom(list);
    option.rect = list->visualRect(list->model()->index(row, 0));
    option.features = QStyleOptionViewItem::HasCheckIndicator;
    return list->style()->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &option, list);
}

int RowOf(TTestWindow& w, const char* name) { return int(w.Names().indexOf(QLatin1String(name))); }

}  // namespace

class TestColours : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        TPyxetFixture::InitProgram();
        UseLanguage("en");
        Light = QApplication::palette();
        QVERIFY2(!IsDarkWindow(Light.color(QPalette::Base).rgb() & 0xFFFFFF), "the test starts in a light palette");
    }
    void cleanup() { QApplication::setPalette(Light); }

    // Plain rows in the palette's text colour, a new device in a lighter blue, a conflict row dark
    // on its amber, and empty check boxes with a frame that shows.
    void DeviceListInADarkPalette()
    {
        QApplication::setPalette(DarkPalette());
        TTestWindow w;
        w.Add({.Name = "Alpha", .MAC = "00:0A:59:00:00:01", .PeerIP = "10.0.0.1"});
        w.Add({.Name = "Bravo", .MAC = "00:0A:59:00:00:02", .PeerIP = "10.0.0.2"});
        Control<QAction>(w.Main(), "acFind")->trigger();
        w.Add({.Name = "Alpha", .MAC = "00:0A:59:00:00:01", .PeerIP = "10.0.0.1"});
        w.Add({.Name = "Bravo", .MAC = "00:0A:59:00:00:02", .PeerIP = "10.0.0.2"});
        w.Add({.Name = "Charlie", .MAC = "00:0A:59:00:00:03", .PeerIP = "10.0.0.3"});
        w.Add({.Name = "Delta", .MAC = "00:0A:59:00:00:04", .PeerIP = "10.0.0.4", .IP = "10.0.0.2"});
        w.Form->SelectDevice(RowOf(w, "Alpha"));
        QApplication::processEvents();

        const QPalette palette = w.List()->palette();
        const QImage shot = w.List()->viewport()->grab().toImage();
        const QColor base = palette.color(QPalette::Base), text = palette.color(QPalette::Text);

        // Charlie: new, plain background, a blue lighter than the light scheme's and readable.
        const QRect charlie = TextArea(w, RowOf(w, "Charlie"));
        const QColor blue = Text(palette, TColourRole::NewDevice);
        QVERIFY(blue.rgb() != QColor(QRgb(kNewDeviceBlue)).rgb());
        QVERIFY(ContrastRatio(blue.rgb() & 0xFFFFFF, base.rgb() & 0xFFFFFF) >= kMinTextContrast);
        QVERIFY(Pixels(shot, charlie, blue) > 10);
        QVERIFY(Pixels(shot, charlie, base) > 100);
        QCOMPARE(Pixels(shot, charlie, Qt::black), 0);

        // Bravo and Delta share an address: amber, with black text (the palette's near-white
        // would be 1.4:1); Delta is new as well: a darker blue on the amber.
        for (const char* name : {"Bravo", "Delta"}) {
            const QRect row = TextArea(w, RowOf(w, name));
            QVERIFY2(Pixels(shot, row, QColor(QRgb(kConflictAmber))) > 100, name);
            QCOMPARE(Pixels(shot, row, text), 0);
        }
        QVERIFY(Pixels(shot, TextArea(w, RowOf(w, "Bravo")), Qt::black) > 10);
        const QColor onAmber = Text(palette, TColourRole::NewConflictRow);
        QVERIFY(ContrastRatio(onAmber.rgb() & 0xFFFFFF, kConflictAmber) >= kMinTextContrast);
        QVERIFY(Pixels(shot, TextArea(w, RowOf(w, "Delta")), onAmber) > 10);

        // A known device that is not highlighted: the palette's text, no black.
        w.Form->SelectDevice(RowOf(w, "Charlie"));
        QApplication::processEvents();
        const QImage again = w.List()->viewport()->grab().toImage();
        const QRect alpha = TextArea(w, RowOf(w, "Alpha"));
        QVERIFY(Pixels(again, alpha, text) > 10);
        QCOMPARE(Pixels(again, alpha, Qt::black), 0);

        // The empty check box of every row has the scheme's frame.
        const QColor frame = Text(palette, TColourRole::CheckBoxFrame);
        QVERIFY(ContrastRatio(frame.rgb() & 0xFFFFFF, base.rgb() & 0xFFFFFF) >= kMinFrameContrast);
        for (int r = 0; r < 4; ++r)
            QVERIFY2(Pixels(again, CheckArea(w, r), frame) >= 20, qPrintable(w.Names()[r]));
        // The All box and the DHCP box too.
        for (QWidget* box : {static_cast<QWidget*>(Control<QCheckBox>(w.Main(), "AllChecked")), static_cast<QWidget*>(Control<QCheckBox>(w.Main(), "chbDhcp"))}) {
            const QImage image = box->grab().toImage();
            QVERIFY2(Pixels(image, image.rect(), frame) >= 20, qPrintable(box->objectName()));
        }
    }

    // Log lines: the palette's text for "black", lighter shades of the blue, the lime readable.
    void LogReportInADarkPalette()
    {
        QApplication::setPalette(DarkPalette());
        TPyxetFixture f;
        f.Start();
        f.Form->LogAction("", "plain line", LOG_INFO);
        f.Form->LogAction("", "->> Sending Orvex UDP Info to 255.255.255.255", LOG_DEBUG);
        f.Form->LogAction("", "<- answer from 10.0.0.1", LOG_DEBUG);
        f.Form->LogAction("", "last line", LOG_INFO);
        f.LogForm->show();
        QVERIFY(QTest::qWaitForWindowExposed(f.LogForm.get()));
        QListView* list = f.LogForm->ui()->ActionReport;
        list->clearSelection();
        QApplication::processEvents();
        const QPalette palette = list->palette();
        const QImage shot = list->viewport()->grab().toImage();
        auto row = [&](const char* text) {
            for (int r = 0; r < list->model()->rowCount(); ++r)
                if (list->model()->index(r, 0).data().toString().contains(QLatin1String(text)))
                    return list->visualRect(list->model()->index(r, 0));
            return QRect();
        };
        const QColor base = palette.color(QPalette::Base);
        const struct {
            const char* Line;
            TColourRole Role;
        } rows[] = {{"plain line", TColourRole::Plain},
                    {"->> Sending", TColourRole::LogOutgoing},
                    {"<- answer", TColourRole::LogIncoming}};
        for (const auto& r : rows) {
            const QRect rect = row(r.Line);
            QVERIFY2(rect.isValid(), r.Line);
            const QColor pen = Text(palette, r.Role);
            QVERIFY2(ContrastRatio(pen.rgb() & 0xFFFFFF, base.rgb() & 0xFFFFFF) >= kMinTextContrast, r.Line);
            const QColor ink = Ink(shot, rect, base);
            QVERIFY2(Near(ink, pen), qPrintable(QStringLiteral("%1: ink %2, pen %3")
                                                    .arg(QLatin1String(r.Line), ink.name(), pen.name())));
            QVERIFY2(Pixels(shot, rect, base) > 100, r.Line);
            QCOMPARE(Pixels(shot, rect, Qt::black), 0);
        }
        QCOMPARE(Text(palette, TColourRole::Plain), palette.color(QPalette::Text));
        QCOMPARE(Pixels(shot, row("<- answer"), QColor(0, 0, 255)), 0);
        f.Stop();
    }

    // In the light palette the outgoing requests are a darker green, not the pale lime.
    void LogOutgoingInALightPalette()
    {
        TPyxetFixture f;
        f.Start();
        f.Form->LogAction("", "->> Sending Orvex UDP Info to 255.255.255.255", LOG_DEBUG);
        f.Form->LogAction("", "last line", LOG_INFO);
        f.LogForm->show();
        QVERIFY(QTest::qWaitForWindowExposed(f.LogForm.get()));
        QListView* list = f.LogForm->ui()->ActionReport;
        list->clearSelection();
        QApplication::processEvents();
        const QImage shot = list->viewport()->grab().toImage();
        QRect rect;
        for (int r = 0; r < list->model()->rowCount(); ++r)
            if (list->model()->index(r, 0).data().toString().contains(QStringLiteral("->> Sending")))
                rect = list->visualRect(list->model()->index(r, 0));
        const QColor green = Text(list->palette(), TColourRole::LogOutgoing);
        QVERIFY(ContrastRatio(green.rgb() & 0xFFFFFF, list->palette().color(QPalette::Base).rgb() & 0xFFFFFF)
                >= kMinTextContrast);
        const QColor ink = Ink(shot, rect, list->palette().color(QPalette::Base));
        QVERIFY2(Near(ink, green), qPrintable(ink.name() + QStringLiteral(" against ") + green.name()));
        QCOMPARE(Pixels(shot, rect, QColor(0, 255, 0)), 0);
        f.Stop();
    }

    // The progress window: the palette's window colour instead of the cream, lighter green and
    // red, the palette's text for the plain lines.
    void ProgressWindowInADarkPalette()
    {
        QApplication::setPalette(DarkPalette());
        TProgressInfoForm window;
        window.Open("Backup");
        window.AddLine("Hall sensor  (10.77.1.20)");
        window.AddLine("Backup Succeeded");
        window.AddLine("Backup Failed");
        window.AddLine("Processes Summary:");
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QListWidget* list = window.ui()->ListBox1;
        const QImage shot = list->viewport()->grab().toImage();
        const QPalette palette = window.palette();
        const QColor base = palette.color(QPalette::Base);
        const TColourRole roles[] = {TColourRole::ProgressPlain, TColourRole::ProgressSucceeded,
                                     TColourRole::ProgressFailed, TColourRole::ProgressPlain};
        for (int r = 0; r < 4; ++r) {
            const QRect rect = list->visualItemRect(list->item(r));
            const TSchemeColours c = ListColours(palette, roles[r]);
            QCOMPARE(SchemeColour(c.Background), base);
            QVERIFY(ContrastRatio(c.Text, c.Background) >= kMinTextContrast);
            QVERIFY2(Pixels(shot, rect, SchemeColour(c.Text)) > 10, qPrintable(list->item(r)->text()));
            QVERIFY(Pixels(shot, rect, base) > 100);
            QCOMPARE(Pixels(shot, rect, QColor(QRgb(kProgressBackground))), 0);
            QCOMPARE(Pixels(shot, rect, Qt::black), 0);
        }
        QVERIFY(Pixels(shot, list->visualItemRect(list->item(1)), QColor(QRgb(kProgressGreen))) == 0);
        QVERIFY(Pixels(shot, list->visualItemRect(list->item(2)), QColor(QRgb(kProgressRed))) == 0);
        window.hide();
    }

    // A palette that changes while the windows are open: the tool bar, the progress list's
    // background, the shaded fields and the picture's plate follow, and return.
    void WindowsFollowAPaletteChange()
    {
        TTestWindow w;
        w.Add({.TypeCode = 2, .Name = "Alpha", .MAC = "00:0A:59:00:00:01", .PeerIP = "10.0.0.1", .HTTPPort = -1});
        w.Form->SelectDevice(0);
        TProgressInfoForm progress;
        progress.Open("Backup");
        progress.AddLine("Backup Succeeded");
        QVERIFY(QTest::qWaitForWindowExposed(&progress));
        QVERIFY(progress.ui()->ListBox1->visualItemRect(progress.ui()->ListBox1->item(0)).bottom()
                < progress.ui()->ListBox1->viewport()->height() - 3);

        auto toolBarTop = [&] {
            QToolBar* bar = Control<QToolBar>(w.Main(), "ToolBar1");
            return bar->grab().toImage().pixelColor(bar->width() - 3, 1);
        };
        auto progressBackground = [&] {
            QListWidget* list = progress.ui()->ListBox1;
            // Below the lines: the list's own background.
            return list->viewport()->grab().toImage().pixelColor(list->viewport()->width() - 3,
                                                                  list->viewport()->height() - 3);
        };
        auto pictureCorner = [&] { return Control<QLabel>(w.Main(), "tiDeviceImg")->pixmap().toImage().pixelColor(125, 3); };
        QLineEdit* shaded = Control<QLineEdit>(w.Main(), "teHTTPPort");
        QVERIFY(shaded->isReadOnly());

        // Light: a light tool bar, the cream, the picture as drawn (transparent there).
        QVERIFY(!IsDarkWindow(toolBarTop().rgb() & 0xFFFFFF));
        QCOMPARE(progressBackground(), QColor(QRgb(kProgressBackground)));
        QCOMPARE(pictureCorner().alpha(), 0);
        QCOMPARE(shaded->palette().color(QPalette::Base), QColor(QRgb(kShadedFieldGrey)));

        QApplication::setPalette(DarkPalette());
        QApplication::processEvents();
        const QPalette dark = DarkPalette();
        QVERIFY(IsDarkWindow(toolBarTop().rgb() & 0xFFFFFF));
        QCOMPARE(progressBackground(), dark.color(QPalette::Base));
        QCOMPARE(pictureCorner(), QColor(QRgb(kPicturePlate)));
        const TSchemeColours field = ListColours(dark, TColourRole::ShadedField);
        QCOMPARE(shaded->palette().color(QPalette::Base), SchemeColour(field.Background));
        QCOMPARE(shaded->palette().color(QPalette::Text), SchemeColour(field.Text));
        QVERIFY(ContrastRatio(field.Text, field.Background) >= kMinTextContrast);
        // The tool-bar labels read on the gradient.
        const TSchemeColours bar = FaceColours(dark, TColourRole::ToolBar);
        QCOMPARE(Control<QToolBar>(w.Main(), "ToolBar1")->palette().color(QPalette::ButtonText), SchemeColour(bar.Text));

        QApplication::setPalette(Light);
        QApplication::processEvents();
        QVERIFY(!IsDarkWindow(toolBarTop().rgb() & 0xFFFFFF));
        QCOMPARE(progressBackground(), QColor(QRgb(kProgressBackground)));
        QCOMPARE(pictureCorner().alpha(), 0);
        QCOMPARE(shaded->palette().color(QPalette::Base), QColor(QRgb(kShadedFieldGrey)));
        progress.hide();
    }

private:
    QPalette Light;
};

QTEST_MAIN(TestColours)
#include "test_colours.moc"
