// Translating whole windows: the language menu, the recorded English texts, the ignored device
// counter, and texts the program has set itself.
#include "app/translate.h"
#include "pyxetfixture.h"
#include "ui_form.h"
#include "ui_logrep.h"

#include <QComboBox>
#include <QLabel>
#include <QMenu>
#include <QTest>
#include <QToolButton>

class TestTranslation : public QObject {
    Q_OBJECT
    TPyxetFixture F;

private slots:
    void initTestCase() { TPyxetFixture::InitProgram(); }
    void cleanup() { F.Stop(); }

    void languageMenuRetranslatesTheMainWindow()
    {
        F.WriteIni("[Setup]\nLang=en\n");
        F.Start();
        Ui::TPyxetForm* ui = F.Form->ui();
        QVERIFY(ui->EnglishLang->isChecked());
        ui->DeviceCounter->setText(QStringLiteral("3"));

        ui->CzechLang->trigger();
        QCOMPARE(GetCurrentLanguage(), std::string("cs"));
        QVERIFY(ui->CzechLang->isChecked());
        QVERIFY(!ui->EnglishLang->isChecked());
        QCOMPARE(ui->GroupBox1->title(), QStringLiteral("Seznam zařízení"));
        QCOMPARE(ui->tlDeviceIP->text(), QStringLiteral("IP adresa"));
        QCOMPARE(ui->chbDhcp->text(), QStringLiteral("Povolit"));
        QCOMPARE(ui->btnConfigDevice->text(), QStringLiteral("Použít změny"));
        QCOMPARE(ui->acFind->text(), QStringLiteral("&Najít zařízení"));
        QCOMPARE(ui->acFind->toolTip(), QStringLiteral("Najít zařízení v síti"));
        QCOMPARE(ui->mActions->title(), QStringLiteral("&Akce"));
        QCOMPARE(ui->tiDeviceImg->toolTip(), QStringLiteral("Otevřít ve webovém prohlížeči"));
        QCOMPARE(F.Form->tbLanguage->text(), QStringLiteral("Zvolit jazyk"));
        QCOMPARE(F.Form->tbFind->text(), QStringLiteral("Najít zařízení"));  // follows its action
        QCOMPARE(F.Form->tbFind->toolTip(), QStringLiteral("Najít zařízení v síti"));
        QCOMPARE(F.Form->tbExit->toolTip(), QStringLiteral("Konec"));
        QCOMPARE(ui->DeviceCounter->text(), QStringLiteral("3"));

        // Back to English from the recorded texts (the Czech ones are no message ids).
        ui->EnglishLang->trigger();
        QVERIFY(ui->EnglishLang->isChecked());
        QCOMPARE(ui->GroupBox1->title(), QStringLiteral("Device List"));
        QCOMPARE(ui->acFind->text(), QStringLiteral("Fi&nd Devices"));
        QCOMPARE(ui->mActions->title(), QStringLiteral("&Actions"));
        QCOMPARE(F.Form->tbExit->toolTip(), QStringLiteral("Exit"));
        QCOMPARE(F.Form->tbFind->toolTip(), QStringLiteral("Find devices in network"));
        QCOMPARE(ui->DeviceCounter->text(), QStringLiteral("3"));

        // The choice is kept only at exit.
        ui->CzechLang->trigger();
        QVERIFY(F.ReadIni().contains(QStringLiteral("Lang=en")));
        F.Form->close();
        QVERIFY(F.ReadIni().contains(QStringLiteral("Lang=cs")));
    }

    void ignoredObjectKeepsItsText()
    {
        QWidget root;
        auto* counter = new QLabel(QStringLiteral("Device List"), &root);
        counter->setObjectName(QStringLiteral("DeviceCounter"));
        auto* other = new QLabel(QStringLiteral("Device List"), &root);
        TP_Ignore(&root, "DeviceCounter");
        UseLanguage("cs");
        TranslateComponent(&root);
        QCOMPARE(other->text(), QStringLiteral("Seznam zařízení"));
        QCOMPARE(counter->text(), QStringLiteral("Device List"));
        RetranslateComponent(&root);
        QCOMPARE(counter->text(), QStringLiteral("Device List"));
    }

    // Status texts and captions set by the program after a translation are the program's.
    void programTextsSurviveASwitch()
    {
        F.WriteIni("[Setup]\nLang=en\n");
        F.Start({QStringLiteral("-demo")});
        F.Form->setWindowTitle(QStringLiteral("Pyxet Demo Poseidon 2250"));
        F.Form->ui()->CzechLang->trigger();
        QCOMPARE(F.Form->StatusPanels[0]->text(), QStringLiteral("Demo Pyxet Started"));
        QCOMPARE(F.Form->StatusPanels[1]->text(), QStringLiteral("Demo Pyxet started"));
        QCOMPARE(F.Form->windowTitle(), QStringLiteral("Pyxet Demo Poseidon 2250"));
        // Lines already logged keep their language; new ones come in the new one.
        F.Form->LogAction(_("Pyxet Started"), _("Application Pyxet started"), LOG_INFO);
        QCOMPARE(F.Form->ActionLog.back().Text.substr(F.Form->ActionLog.back().Text.rfind("]   ") + 4),
                 std::string("Aplikace Pyxet byla spuštěna"));
    }

    // The status bar's first caption is the window's own text and follows the language.
    void readyPanelFollowsTheLanguage()
    {
        F.Start({}, false);
        UseLanguage("cs");
        RetranslateComponent(F.Form.get());
        QCOMPARE(F.Form->StatusPanels[0]->text(), QStringLiteral("Připraven"));
        UseLanguage("en");
        RetranslateComponent(F.Form.get());
        QCOMPARE(F.Form->StatusPanels[0]->text(), QStringLiteral("Ready"));
    }

    // A list keeps its chosen entry when its items are translated.
    void comboItemsKeepTheChosenEntry()
    {
        F.Start({}, false);
        QComboBox* filter = F.LogForm->ui()->ActionFilter;
        filter->setCurrentIndex(2);
        UseLanguage("cs");
        RetranslateComponent(F.LogForm.get());
        QCOMPARE(filter->currentIndex(), 2);
        QCOMPARE(filter->currentText(), QStringLiteral("LADĚNÍ"));
        QCOMPARE(filter->itemText(4), QStringLiteral("CHYBA"));
    }

    void startsInTheStoredLanguage_data()
    {
        QTest::addColumn<QByteArray>("ini");
        QTest::addColumn<bool>("czech");
        QTest::addColumn<QString>("gettextLanguage");
        QTest::newRow("cs") << QByteArray("[Setup]\nLang=cs\n") << true << QStringLiteral("cs");
        QTest::newRow("EN in capitals") << QByteArray("[Setup]\nLang=EN\n") << false << QStringLiteral("EN");
        QTest::newRow("CS in capitals is not Czech") << QByteArray("[Setup]\nLang=CS\n") << false << QStringLiteral("CS");
    }
    void startsInTheStoredLanguage()
    {
        QFETCH(QByteArray, ini);
        QFETCH(bool, czech);
        QFETCH(QString, gettextLanguage);
        F.WriteIni(ini.constData());
        F.Start();
        QCOMPARE(F.Form->ui()->CzechLang->isChecked(), czech);
        QCOMPARE(F.Form->ui()->EnglishLang->isChecked(), !czech);
        QCOMPARE(QString::fromStdString(GetCurrentLanguage()), gettextLanguage);
        QCOMPARE(F.Form->ui()->GroupBox2->title(),
                 czech ? QStringLiteral("Nastavení zařízení") : QStringLiteral("Device Setup"));
    }
};

QTEST_MAIN(TestTranslation)
#include "test_translation.moc"
