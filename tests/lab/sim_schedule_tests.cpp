// Devices that change at set times, driven without sockets: the fleet keys, the order of the
// changes, and what a device does once each change is made.
#include <gtest/gtest.h>

#include <cstdio>
#include <set>
#include <string>

#include "fleet.h"
#include "packets.h"
#include "simdevices.h"
#include "simulator.h"
#include "vectors.h"

using namespace sim;

namespace {

std::string Entry(const std::string& family, int number, const std::string& ip, const std::string& extra = "") {
    char mac[18];
    std::snprintf(mac, sizeof mac, "02:%s:00:00:00:%02X", family == "HWG" ? "51" : "50", number);
    return R"({"family": ")" + family + R"(", "mac": ")" + mac + R"(", "ip": ")" + ip + "\"" + extra + "}";
}

std::string OrvexRevision(const Bytes& answer) {
    std::string text(answer.begin() + 98, answer.begin() + 114);
    return text.substr(0, text.find('\0'));
}

std::string OrvexIp(const Bytes& answer) {
    return IpText({answer[51], answer[52], answer[53], answer[54]});
}

// The "scheduled" events written so far.
std::vector<nlohmann::json> Scheduled(Devices& devices) {
    std::vector<nlohmann::json> out;
    for (const auto& e : devices.EventLines())
        if (e["event"] == "scheduled") out.push_back(e);
    return out;
}

}  // namespace

TEST(ScheduleKeys, ParsedCheckedAndWrittenBack) {
    const FleetResult parsed = ParseFleet(
        "[" + Entry("Orvex", 1, "10.77.1.1", R"(, "gone": {"from": 2.5, "to": 10})") + "," +
        Entry("HWG", 1, "10.77.1.2", R"(, "new_ip": {"at": 4, "ip": "10.77.9.2"}, "new_firmware": {"at": 0, "firmware": "2.1.0"})") +
        "," + Entry("Orvex", 2, "10.77.1.3", R"(, "new_firmware": {"at": 7, "firmware": "1.1"})") + "]");
    ASSERT_EQ(parsed.error, "");
    const auto check = [](const std::vector<DeviceConfig>& devices) {
        EXPECT_EQ(devices[0].schedule.gone_from, 2.5);
        EXPECT_EQ(devices[0].schedule.gone_to, 10);
        EXPECT_FALSE(devices[0].schedule.NewIp());
        EXPECT_FALSE(devices[0].schedule.NewFirmware());
        EXPECT_FALSE(devices[1].schedule.Gone());
        EXPECT_EQ(devices[1].schedule.new_ip_at, 4);
        EXPECT_EQ(devices[1].schedule.new_ip, (Ip4{10, 77, 9, 2}));
        EXPECT_EQ(devices[1].schedule.new_firmware_at, 0);
        EXPECT_EQ(devices[1].schedule.new_firmware, "2.1.0");
        EXPECT_EQ(devices[2].schedule.new_firmware, "1.1");
    };
    check(parsed.devices);
    const FleetResult reread = ParseFleet(FleetToJson(parsed.devices));
    ASSERT_EQ(reread.error, "");
    check(reread.devices);
    // The lab makes the new address local along with the devices' own.
    EXPECT_EQ(AddressPrefixes(LabAddresses(parsed.devices)),
              (std::vector<std::string>{"10.77.1.1/32", "10.77.1.2/31", "10.77.9.2/32"}));

    const struct {
        const char* Extra;
        const char* Named;
    } bad[] = {
        {R"(, "gone": {"from": 5})", "\"to\" is missing"},
        {R"(, "gone": {"from": 5, "to": 5})", "\"to\" must come after \"from\""},
        {R"(, "gone": {"from": -1, "to": 5})", "\"from\" must be 0 to 86400 seconds"},
        {R"(, "gone": {"from": "1", "to": 5})", "\"from\" must be a number of seconds"},
        {R"(, "gone": {"from": 1, "to": 5, "until": 6})", "unknown key \"until\""},
        {R"(, "gone": [1, 5])", "gone: must be an object"},
        {R"(, "gone": {"from": 1, "to": 5}, "away_ms": 1000)", "cannot also be gone"},
        {R"(, "gone": {"from": 1, "to": 5}, "shared_address": true)", "cannot share its address"},
        {R"(, "new_ip": {"at": 1, "ip": "10.77.1.1"})", "is where the device is already"},
        {R"(, "new_ip": {"at": 1, "ip": "10.77.0.254"})", "cannot be a device's own address"},
        {R"(, "new_ip": {"at": 1, "ip": "10.77.1.9"})", "is the address of device 1"},
        {R"(, "new_ip": {"at": 1, "ip": "10.77.9.9"}, "shared_address": true)", "cannot share its address"},
        {R"(, "new_ip": {"at": 1})", "\"ip\" is missing"},
        {R"(, "new_firmware": {"at": 1, "firmware": "12345678901234567"})", "holds at most 16 bytes"},
        {R"(, "new_firmware": {"firmware": "1.1"})", "\"at\" is missing"},
    };
    for (const auto& b : bad) {
        const FleetResult refused =
            ParseFleet("[" + Entry("Orvex", 1, "10.77.1.1", b.Extra) + "," + Entry("Orvex", 2, "10.77.1.9") + "]");
        EXPECT_NE(refused.error.find(b.Named), std::string::npos) << b.Extra << ": " << refused.error;
        EXPECT_NE(refused.error.find("device 0"), std::string::npos) << b.Extra << ": " << refused.error;
    }
    const FleetResult hwg =
        ParseFleet("[" + Entry("HWG", 1, "10.77.1.1", R"(, "new_firmware": {"at": 1, "firmware": "8.0.0"})") + "]");
    EXPECT_NE(hwg.error.find("\"a.b.c\""), std::string::npos) << hwg.error;
    const FleetResult twice = ParseFleet("[" + Entry("Orvex", 1, "10.77.1.1", R"(, "new_ip": {"at": 1, "ip": "10.77.9.9"})") +
                                         "," + Entry("Orvex", 2, "10.77.1.2", R"(, "new_ip": {"at": 2, "ip": "10.77.9.9"})") +
                                         "]");
    EXPECT_NE(twice.error.find("new address of device 0 too"), std::string::npos) << twice.error;
}

TEST(Schedule, ChangesComeByTimeAndAtOneTimeGoneMoveRevisionBack) {
    Devices devices("[" + Entry("Orvex", 1, "10.77.1.1", R"(, "gone": {"from": 3, "to": 9}, "new_ip": {"at": 9, "ip": "10.77.9.1"})") +
                    "," + Entry("Orvex", 2, "10.77.1.2", R"(, "new_firmware": {"at": 3, "firmware": "2.0"})") + "," +
                    Entry("HWG", 1, "10.77.1.3", R"(, "gone": {"from": 0, "to": 3})") + "]");
    std::vector<std::string> order;
    for (const TimedChange& change : devices.Sim().Timetable())
        order.push_back(std::to_string(change.device) + "@" + std::to_string(int(change.at)) + ":" +
                        std::to_string(int(change.kind)));
    // Kinds: 0 gone, 1 new address, 2 new revision, 3 back.
    EXPECT_EQ(order, (std::vector<std::string>{"2@0:0", "0@3:0", "1@3:2", "2@3:3", "0@9:1", "0@9:3"}));
}

TEST(Schedule, AGoneDeviceAnswersNothingUntilItIsBack) {
    Devices devices("[" + Entry("Orvex", 1, "10.77.1.1", R"(, "gone": {"from": 1, "to": 2}, "restart_ms": 0)") + "," +
                    Entry("Orvex", 2, "10.77.1.2") + "," + Entry("HWG", 1, "10.77.1.3", R"(, "gone": {"from": 1, "to": 2})") +
                    "]");
    const auto timetable = devices.Sim().Timetable();
    ASSERT_EQ(timetable.size(), 4u);
    const Bytes info = vectors::OrvexInfoRequest();
    EXPECT_EQ(devices.Orvex(info, kAll).size(), 2u) << "before its time it answers";

    RouteChange routes;
    devices.Sim().EventLog().Write(devices.Sim().Apply(timetable[0], routes));
    EXPECT_EQ(routes.hide, (std::vector<Ip4>{{10, 77, 1, 1}}));
    EXPECT_TRUE(routes.show.empty());
    devices.Sim().Apply(timetable[1], routes);
    auto out = devices.Orvex(info, kAll);
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].device, 1u);
    EXPECT_TRUE(devices.Orvex(info, {10, 77, 1, 1}).empty());
    EXPECT_TRUE(devices.Hwg(HwgInfoRequest(), kAll).empty());
    // A command changes nothing.
    Bytes update = vectors::OrvexStaticUpdate();
    const Mac mac = devices.Sim().At(0).config.mac;
    std::copy(mac.begin(), mac.end(), update.begin());
    EXPECT_TRUE(devices.Orvex(update, kAll).empty());
    EXPECT_FALSE(devices.Sim().At(0).restarting);

    RouteChange back;
    devices.Sim().EventLog().Write(devices.Sim().Apply(timetable[2], back));
    EXPECT_EQ(back.show, (std::vector<Ip4>{{10, 77, 1, 1}}));
    EXPECT_TRUE(back.hide.empty());
    EXPECT_EQ(devices.Orvex(info, kAll).size(), 2u);
    EXPECT_EQ(devices.Orvex(info, {10, 77, 1, 1}).size(), 1u);

    const auto lines = Scheduled(devices);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0]["change"], "gone");
    EXPECT_EQ(lines[0]["address"], "10.77.1.1");
    EXPECT_EQ(lines[0]["until"], 2);
    EXPECT_EQ(lines[1]["change"], "back");
    EXPECT_EQ(lines[1]["device"], "02:50:00:00:00:01");
    int away = 0;
    for (const auto& e : devices.EventLines())
        if (e["event"] == "request" && e.value("outcome", "") == "away") ++away;
    EXPECT_EQ(away, 4) << "two info requests, the update and the HWG broadcast, each logged";
}

TEST(Schedule, ANewAddressIsConfiguredAndAnsweredFrom) {
    Devices devices("[" + Entry("Orvex", 1, "10.77.1.1", R"(, "new_ip": {"at": 1, "ip": "10.77.9.1"})") + "," +
                    Entry("HWG", 1, "10.77.1.2", R"(, "address": "10.77.1.20", "new_ip": {"at": 1, "ip": "10.77.9.2"})") +
                    "]");
    const auto timetable = devices.Sim().Timetable();
    ASSERT_EQ(timetable.size(), 2u);
    for (const TimedChange& change : timetable) {
        RouteChange routes;
        devices.Sim().EventLog().Write(devices.Sim().Apply(change, routes));
        EXPECT_TRUE(routes.hide.empty() && routes.show.empty()) << "a device that is there stays reachable";
    }
    const Bytes info = vectors::OrvexInfoRequest();
    EXPECT_TRUE(devices.Orvex(info, {10, 77, 1, 1}).empty()) << "the old address reaches nobody";
    const auto out = devices.Orvex(info, {10, 77, 9, 1});
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].source, (Ip4{10, 77, 9, 1}));
    EXPECT_EQ(OrvexIp(out[0].data), "10.77.9.1") << "the configured address is the new one too";
    // A device placed apart from its configured ip takes the new one for both.
    const auto hwg = devices.Hwg(HwgInfoRequest(), kAll);
    ASSERT_EQ(hwg.size(), 1u);
    EXPECT_EQ(hwg[0].source, (Ip4{10, 77, 9, 2}));
    EXPECT_EQ(devices.Sim().At(1).setup.ip, (Ip4{10, 77, 9, 2}));
    EXPECT_EQ(devices.Sim().DeviceAt({10, 77, 9, 2}), 1);
    EXPECT_EQ(devices.Sim().DeviceAt({10, 77, 1, 20}), -1);

    const auto lines = Scheduled(devices);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0]["change"], "new_ip");
    EXPECT_EQ(lines[0]["old_address"], "10.77.1.1");
    EXPECT_EQ(lines[0]["new_address"], "10.77.9.1");
    EXPECT_EQ(lines[1]["old_address"], "10.77.1.20");
}

TEST(Schedule, ADeviceThatMovesWhileGoneIsFoundNowhereUntilItIsBack) {
    Devices devices("[" + Entry("Orvex", 1, "10.77.1.1",
                                R"(, "gone": {"from": 1, "to": 3}, "new_ip": {"at": 2, "ip": "10.77.9.1"})") + "]");
    const auto timetable = devices.Sim().Timetable();
    ASSERT_EQ(timetable.size(), 3u);
    RouteChange gone, moved, back;
    devices.Sim().Apply(timetable[0], gone);
    devices.Sim().Apply(timetable[1], moved);
    EXPECT_EQ(moved.hide, (std::vector<Ip4>{{10, 77, 9, 1}}));
    EXPECT_TRUE(devices.Orvex(vectors::OrvexInfoRequest(), {10, 77, 9, 1}).empty());
    devices.Sim().Apply(timetable[2], back);
    EXPECT_EQ(back.show, (std::vector<Ip4>{{10, 77, 1, 1}, {10, 77, 9, 1}}));
    EXPECT_EQ(devices.Orvex(vectors::OrvexInfoRequest(), {10, 77, 9, 1}).size(), 1u);
}

TEST(Schedule, ANewRevisionIsReported) {
    Devices devices("[" + Entry("Orvex", 1, "10.77.1.1", R"(, "firmware": "1.0", "new_firmware": {"at": 1, "firmware": "1.1"})") +
                    "," + Entry("HWG", 1, "10.77.1.2", R"(, "firmware": "1.0.0", "new_firmware": {"at": 1, "firmware": "2.3.4"})") +
                    "]");
    const Bytes info = vectors::OrvexInfoRequest();
    EXPECT_EQ(OrvexRevision(devices.Orvex(info, kAll).at(0).data), "1.0");
    const Bytes hwgBefore = devices.Hwg(HwgInfoRequest(), kAll).at(0).data;
    for (const TimedChange& change : devices.Sim().Timetable()) {
        RouteChange routes;
        devices.Sim().EventLog().Write(devices.Sim().Apply(change, routes));
    }
    EXPECT_EQ(OrvexRevision(devices.Orvex(info, kAll).at(0).data), "1.1");
    const Bytes hwgAfter = devices.Hwg(HwgInfoRequest(), kAll).at(0).data;
    DeviceConfig expected = devices.Sim().At(1).config;
    expected.hwg_rev = {2, 3, 4};
    EXPECT_EQ(hwgAfter, BuildHwgAnswer(expected, devices.Sim().At(1).setup));
    EXPECT_NE(hwgAfter, hwgBefore);
    const auto lines = Scheduled(devices);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0]["change"], "new_firmware");
    EXPECT_EQ(lines[0]["old"], "1.0");
    EXPECT_EQ(lines[0]["new"], "1.1");
    EXPECT_EQ(lines[1]["old"], "1.0.0");
    EXPECT_EQ(lines[1]["new"], "2.3.4");
    EXPECT_FALSE(devices.Sim().At(0).restarting) << "no restart";
}
