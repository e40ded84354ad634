// The simulated devices driven directly, without sockets: who a datagram reaches when devices
// share an address, devices that follow their configured address, and devices that refuse or
// ignore commands.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <map>
#include <memory>
#include <set>
#include <thread>

#include "events.h"
#include "fleet.h"
#include "packets.h"
#include "simulator.h"
#include "tea.h"
#include "simdevices.h"
#include "vectors.h"

using namespace sim;

namespace {

constexpr Ip4 kFactory{10, 77, 200, 1};
std::string Entry(const std::string& family, int number, const std::string& ip, const std::string& extra = "") {
    char mac[18];
    std::snprintf(mac, sizeof mac, "02:%s:00:00:00:%02X", family == "HWG" ? "51" : "50", number);
    return R"({"family": ")" + family + R"(", "mac": ")" + mac + R"(", "ip": ")" + ip + "\"" + extra + "}";
}

const std::string kShared = R"(, "shared_address": true, "follow_ip": true, "restart_ms": 0)";

// Three Orvex and two HWG devices on one factory address, an Orvex device listed first.
std::string SharedFleet() {
    return "[" + Entry("Orvex", 1, "10.77.200.1", kShared) + "," + Entry("HWG", 1, "10.77.200.1", kShared) + "," +
           Entry("Orvex", 2, "10.77.200.1", kShared) + "," + Entry("Orvex", 3, "10.77.200.1", kShared) + "," +
           Entry("HWG", 2, "10.77.200.1", kShared) + "," + Entry("Orvex", 4, "10.77.1.4", R"(, "restart_ms": 0)") + "]";
}

Mac OrvexMac(int number) { return {0x02, 0x50, 0, 0, 0, uint8_t(number)}; }

// A static update with restart (the program's layout) for this device and address.
Bytes OrvexUpdate(const Mac& mac, const Ip4& ip) {
    Bytes update = vectors::OrvexStaticUpdate();
    std::copy(mac.begin(), mac.end(), update.begin());
    std::copy(ip.begin(), ip.end(), update.begin() + 51);
    return update;
}

// A signed HWG command built from the device's answer, as the program builds it.
Bytes HwgMove(Devices& devices, size_t index, const Ip4& ip, bool factoryDefault = false) {
    Device& device = devices.Sim().At(index);
    Bytes command = BuildHwgAnswer(device.config, device.setup);
    command.resize(48);
    std::copy(ip.begin(), ip.end(), command.begin() + 6);
    if (factoryDefault) command[28] |= 0x20;
    HwgSign(command.data());
    return command;
}

std::set<size_t> Answering(const std::vector<Send>& out) {
    std::set<size_t> devices;
    for (const Send& send : out) devices.insert(send.device);
    return devices;
}

}  // namespace

TEST(SharedAddress, BroadcastReachesAllUnicastOnlyTheFirstListed) {
    Devices devices(SharedFleet());
    const Bytes info = vectors::OrvexInfoRequest();
    auto out = devices.Orvex(info, kAll);
    EXPECT_EQ(Answering(out), (std::set<size_t>{0, 2, 3, 5}));
    for (const Send& send : out)
        EXPECT_EQ(send.source, send.device == 5 ? Ip4({10, 77, 1, 4}) : kFactory) << "each answers from its address";
    EXPECT_EQ(Answering(devices.Hwg(HwgInfoRequest(), kAll)), (std::set<size_t>{1, 4}));

    // A datagram to the shared address reaches the first device listed there, whatever its port.
    EXPECT_EQ(Answering(devices.Orvex(info, kFactory)), (std::set<size_t>{0}));
    EXPECT_TRUE(devices.Hwg(HwgInfoRequest(), kFactory).empty()) << "the first device there is no HWG device";
    EXPECT_EQ(devices.Sim().DeviceAt(kFactory), 0) << "its web server";

    // A command for another device there: by broadcast only.
    const Bytes restart = vectors::OrvexAction(OrvexMac(3).data(), 1);
    EXPECT_TRUE(devices.Orvex(restart, kFactory).empty());
    out = devices.Orvex(restart, kAll);
    ASSERT_EQ(Answering(out), (std::set<size_t>{3}));
    EXPECT_EQ(out[0].data[9], 0);
}

TEST(SharedAddress, FortyDevicesOfBothFamiliesAndTheirRefusals) {
    std::string fleet = "[";
    for (int i = 1; i <= 40; ++i)
        fleet += (i > 1 ? "," : "") + Entry(i % 3 ? "Orvex" : "HWG", i, "10.77.200.1", R"(, "shared_address": true)");
    Devices devices(fleet + "]");
    EXPECT_EQ(devices.Orvex(vectors::OrvexInfoRequest(), kAll).size(), 27u);
    EXPECT_EQ(devices.Hwg(HwgInfoRequest(), kAll).size(), 13u);

    // Sharing needs every device there to say so; other addresses stay distinct.
    const std::string plain = Entry("Orvex", 1, "10.77.200.1"), shared = Entry("Orvex", 2, "10.77.200.1", kShared);
    for (const std::string& pair : {plain + "," + Entry("Orvex", 2, "10.77.200.1"), plain + "," + shared,
                                    shared + "," + Entry("Orvex", 3, "10.77.200.1")}) {
        const FleetResult result = ParseFleet("[" + pair + "]");
        EXPECT_NE(result.error.find("address 10.77.200.1 is used twice"), std::string::npos) << result.error;
        EXPECT_NE(result.error.find("shared_address"), std::string::npos) << "the message names the key";
    }
    EXPECT_EQ(ParseFleet("[" + shared + "," + Entry("Orvex", 3, "10.77.200.1", kShared) + "]").error, "");
}

TEST(FollowIp, AfterTheRestartTheDeviceIsAtItsNewAddressAndAFactoryResetBringsItBack) {
    Devices devices(SharedFleet());
    const Bytes info = vectors::OrvexInfoRequest();
    const Ip4 moved{10, 77, 10, 1};

    // The first device at the shared address moves: its answer still leaves from the old one.
    auto out = devices.Orvex(OrvexUpdate(OrvexMac(1), moved), kAll);
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].source, kFactory);
    EXPECT_EQ(out[0].data[9], 0);
    EXPECT_EQ(devices.Sim().DeviceAt(moved), 0) << "restart over";
    out = devices.Orvex(info, moved);
    ASSERT_EQ(Answering(out), (std::set<size_t>{0}));
    EXPECT_EQ(out[0].source, moved);
    // The old address now leads to the next device listed there, an HWG device.
    EXPECT_TRUE(devices.Orvex(info, kFactory).empty());
    EXPECT_EQ(Answering(devices.Hwg(HwgInfoRequest(), kFactory)), (std::set<size_t>{1}));
    EXPECT_EQ(devices.Sim().DeviceAt(kFactory), 1);

    // That one moves too (an HWG command always restarts the device); then the next.
    const Ip4 away{192, 168, 77, 20};
    EXPECT_TRUE(devices.Hwg(HwgMove(devices, 1, away), kAll).empty());
    out = devices.Hwg(HwgInfoRequest(), away);
    ASSERT_EQ(Answering(out), (std::set<size_t>{1}));
    EXPECT_EQ(out[0].source, away);
    EXPECT_EQ(Answering(devices.Orvex(info, kFactory)), (std::set<size_t>{2}));
    EXPECT_EQ(devices.Sim().DeviceAt(kFactory), 2);

    // Factory defaults: both back where they came from; the first listed answers there again.
    devices.Orvex(vectors::OrvexAction(OrvexMac(1).data(), 2), moved);
    devices.Hwg(HwgMove(devices, 1, away, true), away);
    EXPECT_TRUE(devices.Orvex(info, moved).empty());
    EXPECT_EQ(Answering(devices.Orvex(info, kFactory)), (std::set<size_t>{0}));
    EXPECT_EQ(devices.Sim().DeviceAt(away), -1);
    EXPECT_EQ(Answering(devices.Hwg(HwgInfoRequest(), kAll)), (std::set<size_t>{1, 4}));
    for (const Send& send : devices.Hwg(HwgInfoRequest(), kAll)) EXPECT_EQ(send.source, kFactory);

    // Every move is a state event with both addresses.
    std::vector<std::pair<std::string, std::string>> moves;
    for (const auto& e : devices.EventLines())
        if (e["event"] == "state" && e["cause"] == "moved") {
            moves.emplace_back(e["old_address"].get<std::string>(), e["new_address"].get<std::string>());
            EXPECT_EQ(e["setup"]["ip"], e["new_address"]);
        }
    EXPECT_EQ(moves, (std::vector<std::pair<std::string, std::string>>{{"10.77.200.1", "10.77.10.1"},
                                                                       {"10.77.200.1", "192.168.77.20"},
                                                                       {"10.77.10.1", "10.77.200.1"},
                                                                       {"192.168.77.20", "10.77.200.1"}}));
}

TEST(FollowIp, OnlyWhenAskedAndOnlyOnceTheRestartIsOver) {
    Devices devices("[" + Entry("Orvex", 1, "10.77.1.1", R"(, "follow_ip": true, "restart_ms": 60000)") + "," +
                    Entry("Orvex", 2, "10.77.1.2", R"(, "restart_ms": 0)") + "]");
    const Ip4 moved{10, 77, 10, 1};
    devices.Orvex(OrvexUpdate(OrvexMac(1), moved), kAll);
    EXPECT_EQ(devices.Sim().DeviceAt(moved), -1) << "still restarting";
    EXPECT_EQ(devices.Sim().DeviceAt({10, 77, 1, 1}), 0);
    devices.Sim().Tick(Clock::now() + std::chrono::seconds(61));
    EXPECT_EQ(devices.Sim().DeviceAt(moved), 0);

    // Without follow_ip the device reports the new address but stays at its lab address.
    devices.Orvex(OrvexUpdate(OrvexMac(2), {10, 77, 10, 2}), kAll);
    EXPECT_EQ(devices.Sim().DeviceAt({10, 77, 10, 2}), -1);
    const auto out = devices.Orvex(vectors::OrvexInfoRequest(), {10, 77, 1, 2});
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ((Ip4{out[0].data[51], out[0].data[52], out[0].data[53], out[0].data[54]}), (Ip4{10, 77, 10, 2}));

    // An address no device can have (the PC's) leaves a moving device where it was.
    Devices pc("[" + Entry("Orvex", 1, "10.77.1.1", R"(, "follow_ip": true, "restart_ms": 0)") + "]");
    pc.Orvex(OrvexUpdate(OrvexMac(1), {10, 77, 0, 1}), kAll);
    EXPECT_EQ(pc.Sim().DeviceAt({10, 77, 1, 1}), 0);
    EXPECT_EQ(pc.Sim().DeviceAt({10, 77, 0, 1}), -1);

    EXPECT_NE(ParseFleet("[" + Entry("Orvex", 1, "10.77.1.1", R"(, "follow_ip": true, "address": "10.77.1.9")") + "]")
                  .error.find("follow_ip"),
              std::string::npos)
        << "a separate lab address would be left behind";
}

TEST(RefuseCommands, OrvexAnswersEveryCommandWithTheCodeAndDiscoveryNormally) {
    Devices devices("[" + Entry("Orvex", 1, "10.77.201.1", R"(, "type": 3, "refuse_commands": 3, "restart_ms": 0)") +
                    "]");
    const Bytes info = vectors::OrvexInfoRequest();
    const Bytes before = devices.Orvex(info, kAll).at(0).data;
    EXPECT_EQ(before[9], 0) << "info answers carry no error";
    EXPECT_EQ(before[95], 3) << "and the type code";
    for (const Bytes& command :
         {OrvexUpdate(OrvexMac(1), {10, 77, 10, 1}), vectors::OrvexAction(OrvexMac(1).data(), 1),
          vectors::OrvexAction(OrvexMac(1).data(), 2), vectors::OrvexDhcpUpdate("New", 0, OrvexMac(1).data())}) {
        const auto out = devices.Orvex(command, kAll);
        ASSERT_EQ(out.size(), 1u);
        EXPECT_EQ(out[0].data.size(), command.size());
        EXPECT_EQ(out[0].data[9], 3);
        EXPECT_EQ(devices.Orvex(info, kAll).at(0).data, before) << "nothing changed, no restart";
    }
    for (const auto& e : devices.EventLines()) {
        EXPECT_NE(e["event"], "state");
        EXPECT_NE(e["event"], "restart");
        if (e["event"] == "request" && e["kind"] != "info") {
            EXPECT_EQ(e["outcome"], "refused");
        }
    }
    // The key is checked.
    EXPECT_NE(ParseFleet("[" + Entry("Orvex", 1, "10.77.1.1", R"(, "refuse_commands": 0)") + "]").error, "");
    EXPECT_NE(ParseFleet("[" + Entry("Orvex", 1, "10.77.1.1", R"(, "refuse_commands": 256)") + "]").error, "");
}

TEST(RefuseCommands, HwgAndIgnoringDevicesCarryOutNothingSilently) {
    Devices devices("[" + Entry("HWG", 1, "10.77.201.1", R"(, "refuse_commands": 3, "restart_ms": 0)") + "," +
                    Entry("Orvex", 2, "10.77.201.2", R"(, "faults": {"ignore_commands": true}, "restart_ms": 0)") +
                    "," + Entry("HWG", 3, "10.77.201.3", R"(, "faults": {"ignore_commands": true}, "restart_ms": 0)") +
                    "]");
    const Bytes hwgBefore0 = devices.Hwg(HwgInfoRequest(), {10, 77, 201, 1}).at(0).data;
    const Bytes hwgBefore2 = devices.Hwg(HwgInfoRequest(), {10, 77, 201, 3}).at(0).data;
    for (size_t index : {0, 2}) {
        EXPECT_TRUE(devices.Hwg(HwgMove(devices, index, {10, 77, 10, 1}), kAll).empty());
        EXPECT_TRUE(devices.Hwg(HwgMove(devices, index, {10, 77, 10, 1}, true), kAll).empty());
    }
    EXPECT_EQ(devices.Hwg(HwgInfoRequest(), {10, 77, 201, 1}).at(0).data, hwgBefore0);
    EXPECT_EQ(devices.Hwg(HwgInfoRequest(), {10, 77, 201, 3}).at(0).data, hwgBefore2);

    // The Orvex device that ignores commands: discovery as usual, no answer to any command, not
    // even an error for a broken one.
    const Bytes info = vectors::OrvexInfoRequest();
    const auto answered = devices.Orvex(info, kAll);
    ASSERT_EQ(answered.size(), 1u);
    EXPECT_EQ(answered[0].data[9], 0);
    Bytes broken = vectors::OrvexAction(OrvexMac(2).data(), 1);
    broken[8] = 9;  // the length field disagrees
    for (const Bytes& command :
         {OrvexUpdate(OrvexMac(2), {10, 77, 10, 2}), vectors::OrvexAction(OrvexMac(2).data(), 2), broken})
        EXPECT_TRUE(devices.Orvex(command, kAll).empty());
    EXPECT_EQ(devices.Orvex(info, kAll).at(0).data, answered[0].data);

    std::multiset<std::string> outcomes;
    for (const auto& e : devices.EventLines()) {
        EXPECT_NE(e["event"], "state");
        if (e["event"] == "request" && e["kind"] != "info") outcomes.insert(e["outcome"].get<std::string>());
    }
    EXPECT_EQ(outcomes, (std::multiset<std::string>{"refused: refuse_commands", "refused: refuse_commands", "ignored",
                                                    "ignored", "ignored", "ignored"}));
}

TEST(PlanFleet, FortyDevicesOnTheFactoryAddressAndTheOddOnes) {
    const FleetResult fleet = LoadFleetFile(PYXET_SOURCE_DIR "/tests/lab/plan_fleet.json");
    ASSERT_EQ(fleet.error, "");
    int orvex = 0, hwg = 0, hwgBare = 0;
    std::set<int> orvexTypes, hwgTypes;
    for (const DeviceConfig& d : fleet.devices) {
        if (d.address != kFactory) continue;
        EXPECT_TRUE(d.shared_address && d.follow_ip);
        EXPECT_EQ(d.restart_ms, 1000);
        const bool isHwg = d.family == Family::Hwg;
        const int number = isHwg ? ++hwg : ++orvex;
        EXPECT_EQ(d.mac, (Mac{0x02, uint8_t(isHwg ? 0x51 : 0x50), 0, 0, 0, uint8_t(number)}));
        (isHwg ? hwgTypes : orvexTypes).insert(d.type);
        if (isHwg && d.setup.dhcp < 0 && std::find(d.items.begin(), d.items.end(), HwgItem::Name) == d.items.end())
            ++hwgBare;
    }
    EXPECT_EQ(orvex, 24);
    EXPECT_EQ(hwg, 16);
    EXPECT_GE(hwgBare, 2) << "HWG devices without DHCP setting and name";
    EXPECT_GE(orvexTypes.size(), 4u);
    EXPECT_GE(hwgTypes.size(), 4u);
    std::map<std::string, const DeviceConfig*> others;
    for (const DeviceConfig& d : fleet.devices) others[IpText(d.address)] = &d;
    ASSERT_TRUE(others.count("10.77.201.1") && others.count("10.77.201.2"));
    EXPECT_EQ(others["10.77.201.1"]->refuse_commands, 3);
    EXPECT_TRUE(others["10.77.201.2"]->faults.ignore_commands);
    for (const char* ordinary : {"10.77.0.10", "10.77.0.11", "10.77.0.12"}) EXPECT_TRUE(others.count(ordinary));

    // The new keys survive the file format.
    const FleetResult reread = ParseFleet(FleetToJson(fleet.devices));
    ASSERT_EQ(reread.error, "");
    for (size_t i = 0; i < fleet.devices.size(); ++i) {
        EXPECT_EQ(reread.devices[i].shared_address, fleet.devices[i].shared_address);
        EXPECT_EQ(reread.devices[i].follow_ip, fleet.devices[i].follow_ip);
        EXPECT_EQ(reread.devices[i].refuse_commands, fleet.devices[i].refuse_commands);
        EXPECT_EQ(reread.devices[i].faults.ignore_commands, fleet.devices[i].faults.ignore_commands);
    }
}

TEST(Vanish, ParsedWithinItsRangeAndWrittenBack) {
    const FleetResult parsed = ParseFleet(
        "[" + Entry("Orvex", 1, "10.77.1.1", R"(, "http": {"vanish_after": 65536, "vanish_ms": 1000})") + "," +
        Entry("Orvex", 2, "10.77.1.2", R"(, "http": {"vanish_after": 67108864})") + "," + Entry("Orvex", 3, "10.77.1.3") +
        "]");
    ASSERT_EQ(parsed.error, "");
    EXPECT_EQ(parsed.devices[0].http.vanish_after, 65536);
    EXPECT_EQ(parsed.devices[0].http.vanish_ms, 1000);
    EXPECT_EQ(parsed.devices[1].http.vanish_after, 67108864);
    EXPECT_EQ(parsed.devices[1].http.vanish_ms, 0);
    EXPECT_EQ(parsed.devices[2].http.vanish_after, 0);  // it stays
    const FleetResult reread = ParseFleet(FleetToJson(parsed.devices));
    ASSERT_EQ(reread.error, "");
    for (size_t i = 0; i < parsed.devices.size(); ++i) {
        EXPECT_EQ(reread.devices[i].http.vanish_after, parsed.devices[i].http.vanish_after);
        EXPECT_EQ(reread.devices[i].http.vanish_ms, parsed.devices[i].http.vanish_ms);
    }
    for (const char* bad : {R"(, "http": {"vanish_after": 0})", R"(, "http": {"vanish_after": 67108865})",
                            R"(, "http": {"vanish_after": "65536"})", R"(, "http": {"vanish_ms": 1000})",
                            R"(, "http": {"vanish_after": 1, "vanish_ms": 86400001})"}) {
        const FleetResult refused = ParseFleet("[" + Entry("Orvex", 1, "10.77.1.1", bad) + "]");
        EXPECT_NE(refused.error.find("vanish_"), std::string::npos) << bad << ": " << refused.error;
    }
}

TEST(ReceiveBuffer, ParsedWithinItsRangeAndWrittenBack) {
    const FleetResult parsed =
        ParseFleet("[" + Entry("Orvex", 1, "10.77.1.1", R"(, "http": {"slow_bps": 16000, "receive_buffer": 4096})") +
                   "," + Entry("Orvex", 2, "10.77.1.2") + "]");
    ASSERT_EQ(parsed.error, "");
    EXPECT_EQ(parsed.devices[0].http.receive_buffer, 4096);
    EXPECT_EQ(parsed.devices[1].http.receive_buffer, 0);  // the system's own
    const FleetResult reread = ParseFleet(FleetToJson(parsed.devices));
    ASSERT_EQ(reread.error, "");
    EXPECT_EQ(reread.devices[0].http.receive_buffer, 4096);
    EXPECT_EQ(reread.devices[1].http.receive_buffer, 0);
    for (const char* bad : {R"(, "http": {"receive_buffer": 100})", R"(, "http": {"receive_buffer": 0})",
                            R"(, "http": {"receive_buffer": "4096"})"}) {
        const FleetResult refused = ParseFleet("[" + Entry("Orvex", 1, "10.77.1.1", bad) + "]");
        EXPECT_NE(refused.error.find("receive_buffer"), std::string::npos) << bad << ": " << refused.error;
    }
}

TEST(StepAside, TheFirstImageMovesTheDeviceAsideAndItsHeirTakesItsAddress) {
    // Device 0 at 10.77.1.1 does not take images; device 1 took its own and now takes over.
    Devices devices("[" +
                    Entry("Orvex", 1, "10.77.1.1",
                          R"(, "firmware": "2.14.0", "restart_ms": 60000,
                              "step_aside": {"to": "10.77.9.1", "heir": "02:50:00:00:00:02"})") +
                    "," + Entry("Orvex", 2, "10.77.1.2", R"(, "firmware": "2.16.0", "restart_ms": 0)") + "]");
    const Ip4 home{10, 77, 1, 1}, aside{10, 77, 9, 1};
    devices.Sim().RefuseFirmware(0);
    EXPECT_EQ(devices.Sim().DeviceAt(home), 1) << "the heir at once";
    EXPECT_EQ(devices.Sim().DeviceAt({10, 77, 1, 2}), -1);
    EXPECT_EQ(devices.Sim().DeviceAt(aside), 0);
    const Bytes info = vectors::OrvexInfoRequest();
    // The heir answers at the old address with its own MAC and revision; the device is silent
    // while it restarts, then answers from aside with the revision it had.
    auto out = devices.Orvex(info, home);
    ASSERT_EQ(Answering(out), (std::set<size_t>{1}));
    EXPECT_EQ(out[0].source, home);
    EXPECT_TRUE(std::equal(out[0].data.begin(), out[0].data.begin() + 6, OrvexMac(2).begin()));
    EXPECT_TRUE(devices.Orvex(info, aside).empty()) << "restarting";
    devices.Sim().Tick(Clock::now() + std::chrono::seconds(61));
    out = devices.Orvex(info, aside);
    ASSERT_EQ(Answering(out), (std::set<size_t>{0}));
    EXPECT_EQ(out[0].source, aside);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&out[0].data[98]), 6), "2.14.0");
    EXPECT_EQ(devices.Sim().At(0).setup.ip, home) << "it still reports the address it was set to";

    // A second image: a restart again, but no further move.
    devices.Sim().RefuseFirmware(0);
    EXPECT_EQ(devices.Sim().DeviceAt(aside), 0);
    EXPECT_EQ(devices.Sim().DeviceAt(home), 1);
    std::vector<std::pair<std::string, std::string>> moves;
    int restarts = 0;
    for (const auto& e : devices.EventLines()) {
        if (e["event"] == "state" && e["cause"] == "moved")
            moves.emplace_back(e["device"].get<std::string>(), e["new_address"].get<std::string>());
        restarts += e["event"] == "restart" && e["cause"] == "firmware";
    }
    EXPECT_EQ(moves, (std::vector<std::pair<std::string, std::string>>{{"02:50:00:00:00:01", "10.77.9.1"},
                                                                       {"02:50:00:00:00:02", "10.77.1.1"}}));
    EXPECT_EQ(restarts, 2);
}

TEST(StepAside, ParsedCheckedAndWrittenBack) {
    const std::string heir = "," + Entry("Orvex", 2, "10.77.1.2");
    const FleetResult parsed = ParseFleet(
        "[" + Entry("Orvex", 1, "10.77.1.1", R"(, "step_aside": {"to": "10.77.9.1", "heir": "02-50-00-00-00-02"})") +
        heir + "]");
    ASSERT_EQ(parsed.error, "");
    ASSERT_TRUE(parsed.devices[0].step_aside.has_value());
    EXPECT_EQ(parsed.devices[0].step_aside->to, (Ip4{10, 77, 9, 1}));
    EXPECT_EQ(parsed.devices[0].step_aside->heir, OrvexMac(2));
    EXPECT_FALSE(parsed.devices[1].step_aside.has_value());
    const FleetResult reread = ParseFleet(FleetToJson(parsed.devices));
    ASSERT_EQ(reread.error, "");
    ASSERT_TRUE(reread.devices[0].step_aside.has_value());
    EXPECT_EQ(reread.devices[0].step_aside->to, (Ip4{10, 77, 9, 1}));
    EXPECT_EQ(reread.devices[0].step_aside->heir, OrvexMac(2));

    const struct {
        const char* Extra;
        const char* Named;  // the message names this
        const char* Why;
    } bad[] = {
        {R"(, "step_aside": "10.77.9.1")", "must be an object", "not an object"},
        {R"(, "step_aside": {"to": "10.77.9.1"})", "\"heir\" is missing", "no heir"},
        {R"(, "step_aside": {"heir": "02:50:00:00:00:02"})", "\"to\" is missing", "no address"},
        {R"(, "step_aside": {"to": "10.77.9.1", "heir": "02:50:00:00:00:02", "when": 1})", "unknown key", "a key more"},
        {R"(, "step_aside": {"to": "10.77.9", "heir": "02:50:00:00:00:02"})", "dotted IPv4", "a bad address"},
        {R"(, "step_aside": {"to": "10.77.0.254", "heir": "02:50:00:00:00:02"})", "cannot be", "the lab's address"},
        {R"(, "step_aside": {"to": "10.77.1.2", "heir": "02:50:00:00:00:02"})", "address of device 1",
         "another device's address"},
        {R"(, "step_aside": {"to": "10.77.9.1", "heir": "02:50:00:00:00:09"})", "no device has", "an unknown heir"},
        {R"(, "step_aside": {"to": "10.77.9.1", "heir": "02:50:00:00:00:01"})", "another device", "itself"},
        {R"(, "step_aside": {"to": "10.77.9.1", "heir": "02:50:00:00:00"})", "hexadecimal", "a bad MAC"},
        {R"(, "follow_ip": true, "step_aside": {"to": "10.77.9.1", "heir": "02:50:00:00:00:02"})", "follow_ip",
         "with follow_ip"},
    };
    for (const auto& b : bad) {
        const FleetResult refused = ParseFleet("[" + Entry("Orvex", 1, "10.77.1.1", b.Extra) + heir + "]");
        EXPECT_NE(refused.error.find(b.Named), std::string::npos) << b.Why << ": " << refused.error;
        EXPECT_NE(refused.error.find("device 0"), std::string::npos) << b.Why << ": " << refused.error;
    }
}

TEST(RolloutKeys, ParsedCheckedAndWrittenBack) {
    const FleetResult parsed = ParseFleet(
        "[" + Entry("Orvex", 1, "10.77.1.1", R"(, "away_ms": 40000)") + "," +
        Entry("HWG", 1, "10.77.1.2",
              R"(, "http": {"keep_revision": true, "upgrade_changes": {"community": "private", "location": "Sklad"}})") +
        "," + Entry("Orvex", 2, "10.77.1.3") + "]");
    ASSERT_EQ(parsed.error, "");
    const auto check = [](const std::vector<DeviceConfig>& devices) {
        EXPECT_EQ(devices[0].away_ms, 40000);
        EXPECT_EQ(devices[1].away_ms, 0);
        EXPECT_TRUE(devices[1].http.keep_revision);
        EXPECT_FALSE(devices[0].http.keep_revision);
        EXPECT_EQ(devices[1].http.upgrade_changes, (std::vector<std::pair<std::string, std::string>>{
                                                       {"community", "private"}, {"location", "Sklad"}}));
        EXPECT_TRUE(devices[2].http.upgrade_changes.empty());
    };
    check(parsed.devices);
    const FleetResult reread = ParseFleet(FleetToJson(parsed.devices));
    ASSERT_EQ(reread.error, "");
    check(reread.devices);

    const struct {
        const char* Extra;
        const char* Named;
    } bad[] = {
        {R"(, "away_ms": -1)", "\"away_ms\" must be"},
        {R"(, "away_ms": "40")", "\"away_ms\" must be a whole number"},
        {R"(, "away_ms": 1000, "shared_address": true)", "cannot share its address"},
        {R"(, "http": {"keep_revision": 1})", "\"keep_revision\" must be true or false"},
        {R"(, "http": {"keep_revision": true, "upload_fails": true})", "contradict"},
        {R"(, "http": {"upgrade_changes": ["community"]})", "\"upgrade_changes\" must be an object"},
        {R"(, "http": {"upgrade_changes": {}})", "\"upgrade_changes\" must be an object"},
        {R"(, "http": {"upgrade_changes": {"a b": "x"}})", "is no element name"},
        {R"(, "http": {"upgrade_changes": {"community": 1}})", "must be a text"},
    };
    for (const auto& b : bad) {
        const FleetResult refused = ParseFleet("[" + Entry("Orvex", 1, "10.77.1.1", b.Extra) + "]");
        EXPECT_NE(refused.error.find(b.Named), std::string::npos) << b.Extra << ": " << refused.error;
        EXPECT_NE(refused.error.find("device 0"), std::string::npos) << b.Extra << ": " << refused.error;
    }
    // The heir of a device that steps aside takes its address at once: it cannot be off then.
    const FleetResult heir = ParseFleet(
        "[" + Entry("Orvex", 1, "10.77.1.1", R"(, "step_aside": {"to": "10.77.9.1", "heir": "02:50:00:00:00:02"})") +
        "," + Entry("Orvex", 2, "10.77.1.2", R"(, "away_ms": 1000)") + "]");
    EXPECT_NE(heir.error.find("\"heir\" cannot be away"), std::string::npos) << heir.error;
}

TEST(Away, NoAnswerAndNoCommandUntilItsTimeThenAsUsual) {
    // Device 0 and the HWG device are off for a minute; device 1 was off for a millisecond.
    Devices devices("[" + Entry("Orvex", 1, "10.77.1.1", R"(, "away_ms": 60000, "restart_ms": 0)") + "," +
                    Entry("Orvex", 2, "10.77.1.2", R"(, "away_ms": 1, "restart_ms": 0)") + "," +
                    Entry("HWG", 1, "10.77.1.3", R"(, "away_ms": 60000, "restart_ms": 0)") + "]");
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    const Bytes info = vectors::OrvexInfoRequest();
    EXPECT_EQ(Answering(devices.Orvex(info, kAll)), (std::set<size_t>{1})) << "broadcast";
    EXPECT_TRUE(devices.Orvex(info, {10, 77, 1, 1}).empty()) << "asked at its address";
    EXPECT_TRUE(devices.Hwg(HwgInfoRequest(), kAll).empty());

    // Commands get no answer and change nothing; nor does a broken request with its MAC.
    const NetSetup before = devices.Sim().At(0).setup;
    EXPECT_TRUE(devices.Orvex(OrvexUpdate(OrvexMac(1), {10, 77, 10, 1}), kAll).empty());
    EXPECT_TRUE(devices.Orvex(vectors::OrvexAction(OrvexMac(1).data(), 2), kAll).empty());
    Bytes broken = vectors::OrvexAction(OrvexMac(1).data(), 1);
    broken.push_back(0);
    EXPECT_TRUE(devices.Orvex(broken, kAll).empty());
    EXPECT_EQ(devices.Sim().At(0).setup, before);
    EXPECT_FALSE(devices.Sim().At(0).restarting);
    const Ip4 hwgBefore = devices.Sim().At(2).setup.ip;
    EXPECT_TRUE(devices.Hwg(HwgMove(devices, 2, {10, 77, 10, 3}), kAll).empty());
    EXPECT_EQ(devices.Sim().At(2).setup.ip, hwgBefore);
    EXPECT_FALSE(devices.Sim().At(2).restarting);

    // The device whose time is over takes a command as usual.
    const auto out = devices.Orvex(vectors::OrvexAction(OrvexMac(2).data(), 1), kAll);
    ASSERT_EQ(Answering(out), (std::set<size_t>{1}));
    EXPECT_EQ(out[0].data[9], 0);

    std::map<std::string, int> away;
    for (const auto& e : devices.EventLines())
        if (e["event"] == "request" && e.value("outcome", "") == "away") ++away[e["device"].get<std::string>()];
    EXPECT_EQ(away, (std::map<std::string, int>{{"02:50:00:00:00:01", 4}, {"02:51:00:00:00:01", 2}}));
}

TEST(UpgradeChanges, ATakenImageChangesTheFileAndTheValuesItCarries) {
    Devices devices(
        "[" +
        Entry("Orvex", 1, "10.77.1.1",
              R"(, "name": "Kotelna", "restart_ms": 0,
                  "http": {"encoding": "windows-1250",
                           "upgrade_changes": {"community": "private", "location": "Sklad č. 3", "name": "Orvex device",
                                               "nothing": "x"}})") +
        "," + Entry("Orvex", 2, "10.77.1.2", R"(, "restart_ms": 0)") + "]");
    const std::string before = devices.Sim().ServeSetupXml(0);
    std::vector<std::string> changed;
    EXPECT_EQ(devices.Sim().AcceptFirmware(0, "PYXET-SIM-FIRMWARE 3.0.0\nimage", changed), "3.0.0");
    EXPECT_EQ(changed, (std::vector<std::string>{"community", "location", "name"})) << "an element it lacks is no change";
    const std::string after = devices.Sim().ServeSetupXml(0);
    // Only those elements differ, written in the file's own code page.
    std::string expected = before;
    const auto replace = [&expected](const std::string& from, const std::string& to) {
        const size_t at = expected.find(from);
        ASSERT_NE(at, std::string::npos) << from;
        expected.replace(at, from.size(), to);
    };
    replace("<community>public</community>", "<community>private</community>");
    replace("<name>Kotelna</name>", "<name>Orvex device</name>");
    const size_t location = expected.find("<location>");
    ASSERT_NE(location, std::string::npos);
    expected.replace(location, expected.find("</location>") - location, "<location>Sklad \xE8. 3");
    EXPECT_EQ(after, expected);
    EXPECT_EQ(devices.Sim().At(0).setup.name, "Orvex device") << "the name it now reports";
    EXPECT_EQ(devices.Sim().At(0).config.firmware, "3.0.0");
    bool upgradeState = false;
    for (const auto& e : devices.EventLines())
        upgradeState |= e["event"] == "state" && e["cause"] == "upgrade" && e["setup"]["name"] == "Orvex device";
    EXPECT_TRUE(upgradeState);

    // A second image finds nothing more to change; a device without the key changes nothing.
    changed.clear();
    devices.Sim().AcceptFirmware(0, "PYXET-SIM-FIRMWARE 3.0.1\n", changed);
    EXPECT_TRUE(changed.empty());
    EXPECT_EQ(devices.Sim().ServeSetupXml(0), after);
    const std::string plain = devices.Sim().ServeSetupXml(1);
    devices.Sim().AcceptFirmware(1, "PYXET-SIM-FIRMWARE 3.0.0\n", changed);
    EXPECT_TRUE(changed.empty());
    EXPECT_EQ(devices.Sim().ServeSetupXml(1), plain);
}
