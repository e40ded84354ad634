// The planner of "set up many devices": consecutive addresses and what they skip, the name
// counter, the form's values, every problem (blocking or shown) and the families' limits.
#include "core/setup/plan.h"
#include "core/setup/planfile.h"

#include "plandevices.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using S = std::vector<std::string>;

TPlanFile ReadOrDie(const std::string& text)
{
    TPlanFile file;
    TPlanReadError error;
    EXPECT_TRUE(ReadPlanFile(text, file, error)) << error.Message;
    return file;
}

// ---- Consecutive addresses ------------------------------------------------------------------

TEST(PlanAddresses, SkipAddressesOfOtherDevicesThePcAndTheGateway)
{
    TPlanLab lab;
    // Three new units on one factory address; others configured on .102 and .104, answering from .103.
    const TProduct* a = lab.Orvex(Mac(1), "192.168.1.100");
    const TProduct* b = lab.Orvex(Mac(2), "192.168.1.100");
    const TProduct* c = lab.Hwg(Mac(3), "192.168.1.100");
    lab.Orvex(Mac(4), "192.168.1.102");
    TProduct* routed = lab.Orvex(Mac(5), "192.168.1.104");
    routed->Info.PeerIP = "192.168.1.103";
    TPlanInputs in = lab.Inputs({a, b, c});
    in.Interfaces.push_back(TPlanLab::PcInterface("eth1", "192.168.1.101", 24));
    in.Form[TSetupField::IP] = " 192.168.1.100 ";
    in.Form[TSetupField::Gateway] = "192.168.1.105";

    const TPlan plan = MakePlan(in);
    // .100 shared with the other two, .101 the PC, .102-.104 other devices, .105 the gateway.
    EXPECT_EQ(NewAddresses(plan), (S{"192.168.1.106", "192.168.1.107", "192.168.1.108"}));
    EXPECT_FALSE(plan.Blocked()) << plan.Problems.front().Message();
    EXPECT_EQ(plan.Devices[0].Field(TSetupField::IP).Source, TPlanSource::Counter);
}

TEST(PlanAddresses, ADeviceMayKeepItsOwnAddress)
{
    TPlanLab lab;
    const TProduct* a = lab.Orvex(Mac(1), "192.168.1.50");
    const TProduct* b = lab.Orvex(Mac(2), "192.168.1.60");
    TPlanInputs in = lab.Inputs({a, b});
    in.Form[TSetupField::IP] = "192.168.1.50";
    const TPlan plan = MakePlan(in);
    EXPECT_EQ(NewAddresses(plan), (S{"", "192.168.1.51"}));
    EXPECT_FALSE(plan.Devices[0].Changes());
}

TEST(PlanAddresses, SkipTheSubnetsEdgesAndRefuseWhenItRunsOut)
{
    TPlanLab lab;
    std::vector<const TProduct*> chosen;
    for (int k = 0; k < 4; ++k)
        chosen.push_back(lab.Orvex(Mac(k), "10.1.1.1"));
    TPlanInputs in = lab.Inputs(chosen);
    in.Interfaces = {TPlanLab::PcInterface("eth0", "10.0.0.200", 24)};
    in.Form[TSetupField::Mask] = "255.255.255.0";
    in.Form[TSetupField::Gateway] = "0.0.0.0";
    in.Form[TSetupField::IP] = "10.0.0.0";  // the network address itself
    TPlan plan = MakePlan(in);
    EXPECT_EQ(NewAddresses(plan), (S{"10.0.0.1", "10.0.0.2", "10.0.0.3", "10.0.0.4"}));
    EXPECT_FALSE(plan.Blocked());

    in.Form[TSetupField::IP] = "10.0.0.252";
    plan = MakePlan(in);
    // .255 is the broadcast address and 10.0.1.0 another subnet: two devices get none.
    EXPECT_EQ(NewAddresses(plan), (S{"10.0.0.252", "10.0.0.253", "10.0.0.254", ""}));
    const auto out = ProblemsOfKind(plan, TPlanProblemKind::NoAddressLeft);
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].Device, 3);
    EXPECT_TRUE(plan.Blocked());

    // The subnet is the one of the mask each device will have: a /16 goes on.
    in.Form[TSetupField::Mask] = "255.255.0.0";
    in.Form[TSetupField::IP] = "10.0.0.254";
    plan = MakePlan(in);
    EXPECT_EQ(NewAddresses(plan), (S{"10.0.0.254", "10.0.0.255", "10.0.1.0", "10.0.1.1"}));
}

// Every prefix from /24 to /32, counted from the subnet's first and from its last address, with
// one device more than the subnet has addresses for: a /30 and wider skips its network and
// broadcast addresses (10.0.0.4/30 gives .5 and .6, then none), a /31 and a /32 have none to skip.
TEST(PlanAddresses, EveryPrefixFromTwentyFourToThirtyTwoAtItsEdges)
{
    for (int prefix = 24; prefix <= 32; ++prefix) {
        const uint32_t size = uint32_t(1) << (32 - prefix);
        const uint32_t network = *ParseAddress("10.0.0.0") + size;  // the second subnet: 10.0.0.4 for a /30
        const uint32_t last = network + size - 1;
        const bool edges = prefix <= 30;
        std::vector<std::string> hosts;
        for (uint32_t a = network + (edges ? 1 : 0); a <= last - (edges ? 1 : 0); ++a)
            hosts.push_back(AddressText(a));
        const std::string mask = AddressText(PrefixMask(prefix));
        SCOPED_TRACE("/" + std::to_string(prefix) + " from " + AddressText(network) + ", mask " + mask);

        TPlanLab lab;
        std::vector<const TProduct*> chosen;
        for (size_t k = 0; k <= hosts.size(); ++k)
            chosen.push_back(lab.Orvex(Mac(int(k)), "10.1.1.1"));
        TPlanInputs in = lab.Inputs(chosen);
        in.Form[TSetupField::Mask] = mask;
        in.Form[TSetupField::Gateway] = "0.0.0.0";

        // From the network address: every address the subnet has, then none for the last device.
        in.Form[TSetupField::IP] = AddressText(network);
        TPlan plan = MakePlan(in);
        S expected = hosts;
        expected.push_back("");
        EXPECT_EQ(NewAddresses(plan), expected);
        auto out = ProblemsOfKind(plan, TPlanProblemKind::NoAddressLeft);
        ASSERT_EQ(out.size(), 1u);
        EXPECT_EQ(out[0].Device, int(hosts.size()));
        EXPECT_EQ(out[0].Message(), "No free address is left from " + AddressText(network)
                                        + " in the subnet with the mask " + mask);
        EXPECT_TRUE(plan.Blocked());
        EXPECT_EQ(ProblemsOfKind(plan, TPlanProblemKind::RefusedAddress).size(), 0u) << "the mask itself passes";

        // From the last address: the broadcast address of a /30 and wider gives nothing; the last
        // address of a /31 or a /32 is a device's.
        in.Form[TSetupField::IP] = AddressText(last);
        plan = MakePlan(in);
        expected.assign(chosen.size(), "");
        if (!edges)
            expected[0] = AddressText(last);
        EXPECT_EQ(NewAddresses(plan), expected);
        out = ProblemsOfKind(plan, TPlanProblemKind::NoAddressLeft);
        EXPECT_EQ(out.size(), chosen.size() - (edges ? 0 : 1));
    }
}

TEST(PlanAddresses, AFirstAddressTheRuleRefusesBlocks)
{
    TPlanLab lab;
    TPlanInputs in = lab.Inputs({lab.Orvex(Mac(1), "192.168.1.10")});
    in.Form[TSetupField::IP] = "192.168.1.010";
    const TPlan plan = MakePlan(in);
    EXPECT_TRUE(plan.Blocked());
    ASSERT_EQ(ProblemsOfKind(plan, TPlanProblemKind::RefusedAddress).size(), 1u);
    EXPECT_EQ(NewAddresses(plan), (S{""}));
}

// ---- Names ----------------------------------------------------------------------------------

TEST(PlanNames, TheLastRunOfHashesCounts)
{
    EXPECT_EQ(PatternName("Boiler ##", 1), "Boiler 01");
    EXPECT_EQ(PatternName("Boiler ##", 99), "Boiler 99");
    EXPECT_EQ(PatternName("Boiler ##", 100), "Boiler 100");
    EXPECT_EQ(PatternName("#", 12), "12");
    EXPECT_EQ(PatternName("R## floor ###", 7), "R## floor 007");
    EXPECT_EQ(PatternName("Pump", 5), "Pump");
}

TEST(PlanNames, HwgDevicesAreSkippedAndUseNoNumber)
{
    TPlanLab lab;
    const TProduct* a = lab.Orvex(Mac(1), "192.168.1.10");
    const TProduct* h = lab.Hwg(Mac(2), "192.168.1.11");
    const TProduct* b = lab.Orvex(Mac(3), "192.168.1.12");
    TPlanInputs in = lab.Inputs({a, h, b});
    in.Form[TSetupField::Name] = "Boiler ##";
    TPlan plan = MakePlan(in);
    EXPECT_EQ(plan.Devices[0].Field(TSetupField::Name).Value, "Boiler 01");
    EXPECT_FALSE(plan.Devices[1].Field(TSetupField::Name).Changed);
    EXPECT_EQ(plan.Devices[2].Field(TSetupField::Name).Value, "Boiler 02");
    EXPECT_TRUE(plan.Problems.empty());

    in.Form[TSetupField::Name] = "Pump";
    plan = MakePlan(in);
    EXPECT_EQ(plan.Devices[0].Field(TSetupField::Name).Value, "Pump");
    EXPECT_EQ(plan.Devices[2].Field(TSetupField::Name).Value, "Pump");
}

// ---- The form's values ----------------------------------------------------------------------

TEST(PlanForm, OneValueForEveryDeviceAndItsOwnValueChangesNothing)
{
    TPlanLab lab;
    const TProduct* a = lab.Orvex(Mac(1), "192.168.1.10");
    TProduct* b = lab.Orvex(Mac(2), "192.168.1.11");
    b->Info.HTTPPort = 8080;
    TPlanInputs in = lab.Inputs({a, b});
    in.Form[TSetupField::HTTPPort] = " 65616 ";  // 80 in 16 bits
    in.Form[TSetupField::DNS2] = "1.1.1.1";
    in.Form[TSetupField::Dhcp] = "0";
    const TPlan plan = MakePlan(in);
    EXPECT_FALSE(plan.Devices[0].Field(TSetupField::HTTPPort).Changed);
    EXPECT_EQ(plan.Devices[1].Field(TSetupField::HTTPPort).Value, "80");
    EXPECT_FALSE(plan.Devices[0].Field(TSetupField::Dhcp).Changed);
    for (const TDevicePlan& d : plan.Devices) {
        EXPECT_EQ(d.Field(TSetupField::DNS2).Value, "1.1.1.1");
        EXPECT_FALSE(d.Field(TSetupField::Mask).Changed);
    }
    const TSetupValues values = plan.Devices[1].Values();
    EXPECT_EQ(values.HTTPPort, "80");
    EXPECT_EQ(values.DNS2, "1.1.1.1");
    EXPECT_EQ(values.IP, "192.168.1.11");
    EXPECT_EQ(values.TelnetPort, "23");
    EXPECT_EQ(plan.Devices[1].VerifiedFields(), (std::vector<TSetupField>{TSetupField::DNS2, TSetupField::HTTPPort}));
}

TEST(PlanForm, AnOrvexNameIsVerifiedAsTheUpdateCutsIt)
{
    TPlanLab lab;
    TPlanInputs in = lab.Inputs({lab.Orvex(Mac(1), "192.168.1.10")});
    const std::string name = std::string(31, 'x') + "\xC3\xA9" + "tail";  // é across byte 32
    in.Form[TSetupField::Name] = name;
    const TPlan plan = MakePlan(in);
    EXPECT_EQ(plan.Devices[0].Field(TSetupField::Name).Value, name);
    EXPECT_EQ(plan.Devices[0].ExpectedValue(TSetupField::Name), std::string(31, 'x'));
}

// ---- Problems -------------------------------------------------------------------------------

TEST(PlanProblems, DemonstrationModeBlocks)
{
    TPlanLab lab;
    TPlanInputs in = lab.Inputs({lab.Orvex(Mac(1), "192.168.1.10")});
    in.Form[TSetupField::Name] = "A";
    in.DemoMode = true;
    const TPlan plan = MakePlan(in);
    ASSERT_EQ(ProblemsOfKind(plan, TPlanProblemKind::DemoMode).size(), 1u);
    EXPECT_TRUE(plan.Blocked());
}

TEST(PlanProblems, BadNumbersBlock)
{
    TPlanLab lab;
    TPlanInputs in = lab.Inputs({lab.Orvex(Mac(1), "192.168.1.10")});
    in.Form[TSetupField::TelnetPort] = "2x3";
    const TPlan plan = MakePlan(in);
    const auto bad = ProblemsOfKind(plan, TPlanProblemKind::BadValue);
    ASSERT_EQ(bad.size(), 1u);
    EXPECT_EQ(bad[0].Field, TSetupField::TelnetPort);
    EXPECT_EQ(bad[0].Message(), "'2x3' is not a valid integer value");
    EXPECT_TRUE(plan.Blocked());
}

TEST(PlanProblems, AValueTheAddressRuleRefusesBlocks)
{
    TPlanLab lab;
    const TProduct* o = lab.Orvex(Mac(1), "192.168.1.10");
    const TProduct* h = lab.Hwg(Mac(2), "192.168.1.11");
    TPlanInputs in = lab.Inputs({o, h});
    in.Form[TSetupField::Mask] = "255.255.255.00";
    TPlan plan = MakePlan(in);
    EXPECT_EQ(ProblemsOfKind(plan, TPlanProblemKind::RefusedAddress).size(), 2u);
    EXPECT_TRUE(plan.Blocked());

    // An empty gateway is 0.0.0.0 to an Orvex device; an HWG device cannot take it.
    in.Form[TSetupField::Mask].reset();
    in.Form[TSetupField::Gateway] = "";
    plan = MakePlan(in);
    const auto refused = ProblemsOfKind(plan, TPlanProblemKind::RefusedAddress);
    ASSERT_EQ(refused.size(), 1u);
    EXPECT_EQ(refused[0].Device, 1);
    EXPECT_EQ(refused[0].Field, TSetupField::Gateway);
    EXPECT_EQ(plan.Devices[0].ExpectedValue(TSetupField::Gateway), "0.0.0.0");
}

TEST(PlanProblems, AGatewayOutsideTheSubnetBlocks)
{
    TPlanLab lab;
    TPlanInputs in = lab.Inputs({lab.Orvex(Mac(1), "192.168.1.10")});
    in.Form[TSetupField::Gateway] = "192.168.2.1";
    TPlan plan = MakePlan(in);
    ASSERT_EQ(ProblemsOfKind(plan, TPlanProblemKind::GatewayOutsideSubnet).size(), 1u);
    in.Form[TSetupField::Gateway] = "0.0.0.0";
    plan = MakePlan(in);
    EXPECT_TRUE(plan.Problems.empty());
    // A wider mask takes the gateway in.
    in.Form[TSetupField::Gateway] = "192.168.2.1";
    in.Form[TSetupField::Mask] = "255.255.0.0";
    plan = MakePlan(in);
    EXPECT_TRUE(plan.Problems.empty());
}

TEST(PlanProblems, AnAddressForAnOrvexDeviceWithDhcpOnBlocksUnlessThePlanTurnsItOff)
{
    TPlanLab lab;
    TProduct* o = lab.Orvex(Mac(1), "192.168.1.10");
    o->Info.Dhcp = 1;
    TPlanInputs in = lab.Inputs({o});
    in.Form[TSetupField::IP] = "192.168.1.20";
    TPlan plan = MakePlan(in);
    const auto dhcp = ProblemsOfKind(plan, TPlanProblemKind::DhcpOn);
    ASSERT_EQ(dhcp.size(), 1u);
    EXPECT_EQ(dhcp[0].Field, TSetupField::IP);
    EXPECT_TRUE(plan.Blocked());

    in.Form[TSetupField::Dhcp] = "0";
    plan = MakePlan(in);
    EXPECT_FALSE(plan.Blocked());
    EXPECT_EQ(plan.Devices[0].VerifiedFields(), (std::vector<TSetupField>{TSetupField::IP, TSetupField::Dhcp}));

    // Turning DHCP on alone is fine, and only the DHCP state is verified.
    o->Info.Dhcp = 0;
    in.Form[TSetupField::IP].reset();
    in.Form[TSetupField::Dhcp] = "1";
    plan = MakePlan(in);
    EXPECT_TRUE(plan.Problems.empty());
    EXPECT_EQ(plan.Devices[0].VerifiedFields(), (std::vector<TSetupField>{TSetupField::Dhcp}));
}

TEST(PlanProblems, TwoDevicesGivenOneAddressAndAnAddressInUseBlock)
{
    TPlanLab lab;
    lab.Orvex(Mac(1), "192.168.1.10");
    lab.Orvex(Mac(2), "192.168.1.11");
    lab.Orvex(Mac(3), "192.168.1.12");
    const TPlanFile file = ReadOrDie("MAC,IP\r\n" + Mac(1) + ",192.168.1.30\r\n" + Mac(2) + ",192.168.1.30\r\n" + Mac(3)
                                     + ",192.168.1.10\r\n");
    TPlanInputs in = lab.Inputs({});
    in.File = &file;
    const TPlan plan = MakePlan(in);
    const auto dup = ProblemsOfKind(plan, TPlanProblemKind::DuplicateAddress);
    ASSERT_EQ(dup.size(), 1u);
    EXPECT_EQ(dup[0].Device, 1);
    EXPECT_EQ(dup[0].Line, 3);
    EXPECT_EQ(dup[0].Column, 2);
    const auto used = ProblemsOfKind(plan, TPlanProblemKind::AddressInUse);
    ASSERT_EQ(used.size(), 1u);
    EXPECT_EQ(used[0].Device, 2);
    EXPECT_NE(used[0].Text.find(Mac(1)), std::string::npos);
    EXPECT_TRUE(plan.Blocked());
}

TEST(PlanProblems, OneMacForTwoDevicesOrTwoRowsBlocks)
{
    TPlanLab lab;
    const TProduct* a = lab.Orvex(Mac(1), "192.168.1.10");
    lab.Orvex("00-0a-14-00-00-01", "192.168.1.11");
    TPlanInputs in = lab.Inputs({a});
    in.Form[TSetupField::Name] = "X";
    TPlan plan = MakePlan(in);
    ASSERT_EQ(ProblemsOfKind(plan, TPlanProblemKind::SharedMac).size(), 1u);
    EXPECT_TRUE(plan.Blocked());

    TPlanLab other;
    other.Orvex(Mac(7), "192.168.1.10");
    const TPlanFile file = ReadOrDie("MAC,Name\n000A14000007,A\n00-0a-14-00-00-07:,B\n");
    in = other.Inputs({});
    in.File = &file;
    plan = MakePlan(in);
    const auto rows = ProblemsOfKind(plan, TPlanProblemKind::DuplicateRow);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].Line, 3);
    EXPECT_EQ(rows[0].Message(), "Line 3, column 1: The MAC address 00-0a-14-00-00-07: is named on line 2 already");
    EXPECT_TRUE(plan.Blocked());
}

TEST(PlanProblems, AnAddressOutsideThePcsSubnetsAndARowWithoutDeviceAreShownOnly)
{
    TPlanLab lab;
    lab.Orvex(Mac(1), "192.168.1.10");
    const TPlanFile file =
        ReadOrDie("MAC,IP,Mask,Gateway\n" + Mac(1) + ",10.5.0.7,255.255.0.0,10.5.0.1\n" + Mac(9) + ",192.168.1.99,,\n");
    TPlanInputs in = lab.Inputs({});
    in.File = &file;
    const TPlan plan = MakePlan(in);
    EXPECT_EQ(ProblemsOfKind(plan, TPlanProblemKind::OutsidePcSubnets).size(), 1u);
    const auto missing = ProblemsOfKind(plan, TPlanProblemKind::NotFound);
    ASSERT_EQ(missing.size(), 1u);
    EXPECT_EQ(missing[0].Line, 3);
    EXPECT_FALSE(plan.Blocked());
    ASSERT_EQ(plan.Devices.size(), 1u);
    EXPECT_EQ(plan.Devices[0].Field(TSetupField::IP).Value, "10.5.0.7");
    EXPECT_TRUE(plan.Devices[0].Changes());
}

// ---- The families' limits -------------------------------------------------------------------

TEST(PlanFamilies, WhatAnHwgDeviceCannotTakeIsShownAndLeftOut)
{
    TPlanLab lab;
    const TProduct* h = lab.Hwg(Mac(1), "192.168.1.10", -1);  // no DHCP setting
    const TProduct* o = lab.Orvex(Mac(2), "192.168.1.11");
    const TPlanFile file = ReadOrDie("MAC,Name,DNS1,Dhcp,TelnetPort,HTTPPort\n" + Mac(1) + ",Boiler,1.1.1.1,1,2323,81\n"
                                     + Mac(2) + ",Boiler,1.1.1.1,,2323,81\n");
    TPlanInputs in = lab.Inputs({h, o});
    in.File = &file;
    const TPlan plan = MakePlan(in);
    const auto left = ProblemsOfKind(plan, TPlanProblemKind::NotCarried);
    ASSERT_EQ(left.size(), 4u);  // Name, DNS1, Dhcp, TelnetPort of the HWG device
    for (const TPlanProblem& p : left) {
        EXPECT_EQ(p.Device, 0);
        EXPECT_FALSE(p.Blocking());
        EXPECT_EQ(p.Line, 2);
    }
    EXPECT_FALSE(plan.Blocked());
    const TDevicePlan& hwg = plan.Devices[0];
    EXPECT_EQ(hwg.Problems.size(), 4u);
    EXPECT_TRUE(plan.Devices[1].Problems.empty());
    EXPECT_EQ(hwg.VerifiedFields(), (std::vector<TSetupField>{TSetupField::HTTPPort}));
    const TSetupValues values = hwg.Values();
    EXPECT_EQ(values.Name, "HWG unit");
    EXPECT_EQ(values.DNS1, "N/A");
    EXPECT_EQ(values.Dhcp, -1);
    EXPECT_EQ(values.TelnetPort, "N/A");
    EXPECT_EQ(values.HTTPPort, "81");
    // The Orvex device takes all of it.
    EXPECT_EQ(
        plan.Devices[1].VerifiedFields(),
        (std::vector<TSetupField>{TSetupField::Name, TSetupField::DNS1, TSetupField::HTTPPort, TSetupField::TelnetPort}));
}

TEST(PlanFamilies, APortTheDeviceDoesNotHaveIsLeftOut)
{
    TPlanLab lab;
    TProduct* o = lab.Orvex(Mac(1), "192.168.1.10");
    o->Info.TelnetPort = -1;
    TPlanInputs in = lab.Inputs({o});
    in.Form[TSetupField::TelnetPort] = "2323";
    const TPlan plan = MakePlan(in);
    ASSERT_EQ(ProblemsOfKind(plan, TPlanProblemKind::NotCarried).size(), 1u);
    EXPECT_FALSE(plan.Blocked());
    EXPECT_FALSE(plan.Devices[0].Changes());
    EXPECT_EQ(plan.Devices[0].Values().TelnetPort, "N/A");
}

TEST(PlanFamilies, AnHwgDeviceWithADhcpSettingTakesADhcpChange)
{
    TPlanLab lab;
    TPlanInputs in = lab.Inputs({lab.Hwg(Mac(1), "192.168.1.10", 0)});
    in.Form[TSetupField::Dhcp] = "1";
    const TPlan plan = MakePlan(in);
    EXPECT_TRUE(plan.Problems.empty());
    EXPECT_EQ(plan.Devices[0].Values().Dhcp, 1);
}

}  // namespace
