// The window's rollouts against the simulator's units of tests/lab/rollout_fleet.json (run by
// test_gui_rollout.sh), offscreen, the devices found by the window: with one unit first, the
// first unit's failed upload halts the batch before any other unit receives a body (the
// simulator's events) and the progress window says why; with "Skip devices already current" and
// the image's revision typed in, the units that reported it are skipped with their lines and
// only the other one is sent the image.
#include "labevents.h"
#include "transferfixture.h"
#include "ui_form.h"
#include "ui_progressinfo.h"
#include "ui_upgrade.h"

#include "core/app/i18n.h"

#include <QCheckBox>
#include <QJsonObject>
#include <QLineEdit>
#include <QSpinBox>
#include <QTest>

#include <algorithm>
#include <string>
#include <vector>

namespace {

// The devices (MACs) that received a body at /upload since `from` events, in order.
std::vector<std::string> Uploads(size_t from)
{
    const std::vector<QJsonObject> events = LabEvents({QStringLiteral("http")});
    std::vector<std::string> devices;
    for (size_t i = from; i < events.size(); ++i)
        if (events[i][QStringLiteral("path")].toString() == QStringLiteral("/upload"))
            devices.push_back(events[i][QStringLiteral("device")].toString().toStdString());
    return devices;
}

size_t HttpEvents() { return LabEvents({QStringLiteral("http")}).size(); }

bool Has(const std::vector<std::string>& lines, const std::string& line)
{
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

std::string Joined(const std::vector<std::string>& lines)
{
    std::string text;
    for (const std::string& line : lines)
        text += line + "\n";
    return text;
}

}  // namespace

class TestLabRollout : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        InitTranslation(PYXET_BIN_DIR "/");
        Dialogs::SetAutomatic(true);
        UseLanguage("en");
    }

    void FirstUnitThatFailsHaltsEverything()
    {
        const QString image = LabFile(QStringLiteral("rollout.kri"), "PYXET-SIM-FIRMWARE 2.16.0\n" + QByteArray(20000, 'r'));
        QVERIFY(!image.isEmpty());
        TTransferWindow w;
        QTRY_VERIFY_WITH_TIMEOUT(w.Window.Names().size() >= 5, 5000);
        w.Form().Settings.RolloutFirst = 1;
        w.Form().Settings.VerifySeconds = 20;
        w.Check({"Rollout 1", "Rollout 2", "Rollout 3", "Rollout 4"});  // not the HWG unit
        const size_t from = HttpEvents();
        Dialogs::QueueFileName(image.toStdString());
        Control<QAction>(w.Form(), "acFirmUpgr")->trigger();
        QVERIFY(w.Finish());
        // Only the first unit was sent its image; nothing reached the others.
        QCOMPARE(Uploads(from), std::vector<std::string>{"02:53:00:00:41:01"});
        const std::vector<std::string> lines = w.Lines();
        QCOMPARE(lines.at(0), std::string("Rollout 1  (10.77.41.1)"));
        QVERIFY2(Has(lines, "Upgrade Failed"), Joined(lines).c_str());
        for (const char* other : {"Rollout 2  (10.77.41.2)", "Rollout 3  (10.77.41.3)", "Rollout 4  (10.77.41.4)"})
            QVERIFY2(!Has(lines, other), Joined(lines).c_str());
        QVERIFY2(Has(lines, "Halted: 1 of 1 failed in wave 1"), Joined(lines).c_str());
        // Ready for "Check Failed Devices" once the search after the batch has found them again:
        // every unit of the batch, the three not started too, and not the one left out.
        QTRY_VERIFY_WITH_TIMEOUT(w.Window.Names().size() >= 5, 5000);
        QTRY_VERIFY_WITH_TIMEOUT(Control<QAction>(w.Form(), "acCheckFailed")->isEnabled(), 5000);
        Control<QAction>(w.Form(), "acCheckFailed")->trigger();
        QCOMPARE(w.CheckedNames(), (QStringList{QStringLiteral("Rollout 1"), QStringLiteral("Rollout 2"),
                                                QStringLiteral("Rollout 3"), QStringLiteral("Rollout 4")}));
        QFile::remove(image);
    }

    void UnitsAtTheTypedRevisionAreSkipped()
    {
        const QString image = LabFile(QStringLiteral("current.kri"), "PYXET-SIM-FIRMWARE 2.14.0\n" + QByteArray(20000, 'c'));
        QVERIFY(!image.isEmpty());
        TTransferWindow w;
        QTRY_VERIFY_WITH_TIMEOUT(w.Window.Names().size() >= 5, 5000);
        w.Form().Settings.VerifySeconds = 20;
        w.Check({"Rollout 2", "Rollout 3", "Rollout 4"});
        const size_t from = HttpEvents();
        // The revision typed into the dialog as a user would, with the box ticked.
        Ui::TUpgradeForm& ui = *w.Upgrade->ui();
        const QMetaObject::Connection typing = connect(ui.PathEdit, &QLineEdit::textChanged, [&ui] {
            ui.SkipCheck->setChecked(true);
            ui.RevisionEdit->setText(QStringLiteral("2.14.0"));
        });
        Dialogs::QueueFileName(image.toStdString());
        Control<QAction>(w.Form(), "acFirmUpgr")->trigger();
        disconnect(typing);
        QVERIFY(w.Finish());
        QCOMPARE(Uploads(from), std::vector<std::string>{"02:53:00:00:41:04"});
        const std::vector<std::string> lines = w.Lines();
        QVERIFY2(std::count(lines.begin(), lines.end(), std::string("Already at 2.14.0")) == 2, Joined(lines).c_str());
        QVERIFY2(Has(lines, "Skipped: 2"), Joined(lines).c_str());
        QVERIFY(w.Form().Settings.RolloutSkipCurrent);
        QFile::remove(image);
    }
};

QTEST_MAIN(TestLabRollout)
#include "gui_rollout_tests.moc"
