// Translating whole windows: the language menu, the recorded English texts, the ignored device
// counter, and texts the program has set itself.
#include "gui/app/translate.h"
#include "devicefeed.h"
#include "gui/devices/devicelistmodel.h"
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
        QCOMPARE(F.Form->tbDeviceUpgr->text(), QStringLiteral("Nahrát firmware..."));  // keeps its "..."
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
        QCOMPARE(F.Form->tbDeviceUpgr->text(), QStringLiteral("Upgrade Firmware..."));
        QCOMPARE(ui->acFirmUpgr->text(), QStringLiteral("Upgrade Firmware..."));
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

    // A switch after devices are listed: the filter box's own entries follow the language, its
    // type names, its choice, the rows, the counter, the caption and the fields stay.
    void switchWithDevicesListed()
    {
        F.WriteIni("[Setup]\nLang=en\n");
        F.Start({}, false);  // no discovery: the devices come from here
        F.Form->show();
        Ui::TPyxetForm* ui = F.Form->ui();
        QComboBox* filter = ui->DeviceFilter;
        QCOMPARE(filter->placeholderText(), QStringLiteral("No devices"));
        ui->CzechLang->trigger();
        QCOMPARE(filter->placeholderText(), QStringLiteral("Žádná zařízení"));
        ui->EnglishLang->trigger();

        TDeviceSpec a;
        TDeviceSpec b;
        b.TypeCode = 2;
        b.MAC = "00:0A:59:00:00:02";
        b.PeerIP = "10.0.0.2";
        b.Name = "Second";
        F.Form->AddDevice(MakeDevice(a), kTestProducts, nullptr);
        F.Form->AddDevice(MakeDevice(b), kTestProducts, nullptr);
        filter->setCurrentIndex(2);
        const QString caption = F.Form->windowTitle();
        const QString name = ui->teDeviceName->text();
        QTableView* list = Control<QTableView>(*F.Form, "DeviceListBox");
        const QString firstRow = list->model()->index(0, 0).data(TDeviceListModel::LineRole).toString();

        ui->CzechLang->trigger();
        QCOMPARE(filter->count(), 3);
        QCOMPARE(filter->itemText(0), QStringLiteral("Všechna zařízení"));
        QCOMPARE(filter->itemText(1), QStringLiteral("Poseidon 2261"));
        QCOMPARE(filter->itemText(2), QStringLiteral("Damocles 2404"));
        QCOMPARE(filter->currentIndex(), 2);
        QCOMPARE(ui->DeviceCounter->text(), QStringLiteral("2"));
        QCOMPARE(list->model()->rowCount(), 2);
        QCOMPARE(list->model()->index(0, 0).data(TDeviceListModel::LineRole).toString(), firstRow);
        QCOMPARE(list->model()->headerData(4, Qt::Horizontal).toString(), QStringLiteral("Verze firmwaru"));
        QCOMPARE(F.Form->windowTitle(), caption);
        QCOMPARE(ui->teDeviceName->text(), name);
        QCOMPARE(ui->GroupBox1->title(), QStringLiteral("Seznam zařízení"));

        ui->EnglishLang->trigger();
        QCOMPARE(filter->itemText(0), QStringLiteral("All devices"));
        QCOMPARE(filter->itemText(2), QStringLiteral("Damocles 2404"));
    }

    // Every caption fits its control in both languages and the filter's label ends before the box.
    void captionsFitTheirControls()
    {
        F.Start({}, false);
        Ui::TPyxetForm* ui = F.Form->ui();
        for (const char* lang : {"en", "cs"}) {
            UseLanguage(lang);
            RetranslateComponent(F.Form.get());
            const QFontMetrics fm = ui->FilterLabel->fontMetrics();
            QVERIFY2(fm.horizontalAdvance(ui->FilterLabel->text()) <= ui->FilterLabel->width(), lang);
            QVERIFY2(ui->FilterLabel->geometry().right() < ui->DeviceFilter->x(), lang);
            QVERIFY2(ui->AllChecked->sizeHint().width() <= ui->AllChecked->width(), lang);
            QVERIFY2(ui->AllChecked->geometry().bottom() < Control<QTableView>(*F.Form, "DeviceListBox")->y(), lang);  // above the header
            for (QToolButton* b : {F.Form->tbFind, F.Form->tbDeviceUpgr, F.Form->tbConfig, F.Form->tbLanguage,
                                   F.Form->tbHelp, F.Form->tbExit})
                QVERIFY2(b->fontMetrics().horizontalAdvance(b->text()) <= b->width() - 6,
                         qPrintable(QStringLiteral("%1 %2").arg(QLatin1String(lang), b->text())));
        }
    }

    // The toolkit's own texts (file dialogs, edit menus) follow the language too.
    void toolkitTextsFollowTheLanguage()
    {
        UseLanguage("cs");
        const QString undo = QCoreApplication::translate("QLineEdit", "&Undo");
        QVERIFY2(undo != QStringLiteral("&Undo"), qPrintable(undo));
        QVERIFY(QCoreApplication::translate("QFileDialog", "File &name:") != QStringLiteral("File &name:"));
        UseLanguage("en");
        QCOMPARE(QCoreApplication::translate("QLineEdit", "&Undo"), QStringLiteral("&Undo"));
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
        if (!czech)
            return;
        // The start line and the Log Report window are Czech too (the settings line comes
        // before the language is chosen and keeps the environment's).
        const std::string& start = F.Form->ActionLog.at(1).Text;
        const std::string started = "Aplikace Pyxet byla spuštěna";
        QVERIFY2(start.size() > started.size() && start.compare(start.size() - started.size(), started.size(), started) == 0,
                 start.c_str());
        F.Form->ui()->mActionReport->trigger();
        QCOMPARE(F.LogForm->windowTitle(), QStringLiteral("Záznam činnosti"));
        QCOMPARE(F.LogForm->ui()->FilterLabel->text(), QStringLiteral("Filtr:"));
        QCOMPARE(F.LogForm->ui()->ActionFilter->itemText(0), QStringLiteral("VŠE"));
        QCOMPARE(F.LogForm->ui()->ExitButton->text(), QStringLiteral("Zavřít"));
    }
};

QTEST_MAIN(TestTranslation)
#include "test_translation.moc"
