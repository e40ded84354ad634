// The simulator on the lab network: the program's byte vectors go out as UDP broadcasts and the
// answers and the events file are checked. Runs inside scripts/lab.sh with tests/lab/sim_fleet.json
// (the LabFleet group runs with any fleet).
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <thread>

#include <nlohmann/json.hpp>

#include "fleet.h"
#include "packets.h"
#include "tea.h"
#include "vectors.h"

using namespace std::chrono_literals;
using nlohmann::json;
using vectors::Bytes;

namespace {

using Clock = std::chrono::steady_clock;

struct Datagram {
    std::string from;
    uint16_t port = 0;
    Bytes data;
    Clock::duration at{};  // after the send
};

// A socket like the program's: bound to 0.0.0.0 on an ephemeral port, broadcast allowed.
class Client {
public:
    Client() {
        fd_ = socket(AF_INET, SOCK_DGRAM, 0);
        const int on = 1, buffer = 4 << 20;
        setsockopt(fd_, SOL_SOCKET, SO_BROADCAST, &on, sizeof on);
        setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &buffer, sizeof buffer);
        sockaddr_in any{};
        any.sin_family = AF_INET;
        bind(fd_, reinterpret_cast<sockaddr*>(&any), sizeof any);
    }
    ~Client() { close(fd_); }

    void Send(const Bytes& data, uint16_t port, const char* to = "255.255.255.255") {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(port);
        inet_pton(AF_INET, to, &address.sin_addr);
        ASSERT_EQ(sendto(fd_, data.data(), data.size(), 0, reinterpret_cast<sockaddr*>(&address), sizeof address),
                  ssize_t(data.size()));
        sent_ = Clock::now();
    }

    // Every datagram arriving within the window (or until count have arrived).
    std::vector<Datagram> Collect(std::chrono::milliseconds window, size_t count = SIZE_MAX) {
        std::vector<Datagram> out;
        const auto end = Clock::now() + window;
        while (out.size() < count) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now()).count();
            if (left <= 0) break;
            pollfd pfd{fd_, POLLIN, 0};
            if (poll(&pfd, 1, int(left)) <= 0) continue;
            uint8_t buffer[4096];
            sockaddr_in from{};
            socklen_t length = sizeof from;
            const ssize_t n = recvfrom(fd_, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&from), &length);
            if (n < 0) continue;
            char text[INET_ADDRSTRLEN];
            inet_ntop(AF_INET, &from.sin_addr, text, sizeof text);
            out.push_back({text, ntohs(from.sin_port), Bytes(buffer, buffer + n), Clock::now() - sent_});
        }
        return out;
    }

    std::vector<Datagram> Ask(const Bytes& request, uint16_t port, std::chrono::milliseconds window) {
        Send(request, port);
        return Collect(window);
    }

private:
    int fd_ = -1;
    Clock::time_point sent_;
};

std::vector<Datagram> From(const std::vector<Datagram>& all, const std::string& address) {
    std::vector<Datagram> out;
    for (const Datagram& d : all)
        if (d.from == address) out.push_back(d);
    return out;
}

bool InTestFleet() {
    const char* fleet = std::getenv("PYXET_LAB_FLEET");
    return fleet && std::string(fleet).ends_with("tests/lab/sim_fleet.json");
}

// Elsewhere these tests fail rather than pass unseen: tests/lab/test_sim.sh runs them in that
// fleet, and runs only LabFleet.* in the others.
#define REQUIRE_TEST_FLEET() \
    ASSERT_TRUE(InTestFleet()) << "needs scripts/lab.sh --fleet tests/lab/sim_fleet.json"

// Waits up to two seconds for an event line that matches.
bool WaitForEvent(const std::function<bool(const json&)>& match) {
    const char* path = std::getenv("PYXET_LAB_EVENTS");
    if (!path) return false;
    for (int attempt = 0; attempt < 40; ++attempt) {
        std::ifstream file(path);
        std::string line;
        while (std::getline(file, line)) {
            const json event = json::parse(line, nullptr, false);
            if (!event.is_discarded() && match(event)) return true;
        }
        std::this_thread::sleep_for(50ms);
    }
    return false;
}

bool HasEvent(const std::string& device, const std::string& key, const std::string& value,
              const std::string& key2 = "", const std::string& value2 = "") {
    return WaitForEvent([&](const json& e) {
        return e.value("device", json()).is_string() && e["device"] == device && e.value(key, json()) == value &&
               (key2.empty() || e.value(key2, json()) == value2);
    });
}

std::string Ip(const Bytes& data, size_t at) {
    return std::to_string(data[at]) + "." + std::to_string(data[at + 1]) + "." + std::to_string(data[at + 2]) + "." +
           std::to_string(data[at + 3]);
}

std::string Text(const Bytes& data, size_t at, size_t size) {
    std::string text;
    for (size_t i = at; i < at + size && data[i] != 0; ++i) text += char(data[i]);
    return text;
}

// Asks with the info request until the device at address answers again after a restart.
std::optional<Datagram> AnswerAfterRestart(Client& client, const Bytes& request, uint16_t port,
                                           const std::string& address) {
    for (int attempt = 0; attempt < 30; ++attempt) {
        const auto mine = From(client.Ask(request, port, 100ms), address);
        if (!mine.empty()) return mine[0];
    }
    return std::nullopt;
}

// HWG answer items after the header: type -> value bytes (the last occurrence wins).
std::map<int, Bytes> HwgItems(const Bytes& answer) {
    std::map<int, Bytes> items;
    size_t pos = 48;
    while (pos < answer.size() && answer[pos] != 0xFF) {
        if (pos + 2 > answer.size() || pos + 2 + answer[pos + 1] > answer.size()) {
            ADD_FAILURE() << "item runs past the end at " << pos;
            break;
        }
        items[answer[pos]] = Bytes(answer.begin() + long(pos) + 2, answer.begin() + long(pos) + 2 + answer[pos + 1]);
        pos += 2 + answer[pos + 1];
    }
    return items;
}

constexpr uint16_t kOrvex = 57739, kHwg = 9999;

}  // namespace

// ---- Orvex ----

TEST(LabOrvex, InfoAnswerCarriesTheFleetValuesAtTheirOffsets) {
    REQUIRE_TEST_FLEET();
    Client client;
    const Bytes request = vectors::OrvexInfoRequest();
    const auto answers = client.Ask(request, kOrvex, 700ms);

    const auto hall = From(answers, "10.77.1.20");
    ASSERT_EQ(hall.size(), 1u);
    EXPECT_EQ(hall[0].port, kOrvex);
    const Bytes& a = hall[0].data;
    ASSERT_EQ(a.size(), 114u);
    EXPECT_EQ(Bytes(a.begin(), a.begin() + 6), Bytes(vectors::kHall, vectors::kHall + 6));
    EXPECT_EQ(a[9], 0) << "error code";
    EXPECT_EQ(Text(a, 16, 33), "Hall sensor");
    EXPECT_EQ(Ip(a, 51), "10.77.1.20");
    EXPECT_EQ(Ip(a, 57), "255.255.0.0");
    EXPECT_EQ(Ip(a, 63), "10.77.0.254");
    EXPECT_EQ(Ip(a, 69), "10.77.0.253");
    EXPECT_EQ(Ip(a, 75), "9.9.9.9");
    EXPECT_EQ(a[81], 0) << "DHCP off";
    EXPECT_EQ(a[84], 0x50);
    EXPECT_EQ(a[85], 0x00) << "HTTP port 80, little-endian";
    EXPECT_EQ(a[88], 0x13);
    EXPECT_EQ(a[89], 0x09) << "Telnet port 2323, little-endian";
    EXPECT_EQ(a[95], 3) << "type code";
    EXPECT_EQ(Text(a, 98, 16), "2.14.0");
    // Everything the answer does not fill is the request's layout.
    for (size_t i : {6, 7, 8, 11, 12, 13, 14, 15, 49, 50, 55, 56, 61, 62, 67, 68, 73, 74, 79, 80, 82, 83, 86, 87, 90,
                     91, 92, 93, 94, 96, 97})
        EXPECT_EQ(a[i], request[i]) << "offset " << i;

    // Faults, one device each.
    const auto broken = From(answers, "10.77.1.21");
    ASSERT_EQ(broken.size(), 1u);
    EXPECT_EQ(broken[0].data[9], 3) << "configured error code";
    EXPECT_TRUE(From(answers, "10.77.1.22").empty()) << "silent device";
    EXPECT_EQ(From(answers, "10.77.1.23").size(), 2u) << "device that answers twice";
    const auto late = From(answers, "10.77.1.24");
    ASSERT_EQ(late.size(), 1u);
    EXPECT_GE(late[0].at, 390ms) << "late device";
    const auto big = From(answers, "10.77.1.25");
    ASSERT_EQ(big.size(), 1u);
    EXPECT_GT(big[0].data.size(), 114u) << "oversized answer";
    // HWG devices do not hear the Orvex port.
    EXPECT_TRUE(From(answers, "10.77.2.20").empty());

    EXPECT_TRUE(HasEvent("00:0A:14:1E:28:32", "kind", "info", "outcome", "answered"));
    EXPECT_TRUE(HasEvent("00:0A:14:1E:28:41", "kind", "info", "outcome", "silent"));
}

TEST(LabOrvex, UpdateRestartAndFactoryDefault) {
    REQUIRE_TEST_FLEET();
    Client client;
    const Bytes info = vectors::OrvexInfoRequest();

    // The static update with action 1: answered in its own layout, then stored and restarted.
    const Bytes update = vectors::OrvexStaticUpdate();
    auto answers = From(client.Ask(update, kOrvex, 200ms), "10.77.1.20");
    ASSERT_EQ(answers.size(), 1u);
    Bytes expected = update;
    EXPECT_EQ(answers[0].data, expected) << "same layout and size, error code 0";
    EXPECT_TRUE(From(client.Ask(info, kOrvex, 120ms), "10.77.1.20").empty()) << "silent while restarting";
    auto after = AnswerAfterRestart(client, info, kOrvex, "10.77.1.20");
    ASSERT_TRUE(after);
    EXPECT_EQ(Text(after->data, 16, 33), "Hall");
    EXPECT_EQ(Ip(after->data, 51), "192.168.1.20");
    EXPECT_EQ(Ip(after->data, 57), "255.255.255.0");
    EXPECT_EQ(Ip(after->data, 63), "192.168.1.1");
    EXPECT_EQ(Ip(after->data, 69), "192.168.1.1");
    EXPECT_EQ(Ip(after->data, 75), "0.0.0.0");
    EXPECT_EQ(after->data[88], 23);
    EXPECT_EQ(after->from, "10.77.1.20") << "the device keeps answering from its lab address";
    EXPECT_TRUE(HasEvent("00:0A:14:1E:28:32", "event", "state", "cause", "update"));
    EXPECT_TRUE(HasEvent("00:0A:14:1E:28:32", "event", "restarted"));

    // The factory-default request resets the device and is answered with error code 0.
    const Bytes reset = vectors::OrvexFactoryDefault();
    answers = From(client.Ask(reset, kOrvex, 200ms), "10.77.1.20");
    ASSERT_EQ(answers.size(), 1u);
    EXPECT_EQ(answers[0].data, reset);
    EXPECT_TRUE(HasEvent("00:0A:14:1E:28:32", "event", "state", "cause", "factory_default"));
    after = AnswerAfterRestart(client, info, kOrvex, "10.77.1.20");
    ASSERT_TRUE(after);
    EXPECT_EQ(Text(after->data, 16, 33), "Hall sensor");
    EXPECT_EQ(Ip(after->data, 51), "10.77.1.20");
    EXPECT_EQ(after->data[88], 0x13);
}

TEST(LabOrvex, DhcpUpdateWithoutRestartKeepsTheAddresses) {
    REQUIRE_TEST_FLEET();
    Client client;
    const uint8_t locked[6] = {0x00, 0x0A, 0x14, 0x1E, 0x28, 0x45};
    const Bytes update = vectors::OrvexDhcpUpdate("Renamed", 0, locked);
    const auto answers = From(client.Ask(update, kOrvex, 200ms), "10.77.1.26");
    ASSERT_EQ(answers.size(), 1u);
    EXPECT_EQ(answers[0].data.size(), 65u);
    EXPECT_EQ(answers[0].data[9], 0);
    // Action 0: no restart, the next info answer shows the change at once.
    const auto now = From(client.Ask(vectors::OrvexInfoRequest(), kOrvex, 200ms), "10.77.1.26");
    ASSERT_EQ(now.size(), 1u);
    EXPECT_EQ(Text(now[0].data, 16, 33), "Renamed");
    EXPECT_EQ(now[0].data[81], 1);
    EXPECT_EQ(Ip(now[0].data, 51), "10.77.1.26") << "the DHCP form carries no addresses";
}

TEST(LabOrvex, CommandsReachOnlyTheirTarget) {
    REQUIRE_TEST_FLEET();
    Client client;
    const uint8_t nobody[6] = {0x00, 0x0A, 0x14, 0x1E, 0x28, 0x99};
    const uint8_t all[6] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
    const uint8_t broken[6] = {0x00, 0x0A, 0x14, 0x1E, 0x28, 0x40};
    EXPECT_TRUE(client.Ask(vectors::OrvexAction(nobody, 2), kOrvex, 150ms).empty()) << "unknown MAC";
    EXPECT_TRUE(client.Ask(vectors::OrvexAction(all, 2), kOrvex, 150ms).empty()) << "a command to all devices";
    EXPECT_TRUE(WaitForEvent([](const json& e) { return e["event"] == "unmatched" && e["target"] == "00:0A:14:1E:28:99"; }));

    // A device with an error code answers with it and does nothing.
    const auto refused = From(client.Ask(vectors::OrvexAction(broken, 2), kOrvex, 150ms), "10.77.1.21");
    ASSERT_EQ(refused.size(), 1u);
    EXPECT_EQ(refused[0].data[9], 3);
    EXPECT_TRUE(HasEvent("00:0A:14:1E:28:40", "kind", "factory_default", "outcome", "refused"));
}

TEST(LabOrvex, MalformedDatagramsAreRefusedAndNothingBreaks) {
    REQUIRE_TEST_FLEET();
    Client client;
    const Bytes reset = vectors::OrvexFactoryDefault();
    auto with = [&](size_t at, std::initializer_list<uint8_t> bytes) {
        Bytes b = reset;
        std::copy(bytes.begin(), bytes.end(), b.begin() + long(at));
        return b;
    };
    Bytes truncatedInfo = vectors::OrvexInfoRequest();
    truncatedInfo.resize(100);
    const struct {
        Bytes bytes;
        int errorFromHall;  // -1: no answer at all
        const char* why;
    } cases[] = {
        {{}, -1, "empty datagram"},
        {Bytes(reset.begin(), reset.begin() + 5), -1, "five bytes"},
        {truncatedInfo, -1, "cut info request to all devices"},
        {Bytes(3000, 0xFF), -1, "3000 bytes"},
        {with(7, {0x00, 0x06}), 1, "length field off by one"},
        {with(6, {0x02}), 1, "header type 2"},
        {with(11, {0x09}), 1, "unknown item"},
        {with(12, {0x00, 0x03}), 1, "action item runs past the end"},
        {with(14, {0x07}), 2, "unknown action code"},
    };
    for (const auto& c : cases) {
        const auto answers = client.Ask(c.bytes, kOrvex, 120ms);
        if (c.errorFromHall < 0) {
            EXPECT_TRUE(answers.empty()) << c.why;
            continue;
        }
        ASSERT_EQ(answers.size(), 1u) << c.why;
        EXPECT_EQ(answers[0].from, "10.77.1.20") << c.why;
        EXPECT_EQ(answers[0].data.size(), c.bytes.size()) << c.why;
        EXPECT_EQ(answers[0].data[9], c.errorFromHall) << c.why;
    }
    // Still serving, and the unknown action did not reset the device.
    const auto hall = From(client.Ask(vectors::OrvexInfoRequest(), kOrvex, 200ms), "10.77.1.20");
    ASSERT_EQ(hall.size(), 1u);
    EXPECT_TRUE(WaitForEvent([](const json& e) { return e["event"] == "malformed" && e["size"] == 3000; }));
}

// ---- HWG ----

TEST(LabHwg, AnswersAreSignedAndCarryTheFleetValues) {
    REQUIRE_TEST_FLEET();
    Client client;
    const auto answers = client.Ask(vectors::HwgInfoRequest(), kHwg, 300ms);

    const auto lab = From(answers, "10.77.2.20");
    ASSERT_EQ(lab.size(), 1u);
    EXPECT_EQ(lab[0].port, kHwg);
    const Bytes& a = lab[0].data;
    ASSERT_GE(a.size(), 48u);
    ASSERT_LE(a.size(), 110u);
    EXPECT_TRUE(sim::HwgVerify(a.data(), a.size())) << "signed with the shared key";
    EXPECT_EQ(Bytes(a.begin(), a.begin() + 6), (Bytes{0x00, 0x0A, 0x59, 0x00, 0x20, 0x01}));
    EXPECT_EQ(Ip(a, 6), "10.77.2.20");
    EXPECT_EQ(Ip(a, 10), "255.255.0.0");
    EXPECT_EQ(a[22], 0x35) << "revision 2.3.5: second and third number";
    EXPECT_EQ(a[23], (3 << 3) | 2) << "type 3, first revision number 2";
    EXPECT_EQ(Ip(a, 24), "10.77.0.254");
    EXPECT_EQ(a[28] & 0x18, 0x08) << "DHCP setting present, off";
    EXPECT_EQ(a[30], 0x00);
    EXPECT_EQ(a[31], 0x50) << "HTTP port 80, big-endian";
    EXPECT_EQ(a.back(), 0xFF);
    auto items = HwgItems(a);
    EXPECT_EQ(items[1], Bytes{1});
    EXPECT_EQ(items[2], (Bytes{'P', 'o', 's', 'e', 'i', 'd', 'o', 'n', ' ', 'l', 'a', 'b', 0}));
    EXPECT_EQ(items[4], Bytes{3});
    EXPECT_EQ(items[5], (Bytes{0x00, 0x50}));
    EXPECT_EQ(items[6], (Bytes{0x00, 0x17}));

    const auto forged = From(answers, "10.77.2.21");
    ASSERT_EQ(forged.size(), 1u);
    EXPECT_FALSE(sim::HwgVerify(forged[0].data.data(), forged[0].data.size())) << "corrupt MAC";
    const auto liar = From(answers, "10.77.2.22");
    ASSERT_EQ(liar.size(), 1u);
    items = HwgItems(liar[0].data);
    ASSERT_EQ(items[4].size(), 1u);
    EXPECT_LT(items[4][0], 31);
    EXPECT_NE(items[4][0], liar[0].data[23] >> 3) << "type item contradicts the header";
    const auto chatty = From(answers, "10.77.2.23");
    ASSERT_EQ(chatty.size(), 1u);
    EXPECT_GT(chatty[0].data.size(), 110u);
    const auto noDhcp = From(answers, "10.77.2.24");
    ASSERT_EQ(noDhcp.size(), 1u);
    EXPECT_EQ(noDhcp[0].data[28] & 0x08, 0) << "no DHCP setting";
    EXPECT_EQ(HwgItems(noDhcp[0].data).count(5), 0u) << "no HTTP port item";
    const auto p2 = From(answers, "10.77.2.25");
    ASSERT_EQ(p2.size(), 1u);
    EXPECT_EQ(HwgItems(p2[0].data)[4], Bytes{65});
    EXPECT_EQ(p2[0].data[23] >> 3, 31) << "header type of a type above 31";
    EXPECT_TRUE(From(answers, "10.77.1.20").empty()) << "Orvex devices do not hear the HWG port";

    EXPECT_TRUE(client.Ask(vectors::HwgInfoRequest("OTHER VENDOR!"), kHwg, 150ms).empty())
        << "only the exact request is answered";
}

TEST(LabHwg, SignedCommandIsTakenAndAFlippedBitIsIgnored) {
    REQUIRE_TEST_FLEET();
    Client client;
    const Bytes info = vectors::HwgInfoRequest();
    const auto first = From(client.Ask(info, kHwg, 200ms), "10.77.2.20");
    ASSERT_EQ(first.size(), 1u);
    Bytes command(first[0].data.begin(), first[0].data.begin() + 48);
    const uint8_t ip[4] = {10, 77, 9, 9}, mask[4] = {255, 255, 255, 0}, gateway[4] = {10, 77, 9, 1};
    std::copy(ip, ip + 4, command.begin() + 6);
    std::copy(mask, mask + 4, command.begin() + 10);
    std::copy(gateway, gateway + 4, command.begin() + 24);
    command[28] |= 0x10;
    command[30] = 0x1F;
    command[31] = 0x90;  // 8080
    sim::HwgSign(command.data());

    Bytes flipped = command;
    flipped[9] ^= 0x01;  // 10.77.9.8 under the MAC of 10.77.9.9
    EXPECT_TRUE(client.Ask(flipped, kHwg, 150ms).empty());
    EXPECT_TRUE(HasEvent("00:0A:59:00:20:01", "outcome", "ignored: bad MAC"));
    auto now = From(client.Ask(info, kHwg, 200ms), "10.77.2.20");
    ASSERT_EQ(now.size(), 1u) << "no restart after a refused command";
    EXPECT_EQ(now[0].data, first[0].data) << "nothing changed";

    EXPECT_TRUE(client.Ask(command, kHwg, 150ms).empty()) << "commands get no answer";
    EXPECT_TRUE(HasEvent("00:0A:59:00:20:01", "event", "state", "cause", "command"));
    EXPECT_TRUE(HasEvent("00:0A:59:00:20:01", "kind", "command", "outcome", "done"));
    EXPECT_TRUE(WaitForEvent([](const json& e) { return e.value("filler_intact", false); }))
        << "the bytes the program must echo came back";
    auto after = AnswerAfterRestart(client, info, kHwg, "10.77.2.20");
    ASSERT_TRUE(after);
    EXPECT_EQ(Ip(after->data, 6), "10.77.9.9");
    EXPECT_EQ(Ip(after->data, 10), "255.255.255.0");
    EXPECT_EQ(Ip(after->data, 24), "10.77.9.1");
    EXPECT_EQ(after->data[28] & 0x18, 0x18) << "DHCP on";
    EXPECT_EQ(after->data[30], 0x1F);
    EXPECT_EQ(after->data[31], 0x90);

    // Bit 5 of byte 28: back to the factory state.
    Bytes reset(after->data.begin(), after->data.begin() + 48);
    reset[28] |= 0x20;
    sim::HwgSign(reset.data());
    client.Send(reset, kHwg);
    EXPECT_TRUE(HasEvent("00:0A:59:00:20:01", "event", "state", "cause", "factory_default"));
    after = AnswerAfterRestart(client, info, kHwg, "10.77.2.20");
    ASSERT_TRUE(after);
    EXPECT_EQ(after->data, first[0].data);
}

TEST(LabHwg, FactoryDefaultRefusedWhereNotAllowed) {
    REQUIRE_TEST_FLEET();
    Client client;
    const auto door = From(client.Ask(vectors::HwgInfoRequest(), kHwg, 200ms), "10.77.2.26");
    ASSERT_EQ(door.size(), 1u);
    EXPECT_EQ(HwgItems(door[0].data)[1], Bytes{0}) << "the device says so in item 1";
    Bytes reset(door[0].data.begin(), door[0].data.begin() + 48);
    reset[28] |= 0x20;
    sim::HwgSign(reset.data());
    client.Send(reset, kHwg);
    EXPECT_TRUE(HasEvent("00:0A:59:00:20:07", "outcome", "refused: no factory default"));
    // Wrong sizes on the HWG port: ignored, device still answers.
    for (size_t size : {0, 1, 47, 49, 111, 2500}) client.Send(Bytes(size, 0xFF), kHwg);
    EXPECT_EQ(From(client.Ask(vectors::HwgInfoRequest(), kHwg, 200ms), "10.77.2.26").size(), 1u);
}

// ---- Any fleet ----

// Every device that has no fault answers a broadcast of its family exactly once, from its own
// address, with its own MAC. Used with the shipped fleet and with --orvex 1000 --hwg 1000 or 30000.
// A burst of tens of thousands of answers overflows the reader's receive buffer when the machine
// is busy, as it would on a real network; like the program, the check then broadcasts again (at
// most three times), and every device must have answered one of them, once.
TEST(LabFleet, EveryDeviceAnswersOnceFromItsOwnAddress) {
    const char* path = std::getenv("PYXET_LAB_FLEET");
    ASSERT_NE(path, nullptr) << "runs inside scripts/lab.sh";
    const sim::FleetResult fleet = sim::LoadFleetFile(path);
    ASSERT_EQ(fleet.error, "");
    std::map<std::string, std::string> expected[2];  // address -> MAC, per family
    std::set<std::string> faulty;
    for (const sim::DeviceConfig& d : fleet.devices) {
        const sim::Faults& f = d.faults;
        if (f.silent || f.twice || f.late_ms || f.oversized) faulty.insert(sim::IpText(d.address));
        else expected[d.family == sim::Family::Hwg][sim::IpText(d.address)] = sim::MacText(d.mac);
    }
    const Bytes requests[2] = {vectors::OrvexInfoRequest(), vectors::HwgInfoRequest()};
    const uint16_t ports[2] = {kOrvex, kHwg};
    for (int family = 0; family < 2; ++family) {
        const char* name = family ? "HWG" : "Orvex";
        std::set<std::string> answered;  // over every round
        for (int round = 1; round <= 3 && answered.size() < expected[family].size(); ++round) {
            Client client;
            client.Send(requests[family], ports[family]);
            std::vector<Datagram> answers;
            while (answers.size() < expected[family].size()) {
                const auto more = client.Collect(5s, 1);
                if (more.empty()) break;
                if (!faulty.count(more[0].from)) answers.push_back(more[0]);
            }
            // Nothing more from the fault-free devices shortly after.
            for (const Datagram& d : client.Collect(100ms))
                if (!faulty.count(d.from)) answers.push_back(d);
            std::map<std::string, int> seen;
            for (const Datagram& d : answers) {
                ++seen[d.from];
                const auto it = expected[family].find(d.from);
                ASSERT_NE(it, expected[family].end()) << "unexpected sender " << d.from;
                EXPECT_EQ(sim::MacText(sim::Mac{d.data[0], d.data[1], d.data[2], d.data[3], d.data[4], d.data[5]}),
                          it->second);
                EXPECT_EQ(d.port, ports[family]);
            }
            for (const auto& [address, count] : seen) {
                EXPECT_EQ(count, 1) << address << " in round " << round;
                answered.insert(address);
            }
            if (seen.size() < expected[family].size())
                std::printf("%s broadcast %d: %zu of %zu devices answered\n", name, round, seen.size(),
                            expected[family].size());
        }
        EXPECT_EQ(answered.size(), expected[family].size()) << name << " devices answering";
    }
}

// ---- tests/lab/plan_fleet.json: forty devices on one factory address that move when set up ----
// Runs inside scripts/lab.sh --fleet tests/lab/plan_fleet.json --local 10.77.0.0/16
// --local 192.168.77.0/24 (tests/lab/test_sim_plan.sh).

namespace {

#define REQUIRE_PLAN_FLEET()                                                                        \
    ASSERT_TRUE(std::getenv("PYXET_LAB_FLEET") &&                                                   \
                std::string(std::getenv("PYXET_LAB_FLEET")).ends_with("tests/lab/plan_fleet.json")) \
        << "needs scripts/lab.sh --fleet tests/lab/plan_fleet.json --local 10.77.0.0/16 --local 192.168.77.0/24"

const char* const kFactoryAddress = "10.77.200.1";

sim::Mac PlanMac(int family, int number) { return {0x02, uint8_t(0x50 + family), 0, 0, 0, uint8_t(number)}; }

std::string MacOf(const Bytes& answer) {
    return sim::MacText(sim::Mac{answer[0], answer[1], answer[2], answer[3], answer[4], answer[5]});
}

std::vector<Datagram> AskAt(Client& client, const Bytes& request, uint16_t port, const char* address,
                            std::chrono::milliseconds window) {
    client.Send(request, port, address);
    return client.Collect(window);
}

// Asks at the address until an answer from it comes, for at most ten seconds (a restart).
std::optional<Datagram> AnswerAt(Client& client, const Bytes& request, uint16_t port, const char* address) {
    for (int attempt = 0; attempt < 50; ++attempt) {
        const auto mine = From(AskAt(client, request, port, address, 200ms), address);
        if (!mine.empty()) return mine[0];
    }
    return std::nullopt;
}

// Sends `request` to port 80 of address and reads the whole answer: "" when no connection was
// made (`connectError` then holds the errno of the connect). With `cut`, only that many bytes of the
// request go out and the connection is closed at once, as by a client killed in the middle.
std::string HttpExchange(const char* address, const std::string& request, int* connectError = nullptr,
                         size_t cut = std::string::npos) {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    timeval timeout{5, 0};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(80);
    inet_pton(AF_INET, address, &to.sin_addr);
    std::string answer;
    if (connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to) == 0) {
        const size_t size = std::min(cut, request.size());
        if (send(fd, request.data(), size, MSG_NOSIGNAL) == ssize_t(size) && cut == std::string::npos) {
            char buffer[4096];
            ssize_t n;
            while ((n = recv(fd, buffer, sizeof buffer, 0)) > 0) answer.append(buffer, size_t(n));
        }
    } else if (connectError) {
        *connectError = errno;
    }
    close(fd);
    return answer;
}

// GET path from port 80 of address: the whole answer, or "" when no connection was made.
std::string HttpGet(const char* address, const char* path, int* connectError = nullptr) {
    return HttpExchange(address, std::string("GET ") + path + " HTTP/1.1\r\nHost: " + address + "\r\n\r\n",
                        connectError);
}

Bytes PlanOrvexUpdate(const sim::Mac& mac, const std::array<uint8_t, 4>& ip) {
    Bytes update = vectors::OrvexStaticUpdate();
    std::copy(mac.begin(), mac.end(), update.begin());
    std::copy(ip.begin(), ip.end(), update.begin() + 51);
    return update;
}

}  // namespace

TEST(LabPlan, FortyDevicesAnswerFromTheFactoryAddressAndOneOfThemOwnsIt) {
    REQUIRE_PLAN_FLEET();
    Client client;
    for (int family = 0; family < 2; ++family) {
        const auto answers = From(client.Ask(family ? vectors::HwgInfoRequest() : vectors::OrvexInfoRequest(),
                                             family ? kHwg : kOrvex, 1500ms),
                                  kFactoryAddress);
        std::set<std::string> macs;
        for (const Datagram& d : answers) {
            macs.insert(MacOf(d.data));
            EXPECT_EQ(d.port, family ? kHwg : kOrvex);
        }
        EXPECT_EQ(answers.size(), family ? 16u : 24u) << "each device answers once";
        EXPECT_EQ(macs.size(), family ? 16u : 24u);
        for (int i = 1; i <= (family ? 16 : 24); ++i) EXPECT_TRUE(macs.count(sim::MacText(PlanMac(family, i)))) << i;
    }
    // Sent to the address itself: the first device listed there, alone.
    const auto one = AskAt(client, vectors::OrvexInfoRequest(), kOrvex, kFactoryAddress, 500ms);
    ASSERT_EQ(one.size(), 1u);
    EXPECT_EQ(MacOf(one[0].data), "02:50:00:00:00:01");
    EXPECT_TRUE(AskAt(client, vectors::HwgInfoRequest(), kHwg, kFactoryAddress, 300ms).empty())
        << "the HWG devices there are not the one the address leads to";
    EXPECT_NE(HttpGet(kFactoryAddress, "/setup.xml").find("<mac>02:50:00:00:00:01</mac>"), std::string::npos);
}

TEST(LabPlan, DevicesMovedByAnUpdateAnswerAndServeFromTheirNewAddress) {
    REQUIRE_PLAN_FLEET();
    Client client;
    const Bytes info = vectors::OrvexInfoRequest();
    const sim::Mac first = PlanMac(0, 1);

    // The first device at the factory address moves to 10.77.10.1, answering the update from
    // where it was.
    auto answers = From(client.Ask(PlanOrvexUpdate(first, {10, 77, 10, 1}), kOrvex, 500ms), kFactoryAddress);
    ASSERT_EQ(answers.size(), 1u);
    EXPECT_EQ(answers[0].data[9], 0);
    auto moved = AnswerAt(client, info, kOrvex, "10.77.10.1");
    ASSERT_TRUE(moved) << "no answer from the new address";
    EXPECT_EQ(MacOf(moved->data), "02:50:00:00:00:01");
    EXPECT_EQ(Ip(moved->data, 51), "10.77.10.1");
    EXPECT_NE(HttpGet("10.77.10.1", "/setup.xml").find("<mac>02:50:00:00:00:01</mac>"), std::string::npos);
    // The factory address now leads to the next device listed there.
    answers = AskAt(client, info, kOrvex, kFactoryAddress, 500ms);
    ASSERT_EQ(answers.size(), 1u);
    EXPECT_EQ(MacOf(answers[0].data), "02:50:00:00:00:02");
    EXPECT_TRUE(WaitForEvent([](const json& e) {
        return e["event"] == "state" && e.value("cause", "") == "moved" && e["old_address"] == kFactoryAddress &&
               e["new_address"] == "10.77.10.1";
    }));

    // An HWG device moves outside the lab network, reached through the default route.
    const auto hwg = From(client.Ask(vectors::HwgInfoRequest(), kHwg, 1500ms), kFactoryAddress);
    const auto mine = std::find_if(hwg.begin(), hwg.end(), [](const Datagram& d) { return MacOf(d.data) == "02:51:00:00:00:01"; });
    ASSERT_NE(mine, hwg.end());
    Bytes command(mine->data.begin(), mine->data.begin() + 48);
    const uint8_t away[4] = {192, 168, 77, 20};
    std::copy(away, away + 4, command.begin() + 6);
    sim::HwgSign(command.data());
    client.Send(command, kHwg);
    auto movedHwg = AnswerAt(client, vectors::HwgInfoRequest(), kHwg, "192.168.77.20");
    ASSERT_TRUE(movedHwg) << "no answer from 192.168.77.20";
    EXPECT_EQ(MacOf(movedHwg->data), "02:51:00:00:00:01");
    EXPECT_NE(HttpGet("192.168.77.20", "/setup.xml").find("<mac>02:51:00:00:00:01</mac>"), std::string::npos);

    // A datagram to a --local address no device has reaches the simulator all the same.
    const uint8_t pump[6] = {0x02, 0x52, 0, 0, 0, 0x05};
    client.Send(vectors::OrvexAction(pump, 1), kOrvex, "10.77.10.99");
    EXPECT_TRUE(WaitForEvent([](const json& e) {
        return e["event"] == "unmatched" && e["target"] == "02:52:00:00:00:05" &&
               e["reason"] == "the device with this MAC is not at that address";
    }));

    // Factory defaults bring both back; the first listed owns the factory address again.
    client.Send(vectors::OrvexAction(first.data(), 2), kOrvex, "10.77.10.1");
    Bytes reset(movedHwg->data.begin(), movedHwg->data.begin() + 48);
    reset[28] |= 0x20;
    sim::HwgSign(reset.data());
    client.Send(reset, kHwg, "192.168.77.20");
    bool back = false;
    for (int attempt = 0; attempt < 50 && !back; ++attempt) {
        answers = AskAt(client, info, kOrvex, kFactoryAddress, 200ms);
        back = answers.size() == 1 && MacOf(answers[0].data) == "02:50:00:00:00:01";
    }
    EXPECT_TRUE(back) << "the first device is not back at the factory address";
    EXPECT_TRUE(AskAt(client, info, kOrvex, "10.77.10.1", 300ms).empty());
    bool hwgBack = false;
    for (int attempt = 0; attempt < 10 && !hwgBack; ++attempt)
        for (const Datagram& d : From(client.Ask(vectors::HwgInfoRequest(), kHwg, 500ms), kFactoryAddress))
            hwgBack |= MacOf(d.data) == "02:51:00:00:00:01";
    EXPECT_TRUE(hwgBack);
    EXPECT_TRUE(AskAt(client, vectors::HwgInfoRequest(), kHwg, "192.168.77.20", 300ms).empty());
    EXPECT_EQ(HttpGet("192.168.77.20", "/setup.xml").find("200 OK"), std::string::npos);
}

TEST(LabPlan, RefusingAndIgnoringDevicesAnswerDiscoveryAndChangeNothing) {
    REQUIRE_PLAN_FLEET();
    Client client;
    const Bytes info = vectors::OrvexInfoRequest();
    const uint8_t refusing[6] = {0x02, 0x52, 0, 0, 0, 0x01}, deaf[6] = {0x02, 0x52, 0, 0, 0, 0x02};

    const auto before = AskAt(client, info, kOrvex, "10.77.201.1", 500ms);
    ASSERT_EQ(before.size(), 1u);
    EXPECT_EQ(before[0].data[9], 0) << "discovery answered without an error";
    EXPECT_EQ(before[0].data[95], 3) << "type code";
    EXPECT_EQ(Text(before[0].data, 16, 33), "Refusing");
    const sim::Mac refusingMac{0x02, 0x52, 0, 0, 0, 0x01};
    for (const Bytes& command : {PlanOrvexUpdate(refusingMac, {10, 77, 10, 50}), vectors::OrvexAction(refusing, 1),
                                 vectors::OrvexAction(refusing, 2)}) {
        const auto answer = From(client.Ask(command, kOrvex, 500ms), "10.77.201.1");
        ASSERT_EQ(answer.size(), 1u);
        EXPECT_EQ(answer[0].data[9], 3) << "refused with its code";
        const auto now = AskAt(client, info, kOrvex, "10.77.201.1", 500ms);
        ASSERT_EQ(now.size(), 1u) << "no restart";
        EXPECT_EQ(now[0].data, before[0].data) << "nothing changed";
    }
    EXPECT_TRUE(HasEvent("02:52:00:00:00:01", "kind", "factory_default", "outcome", "refused"));

    const auto deafBefore = AskAt(client, info, kOrvex, "10.77.201.2", 500ms);
    ASSERT_EQ(deafBefore.size(), 1u);
    EXPECT_EQ(deafBefore[0].data[9], 0);
    const sim::Mac deafMac{0x02, 0x52, 0, 0, 0, 0x02};
    for (const Bytes& command : {PlanOrvexUpdate(deafMac, {10, 77, 10, 51}), vectors::OrvexAction(deaf, 2)}) {
        EXPECT_TRUE(From(client.Ask(command, kOrvex, 500ms), "10.77.201.2").empty()) << "commands get no answer";
        const auto now = AskAt(client, info, kOrvex, "10.77.201.2", 500ms);
        ASSERT_EQ(now.size(), 1u);
        EXPECT_EQ(now[0].data, deafBefore[0].data);
    }
    EXPECT_TRUE(HasEvent("02:52:00:00:00:02", "kind", "factory_default", "outcome", "ignored"));
}

// ---- Device behaviours of firmware rollouts: tests/lab/sim_rollout_fleet.json (test_sim_rollout.sh) ----

namespace {

#define REQUIRE_ROLLOUT_FLEET()                                                                        \
    ASSERT_TRUE(std::getenv("PYXET_LAB_FLEET") &&                                                      \
                std::string(std::getenv("PYXET_LAB_FLEET")).ends_with("tests/lab/sim_rollout_fleet.json")) \
        << "needs scripts/lab.sh --fleet tests/lab/sim_rollout_fleet.json"

// A POST of a multipart form with the file part "filename".
std::string Upload(const char* address, const std::string& image) {
    const std::string body =
        "--pyxet-sim-form\r\nContent-Disposition: form-data; name=\"filename\"; filename=\"image.bin\"\r\n"
        "Content-Type: application/octet-stream\r\n\r\n" +
        image + "\r\n--pyxet-sim-form--\r\n";
    return std::string("POST /upload HTTP/1.1\r\nHost: ") + address +
           "\r\nContent-Type: multipart/form-data; boundary=pyxet-sim-form\r\nContent-Length: " +
           std::to_string(body.size()) + "\r\n\r\n" + body;
}

std::string StatusLine(const std::string& answer) { return answer.substr(0, answer.find("\r\n")); }

// The events of one device of these kinds so far.
std::vector<json> DeviceEvents(const std::string& device, const std::string& kind) {
    std::vector<json> out;
    std::ifstream file(std::getenv("PYXET_LAB_EVENTS"));
    for (std::string line; std::getline(file, line);) {
        const json e = json::parse(line, nullptr, false);
        if (!e.is_discarded() && e["event"] == kind && e["device"] == device) out.push_back(e);
    }
    return out;
}

// The last http event of the device for this path, once its line is written (up to two seconds).
json LastHttp(const std::string& device, const std::string& path) {
    json last;
    WaitForEvent([&](const json& e) {
        if (e["event"] == "http" && e["device"] == device && e.value("path", "") == path) last = e;
        return false;
    });
    return last;
}

// The device's revision as it answers an info request at its address, once it answers.
std::string RevisionAt(Client& client, const char* address) {
    const auto answer = AnswerAt(client, vectors::OrvexInfoRequest(), kOrvex, address);
    return answer ? Text(answer->data, 98, 16) : "(no answer)";
}

}  // namespace

TEST(LabRollout, AwayDevicesAnswerNothingAndRefuseConnectionsUntilTheirTime) {
    REQUIRE_ROLLOUT_FLEET();
    Client client;
    // Neither discovery nor a question at their addresses finds them; the others answer.
    const auto orvex = client.Ask(vectors::OrvexInfoRequest(), kOrvex, 700ms);
    EXPECT_TRUE(From(orvex, "10.77.5.1").empty());
    EXPECT_EQ(From(orvex, "10.77.5.6").size(), 1u);
    EXPECT_TRUE(client.Ask(vectors::HwgInfoRequest(), kHwg, 500ms).empty());
    EXPECT_TRUE(AskAt(client, vectors::OrvexInfoRequest(), kOrvex, "10.77.5.1", 300ms).empty());
    // A connection fails as to a unit that is off: the address has no owner (no route to host),
    // whether the lab made it local alone (10.77.5.1) or with a neighbour (10.77.5.2).
    for (const char* address : {"10.77.5.1", "10.77.5.2"}) {
        int error = 0;
        EXPECT_EQ(HttpGet(address, "/", &error), "") << address << ": a connection was made";
        EXPECT_TRUE(error == EHOSTUNREACH || error == ETIMEDOUT || error == EINPROGRESS)
            << address << ": " << std::strerror(error);
    }
    EXPECT_EQ(StatusLine(HttpGet("10.77.5.3", "/")), "HTTP/1.1 200 OK") << "a neighbour serves";

    // Then they come on.
    for (const char* device : {"02:61:00:00:00:01", "02:61:00:00:00:02"}) {
        bool back = false;
        for (int wait = 0; wait < 20 && !back; ++wait) back = HasEvent(device, "event", "back");
        ASSERT_TRUE(back) << device;
        for (const char* kind : {"http", "http_open"})
            EXPECT_TRUE(DeviceEvents(device, kind).empty()) << device << ": a request reached it while it was away";
        const auto away = DeviceEvents(device, "away");
        ASSERT_EQ(away.size(), 1u);
        EXPECT_EQ(away[0]["ms"], 20000);
    }
    EXPECT_TRUE(HasEvent("02:61:00:00:00:01", "kind", "info", "outcome", "away"));
    EXPECT_EQ(RevisionAt(client, "10.77.5.1"), "1.0");
    EXPECT_TRUE(AnswerAt(client, vectors::HwgInfoRequest(), kHwg, "10.77.5.2"));
    for (const char* address : {"10.77.5.1", "10.77.5.2"})
        EXPECT_EQ(StatusLine(HttpGet(address, "/")), "HTTP/1.1 200 OK") << address;
}

TEST(LabRollout, AFlashThatFailsAnswers500OnlyOnceTheWholeImageIsIn) {
    REQUIRE_ROLLOUT_FLEET();
    const std::string image(1000000, 'i');
    const std::string answer = HttpExchange("10.77.5.3", Upload("10.77.5.3", image));
    EXPECT_EQ(StatusLine(answer), "HTTP/1.1 500 Internal Server Error");
    EXPECT_NE(answer.find("<h1>Upload failed</h1>"), std::string::npos);
    const json event = LastHttp("02:61:00:00:00:03", "/upload");
    EXPECT_EQ(event.value("body", ""), "whole");
    EXPECT_EQ(event.value("image", ""), "failed");
    EXPECT_EQ(event.value("bytes", 0), 1000000);
    // No restart, the revision kept.
    Client client;
    const auto now = AskAt(client, vectors::OrvexInfoRequest(), kOrvex, "10.77.5.3", 500ms);
    ASSERT_EQ(now.size(), 1u);
    EXPECT_EQ(Text(now[0].data, 98, 16), "2.14.0");
}

TEST(LabRollout, ARefusedImageIsAnsweredOkAndTheDeviceComesBackWithItsRevision) {
    REQUIRE_ROLLOUT_FLEET();
    Client client;
    ASSERT_EQ(RevisionAt(client, "10.77.5.4"), "2.14.0");
    const std::string answer = HttpExchange("10.77.5.4", Upload("10.77.5.4", "PYXET-SIM-FIRMWARE 3.0.0\nimage"));
    EXPECT_EQ(StatusLine(answer), "HTTP/1.1 200 OK");
    EXPECT_NE(answer.find("<h1>Upload OK</h1>"), std::string::npos);
    EXPECT_TRUE(AskAt(client, vectors::OrvexInfoRequest(), kOrvex, "10.77.5.4", 300ms).empty()) << "restarting";
    EXPECT_EQ(RevisionAt(client, "10.77.5.4"), "2.14.0");
    const json event = LastHttp("02:61:00:00:00:04", "/upload");
    EXPECT_EQ(event.value("image", ""), "refused");
    EXPECT_EQ(event.value("outcome", ""), "image not taken: revision kept");
    EXPECT_TRUE(HasEvent("02:61:00:00:00:04", "event", "restart", "cause", "firmware"));
}

TEST(LabRollout, AnUpgradeThatChangesTheConfigurationShowsInTheFile) {
    REQUIRE_ROLLOUT_FLEET();
    Client client;
    const std::string before = HttpGet("10.77.5.5", "/setup.xml");
    ASSERT_EQ(StatusLine(before), "HTTP/1.1 200 OK");
    EXPECT_EQ(StatusLine(HttpExchange("10.77.5.5", Upload("10.77.5.5", "PYXET-SIM-FIRMWARE 3.0.0\n"))),
              "HTTP/1.1 200 OK");
    EXPECT_EQ(RevisionAt(client, "10.77.5.5"), "3.0.0");
    const std::string after = HttpGet("10.77.5.5", "/setup.xml");
    ASSERT_EQ(StatusLine(after), "HTTP/1.1 200 OK");
    const auto file = [](const std::string& answer) { return answer.substr(answer.find("\r\n\r\n") + 4); };
    // The two elements, and nothing else, differ (the location in the file's code page).
    std::string expected = file(before);
    const auto replace = [&expected](const std::string& element, const std::string& text) {
        const size_t open = expected.find("<" + element + ">");
        ASSERT_NE(open, std::string::npos) << element;
        const size_t start = open + element.size() + 2;
        expected.replace(start, expected.find("</" + element + ">") - start, text);
    };
    replace("community", "private");
    replace("location", "Sklad \xE8. 3");
    EXPECT_NE(file(before), file(after));
    EXPECT_EQ(file(after), expected);
    const json event = LastHttp("02:61:00:00:00:05", "/upload");
    EXPECT_EQ(event.value("image", ""), "taken");
    EXPECT_EQ(event["config_changed"], json({"community", "location"}));
}

TEST(LabRollout, WholeImagesAreToldFromBodiesCutShort) {
    REQUIRE_ROLLOUT_FLEET();
    const std::string device = "02:61:00:00:00:06";
    // A client killed in the middle of the body: 1000 bytes of it, then the connection closes.
    const std::string request = Upload("10.77.5.6", std::string(100000, 'c'));
    const size_t head = request.find("\r\n\r\n") + 4;
    EXPECT_EQ(HttpExchange("10.77.5.6", request, nullptr, head + 1000), "");
    ASSERT_TRUE(HasEvent(device, "event", "http", "body", "cut short"));
    // A whole one.
    EXPECT_EQ(StatusLine(HttpExchange("10.77.5.6", Upload("10.77.5.6", std::string(100000, 'w')))), "HTTP/1.1 200 OK");
    ASSERT_TRUE(HasEvent(device, "event", "http", "image", "taken"));
    std::map<std::string, int> bodies;
    for (const json& e : DeviceEvents(device, "http")) {
        if (e.value("path", "") != "/upload") continue;
        ++bodies[e.value("body", "none")];
        if (e.value("body", "") == "cut short") {
            EXPECT_EQ(e["request_bytes"], 1000);
            EXPECT_EQ(e["status"], 0);
            EXPECT_FALSE(e.contains("image")) << "nothing taken";
        } else {
            EXPECT_EQ(e.value("image", ""), "taken");
            EXPECT_EQ(e.value("bytes", 0), 100000);
        }
    }
    EXPECT_EQ(bodies, (std::map<std::string, int>{{"cut short", 1}, {"whole", 1}}));
}

// ---- Devices that change at set times (tests/lab/sim_schedule_fleet.json) ----

#define REQUIRE_SCHEDULE_FLEET()                                                                        \
    ASSERT_TRUE(std::getenv("PYXET_LAB_FLEET") &&                                                       \
                std::string(std::getenv("PYXET_LAB_FLEET")).ends_with("tests/lab/sim_schedule_fleet.json")) \
        << "needs scripts/lab.sh --fleet tests/lab/sim_schedule_fleet.json"

namespace {

// The simulator's clock (the events' "t"), read from the event of a datagram sent to the plain
// device: its offset from this process's steady clock.
class SimClock {
public:
    explicit SimClock(Client& client) {
        const auto sent = Clock::now();
        client.Send(vectors::OrvexInfoRequest(), kOrvex, "10.77.6.6");
        client.Collect(300ms);
        json first;
        WaitForEvent([&](const json& e) {
            if (e["event"] == "request" && e.value("to", "") == "10.77.6.6" && first.is_null()) first = e;
            return !first.is_null();
        });
        if (first.is_null()) return;
        probe_ = first;
        offset_ = first["t"].get<double>() - Seconds(sent);
    }
    bool Ready() const { return !probe_.is_null(); }
    double Now() const { return Seconds(Clock::now()) + offset_; }
    const json& Probe() const { return probe_; }

private:
    static double Seconds(Clock::time_point at) { return std::chrono::duration<double>(at.time_since_epoch()).count(); }
    double offset_ = 0;
    json probe_;
};

// One round of discovery: both families' broadcasts and who answered, between two times of the
// simulator's clock.
struct Round {
    double from = 0, to = 0;
    std::map<std::string, Datagram> byMac;  // MAC -> its answer
};

}  // namespace

TEST(LabSchedule, DevicesGoComeBackMoveAndChangeRevisionAtTheirTimes) {
    REQUIRE_SCHEDULE_FLEET();
    Client client;
    const SimClock clock(client);
    ASSERT_TRUE(clock.Ready()) << "no event for a datagram to the plain device";
    EXPECT_EQ(clock.Probe()["broadcast"], false);
    EXPECT_EQ(clock.Probe()["device"], "02:62:00:00:00:06");

    // While "Goes away" is gone (5 s to 10 s) a connection to it fails; once it and "Back
    // elsewhere" are back, both serve.
    std::string goneAnswer = "(not tried)";
    int goneError = 0;
    double goneTried = -1;
    std::thread http([&] {
        while (clock.Now() < 5.6) std::this_thread::sleep_for(50ms);
        goneTried = clock.Now();
        goneAnswer = HttpGet("10.77.6.1", "/", &goneError);
    });

    std::vector<Round> rounds;
    int orvexSent = 0, hwgSent = 0;
    while (clock.Now() < 12.5) {
        Round round;
        round.from = clock.Now();
        client.Send(vectors::OrvexInfoRequest(), kOrvex);
        ++orvexSent;
        client.Send(vectors::HwgInfoRequest(), kHwg);
        ++hwgSent;
        for (Datagram& d : client.Collect(400ms)) round.byMac[MacOf(d.data)] = d;
        round.to = clock.Now();
        rounds.push_back(std::move(round));
        std::this_thread::sleep_for(100ms);
    }
    http.join();
    EXPECT_EQ(goneAnswer, "") << "a connection to a gone device was made";
    EXPECT_TRUE(goneError == EHOSTUNREACH || goneError == ETIMEDOUT) << std::strerror(goneError);
    EXPECT_LT(goneTried, 7.0) << "the connection was tried too late to end within the gone time";
    for (const char* address : {"10.77.6.1", "10.77.6.104", "10.77.6.102"})
        EXPECT_EQ(StatusLine(HttpGet(address, "/")), "HTTP/1.1 200 OK") << address;

    // Rounds wholly within a span (half a second's margin at each end): what each device did.
    // `check` sees each such round's answer of the device (null when it did not answer).
    const auto within = [&](const std::string& mac, double from, double to,
                            const std::function<void(const Datagram*, const Round&)>& check) {
        int seen = 0;
        for (const Round& round : rounds) {
            if (round.from < from + 0.5 || round.to > to - 0.5) continue;
            ++seen;
            const auto found = round.byMac.find(mac);
            check(found == round.byMac.end() ? nullptr : &found->second, round);
        }
        EXPECT_GT(seen, 0) << mac << ": no round between " << from << " s and " << to << " s";
    };
    const auto silent = [](const char* mac) {
        return [mac](const Datagram* d, const Round& r) { EXPECT_FALSE(d) << mac << " answered at " << r.from << " s"; };
    };
    // Answers in some round of the span, from this address, reporting this address as its own.
    const auto answers = [&](const std::string& mac, double from, double to, const std::string& address,
                             size_t ipAt, const std::string& revision = "") {
        int answered = 0;
        within(mac, from, to, [&](const Datagram* d, const Round& r) {
            if (!d) return;
            ++answered;
            EXPECT_EQ(d->from, address) << mac << " at " << r.from << " s";
            EXPECT_EQ(Ip(d->data, ipAt), address) << mac << " at " << r.from << " s";
            if (!revision.empty()) {
                EXPECT_EQ(Text(d->data, 98, 16), revision) << mac << " at " << r.from << " s";
            }
        });
        EXPECT_GT(answered, 0) << mac << " never answered between " << from << " s and " << to << " s";
    };
    constexpr size_t kOrvexIp = 51, kHwgIp = 6;
    answers("02:62:00:00:00:01", 0, 5, "10.77.6.1", kOrvexIp);
    within("02:62:00:00:00:01", 5, 10, silent("02:62:00:00:00:01"));
    answers("02:62:00:00:00:01", 10, 13, "10.77.6.1", kOrvexIp);
    answers("02:62:00:00:00:02", 0, 6, "10.77.6.2", kHwgIp);
    answers("02:62:00:00:00:02", 6, 13, "10.77.6.102", kHwgIp);
    answers("02:62:00:00:00:03", 0, 5, "10.77.6.3", kOrvexIp, "1.0");
    answers("02:62:00:00:00:03", 5, 13, "10.77.6.3", kOrvexIp, "1.1");
    answers("02:62:00:00:00:04", 0, 4, "10.77.6.4", kOrvexIp);
    within("02:62:00:00:00:04", 4, 9, silent("02:62:00:00:00:04"));
    answers("02:62:00:00:00:04", 9, 13, "10.77.6.104", kOrvexIp);
    within("02:62:00:00:00:05", 0, 4, silent("02:62:00:00:00:05"));
    answers("02:62:00:00:00:05", 4, 13, "10.77.6.5", kHwgIp);

    // The events: each change once, in the order of its time, soon after it.
    struct Expected {
        const char* mac;
        const char* change;
        double at;
    };
    const Expected expected[] = {
        {"02:62:00:00:00:05", "gone", 0},          {"02:62:00:00:00:04", "gone", 4},
        {"02:62:00:00:00:05", "back", 4},          {"02:62:00:00:00:01", "gone", 5},
        {"02:62:00:00:00:03", "new_firmware", 5}, {"02:62:00:00:00:05", "new_firmware", 5},
        {"02:62:00:00:00:02", "new_ip", 6},        {"02:62:00:00:00:04", "new_ip", 9},
        {"02:62:00:00:00:04", "back", 9},          {"02:62:00:00:00:01", "back", 10},
    };
    std::vector<json> scheduled, requests;
    std::ifstream file(std::getenv("PYXET_LAB_EVENTS"));
    for (std::string line; std::getline(file, line);) {
        const json e = json::parse(line, nullptr, false);
        if (e.is_discarded()) continue;
        if (e["event"] == "scheduled") scheduled.push_back(e);
        if (e["event"] == "request") requests.push_back(e);
    }
    ASSERT_EQ(scheduled.size(), std::size(expected));
    for (size_t i = 0; i < scheduled.size(); ++i) {
        EXPECT_EQ(scheduled[i]["device"], std::string(expected[i].mac)) << i;
        EXPECT_EQ(scheduled[i]["change"], std::string(expected[i].change)) << i;
        EXPECT_GE(scheduled[i]["t"].get<double>(), expected[i].at - 0.01) << i;
        EXPECT_LT(scheduled[i]["t"].get<double>(), expected[i].at + 1.0) << i;
        EXPECT_FALSE(scheduled[i].contains("error")) << scheduled[i].dump();
    }
    EXPECT_EQ(scheduled[7]["old_address"], "10.77.6.4");
    EXPECT_EQ(scheduled[7]["new_address"], "10.77.6.104");
    EXPECT_EQ(scheduled[4]["old"], "1.0");
    EXPECT_EQ(scheduled[4]["new"], "1.1");

    // The requests can be counted: each broadcast is one datagram, logged once for every device of
    // its family (a gone one too, as "away"), and told from datagrams sent to one address.
    std::map<std::string, std::map<uint64_t, int>> reached;  // family -> datagram -> devices
    for (const json& e : requests) {
        if (!e.value("broadcast", false)) {
            EXPECT_NE(e["to"], "255.255.255.255") << e.dump();
            continue;
        }
        EXPECT_EQ(e["to"], "255.255.255.255") << e.dump();
        ++reached[e["family"].get<std::string>()][e["datagram"].get<uint64_t>()];
    }
    EXPECT_EQ(reached["Orvex"].size(), size_t(orvexSent));
    EXPECT_EQ(reached["HWG"].size(), size_t(hwgSent));
    for (const auto& [family, datagrams] : reached)
        for (const auto& [number, devices] : datagrams)
            EXPECT_EQ(devices, family == "HWG" ? 2 : 4) << family << " datagram " << number;
}
