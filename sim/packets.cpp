// Orvex and HWG datagrams from the device's side.
#include "packets.h"

#include <algorithm>
#include <cstring>

#include "tea.h"

namespace sim {

namespace {

Ip4 ReadIp(const uint8_t* p) { return {p[0], p[1], p[2], p[3]}; }
void WriteIp(uint8_t* p, const Ip4& ip) { std::copy(ip.begin(), ip.end(), p); }
uint16_t ReadLe16(const uint8_t* p) { return uint16_t(p[0] | (p[1] << 8)); }
void WriteLe16(uint8_t* p, uint16_t v) {
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
}
uint16_t ReadBe16(const uint8_t* p) { return uint16_t((p[0] << 8) | p[1]); }
void WriteBe16(uint8_t* p, uint16_t v) {
    p[0] = uint8_t(v >> 8);
    p[1] = uint8_t(v);
}

// Sub-items of a parameter query or product item: id, length, value, filling the item exactly.
bool WalkSubItems(const uint8_t* p, size_t size, std::string& why) {
    size_t pos = 0;
    while (pos < size) {
        if (size - pos < 2 || p[pos + 1] > size - pos - 2) {
            why = "sub-item runs past the end of its item";
            return false;
        }
        pos += 2 + p[pos + 1];
    }
    return true;
}

bool ReadSetItem(const uint8_t* p, size_t size, OrvexSetValues& values, std::string& why) {
    size_t pos = 0;
    while (pos < size) {
        if (size - pos < 2 || p[pos + 1] > size - pos - 2) {
            why = "sub-item runs past the end of its item";
            return false;
        }
        const uint8_t id = p[pos];
        const uint8_t length = p[pos + 1];
        const uint8_t* value = p + pos + 2;
        const auto expect = [&](uint8_t wanted) {
            if (length == wanted) return true;
            why = "sub-item " + std::to_string(id) + " has length " + std::to_string(length);
            return false;
        };
        switch (id) {
        case 0x13: {
            if (!expect(33)) return false;
            // Text up to the first zero byte; the field holds at most 32 bytes of text.
            size_t textLength = 0;
            while (textLength < 32 && value[textLength] != 0) ++textLength;
            values.name = std::string(reinterpret_cast<const char*>(value), textLength);
            break;
        }
        case 0x00: if (!expect(4)) return false; values.ip = ReadIp(value); break;
        case 0x01: if (!expect(4)) return false; values.mask = ReadIp(value); break;
        case 0x02: if (!expect(4)) return false; values.gateway = ReadIp(value); break;
        case 0x03: if (!expect(4)) return false; values.dns1 = ReadIp(value); break;
        case 0x04: if (!expect(4)) return false; values.dns2 = ReadIp(value); break;
        case 0x5F: if (!expect(1)) return false; values.dhcp = value[0]; break;
        case 0x05: if (!expect(2)) return false; values.http_port = ReadLe16(value); break;
        case 0x06: if (!expect(2)) return false; values.telnet_port = ReadLe16(value); break;
        default:
            why = "unknown parameter sub-item " + std::to_string(id);
            return false;
        }
        pos += 2 + length;
    }
    return true;
}

}  // namespace

std::optional<OrvexRequest> ParseOrvexRequest(const uint8_t* data, size_t size, std::string& why) {
    if (size < kOrvexHeaderSize) {
        why = "shorter than the 11-byte header";
        return std::nullopt;
    }
    if (data[6] != 1) {
        why = "header type " + std::to_string(data[6]) + " is not 1";
        return std::nullopt;
    }
    const size_t length = ReadBe16(data + 7);
    if (length != size - kOrvexHeaderSize) {
        why = "length field " + std::to_string(length) + " does not match " + std::to_string(size - kOrvexHeaderSize);
        return std::nullopt;
    }
    OrvexRequest request;
    std::copy(data, data + 6, request.target.begin());
    request.toAll = std::all_of(data, data + 6, [](uint8_t b) { return b == 0xFF; });
    size_t pos = kOrvexHeaderSize;
    if (pos == size) {
        why = "no items";
        return std::nullopt;
    }
    while (pos < size) {
        if (size - pos < 3) {
            why = "item header runs past the end";
            return std::nullopt;
        }
        const uint8_t type = data[pos];
        const size_t itemLength = ReadBe16(data + pos + 1);
        const uint8_t* content = data + pos + 3;
        if (itemLength > size - pos - 3) {
            why = "item " + std::to_string(type) + " runs past the end";
            return std::nullopt;
        }
        switch (type) {
        case 1:
            if (!WalkSubItems(content, itemLength, why)) return std::nullopt;
            request.query = true;
            break;
        case 2:
            if (!ReadSetItem(content, itemLength, request.values, why)) return std::nullopt;
            request.set = true;
            break;
        case 3:
            if (!WalkSubItems(content, itemLength, why)) return std::nullopt;
            break;
        case 4:
            if (itemLength != 2) {
                why = "action item of length " + std::to_string(itemLength);
                return std::nullopt;
            }
            request.action = content[0];
            break;
        default:
            why = "unknown item type " + std::to_string(type);
            return std::nullopt;
        }
        pos += 3 + itemLength;
    }
    return request;
}

Bytes BuildOrvexInfoAnswer(const Mac& mac, const NetSetup& setup, int type, const std::string& firmware,
                           int errorCode) {
    static const uint8_t kLayout[kOrvexInfoSize] = {
        // header, parameter query item
        0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x01, 0x00, 0x67, 0x00, 0x00, 0x01, 0x00, 0x4C, 0x13, 0x21};
    Bytes answer(kOrvexInfoSize, 0);
    std::copy(std::begin(kLayout), std::begin(kLayout) + 16, answer.begin());
    std::copy(mac.begin(), mac.end(), answer.begin());
    answer[9] = uint8_t(errorCode);
    const size_t nameLength = std::min<size_t>(setup.name.size(), 32);
    std::memcpy(&answer[16], setup.name.data(), nameLength);
    const struct {
        size_t at;
        uint8_t id, length;
    } subItems[] = {{49, 0x00, 4}, {55, 0x01, 4}, {61, 0x02, 4}, {67, 0x03, 4},
                    {73, 0x04, 4}, {79, 0x5F, 1}, {82, 0x05, 2}, {86, 0x06, 2}};
    for (const auto& sub : subItems) {
        answer[sub.at] = sub.id;
        answer[sub.at + 1] = sub.length;
    }
    WriteIp(&answer[51], setup.ip);
    WriteIp(&answer[57], setup.mask);
    WriteIp(&answer[63], setup.gateway);
    WriteIp(&answer[69], setup.dns1);
    WriteIp(&answer[75], setup.dns2);
    answer[81] = uint8_t(setup.dhcp);
    WriteLe16(&answer[84], setup.http_port);
    WriteLe16(&answer[88], setup.telnet_port);
    // product item: type code, firmware revision
    answer[90] = 0x03;
    answer[91] = 0x00;
    answer[92] = 0x15;
    answer[93] = 0x00;
    answer[94] = 0x01;
    answer[95] = uint8_t(type);
    answer[96] = 0x02;
    answer[97] = 0x10;
    std::memcpy(&answer[98], firmware.data(), std::min<size_t>(firmware.size(), 16));
    return answer;
}

Bytes BuildOrvexCommandAnswer(const uint8_t* request, size_t size, const Mac& mac, int errorCode) {
    Bytes answer(request, request + size);
    std::copy(mac.begin(), mac.end(), answer.begin());
    answer[9] = uint8_t(errorCode);
    return answer;
}

const Bytes& HwgInfoRequest() {
    static const Bytes request = [] {
        const std::string text = "\xFF\xFF\xFF\xFF\xFF\xFF"
                                 "IIIIMMMMFFFFWWWWUC12345678"
                                 "(c)ORVEX DEVICES";
        return Bytes(text.begin(), text.end());
    }();
    return request;
}

bool IsHwgInfoRequest(const uint8_t* data, size_t size) {
    const Bytes& request = HwgInfoRequest();
    return size == request.size() && std::equal(request.begin(), request.end(), data);
}

uint8_t HwgFillerByte(size_t offset) { return uint8_t(0xA0 + offset); }

namespace {
bool IsFillerOffset(size_t offset) {
    return (offset >= 14 && offset <= 21) || offset == 29 || (offset >= 32 && offset <= 39);
}
}  // namespace

Bytes BuildHwgAnswer(const DeviceConfig& device, const NetSetup& setup) {
    Bytes answer(kHwgHeaderSize, 0);
    std::copy(device.mac.begin(), device.mac.end(), answer.begin());
    WriteIp(&answer[6], setup.ip);
    WriteIp(&answer[10], setup.mask);
    for (size_t offset = 0; offset < kHwgHeaderSize; ++offset)
        if (IsFillerOffset(offset)) answer[offset] = HwgFillerByte(offset);
    answer[22] = uint8_t((device.hwg_rev[1] << 4) | device.hwg_rev[2]);
    answer[23] = uint8_t((device.header_type << 3) | device.hwg_rev[0]);
    WriteIp(&answer[24], setup.gateway);
    answer[28] = setup.dhcp < 0 ? 0x00 : uint8_t(0x08 | (setup.dhcp ? 0x10 : 0x00));
    WriteBe16(&answer[30], setup.http_port);
    HwgSign(answer.data());
    if (device.faults.corrupt_mac) answer[47] ^= 0x01;

    for (HwgItem item : device.items) {
        answer.push_back(uint8_t(item));
        switch (item) {
        case HwgItem::CanSetDefault:
            answer.push_back(1);
            answer.push_back(device.can_set_default ? 1 : 0);
            break;
        case HwgItem::Name:
            answer.push_back(uint8_t(setup.name.size() + 1));
            answer.insert(answer.end(), setup.name.begin(), setup.name.end());
            answer.push_back(0);
            break;
        case HwgItem::Type: {
            int type = device.type;
            if (device.faults.type_mismatch) type = device.header_type == 0 ? 1 : device.header_type - 1;
            answer.push_back(1);
            answer.push_back(uint8_t(type));
            break;
        }
        case HwgItem::HttpPort:
        case HwgItem::TelnetPort: {
            const uint16_t port = item == HwgItem::HttpPort ? setup.http_port : setup.telnet_port;
            answer.push_back(2);
            answer.push_back(uint8_t(port >> 8));
            answer.push_back(uint8_t(port));
            break;
        }
        }
    }
    if (device.faults.oversized) {
        // An item of a type the program does not know, making the answer 128 bytes long.
        const size_t fill = 128 - 1 - answer.size() - 2;
        answer.push_back(0x30);
        answer.push_back(uint8_t(fill));
        answer.insert(answer.end(), fill, 0x55);
    }
    answer.push_back(0xFF);
    return answer;
}

std::optional<HwgCommand> ParseHwgCommand(const uint8_t* data, size_t size) {
    if (size != kHwgHeaderSize) return std::nullopt;
    HwgCommand command;
    std::copy(data, data + 6, command.target.begin());
    command.authentic = HwgVerify(data, size);
    command.factoryDefault = (data[28] & 0x20) != 0;
    command.dhcp = (data[28] & 0x10) != 0;
    command.ip = ReadIp(data + 6);
    command.mask = ReadIp(data + 10);
    command.gateway = ReadIp(data + 24);
    command.http_port = ReadBe16(data + 30);
    command.fillerIntact = true;
    for (size_t offset = 0; offset < kHwgHeaderSize; ++offset)
        if (IsFillerOffset(offset) && data[offset] != HwgFillerByte(offset)) command.fillerIntact = false;
    return command;
}

}  // namespace sim
