// The main window from the keyboard: the menu bar's "Configuration" and "Network Interface", the
// shortcuts, the Tab order, the keys of the drop-down buttons and the list's header. Offscreen, inside a
// private network namespace whose one interface is pyx0 = 10.77.0.1/16.
#include "gui/windows/help.h"
#include "pyxetfixture.h"
#include "ui_form.h"

#include <QActionGroup>
#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QHeaderView>
#include <QLineEdit>
#include <QTableView>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QToolButton>

namespace {
QStringList L(std::initializer_list<const char*> texts)
{
    QStringList list;
    for (const char* text : texts)
        list << QString::fromUtf8(text);
    return list;
}

QStringList Names(const QList<QAction*>& actions)
{
    QStringList names;
    for (const QAction* action : actions)
        names << (action->isSeparator() ? QStringLiteral("-") : action->objectName());
    return names;
}

// The menu that the keys sent to `button` open, closed again; null when none opens.
QMenu* MenuOpenedBy(QToolButton* button, Qt::Key key, Qt::KeyboardModifiers modifiers)
{
    QPointer<QMenu> seen;
    QTimer poll;
    poll.setInterval(10);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())) {
            seen = menu;
            menu->close();
        }
    });
    poll.start();
    button->setFocus(Qt::TabFocusReason);
    QTest::keyClick(button, key, modifiers);
    for (int waited = 0; !seen && waited < 5000; waited += 20)
        QTest::qWait(20);
    QTest::qWait(30);  // the menu's own loop has ended
    return seen;
}
}  // namespace

class TestKeyboard : public QObject {
    Q_OBJECT
    TPyxetFixture F;

    void Activate()
    {
        F.Form->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(F.Form.get()));
    }

private slots:
    void initTestCase() { TPyxetFixture::InitProgram(); }
    void cleanup()
    {
        if (THelpWindow* help = CurrentHelpWindow())
            help->close();
        F.Stop();
    }

    // "Configuration" in the menu bar holds the drop-down's very commands, usable when it is.
    void configurationMenuHoldsTheDropDownsCommands()
    {
        F.Start();
        QVERIFY(Control<QMenuBar>(*F.Form, "mCfgMenu")->actions().contains(Control<QMenu>(*F.Form, "mConfiguration")->menuAction()));
        QCOMPARE(Control<QMenu>(*F.Form, "mConfiguration")->title(), QStringLiteral("&Configuration"));
        const QStringList five = L({"LoadConfig", "SaveConfig", "-", "BackupConfig", "RestoreConfig", "CommonConfig"});
        QCOMPARE(Names(Control<QMenu>(*F.Form, "mConfiguration")->actions()), five);
        QCOMPARE(Names(Control<QMenu>(*F.Form, "pmLoadSaveConfig")->actions()), five);  // the drop-down stays
        for (QAction* action : Control<QMenu>(*F.Form, "mConfiguration")->actions())
            QVERIFY(action->isSeparator() || Control<QMenu>(*F.Form, "pmLoadSaveConfig")->actions().contains(action));

        // No device: as its tool button, the menu rests; a device shown, it works.
        QVERIFY(!Control<QToolButton>(*F.Form, "tbConfig")->isEnabled());
        QVERIFY(!Control<QMenu>(*F.Form, "mConfiguration")->menuAction()->isEnabled());
        F.Form->EnableDeviceActions(true);
        QVERIFY(Control<QMenu>(*F.Form, "mConfiguration")->menuAction()->isEnabled());
        F.Form->BatchLock.Lock();
        QVERIFY(!Control<QMenu>(*F.Form, "mConfiguration")->menuAction()->isEnabled());
        F.Form->BatchLock.Unlock();
        QVERIFY(Control<QMenu>(*F.Form, "mConfiguration")->menuAction()->isEnabled());

        // Chosen from the menu with no row checked: the command's own answer.
        Dialogs::TakeShownBoxes();
        Control<QMenu>(*F.Form, "mConfiguration")->actions().at(3)->trigger();
        const std::vector<Dialogs::TShownBox> boxes = Dialogs::TakeShownBoxes();
        QCOMPARE(boxes.size(), size_t(1));
        QCOMPARE(boxes[0].Text, std::string("Please select devices for which you want to backup configuration."));
    }

    void configurationMenuInCzech()
    {
        F.WriteIni("[Setup]\nLang=cs\n");
        F.Start();
        QCOMPARE(Control<QMenu>(*F.Form, "mConfiguration")->title(), QStringLiteral("&Konfigurace"));
        QCOMPARE(Control<QMenu>(*F.Form, "mInterfaces")->title(), QStringLiteral("Síťové rozhraní"));
    }

    // Actions -> "Network Interface" offers the drop-down's interfaces, the same choice.
    void interfaceSubmenuKeepsInStepWithTheDropDown()
    {
        F.Start();
        QVERIFY(Control<QMenu>(*F.Form, "mActions")->actions().contains(Control<QMenu>(*F.Form, "mInterfaces")->menuAction()));
        Control<QMenu>(*F.Form, "mInterfaces")->popup(QPoint(0, 0));  // opening it reads the interfaces again
        QTRY_VERIFY(Control<QMenu>(*F.Form, "mInterfaces")->isVisible());
        Control<QMenu>(*F.Form, "mInterfaces")->close();
        const QList<QAction*> choices = Control<QMenu>(*F.Form, "mInterfaces")->actions();
        QCOMPARE(choices.size(), 2);
        QCOMPARE(choices, Control<QActionGroup>(*F.Form, "FindInterfaces")->actions());
        QCOMPARE(choices.at(0)->text(), QStringLiteral("All interfaces"));
        QCOMPARE(choices.at(1)->text(), QString::fromUtf8("pyx0 \u2014 10.77.0.1/16"));
        for (QAction* choice : choices)
            QVERIFY(Control<QMenu>(*F.Form, "pmFind")->actions().contains(choice));
        QVERIFY(!Control<QMenu>(*F.Form, "mInterfaces")->actions().contains(Control<QAction>(*F.Form, "acFindAt")));  // Actions has it already

        choices.at(1)->trigger();
        QCOMPARE(F.Form->Settings.Interface, std::string("pyx0"));
        F.Form->RebuildFindMenu();
        QVERIFY(Control<QMenu>(*F.Form, "mInterfaces")->actions().at(1)->isChecked());
        QCOMPARE(Control<QMenu>(*F.Form, "mInterfaces")->actions(), Control<QActionGroup>(*F.Form, "FindInterfaces")->actions());

        QVERIFY(F.Form->BatchLock.Holds(Control<QMenu>(*F.Form, "mInterfaces")->menuAction()));
        F.Form->BatchLock.Lock();
        QVERIFY(!Control<QMenu>(*F.Form, "mInterfaces")->menuAction()->isEnabled());
        F.Form->BatchLock.Unlock();
        QVERIFY(Control<QMenu>(*F.Form, "mInterfaces")->menuAction()->isEnabled());
    }

    // F1 opens the help as Ctrl+H does.
    void helpKeys_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("modifiers");
        QTest::newRow("F1") << int(Qt::Key_F1) << int(Qt::NoModifier);
        QTest::newRow("Ctrl+H") << int(Qt::Key_H) << int(Qt::ControlModifier);
    }
    void helpKeys()
    {
        QFETCH(int, key);
        QFETCH(int, modifiers);
        F.WriteIni("[Setup]\nLang=en\n");
        F.Start({QStringLiteral("-demo")});
        F.InstallHelpFiles();
        Activate();
        QVERIFY(!CurrentHelpWindow());
        QTest::keyClick(F.Form.get(), Qt::Key(key), Qt::KeyboardModifiers(modifiers));
        THelpWindow* help = CurrentHelpWindow();
        QVERIFY(help);
        QCOMPARE(help->FileName(), F.AppDir() + "locale/en/Pyxet.chm");
        QVERIFY(Dialogs::TakeShownBoxes().empty());
    }

    // Ctrl+Q closes the window as Ctrl+X does.
    void quitKeys_data()
    {
        QTest::addColumn<int>("key");
        QTest::newRow("Ctrl+Q") << int(Qt::Key_Q);
        QTest::newRow("Ctrl+X") << int(Qt::Key_X);
    }
    void quitKeys()
    {
        QFETCH(int, key);
        F.Start();
        Activate();
        QSignalSpy closed(F.Form.get(), &TPyxetForm::FormClosed);
        QTest::keyClick(F.Form.get(), Qt::Key(key), Qt::ControlModifier);
        QCOMPARE(closed.count(), 1);
        QVERIFY(!F.Form->isVisible());
        QCOMPARE(F.Form->SettingsSaves(), 1);
    }

    // Right after start, with no device answering, the keys act on the device list: Ctrl+X,
    // pressed where the focus is, ends the program and the settings are written.
    void ctrlXRightAfterStartEnds()
    {
        F.Start();
        Activate();
        QVERIFY(F.Form->Devices.DeviceList().empty());
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(Control<QTableView>(*F.Form, "DeviceListBox")));
        QVERIFY(F.ReadIni().isEmpty());
        QSignalSpy closed(F.Form.get(), &TPyxetForm::FormClosed);
        QTest::keyClick(static_cast<QWidget*>(nullptr), Qt::Key_X, Qt::ControlModifier);  // to the focus
        QCOMPARE(closed.count(), 1);
        QVERIFY(!F.Form->isVisible());
        QCOMPARE(F.Form->SettingsSaves(), 1);
        QVERIFY2(F.ReadIni().contains(QStringLiteral("[Setup]\nLang=en")), qPrintable(F.ReadIni()));
    }

    // In an editable text field Ctrl+X cuts its text and the window stays; in a read-only one,
    // and back in the list after "Find Devices", it ends the program.
    void ctrlXCutsInAnEditableField()
    {
        F.Start({QStringLiteral("-demo")});  // the setup panel usable without a device
        Activate();
        QSignalSpy closed(F.Form.get(), &TPyxetForm::FormClosed);
        QLineEdit* search = Control<QLineEdit>(*F.Form, "teSearch");
        search->setText(QStringLiteral("teplo"));
        search->setFocus(Qt::MouseFocusReason);
        search->selectAll();
        QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget*>(search));
        QTest::keyClick(static_cast<QWidget*>(nullptr), Qt::Key_X, Qt::ControlModifier);
        QCOMPARE(search->text(), QString());
        QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("teplo"));
        QCOMPARE(closed.count(), 0);
        QVERIFY(F.Form->isVisible());

        // "Find Devices" gives the list the keys again.
        Control<QAction>(*F.Form, "acFind")->trigger();
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(Control<QTableView>(*F.Form, "DeviceListBox")));

        // A read-only field takes nothing to cut: the key ends the program.
        QLineEdit* name = Control<QLineEdit>(*F.Form, "teDeviceName");
        name->setReadOnly(true);
        name->setText(QStringLiteral("N/A"));
        name->setFocus(Qt::MouseFocusReason);
        QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget*>(name));
        name->selectAll();
        QTest::keyClick(static_cast<QWidget*>(nullptr), Qt::Key_X, Qt::ControlModifier);
        QCOMPARE(closed.count(), 1);
        QCOMPARE(F.Form->SettingsSaves(), 1);
    }

    // Ctrl+F: the search field takes the focus, its text selected for typing over.
    void ctrlFGoesToTheSearchField()
    {
        F.Start();
        Activate();
        QLineEdit* search = Control<QLineEdit>(*F.Form, "teSearch");
        search->setText(QStringLiteral("teplo"));
        Control<QTableView>(*F.Form, "DeviceListBox")->setFocus();
        QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget*>(Control<QTableView>(*F.Form, "DeviceListBox")));
        QTest::keyClick(F.Form.get(), Qt::Key_F, Qt::ControlModifier);
        QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget*>(search));
        QCOMPARE(search->selectedText(), QStringLiteral("teplo"));
        QTest::keyClicks(search, QStringLiteral("x"));
        QCOMPARE(search->text(), QStringLiteral("x"));
    }

    // Tab goes the way the window reads: the tool bar, then top to bottom, left to right (the
    // picture's column, the setup fields, the logo's column).
    void tabOrderFollowsTheLayout()
    {
        F.Start();
        const QStringList expected =
            L({"tbFind",           "tbDeviceUpgr",    "tbConfig",       "tbLanguage",   "tbHelp",       "tbExit",
               "AllChecked",       "DeviceListHeader",
               "DeviceListBox",    "teSearch",        "DeviceFilter",   "tiDeviceImg",  "chbDhcp",      "teDeviceName",
               "teDeviceIP",       "Image2",          "teDeviceMask",   "teDeviceGateway", "teDeviceDNS1", "teDeviceDNS2",
               "teHTTPPort",       "teTelnetPort",    "LogoImage",      "btnRestartDevice", "btnSetDefault",
               "btnConfigDevice"});
        // Once round the focus chain from the first tool button, the controls Tab stops at.
        QStringList order;
        QWidget* start = Control<QToolButton>(*F.Form, "tbFind");
        QWidget* w = start;
        do {
            if ((w->focusPolicy() & Qt::TabFocus) && expected.contains(w->objectName()))
                order << w->objectName();
            w = w->nextInFocusChain();
        } while (w != start && order.size() <= expected.size());
        QCOMPARE(order, expected);

        // And the keys go that way: from "All" to the list's header, and on into the list.
        Activate();
        Control<QCheckBox>(*F.Form, "AllChecked")->setFocus(Qt::TabFocusReason);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(Control<QHeaderView>(*F.Form, "DeviceListHeader")));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab, Qt::ShiftModifier);
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(Control<QCheckBox>(*F.Form, "AllChecked")));
    }

    // The header's sections are chosen by Left and Right and pressed by Space and by Enter.
    void columnHeaderWorksFromTheKeyboard()
    {
        F.Start();
        Activate();
        auto* header = Control<QHeaderView>(*F.Form, "DeviceListHeader");
        QVERIFY(header->focusPolicy() & Qt::TabFocus);
        QSignalSpy clicked(header, &QHeaderView::sectionClicked);
        header->setFocus(Qt::TabFocusReason);
        for (int section = 0; section < 5; ++section) {
            QTest::keyClick(header, Qt::Key_Space);
            QTest::keyClick(header, Qt::Key_Return);
            QTest::keyClick(header, Qt::Key_Enter, Qt::KeypadModifier);
            QTest::keyClick(header, Qt::Key_Right);
        }
        QCOMPARE(clicked.count(), 15);
        for (int i = 0; i < 15; ++i)
            QCOMPARE(clicked.at(i).at(0).toInt(), i / 3);
        QTest::keyClick(header, Qt::Key_Left);  // from the last section back one
        QTest::keyClick(header, Qt::Key_Space);
        QCOMPARE(clicked.last().at(0).toInt(), 3);
    }

    // Alt+Down or Space opens a drop-down button's menu.
    void dropDownsOpenFromTheKeyboard_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("modifiers");
        QTest::newRow("Alt+Down") << int(Qt::Key_Down) << int(Qt::AltModifier);
        QTest::newRow("Space") << int(Qt::Key_Space) << int(Qt::NoModifier);
    }
    void dropDownsOpenFromTheKeyboard()
    {
        QFETCH(int, key);
        QFETCH(int, modifiers);
        F.Start({QStringLiteral("-demo")});  // the device commands usable
        Activate();
        const std::pair<QToolButton*, QMenu*> buttons[] = {{Control<QToolButton>(*F.Form, "tbFind"), Control<QMenu>(*F.Form, "pmFind")},
                                                           {Control<QToolButton>(*F.Form, "tbConfig"), Control<QMenu>(*F.Form, "pmLoadSaveConfig")},
                                                           {Control<QToolButton>(*F.Form, "tbLanguage"), Control<QMenu>(*F.Form, "pmSelectLang")}};
        for (const auto& [button, menu] : buttons) {
            QVERIFY(button->isEnabled());
            QCOMPARE(MenuOpenedBy(button, Qt::Key(key), Qt::KeyboardModifiers(modifiers)), menu);
        }
        QVERIFY(Dialogs::TakeShownBoxes().empty());  // no command ran instead
    }
};

QTEST_MAIN(TestKeyboard)
#include "test_keyboard.moc"
