// The search field over the device list: it hides rows and nothing else (check marks, the order
// of a sort and the shown device stay), the All box and the commands count the rows shown, and
// letter case and accents do not matter. The list's empty area says why it is empty, and the
// setup panel and the device links rest while no row is shown. The window's place and size are
// kept in the settings file once the user changes them.
#include "devicefeed.h"
#include "pyxetfixture.h"
#include "ui_form.h"

#include "core/app/i18n.h"
#include "gui/devices/devicelistmodel.h"
#include "gui/devices/weblink.h"
#include "gui/windows/help.h"

#include <QLabel>
#include <QLineEdit>
#include <QScreen>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOptionViewItem>
#include <QTest>
#include <QTextBrowser>

namespace {

QString HighlightedName(TTestWindow& w)
{
    const int row = w.HighlightedRow();
    return row < 0 ? QString() : w.Names()[row];
}

// Types the text into the search field key by key, after clearing it.
void Search(TTestWindow& w, const QString& text)
{
    Control<QLineEdit>(w.Main(), "teSearch")->clear();
    QTest::keyClicks(Control<QLineEdit>(w.Main(), "teSearch"), text);
}

QLabel* EmptyHint(TTestWindow& w) { return w.Form->findChild<QLabel*>(QStringLiteral("tlEmptyList")); }

void AddFour(TTestWindow& w)
{
    w.Add({.TypeCode = 1, .Name = "Boiler room", .MAC = "00:0A:59:00:00:01", .PeerIP = "10.0.0.1"});
    w.Add({.TypeCode = 2, .Name = "Teploměr sklad", .MAC = "00:0A:59:00:00:02", .PeerIP = "10.0.0.2"});
    w.Add({.TypeCode = 1, .Name = "Attic", .MAC = "00:0A:59:00:00:03", .PeerIP = "10.0.0.3"});
    w.Add({.TypeCode = 1, .Name = "Second boiler", .MAC = "00:0A:59:00:00:04", .PeerIP = "10.0.0.4"});
}

}  // namespace

class TestSearchList : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        TPyxetFixture::InitProgram();
        UseLanguage("en");
    }

    void SearchKeepsMarksOrderAndTheShownDevice()
    {
        TTestWindow w;
        AddFour(w);
        QCheckBox* all = Control<QCheckBox>(w.Main(), "AllChecked");
        w.ClickColumn(1);  // ascending by name
        const QStringList sorted{QStringLiteral("Attic"), QStringLiteral("Boiler room"),
                                 QStringLiteral("Second boiler"), QStringLiteral("Teploměr sklad")};
        QCOMPARE(w.Names(), sorted);
        w.Form->SelectDevice(2);  // Second boiler
        w.ClickCheck(1);
        w.ClickCheck(3);
        QCOMPARE(all->checkState(), Qt::PartiallyChecked);
        // An edit in the details that is not applied yet.
        Control<QLineEdit>(w.Main(), "teDeviceName")->setText(QStringLiteral("Second boiler, east"));

        // Every keystroke of a text that all rows match: nothing moves.
        Search(w, QStringLiteral("10.0.0."));
        QCOMPARE(w.Names(), sorted);
        QCOMPARE(w.CheckedNames(), (QStringList{QStringLiteral("Boiler room"), QStringLiteral("Teploměr sklad")}));
        QCOMPARE(w.Panel()->CheckedRowCount(), 2);
        QCOMPARE(all->checkState(), Qt::PartiallyChecked);
        QCOMPARE(HighlightedName(w), QStringLiteral("Second boiler"));
        QCOMPARE(Control<QLineEdit>(w.Main(), "teDeviceName")->text(), QStringLiteral("Second boiler, east"));
        QVERIFY2(Control<QPushButton>(w.Main(), "btnConfigDevice")->isEnabled(), "the edit still waits to be applied");

        // Two rows left, in the sort's order; the shown device is one of them and stays.
        Search(w, QStringLiteral("BOILER"));
        QCOMPARE(w.Names(), (QStringList{QStringLiteral("Boiler room"), QStringLiteral("Second boiler")}));
        QCOMPARE(HighlightedName(w), QStringLiteral("Second boiler"));
        QCOMPARE(Control<QLabel>(w.Main(), "DeviceCounter")->text(), QStringLiteral("2"));
        // The All box counts the rows shown: one of two.
        QCOMPARE(w.Panel()->CheckedRowCount(), 1);
        QCOMPARE(all->checkState(), Qt::PartiallyChecked);
        QTest::mouseClick(all, Qt::LeftButton);  // checks the rows shown
        QCOMPARE(all->checkState(), Qt::Checked);
        QCOMPARE(w.CheckedNames(), (QStringList{QStringLiteral("Boiler room"), QStringLiteral("Second boiler")}));
        QCOMPARE(w.Panel()->CheckedRowCount(), 2);

        // Accents and letter case do not matter; the shown device is hidden, so the first row
        // shown is selected.
        Search(w, QStringLiteral("teplomer"));
        QCOMPARE(w.Names(), QStringList{QStringLiteral("Teploměr sklad")});
        QCOMPARE(HighlightedName(w), QStringLiteral("Teploměr sklad"));
        QCOMPARE(Control<QLineEdit>(w.Main(), "teDeviceName")->text(), QStringLiteral("Teploměr sklad"));
        QCOMPARE(all->checkState(), Qt::Checked);  // its mark stayed while it was hidden
        // Unchecking the All box unchecks the rows shown only.
        QTest::mouseClick(all, Qt::LeftButton);
        QCOMPARE(all->checkState(), Qt::Unchecked);
        QVERIFY(!w.Form->AnyDeviceChecked());

        // Everything back: the sort's order, the marks set meanwhile, the shown device.
        Control<QLineEdit>(w.Main(), "teSearch")->clear();
        QCOMPARE(w.Names(), sorted);
        QCOMPARE(w.CheckedNames(), (QStringList{QStringLiteral("Boiler room"), QStringLiteral("Second boiler")}));
        QCOMPARE(w.Panel()->CheckedRowCount(), 2);
        QCOMPARE(all->checkState(), Qt::PartiallyChecked);
        QCOMPARE(HighlightedName(w), QStringLiteral("Teploměr sklad"));
        QCOMPARE(Control<QLabel>(w.Main(), "DeviceCounter")->text(), QStringLiteral("4"));
        QTest::mouseClick(all, Qt::LeftButton);
        QCOMPARE(w.Panel()->CheckedRowCount(), 4);
    }

    void TypeFilterSortAndAnswersKeepTheirRules()
    {
        TTestWindow w;
        AddFour(w);
        Control<QLineEdit>(w.Main(), "teSearch")->setText(QStringLiteral("er"));
        QCOMPARE(w.Names(), (QStringList{QStringLiteral("Teploměr sklad"), QStringLiteral("Boiler room"),
                                         QStringLiteral("Second boiler")}));
        w.ClickCheck(0);
        // A sort refills: marks cleared, the first row selected; the search still applies.
        w.ClickColumn(1);
        QCOMPARE(w.Names(), (QStringList{QStringLiteral("Boiler room"), QStringLiteral("Second boiler"),
                                         QStringLiteral("Teploměr sklad")}));
        QVERIFY(w.CheckedNames().isEmpty());
        QCOMPARE(w.HighlightedRow(), 0);
        w.ClickColumn(1);
        QCOMPARE(w.Names().first(), QStringLiteral("Teploměr sklad"));

        // The type filter refills too, narrowed by both.
        QComboBox* filter = Control<QComboBox>(w.Main(), "DeviceFilter");
        filter->setCurrentIndex(filter->findText(QStringLiteral("Poseidon 2261")));
        emit filter->activated(filter->currentIndex());
        QCOMPARE(w.Names(), (QStringList{QStringLiteral("Boiler room"), QStringLiteral("Second boiler")}));
        QCOMPARE(Control<QLabel>(w.Main(), "DeviceCounter")->text(), QStringLiteral("2"));

        // An answer: every device in list order, the search applied, no mark left anywhere.
        w.ClickCheck(0);
        Control<QLineEdit>(w.Main(), "teSearch")->setText(QStringLiteral("second"));
        w.Add({.TypeCode = 1, .Name = "Boiler cellar", .MAC = "00:0A:59:00:00:05", .PeerIP = "10.0.0.5"});
        QCOMPARE(w.Names(), QStringList{QStringLiteral("Second boiler")});
        Control<QLineEdit>(w.Main(), "teSearch")->setText(QStringLiteral("boiler"));
        QCOMPARE(w.Names(), (QStringList{QStringLiteral("Boiler cellar"), QStringLiteral("Boiler room"),
                                         QStringLiteral("Second boiler")}));
        QVERIFY2(w.CheckedNames().isEmpty(), "an answer clears the marks of hidden rows too");
        QCOMPARE(Control<QCheckBox>(w.Main(), "AllChecked")->checkState(), Qt::Unchecked);
        w.Add({.TypeCode = 1, .Name = "Attic two", .MAC = "00:0A:59:00:00:06", .PeerIP = "10.0.0.6"});
        QCOMPARE(w.Names().size(), 3);
        QCOMPARE(Control<QLabel>(w.Main(), "DeviceCounter")->text(), QStringLiteral("3"));
    }

    // On a list neither sorted nor filtered an answer takes its row in without a refill: the
    // marks it clears are those of every row, the ones the search hides included, and the All
    // box and the commands count what is left.
    void AnAnswerClearsTheMarksTheSearchHidesOnAListInItsOwnOrder()
    {
        TTestWindow w;
        AddFour(w);
        QCheckBox* all = Control<QCheckBox>(w.Main(), "AllChecked");
        w.ClickCheck(int(w.Names().indexOf(QStringLiteral("Attic"))));
        QCOMPARE(w.CheckedNames(), QStringList{QStringLiteral("Attic")});
        QCOMPARE(all->checkState(), Qt::PartiallyChecked);

        Search(w, QStringLiteral("boiler"));  // Attic hidden, its mark kept
        QVERIFY(!w.Names().contains(QStringLiteral("Attic")));
        QVERIFY(w.CheckedNames().isEmpty());
        QCOMPARE(w.Panel()->CheckedRowCount(), 0);
        QCOMPARE(all->checkState(), Qt::Unchecked);

        w.Add({.TypeCode = 1, .Name = "Boiler cellar", .MAC = "00:0A:59:00:00:05", .PeerIP = "10.0.0.5"});
        QVERIFY(w.Model()->FollowsDeviceList());
        QCOMPARE(w.Names().size(), 3);
        Control<QLineEdit>(w.Main(), "teSearch")->clear();
        QCOMPARE(w.Names().size(), 5);
        QVERIFY2(w.CheckedNames().isEmpty(), "the answer cleared the hidden row's mark");
        QCOMPARE(w.Panel()->CheckedRowCount(), 0);
        QCOMPARE(all->checkState(), Qt::Unchecked);
        QVERIFY(!w.Form->AnyDeviceChecked());

        // Marks set after the answer count as before: one shown, one hidden, both back.
        w.ClickCheck(int(w.Names().indexOf(QStringLiteral("Attic"))));
        Search(w, QStringLiteral("cellar"));
        w.ClickCheck(0);
        QCOMPARE(all->checkState(), Qt::Checked);
        Control<QLineEdit>(w.Main(), "teSearch")->clear();
        QCOMPARE(w.CheckedNames().size(), 2);
        QVERIFY(w.CheckedNames().contains(QStringLiteral("Attic")));
        QVERIFY(w.CheckedNames().contains(QStringLiteral("Boiler cellar")));
        QCOMPARE(w.Panel()->CheckedRowCount(), 2);
        QCOMPARE(all->checkState(), Qt::PartiallyChecked);
    }

    void FirstAnswerHiddenBySearchStillStartsTheCycle()
    {
        TTestWindow w;
        Control<QLineEdit>(w.Main(), "teSearch")->setText(QStringLiteral("boiler"));
        w.Add({.TypeCode = 1, .Name = "Attic", .MAC = "00:0A:59:00:00:03", .PeerIP = "10.0.0.3"});
        QCOMPARE(w.Names().size(), 0);
        QCOMPARE(w.FilterEntries(), (QStringList{QStringLiteral("All devices"), QStringLiteral("Poseidon 2261")}));
        QVERIFY(Control<QAction>(w.Main(), "acFirmUpgr")->isEnabled());
        Control<QLineEdit>(w.Main(), "teSearch")->clear();
        QCOMPARE(w.Names(), QStringList{QStringLiteral("Attic")});
        QCOMPARE(HighlightedName(w), QStringLiteral("Attic"));
        QCOMPARE(Control<QLineEdit>(w.Main(), "teDeviceName")->text(), QStringLiteral("Attic"));
    }

    void EmptyListSaysWhyAndThePanelRests()
    {
        TTestWindow w;
        QLabel* hint = EmptyHint(w);
        QVERIFY(hint);
        const QList<QWidget*> resting{Control<QPushButton>(w.Main(), "btnRestartDevice"), Control<QPushButton>(w.Main(), "btnSetDefault"), Control<QPushButton>(w.Main(), "btnConfigDevice"),
                                      Control<QLabel>(w.Main(), "Image2"),           Control<QLabel>(w.Main(), "tiDeviceImg"),   Control<QLineEdit>(w.Main(), "teDeviceName")};
        auto allRest = [&] {
            for (QWidget* control : resting)
                if (control->isEnabled())
                    return false;
            return true;
        };
        QVERIFY(hint->isVisible());
        QVERIFY2(hint->text().contains(QStringLiteral("No device has answered.")), qPrintable(hint->text()));
        QVERIFY(hint->text().contains(QStringLiteral("Why a device may not appear")));
        QVERIFY(allRest());

        w.Add({.TypeCode = 1,
               .Name = "Attic",
               .MAC = "00:0A:59:00:00:03",
               .PeerIP = "10.0.0.3",
               .CanSetDefault = true,
               .CanRestart = false});
        QVERIFY(!hint->isVisible());
        QVERIFY(Control<QPushButton>(w.Main(), "btnSetDefault")->isEnabled());
        QVERIFY2(!Control<QPushButton>(w.Main(), "btnRestartDevice")->isEnabled(), "the device's own rule");
        QVERIFY(Control<QLabel>(w.Main(), "Image2")->isEnabled());
        QVERIFY(Control<QLabel>(w.Main(), "tiDeviceImg")->isEnabled());
        QVERIFY(Control<QLineEdit>(w.Main(), "teDeviceName")->isEnabled());
        Control<QLineEdit>(w.Main(), "teDeviceName")->setText(QStringLiteral("Attic, north"));
        QVERIFY(Control<QPushButton>(w.Main(), "btnConfigDevice")->isEnabled());

        // A search that leaves no row: the hint says so, the panel rests.
        Control<QLineEdit>(w.Main(), "teSearch")->setText(QStringLiteral("nobody"));
        QVERIFY(hint->isVisible());
        QCOMPARE(hint->text(), QStringLiteral("No device matches the search."));
        QVERIFY(allRest());
        // The links do nothing while they rest.
        std::vector<std::string> opened;
        SetWebPageOpener([&opened](const std::string& url) { opened.push_back(url); });
        QTest::mouseClick(Control<QLabel>(w.Main(), "Image2"), Qt::LeftButton);
        SetWebPageOpener(nullptr);
        QVERIFY(opened.empty());

        // Rows again: each control as it was.
        Control<QLineEdit>(w.Main(), "teSearch")->setText(QStringLiteral("att"));
        QVERIFY(!hint->isVisible());
        QVERIFY(Control<QPushButton>(w.Main(), "btnSetDefault")->isEnabled());
        QVERIFY(!Control<QPushButton>(w.Main(), "btnRestartDevice")->isEnabled());
        QVERIFY(Control<QPushButton>(w.Main(), "btnConfigDevice")->isEnabled());
        QCOMPARE(Control<QLineEdit>(w.Main(), "teDeviceName")->text(), QStringLiteral("Attic, north"));

        // In Czech.
        Control<QLineEdit>(w.Main(), "teSearch")->setText(QStringLiteral("nobody"));
        Control<QAction>(w.Main(), "CzechLang")->trigger();
        QCOMPARE(hint->text(), QString::fromUtf8("Hledanému textu neodpovídá žádné zařízení."));
        Control<QAction>(w.Main(), "EnglishLang")->trigger();
        QCOMPARE(hint->text(), QStringLiteral("No device matches the search."));
    }

    void HintLinkOpensTheGuideWhereItSaysWhy()
    {
        // A program folder with the help files of the build.
        TTestWindow w;
        const QString dir = w.Dir.path() + QStringLiteral("/locale/en");
        QVERIFY(QDir().mkpath(dir));
        QVERIFY(QFile::copy(QStringLiteral(PYXET_BIN_DIR "/locale/en/Pyxet.chm"), dir + QStringLiteral("/Pyxet.chm")));
        QLabel* hint = EmptyHint(w);
        QVERIFY(hint->isVisible());
        emit hint->linkActivated(QStringLiteral("help"));
        THelpWindow* help = CurrentHelpWindow();
        QVERIFY(help);
        QCOMPARE(help->CurrentPage(), std::string("/finding.html"));
        QCOMPARE(help->Browser()->source().fragment(), QStringLiteral("why"));
        // The heading of that section is in view.
        QTextBrowser* pages = help->Browser();
        QVERIFY(pages->verticalScrollBar()->value() > 0);
        ReleaseHelpLibrary();
    }

    void DemoModeKeepsItsButtons()
    {
        TTestWindow w({QStringLiteral("-demo")});
        QVERIFY(EmptyHint(w)->isVisible());
        QVERIFY(Control<QPushButton>(w.Main(), "btnSetDefault")->isEnabled());
        QVERIFY(Control<QPushButton>(w.Main(), "btnRestartDevice")->isEnabled());
    }
};

QTEST_MAIN(TestSearchList)
#include "test_searchlist.moc"
