// What the consecutive addresses of a plan passed over, and why: one range per run of addresses
// skipped for one reason, in ascending order, with the texts the plan dialog shows.
#include "core/app/i18n.h"
#include "core/setup/plan.h"
#include "core/setup/planfile.h"

#include "plandevices.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using S = std::vector<std::string>;

S Texts(const TPlan& plan)
{
    S texts;
    for (const TSkippedAddresses& range : plan.Skipped)
        texts.push_back(range.Text());
    return texts;
}

}  // namespace

// Every reason the planner has, in one plan of a /24: the network address, this PC, another
// device found (four in a row), the gateway, an address the plan file gives another device,
// and at the end the broadcast address.
TEST(PlanSkipped, EachReasonAndEachRun)
{
    TPlanLab lab;
    std::vector<const TProduct*> chosen;
    for (int k = 0; k < 3; ++k)
        chosen.push_back(lab.Orvex(Mac(k), "10.0.0.200"));
    for (int k = 12; k <= 15; ++k)
        lab.Orvex(Mac(100 + k), "10.77.1." + std::to_string(k));
    const TProduct* filed = lab.Orvex(Mac(50), "10.0.0.201");
    TPlanInputs in = lab.Inputs(chosen);
    in.Interfaces = {TPlanLab::PcInterface("eth0", "10.77.1.1", 24)};
    in.Form[TSetupField::Mask] = "255.255.255.0";
    in.Form[TSetupField::Gateway] = "10.77.1.16";
    in.Form[TSetupField::IP] = "10.77.1.0";
    TPlanFile file;
    TPlanReadError error;
    ASSERT_TRUE(ReadPlanFile("MAC,IP\n" + filed->Info.MAC + ",10.77.1.18\n", file, error)) << error.Message;
    in.File = &file;

    TPlan plan = MakePlan(in);
    // The first gets .2, the next two .3 and .4: only what lies before the last one given counts.
    EXPECT_EQ(NewAddresses(plan), (S{"10.77.1.2", "10.77.1.3", "10.77.1.4", "10.77.1.18"}));
    EXPECT_EQ(Texts(plan), (S{"10.77.1.0: the subnet's network address", "10.77.1.1: this PC's address"}));

    // From .11 on: .11 is free, then four in use, the gateway, .17 free, the planned one, .19 free.
    in.Form[TSetupField::IP] = "10.77.1.11";
    plan = MakePlan(in);
    EXPECT_EQ(NewAddresses(plan), (S{"10.77.1.11", "10.77.1.17", "10.77.1.19", "10.77.1.18"}));
    EXPECT_EQ(Texts(plan), (S{"10.77.1.12\u201310.77.1.15: in use", "10.77.1.16: the gateway",
                              "10.77.1.18: planned for another device"}));
    ASSERT_EQ(plan.Skipped.size(), size_t(3));
    EXPECT_EQ(plan.Skipped[0].First, *ParseAddress("10.77.1.12"));
    EXPECT_EQ(plan.Skipped[0].Last, *ParseAddress("10.77.1.15"));
    EXPECT_EQ(plan.Skipped[0].Reason, TSkipReason::InUse);

    // At the top of the subnet: .254 is taken by a device, .255 is the broadcast address, and
    // the last device gets none.
    lab.Orvex(Mac(200), "10.77.1.254");
    in = lab.Inputs(chosen);
    in.Interfaces = {TPlanLab::PcInterface("eth0", "10.77.1.1", 24)};
    in.Form[TSetupField::Mask] = "255.255.255.0";
    in.Form[TSetupField::Gateway] = "10.77.1.1";
    in.Form[TSetupField::IP] = "10.77.1.252";
    plan = MakePlan(in);
    EXPECT_EQ(NewAddresses(plan), (S{"10.77.1.252", "10.77.1.253", ""}));
    EXPECT_EQ(Texts(plan), (S{"10.77.1.254: in use", "10.77.1.255: the subnet's broadcast address"}));
    EXPECT_TRUE(plan.Blocked());
}

// A run of one reason ends where another reason begins; two runs of one reason with a free
// address between them stay two.
TEST(PlanSkipped, RunsOfOneReasonOnly)
{
    TPlanLab lab;
    std::vector<const TProduct*> chosen;
    for (int k = 0; k < 2; ++k)
        chosen.push_back(lab.Orvex(Mac(k), "192.168.1.200"));
    lab.Orvex(Mac(10), "192.168.1.10");
    lab.Orvex(Mac(11), "192.168.1.11");
    lab.Orvex(Mac(14), "192.168.1.14");
    TPlanInputs in = lab.Inputs(chosen);
    in.Interfaces = {TPlanLab::PcInterface("eth0", "192.168.1.12", 24)};
    in.Form[TSetupField::Gateway] = "192.168.1.1";
    in.Form[TSetupField::IP] = "192.168.1.10";
    const TPlan plan = MakePlan(in);
    EXPECT_EQ(NewAddresses(plan), (S{"192.168.1.13", "192.168.1.15"}));
    EXPECT_EQ(Texts(plan), (S{"192.168.1.10\u2013192.168.1.11: in use", "192.168.1.12: this PC's address",
                              "192.168.1.14: in use"}));

    // Nothing counted, nothing skipped.
    in.Form[TSetupField::IP].reset();
    EXPECT_TRUE(MakePlan(in).Skipped.empty());
}

TEST(PlanSkipped, TextsInCzech)
{
    InitTranslation(PYXET_BIN_DIR "/");
    UseLanguage("cs");
    const TSkippedAddresses inUse{0x0A4D010C, 0x0A4D010F, TSkipReason::InUse};
    const TSkippedAddresses gateway{0x0A4D0101, 0x0A4D0101, TSkipReason::Gateway};
    const std::string inUseText = inUse.Text(), gatewayText = gateway.Text();
    UseLanguage("en");
    EXPECT_EQ(inUseText, "10.77.1.12\u201310.77.1.15: používá se");
    EXPECT_EQ(gatewayText, "10.77.1.1: brána");
}
