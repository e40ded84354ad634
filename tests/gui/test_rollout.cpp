// The firmware upgrade's rollout in the window: the dialog's "Rollout" group (the upgrade's only,
// its values from the settings and back, the image's revision never kept), the line naming the
// kinds of the checked units (a warning when mixed), the journal each upgrade writes into
// backup/ and the error box when a rollout's journal cannot be written, Utilities -> "Resume Last
// Upgrade..." up to its batch, and the compare that the lines of a unit whose configuration the
// upgrade changed open with a double-click. Devices on loopback addresses (tests/fakeupgrade.h).
#include "../fakeupgrade.h"
#include "transferfixture.h"
#include "ui_comparedialog.h"
#include "ui_form.h"
#include "ui_progressinfo.h"
#include "ui_upgrade.h"

#include "core/app/i18n.h"
#include "core/http/rollout.h"
#include "core/protocols/orvex/family.h"
#include "gui/config/comparedialog.h"

#include <QCheckBox>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QSpinBox>
#include <QTest>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

using TAfter = TFakeUpgradeDevice::TAfter;

// Type codes 1 and 2 of the test's product table: two kinds.
// Alpha has the MAC the fake devices answer with: its check by MAC finds it.
const TDeviceSpec kAlpha = {.TypeCode = 1, .Name = "Alpha", .MAC = "00:0A:14:1E:28:32", .PeerIP = "127.0.0.1"};
const TDeviceSpec kBravo = {.TypeCode = 1, .Name = "Bravo", .MAC = "00:0A:14:00:00:02", .PeerIP = "127.0.0.2"};
const TDeviceSpec kCharlie = {.TypeCode = 2, .Name = "Charlie", .MAC = "00:0A:14:00:00:03", .PeerIP = "127.0.0.3"};

// A device of the Orvex family as the window lists it (a kind is a family and a type code).
class TOrvexDevice : public TFakeDevice {
public:
    const TFamily& Family() const override { return OrvexFamily(); }
};

void Add(TTransferWindow& w, const TDeviceSpec& spec)
{
    auto device = std::make_unique<TOrvexDevice>();
    device->Info = MakeDevice(spec)->Info;
    w.Form().AddDevice(std::move(device), kTestProducts, nullptr);
    QApplication::processEvents();
}

void WriteImage(const char* name = "image.kri", char fill = 'K')
{
    std::ofstream(name, std::ios::binary) << std::string(4000, fill);
}

std::string ReadText(const QString& path)
{
    std::ifstream in(path.toStdString(), std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

std::string Joined(const std::vector<std::string>& lines)
{
    std::string text;
    for (const std::string& line : lines)
        text += line + "\n";
    return text;
}

// Runs `whileShown` once the dialog has its file (in automatic mode the dialog is not shown:
// Browse fills the path, and that is where a user would look and type), then starts the upgrade.
bool UpgradeWith(TTransferWindow& w, const std::function<void(Ui::TUpgradeForm&)>& whileShown)
{
    Ui::TUpgradeForm& ui = *w.Upgrade->ui();
    bool seen = false;
    const QMetaObject::Connection watching = QObject::connect(ui.PathEdit, &QLineEdit::textChanged, [&] {
        if (ui.PathEdit->text().isEmpty() || seen)
            return;
        seen = true;
        whileShown(ui);
    });
    Dialogs::QueueFileName("image.kri");
    Control<QAction>(w.Form(), "acFirmUpgr")->trigger();
    QObject::disconnect(watching);
    return seen;
}

}  // namespace

class TestRollout : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        InitTranslation(PYXET_BIN_DIR "/");
        UseLanguage("en");
        Dialogs::SetAutomatic(true);
    }

    void GroupTakesTheSettingsAndKeepsAllButTheRevision()
    {
        TTransferWindow w;
        Add(w, kAlpha);
        w.Check({"Alpha"});
        WriteImage();
        TSettings& settings = w.Form().Settings;
        QVERIFY(!settings.VerifyUpgrades);
        settings.RolloutFirst = 2;
        settings.RolloutWave = 5;
        settings.RolloutHaltAfter = 3;
        settings.RolloutSkipCurrent = false;
        settings.RolloutBackupFirst = true;
        settings.RolloutRetries = 4;
        QVERIFY(UpgradeWith(w, [](Ui::TUpgradeForm& ui) {
            QVERIFY(ui.RolloutGroup->isVisibleTo(ui.RolloutGroup->window()));
            QCOMPARE(ui.RolloutGroup->title(), QStringLiteral("Rollout"));
            QCOMPARE(ui.FirstSpin->value(), 2);
            QCOMPARE(ui.WaveSpin->value(), 5);
            QCOMPARE(ui.HaltSpin->value(), 3);
            QVERIFY(!ui.SkipCheck->isChecked());
            QVERIFY(!ui.RevisionEdit->isEnabled());
            QVERIFY(ui.BackupCheck->isChecked());
            QCOMPARE(ui.RetriesSpin->value(), 4);
            // What the user changes: the first unit alone, no halt in the waves, skipping with a
            // revision typed in, no backup, no retries.
            ui.FirstSpin->setValue(1);
            ui.WaveSpin->setValue(0);
            ui.HaltSpin->setValue(0);
            QCOMPARE(ui.WaveSpin->text(), QStringLiteral("As Transfers at Once"));
            QCOMPARE(ui.HaltSpin->text(), QStringLiteral("Never"));
            ui.SkipCheck->setChecked(true);
            QVERIFY(ui.RevisionEdit->isEnabled());
            ui.RevisionEdit->setText(QStringLiteral(" 2.0 "));
            ui.BackupCheck->setChecked(false);
            ui.RetriesSpin->setValue(0);
        }));
        QVERIFY(w.Finish());  // nothing answers at 127.0.0.1: it fails at once
        // A checked upgrade searches again afterwards; the unit answers with its mark kept.
        Add(w, kAlpha);
        QCOMPARE(w.CheckedNames(), QStringList{QStringLiteral("Alpha")});
        QCOMPARE(settings.RolloutFirst, 1);
        QCOMPARE(settings.RolloutWave, 0);
        QCOMPARE(settings.RolloutHaltAfter, 0);
        QVERIFY(settings.RolloutSkipCurrent);
        QVERIFY(!settings.RolloutBackupFirst);
        QCOMPARE(settings.RolloutRetries, 0);

        // The batch's journal has the rollout as given, the revision with it, and the check of a
        // rollout with a first unit although Verify Upgrades is off.
        std::string error;
        const std::string last = LastJournal(kBackupFolder);
        QVERIFY(!last.empty());
        const std::optional<TUpgradeJournal> journal = ReadJournal(last, error);
        QVERIFY2(journal, error.c_str());
        QCOMPARE(journal->Rollout.First, 1);
        QCOMPARE(journal->Rollout.ImageRevision, std::string("2.0"));
        QVERIFY(journal->Rollout.SkipCurrent);
        QCOMPARE(journal->VerifySeconds, settings.VerifySeconds);
        QCOMPARE(journal->Units.size(), size_t(1));
        QCOMPARE(journal->Units[0].MAC, kAlpha.MAC);
        QCOMPARE(journal->Image, QDir::current().absoluteFilePath(QStringLiteral("image.kri")).toStdString());

        // The next time the box is ticked again and the revision is gone.
        QVERIFY(UpgradeWith(w, [](Ui::TUpgradeForm& ui) {
            QVERIFY(ui.SkipCheck->isChecked());
            QVERIFY(ui.RevisionEdit->text().isEmpty());
            QCOMPARE(ui.FirstSpin->value(), 1);
            ui.FirstSpin->setValue(0);  // no unit first: the check follows Verify Upgrades again
        }));
        QVERIFY(w.Finish());
        QVERIFY(ReadJournal(LastJournal(kBackupFolder), error));
        QCOMPARE(ReadJournal(LastJournal(kBackupFolder), error)->VerifySeconds, 0);

        // A configuration transfer shares the dialog without any of it.
        w.Upgrade->Prepare("Select File", "Save", "Config|*.xml", true);
        QVERIFY(!w.Upgrade->ui()->RolloutGroup->isVisibleTo(w.Upgrade.get()));
        QVERIFY(!w.Upgrade->ui()->KindsPane->isVisibleTo(w.Upgrade.get()));
        QCOMPARE(w.Upgrade->size(), QSize(426, 121));

        // Kept in the file as changed; the revision nowhere.
        const QString path = w.Window.Dir.path() + QStringLiteral("/Pyxet.ini");
        w.Form().close();
        const std::string ini = ReadText(path);
        QVERIFY2(ini.find("[Rollout]\nHaltAfter=0\nSkipCurrent=True\n[") != std::string::npos, ini.c_str());
        QVERIFY2(ini.find("2.0") == std::string::npos, ini.c_str());
    }

    void KindsLineWarnsOfMixedKinds()
    {
        TTransferWindow w;
        for (const TDeviceSpec& device : {kAlpha, kBravo, kCharlie})
            Add(w, device);
        WriteImage();
        w.Check({"Alpha", "Bravo"});
        QString one;
        QVERIFY(UpgradeWith(w, [&](Ui::TUpgradeForm& ui) {
            QVERIFY(ui.KindsPane->isVisibleTo(ui.KindsPane->window()));
            QVERIFY(!ui.KindsIcon->isVisibleTo(ui.KindsPane));
            one = ui.KindsLabel->text();
            w.Upgrade->ui()->PathEdit->clear();  // and cancelled
        }));
        QCOMPARE(one, QString::fromUtf8("2 devices: Poseidon 2261 ×2"));
        QVERIFY(!w.Batches().BatchRunning());
        w.Check({"Charlie"});
        QString mixed;
        QVERIFY(UpgradeWith(w, [&](Ui::TUpgradeForm& ui) {
            QVERIFY(ui.KindsIcon->isVisibleTo(ui.KindsPane));
            QVERIFY(!ui.KindsIcon->pixmap().isNull());
            mixed = ui.KindsLabel->text();
            ui.PathEdit->clear();
        }));
        QCOMPARE(mixed, QString::fromUtf8("3 devices: Poseidon 2261 ×2, Damocles 2404 ×1\nAn image is made for one kind of "
                                          "device: make sure it suits every unit checked."));
        QVERIFY(!w.Batches().BatchRunning());
    }

    void RolloutWithoutItsJournalDoesNotStart()
    {
        TTransferWindow w;
        Add(w, kAlpha);
        w.Check({"Alpha"});
        WriteImage();
        // A file where the backup folder should be: no journal can be written.
        QVERIFY(QFile(QString::fromLatin1(kBackupFolder)).open(QIODevice::WriteOnly));
        TFakeUpgradeDevice alpha("127.0.0.1", TAfter::NewRevision);
        QVERIFY(alpha.Listening);
        w.Form().Settings.RolloutWave = 4;  // a rollout (waves), nothing else
        Dialogs::QueueFileName("image.kri");
        Control<QAction>(w.Form(), "acFirmUpgr")->trigger();
        QVERIFY(!w.Batches().BatchRunning());
        const std::vector<Dialogs::TShownBox> boxes = Dialogs::TakeShownBoxes();
        QCOMPARE(boxes.size(), size_t(1));
        QCOMPARE(boxes[0].Kind, Dialogs::TBoxKind::Error);
        QVERIFY2(boxes[0].Text.starts_with("The upgrade's journal cannot be written, so the rollout does not start: ")
                     && boxes[0].Text.size() > 75,
                 boxes[0].Text.c_str());
        QVERIFY(!w.Progress->isVisible());
        QCOMPARE(alpha.Uploads(), 0);

        // A plain upgrade goes on, and the log says why it has no journal.
        w.Form().Settings.RolloutWave = 0;
        Dialogs::QueueFileName("image.kri");
        Control<QAction>(w.Form(), "acFirmUpgr")->trigger();
        QVERIFY(w.Finish());
        QVERIFY(Dialogs::TakeShownBoxes().empty());
        QCOMPARE(alpha.Uploads(), 1);
        QVERIFY2(w.LogText().find("The upgrade goes on without its journal: ") != std::string::npos, w.LogText().c_str());
    }

    void ResumeAsksThenSearchesThenContinuesTheUnitsLeft()
    {
        TTransferWindow w;
        QAction* resume = Control<QAction>(w.Form(), "acResumeUpgrade");
        QVERIFY(w.Form().BatchLock.Holds(resume));
        // No journal yet.
        resume->trigger();
        std::vector<Dialogs::TShownBox> boxes = Dialogs::TakeShownBoxes();
        QCOMPARE(boxes.size(), size_t(1));
        QCOMPARE(boxes[0].Kind, Dialogs::TBoxKind::Information);
        QCOMPARE(boxes[0].Text, std::string("No upgrade journal was found in the folder backup."));

        // A journal that is no journal: refused, naming why.
        QDir().mkdir(QString::fromLatin1(kBackupFolder));
        {
            QFile bad(QStringLiteral("backup/upgrade-20261201T100000Z.json"));
            QVERIFY(bad.open(QIODevice::WriteOnly));
            bad.write("{\"image\": ");
        }
        resume->trigger();
        boxes = Dialogs::TakeShownBoxes();
        QCOMPARE(boxes.size(), size_t(1));
        QCOMPARE(boxes[0].Kind, Dialogs::TBoxKind::Error);
        QVERIFY2(boxes[0].Text.starts_with("The upgrade journal backup/upgrade-20261201T100000Z.json cannot be resumed: ")
                     && boxes[0].Text.find("JSON") != std::string::npos,
                 boxes[0].Text.c_str());

        // A journal of two units: Alpha's image taken (only verified now), Bravo not begun and
        // found now at another address. Its image changed since: refused.
        WriteImage();
        int64_t size = 0;
        std::string sha256, error;
        QVERIFY(HashImage("image.kri", size, sha256, error));
        auto unit = [](const TDeviceSpec& spec, const char* address, TUnitState state) {
            TJournalUnit u;
            u.MAC = spec.MAC;
            u.Family = "Orvex";
            u.TypeCode = spec.TypeCode;
            u.Name = spec.Name;
            u.Address = address;
            u.RevisionBefore = "1.0";
            u.State = state;
            return u;
        };
        const TJournalUnit alpha = unit(kAlpha, "127.0.0.1", TUnitState::Sent);
        const TJournalUnit bravo = unit(kBravo, "127.0.0.9", TUnitState::NotStarted);
        TUpgradeJournal journal = NewJournal(QDir::current().absoluteFilePath(QStringLiteral("image.kri")).toStdString(),
                                             size, sha256, {}, 1, 0, {alpha, bravo}, 1796119200);
        journal.Units[0].State = TUnitState::Sent;  // a new journal's units are not started
        const std::string path = "backup/upgrade-20261201T110000Z.json";
        QVERIFY(TJournalWriter(path, journal).Ok());
        WriteImage("image.kri", 'L');
        resume->trigger();
        boxes = Dialogs::TakeShownBoxes();
        QCOMPARE(boxes.size(), size_t(1));
        QCOMPARE(boxes[0].Kind, Dialogs::TBoxKind::Error);
        QCOMPARE(boxes[0].Text, ImageChangedRefusal(journal));

        // The same image: the question names the journal and the units left; No does nothing.
        WriteImage();
        Dialogs::QueueAnswer(false);
        resume->trigger();
        boxes = Dialogs::TakeShownBoxes();
        QCOMPARE(boxes.size(), size_t(1));
        QCOMPARE(boxes[0].Kind, Dialogs::TBoxKind::Confirm);
        QCOMPARE(boxes[0].Text, std::string("Resume the upgrade of the journal backup/upgrade-20261201T110000Z.json? 2 "
                                            "units are left; the devices are searched for first."));
        QVERIFY(!w.Batches().Busy());

        // Yes: one discovery cycle (the list emptied), nothing started until it has ended.
        Add(w, kCharlie);
        TFakeUpgradeDevice alphaNow("127.0.0.1", TAfter::NewRevision, "2.0", "2.0");
        TFakeUpgradeDevice bravoNow("127.0.0.2", TAfter::NewRevision);
        QVERIFY(alphaNow.Listening && bravoNow.Listening);
        resume->trigger();
        QCOMPARE(Dialogs::TakeShownBoxes().size(), size_t(1));
        QVERIFY(w.Batches().Busy());
        QVERIFY(!w.Batches().BatchRunning());
        QCOMPARE(w.Window.Names().size(), 0);
        // The units answer the cycle, Bravo at its new address.
        Add(w, kAlpha);
        Add(w, kBravo);
        QSignalSpy finished(&w.Batches(), &TBatchController::BatchFinished);
        QVERIFY2(finished.wait(60000), Joined(w.Lines()).c_str());
        QCOMPARE(alphaNow.Uploads(), 0);  // sent before: never again
        QCOMPARE(bravoNow.Uploads(), 1);
        // The journal is the one resumed, brought up to date.
        const std::optional<TUpgradeJournal> after = ReadJournal(path, error);
        QVERIFY2(after, error.c_str());
        QCOMPARE(after->Units[1].State, TUnitState::Upgraded);
        QCOMPARE(LastJournal(kBackupFolder), path);
    }

    void ChangedConfigurationOpensTheCompare()
    {
        TTransferWindow w;
        Add(w, kAlpha);
        Add(w, kBravo);
        w.Check({"Alpha", "Bravo"});
        WriteImage();
        TFakeUpgradeDevice alpha("127.0.0.1", TAfter::NewRevision);
        TFakeUpgradeDevice bravo("127.0.0.2", TAfter::NewRevision);
        QVERIFY(alpha.Listening && bravo.Listening);
        Dialogs::QueueFileName("image.kri");
        Control<QAction>(w.Form(), "acFirmUpgr")->trigger();
        QVERIFY(w.Finish());
        const std::vector<std::string> lines = w.Lines();
        QCOMPARE(lines.at(0), std::string("Alpha  (127.0.0.1)"));
        const int bravoLine = int(std::find(lines.begin(), lines.end(), "Bravo  (127.0.0.2)") - lines.begin());
        QVERIFY(bravoLine < int(lines.size()));

        // Bravo's configuration before and after, as the batch's check reports them.
        for (const auto& [name, community] : {std::pair{"before.xml", "public"}, std::pair{"after.xml", "private"}}) {
            QFile file(QString::fromLatin1(name));
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(QByteArray("<setup><snmp><community>") + community + "</community></snmp></setup>");
        }
        const std::string before = QDir::current().absoluteFilePath(QStringLiteral("before.xml")).toStdString();
        const std::string after = QDir::current().absoluteFilePath(QStringLiteral("after.xml")).toStdString();
        w.Progress->OfferCompare("127.0.0.2", before, after);
        // Only Bravo's block opens it, every line of it; its tool tip and the line under the list say so.
        QCOMPARE(w.Progress->CompareOf(0), (std::pair<std::string, std::string>{}));
        QCOMPARE(w.Progress->CompareOf(bravoLine - 1), (std::pair<std::string, std::string>{}));
        QCOMPARE(w.Progress->CompareOf(bravoLine + 1), (std::pair{before, after}));
        QListWidget* list = w.Progress->ui()->ListBox1;
        QVERIFY(list->item(bravoLine + 1)->toolTip().endsWith(
            QStringLiteral("Double-click to compare the configuration before and after the upgrade.")));
        list->setCurrentRow(bravoLine + 1);
        QCOMPARE(w.Progress->ReasonText(), std::string("Double-click to compare the configuration before and after the upgrade."));

        QVERIFY(!w.Batches().CompareWindow());
        const QRect rect = list->visualItemRect(list->item(bravoLine + 1));
        // A double-click: the first click of it, then the second one.
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, rect.center());
        QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, rect.center());
        TCompareDialog* compare = w.Batches().CompareWindow();
        QVERIFY(compare);
        QVERIFY(compare->isVisible());
        QCOMPARE(compare->ui()->teLeftFile->text().toStdString(), before);
        QCOMPARE(compare->ui()->teRightFile->text().toStdString(), after);
        QCOMPARE(compare->ui()->lblSummary->text(), QStringLiteral("1 difference"));
        compare->hide();
    }
};

QTEST_MAIN(TestRollout)
#include "test_rollout.moc"
