// Registration of answering devices in the main window: rows, filter box, counter, first-device
// selection, duplicates, a new discovery cycle and demonstration mode.
#include "devicefeed.h"
#include "ui_form.h"

#include "core/app/i18n.h"

#include <QTest>

class TestRegistration : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { UseLanguage("en"); }

    void FirstDeviceIsSelectedAndEnablesTheActions()
    {
        TTestWindow w;
        QVERIFY(!Control<QAction>(w.Main(), "acFirmUpgr")->isEnabled());
        QCOMPARE(Control<QLabel>(w.Main(), "DeviceCounter")->text(), QStringLiteral("0"));
        QCOMPARE(Control<QComboBox>(w.Main(), "DeviceFilter")->count(), 0);

        w.Add({.TypeCode = 1, .Name = "Boiler", .CanSetDefault = true, .CanRestart = false});
        QCOMPARE(w.FilterEntries(), (QStringList{QStringLiteral("All devices"), QStringLiteral("Poseidon 2261")}));
        QCOMPARE(Control<QComboBox>(w.Main(), "DeviceFilter")->currentIndex(), 0);
        QCOMPARE(w.HighlightedRow(), 0);
        QVERIFY(w.Panel()->ShownDevice() != nullptr);
        QCOMPARE(Control<QLineEdit>(w.Main(), "teDeviceName")->text(), QStringLiteral("Boiler"));
        QCOMPARE(w.Form->windowTitle(), QStringLiteral("Pyxet Poseidon 2261"));
        QVERIFY(Control<QAction>(w.Main(), "acFirmUpgr")->isEnabled());
        QVERIFY(Control<QAction>(w.Main(), "acBackup")->isEnabled());
        QVERIFY(Control<QPushButton>(w.Main(), "btnSetDefault")->isEnabled());
        QVERIFY2(!Control<QPushButton>(w.Main(), "btnRestartDevice")->isEnabled(), "set from the device's capabilities");
        QCOMPARE(Control<QLabel>(w.Main(), "DeviceCounter")->text(), QStringLiteral("1"));
        QVERIFY(!Control<QLabel>(w.Main(), "tiDeviceImg")->pixmap().isNull());
        QVERIFY(Dialogs::TakeShownBoxes().empty());

        // The second device refills the list: no row highlighted, the first device still shown.
        w.Add({.TypeCode = 2, .Name = "Alpha", .MAC = "00:0A:59:00:00:02"});
        QCOMPARE(w.HighlightedRow(), -1);
        QCOMPARE(Control<QLineEdit>(w.Main(), "teDeviceName")->text(), QStringLiteral("Boiler"));
        QCOMPARE(QString::fromStdString(w.Panel()->ShownDevice()->Info.Name), QStringLiteral("Boiler"));
        QCOMPARE(Control<QLabel>(w.Main(), "DeviceCounter")->text(), QStringLiteral("2"));
    }

    void DuplicatesAndOneTypeTwice()
    {
        TTestWindow w;
        const size_t logBefore = w.Form->ActionLog.size();
        w.Add({.Name = "Same"});
        w.Add({.Name = "Same"});
        w.Add({.Name = "SAME"});  // the line differs only in letter case: the same device
        QCOMPARE(w.Rows().size(), 1);
        int found = 0, added = 0;
        for (size_t i = logBefore; i < w.Form->ActionLog.size(); ++i) {
            found += w.Form->ActionLog[i].Text.find("Found Same device at 10.0.0.1") != std::string::npos;
            added += w.Form->ActionLog[i].Text.find("Product was added: Poseidon 2261") != std::string::npos;
        }
        QCOMPARE(found, 2);
        QCOMPARE(added, 3);
        QCOMPARE(w.FilterEntries().count(QStringLiteral("All devices")), 1);

        w.Add({.Name = "Other", .MAC = "00:0A:59:00:00:09"});
        QCOMPARE(w.FilterEntries(), (QStringList{QStringLiteral("All devices"), QStringLiteral("Poseidon 2261")}));
        QCOMPARE(Control<QLabel>(w.Main(), "DeviceCounter")->text(), QStringLiteral("2"));
    }

    // An answer that comes in while the user edits the highlighted device moves its row down:
    // the edit stays, and the device is not shown afresh (no box for its missing picture either).
    void AnAnswerKeepsTheEditOfTheHighlightedDevice()
    {
        TTestWindow w;
        w.Add({.TypeCode = 1, .Name = "Boiler"});
        w.Add({.TypeCode = 99, .Name = "Zulu", .MAC = "00:0A:59:00:00:02"});  // no picture
        const int zulu = int(w.Names().indexOf(QStringLiteral("Zulu")));
        w.List()->setCurrentIndex(w.List()->model()->index(zulu, 0));
        QCOMPARE(QString::fromStdString(w.Panel()->ShownDevice()->Info.Name), QStringLiteral("Zulu"));
        QCOMPARE(Dialogs::TakeShownBoxes().size(), size_t(1));  // clicked: its picture is missing
        Control<QLineEdit>(w.Main(), "teDeviceName")->setText(QStringLiteral("Edited"));

        w.Add({.TypeCode = 99, .Name = "Alpha", .MAC = "00:0A:59:00:00:03"});  // filed before Zulu
        QVERIFY(w.Names().indexOf(QStringLiteral("Zulu")) > zulu);
        QCOMPARE(w.HighlightedRow(), -1);
        QCOMPARE(QString::fromStdString(w.Panel()->ShownDevice()->Info.Name), QStringLiteral("Zulu"));
        QCOMPARE(Control<QLineEdit>(w.Main(), "teDeviceName")->text(), QStringLiteral("Edited"));
        QVERIFY(Dialogs::TakeShownBoxes().empty());
    }

    void UnknownTypeAndANarrowedView()
    {
        TTestWindow w;
        w.Add({.TypeCode = 99, .Name = "Stranger"});  // no table entry: no type name
        w.Add({.TypeCode = 99, .Name = "Other", .MAC = "00:0A:59:00:00:02"});
        QCOMPARE(w.FilterEntries(), (QStringList{QStringLiteral("All devices"), QString()}));
        QVERIFY(w.Rows().first().startsWith(QString(20, QLatin1Char(' ')) + QStringLiteral(" Other")));

        // A type chosen in the filter narrows the view until the next answer refills it whole;
        // the filter box keeps showing its choice.
        w.Add({.TypeCode = 1, .Name = "Typed", .MAC = "00:0A:59:00:00:03"});
        QComboBox* filter = Control<QComboBox>(w.Main(), "DeviceFilter");
        filter->setCurrentIndex(filter->findText(QStringLiteral("Poseidon 2261")));
        emit filter->activated(filter->currentIndex());
        QCOMPARE(w.Rows().size(), 1);
        QCOMPARE(Control<QLabel>(w.Main(), "DeviceCounter")->text(), QStringLiteral("1"));
        TProduct* shown = w.Panel()->ShownDevice();
        w.Add({.TypeCode = 2, .Name = "Late", .MAC = "00:0A:59:00:00:04"});
        QCOMPARE(w.Rows().size(), 4);
        QCOMPARE(Control<QLabel>(w.Main(), "DeviceCounter")->text(), QStringLiteral("4"));
        QCOMPARE(filter->currentText(), QStringLiteral("Poseidon 2261"));
        QCOMPARE(w.HighlightedRow(), -1);
        QCOMPARE(w.Panel()->ShownDevice(), shown);
        QCOMPARE(Control<QLineEdit>(w.Main(), "teDeviceName")->text(), QStringLiteral("Typed"));
    }

    void FindDevicesClearsTheView()
    {
        TTestWindow w;
        w.Add({.Name = "One", .Dhcp = 1});
        w.Add({.Name = "Two", .MAC = "00:0A:59:00:00:02"});
        Control<QAction>(w.Main(), "acFind")->trigger();
        QApplication::processEvents();
        QVERIFY(w.Rows().isEmpty());
        QVERIFY(w.Panel()->ShownDevice() == nullptr);
        QCOMPARE(w.Form->windowTitle(), QStringLiteral("Pyxet"));
        for (QLineEdit* f : {Control<QLineEdit>(w.Main(), "teDeviceName"), Control<QLineEdit>(w.Main(), "teDeviceIP"), Control<QLineEdit>(w.Main(), "teDeviceDNS1"), Control<QLineEdit>(w.Main(), "teHTTPPort")})
            QVERIFY(f->text().isEmpty());
        QVERIFY(!Control<QCheckBox>(w.Main(), "chbDhcp")->isChecked());
        QVERIFY(Control<QLabel>(w.Main(), "tiDeviceImg")->pixmap().isNull());
        QCOMPARE(Control<QLabel>(w.Main(), "DeviceCounter")->text(), QStringLiteral("0"));
        QCOMPARE(Control<QComboBox>(w.Main(), "DeviceFilter")->count(), 0);
        QCOMPARE(Control<QComboBox>(w.Main(), "DeviceFilter")->placeholderText(), QStringLiteral("No devices"));
        QVERIFY(!Control<QAction>(w.Main(), "acFirmUpgr")->isEnabled());
        QVERIFY(!Control<QPushButton>(w.Main(), "btnRestartDevice")->isEnabled());
        QCOMPARE(w.Form->Devices.PreviousList().size(), size_t(2));

        // Devices reappear as they answer, and the first one is selected again.
        w.Add({.Name = "Two", .MAC = "00:0A:59:00:00:02"});
        QCOMPARE(w.Rows().size(), 1);
        QCOMPARE(w.HighlightedRow(), 0);
        QCOMPARE(w.FilterEntries().size(), 2);
    }

    void DemoModeFindChangesNothing()
    {
        TTestWindow w({QStringLiteral("-demo")});
        QVERIFY(w.Form->DemoMode);
        w.Add({.Name = "Shown"});
        const size_t logLines = w.Form->ActionLog.size();
        QTest::keyClick(w.Form.get(), Qt::Key_F5);
        Control<QAction>(w.Main(), "acFind")->trigger();
        QApplication::processEvents();
        QCOMPARE(w.Rows().size(), 1);
        QCOMPARE(w.Form->ActionLog.size(), logLines);
        QCOMPARE(Control<QLineEdit>(w.Main(), "teDeviceName")->text(), QStringLiteral("Shown"));
        QCOMPARE(w.Form->windowTitle(), QStringLiteral("Pyxet Demo Poseidon 2261"));
    }
};

QTEST_MAIN(TestRegistration)
#include "test_registration.moc"
