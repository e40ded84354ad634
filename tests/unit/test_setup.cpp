// The setup panel's logic without a window: the field rules, the address rule, "Apply Changes"
// (checks, stored values, the restart question, what is sent), restart and factory default, and
// the target of a pyxet-cli command.
#include "core/setup/addressrule.h"
#include "core/setup/commands.h"
#include "core/setup/fields.h"
#include "core/setup/target.h"

#include "core/devices/registry.h"
#include "core/protocols/hwg/product.h"
#include "core/protocols/orvex/product.h"
#include "logcapture.h"

#include <gtest/gtest.h>

#include <deque>
#include <string>
#include <vector>

namespace {

// The families' own decisions (SetParameters, SentFields, SendsEmptyAddressAsZero) with the sending
// replaced by a record of what would have gone out.
template <class Family>
class TRecorded : public Family {
public:
    void Update() override { Updates.push_back({this->Info, this->RestartNeeded}); }
    void FactoryDefault() override { ++Defaults; }
    void Restart() override { ++Restarts; }
    struct TSent {
        TProductInfo Info;
        bool Restart;
    };
    std::vector<TSent> Updates;
    int Defaults = 0;
    int Restarts = 0;
};

class TScriptedAsker : public TSetupAsker {
public:
    bool Confirm(const std::string& question) override
    {
        Questions.push_back(question);
        bool yes = true;
        if (!Answers.empty()) {
            yes = Answers.front();
            Answers.pop_front();
        }
        return yes;
    }
    void Refuse(const std::string& message) override { Refusals.push_back(message); }
    std::deque<bool> Answers;
    std::vector<std::string> Questions;
    std::vector<std::string> Refusals;
};

const char* const kApplyQuestion = "To propagate new settings, device has to be restarted.\nDo you wish to continue?";

TProductInfo OrvexInfo()
{
    TProductInfo info;
    info.MAC = "00:0A:14:1E:28:32";
    info.Name = "Hall";
    info.PeerIP = "10.77.1.5";
    info.IP = "192.168.1.20";
    info.Mask = "255.255.255.0";
    info.Gateway = "192.168.1.1";
    info.DNS1 = "192.168.1.1";
    info.DNS2 = "0.0.0.0";
    info.Dhcp = 0;
    info.HTTPPort = 80;
    info.TelnetPort = 23;
    info.CanSetDefault = info.CanRestart = true;
    return info;
}

TProductInfo HwgInfo()
{
    TProductInfo info = OrvexInfo();
    info.DNS1 = info.DNS2 = "N/A";
    info.TelnetPort = -1;
    info.Dhcp = 1;
    info.CanRestart = false;
    return info;
}

TEST(SetupPortText, ReadsLikeTheFieldConversion)
{
    struct Case {
        const char* Text;
        bool Ok;
        int32_t Value;
        const char* Reason;
    };
    const Case cases[] = {
        {"80", true, 80, "plain"},
        {"080", true, 80, "leading zero"},
        {"  23", true, 23, "leading blanks"},
        {"+7", true, 7, "sign"},
        {"-1", true, -1, "negative"},
        {"65536", true, 65536, "above a port: cut later"},
        {"2147483647", true, 2147483647, "largest"},
        {"-2147483648", true, -2147483647 - 1, "smallest"},
        {"2147483648", false, 0, "beyond 32 bits"},
        {"99999999999999999999", false, 0, "far beyond"},
        {"", false, 0, "empty"},
        {"-", false, 0, "sign alone"},
        {"23 ", false, 0, "trailing blank"},
        {"abc", false, 0, "letters"},
        {"1e3", false, 0, "not decimal digits only"},
        {"N/A", false, 0, "N/A is not a number"},
    };
    for (const Case& c : cases) {
        int32_t value = 0;
        EXPECT_EQ(ReadInteger(c.Text, value), c.Ok) << c.Reason;
        if (c.Ok) {
            EXPECT_EQ(value, c.Value) << c.Reason;
        }
    }
    int32_t value = 0;
    EXPECT_TRUE(ReadPort("N/A", -1, value));
    EXPECT_EQ(value, -1) << "a port the device does not have passes its stored value";
    EXPECT_FALSE(ReadPort("N/A", 80, value)) << "typed into a port the device has";
}

TEST(SetupFieldRules, EachFieldAgainstItsStoredValue)
{
    TRecorded<TProductOrvex> device;
    device.Info = OrvexInfo();
    device.Info.HTTPPort = static_cast<int16_t>(40000);
    device.Info.Dhcp = 2;
    using F = TSetupField;

    EXPECT_EQ(ApplyEnabledAfterEdit(&device, false, F::Name, "Hall", false), false);
    EXPECT_EQ(ApplyEnabledAfterEdit(&device, false, F::Name, "hall", false), true) << "letter case counts";
    EXPECT_EQ(ApplyEnabledAfterEdit(&device, true, F::Name, "hall", false), false) << "never in demonstration mode";
    EXPECT_EQ(ApplyEnabledAfterEdit(nullptr, false, F::IP, "1.2.3.4", false), std::nullopt) << "no device: untouched";
    EXPECT_EQ(ApplyEnabledAfterEdit(&device, false, F::TelnetPort, "23", false), false);
    EXPECT_EQ(ApplyEnabledAfterEdit(&device, false, F::TelnetPort, "023", false), true) << "text, not number";
    EXPECT_EQ(ApplyEnabledAfterEdit(&device, false, F::HTTPPort, "-25536", false), false) << "signed 16 bits";
    EXPECT_EQ(ApplyEnabledAfterEdit(&device, false, F::HTTPPort, "40000", false), true) << "as the device reported it";
    EXPECT_EQ(ApplyEnabledAfterEdit(&device, false, F::HTTPPort, "N/A", true), std::nullopt) << "read-only port";
    EXPECT_EQ(ApplyEnabledAfterEdit(&device, false, F::Name, "N/A", true), true) << "only ports skip read-only";

    EXPECT_EQ(ApplyEnabledAfterDhcpClick(&device, false, true), true) << "a stored 2 is not the checked 1";
    EXPECT_EQ(ApplyEnabledAfterDhcpClick(&device, false, false), true);
    device.Info.Dhcp = 1;
    EXPECT_EQ(ApplyEnabledAfterDhcpClick(&device, false, true), false);
    EXPECT_EQ(ApplyEnabledAfterDhcpClick(&device, true, false), false);
    EXPECT_EQ(ApplyEnabledAfterDhcpClick(nullptr, false, true), std::nullopt);

    EXPECT_TRUE(AddressFieldsLocked(true, false));
    EXPECT_FALSE(AddressFieldsLocked(true, true)) << "demonstration mode leaves the fields writable";
    EXPECT_FALSE(AddressFieldsLocked(false, false));
}

// The name field shows a name with controls written out (SafeText); that shown form counts as the
// stored name, and applying it sends the stored bytes.
TEST(SetupFieldRules, NameWithControlsComparesAndAppliesAsStored)
{
    TRecorded<TProductOrvex> device;
    device.Info = OrvexInfo();
    const std::string stored = "Hall\r\nERROR\t\x1B[31m\xE2\x80\xAE\\";
    const std::string shown = "Hall\\x0D\\x0AERROR\\x09\\x1B[31m\\u{202E}\\\\";
    device.Info.Name = stored;
    using F = TSetupField;
    EXPECT_EQ(StoredText(device.Info, F::Name), shown);
    EXPECT_EQ(ApplyEnabledAfterEdit(&device, false, F::Name, shown, false), false) << "shown as stored: unchanged";
    EXPECT_EQ(ApplyEnabledAfterEdit(&device, false, F::Name, stored, false), true)
        << "the raw bytes are not what it shows";
    EXPECT_EQ(NameToApply(shown, stored), stored) << "the device's own bytes go back";
    EXPECT_EQ(NameToApply("Hall\\x0A", stored), "Hall\\x0A") << "typed text goes as typed";
    EXPECT_EQ(NameToApply("Hall", "Hall"), "Hall");
    EXPECT_EQ(NameToApply("", "Hall"), "");
}

struct ApplyTest : ::testing::Test {
    TLogCapture Log;
    TScriptedAsker Asker;
    TRecorded<TProductOrvex> Orvex;
    TRecorded<TProductHwg> Hwg;

    void SetUp() override
    {
        Orvex.Info = OrvexInfo();
        Hwg.Info = HwgInfo();
    }
    std::vector<std::string> Messages() const
    {
        std::vector<std::string> messages;
        for (size_t i = 0; i < Log.Lines().size(); ++i)
            messages.push_back(Log.Message(i));
        return messages;
    }
};

TEST_F(ApplyTest, OrvexNameOnlyAsksNothingAndSendsActionZero)
{
    TSetupValues values = ShownValues(Orvex.Info);
    values.Name = "Hall East";
    EXPECT_EQ(ApplyChanges(&Orvex, values, Asker), TCommandOutcome::Sent);
    EXPECT_TRUE(Asker.Questions.empty());
    ASSERT_EQ(Orvex.Updates.size(), 1u);
    EXPECT_FALSE(Orvex.Updates[0].Restart);
    EXPECT_EQ(Orvex.Updates[0].Info.Name, "Hall East");
    EXPECT_EQ(Messages(), std::vector<std::string>{"Reconfiguring 192.168.1.20 device. Please wait."});
    EXPECT_EQ(Log.Lines()[0].Level, LOG_INFO);
    EXPECT_TRUE(Log.Captions.empty()) << "the status caption stays the family's";
}

TEST_F(ApplyTest, RestartQuestionOnlyWhenNeededAndNoKeepsTheValuesUnsent)
{
    TSetupValues values = ShownValues(Orvex.Info);
    values.Gateway = "192.168.1.254";
    Asker.Answers = {false, true};
    EXPECT_EQ(ApplyChanges(&Orvex, values, Asker), TCommandOutcome::Declined);
    EXPECT_EQ(Asker.Questions, std::vector<std::string>{kApplyQuestion});
    EXPECT_TRUE(Orvex.Updates.empty());
    EXPECT_TRUE(Messages().empty());
    EXPECT_EQ(Orvex.Info.Gateway, "192.168.1.254") << "stored although not sent";
    EXPECT_TRUE(Orvex.RestartNeeded);

    // Nothing edited in between: asked again, because the stored change still needs a restart.
    EXPECT_EQ(ApplyChanges(&Orvex, ShownValues(Orvex.Info), Asker), TCommandOutcome::Sent);
    EXPECT_EQ(Asker.Questions.size(), 2u);
    ASSERT_EQ(Orvex.Updates.size(), 1u);
    EXPECT_TRUE(Orvex.Updates[0].Restart) << "action code 1";
    EXPECT_FALSE(Orvex.RestartNeeded);
}

TEST_F(ApplyTest, HwgAsksEveryTime)
{
    for (int i = 0; i < 2; ++i)
        EXPECT_EQ(ApplyChanges(&Hwg, ShownValues(Hwg.Info), Asker), TCommandOutcome::Sent);
    EXPECT_EQ(Asker.Questions.size(), 2u);
    EXPECT_EQ(Hwg.Updates.size(), 2u);
}

TEST_F(ApplyTest, PortsAreCheckedTelnetFirstAndCutTo16Bits)
{
    TSetupValues values = ShownValues(Orvex.Info);
    values.TelnetPort = "abc";
    values.HTTPPort = "xyz";
    EXPECT_EQ(ApplyChanges(&Orvex, values, Asker), TCommandOutcome::Refused);
    EXPECT_EQ(Asker.Refusals, std::vector<std::string>{"'abc' is not a valid integer value"});
    values.TelnetPort = "23";
    EXPECT_EQ(ApplyChanges(&Orvex, values, Asker), TCommandOutcome::Refused);
    EXPECT_EQ(Asker.Refusals.back(), "'xyz' is not a valid integer value");
    EXPECT_TRUE(Orvex.Updates.empty());
    EXPECT_EQ(Orvex.Info.HTTPPort, 80) << "nothing stored";
    EXPECT_TRUE(Messages().empty());

    values.HTTPPort = "65536";
    EXPECT_EQ(ApplyChanges(&Orvex, values, Asker), TCommandOutcome::Sent);
    EXPECT_EQ(Orvex.Info.HTTPPort, 0);
    values.HTTPPort = "65535";
    EXPECT_EQ(ApplyChanges(&Orvex, values, Asker), TCommandOutcome::Sent);
    EXPECT_EQ(Orvex.Info.HTTPPort, -1) << "and then shows as not available";
}

TEST_F(ApplyTest, APortShownAsNotAvailablePassesItsStoredValue)
{
    TSetupValues values = ShownValues(Hwg.Info);
    ASSERT_EQ(values.TelnetPort, "N/A");
    values.IP = "192.168.1.21";
    EXPECT_EQ(ApplyChanges(&Hwg, values, Asker), TCommandOutcome::Sent);
    ASSERT_EQ(Hwg.Updates.size(), 1u);
    EXPECT_EQ(Hwg.Updates[0].Info.TelnetPort, -1);
    EXPECT_EQ(Hwg.Updates[0].Info.IP, "192.168.1.21");
}

// Every address the update request carries must be plain dotted decimal; blanks around it are
// removed before it is stored. Cases run one at a time on the device as it was.
TEST_F(ApplyTest, OnlyPlainAddressesAreStoredAndSent)
{
    struct Case {
        TProduct* Device;
        int32_t Dhcp;
        std::string TSetupValues::*Field;
        std::string Text;
        const char* Stored;  // null: refused
        const char* Reason;
    };
    using V = TSetupValues;
    const Case cases[] = {
        // Orvex, DHCP off: the request carries all five addresses.
        {&Orvex, 0, &V::IP, "192.168.1.2OO", nullptr, "letter O: the lenient reading sent 192.168.1.2"},
        {&Orvex, 0, &V::IP, "1..2.3", nullptr, "an empty number: the lenient reading sent 1.0.2.3"},
        {&Orvex, 0, &V::Gateway, "192.168.1.", nullptr, "a missing last number: the lenient reading sent .0"},
        {&Orvex, 0, &V::Mask, "255.255.255.000", nullptr, "leading zeros"},
        {&Orvex, 0, &V::DNS1, "192.168.01.1", nullptr, "a leading zero"},
        {&Orvex, 0, &V::IP, "+192.168.1.21", nullptr, "a sign"},
        {&Orvex, 0, &V::IP, "192.168.1.21/24", nullptr, "a prefix length"},
        {&Orvex, 0, &V::DNS2, "1.2.3.4.5", nullptr, "five numbers"},
        {&Orvex, 0, &V::IP, "192.168.1.300", nullptr, "above 255"},
        {&Orvex, 0, &V::Mask, "255.255.255", nullptr, "three numbers"},
        {&Orvex, 0, &V::IP, "192.168. 1.21", nullptr, "a blank inside"},
        {&Orvex, 0, &V::IP, "", nullptr, "an empty IP address would set the device to 0.0.0.0"},
        {&Orvex, 0, &V::Mask, " ", nullptr, "a mask of blanks is empty"},
        {&Orvex, 0, &V::Gateway, "", "", "an empty gateway still means 0.0.0.0"},
        {&Orvex, 0, &V::DNS1, "\t", "", "an empty name server still means 0.0.0.0"},
        {&Orvex, 0, &V::IP, " 192.168.1.21 ", "192.168.1.21", "blanks around are removed"},
        {&Orvex, 0, &V::Mask, "255.255.0.0\t", "255.255.0.0", "a tab too"},
        {&Orvex, 0, &V::Gateway, "0.0.0.0", "0.0.0.0", "zero is one digit"},
        {&Orvex, 0, &V::DNS2, "255.255.255.255", "255.255.255.255", "the highest numbers"},
        // Orvex, DHCP on: no address is carried, so none is checked (but each is trimmed).
        {&Orvex, 1, &V::IP, "192.168.1.2OO", "192.168.1.2OO", "not sent with DHCP on"},
        {&Orvex, 1, &V::Mask, "", "", "not sent with DHCP on"},
        {&Orvex, 1, &V::Gateway, " 10.0.0.1 ", "10.0.0.1", "trimmed although not sent"},
        // HWG: IP address, mask and gateway are carried whatever the DHCP state.
        {&Hwg, 0, &V::IP, "192.168.1.2OO", nullptr, "letter O: the strict reading sent 192.168.1.2"},
        {&Hwg, 1, &V::Mask, "255.255.255.000", nullptr, "leading zeros, also with DHCP on"},
        {&Hwg, 0, &V::IP, "", nullptr, "an empty IP address"},
        {&Hwg, 0, &V::Gateway, "", nullptr, "an empty gateway cannot be sent"},
        {&Hwg, 1, &V::Gateway, "1..2.3", nullptr, "an empty number"},
        {&Hwg, 1, &V::IP, "10.0.0.256", nullptr, "above 255"},
        {&Hwg, 0, &V::Gateway, " 10.0.0.1", "10.0.0.1", "a blank before is removed"},
        {&Hwg, 1, &V::DNS1, "garbage", "garbage", "HWG never sends name servers"},
    };
    for (const Case& c : cases) {
        Asker.Refusals.clear();
        Asker.Questions.clear();
        Orvex.Updates.clear();
        Hwg.Updates.clear();
        const TProductInfo before = c.Device->Info;
        TSetupValues values = ShownValues(before);
        values.Dhcp = c.Dhcp;
        values.*(c.Field) = c.Text;
        const TCommandOutcome outcome = ApplyChanges(c.Device, values, Asker);
        std::vector<TProductInfo> updates;
        for (const auto& update : Orvex.Updates)
            updates.push_back(update.Info);
        for (const auto& update : Hwg.Updates)
            updates.push_back(update.Info);
        if (!c.Stored) {
            EXPECT_EQ(outcome, TCommandOutcome::Refused) << c.Reason;
            std::string trimmed = c.Text;
            trimmed.erase(0, trimmed.find_first_not_of(" \t"));
            EXPECT_EQ(Asker.Refusals, std::vector<std::string>{"'" + trimmed + "' is not a valid IP address"})
                << c.Reason;
            EXPECT_TRUE(Asker.Questions.empty()) << c.Reason;
            EXPECT_TRUE(updates.empty()) << c.Reason;
            const TSetupValues after = ShownValues(c.Device->Info);
            EXPECT_EQ(after.*(c.Field), ShownValues(before).*(c.Field)) << "nothing stored: " << c.Reason;
            EXPECT_EQ(c.Device->Info.Dhcp, before.Dhcp) << "nothing stored: " << c.Reason;
        } else {
            EXPECT_EQ(outcome, TCommandOutcome::Sent) << c.Reason;
            EXPECT_TRUE(Asker.Refusals.empty()) << c.Reason;
            ASSERT_EQ(updates.size(), 1u) << c.Reason;
            EXPECT_EQ(ShownValues(updates[0]).*(c.Field), c.Stored) << c.Reason;
        }
        c.Device->Info = before;
        c.Device->RestartNeeded = false;
    }
}

TEST(SetupAddressRule, PlainDottedDecimalOnly)
{
    for (const char* plain : {"0.0.0.0", "1.2.3.4", "10.0.0.1", "192.168.100.200", "255.255.255.255", "9.99.199.250"})
        EXPECT_TRUE(IsPlainIpAddress(plain)) << plain;
    for (const char* malformed : {"", "1.2.3", "1.2.3.4.5", "1.2.3.", ".1.2.3", "1..2.3", "1.2.3.4.", "01.2.3.4",
                                  "1.2.3.00", "1.2.3.256", "1000.1.1.1", "1.2.3.2OO", "1.2.3.4x", " 1.2.3.4",
                                  "1.2.3.4 ", "+1.2.3.4", "1.2.-3.4", "1.2.3.0x1", "１.2.3.4", "1.2.3.4\n"})
        EXPECT_FALSE(IsPlainIpAddress(malformed)) << malformed;

    EXPECT_EQ(TrimBlanks(" \t10.0.0.1\r\n "), "10.0.0.1");
    EXPECT_EQ(TrimBlanks(" \t "), "");
    EXPECT_EQ(TrimBlanks("1 2"), "1 2") << "only the ends";
}

TEST(SetupAddressRule, NamesTheFirstRefusedFieldAndTrimsEveryAddress)
{
    TRecorded<TProductOrvex> orvex;
    orvex.Info = OrvexInfo();
    TSetupValues values = ShownValues(orvex.Info);
    values.Mask = "255.255.0.";
    values.DNS1 = "x";
    values.DNS2 = " 1.1.1.1 ";
    auto refused = CheckSetupAddresses(orvex, values);
    ASSERT_TRUE(refused.has_value());
    EXPECT_EQ(refused->Field, TSetupField::Mask) << "in the order of the panel";
    EXPECT_EQ(refused->Text, "255.255.0.");
    EXPECT_EQ(values.DNS2, "1.1.1.1") << "every address trimmed, also after the refused one";

    // With DHCP on the Orvex request carries no address, so none is refused.
    values.Dhcp = 1;
    EXPECT_FALSE(CheckSetupAddresses(orvex, values).has_value());

    TRecorded<TProductHwg> hwg;
    hwg.Info = HwgInfo();
    values = ShownValues(hwg.Info);
    values.Gateway = "";
    refused = CheckSetupAddresses(hwg, values);
    ASSERT_TRUE(refused.has_value());
    EXPECT_EQ(refused->Field, TSetupField::Gateway);
    EXPECT_TRUE(refused->Text.empty());
}

TEST_F(ApplyTest, RestartAndFactoryDefault)
{
    Asker.Answers = {false};
    EXPECT_EQ(RestartDevice(&Orvex, Asker), TCommandOutcome::Declined);
    EXPECT_EQ(Orvex.Restarts, 0);
    EXPECT_TRUE(Messages().empty()) << "No: nothing sent, nothing logged";
    EXPECT_EQ(RestartDevice(&Orvex, Asker), TCommandOutcome::Sent);
    EXPECT_EQ(Orvex.Restarts, 1);
    EXPECT_EQ(Asker.Questions, (std::vector<std::string>{"Restart device. Do you wish to continue?",
                                                         "Restart device. Do you wish to continue?"}));
    EXPECT_EQ(Messages(), std::vector<std::string>{"Restart Hall device from 10.77.1.5. Please wait."});
    EXPECT_EQ(Log.Captions, std::vector<std::string>{"Restart device"});

    EXPECT_EQ(SetFactoryDefaults(&Orvex, Asker), TCommandOutcome::Sent);
    EXPECT_EQ(Orvex.Defaults, 1);
    EXPECT_EQ(Asker.Questions.back(), "Set device to default factory configuration.\nDo you wish to continue?");
    EXPECT_EQ(Messages().back(), "Setting Hall device from 10.77.1.5 to factory default. Please wait.");
    EXPECT_EQ(Log.Captions.back(), "Set Default Factory");

    // Commands a device does not offer, and no device at all: nothing asked or sent.
    const size_t asked = Asker.Questions.size();
    EXPECT_EQ(RestartDevice(&Hwg, Asker), TCommandOutcome::NotOffered);
    EXPECT_EQ(Hwg.Restarts, 0);
    Hwg.Info.CanSetDefault = false;
    EXPECT_EQ(SetFactoryDefaults(&Hwg, Asker), TCommandOutcome::NotOffered);
    EXPECT_EQ(Hwg.Defaults, 0);
    EXPECT_EQ(Asker.Refusals.size(), 2u);
    EXPECT_EQ(RestartDevice(nullptr, Asker), TCommandOutcome::NoDevice);
    EXPECT_EQ(SetFactoryDefaults(nullptr, Asker), TCommandOutcome::NoDevice);
    EXPECT_EQ(ApplyChanges(nullptr, TSetupValues{}, Asker), TCommandOutcome::NoDevice);
    EXPECT_EQ(Asker.Questions.size(), asked);
}

TEST_F(ApplyTest, CommandLinesShowTheNameWrittenOut)
{
    Orvex.Info.Name = "Hall\nERROR\tforged\x1B[2J";
    EXPECT_EQ(RestartDevice(&Orvex, Asker), TCommandOutcome::Sent);
    EXPECT_EQ(SetFactoryDefaults(&Orvex, Asker), TCommandOutcome::Sent);
    EXPECT_EQ(Messages(),
              (std::vector<std::string>{
                  "Restart Hall\\x0AERROR\\x09forged\\x1B[2J device from 10.77.1.5. Please wait.",
                  "Setting Hall\\x0AERROR\\x09forged\\x1B[2J device from 10.77.1.5 to factory default. Please wait."}));
    // The values the command line starts from are the stored ones, sent unchanged.
    TSetupValues values = ShownValues(Orvex.Info);
    EXPECT_EQ(values.Name, Orvex.Info.Name);
    values.Gateway = "192.168.1.2";
    EXPECT_EQ(ApplyChanges(&Orvex, values, Asker), TCommandOutcome::Sent);
    ASSERT_EQ(Orvex.Updates.size(), 1u);
    EXPECT_EQ(Orvex.Updates[0].Info.Name, "Hall\nERROR\tforged\x1B[2J");
}

TEST(SetupTarget, MacOrAnsweringAddress)
{
    struct Case {
        const char* Text;
        bool Valid;
        bool ByMac;
        const char* Normalised;
    };
    const Case cases[] = {
        {"00:0a:14:1e:28:32", true, true, "00:0A:14:1E:28:32"},
        {"00-0A-14-1E-28-32", true, true, "00:0A:14:1E:28:32"},
        {"000A141E2832", true, true, "00:0A:14:1E:28:32"},
        {"10.77.1.5", true, false, "10.77.1.5"},
        {"10.77.001.005", true, false, "10.77.1.5"},
        {"00:0A:14:1E:28", false, false, ""},
        {"00:0A:14:1E:28:32:", false, false, ""},
        {" 00:0A:14:1E:28:32", false, false, ""},
        {"10.77.1", false, false, ""},
        {"10.77.1.256", false, false, ""},
        {"10.77.1.5/16", false, false, ""},
        {"", false, false, ""},
    };
    for (const Case& c : cases) {
        const auto target = ParseTarget(c.Text);
        ASSERT_EQ(target.has_value(), c.Valid) << c.Text;
        if (!target)
            continue;
        EXPECT_EQ(target->ByMac, c.ByMac) << c.Text;
        EXPECT_EQ(target->Text, c.Normalised) << c.Text;
    }

    TDeviceRegistry list;
    const auto add = [&list](const std::string& mac, const std::string& peer) {
        auto device = std::make_unique<TRecorded<TProductOrvex>>();
        device->Info.MAC = mac;
        device->Info.PeerIP = peer;
        list.AddDevice(std::move(device), {}, nullptr);
    };
    add("00:0A:14:1E:28:32", "10.77.1.5");
    add("00:0A:14:1E:28:33", "10.77.1.6");
    add("00:0A:14:1E:28:34", "10.77.1.6");
    EXPECT_EQ(MatchTarget(list, *ParseTarget("00-0a-14-1e-28-32")).size(), 1u);
    EXPECT_EQ(MatchTarget(list, *ParseTarget("10.77.1.6")).size(), 2u);
    EXPECT_TRUE(MatchTarget(list, *ParseTarget("10.77.1.7")).empty());
}

TEST(DisplayColumns, AreWhereTheFieldsOfALineStart)
{
    TProductInfo info;
    info.TypeName = "Type";
    info.Name = "Name";
    info.MAC = "00:0A:14:1E:28:32";
    info.PeerIP = "10.77.100.200";
    info.FirmwareRev = "1.2";
    const std::string line = TDeviceRegistry::DisplayLine(info);
    const auto columns = TDeviceRegistry::DisplayColumns();
    EXPECT_EQ(line.substr(columns[0], 4), "Type");
    EXPECT_EQ(line.substr(columns[1], 4), "Name");
    EXPECT_EQ(line.substr(columns[2], 17), info.MAC);
    EXPECT_EQ(line.substr(columns[3], 13), info.PeerIP);
    EXPECT_EQ(line.substr(columns[4]), "1.2");
}

} // namespace
