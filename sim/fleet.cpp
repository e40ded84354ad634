// Reading, validating, generating and writing fleet files.
#include "fleet.h"
#include "httpparse.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

#include <nlohmann/json.hpp>

namespace sim {

using nlohmann::json;

const char* HttpAnswerName(HttpAnswer answer) {
    switch (answer) {
    case HttpAnswer::Normal: return "normal";
    case HttpAnswer::Endless: return "endless";
    case HttpAnswer::Empty: return "empty";
    case HttpAnswer::NoContent: return "no_content";
    case HttpAnswer::Partial: return "partial";
    case HttpAnswer::Close: return "close";
    case HttpAnswer::Drip: return "drip";
    }
    return "normal";
}

std::string MacText(const Mac& mac) {
    char text[18];
    std::snprintf(text, sizeof text, "%02X:%02X:%02X:%02X:%02X:%02X", mac[0], mac[1], mac[2], mac[3], mac[4],
                  mac[5]);
    return text;
}

std::string IpText(const Ip4& ip) {
    return std::to_string(ip[0]) + "." + std::to_string(ip[1]) + "." + std::to_string(ip[2]) + "." +
           std::to_string(ip[3]);
}

std::vector<Ip4> LabAddresses(const std::vector<DeviceConfig>& devices) {
    std::vector<Ip4> addresses;
    addresses.reserve(devices.size());
    for (const DeviceConfig& device : devices) {
        addresses.push_back(device.address);
        if (device.schedule.NewIp()) addresses.push_back(device.schedule.new_ip);
    }
    return addresses;
}

std::vector<std::string> AddressPrefixes(const std::vector<Ip4>& addresses) {
    std::vector<uint32_t> keys;
    keys.reserve(addresses.size());
    for (const Ip4& ip : addresses)
        keys.push_back((uint32_t(ip[0]) << 24) | (uint32_t(ip[1]) << 16) | (uint32_t(ip[2]) << 8) | ip[3]);
    std::sort(keys.begin(), keys.end());
    keys.erase(std::unique(keys.begin(), keys.end()), keys.end());
    std::vector<std::string> prefixes;
    for (size_t i = 0; i < keys.size();) {
        // The run of consecutive addresses from keys[i], then the largest aligned block at its
        // start that stays inside the run.
        size_t end = i + 1;
        while (end < keys.size() && keys[end] == keys[end - 1] + 1) ++end;
        while (i < end) {
            const uint32_t start = keys[i];
            const uint64_t left = end - i;
            int bits = 0;  // block size 2^bits
            while (bits < 32 && (start & ((uint64_t(2) << bits) - 1)) == 0 && (uint64_t(2) << bits) <= left) ++bits;
            const Ip4 ip{uint8_t(start >> 24), uint8_t(start >> 16), uint8_t(start >> 8), uint8_t(start)};
            prefixes.push_back(IpText(ip) + "/" + std::to_string(32 - bits));
            i += size_t(1) << bits;
        }
    }
    return prefixes;
}

bool UsableDeviceAddress(const Ip4& a) {
    return !(a[0] == 0 || a[0] == 127 || a[0] >= 224 || a == Ip4{10, 77, 255, 255} || a == Ip4{10, 77, 0, 0} ||
             a == Ip4{10, 77, 0, 1} || a == Ip4{10, 77, 0, 254});
}

std::optional<Mac> ParseMacText(const std::string& text) {
    // Six pairs of hexadecimal digits joined by ':' or '-'.
    if (text.size() != 17) return std::nullopt;
    Mac mac{};
    for (size_t i = 0; i < 6; ++i) {
        if (i > 0 && text[i * 3 - 1] != ':' && text[i * 3 - 1] != '-') return std::nullopt;
        unsigned value = 0;
        for (size_t j = 0; j < 2; ++j) {
            const char c = text[i * 3 + j];
            value <<= 4;
            if (c >= '0' && c <= '9') value |= unsigned(c - '0');
            else if (c >= 'a' && c <= 'f') value |= unsigned(c - 'a' + 10);
            else if (c >= 'A' && c <= 'F') value |= unsigned(c - 'A' + 10);
            else return std::nullopt;
        }
        mac[i] = uint8_t(value);
    }
    return mac;
}

std::optional<Ip4> ParseIpText(const std::string& text) {
    // Exactly four decimal numbers 0-255 of one to three digits, separated by dots.
    Ip4 ip{};
    size_t pos = 0;
    for (size_t part = 0; part < 4; ++part) {
        if (part > 0) {
            if (pos >= text.size() || text[pos] != '.') return std::nullopt;
            ++pos;
        }
        unsigned value = 0;
        size_t digits = 0;
        while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9' && digits < 4) {
            value = value * 10 + unsigned(text[pos] - '0');
            ++pos;
            ++digits;
        }
        if (digits == 0 || digits > 3 || value > 255) return std::nullopt;
        ip[part] = uint8_t(value);
    }
    if (pos != text.size()) return std::nullopt;
    return ip;
}

namespace {

struct FleetError {
    std::string text;
};

[[noreturn]] void Fail(const std::string& where, const std::string& what) { throw FleetError{where + ": " + what}; }

const std::set<std::string> kDeviceKeys = {
    "family", "mac", "name", "ip", "mask", "gateway", "dns1", "dns2", "dhcp", "http_port", "telnet_port",
    "type", "header_type", "firmware", "address", "items", "can_set_default", "error_code", "restart_ms",
    "factory", "faults", "http", "shared_address", "follow_ip", "refuse_commands", "step_aside", "away_ms",
    "gone", "new_ip", "new_firmware"};
const std::set<std::string> kStepAsideKeys = {"to", "heir"};
const std::set<std::string> kSetupKeys = {"name", "ip", "mask", "gateway", "dns1", "dns2", "dhcp", "http_port",
                                          "telnet_port"};
const std::set<std::string> kFaultKeys = {"silent",        "twice",     "late_ms",      "corrupt_mac",
                                          "type_mismatch", "oversized", "answer_every", "ephemeral_port",
                                          "ignore_commands"};
const std::set<std::string> kHttpKeys = {"user",      "password",       "refuse",       "status",
                                         "slow_bps",  "receive_buffer", "upload_fails", "answer_ms",
                                         "setup_xml", "heading",        "answer",       "vanish_after",
                                         "vanish_ms", "encoding",       "changing",     "not_well_formed",
                                         "get_login",  "keep_revision",  "upgrade_changes"};
const HttpAnswer kHttpAnswers[] = {HttpAnswer::Normal, HttpAnswer::Endless, HttpAnswer::Empty, HttpAnswer::NoContent,
                                   HttpAnswer::Partial, HttpAnswer::Close, HttpAnswer::Drip};

void CheckKeys(const json& object, const std::set<std::string>& allowed, const std::string& where) {
    if (!object.is_object()) Fail(where, "must be an object");
    for (const auto& [key, value] : object.items())
        if (!allowed.count(key)) Fail(where, "unknown key \"" + key + "\"");
}

std::string GetText(const json& object, const char* key, const std::string& where) {
    const json& value = object.at(key);
    if (!value.is_string()) Fail(where, std::string("\"") + key + "\" must be a text");
    return value.get<std::string>();
}

long long GetInt(const json& object, const char* key, long long low, long long high, const std::string& where) {
    const json& value = object.at(key);
    if (!value.is_number_integer()) Fail(where, std::string("\"") + key + "\" must be a whole number");
    const long long number = value.get<long long>();
    if (number < low || number > high)
        Fail(where, std::string("\"") + key + "\" must be " + std::to_string(low) + " to " + std::to_string(high));
    return number;
}

// Seconds from the simulator's start: 0 to a day, fractions allowed.
double GetSeconds(const json& object, const char* key, const std::string& where) {
    const json& value = object.at(key);
    if (!value.is_number()) Fail(where, std::string("\"") + key + "\" must be a number of seconds");
    const double seconds = value.get<double>();
    if (!(seconds >= 0 && seconds <= 86400)) Fail(where, std::string("\"") + key + "\" must be 0 to 86400 seconds");
    return seconds;
}

// The revision text a device of the family can report: Orvex at most 16 bytes, HWG "a.b.c".
bool ParseRevision(Family family, const std::string& text, std::array<int, 3>* hwg) {
    if (family == Family::Orvex) return text.size() <= 16;
    int a = -1, b = -1, c = -1;
    char tail = 0;
    if (std::sscanf(text.c_str(), "%d.%d.%d%c", &a, &b, &c, &tail) != 3 || a < 0 || a > 7 || b < 0 || b > 15 ||
        c < 0 || c > 15)
        return false;
    if (hwg) *hwg = {a, b, c};
    return true;
}

bool GetBool(const json& object, const char* key, const std::string& where) {
    const json& value = object.at(key);
    if (!value.is_boolean()) Fail(where, std::string("\"") + key + "\" must be true or false");
    return value.get<bool>();
}

Ip4 GetIp(const json& object, const char* key, const std::string& where) {
    const auto ip = ParseIpText(GetText(object, key, where));
    if (!ip) Fail(where, std::string("\"") + key + "\" is not a dotted IPv4 address");
    return *ip;
}

// Reads the setup keys present in object over setup.
void ReadSetup(const json& object, Family family, NetSetup& setup, const std::string& where) {
    if (object.contains("name")) {
        setup.name = GetText(object, "name", where);
        if (family == Family::Orvex && setup.name.size() > 32) Fail(where, "an Orvex name holds at most 32 bytes");
        if (setup.name.find('\0') != std::string::npos) Fail(where, "a name cannot hold a zero byte");
    }
    if (object.contains("ip")) setup.ip = GetIp(object, "ip", where);
    if (object.contains("mask")) setup.mask = GetIp(object, "mask", where);
    if (object.contains("gateway")) setup.gateway = GetIp(object, "gateway", where);
    if (object.contains("dns1")) setup.dns1 = GetIp(object, "dns1", where);
    if (object.contains("dns2")) setup.dns2 = GetIp(object, "dns2", where);
    if (object.contains("dhcp")) {
        const json& dhcp = object.at("dhcp");
        if (dhcp.is_boolean()) setup.dhcp = dhcp.get<bool>() ? 1 : 0;
        else if (dhcp.is_null() && family == Family::Hwg) setup.dhcp = -1;
        else if (family == Family::Orvex) setup.dhcp = int(GetInt(object, "dhcp", 0, 255, where));
        else Fail(where, "\"dhcp\" of an HWG device must be true, false or null");
    }
    if (object.contains("http_port")) setup.http_port = uint16_t(GetInt(object, "http_port", 0, 65535, where));
    if (object.contains("telnet_port")) setup.telnet_port = uint16_t(GetInt(object, "telnet_port", 0, 65535, where));
}

HwgItem ItemFromText(const std::string& text, const std::string& where) {
    if (text == "can_set_default") return HwgItem::CanSetDefault;
    if (text == "name") return HwgItem::Name;
    if (text == "type") return HwgItem::Type;
    if (text == "http_port") return HwgItem::HttpPort;
    if (text == "telnet_port") return HwgItem::TelnetPort;
    Fail(where, "unknown item \"" + text + "\"");
}

const char* ItemText(HwgItem item) {
    switch (item) {
    case HwgItem::CanSetDefault: return "can_set_default";
    case HwgItem::Name: return "name";
    case HwgItem::Type: return "type";
    case HwgItem::HttpPort: return "http_port";
    case HwgItem::TelnetPort: return "telnet_port";
    }
    return "";
}

bool HasItem(const DeviceConfig& device, HwgItem item) {
    for (HwgItem present : device.items)
        if (present == item) return true;
    return false;
}

// Size of the HWG answer the device sends with this name: header, items, end byte.
size_t HwgAnswerSize(const DeviceConfig& device, const std::string& name) {
    size_t size = 48;
    for (HwgItem item : device.items) {
        switch (item) {
        case HwgItem::CanSetDefault: size += 3; break;
        case HwgItem::Name: size += 2 + name.size() + 1; break;
        case HwgItem::Type: size += 3; break;
        case HwgItem::HttpPort:
        case HwgItem::TelnetPort: size += 4; break;
        }
    }
    return size + 1;
}

// The keys "gone", "new_ip" and "new_firmware": changes at set times.
void ReadSchedule(const json& object, DeviceConfig& device, const std::string& where) {
    Schedule& schedule = device.schedule;
    if (object.contains("gone")) {
        const json& gone = object.at("gone");
        const std::string at = where + " gone";
        CheckKeys(gone, {"from", "to"}, at);
        for (const char* key : {"from", "to"})
            if (!gone.contains(key)) Fail(at, std::string("\"") + key + "\" is missing");
        schedule.gone_from = GetSeconds(gone, "from", at);
        schedule.gone_to = GetSeconds(gone, "to", at);
        if (schedule.gone_to <= schedule.gone_from) Fail(at, "\"to\" must come after \"from\"");
        if (device.away_ms > 0) Fail(at, "a device with \"away_ms\" cannot also be gone");
    }
    if (object.contains("new_ip")) {
        const json& move = object.at("new_ip");
        const std::string at = where + " new_ip";
        CheckKeys(move, {"at", "ip"}, at);
        for (const char* key : {"at", "ip"})
            if (!move.contains(key)) Fail(at, std::string("\"") + key + "\" is missing");
        schedule.new_ip_at = GetSeconds(move, "at", at);
        schedule.new_ip = GetIp(move, "ip", at);
        if (!UsableDeviceAddress(schedule.new_ip) || schedule.new_ip == Ip4{10, 77, 0, 1} ||
            schedule.new_ip == Ip4{10, 77, 0, 254})
            Fail(at, "\"ip\" " + IpText(schedule.new_ip) + " cannot be a device's own address");
        if (schedule.new_ip == device.address) Fail(at, "\"ip\" is where the device is already");
    }
    if (object.contains("new_firmware")) {
        const json& firmware = object.at("new_firmware");
        const std::string at = where + " new_firmware";
        CheckKeys(firmware, {"at", "firmware"}, at);
        for (const char* key : {"at", "firmware"})
            if (!firmware.contains(key)) Fail(at, std::string("\"") + key + "\" is missing");
        schedule.new_firmware_at = GetSeconds(firmware, "at", at);
        schedule.new_firmware = GetText(firmware, "firmware", at);
        if (!ParseRevision(device.family, schedule.new_firmware, nullptr))
            Fail(at, device.family == Family::Hwg ? "HWG \"firmware\" must be \"a.b.c\" with a 0-7, b and c 0-15"
                                                  : "Orvex \"firmware\" holds at most 16 bytes");
    }
}

DeviceConfig ReadDevice(const json& object, size_t index) {
    const std::string where = "device " + std::to_string(index);
    CheckKeys(object, kDeviceKeys, where);
    for (const char* key : {"family", "mac", "ip"})
        if (!object.contains(key)) Fail(where, std::string("\"") + key + "\" is missing");

    DeviceConfig device;
    const std::string family = GetText(object, "family", where);
    if (family == "Orvex") device.family = Family::Orvex;
    else if (family == "HWG") device.family = Family::Hwg;
    else Fail(where, "\"family\" must be \"Orvex\" or \"HWG\"");
    const bool hwg = device.family == Family::Hwg;

    const auto mac = ParseMacText(GetText(object, "mac", where));
    if (!mac) Fail(where, "\"mac\" must be six hexadecimal pairs like 00:0A:14:1E:28:32");
    if (*mac == Mac{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}) Fail(where, "\"mac\" FF:FF:FF:FF:FF:FF addresses all devices");
    device.mac = *mac;

    // Defaults before the keys: a plain device on the lab network.
    device.setup.name = hwg ? "HWG device" : "Orvex device";
    device.setup.mask = {255, 255, 0, 0};
    device.setup.gateway = {10, 77, 0, 254};
    device.setup.dhcp = 0;
    ReadSetup(object, device.family, device.setup, where);
    device.address = object.contains("address") ? GetIp(object, "address", where) : device.setup.ip;

    device.factory = device.setup;
    if (object.contains("factory")) {
        CheckKeys(object.at("factory"), kSetupKeys, where + " factory");
        ReadSetup(object.at("factory"), device.family, device.factory, where + " factory");
    }

    device.type = object.contains("type") ? int(GetInt(object, "type", 0, 255, where)) : (hwg ? 3 : 1);
    if (hwg) {
        device.header_type = device.type <= 31 ? device.type : 31;
        if (object.contains("header_type")) device.header_type = int(GetInt(object, "header_type", 0, 31, where));
        if (object.contains("items")) {
            const json& items = object.at("items");
            if (!items.is_array()) Fail(where, "\"items\" must be a list");
            for (const json& item : items) {
                if (!item.is_string()) Fail(where, "\"items\" holds item names");
                device.items.push_back(ItemFromText(item.get<std::string>(), where));
            }
        } else {
            device.items = {HwgItem::CanSetDefault, HwgItem::Name, HwgItem::Type, HwgItem::HttpPort,
                            HwgItem::TelnetPort};
        }
        if (device.type > 31 && !HasItem(device, HwgItem::Type))
            Fail(where, "an HWG type above 31 needs the \"type\" item");
        if (object.contains("can_set_default")) device.can_set_default = GetBool(object, "can_set_default", where);
        device.firmware = object.contains("firmware") ? GetText(object, "firmware", where) : "1.0.0";
        if (!ParseRevision(Family::Hwg, device.firmware, &device.hwg_rev))
            Fail(where, "HWG \"firmware\" must be \"a.b.c\" with a 0-7, b and c 0-15");
    } else {
        for (const char* key : {"header_type", "items", "can_set_default"})
            if (object.contains(key)) Fail(where, std::string("\"") + key + "\" is for HWG devices only");
        device.firmware = object.contains("firmware") ? GetText(object, "firmware", where) : "1.0";
        if (!ParseRevision(Family::Orvex, device.firmware, nullptr))
            Fail(where, "Orvex \"firmware\" holds at most 16 bytes");
        if (object.contains("error_code")) device.error_code = int(GetInt(object, "error_code", 0, 255, where));
    }
    if (hwg && object.contains("error_code")) Fail(where, "\"error_code\" is for Orvex devices only");
    if (object.contains("restart_ms")) device.restart_ms = int(GetInt(object, "restart_ms", 0, 600000, where));
    if (object.contains("away_ms")) device.away_ms = int(GetInt(object, "away_ms", 0, 86400000, where));
    ReadSchedule(object, device, where);
    if (object.contains("refuse_commands"))
        device.refuse_commands = int(GetInt(object, "refuse_commands", 1, 255, where));
    if (object.contains("shared_address")) device.shared_address = GetBool(object, "shared_address", where);
    if (object.contains("follow_ip")) device.follow_ip = GetBool(object, "follow_ip", where);
    // A device that follows its ip answers from it from the start: a separate lab address would
    // be left behind at its first restart.
    if (device.follow_ip && device.address != device.setup.ip)
        Fail(where, "a \"follow_ip\" device answers from its \"ip\"; leave out \"address\"");
    if (object.contains("step_aside")) {
        const json& aside = object.at("step_aside");
        const std::string at = where + " step_aside";
        CheckKeys(aside, kStepAsideKeys, at);
        for (const char* key : {"to", "heir"})
            if (!aside.contains(key)) Fail(at, std::string("\"") + key + "\" is missing");
        StepAside step;
        step.to = GetIp(aside, "to", at);
        const auto heir = ParseMacText(GetText(aside, "heir", at));
        if (!heir) Fail(at, "\"heir\" must be six hexadecimal pairs like 00:0A:14:1E:28:32");
        step.heir = *heir;
        if (step.heir == device.mac) Fail(at, "\"heir\" must be another device");
        if (!UsableDeviceAddress(step.to) || step.to == Ip4{10, 77, 0, 1} || step.to == Ip4{10, 77, 0, 254})
            Fail(at, "\"to\" " + IpText(step.to) + " cannot be a device's own address");
        // Back from its restart, a device that follows its ip would return to the address it left.
        if (device.follow_ip) Fail(at, "a \"follow_ip\" device cannot step aside");
        device.step_aside = step;
    }

    if (object.contains("faults")) {
        const json& faults = object.at("faults");
        const std::string at = where + " faults";
        CheckKeys(faults, kFaultKeys, at);
        if (faults.contains("silent")) device.faults.silent = GetBool(faults, "silent", at);
        if (faults.contains("twice")) device.faults.twice = GetBool(faults, "twice", at);
        if (faults.contains("late_ms")) device.faults.late_ms = int(GetInt(faults, "late_ms", 0, 600000, at));
        if (faults.contains("corrupt_mac")) device.faults.corrupt_mac = GetBool(faults, "corrupt_mac", at);
        if (faults.contains("type_mismatch")) device.faults.type_mismatch = GetBool(faults, "type_mismatch", at);
        if (faults.contains("oversized")) device.faults.oversized = GetBool(faults, "oversized", at);
        if (faults.contains("answer_every"))
            device.faults.answer_every = int(GetInt(faults, "answer_every", 1, 1000, at));
        if (faults.contains("ephemeral_port")) device.faults.ephemeral_port = GetBool(faults, "ephemeral_port", at);
        if (faults.contains("ignore_commands"))
            device.faults.ignore_commands = GetBool(faults, "ignore_commands", at);
        if (!hwg && (device.faults.corrupt_mac || device.faults.type_mismatch))
            Fail(at, "\"corrupt_mac\" and \"type_mismatch\" are for HWG devices only");
        if (device.faults.type_mismatch && !HasItem(device, HwgItem::Type))
            Fail(at, "\"type_mismatch\" needs the \"type\" item");
    }

    if (object.contains("http")) {
        const json& http = object.at("http");
        const std::string at = where + " http";
        CheckKeys(http, kHttpKeys, at);
        if (http.contains("user")) device.http.user = GetText(http, "user", at);
        if (http.contains("password")) device.http.password = GetText(http, "password", at);
        if (http.contains("refuse")) {
            const std::string refuse = GetText(http, "refuse", at);
            if (refuse == "drop") device.http.refuse_by_drop = true;
            else if (refuse != "401") Fail(at, "\"refuse\" must be \"401\" or \"drop\"");
        }
        if (http.contains("get_login")) device.http.get_login = GetBool(http, "get_login", at);
        if (device.http.get_login && !device.http.NeedsLogin()) Fail(at, "\"get_login\" needs \"user\" or \"password\"");
        if (http.contains("status")) device.http.status = int(GetInt(http, "status", 0, 599, at));
        if (device.http.status != 0 && device.http.status < 400) Fail(at, "\"status\" must be an error status (400-599)");
        if (http.contains("slow_bps")) device.http.slow_bps = int(GetInt(http, "slow_bps", 0, 100000000, at));
        if (http.contains("receive_buffer"))
            device.http.receive_buffer = int(GetInt(http, "receive_buffer", 1024, 16777216, at));
        if (http.contains("upload_fails")) device.http.upload_fails = GetBool(http, "upload_fails", at);
        if (http.contains("keep_revision")) device.http.keep_revision = GetBool(http, "keep_revision", at);
        if (device.http.keep_revision && device.http.upload_fails)
            Fail(at, "\"keep_revision\" and \"upload_fails\" contradict each other");
        if (http.contains("upgrade_changes")) {
            const json& changes = http.at("upgrade_changes");
            if (!changes.is_object() || changes.empty())
                Fail(at, "\"upgrade_changes\" must be an object of element names and texts");
            for (const auto& [element, text] : changes.items()) {
                const bool plain = !element.empty() && std::all_of(element.begin(), element.end(), [](char c) {
                    return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '-';
                });
                if (!plain) Fail(at, "\"upgrade_changes\": \"" + element + "\" is no element name");
                if (!text.is_string()) Fail(at, "\"upgrade_changes\": the text of \"" + element + "\" must be a text");
                device.http.upgrade_changes.emplace_back(element, text.get<std::string>());
            }
        }
        if (http.contains("answer_ms")) device.http.answer_ms = int(GetInt(http, "answer_ms", 0, 86400000, at));
        if (http.contains("vanish_after"))
            device.http.vanish_after = int(GetInt(http, "vanish_after", 1, int64_t(kMaxBodyBytes), at));
        if (http.contains("vanish_ms")) device.http.vanish_ms = int(GetInt(http, "vanish_ms", 0, 86400000, at));
        if (device.http.vanish_ms != 0 && device.http.vanish_after == 0)
            Fail(at, "\"vanish_ms\" needs \"vanish_after\"");
        if (http.contains("setup_xml")) device.http.setup_xml = GetText(http, "setup_xml", at);
        if (http.contains("heading")) device.http.heading = GetText(http, "heading", at);
        if (http.contains("encoding")) {
            device.http.encoding = GetText(http, "encoding", at);
            if (device.http.encoding != "UTF-8" && device.http.encoding != "windows-1250" &&
                device.http.encoding != "ISO-8859-2")
                Fail(at, "\"encoding\" must be \"UTF-8\", \"windows-1250\" or \"ISO-8859-2\"");
        }
        if (http.contains("changing")) device.http.changing = int(GetInt(http, "changing", 0, 86400, at));
        if (http.contains("not_well_formed")) device.http.not_well_formed = GetBool(http, "not_well_formed", at);
        if (http.contains("answer")) {
            const std::string answer = GetText(http, "answer", at);
            bool known = false;
            for (HttpAnswer a : kHttpAnswers)
                if (answer == HttpAnswerName(a)) {
                    device.http.answer = a;
                    known = true;
                }
            if (!known)
                Fail(at, "\"answer\" must be \"normal\", \"endless\", \"empty\", \"no_content\", \"partial\", "
                         "\"close\" or \"drip\"");
        }
    }

    // The factory name is what the device reports after a reset, so it must fit as well.
    for (const NetSetup* setup : {&device.setup, &device.factory}) {
        const size_t size = hwg ? HwgAnswerSize(device, setup->name) : 0;
        if (size > 110)
            Fail(setup == &device.factory ? where + " factory" : where,
                 "the HWG answer would exceed 110 bytes; shorten the name (" + std::to_string(size) + " bytes)");
    }
    return device;
}

void CheckDistinct(const std::vector<DeviceConfig>& devices) {
    std::set<Mac> macs;
    std::map<Ip4, size_t> addresses;  // address -> the first device there
    for (size_t i = 0; i < devices.size(); ++i) {
        const DeviceConfig& device = devices[i];
        const std::string where = "device " + std::to_string(i);
        if (!macs.insert(device.mac).second) Fail(where, "MAC " + MacText(device.mac) + " is used twice");
        // Devices share an address only when each of them says so: a typo stays an error.
        const auto [first, added] = addresses.emplace(device.address, i);
        if (!added && !(device.shared_address && devices[first->second].shared_address))
            Fail(where, "address " + IpText(device.address) + " is used twice (devices " +
                            std::to_string(first->second) + " and " + std::to_string(i) +
                            "; devices that share it must all have \"shared_address\": true)");
        const Ip4& a = device.address;
        if (a == Ip4{10, 77, 0, 1} || a == Ip4{10, 77, 0, 254})
            Fail(where, "10.77.0.1 and 10.77.0.254 belong to the lab");
        if (!UsableDeviceAddress(a)) Fail(where, "address " + IpText(a) + " cannot be a device's own address");
        // While away its address is nobody's: it cannot be shared.
        if (device.away_ms > 0 && device.shared_address) Fail(where, "an \"away_ms\" device cannot share its address");
        if ((device.schedule.Gone() || device.schedule.NewIp()) && (device.shared_address || device.step_aside))
            Fail(where, "a device that is gone or moves at a set time cannot share its address or step aside");
    }
    // A device moves at a set time to an address of its own.
    std::map<Ip4, size_t> moves;
    for (size_t i = 0; i < devices.size(); ++i) {
        if (!devices[i].schedule.NewIp()) continue;
        const Ip4& to = devices[i].schedule.new_ip;
        const std::string where = "device " + std::to_string(i) + " new_ip";
        if (addresses.count(to))
            Fail(where, "\"ip\" " + IpText(to) + " is the address of device " + std::to_string(addresses.at(to)));
        if (!moves.emplace(to, i).second)
            Fail(where, "\"ip\" " + IpText(to) + " is the new address of device " + std::to_string(moves.at(to)) + " too");
    }
    // A device steps aside to an address of its own, and leaves its old one to a device listed.
    for (size_t i = 0; i < devices.size(); ++i) {
        const auto& step = devices[i].step_aside;
        if (!step) continue;
        const std::string where = "device " + std::to_string(i) + " step_aside";
        if (!macs.count(step->heir)) Fail(where, "no device has the \"heir\" MAC " + MacText(step->heir));
        for (const DeviceConfig& heir : devices) {
            if (heir.mac == step->heir && heir.away_ms > 0) Fail(where, "the \"heir\" cannot be away at the start");
            if (heir.mac == step->heir && (heir.schedule.Gone() || heir.schedule.NewIp()))
                Fail(where, "the \"heir\" cannot be gone or move at a set time");
        }
        if (moves.count(step->to))
            Fail(where, "\"to\" " + IpText(step->to) + " is the new address of device " +
                            std::to_string(moves.at(step->to)));
        if (addresses.count(step->to))
            Fail(where, "\"to\" " + IpText(step->to) + " is the address of device " +
                            std::to_string(addresses.at(step->to)));
    }
}

json SetupToJson(const NetSetup& setup, Family family) {
    json object;
    object["name"] = setup.name;
    object["ip"] = IpText(setup.ip);
    object["mask"] = IpText(setup.mask);
    object["gateway"] = IpText(setup.gateway);
    object["dns1"] = IpText(setup.dns1);
    object["dns2"] = IpText(setup.dns2);
    if (family == Family::Hwg && setup.dhcp < 0) object["dhcp"] = nullptr;
    else if (family == Family::Hwg) object["dhcp"] = setup.dhcp != 0;
    else object["dhcp"] = setup.dhcp;
    object["http_port"] = setup.http_port;
    object["telnet_port"] = setup.telnet_port;
    return object;
}

}  // namespace

FleetResult ParseFleet(const std::string& jsonText) {
    FleetResult result;
    try {
        const json fleet = json::parse(jsonText);
        if (!fleet.is_array()) Fail("fleet", "must be a list of device objects");
        for (size_t i = 0; i < fleet.size(); ++i) result.devices.push_back(ReadDevice(fleet[i], i));
        CheckDistinct(result.devices);
    } catch (const FleetError& error) {
        result.devices.clear();
        result.error = error.text;
    } catch (const json::exception& error) {
        result.devices.clear();
        result.error = std::string("not valid JSON: ") + error.what();
    }
    return result;
}

FleetResult LoadFleetFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) return {{}, "cannot read the fleet file " + path};
    std::ostringstream text;
    text << file.rdbuf();
    FleetResult result = ParseFleet(text.str());
    if (!result.error.empty()) result.error = path + ": " + result.error;
    return result;
}

FleetResult GenerateFleet(int orvexCount, int hwgCount) {
    FleetResult result;
    if (orvexCount < 0 || hwgCount < 0 || orvexCount > 30000 || hwgCount > 30000) {
        result.error = "--orvex and --hwg take 0 to 30000 devices each";
        return result;
    }
    static const int kOrvexTypes[] = {1, 2, 3, 4, 20, 32, 33, 128};
    static const int kHwgTypes[] = {2, 3, 10, 11, 15, 65};
    for (int family = 0; family < 2; ++family) {
        const bool hwg = family == 1;
        const int count = hwg ? hwgCount : orvexCount;
        for (int i = 0; i < count; ++i) {
            DeviceConfig device;
            device.family = hwg ? Family::Hwg : Family::Orvex;
            const int number = i + 1;
            // Locally administered MACs, one prefix per family.
            device.mac = {0x02, uint8_t(hwg ? 0x48 : 0x4F), 0x00, uint8_t(number >> 16), uint8_t(number >> 8),
                          uint8_t(number)};
            // Orvex devices from 10.77.1.1, HWG devices from 10.77.128.1, 250 per third number.
            device.setup.ip = {10, 77, uint8_t((hwg ? 128 : 1) + i / 250), uint8_t(1 + i % 250)};
            device.address = device.setup.ip;
            char name[32];
            std::snprintf(name, sizeof name, "%s-%05d", hwg ? "HWG" : "Orvex", number);
            device.setup.name = name;
            device.setup.mask = {255, 255, 0, 0};
            device.setup.gateway = {10, 77, 0, 254};
            device.setup.dns1 = {10, 77, 0, 254};
            device.setup.dhcp = 0;
            if (hwg) {
                device.type = kHwgTypes[i % 6];
                device.header_type = device.type <= 31 ? device.type : 31;
                device.items = {HwgItem::CanSetDefault, HwgItem::Name, HwgItem::Type, HwgItem::HttpPort,
                                HwgItem::TelnetPort};
                device.firmware = "2.3.5";
                device.hwg_rev = {2, 3, 5};
                // One device of the fleet keeps its configuration in a Czech code page.
                if (number == 1) device.http.encoding = "windows-1250";
            } else {
                device.type = kOrvexTypes[i % 8];
                device.firmware = "1.4." + std::to_string(i % 10);
                if (number == 1 && hwgCount == 0) device.http.encoding = "windows-1250";
            }
            device.factory = device.setup;
            result.devices.push_back(std::move(device));
        }
    }
    return result;
}

std::string FleetToJson(const std::vector<DeviceConfig>& devices) {
    json fleet = json::array();
    for (const DeviceConfig& device : devices) {
        const bool hwg = device.family == Family::Hwg;
        json object = SetupToJson(device.setup, device.family);
        object["family"] = hwg ? "HWG" : "Orvex";
        object["mac"] = MacText(device.mac);
        if (device.address != device.setup.ip) object["address"] = IpText(device.address);
        object["type"] = device.type;
        object["firmware"] = device.firmware;
        if (hwg) {
            object["header_type"] = device.header_type;
            json items = json::array();
            for (HwgItem item : device.items) items.push_back(ItemText(item));
            object["items"] = items;
            object["can_set_default"] = device.can_set_default;
        } else if (device.error_code != 0) {
            object["error_code"] = device.error_code;
        }
        if (device.restart_ms >= 0) object["restart_ms"] = device.restart_ms;
        if (device.away_ms > 0) object["away_ms"] = device.away_ms;
        const Schedule& schedule = device.schedule;
        if (schedule.Gone()) object["gone"] = {{"from", schedule.gone_from}, {"to", schedule.gone_to}};
        if (schedule.NewIp()) object["new_ip"] = {{"at", schedule.new_ip_at}, {"ip", IpText(schedule.new_ip)}};
        if (schedule.NewFirmware())
            object["new_firmware"] = {{"at", schedule.new_firmware_at}, {"firmware", schedule.new_firmware}};
        if (device.refuse_commands) object["refuse_commands"] = device.refuse_commands;
        if (device.shared_address) object["shared_address"] = true;
        if (device.follow_ip) object["follow_ip"] = true;
        if (device.step_aside)
            object["step_aside"] = {{"to", IpText(device.step_aside->to)}, {"heir", MacText(device.step_aside->heir)}};
        if (device.factory != device.setup) object["factory"] = SetupToJson(device.factory, device.family);
        const Faults& f = device.faults;
        json faults = json::object();
        if (f.silent) faults["silent"] = true;
        if (f.twice) faults["twice"] = true;
        if (f.late_ms) faults["late_ms"] = f.late_ms;
        if (f.corrupt_mac) faults["corrupt_mac"] = true;
        if (f.type_mismatch) faults["type_mismatch"] = true;
        if (f.oversized) faults["oversized"] = true;
        if (f.answer_every != 1) faults["answer_every"] = f.answer_every;
        if (f.ephemeral_port) faults["ephemeral_port"] = true;
        if (f.ignore_commands) faults["ignore_commands"] = true;
        if (!faults.empty()) object["faults"] = faults;
        const HttpConfig& h = device.http;
        json http = json::object();
        if (!h.user.empty()) http["user"] = h.user;
        if (!h.password.empty()) http["password"] = h.password;
        if (h.refuse_by_drop) http["refuse"] = "drop";
        if (h.get_login) http["get_login"] = true;
        if (h.status) http["status"] = h.status;
        if (h.slow_bps) http["slow_bps"] = h.slow_bps;
        if (h.receive_buffer) http["receive_buffer"] = h.receive_buffer;
        if (h.upload_fails) http["upload_fails"] = true;
        if (h.keep_revision) http["keep_revision"] = true;
        if (!h.upgrade_changes.empty()) {
            json changes = json::object();
            for (const auto& [element, text] : h.upgrade_changes) changes[element] = text;
            http["upgrade_changes"] = changes;
        }
        if (h.answer_ms) http["answer_ms"] = h.answer_ms;
        if (h.vanish_after) http["vanish_after"] = h.vanish_after;
        if (h.vanish_ms) http["vanish_ms"] = h.vanish_ms;
        if (h.setup_xml) http["setup_xml"] = *h.setup_xml;
        if (h.heading) http["heading"] = *h.heading;
        if (h.answer != HttpAnswer::Normal) http["answer"] = HttpAnswerName(h.answer);
        if (h.encoding != "UTF-8") http["encoding"] = h.encoding;
        if (h.changing >= 0) http["changing"] = h.changing;
        if (h.not_well_formed) http["not_well_formed"] = true;
        if (!http.empty()) object["http"] = http;
        fleet.push_back(object);
    }
    // One device a line.
    std::string text = "[\n";
    for (size_t i = 0; i < fleet.size(); ++i)
        text += " " + fleet[i].dump(-1, ' ', false, json::error_handler_t::replace) + (i + 1 < fleet.size() ? ",\n" : "\n");
    return text + "]\n";
}

}  // namespace sim
