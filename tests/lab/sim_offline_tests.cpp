// Simulator pieces that need no network: TEA, the fleet file, request parsing and the web
// server's parsers.
#include <gtest/gtest.h>

#include <set>

#include "fleet.h"
#include "httpparse.h"
#include "packets.h"
#include "tea.h"
#include "vectors.h"

using namespace sim;
using namespace std::string_literals;

TEST(Tea, KnownAnswerKeyZeroBlockZero) {
    uint32_t y = 0, z = 0;
    TeaEncipher(y, z, TeaKey{0, 0, 0, 0});
    EXPECT_EQ(y, 0x41EA3A0Au);
    EXPECT_EQ(z, 0x94BAA940u);
}

TEST(Tea, EverySingleBitFlipBreaksTheSignature) {
    Bytes packet(48);
    for (size_t i = 0; i < packet.size(); ++i) packet[i] = uint8_t(i * 7 + 1);
    HwgSign(packet.data());
    ASSERT_TRUE(HwgVerify(packet.data(), packet.size()));
    for (size_t bit = 0; bit < 48 * 8; ++bit) {
        Bytes flipped = packet;
        flipped[bit / 8] ^= uint8_t(1u << (bit % 8));
        EXPECT_FALSE(HwgVerify(flipped.data(), flipped.size())) << "bit " << bit;
    }
    EXPECT_FALSE(HwgVerify(packet.data(), 47)) << "a datagram shorter than 48 bytes never verifies";
}

TEST(Fleet, RefusesBrokenFleetsWithAReason) {
    const std::string orvex = R"("family": "Orvex", "mac": "00:0A:14:1E:28:32", "ip": "10.77.1.10")";
    const std::string hwg = R"("family": "HWG", "mac": "00:0A:59:00:00:01", "ip": "10.77.2.10")";
    const struct {
        std::string json, expected, why;
    } cases[] = {
        {"{}", "list", "the fleet is a list"},
        {"[{" + orvex + ", \"colour\": 1}]", "unknown key \"colour\"", "typos are caught"},
        {R"([{"family": "Orvex", "mac": "00:0A:14:1E:28", "ip": "10.77.1.10"}])", "\"mac\"", "five-byte MAC"},
        {R"([{"family": "Orvex", "mac": "FF:FF:FF:FF:FF:FF", "ip": "10.77.1.10"}])", "all devices", "broadcast MAC"},
        {R"([{"family": "Orvex", "mac": "00:0A:14:1E:28:32", "ip": "10.77.1.256"}])", "\"ip\"", "number above 255"},
        {"[{" + orvex + "}, {" + orvex + "}]", "used twice", "duplicate MAC"},
        {"[{" + orvex + ", \"name\": \"123456789012345678901234567890123\"}]", "32 bytes", "33-byte Orvex name"},
        {"[{" + orvex + ", \"firmware\": \"12345678901234567\"}]", "16 bytes", "17-byte firmware text"},
        {"[{" + hwg + ", \"type\": 65, \"items\": [\"name\"]}]", "needs the \"type\" item", "type above 31"},
        {"[{" + hwg + ", \"firmware\": \"8.0.0\"}]", "a.b.c", "first revision number has 3 bits"},
        {"[{" + hwg + ", \"name\": \"" + std::string(50, 'x') + "\"}]", "110 bytes", "answer too long"},
        {"[{" + hwg + ", \"factory\": {\"name\": \"" + std::string(50, 'x') + "\"}}]", "factory: the HWG answer",
         "answer too long after a factory reset"},
        {"[{" + hwg + ", \"error_code\": 1}]", "Orvex devices only", "HWG has no error byte"},
        {"[{" + orvex + ", \"items\": []}]", "HWG devices only", "Orvex has no items"},
        {"[{" + orvex + ", \"dhcp\": null}]", "\"dhcp\"", "only HWG devices lack a DHCP setting"},
        {R"([{"family": "Orvex", "mac": "00:0A:14:1E:28:32", "ip": "10.77.0.1"}])", "belong to the lab", "lab address"},
        {"[{" + orvex + ", \"http\": {\"refuse\": \"maybe\"}}]", "\"refuse\"", "unknown refusal"},
        {"[{" + orvex + ", \"http\": {\"status\": 200}}]", "error status", "a failure status must be one"},
        {"[{" + orvex + ", \"http\": {\"answer\": \"slow\"}}]", "\"answer\" must be", "unknown way to answer"},
        {"[{" + orvex + ", \"http\": {\"answer\": 204}}]", "\"answer\"", "answers are named"},
        {"[{" + orvex, "not valid JSON", "truncated file"},
    };
    for (const auto& c : cases) {
        const FleetResult result = ParseFleet(c.json);
        EXPECT_NE(result.error.find(c.expected), std::string::npos) << c.why << ": got \"" << result.error << "\"";
        EXPECT_TRUE(result.devices.empty()) << c.why;
    }
}

TEST(Fleet, AcceptsTheLimits) {
    const FleetResult result = ParseFleet(R"([
      {"family": "Orvex", "mac": "00:0a:14:1e:28:32", "ip": "10.77.1.10", "name": "12345678901234567890123456789012",
       "firmware": "1234567890123456", "dhcp": 255, "http_port": 65535},
      {"family": "HWG", "mac": "00-0A-59-00-00-01", "ip": "10.77.2.10", "dhcp": null, "firmware": "7.15.15",
       "name": "12345678901234567890123456789012345678901234"}])");
    ASSERT_EQ(result.error, "");
    ASSERT_EQ(result.devices.size(), 2u);
    EXPECT_EQ(result.devices[0].setup.dhcp, 255);
    EXPECT_EQ(result.devices[0].setup.http_port, 65535);
    EXPECT_EQ(result.devices[1].setup.dhcp, -1);
    EXPECT_EQ(BuildHwgAnswer(result.devices[1], result.devices[1].setup).size(), 110u) << "the longest valid answer";
}

TEST(Fleet, EveryWayOfAnsweringIsReadAndWrittenBack) {
    const char* names[] = {"normal", "endless", "empty", "no_content", "partial", "close", "drip"};
    std::string text = "[";
    for (int i = 0; i < 7; ++i)
        text += std::string(i ? "," : "") + R"({"family": "Orvex", "mac": "00:0A:14:1E:28:3)" + std::to_string(i) +
                R"(", "ip": "10.77.1.1)" + std::to_string(i) + R"(", "http": {"answer": ")" + names[i] + R"("}})";
    const FleetResult result = ParseFleet(text + "]");
    ASSERT_EQ(result.error, "");
    ASSERT_EQ(result.devices.size(), 7u);
    const HttpAnswer answers[] = {HttpAnswer::Normal, HttpAnswer::Endless, HttpAnswer::Empty, HttpAnswer::NoContent,
                                  HttpAnswer::Partial, HttpAnswer::Close, HttpAnswer::Drip};
    for (size_t i = 0; i < 7; ++i) {
        EXPECT_EQ(result.devices[i].http.answer, answers[i]) << names[i];
        EXPECT_STREQ(HttpAnswerName(answers[i]), names[i]);
    }
    const FleetResult reread = ParseFleet(FleetToJson(result.devices));
    ASSERT_EQ(reread.error, "");
    for (size_t i = 0; i < 7; ++i)
        EXPECT_EQ(reread.devices[i].http.answer, answers[i]) << names[i];
}

TEST(Fleet, GeneratedFleetRoundTripsThroughTheFileFormat) {
    const FleetResult generated = GenerateFleet(1000, 1000);
    ASSERT_EQ(generated.error, "");
    const FleetResult reread = ParseFleet(FleetToJson(generated.devices));
    ASSERT_EQ(reread.error, "") << "distinct MACs and addresses, valid values";
    ASSERT_EQ(reread.devices.size(), 2000u);
    for (size_t i = 0; i < reread.devices.size(); ++i) {
        EXPECT_EQ(reread.devices[i].mac, generated.devices[i].mac);
        EXPECT_EQ(reread.devices[i].setup, generated.devices[i].setup);
        EXPECT_EQ(reread.devices[i].type, generated.devices[i].type);
    }
    EXPECT_NE(GenerateFleet(30001, 0).error, "");
}

// The addresses a list of prefixes covers, one by one.
std::set<std::string> Expand(const std::vector<std::string>& prefixes) {
    std::set<std::string> addresses;
    for (const std::string& prefix : prefixes) {
        const size_t slash = prefix.find('/');
        const Ip4 ip = ParseIpText(prefix.substr(0, slash)).value();
        const int length = std::stoi(prefix.substr(slash + 1));
        const uint32_t start = (uint32_t(ip[0]) << 24) | (uint32_t(ip[1]) << 16) | (uint32_t(ip[2]) << 8) | ip[3];
        EXPECT_EQ(start & ((uint64_t(1) << (32 - length)) - 1), 0u) << prefix << " is not aligned";
        for (uint64_t k = 0; k < (uint64_t(1) << (32 - length)); ++k) {
            const uint32_t a = start + uint32_t(k);
            EXPECT_TRUE(addresses.insert(IpText({uint8_t(a >> 24), uint8_t(a >> 16), uint8_t(a >> 8), uint8_t(a)})).second)
                << "prefixes overlap at " << prefix;
        }
    }
    return addresses;
}

TEST(Fleet, AddressPrefixesCoverExactlyTheDevices) {
    // One generated row of 250 addresses: the fewest aligned blocks, in order.
    std::vector<Ip4> row;
    for (int i = 1; i <= 250; ++i) row.push_back({10, 77, 1, uint8_t(i)});
    EXPECT_EQ(AddressPrefixes(row),
              (std::vector<std::string>{"10.77.1.1/32", "10.77.1.2/31", "10.77.1.4/30", "10.77.1.8/29",
                                        "10.77.1.16/28", "10.77.1.32/27", "10.77.1.64/26", "10.77.1.128/26",
                                        "10.77.1.192/27", "10.77.1.224/28", "10.77.1.240/29", "10.77.1.248/31",
                                        "10.77.1.250/32"}));
    // Unordered, repeated, with gaps, across a third-number boundary, and a whole /24.
    std::vector<Ip4> mixed{{10, 77, 0, 5}, {10, 77, 0, 3}, {10, 77, 0, 4}, {10, 77, 0, 5},
                           {10, 77, 2, 0}, {10, 77, 1, 255}, {192, 168, 3, 9}};
    for (int i = 0; i < 256; ++i) mixed.push_back({10, 77, 9, uint8_t(i)});
    EXPECT_EQ(AddressPrefixes(mixed),
              (std::vector<std::string>{"10.77.0.3/32", "10.77.0.4/31", "10.77.1.255/32", "10.77.2.0/32",
                                        "10.77.9.0/24", "192.168.3.9/32"}));
    EXPECT_TRUE(AddressPrefixes({}).empty());

    // The largest generated fleet: every address and nothing else, in few routes.
    const FleetResult fleet = GenerateFleet(30000, 30000);
    ASSERT_EQ(fleet.error, "");
    std::vector<Ip4> addresses;
    std::set<std::string> expected;
    for (const DeviceConfig& d : fleet.devices) {
        addresses.push_back(d.address);
        expected.insert(IpText(d.address));
    }
    const std::vector<std::string> prefixes = AddressPrefixes(addresses);
    EXPECT_EQ(Expand(prefixes), expected);
    EXPECT_LT(prefixes.size(), 4000u);
}

TEST(Fleet, ShippedFleetIsValidAndVaried) {
    const FleetResult fleet = LoadFleetFile(PYXET_SOURCE_DIR "/sim/fleet.json");
    ASSERT_EQ(fleet.error, "");
    bool nonAscii = false, dhcpOn = false, hwgWithoutDhcp = false, typeAbove31 = false, login = false, badUpload = false;
    std::set<int> types;
    for (const DeviceConfig& d : fleet.devices) {
        for (unsigned char c : d.setup.name) nonAscii |= c >= 0x80;
        dhcpOn |= d.setup.dhcp > 0;
        hwgWithoutDhcp |= d.family == Family::Hwg && d.setup.dhcp < 0;
        typeAbove31 |= d.family == Family::Hwg && d.type > 31;
        login |= d.http.NeedsLogin();
        badUpload |= d.http.upload_fails;
        types.insert(d.type);
    }
    EXPECT_TRUE(nonAscii && dhcpOn && hwgWithoutDhcp && typeAbove31 && login && badUpload);
    EXPECT_GE(fleet.devices.size(), 10u);
    EXPECT_GE(types.size(), 6u);
}

TEST(OrvexRequest, ReadsTheProgramsRequests) {
    std::string why;
    const Bytes info = vectors::OrvexInfoRequest();
    auto request = ParseOrvexRequest(info.data(), info.size(), why);
    ASSERT_TRUE(request) << why;
    EXPECT_TRUE(request->query);
    EXPECT_TRUE(request->toAll);

    const Bytes update = vectors::OrvexStaticUpdate();
    request = ParseOrvexRequest(update.data(), update.size(), why);
    ASSERT_TRUE(request) << why;
    EXPECT_FALSE(request->query);
    EXPECT_EQ(request->target, (Mac{0x00, 0x0A, 0x14, 0x1E, 0x28, 0x32}));
    EXPECT_EQ(request->values.name, "Hall");
    EXPECT_EQ(request->values.ip, (Ip4{192, 168, 1, 20}));
    EXPECT_EQ(request->values.mask, (Ip4{255, 255, 255, 0}));
    EXPECT_EQ(request->values.dns2, (Ip4{0, 0, 0, 0}));
    EXPECT_EQ(request->values.http_port, 80) << "ports are little-endian";
    EXPECT_EQ(request->values.telnet_port, 23);
    EXPECT_EQ(request->action, 1);

    const Bytes dhcp = vectors::OrvexDhcpUpdate("Hall", 0);
    request = ParseOrvexRequest(dhcp.data(), dhcp.size(), why);
    ASSERT_TRUE(request) << why;
    EXPECT_EQ(request->values.dhcp, 1);
    EXPECT_FALSE(request->values.ip) << "the DHCP form carries no addresses";
    EXPECT_EQ(request->action, 0);

    const Bytes reset = vectors::OrvexFactoryDefault();
    request = ParseOrvexRequest(reset.data(), reset.size(), why);
    ASSERT_TRUE(request) << why;
    EXPECT_FALSE(request->set);
    EXPECT_EQ(request->action, 2);
}

TEST(OrvexRequest, RefusesBrokenRequests) {
    const Bytes reset = vectors::OrvexFactoryDefault();
    auto with = [&](size_t at, std::initializer_list<uint8_t> bytes) {
        Bytes b = reset;
        std::copy(bytes.begin(), bytes.end(), b.begin() + long(at));
        return b;
    };
    Bytes longer = reset;
    longer.push_back(0);
    Bytes nameOver = vectors::OrvexStaticUpdate();
    nameOver[15] = 0x22;  // name length 34 in a 33-byte field
    const struct {
        Bytes bytes;
        const char* why;
    } cases[] = {
        {Bytes(reset.begin(), reset.begin() + 10), "shorter than the header"},
        {Bytes(reset.begin(), reset.begin() + 11), "header only, length 5 claimed"},
        {with(6, {0x02}), "header type 2"},
        {with(7, {0x00, 0x06}), "length field one too large"},
        {longer, "one byte more than the length field says"},
        {with(12, {0x00, 0x03}), "action item of length 3 runs past the end"},
        {with(11, {0x09}), "unknown item type"},
        {nameOver, "sub-item longer than its item"},
    };
    for (const auto& c : cases) {
        std::string why;
        EXPECT_FALSE(ParseOrvexRequest(c.bytes.data(), c.bytes.size(), why)) << c.why;
        EXPECT_NE(why, "") << c.why;
    }
}

TEST(HttpParsing, MultipartAsCurlSendsIt) {
    const std::string body =
        "--XyZ\r\nContent-Disposition: form-data; name=\"filename\"; filename=\"C:\\\\fw\\\\a;b.kri\"\r\n"
        "Content-Type: application/octet-stream\r\nContent-Transfer-Encoding: binary\r\n\r\n"
        "\x00\r\n--Xy\r\n\xff"
        "\r\n--XyZ--\r\n"s;
    std::string why;
    const auto parts = ParseMultipart("multipart/form-data; boundary=XyZ", body, why);
    ASSERT_TRUE(parts) << why;
    ASSERT_EQ(parts->size(), 1u);
    EXPECT_EQ((*parts)[0].name, "filename");
    EXPECT_EQ((*parts)[0].fileName, "C:\\fw\\a;b.kri") << "quoted names keep ';' and escaped backslashes";
    EXPECT_EQ((*parts)[0].data, std::string("\x00\r\n--Xy\r\n\xff", 10)) << "binary data with a near-delimiter";
}

TEST(HttpParsing, BrokenMultipartBodiesFail) {
    const struct {
        std::string type, body, why;
    } cases[] = {
        {"text/plain", "--a\r\n\r\nx\r\n--a--", "not multipart"},
        {"multipart/form-data", "--a\r\n\r\nx\r\n--a--", "no boundary"},
        {"multipart/form-data; boundary=a", "no delimiter at all", "no part"},
        {"multipart/form-data; boundary=a", "--a\r\nContent-Disposition: form-data; name=\"f\"", "head not closed"},
        {"multipart/form-data; boundary=a", "--a\r\n\r\n\r\nunterminated data", "part not closed"},
        {"multipart/form-data; boundary=\"a", "--a\r\n\r\nx\r\n--a--", "boundary quote not closed"},
    };
    for (const auto& c : cases) {
        std::string why;
        EXPECT_FALSE(ParseMultipart(c.type, c.body, why)) << c.why;
    }
}

TEST(HttpParsing, BasicCredentials) {
    EXPECT_EQ(ParseBasicAuth("Basic dXNlcjpwYXNz"), std::make_pair(std::string("user"), std::string("pass")));
    EXPECT_EQ(ParseBasicAuth("basic dXNlcjo="), std::make_pair(std::string("user"), std::string("")));
    EXPECT_EQ(ParseBasicAuth("Basic dXNlcjpwYTpzcw=="), std::make_pair(std::string("user"), std::string("pa:ss")))
        << "the password may hold a colon";
    EXPECT_FALSE(ParseBasicAuth("Bearer dXNlcjpwYXNz"));
    EXPECT_FALSE(ParseBasicAuth("Basic dXNlcg==")) << "no colon";
    EXPECT_FALSE(ParseBasicAuth("Basic dXNlc*pwYXNz")) << "not base64";
    EXPECT_FALSE(ParseBasicAuth("Basic dXNlcjpwYXN")) << "length not a multiple of 4";
    EXPECT_FALSE(ParseBasicAuth("Basic ")) << "nothing after the scheme has no colon";
}

TEST(HttpParsing, ChunkedBodies) {
    std::string body;
    size_t consumed = 0;
    const std::string raw = "4\r\nWiki\r\n5;ext=1\r\npedia\r\n0\r\nTrailer: x\r\n\r\nNEXT";
    ASSERT_EQ(DecodeChunked(raw, body, consumed), ChunkedStatus::Complete);
    EXPECT_EQ(body, "Wikipedia");
    EXPECT_EQ(raw.substr(consumed), "NEXT");
    EXPECT_EQ(DecodeChunked("4\r\nWik", body, consumed), ChunkedStatus::NeedMore);
    EXPECT_EQ(DecodeChunked("4\r\nWikiXX", body, consumed), ChunkedStatus::Broken) << "no CRLF after the chunk";
    EXPECT_EQ(DecodeChunked("g\r\n", body, consumed), ChunkedStatus::Broken) << "not hexadecimal";
    EXPECT_EQ(DecodeChunked("FFFFFFFFF\r\n", body, consumed), ChunkedStatus::Broken) << "size beyond the limit";
}

TEST(HttpParsing, RequestHead) {
    std::string why;
    const auto head = ParseHttpHead("POST /upload?x=1 HTTP/1.1\r\nHost: a\r\nContent-Length:  12 \r\nX-A: b:c", why);
    ASSERT_TRUE(head) << why;
    EXPECT_EQ(head->path, "/upload");
    EXPECT_EQ(head->headers.at("content-length"), "12");
    EXPECT_EQ(head->headers.at("x-a"), "b:c");
    for (const char* bad : {"", "GET", "GET /", "GET  HTTP/1.1", "GET x HTTP/1.1", "GET / SPDY/3", "GET / HTTP/1.1\r\nNoColon"})
        EXPECT_FALSE(ParseHttpHead(bad, why)) << bad;
}
