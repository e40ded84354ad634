// Plan files: the export read back as a plan, the CSV forms spreadsheets write, files that cannot
// be read, bad values with their line and column; undo files and their rules.
#include "core/app/i18n.h"
#include "core/discovery/export.h"
#include "core/devices/registry.h"
#include "core/setup/plan.h"
#include "core/setup/planfile.h"

#include "plandevices.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <string>
#include <vector>

namespace {

TPlanReadError ReadError(const std::string& text)
{
    TPlanFile file;
    TPlanReadError error;
    EXPECT_FALSE(ReadPlanFile(text, file, error));
    return error;
}

TPlanFile Read(const std::string& text)
{
    TPlanFile file;
    TPlanReadError error;
    EXPECT_TRUE(ReadPlanFile(text, file, error)) << error.Message;
    return file;
}

std::string Cell(const TPlanRow& row, TSetupField field)
{
    const auto& cell = row.Cells[static_cast<size_t>(field)];
    return cell ? cell->Text : "<none>";
}

std::string FileText(const std::string& path)
{
    QFile f(QString::fromStdString(path));
    if (!f.open(QIODevice::ReadOnly))
        return "<unreadable>";
    return f.readAll().toStdString();
}

// ---- The export read back -------------------------------------------------------------------

TEST(PlanFileRead, TheExportReadBackChangesNothing)
{
    TPlanLab lab;
    TProduct* a = lab.Orvex(Mac(1), "192.168.1.10", " Boiler, \"north\"\nwing ");
    a->Info.HTTPPort = static_cast<int16_t>(40000);                    // stored as -25536
    TProduct* b = lab.Orvex(Mac(2), "192.168.1.11", "bad \xFF byte");  // the export mends it
    b->Info.Dhcp = 2;
    TProduct* h = lab.Hwg(Mac(3), "192.168.1.12", -1);
    h->Info.HTTPPort = -1;
    lab.Orvex(Mac(4), "192.168.1.13", "");
    std::vector<TExportDevice> exported;
    for (const TProduct* d : lab.Found)
        exported.push_back({d->Info, FamilyName(*d), TDeviceRegistry::DisplayLine(d->Info), false});
    const std::string csv = FormatDeviceList(exported, TExportFormat::Csv);

    const TPlanFile file = Read(csv);
    ASSERT_EQ(file.Rows.size(), 4u);
    EXPECT_EQ(Cell(file.Rows[0], TSetupField::Name), " Boiler, \"north\"\nwing ");
    EXPECT_EQ(file.Rows[1].Line, 5);  // the name broke the first record's line twice: Name and Line
    EXPECT_EQ(file.Rows[2].Family, "HWG");
    TPlanInputs in = lab.Inputs({});
    in.File = &file;
    const TPlan plan = MakePlan(in);
    EXPECT_TRUE(plan.Problems.empty()) << plan.Problems.front().Message();
    ASSERT_EQ(plan.Devices.size(), 4u);
    EXPECT_EQ(plan.ChangingDevices(), 0u);
    EXPECT_TRUE(Read(FormatUndoFile(plan)).Rows.empty());  // nothing to undo
    for (const TDevicePlan& d : plan.Devices)
        for (const TPlanChange& c : d.Fields)
            EXPECT_FALSE(c.Changed) << d.Before.MAC;

    // Pyxet's own plan file of the same devices too.
    const TPlanFile own = Read(FormatPlanFile(lab.Found));
    in.File = &own;
    EXPECT_EQ(MakePlan(in).ChangingDevices(), 0u);
}

TEST(PlanFileRead, SpreadsheetFormsSemicolonsBomCrlfAndQuotes)
{
    const std::string text =
        "\xEF\xBB\xBF"
        "TypeName; mac ;Name;IP;Extra\r\n"
        "\r\n"
        "\"X;1\";00-0a-14-00-00-01;\"A;\"\"B\"\"\r\nC\";10.0.0.5;whatever\r\n"
        ";000A14000002;;;\r\n"
        "Y;00:0A:14:00:00:03\n";  // a short row, LF only, no end
    const TPlanFile file = Read(text);
    ASSERT_EQ(file.Rows.size(), 3u);
    EXPECT_EQ(file.Rows[0].Line, 3);
    EXPECT_TRUE(file.Rows[0].MacValid);
    EXPECT_EQ(file.Rows[0].MacColumn, 2);
    EXPECT_EQ(Cell(file.Rows[0], TSetupField::Name), "A;\"B\"\r\nC");
    EXPECT_EQ(Cell(file.Rows[0], TSetupField::IP), "10.0.0.5");
    EXPECT_EQ(Cell(file.Rows[0], TSetupField::Mask), "<none>");
    EXPECT_EQ(file.Rows[1].Line, 5);
    EXPECT_EQ(file.Rows[1].Mac[5], 2);
    EXPECT_EQ(file.Rows[2].Line, 6);
    EXPECT_EQ(Cell(file.Rows[2], TSetupField::IP), "");
    EXPECT_EQ(file.Rows[2].Cells[static_cast<size_t>(TSetupField::IP)]->Column, 4);
}

// A header that names a column twice: the first of the two counts, and the other is ignored
// like any column the reader does not know (its values are neither read nor checked).
TEST(PlanFileRead, OfTwoColumnsOfOneNameTheFirstCounts)
{
    TPlanFile file = Read("MAC,IP,Name,IP\n" + Mac(1) + ",192.168.1.50,a,not an address\n");
    ASSERT_EQ(file.Rows.size(), 1u);
    EXPECT_EQ(Cell(file.Rows[0], TSetupField::IP), "192.168.1.50");
    EXPECT_EQ(file.Rows[0].Cells[static_cast<size_t>(TSetupField::IP)]->Column, 2);

    file = Read(" mac ,Family,Name,MAC,FAMILY,name\n" + Mac(1) + ",Orvex,first," + Mac(2) + ",HWG,second\n");
    ASSERT_EQ(file.Rows.size(), 1u);
    EXPECT_EQ(file.Rows[0].MacText, Mac(1));
    EXPECT_EQ(file.Rows[0].MacColumn, 1);
    EXPECT_EQ(file.Rows[0].Family, "Orvex");
    EXPECT_EQ(Cell(file.Rows[0], TSetupField::Name), "first");

    TPlanLab lab;
    lab.Orvex(Mac(1), "192.168.1.10");
    file = Read("MAC,IP,Name,IP\n" + Mac(1) + ",192.168.1.50,a,not an address\n");
    TPlanInputs in = lab.Inputs({});
    in.File = &file;
    const TPlan plan = MakePlan(in);
    EXPECT_TRUE(plan.Problems.empty()) << plan.Problems.front().Message();
    EXPECT_EQ(NewAddresses(plan), (std::vector<std::string>{"192.168.1.50"}));
}

TEST(PlanFileRead, FilesThatCannotBeReadNameTheLineAndColumn)
{
    TPlanReadError e = ReadError("MAC,Name\n" + Mac(1) + ",ok\n" + Mac(2) + ",bro\"ken\n");
    EXPECT_EQ(e.Line, 3);
    EXPECT_EQ(e.Column, 22);
    EXPECT_EQ(e.Message, "Line 3, column 22: a quote inside a field that does not begin with one");

    e = ReadError("MAC,Name\n" + Mac(1) + ",\"closed\"late\n");
    EXPECT_EQ(e.Line, 2);
    EXPECT_EQ(e.Column, 27);

    e = ReadError("MAC,Name\n" + Mac(1) + ",\"never\nclosed\n");
    EXPECT_EQ(e.Line, 2);
    EXPECT_EQ(e.Column, 19);

    e = ReadError("MAC,Name\n" + Mac(1) + ",\xC5\xBElu\xC5\n");  // a cut character
    EXPECT_EQ(e.Line, 2);
    EXPECT_EQ(e.Column, 22);
    EXPECT_NE(e.Message.find("not UTF-8"), std::string::npos);

    e = ReadError("MAC,Name\r\n" + Mac(1) + ",\xC0\xAF\r\n");  // an overlong form
    EXPECT_EQ(e.Line, 2);

    e = ReadError("Address,Name\n" + Mac(1) + ",x\n");
    EXPECT_EQ(e.Line, 1);
    EXPECT_EQ(e.Message, "Line 1: the plan has no MAC column");
    EXPECT_EQ(ReadError("").Line, 1);
}

TEST(PlanFileRead, ABadValueInAReadableRowIsAProblemWithItsLineAndColumn)
{
    TPlanLab lab;
    lab.Orvex(Mac(1), "192.168.1.10");
    lab.Orvex(Mac(2), "192.168.1.11");
    const TPlanFile file = Read("MAC,Name,IP,HTTPPort,Dhcp\n" + Mac(1) + ",a,192.168.1.300,80,0\n" + Mac(2)
                                + ",b,,8o,2\nnot a mac,c,,,\n");
    TPlanInputs in = lab.Inputs({});
    in.File = &file;
    const TPlan plan = MakePlan(in);
    std::vector<std::string> messages;
    for (const TPlanProblem& p : plan.Problems)
        messages.push_back(p.Message());
    EXPECT_EQ(messages, (std::vector<std::string>{
                            "Line 3, column 5: '2' is not a DHCP state (0 or 1)",
                            "Line 3, column 4: '8o' is not a valid integer value",
                            "Line 4, column 1: 'not a mac' is not a MAC address",
                            "Line 2, column 3: '192.168.1.300' is not a valid IP address",
                        }));
    EXPECT_TRUE(plan.Blocked());
}

TEST(PlanFileRead, AFamilyColumnMustMatchAndUncheckedDevicesAreActedOn)
{
    TPlanLab lab;
    const TProduct* chosen = lab.Orvex(Mac(1), "192.168.1.10");
    lab.Orvex(Mac(2), "192.168.1.11");
    const TPlanFile file = Read("MAC,Family,Name\n" + Mac(1) + ",HWG,x\n" + Mac(2) + ",orvex,y\n");
    TPlanInputs in = lab.Inputs({chosen});
    in.File = &file;
    const TPlan plan = MakePlan(in);
    ASSERT_EQ(plan.Devices.size(), 2u);
    EXPECT_TRUE(plan.Devices[0].Chosen);
    EXPECT_FALSE(plan.Devices[0].Changes());  // its row names another family
    EXPECT_EQ(ProblemsOfKind(plan, TPlanProblemKind::NotFound).size(), 1u);
    EXPECT_FALSE(plan.Devices[1].Chosen);
    EXPECT_EQ(plan.Devices[1].Field(TSetupField::Name).Value, "y");
    EXPECT_EQ(plan.Devices[1].FileLine, 3);
}

TEST(PlanFileRead, TheFilesValueWinsOverTheForm)
{
    TPlanLab lab;
    const TProduct* a = lab.Orvex(Mac(1), "192.168.1.10");
    const TProduct* b = lab.Orvex(Mac(2), "192.168.1.11");
    const TPlanFile file = Read("MAC,Name,IP\n" + Mac(2) + ",Named,192.168.1.50\n");
    TPlanInputs in = lab.Inputs({a, b});
    in.File = &file;
    in.Form[TSetupField::Name] = "Pump #";
    in.Form[TSetupField::IP] = "192.168.1.50";
    const TPlan plan = MakePlan(in);
    EXPECT_EQ(plan.Devices[0].Field(TSetupField::Name).Value, "Pump 1");
    EXPECT_EQ(plan.Devices[1].Field(TSetupField::Name).Value, "Named");
    // The counter skips the address the file gives.
    EXPECT_EQ(NewAddresses(plan), (std::vector<std::string>{"192.168.1.51", "192.168.1.50"}));
    EXPECT_EQ(plan.Devices[1].Field(TSetupField::IP).Line, 2);
    EXPECT_FALSE(plan.Blocked());
}

TEST(PlanFileRead, ThePlanAsAFileGivesTheSameValuesAndOnceAppliedChangesNothing)
{
    TPlanLab lab;
    std::vector<const TProduct*> chosen;
    for (int k = 0; k < 3; ++k)
        chosen.push_back(lab.Orvex(Mac(k), "192.168.1.100"));
    chosen.push_back(lab.Hwg(Mac(3), "192.168.1.100"));
    TPlanInputs in = lab.Inputs(chosen);
    in.Form[TSetupField::IP] = "192.168.1.20";
    in.Form[TSetupField::Name] = "Boiler ##";
    in.Form[TSetupField::HTTPPort] = "40000";
    in.Form[TSetupField::DNS1] = "1.1.1.1";  // left out for the HWG device, and so in the file
    const TPlan plan = MakePlan(in);
    ASSERT_FALSE(plan.Blocked());

    const TPlanFile file = Read(FormatPlan(plan));
    TPlanInputs fromFile = lab.Inputs({});
    fromFile.File = &file;
    const TPlan again = MakePlan(fromFile);
    EXPECT_TRUE(again.Problems.empty()) << again.Problems.front().Message();
    ASSERT_EQ(again.Devices.size(), plan.Devices.size());
    for (size_t k = 0; k < plan.Devices.size(); ++k) {
        const TSetupValues a = plan.Devices[k].Values();
        const TSetupValues b = again.Devices[k].Values();
        EXPECT_EQ(std::tie(a.Name, a.IP, a.DNS1, a.HTTPPort, a.Dhcp),
                  std::tie(b.Name, b.IP, b.DNS1, b.HTTPPort, b.Dhcp))
            << k;
    }
    for (const TDevicePlan& d : plan.Devices)
        const_cast<TProduct*>(d.Device)->Info = d.After();
    EXPECT_EQ(MakePlan(fromFile).ChangingDevices(), 0u);
}

TEST(PlanFileRead, ProblemsAndReadErrorsInCzech)
{
    InitTranslation(PYXET_BIN_DIR "/");
    UseLanguage("cs");
    const TPlanReadError e = ReadError("MAC,Name\n" + Mac(1) + ",bro\"ken\n");
    TPlanLab lab;
    lab.Orvex(Mac(1), "192.168.1.10");
    const TPlanFile file = Read("MAC,IP\n" + Mac(1) + ",10.0.0.1\n");
    TPlanInputs in = lab.Inputs({});
    in.File = &file;
    const TPlan plan = MakePlan(in);
    std::vector<std::string> messages;
    for (const TPlanProblem& p : plan.Problems)
        messages.push_back(p.Message());
    UseLanguage("en");
    EXPECT_EQ(e.Message, "Řádek 2, sloupec 22: uvozovka uvnitř pole, které uvozovkou nezačíná");
    EXPECT_EQ(messages, (std::vector<std::string>{
                            "Řádek 2, sloupec 2: Brána 192.168.1.1 leží mimo podsíť adresy 10.0.0.1 s maskou "
                            "255.255.255.0",
                            "Řádek 2, sloupec 2: Adresa 10.0.0.1 leží mimo všechny podsítě tohoto počítače",
                        }));
}

// ---- Undo -----------------------------------------------------------------------------------

TEST(PlanUndo, TheFileHoldsTheValuesBeforeOfTheDevicesThePlanChanges)
{
    TPlanLab lab;
    const TProduct* a = lab.Orvex(Mac(1), "192.168.1.100", "");
    const TProduct* b = lab.Orvex(Mac(2), "192.168.1.100", "two");
    const TProduct* c = lab.Orvex(Mac(3), "192.168.1.50", "kept");
    TPlanInputs in = lab.Inputs({a, b, c});
    in.Form[TSetupField::IP] = "192.168.1.101";
    in.Form[TSetupField::Name] = "Boiler #";
    const TPlan plan = MakePlan(in);
    ASSERT_FALSE(plan.Blocked());
    const TPlanFile undo = Read(FormatUndoFile(plan));
    ASSERT_EQ(undo.Rows.size(), 3u);
    EXPECT_EQ(Cell(undo.Rows[0], TSetupField::Name), "");
    EXPECT_EQ(Cell(undo.Rows[0], TSetupField::IP), "192.168.1.100");

    // The plan applied: the devices now have the new values.
    for (const TDevicePlan& d : plan.Devices) {
        const TSetupValues v = d.Values();
        auto* device = const_cast<TProduct*>(d.Device);
        device->SetParameters(v.Name, v.IP, v.Mask, v.Gateway, v.DNS1, v.DNS2, v.Dhcp, std::stoi(v.HTTPPort),
                              std::stoi(v.TelnetPort));
        device->Info.PeerIP = device->Info.IP;
    }
    TPlanInputs back = lab.Inputs({});
    back.File = &undo;
    back.Undo = true;
    const TPlan undone = MakePlan(back);
    // Both go back to the one factory address, and the empty name comes back empty.
    EXPECT_FALSE(undone.Blocked()) << undone.Problems.front().Message();
    EXPECT_EQ(NewAddresses(undone), (std::vector<std::string>{"192.168.1.100", "192.168.1.100", "192.168.1.50"}));
    EXPECT_TRUE(undone.Devices[0].Sends(TSetupField::Name));
    EXPECT_EQ(undone.Devices[0].Values().Name, "");
    EXPECT_EQ(undone.Devices[2].Values().Name, "kept");

    // The same file as an ordinary plan: the empty name changes nothing, the addresses block.
    back.Undo = false;
    const TPlan asPlan = MakePlan(back);
    EXPECT_FALSE(asPlan.Devices[0].Field(TSetupField::Name).Changed);
    EXPECT_EQ(ProblemsOfKind(asPlan, TPlanProblemKind::DuplicateAddress).size(), 1u);
    EXPECT_TRUE(asPlan.Blocked());
}

TEST(PlanUndo, AnUndoAddressIsStillCheckedAgainstTheRule)
{
    TPlanLab lab;
    lab.Orvex(Mac(1), "192.168.1.10");
    const TPlanFile undo = Read("MAC,IP,Gateway\n" + Mac(1) + ",192.168.1.300,\n");
    TPlanInputs in = lab.Inputs({});
    in.File = &undo;
    in.Undo = true;
    const TPlan plan = MakePlan(in);
    EXPECT_EQ(ProblemsOfKind(plan, TPlanProblemKind::RefusedAddress).size(), 1u);
    // An empty gateway stands as it is: 0.0.0.0 to an Orvex device.
    EXPECT_TRUE(plan.Devices[0].Sends(TSetupField::Gateway));
}

// An undo puts back what was there: what a new plan would block is a note, and only what
// cannot be sent at all blocks. Each row: the undo file, the kind of problem it must show, and
// whether that blocks the undo (as an ordinary plan, each of these blocks).
TEST(PlanUndo, OnlyWhatCannotBeSentBlocksAnUndo)
{
    struct TCase {
        const char* Why;
        std::string File;
        TPlanProblemKind Kind;
        bool BlocksUndo;
        bool Demo = false;
    };
    const TCase cases[] = {
        {"a gateway outside the subnet it had: a note",
         "MAC,IP,Mask,Gateway\n" + Mac(1) + ",192.168.1.80,255.255.255.0,10.0.0.1\n",
         TPlanProblemKind::GatewayOutsideSubnet, false},
        {"an address given back to two of the plan's devices: a note",
         "MAC,IP,Gateway\n" + Mac(1) + ",192.168.1.80,192.168.1.1\n" + Mac(2) + ",192.168.1.80,192.168.1.1\n",
         TPlanProblemKind::DuplicateAddress, false},
        {"an address another device found uses now: a note", "MAC,IP\n" + Mac(1) + ",10.80.1.9\n",
         TPlanProblemKind::AddressInUse, false},
        {"a value the family cannot carry (an HWG device's name server): blocks", "MAC,DNS1\n" + Mac(3) + ",10.80.1.53\n",
         TPlanProblemKind::NotCarried, true},
        {"no address where an address belongs: blocks", "MAC,Gateway\n" + Mac(1) + ",10.0.0.x\n",
         TPlanProblemKind::RefusedAddress, true},
        {"demonstration mode: blocks", "MAC,IP\n" + Mac(1) + ",10.80.1.50\n", TPlanProblemKind::DemoMode, true, true},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Why);
        // The devices as the plan left them: moved to 10.80.1.0/24.
        TPlanLab lab;
        for (const int n : {1, 2}) {
            TProduct* d = lab.Orvex(Mac(n), "10.80.1." + std::to_string(n));
            d->Info.Gateway = "10.80.1.254";
        }
        lab.Hwg(Mac(3), "10.80.1.3");
        lab.Orvex(Mac(4), "10.80.1.9");  // not in the undo file
        const TPlanFile undo = Read(c.File);
        TPlanInputs in = lab.Inputs({});
        in.Interfaces.push_back(TPlanLab::PcInterface("eth1", "10.80.1.200", 24));
        in.File = &undo;
        in.Undo = true;
        in.DemoMode = c.Demo;
        const TPlan plan = MakePlan(in);
        const std::vector<TPlanProblem> found = ProblemsOfKind(plan, c.Kind);
        ASSERT_EQ(found.size(), 1u);
        EXPECT_EQ(found[0].Blocking(), c.BlocksUndo);
        EXPECT_EQ(plan.Blocked(), c.BlocksUndo);
        if (!c.BlocksUndo) {
            for (const TDevicePlan& d : plan.Devices)
                EXPECT_TRUE(d.Changes()) << "every old value goes back";
        }

        in.Undo = false;
        if (!c.BlocksUndo) {
            EXPECT_TRUE(MakePlan(in).Blocked()) << "a new plan with these values is blocked";
        }
    }
}

TEST(PlanUndo, WrittenWholeUnderItsTimeNameAndNeverOverAnotherFile)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const std::string folder = dir.path().toStdString() + "/backup";
    TPlanLab lab;
    TPlanInputs in = lab.Inputs({lab.Orvex(Mac(1), "192.168.1.10", "old")});
    in.Form[TSetupField::Name] = "new";
    const TPlan plan = MakePlan(in);

    std::tm t{};
    t.tm_year = 2026 - 1900, t.tm_mon = 11, t.tm_mday = 10, t.tm_hour = 4, t.tm_min = 5, t.tm_sec = 6;
    t.tm_isdst = -1;
    const std::time_t when = std::mktime(&t);
    EXPECT_EQ(UndoFileName("backup", when), "backup/undo-20261210-040506.csv");

    std::string path;
    std::string error;
    ASSERT_TRUE(WriteUndoFile(plan, folder, when, path, error)) << error;  // the folder is made
    EXPECT_EQ(path, folder + "/undo-20261210-040506.csv");
    const std::string written = FileText(path);
    EXPECT_EQ(written, FormatUndoFile(plan));
    EXPECT_NE(written.find(",old,"), std::string::npos);

    // A second plan in the same second: refused, the first file stays as it was.
    TPlanInputs again = in;
    again.Form[TSetupField::Name] = "other";
    EXPECT_FALSE(WriteUndoFile(MakePlan(again), folder, when, path, error));
    EXPECT_NE(error.find("undo-20261210-040506.csv"), std::string::npos);
    EXPECT_EQ(FileText(path), written);
    EXPECT_EQ(QDir(QString::fromStdString(folder)).entryList(QDir::Files).size(), 1);

    // A folder that cannot be made: nothing written, and the caller is told.
    EXPECT_FALSE(WriteUndoFile(plan, folder + "/no/such", when, path, error));
    EXPECT_FALSE(error.empty());
}

}  // namespace
