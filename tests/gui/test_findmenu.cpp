// The "Find Devices" drop-down (interfaces and "Find at Addresses..."), the interface kept in the
// settings file and the addresses dialog, offscreen, inside a private network namespace whose one
// interface is pyx0 = 10.77.0.1/16.
#include "core/discovery/discovery.h"
#include "gui/devices/findat.h"
#include "pyxetfixture.h"
#include "ui_findat.h"
#include "ui_form.h"

#include <QActionGroup>
#include <QLabel>
#include <QMenu>
#include <QPlainTextEdit>
#include <QProgressDialog>
#include <QPushButton>
#include <QTest>
#include <QToolButton>

namespace {
QString S(const char* text) { return QString::fromUtf8(text); }
QStringList L(std::initializer_list<const char*> texts)
{
    QStringList list;
    for (const char* text : texts)
        list << S(text);
    return list;
}
} // namespace

class TestFindMenu : public QObject {
    Q_OBJECT
    TPyxetFixture F;

    QStringList MenuTexts() const
    {
        F.Form->RebuildFindMenu();
        QStringList texts;
        for (QAction* action : Control<QMenu>(*F.Form, "pmFind")->actions())
            texts << (action->isSeparator() ? QStringLiteral("-")
                                            : action->text() + (action->isChecked() ? QStringLiteral(" *") : QString()));
        return texts;
    }
    QStringList SentTo() const
    {
        QStringList lines;
        for (const TLogLine& line : F.Form->ActionLog)
            if (line.Text.find("->> Sending") != std::string::npos)
                lines << QString::fromStdString(line.Text.substr(line.Text.find("->>")));
        return lines;
    }

private slots:
    void initTestCase() { TPyxetFixture::InitProgram(); }
    void cleanup() { F.Stop(); }

    void menuListsTheInterfacesAndTheSearch()
    {
        F.Start();
        QCOMPARE(Control<QToolButton>(*F.Form, "tbFind")->menu(), Control<QMenu>(*F.Form, "pmFind"));
        QCOMPARE(Control<QToolButton>(*F.Form, "tbFind")->popupMode(), QToolButton::MenuButtonPopup);
        QCOMPARE(MenuTexts(), (L({"All interfaces *", "pyx0 \u2014 10.77.0.1/16", "-",
                                           "Find at Addresses..."})));
        QVERIFY(Control<QMenu>(*F.Form, "mActions")->actions().contains(Control<QAction>(*F.Form, "acFindAt")));
        // One interface, all of them chosen: the cycle sends what it always sent.
        QCOMPARE(SentTo(), (L({"->> Sending Orvex UDP Info to 255.255.255.255",
                                        "->> Sending HWG UDP Info to 255.255.255.255"})));
    }

    void chosenInterfaceIsUsedAndRemembered()
    {
        F.Start();
        MenuTexts();
        Control<QMenu>(*F.Form, "pmFind")->actions().at(1)->trigger();
        QCOMPARE(F.Form->Settings.Interface, std::string("pyx0"));
        F.Form->ActionLog.clear();
        F.Form->acFindExecute();
        QCOMPARE(SentTo(), (L({"->> Sending Orvex UDP Info to 10.77.255.255",
                                        "->> Sending HWG UDP Info to 10.77.255.255"})));
        F.Form->close();
        QVERIFY2(F.ReadIni().contains(S("[Discovery]\nInterface=pyx0\n")), qPrintable(F.ReadIni()));

        // The next run shows it chosen; "All interfaces" goes back to all of them.
        F.Form.reset();
        F.Start();
        QCOMPARE(MenuTexts().at(1), QString::fromUtf8("pyx0 \u2014 10.77.0.1/16 *"));
        Control<QMenu>(*F.Form, "pmFind")->actions().at(0)->trigger();
        QCOMPARE(F.Form->Settings.Interface, std::string());
    }

    void interfaceThatIsGoneMeansAll()
    {
        F.WriteIni("[Setup]\nLang=en\n[Discovery]\nInterface=eth7\n");
        F.Start();
        QCOMPARE(MenuTexts().at(0), S("All interfaces *"));
        QCOMPARE(SentTo(), (L({"->> Sending Orvex UDP Info to 255.255.255.255",
                                        "->> Sending HWG UDP Info to 255.255.255.255"})));
    }

    void menuInCzech()
    {
        F.WriteIni("[Setup]\nLang=cs\n");
        F.Start();
        QCOMPARE(MenuTexts().at(0), QString::fromUtf8("V\u0161echna rozhran\u00ed *"));
        QCOMPARE(Control<QAction>(*F.Form, "acFindAt")->text(), QString::fromUtf8("Naj\u00edt na adres\u00e1ch..."));
    }

    // The Czech help text fits its label (the dialog has a fixed layout).
    void dialogInCzechFits()
    {
        UseLanguage("cs");
        TFindAtForm dialog;
        dialog.show();
        QLabel* label = dialog.ui()->AddressLabel;
        QVERIFY(label->text().startsWith(S("Adresy, rozsahy")));
        QVERIFY2(label->heightForWidth(label->width()) <= label->height(),
                 qPrintable(QString::number(label->heightForWidth(label->width()))));
        QCOMPARE(dialog.ui()->OkButton->text(), S("Naj\u00edt"));
        UseLanguage("en");
    }

    void dialogRefusesBadSpecsNamingThem()
    {
        TFindAtForm dialog;
        dialog.show();
        dialog.ui()->AddressEdit->setPlainText(S("10.1.2.3, 10.1.2 10.1.2.50-10.1.2.10\n10.1.2.0/24"));
        QTest::mouseClick(dialog.ui()->OkButton, Qt::LeftButton);
        const std::vector<Dialogs::TShownBox> boxes = Dialogs::TakeShownBoxes();
        QCOMPARE(boxes.size(), size_t(1));
        QCOMPARE(boxes[0].Kind, Dialogs::TBoxKind::Error);
        QCOMPARE(boxes[0].Text, std::string("Not an address, range or CIDR block: 10.1.2, 10.1.2.50-10.1.2.10"));
        QVERIFY(dialog.isVisible());
        QCOMPARE(dialog.result(), int(QDialog::Rejected));

        dialog.ui()->AddressEdit->setPlainText(S("10.9.0.0/16 10.10.0.1"));
        QTest::mouseClick(dialog.ui()->OkButton, Qt::LeftButton);
        QCOMPARE(Dialogs::TakeShownBoxes().at(0).Text,
                 std::string("65537 addresses in one search; at most 65536 are allowed."));
        QVERIFY(dialog.isVisible());

        dialog.ui()->AddressEdit->setPlainText(S("10.1.2.10-10.1.2.12, 10.3.0.0/31"));
        QTest::mouseClick(dialog.ui()->OkButton, Qt::LeftButton);
        QVERIFY(Dialogs::TakeShownBoxes().empty());
        QVERIFY(!dialog.isVisible());
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QCOMPARE(dialog.Addresses().size(), size_t(5));
    }

    void searchRunsRemembersAndStops()
    {
        F.Start();
        TFindAtForm::QueueText("10.1.2.0/33 10.200.0.1");
        F.Form->ActionLog.clear();
        F.Form->acFindAtExecute();
        QCOMPARE(Dialogs::TakeShownBoxes().at(0).Text, std::string("Not an address, range or CIDR block: 10.1.2.0/33"));
        QVERIFY2(F.Form->ActionLog.empty(), "nothing searched");
        QCOMPARE(F.Form->Settings.Targets, std::string());

        // 4,000 routed addresses take two seconds: the progress window shows, Stop ends it.
        TFindAtForm::QueueText("10.200.0.0-10.200.15.159");
        F.Form->acFindAtExecute();
        QCOMPARE(F.Form->Settings.Targets, std::string("10.200.0.0-10.200.15.159"));
        QVERIFY(F.Form->SearchProgress);
        QCOMPARE(F.Form->SearchProgress->maximum(), 4000);
        QVERIFY(F.Form->Discovery->Sending());
        QTest::qWait(200);
        QVERIFY(F.Form->SearchProgress->value() > 0);
        QVERIFY(F.Form->SearchProgress->value() < 4000);
        QPushButton* stop = F.Form->SearchProgress->findChild<QPushButton*>();
        QVERIFY(stop);
        QCOMPARE(stop->text(), S("Stop"));
        QTest::mouseClick(stop, Qt::LeftButton);
        QVERIFY(!F.Form->Discovery->Sending());
        QTRY_VERIFY(!F.Form->SearchProgress);
        bool stopped = false;
        for (const TLogLine& line : F.Form->ActionLog)
            stopped = stopped || line.Text.find("Search stopped after") != std::string::npos;
        QVERIFY(stopped);
        F.Form->close();
        QVERIFY2(F.ReadIni().contains(S("Targets=10.200.0.0-10.200.15.159")), qPrintable(F.ReadIni()));
    }
};

QTEST_MAIN(TestFindMenu)
#include "test_findmenu.moc"
