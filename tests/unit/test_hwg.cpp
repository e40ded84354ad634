// HWG info request and answer decoding: header fields, the item walk, the type check, the
// MAC check and the length limits.
#include "core/protocols/hwg/packets.h"
#include "core/protocols/hwg/discovery.h"
#include "core/protocols/hwg/tea.h"

#include "core/devices/registry.h"
#include "logcapture.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

TEST(HwgInfoRequest, IsTheFixed48ByteTextWithoutMac)
{
    const std::string text = "IIIIMMMMFFFFWWWWUC12345678(c)ORVEX DEVICES";
    ASSERT_EQ(text.size(), 42u);
    Bytes expected(48, 0xFF);
    std::copy(text.begin(), text.end(), expected.begin() + 6);
    const Bytes request = BuildHwgInfoRequest();
    EXPECT_EQ(request, expected);
    EXPECT_EQ(std::string(request.begin() + 40, request.end()), " DEVICES") << "bytes 40-47 are trailer text";
}

// A device's answer: header fields at their offsets, items after byte 48, signed.
struct TAnswer {
    Bytes Header = Bytes(48, 0);
    Bytes Items;

    TAnswer()
    {
        Set(0, {0x00, 0x0A, 0x59, 0x01, 0x02, 0x03});
        Set(6, {192, 168, 1, 50});
        Set(10, {255, 255, 255, 0});
        Set(14, {1, 2, 3, 4, 5, 6, 7, 8});
        Set(22, {0x35, 0x1A});  // revision 2.3.5, type 3
        Set(24, {192, 168, 1, 1});
        Header[28] = 0x18;      // DHCP present and on
        Set(30, {0x00, 0x50});  // HTTP port 80
    }
    void Set(size_t at, Bytes bytes) { std::copy(bytes.begin(), bytes.end(), Header.begin() + at); }
    TAnswer& Item(uint8_t type, Bytes value)
    {
        Items.push_back(type);
        Items.push_back(static_cast<uint8_t>(value.size()));
        Items.insert(Items.end(), value.begin(), value.end());
        return *this;
    }
    static Bytes Text(const std::string& s, bool nul = true)
    {
        Bytes b(s.begin(), s.end());
        if (nul)
            b.push_back(0);
        return b;
    }
    Bytes Datagram() const
    {
        Bytes d = Header;
        d.insert(d.end(), Items.begin(), Items.end());
        HwgSignPacket(d.data(), d.size());
        return d;
    }
    std::unique_ptr<TProductHwg> Decode(const std::string& peer = "10.77.0.20") const
    {
        const Bytes d = Datagram();
        return DecodeHwgInfoAnswer(d.data(), d.size(), peer);
    }
};

// The built-in HWG product table, as the settings carry it.
const TProductTable kHwgTable = {
    "0=Unknown", "2=Damocles+2404", "3=Poseidon+2261", "4=Poseidon+2251&62", "10=Poseidon+1250",
    "11=Poseidon+3262", "12=Poseidon+3265", "13=Poseidon+3264&66", "14=Poseidon+3268", "15=Damocles+MINI",
    "16=Damocles+0808", "23=Poseidon+SITEMON", "24=Poseidon+3468", "25=Poseidon+4001", "26=Poseidon+4002",
    "34=Poseidon+2250", "40=Damocles+1208", "65=Poseidon2+3266", "66=Poseidon2+3268", "67=Poseidon2+3468",
    "68=Poseidon2+4002"};

TEST(HwgInfoAnswer, HeaderOnlyAnswerFillsEveryField)
{
    TLogCapture log;
    const TAnswer answer;
    const Bytes datagram = answer.Datagram();
    const auto device = DecodeHwgInfoAnswer(datagram.data(), datagram.size(), "10.77.0.20");
    ASSERT_TRUE(device);
    const TProductInfo& info = device->Info;
    EXPECT_EQ(info.TypeCode, 3);            // 0x1A >> 3
    EXPECT_EQ(info.FirmwareRev, "2.3.5");   // 0x1A & 7, 0x35 >> 4, 0x35 & 15
    EXPECT_EQ(info.MAC, "00:0A:59:01:02:03");
    EXPECT_EQ(info.Name, "N/A");
    EXPECT_EQ(info.PeerIP, "10.77.0.20");
    EXPECT_EQ(info.IP, "192.168.1.50");
    EXPECT_EQ(info.Mask, "255.255.255.0");
    EXPECT_EQ(info.Gateway, "192.168.1.1");
    EXPECT_EQ(info.DNS1, "N/A");
    EXPECT_EQ(info.DNS2, "N/A");
    EXPECT_EQ(info.Dhcp, 1);
    EXPECT_EQ(info.HTTPPort, 80);  // big-endian 00 50
    EXPECT_EQ(info.TelnetPort, -1);
    EXPECT_TRUE(info.CanSetDefault);
    EXPECT_FALSE(info.CanRestart);
    EXPECT_FALSE(device->RestartNeeded);
    EXPECT_EQ(device->AnswerPacket, datagram);
    EXPECT_EQ(ProductTypeName(kHwgTable, info.TypeCode), "Poseidon 2261");
    EXPECT_TRUE(log.Lines().empty());
}

TEST(HwgInfoAnswer, ItemsFillNamePortsAndFactoryDefault)
{
    TAnswer answer;
    answer.Item(2, TAnswer::Text("Kotelna \xC5\x99"))
        .Item(4, {3})
        .Item(5, {0x1F, 0x90})
        .Item(6, {0x00, 0x17})
        .Item(1, {0});
    const auto device = answer.Decode();
    ASSERT_TRUE(device);
    EXPECT_EQ(device->Info.Name, "Kotelna \xC5\x99");
    EXPECT_EQ(device->Info.TypeCode, 3);
    EXPECT_EQ(device->Info.HTTPPort, 8080);
    EXPECT_EQ(device->Info.TelnetPort, 23);
    EXPECT_FALSE(device->Info.CanSetDefault);
    EXPECT_EQ(device->AnswerPacket.size(), 48 + answer.Items.size());
}

TEST(HwgInfoAnswer, TypeItemAgainstTheHeaderType)
{
    struct Case {
        uint8_t TypeByte;  // byte 23 (type in bits 7-3)
        int TypeItem;      // -1: none
        bool Accepted;
        int TypeCode;
        const char* Reason;
    };
    const Case cases[] = {
        {31 << 3, 65, true, 65, "wide type under header type 31"},
        {3 << 3, 3, true, 3, "item agrees with the header"},
        {2 << 3, 3, false, 0, "item contradicts the header"},
        {29 << 3, 30, false, 0, "30 is still checked"},
        {0 << 3, 31, true, 31, "31 and more are not checked"},
        {5 << 3, 255, true, 255, "type item is unsigned"},
        {(7 << 3) | 5, -1, true, 7, "without an item the header type counts"},
    };
    for (const Case& c : cases) {
        TLogCapture log;
        TAnswer answer;
        answer.Header[23] = c.TypeByte;
        if (c.TypeItem >= 0)
            answer.Item(4, {static_cast<uint8_t>(c.TypeItem)});
        const auto device = answer.Decode("10.77.0.21");
        EXPECT_EQ(device != nullptr, c.Accepted) << c.Reason;
        if (device) {
            EXPECT_EQ(device->Info.TypeCode, c.TypeCode) << c.Reason;
            EXPECT_TRUE(log.Lines().empty()) << c.Reason;
        } else {
            ASSERT_EQ(log.Lines().size(), 1u) << c.Reason;
            EXPECT_EQ(log.Message(0), "Error device type at 10.77.0.21");
            EXPECT_EQ(log.Lines()[0].Level, LOG_DEBUG);
            EXPECT_TRUE(log.Captions.empty()) << "empty caption leaves the status panel alone";
        }
    }

    TAnswer poseidon2;
    poseidon2.Header[23] = 31 << 3;
    poseidon2.Item(4, {65});
    EXPECT_EQ(ProductTypeName(kHwgTable, poseidon2.Decode()->Info.TypeCode), "Poseidon2 3266");
}

TEST(HwgInfoAnswer, HttpPortComesFromTheHeaderOnlyWithoutTypeItem)
{
    TAnswer noType;
    noType.Set(30, {0x1F, 0x90});
    noType.Item(5, {0x00, 0x51});
    EXPECT_EQ(noType.Decode()->Info.HTTPPort, 8080) << "header port replaces a type 5 item";

    TAnswer typeOnly;
    typeOnly.Item(4, {3});
    EXPECT_EQ(typeOnly.Decode()->Info.HTTPPort, -1) << "type item without port item: not reported";

    TAnswer both;
    both.Item(5, {0x00, 0x51}).Item(4, {3});
    EXPECT_EQ(both.Decode()->Info.HTTPPort, 81);

    TAnswer highPort;
    highPort.Set(30, {0xFF, 0xFF});
    EXPECT_EQ(highPort.Decode()->Info.HTTPPort, -1) << "FF FF reads as not available";
}

TEST(HwgInfoAnswer, DhcpFlags)
{
    struct Case {
        uint8_t Flags;
        int16_t Dhcp;
        const char* Reason;
    };
    const Case cases[] = {
        {0x18, 1, "present and enabled"},
        {0x08, 0, "present and disabled"},
        {0x10, -1, "bit 3 clear: no DHCP setting, whatever bit 4 says"},
        {0x00, -1, "no flags"},
        {0xEF, 0, "other bits do not count"},
    };
    for (const Case& c : cases) {
        TAnswer answer;
        answer.Header[28] = c.Flags;
        EXPECT_EQ(answer.Decode()->Info.Dhcp, c.Dhcp) << c.Reason;
    }
}

TEST(HwgInfoAnswer, ItemWalkEndsAtFFAndAtTheDatagramEnd)
{
    TAnswer stopped;
    stopped.Item(2, TAnswer::Text("Early")).Items.push_back(0xFF);
    stopped.Item(2, TAnswer::Text("Late")).Item(6, {0, 23});
    auto device = stopped.Decode();
    EXPECT_EQ(device->Info.Name, "Early");
    EXPECT_EQ(device->Info.TelnetPort, -1) << "items after FF are ignored";

    TAnswer unknown;
    unknown.Item(7, {2, 0xFF, 5}).Item(0, {}).Item(2, TAnswer::Text("Known"));
    EXPECT_EQ(unknown.Decode()->Info.Name, "Known") << "unknown types are skipped by their length";

    TAnswer twice;
    twice.Item(2, TAnswer::Text("First")).Item(2, TAnswer::Text("Second")).Item(1, {1}).Item(1, {0});
    device = twice.Decode();
    EXPECT_EQ(device->Info.Name, "Second") << "the last occurrence wins";
    EXPECT_FALSE(device->Info.CanSetDefault);

    TAnswer noNul;
    noNul.Item(2, TAnswer::Text("Exact", false)).Item(6, {0, 23});
    device = noNul.Decode();
    EXPECT_EQ(device->Info.Name, "Exact") << "a name without NUL ends with its value";
    EXPECT_EQ(device->Info.TelnetPort, 23);

    TAnswer overrun;
    overrun.Item(6, {0, 23});
    overrun.Items.insert(overrun.Items.end(), {2, 10, 'a', 'b', 'c'});  // value runs past the end
    device = overrun.Decode();
    ASSERT_TRUE(device);
    EXPECT_EQ(device->Info.TelnetPort, 23);
    EXPECT_EQ(device->Info.Name, "N/A");

    TAnswer noLength;
    noLength.Item(6, {0, 23}).Items.push_back(2);  // type byte is the last byte
    device = noLength.Decode();
    ASSERT_TRUE(device);
    EXPECT_EQ(device->Info.Name, "N/A");

    TAnswer tooShort;
    tooShort.Item(5, {0x51}).Item(4, {}).Item(6, {0x01});  // values shorter than their field
    device = tooShort.Decode();
    ASSERT_TRUE(device);
    EXPECT_EQ(device->Info.TypeCode, 3) << "an empty type item is no type item";
    EXPECT_EQ(device->Info.HTTPPort, 80);
    EXPECT_EQ(device->Info.TelnetPort, -1);
}

TEST(HwgInfoAnswer, NothingAfterTheEndByteIsRead)
{
    // Each tail would set the Telnet port if the walk went on past FF: read as an item with an
    // empty value, or skipped as a single byte.
    const struct {
        Bytes Tail;
        const char* Reason;
    } cases[] = {
        {{0xFF, 0x00, 6, 2, 0x00, 0x17}, "FF 00 is no empty item"},
        {{0xFF, 6, 2, 0x00, 0x17}, "FF is no one-byte item"},
    };
    for (const auto& c : cases) {
        TAnswer answer;
        answer.Item(6, {0x09, 0x13});
        answer.Items.insert(answer.Items.end(), c.Tail.begin(), c.Tail.end());
        const auto device = answer.Decode();
        ASSERT_TRUE(device) << c.Reason;
        EXPECT_EQ(device->Info.TelnetPort, 2323) << c.Reason;

        TAnswer alone;  // FF as the first item byte
        alone.Items = c.Tail;
        const auto first = alone.Decode();
        ASSERT_TRUE(first) << c.Reason;
        EXPECT_EQ(first->Info.TelnetPort, -1) << c.Reason;
    }
}

TEST(HwgInfoAnswer, ItemsRunningPastTheDatagramAreNotRead)
{
    // The datagram ends inside a buffer that holds the rest of the last item, so a value read
    // past the end would show in the device. Items before it still count.
    const struct {
        uint8_t Type;
        Bytes Value;
        size_t Cut;  // bytes of the item beyond the datagram's end
        const char* Reason;
    } cases[] = {
        {6, {0x00, 0x17}, 1, "Telnet port one byte past the end"},
        {6, {0x00, 0x17}, 2, "Telnet port two bytes past the end"},
        {6, {0x00, 0x17}, 3, "length byte past the end"},
        {2, TAnswer::Text("Sklad", false), 1, "name one byte past the end"},
        {2, TAnswer::Text("Sklad", false), 2, "name two bytes past the end"},
    };
    for (const auto& c : cases) {
        TAnswer answer;
        answer.Item(4, {3}).Item(5, {0x1F, 0x90}).Item(c.Type, c.Value);
        const Bytes whole = answer.Datagram();
        const auto device = DecodeHwgInfoAnswer(whole.data(), whole.size() - c.Cut, "10.77.0.20");
        ASSERT_TRUE(device) << c.Reason;
        EXPECT_EQ(device->Info.HTTPPort, 8080) << c.Reason;
        EXPECT_EQ(device->Info.TelnetPort, -1) << c.Reason;
        EXPECT_EQ(device->Info.Name, "N/A") << c.Reason;
        EXPECT_EQ(device->AnswerPacket.size(), whole.size() - c.Cut) << c.Reason;

        // Whole, the same item is read: the cut alone keeps it out.
        const auto complete = DecodeHwgInfoAnswer(whole.data(), whole.size(), "10.77.0.20");
        ASSERT_TRUE(complete) << c.Reason;
        if (c.Type == 6)
            EXPECT_EQ(complete->Info.TelnetPort, 23) << c.Reason;
        else
            EXPECT_EQ(complete->Info.Name, "Sklad") << c.Reason;
    }
}

TEST(HwgInfoAnswer, LengthLimitsAndMacCheck)
{
    TLogCapture log;
    TAnswer max;
    max.Item(2, Bytes(60, 'x'));  // 48 + 62 = 110 bytes
    const Bytes d110 = max.Datagram();
    ASSERT_EQ(d110.size(), 110u);
    EXPECT_TRUE(DecodeHwgInfoAnswer(d110.data(), d110.size(), "10.77.0.20"));

    TAnswer over;
    over.Item(2, Bytes(61, 'x'));
    const Bytes d111 = over.Datagram();
    ASSERT_EQ(d111.size(), 111u);
    EXPECT_FALSE(DecodeHwgInfoAnswer(d111.data(), d111.size(), "10.77.0.20"));
    EXPECT_TRUE(log.Lines().empty()) << "111 bytes are ignored silently";

    const Bytes d48 = TAnswer().Datagram();
    EXPECT_FALSE(DecodeHwgInfoAnswer(d48.data(), 47, "10.77.0.22"));
    Bytes tampered = d48;
    tampered[6] ^= 1;
    EXPECT_FALSE(DecodeHwgInfoAnswer(tampered.data(), tampered.size(), "10.77.0.23"));
    const Bytes request = BuildHwgInfoRequest();
    EXPECT_FALSE(DecodeHwgInfoAnswer(request.data(), request.size(), "10.77.0.1")) << "our own request";
    ASSERT_EQ(log.Lines().size(), 3u);
    EXPECT_EQ(log.Message(0), "Error verify packet from 10.77.0.22");
    EXPECT_EQ(log.Message(1), "Error verify packet from 10.77.0.23");
    EXPECT_EQ(log.Lines()[0].Level, LOG_DEBUG);
    EXPECT_TRUE(log.Captions.empty());

    // Items are outside the MAC: changing them keeps the answer valid.
    Bytes items = max.Datagram();
    items[60] = 'y';
    EXPECT_TRUE(DecodeHwgInfoAnswer(items.data(), items.size(), "10.77.0.20"));
}

TEST(TProductHwg, EverySetParametersNeedsARestart)
{
    auto device = TAnswer().Decode();
    device->SetParameters("N/A", "192.168.1.50", "255.255.255.0", "192.168.1.1", "N/A", "N/A", 1, 80, -1);
    EXPECT_TRUE(device->RestartNeeded) << "even with nothing changed";
    EXPECT_EQ(device->Info.TelnetPort, -1);
    device->ApplySetup();
    EXPECT_FALSE(device->RestartNeeded);
}

TEST(HwgInfoHandler, FilesVerifiedAnswersInTheTargetRegistry)
{
    TLogCapture log;
    TDeviceRegistry list;
    const TUDPServer::TReadHandler OnHwgInfoAnswer = HwgInfoHandler(
        [&](std::unique_ptr<TProduct> device) { list.AddDevice(std::move(device), kHwgTable, nullptr); });

    TAnswer poseidon2;
    poseidon2.Header[23] = 31 << 3;
    poseidon2.Item(4, {65}).Item(2, TAnswer::Text("Sklad"));
    const Bytes good = poseidon2.Datagram();
    Bytes bad = good;
    bad[41] ^= 0x80;
    OnHwgInfoAnswer(nullptr, good.data(), good.size(), "10.77.0.30", 9999);
    OnHwgInfoAnswer(nullptr, bad.data(), bad.size(), "10.77.0.31", 9999);
    OnHwgInfoAnswer(nullptr, good.data(), good.size(), "10.77.0.30", 9999);

    ASSERT_EQ(list.DeviceList().size(), 1u);
    const TProduct& device = *list.DeviceList()[0].Device;
    EXPECT_EQ(device.Info.TypeName, "Poseidon2 3266");
    EXPECT_EQ(device.Info.Name, "Sklad");
    EXPECT_EQ(dynamic_cast<const TProductHwg&>(device).AnswerPacket, good);
    size_t found = 0, refused = 0;
    for (size_t i = 0; i < log.Lines().size(); ++i) {
        found += log.Message(i) == "Found Sklad device at 10.77.0.30";
        refused += log.Message(i) == "Error verify packet from 10.77.0.31";
    }
    EXPECT_EQ(found, 2u);
    EXPECT_EQ(refused, 1u);
}

} // namespace
