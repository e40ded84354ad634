// Orvex info request and answer decoding: the byte layout, the value encodings and the log lines.
#include "core/protocols/orvex/packets.h"
#include "core/protocols/orvex/discovery.h"

#include "core/devices/registry.h"
#include "logcapture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

TEST(OrvexInfoRequest, IsExactly114BytesOfTheQueryLayout)
{
    Bytes expected(114, 0);
    auto put = [&](size_t at, Bytes bytes) { std::copy(bytes.begin(), bytes.end(), expected.begin() + at); };
    put(0, {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x01, 0x00, 0x67, 0x00, 0x00});
    put(11, {0x01, 0x00, 0x4C});
    put(14, {0x13, 0x21});
    put(49, {0x00, 0x04});
    put(55, {0x01, 0x04});
    put(61, {0x02, 0x04});
    put(67, {0x03, 0x04});
    put(73, {0x04, 0x04});
    put(79, {0x5F, 0x01});
    put(82, {0x05, 0x02});
    put(86, {0x06, 0x02});
    put(90, {0x03, 0x00, 0x15});
    put(93, {0x00, 0x01});
    put(96, {0x02, 0x10});
    EXPECT_EQ(BuildOrvexInfoRequest(), expected);
}

// A device's answer: the request layout with values filled in at the fixed offsets.
struct TAnswer {
    Bytes Data = BuildOrvexInfoRequest();

    TAnswer()
    {
        Set(0, {0x00, 0x0A, 0x14, 0x1E, 0x28, 0x32});
        Name("Hall");
        Set(51, {192, 168, 1, 20});
        Set(57, {255, 255, 255, 0});
        Set(63, {192, 168, 1, 1});
        Set(69, {8, 8, 8, 8});
        Set(75, {1, 1, 1, 1});
        Data[81] = 0;
        Set(84, {0x50, 0x00});
        Set(88, {0x17, 0x00});
        Data[95] = 32;
        Revision("1.4.2");
    }
    void Set(size_t at, Bytes bytes) { std::copy(bytes.begin(), bytes.end(), Data.begin() + at); }
    void Name(const std::string& text)
    {
        std::fill(Data.begin() + 16, Data.begin() + 49, 0);
        std::memcpy(&Data[16], text.data(), std::min<size_t>(text.size(), 33));
    }
    void Revision(const std::string& text)
    {
        std::fill(Data.begin() + 98, Data.begin() + 114, 0);
        std::memcpy(&Data[98], text.data(), std::min<size_t>(text.size(), 16));
    }
    std::unique_ptr<TProductOrvex> Decode(const std::string& peer = "10.77.0.9") const
    {
        return DecodeOrvexInfoAnswer(Data.data(), Data.size(), peer);
    }
};

TEST(OrvexInfoAnswer, FillsEveryFieldFromItsOffset)
{
    TLogCapture log;
    const auto device = TAnswer().Decode("10.77.0.9");
    ASSERT_TRUE(device);
    const TProductInfo& info = device->Info;
    EXPECT_EQ(info.TypeCode, 32);
    EXPECT_EQ(info.TypeName, "");  // named by the registration
    EXPECT_EQ(info.MAC, "00:0A:14:1E:28:32");
    EXPECT_EQ(info.Name, "Hall");
    EXPECT_EQ(info.PeerIP, "10.77.0.9");  // the sender, not the address inside the answer
    EXPECT_EQ(info.IP, "192.168.1.20");
    EXPECT_EQ(info.Mask, "255.255.255.0");
    EXPECT_EQ(info.Gateway, "192.168.1.1");
    EXPECT_EQ(info.DNS1, "8.8.8.8");
    EXPECT_EQ(info.DNS2, "1.1.1.1");
    EXPECT_EQ(info.Dhcp, 0);
    EXPECT_EQ(info.HTTPPort, 80);
    EXPECT_EQ(info.TelnetPort, 23);
    EXPECT_EQ(info.FirmwareRev, "1.4.2");
    EXPECT_TRUE(info.CanSetDefault);
    EXPECT_TRUE(info.CanRestart);
    EXPECT_FALSE(device->RestartNeeded);
    EXPECT_EQ(device->UdpServer, nullptr);
    EXPECT_TRUE(log.Lines().empty());
}

TEST(OrvexInfoAnswer, PortsAreLittleEndianSixteenBitsAndDhcpIsTheRawByte)
{
    struct Case {
        uint8_t Low, High;
        int16_t Port;
        const char* Reason;
    };
    const Case cases[] = {
        {0x50, 0x00, 80, "least significant byte first"},
        {0x00, 0x50, 80 * 256, "the reverse order is another port"},
        {0xFF, 0xFF, -1, "FF FF reads as not available"},
        {0x90, 0x1F, 8080, "two-byte port"},
        {0x00, 0x80, -32768, "ports above 32767 read back negative"},
    };
    for (const Case& c : cases) {
        TAnswer answer;
        answer.Set(84, {c.Low, c.High});
        answer.Set(88, {c.High, c.Low});
        const auto device = answer.Decode();
        ASSERT_TRUE(device);
        EXPECT_EQ(device->Info.HTTPPort, c.Port) << c.Reason;
        EXPECT_EQ(device->Info.TelnetPort, static_cast<int16_t>((c.Low << 8) | c.High)) << c.Reason;
    }

    for (uint8_t dhcp : {1, 2, 255}) {
        TAnswer answer;
        answer.Data[81] = dhcp;
        EXPECT_EQ(answer.Decode()->Info.Dhcp, dhcp) << "any non-zero byte is on, kept as sent";
    }
}

TEST(OrvexInfoAnswer, ErrorCodeIsLoggedAndTheDeviceListedWithTypeZero)
{
    TLogCapture log;
    TAnswer answer;
    answer.Data[9] = 3;
    const auto device = answer.Decode();
    ASSERT_TRUE(device);
    EXPECT_EQ(device->Info.TypeCode, 0);  // byte 95 says 32
    EXPECT_EQ(device->Info.MAC, "00:0A:14:1E:28:32");
    ASSERT_EQ(log.Lines().size(), 1u);
    EXPECT_EQ(log.Message(0), "Error device 00:0A:14:1E:28:32. Error code = 3");
    EXPECT_EQ(log.Lines()[0].Level, LOG_ERROR);
    EXPECT_EQ(log.Captions, std::vector<std::string>{"Error Info"});

    answer.Data[9] = 200;
    answer.Decode();
    EXPECT_EQ(log.Message(1), "Error device 00:0A:14:1E:28:32. Error code = 200");  // unsigned
}

TEST(OrvexInfoAnswer, NameAndRevisionFields)
{
    TAnswer answer;
    answer.Name("");
    answer.Set(17, {'x'});  // text after the terminating zero is not part of the name
    EXPECT_EQ(answer.Decode()->Info.Name, "") << "an empty name stays empty, it is not N/A";

    answer.Name(std::string(33, 'N'));
    answer.Data[49] = 'Z';  // the next sub-item header must not be read into the name
    EXPECT_EQ(answer.Decode()->Info.Name, std::string(33, 'N'));

    answer.Name("Sklad \xC4\x8C" "ech");  // UTF-8 goes through unchanged
    EXPECT_EQ(answer.Decode()->Info.Name, "Sklad \xC4\x8C" "ech");
    answer.Name("bad \xC4");  // a cut UTF-8 sequence becomes U+FFFD
    EXPECT_EQ(answer.Decode()->Info.Name, "bad \xEF\xBF\xBD");

    answer.Revision("");
    EXPECT_EQ(answer.Decode()->Info.FirmwareRev, "N/A");
    answer.Revision("0123456789ABCDEF");
    EXPECT_EQ(answer.Decode()->Info.FirmwareRev, "0123456789ABCDEF") << "all 16 bytes may be text";
}

TEST(OrvexInfoAnswer, ShortAnswersAreIgnoredAndLongOnesCut)
{
    TLogCapture log;
    const TAnswer answer;
    EXPECT_EQ(DecodeOrvexInfoAnswer(answer.Data.data(), 113, "10.77.0.9"), nullptr);
    EXPECT_EQ(DecodeOrvexInfoAnswer(answer.Data.data(), 0, "10.77.0.9"), nullptr);
    ASSERT_EQ(log.Lines().size(), 2u);
    EXPECT_EQ(log.Message(0), "Ignored Orvex answer of 113 bytes from 10.77.0.9");
    EXPECT_EQ(log.Lines()[0].Level, LOG_DEBUG);
    EXPECT_TRUE(log.Captions.empty());

    Bytes longer = answer.Data;
    longer.resize(300, 0xEE);
    const auto device = DecodeOrvexInfoAnswer(longer.data(), longer.size(), "10.77.0.9");
    ASSERT_TRUE(device);
    EXPECT_EQ(device->Info.FirmwareRev, "1.4.2");
    EXPECT_EQ(device->Info.MAC, "00:0A:14:1E:28:32");
}

TEST(TProductOrvex, RestartIsNeededOnlyForAddressOrDhcpChangesAndStaysSet)
{
    const auto fresh = [] {
        auto device = TAnswer().Decode();
        device->Info.Dhcp = 0;
        return device;
    };
    struct Case {
        std::string Ip, Mask, Gateway;
        int32_t Dhcp;
        bool Restart;
        const char* Reason;
    };
    const Case cases[] = {
        {"192.168.1.20", "255.255.255.0", "192.168.1.1", 0, false, "nothing that needs a restart changed"},
        {"192.168.1.21", "255.255.255.0", "192.168.1.1", 0, true, "new address"},
        {"192.168.1.20", "255.255.0.0", "192.168.1.1", 0, true, "new mask"},
        {"192.168.1.20", "255.255.255.0", "192.168.1.254", 0, true, "new gateway"},
        {"192.168.1.20", "255.255.255.0", "192.168.1.1", 1, true, "DHCP switched on"},
        {"192.168.1.20", "255.255.255.0", "192.168.1.1", 65536, false, "DHCP compared in its low 16 bits"},
        {"192.168.001.20", "255.255.255.0", "192.168.1.1", 0, true, "texts compared exactly, not as addresses"},
    };
    for (const Case& c : cases) {
        auto device = fresh();
        device->SetParameters("Other name", c.Ip, c.Mask, c.Gateway, "9.9.9.9", "", c.Dhcp, 8080, 2323);
        EXPECT_EQ(device->RestartNeeded, c.Restart) << c.Reason;
        EXPECT_EQ(device->Info.IP, c.Ip);
        EXPECT_EQ(device->Info.Name, "Other name");
        EXPECT_EQ(device->Info.HTTPPort, 8080);
    }

    // Once set it stays set until the setup has been applied.
    auto device = fresh();
    device->SetParameters("Hall", "192.168.1.20", "255.255.255.0", "10.0.0.1", "8.8.8.8", "1.1.1.1", 0, 80, 23);
    device->SetParameters("Hall 2", "192.168.1.20", "255.255.255.0", "10.0.0.1", "8.8.8.8", "1.1.1.1", 0, 80, 23);
    EXPECT_TRUE(device->RestartNeeded);
    device->ApplySetup();
    EXPECT_FALSE(device->RestartNeeded);
}

TEST(OrvexInfoHandler, FilesAnswersInTheTargetRegistry)
{
    TLogCapture log;
    TDeviceRegistry list;
    const TProductTable products = {"-1=Unknown", "0=Orvex+Basic", "32=Orvex+Sense+32"};
    TUDPServer::TReadHandler handler = OrvexInfoHandler(
        [&](std::unique_ptr<TProduct> device) { list.AddDevice(std::move(device), products, nullptr); });
    const auto OnOrvexInfoAnswer = [&](auto&&... args) { handler(args...); };

    TAnswer answer;
    OnOrvexInfoAnswer(nullptr, answer.Data.data(), answer.Data.size(), "10.77.0.9", 57739);
    OnOrvexInfoAnswer(nullptr, answer.Data.data(), answer.Data.size(), "10.77.0.9", 57739);
    answer.Data[9] = 3;  // same device reporting an error: listed apart, with type 0
    OnOrvexInfoAnswer(nullptr, answer.Data.data(), answer.Data.size(), "10.77.0.9", 57739);
    OnOrvexInfoAnswer(nullptr, answer.Data.data(), 50, "10.77.0.9", 57739);  // too short

    ASSERT_EQ(list.DeviceList().size(), 2u);
    std::vector<std::string> types;
    for (const TDeviceEntry& entry : list.DeviceList())
        types.push_back(entry.Device->Info.TypeName);
    std::sort(types.begin(), types.end());
    EXPECT_EQ(types, (std::vector<std::string>{"Orvex Basic", "Orvex Sense 32"}));
    size_t found = 0;
    for (size_t i = 0; i < log.Lines().size(); ++i)
        found += log.Message(i) == "Found Hall device at 10.77.0.9";
    EXPECT_EQ(found, 3u) << "a duplicate is registered (logged) all the same";

    handler = OrvexInfoHandler({});  // no sink: answers are decoded and dropped
    OnOrvexInfoAnswer(nullptr, answer.Data.data(), answer.Data.size(), "10.77.0.10", 57739);
    EXPECT_EQ(list.DeviceList().size(), 2u);
}

} // namespace
