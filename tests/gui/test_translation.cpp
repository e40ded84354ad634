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
        QVERIFY(Control<QAction>(*F.Form, "EnglishLang")->isChecked());
        Control<QLabel>(*F.Form, "DeviceCounter")->setText(QStringLiteral("3"));

        Control<QAction>(*F.Form, "CzechLang")->trigger();
        QCOMPARE(GetCurrentLanguage(), std::string("cs"));
        QVERIFY(Control<QAction>(*F.Form, "CzechLang")->isChecked());
        QVERIFY(!Control<QAction>(*F.Form, "EnglishLang")->isChecked());
        QCOMPARE(Control<QGroupBox>(*F.Form, "GroupBox1")->title(), QStringLiteral("Seznam zařízení"));
        QCOMPARE(Control<QLabel>(*F.Form, "tlDeviceIP")->text(), QStringLiteral("IP adresa"));
        QCOMPARE(Control<QCheckBox>(*F.Form, "chbDhcp")->text(), QStringLiteral("Povolit"));
        QCOMPARE(Control<QPushButton>(*F.Form, "btnConfigDevice")->text(), QStringLiteral("Použít změny"));
        QCOMPARE(Control<QAction>(*F.Form, "acFind")->text(), QStringLiteral("&Najít zařízení"));
        QCOMPARE(Control<QAction>(*F.Form, "acFind")->toolTip(), QStringLiteral("Najít zařízení v síti"));
        QCOMPARE(Control<QMenu>(*F.Form, "mActions")->title(), QStringLiteral("&Akce"));
        QCOMPARE(Control<QLabel>(*F.Form, "tiDeviceImg")->toolTip(), QStringLiteral("Otevřít ve webovém prohlížeči"));
        QCOMPARE(Control<QToolButton>(*F.Form, "tbLanguage")->text(), QStringLiteral("Zvolit jazyk"));
        QCOMPARE(Control<QToolButton>(*F.Form, "tbFind")->text(), QStringLiteral("Najít zařízení"));  // follows its action
        QCOMPARE(Control<QToolButton>(*F.Form, "tbDeviceUpgr")->text(), QStringLiteral("Nahrát firmware..."));  // keeps its "..."
        QCOMPARE(Control<QToolButton>(*F.Form, "tbFind")->toolTip(), QStringLiteral("Najít zařízení v síti"));
        QCOMPARE(Control<QToolButton>(*F.Form, "tbExit")->toolTip(), QStringLiteral("Konec"));
        QCOMPARE(Control<QLabel>(*F.Form, "DeviceCounter")->text(), QStringLiteral("3"));

        // Back to English from the recorded texts (the Czech ones are no message ids).
        Control<QAction>(*F.Form, "EnglishLang")->trigger();
        QVERIFY(Control<QAction>(*F.Form, "EnglishLang")->isChecked());
        QCOMPARE(Control<QGroupBox>(*F.Form, "GroupBox1")->title(), QStringLiteral("Device List"));
        QCOMPARE(Control<QAction>(*F.Form, "acFind")->text(), QStringLiteral("Fi&nd Devices"));
        QCOMPARE(Control<QMenu>(*F.Form, "mActions")->title(), QStringLiteral("&Actions"));
        QCOMPARE(Control<QToolButton>(*F.Form, "tbExit")->toolTip(), QStringLiteral("Exit"));
        QCOMPARE(Control<QToolButton>(*F.Form, "tbFind")->toolTip(), QStringLiteral("Find devices in network"));
        QCOMPARE(Control<QToolButton>(*F.Form, "tbDeviceUpgr")->text(), QStringLiteral("Upgrade Firmware..."));
        QCOMPARE(Control<QAction>(*F.Form, "acFirmUpgr")->text(), QStringLiteral("Upgrade Firmware..."));
        QCOMPARE(Control<QLabel>(*F.Form, "DeviceCounter")->text(), QStringLiteral("3"));

        // The choice is kept only at exit.
        Control<QAction>(*F.Form, "CzechLang")->trigger();
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
        Control<QAction>(*F.Form, "CzechLang")->trigger();
        QCOMPARE(Control<TStatusPanel>(*F.Form, "StatusPanel0")->text(), QStringLiteral("Demo Pyxet Started"));
        QCOMPARE(Control<TStatusPanel>(*F.Form, "StatusPanel1")->text(), QStringLiteral("Demo Pyxet started"));
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
        QComboBox* filter = Control<QComboBox>(*F.Form, "DeviceFilter");
        QCOMPARE(filter->placeholderText(), QStringLiteral("No devices"));
        Control<QAction>(*F.Form, "CzechLang")->trigger();
        QCOMPARE(filter->placeholderText(), QStringLiteral("Žádná zařízení"));
        Control<QAction>(*F.Form, "EnglishLang")->trigger();

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
        const QString name = Control<QLineEdit>(*F.Form, "teDeviceName")->text();
        QTableView* list = Control<QTableView>(*F.Form, "DeviceListBox");
        const QString firstRow = list->model()->index(0, 0).data(TDeviceListModel::LineRole).toString();

        Control<QAction>(*F.Form, "CzechLang")->trigger();
        QCOMPARE(filter->count(), 3);
        QCOMPARE(filter->itemText(0), QStringLiteral("Všechna zařízení"));
        QCOMPARE(filter->itemText(1), QStringLiteral("Poseidon 2261"));
        QCOMPARE(filter->itemText(2), QStringLiteral("Damocles 2404"));
        QCOMPARE(filter->currentIndex(), 2);
        QCOMPARE(Control<QLabel>(*F.Form, "DeviceCounter")->text(), QStringLiteral("2"));
        QCOMPARE(list->model()->rowCount(), 2);
        QCOMPARE(list->model()->index(0, 0).data(TDeviceListModel::LineRole).toString(), firstRow);
        QCOMPARE(list->model()->headerData(4, Qt::Horizontal).toString(), QStringLiteral("Verze firmwaru"));
        QCOMPARE(F.Form->windowTitle(), caption);
        QCOMPARE(Control<QLineEdit>(*F.Form, "teDeviceName")->text(), name);
        QCOMPARE(Control<QGroupBox>(*F.Form, "GroupBox1")->title(), QStringLiteral("Seznam zařízení"));

        Control<QAction>(*F.Form, "EnglishLang")->trigger();
        QCOMPARE(filter->itemText(0), QStringLiteral("All devices"));
        QCOMPARE(filter->itemText(2), QStringLiteral("Damocles 2404"));
    }

    // Every caption fits its control in both languages and the filter's label ends before the box.
    void captionsFitTheirControls()
    {
        F.Start({}, false);
        for (const char* lang : {"en", "cs"}) {
            UseLanguage(lang);
            RetranslateComponent(F.Form.get());
            const QFontMetrics fm = Control<QLabel>(*F.Form, "FilterLabel")->fontMetrics();
            QVERIFY2(fm.horizontalAdvance(Control<QLabel>(*F.Form, "FilterLabel")->text()) <= Control<QLabel>(*F.Form, "FilterLabel")->width(), lang);
            QVERIFY2(Control<QLabel>(*F.Form, "FilterLabel")->geometry().right() < Control<QComboBox>(*F.Form, "DeviceFilter")->x(), lang);
            QVERIFY2(Control<QCheckBox>(*F.Form, "AllChecked")->sizeHint().width() <= Control<QCheckBox>(*F.Form, "AllChecked")->width(), lang);
            QVERIFY2(Control<QCheckBox>(*F.Form, "AllChecked")->geometry().bottom() < Control<QTableView>(*F.Form, "DeviceListBox")->y(), lang);  // above the header
            for (QToolButton* b : {Control<QToolButton>(*F.Form, "tbFind"), Control<QToolButton>(*F.Form, "tbDeviceUpgr"), Control<QToolButton>(*F.Form, "tbConfig"), Control<QToolButton>(*F.Form, "tbLanguage"),
                                   Control<QToolButton>(*F.Form, "tbHelp"), Control<QToolButton>(*F.Form, "tbExit")})
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
        QCOMPARE(Control<TStatusPanel>(*F.Form, "StatusPanel0")->text(), QStringLiteral("Připraven"));
        UseLanguage("en");
        RetranslateComponent(F.Form.get());
        QCOMPARE(Control<TStatusPanel>(*F.Form, "StatusPanel0")->text(), QStringLiteral("Ready"));
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
        QCOMPARE(Control<QAction>(*F.Form, "CzechLang")->isChecked(), czech);
        QCOMPARE(Control<QAction>(*F.Form, "EnglishLang")->isChecked(), !czech);
        QCOMPARE(QString::fromStdString(GetCurrentLanguage()), gettextLanguage);
        QCOMPARE(Control<QGroupBox>(*F.Form, "GroupBox2")->title(),
                 czech ? QStringLiteral("Nastavení zařízení") : QStringLiteral("Device Setup"));
        if (!czech)
            return;
        // The start line and the Log Report window are Czech too (the settings line comes
        // before the language is chosen and keeps the environment's).
        const std::string& start = F.Form->ActionLog.at(1).Text;
        const std::string started = "Aplikace Pyxet byla spuštěna";
        QVERIFY2(start.size() > started.size() && start.compare(start.size() - started.size(), started.size(), started) == 0,
                 start.c_str());
        Control<QAction>(*F.Form, "mActionReport")->trigger();
        QCOMPARE(F.LogForm->windowTitle(), QStringLiteral("Záznam činnosti"));
        QCOMPARE(F.LogForm->ui()->FilterLabel->text(), QStringLiteral("Filtr:"));
        QCOMPARE(F.LogForm->ui()->ActionFilter->itemText(0), QStringLiteral("VŠE"));
        QCOMPARE(F.LogForm->ui()->ExitButton->text(), QStringLiteral("Zavřít"));
    }
};

QTEST_MAIN(TestTranslation)
#include "test_translation.moc"
