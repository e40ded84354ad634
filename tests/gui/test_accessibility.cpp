// What a screen reader reads: every control of every window has a name through Qt's accessibility
// interface (the label beside it, or its own text), no two controls of one kind in a window share
// one, and the names follow the language. Offscreen, inside a private network namespace.
#include "pyxetfixture.h"
#include "ui_form.h"
#include "ui_plandialog.h"

#include "core/app/version.h"
#include "gui/app/batchcontroller.h"
#include "gui/devices/findat.h"
#include "gui/http/login.h"
#include "gui/http/upgrade.h"
#include "gui/setup/plandialog.h"
#include "gui/windows/about.h"
#include "gui/windows/help.h"
#include "gui/windows/progressinfo.h"

#include <QAbstractItemView>
#include <QAbstractScrollArea>
#include <QAbstractSlider>
#include <QAbstractSpinBox>
#include <QAccessible>
#include <QToolButton>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMap>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QScrollBar>
#include <QTest>
#include <QTextEdit>

#include <memory>

namespace {
bool TakesTab(const QWidget* w) { return (w->focusPolicy() & Qt::TabFocus) && !w->focusProxy(); }

bool IsControlKind(const QWidget* w)
{
    return qobject_cast<const QAbstractButton*>(w) || qobject_cast<const QLineEdit*>(w)
           || qobject_cast<const QComboBox*>(w) || qobject_cast<const QAbstractItemView*>(w)
           || qobject_cast<const QTextEdit*>(w) || qobject_cast<const QPlainTextEdit*>(w)
           || qobject_cast<const QProgressBar*>(w) || qobject_cast<const QAbstractSpinBox*>(w)
           || qobject_cast<const QAbstractSlider*>(w);
}

// A picture or text that opens a page when clicked, whether or not Tab reaches it.
bool IsLink(const QWidget* w)
{
    return qobject_cast<const QLabel*>(w) && w->testAttribute(Qt::WA_SetCursor)
           && w->cursor().shape() == Qt::PointingHandCursor;
}

// The controls of `window`: what Tab stops at, every button, field, list and bar, and the links.
// Left out: other windows (menus, drop-down lists), scroll bars, and the parts of a control
// that Tab does not reach (a view's headers, a field's clear button, the toolkit's own helpers).
QList<QWidget*> Controls(QWidget* window)
{
    QList<QWidget*> controls;
    for (QWidget* w : window->findChildren<QWidget*>()) {
        if (w->window() != window || qobject_cast<QScrollBar*>(w))
            continue;
        if (!TakesTab(w)) {
            if (w->objectName().startsWith(QLatin1String("qt_")))
                continue;
            bool part = false;
            for (QWidget* up = w->parentWidget(); up && up != window && !part; up = up->parentWidget())
                part = qobject_cast<QAbstractScrollArea*>(up) || qobject_cast<QLineEdit*>(up);
            if (part)
                continue;
        }
        if (TakesTab(w) || IsControlKind(w) || IsLink(w))
            controls << w;
    }
    return controls;
}

// The name a screen reader reads. On this platform a drop-down list's Name is its current entry;
// the name comes from what labels it, as the reader takes it.
QString NameOf(QWidget* w)
{
    QAccessibleInterface* face = QAccessible::queryAccessibleInterface(w);
    if (!face)
        return {};
    if (face->role() == QAccessible::ComboBox) {
        const auto labels = face->relations(QAccessible::Label);
        return labels.isEmpty() ? QString() : labels.first().first->text(QAccessible::Name);
    }
    return face->text(QAccessible::Name);
}

QString Describe(const QWidget* w)
{
    return QStringLiteral("%1 (%2)").arg(w->objectName(), QLatin1String(w->metaObject()->className()));
}

// Each control without a name, and each name two controls of one kind share.
QStringList Problems(QWidget* window)
{
    QStringList problems;
    QMap<QPair<int, QString>, QWidget*> taken;
    for (QWidget* w : Controls(window)) {
        const QString name = NameOf(w).trimmed();
        if (name.isEmpty()) {
            problems << Describe(w) + QStringLiteral(": no name");
            continue;
        }
        const QPair<int, QString> key(int(QAccessible::queryAccessibleInterface(w)->role()), name);
        if (QWidget* other = taken.value(key))
            problems << QStringLiteral("%1 and %2: both \"%3\"").arg(Describe(other), Describe(w), name);
        else
            taken.insert(key, w);
    }
    return problems;
}

struct TExpectedName {
    const char* Control;
    QString English;
    QString Czech;
};

QString U(const char* text) { return QString::fromUtf8(text); }

// The main window's fields, named by the labels beside them, and the controls named of their own.
const std::vector<TExpectedName>& MainWindowNames()
{
    static const std::vector<TExpectedName> names = {
        {"teSearch", U("Search:"), U("Hledat:")},
        {"DeviceFilter", U("Filter by Type:"), U("Filtr podle typu:")},
        {"chbDhcp", U("DHCP"), U("DHCP")},
        {"teDeviceName", U("Device Name"), U("Název zařízení")},
        {"teDeviceIP", U("IP Address"), U("IP adresa")},
        {"teDeviceMask", U("Subnet Mask"), U("Maska podsítě")},
        {"teDeviceGateway", U("Default Gateway"), U("Výchozí brána")},
        {"teDeviceDNS1", U("Primary Name Server"), U("Primární DNS server")},
        {"teDeviceDNS2", U("Secondary Name Server"), U("Sekundární DNS server")},
        {"teHTTPPort", U("HTTP Port"), U("Port HTTP")},
        {"teTelnetPort", U("TCP Telnet Setup"), U("Port Telnet (TCP)")},
        {"DeviceListBox", U("Device List"), U("Seznam zařízení")},
        {"DeviceListHeader", U("Device List Columns"), U("Sloupce seznamu zařízení")},
        {"tiDeviceImg", U("Device Image"), U("Obrázek zařízení")},
        {"Image2", U("Open in WEB browser"), U("Otevřít ve webovém prohlížeči")},
        {"LogoImage", U(kMakerWebAddress), U(kMakerWebAddress)},
        {"pbHTTP", U("Transfer Progress"), U("Průběh přenosu")},
    };
    return names;
}

// The names of the table that differ, with the control's.
QStringList WrongNames(QWidget* window, bool czech)
{
    QStringList wrong;
    const QList<QWidget*> controls = Controls(window);
    for (const TExpectedName& e : MainWindowNames()) {
        auto* w = window->findChild<QWidget*>(QLatin1String(e.Control));
        const QString want = czech ? e.Czech : e.English;
        if (!w || !controls.contains(w))
            wrong << QStringLiteral("%1: not a control of the window").arg(QLatin1String(e.Control));
        else if (NameOf(w) != want)
            wrong << QStringLiteral("%1: \"%2\", not \"%3\"").arg(QLatin1String(e.Control), NameOf(w), want);
    }
    return wrong;
}
}  // namespace

class TestAccessibility : public QObject {
    Q_OBJECT
    TPyxetFixture F;
    std::unique_ptr<QWidget> Window;  // a window of its own, for the test that opened it

    QWidget* Open(const QString& which)
    {
        if (which == QLatin1String("help window"))
            return OpenHelpWindow(nullptr, PYXET_BIN_DIR "/locale/en/Pyxet.chm");
        if (which == QLatin1String("progress window"))
            Window = std::make_unique<TProgressInfoForm>();
        else if (which == QLatin1String("login"))
            Window = std::make_unique<TLoginForm>();
        else if (which == QLatin1String("upgrade")) {
            auto upgrade = std::make_unique<TUpgradeForm>();
            upgrade->Prepare("Select Firmware", "Upgrade", "Kri Image|*.kri");  // as every command does
            Window = std::move(upgrade);
        } else if (which == QLatin1String("Find at Addresses"))
            Window = std::make_unique<TFindAtForm>();
        else if (which == QLatin1String("about box"))
            Window = std::make_unique<TAboutBox>();
        if (Window)
            return Window.get();
        // The main window, its Log Report, and the plan dialog it opens (no row checked).
        F.Start();
        if (which == QLatin1String("Log Report"))
            return F.LogForm.get();
        if (which == QLatin1String("plan dialog")) {
            Control<QAction>(*F.Form, "acSetUpPlan")->trigger();
            return F.Form->Batches()->PlanDialog();
        }
        return F.Form.get();
    }

private slots:
    void initTestCase() { TPyxetFixture::InitProgram(); }
    void cleanup()
    {
        Window.reset();
        ReleaseHelpLibrary();
        F.Stop();
    }

    void everyControlHasANameOfItsOwn_data()
    {
        QTest::addColumn<QString>("which");
        QTest::addColumn<int>("least");  // controls found at least: the walk does reach them
        QTest::newRow("main window") << QStringLiteral("main window") << 28;
        QTest::newRow("Log Report") << QStringLiteral("Log Report") << 5;
        QTest::newRow("progress window") << QStringLiteral("progress window") << 3;
        QTest::newRow("login") << QStringLiteral("login") << 4;
        QTest::newRow("upgrade") << QStringLiteral("upgrade") << 4;
        QTest::newRow("Find at Addresses") << QStringLiteral("Find at Addresses") << 3;
        QTest::newRow("plan dialog") << QStringLiteral("plan dialog") << 22;
        QTest::newRow("about box") << QStringLiteral("about box") << 3;
        QTest::newRow("help window") << QStringLiteral("help window") << 9;
    }
    void everyControlHasANameOfItsOwn()
    {
        QFETCH(QString, which);
        QFETCH(int, least);
        QWidget* window = Open(which);
        QVERIFY(window);
        const QList<QWidget*> controls = Controls(window);
        QVERIFY2(controls.size() >= least, qPrintable(QString::number(controls.size())));
        const QStringList problems = Problems(window);
        QVERIFY2(problems.isEmpty(), qPrintable(problems.join(QLatin1String("; "))));
    }

    // The pictures that open pages count as controls, as do the list's hint and the status
    // bar's progress bar; each field is named by its label, not by its group's title.
    void mainWindowNames()
    {
        F.Start();
        const QStringList wrong = WrongNames(F.Form.get(), false);
        QVERIFY2(wrong.isEmpty(), qPrintable(wrong.join(QLatin1String("; "))));
        const QList<QWidget*> controls = Controls(F.Form.get());
        QVERIFY(controls.contains(F.Form->findChild<QLabel*>(QStringLiteral("tlEmptyList"))));
        QVERIFY(controls.contains(Control<QToolButton>(*F.Form, "tbLanguage")));
    }

    // In Czech the names are Czech, and a switch back to English brings the English ones.
    void mainWindowNamesInCzech()
    {
        F.WriteIni("[Setup]\nLang=cs\n");
        F.Start();
        QStringList wrong = WrongNames(F.Form.get(), true);
        QVERIFY2(wrong.isEmpty(), qPrintable(wrong.join(QLatin1String("; "))));
        const QStringList problems = Problems(F.Form.get());
        QVERIFY2(problems.isEmpty(), qPrintable(problems.join(QLatin1String("; "))));
        Control<QAction>(*F.Form, "EnglishLang")->trigger();
        wrong = WrongNames(F.Form.get(), false);
        QVERIFY2(wrong.isEmpty(), qPrintable(wrong.join(QLatin1String("; "))));
    }

    // The plan dialog's fields stand beside check boxes: each is named by its box's caption.
    void planFieldsAreNamedByTheirBoxes()
    {
        F.WriteIni("[Setup]\nLang=cs\n");
        F.Start();
        Control<QAction>(*F.Form, "acSetUpPlan")->trigger();
        TPlanDialog* d = F.Form->Batches()->PlanDialog();
        QVERIFY(d);
        Ui::TPlanDialog* ui = d->ui();
        const std::pair<QCheckBox*, QLineEdit*> fields[] = {
            {ui->chkFirstIP, ui->teFirstIP},   {ui->chkMask, ui->teMask},
            {ui->chkGateway, ui->teGateway},   {ui->chkDNS1, ui->teDNS1},
            {ui->chkDNS2, ui->teDNS2},         {ui->chkName, ui->teName},
            {ui->chkHTTPPort, ui->teHTTPPort}, {ui->chkTelnetPort, ui->teTelnetPort}};
        for (const auto& [box, edit] : fields)
            QCOMPARE(NameOf(edit), box->text());
        QCOMPARE(ui->chkFirstIP->text(), U("První IP adresa"));
        QCOMPARE(NameOf(ui->cbDhcp), U("DHCP"));
    }
};

QTEST_MAIN(TestAccessibility)
#include "test_accessibility.moc"
