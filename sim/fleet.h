// The simulated devices: their configuration as read from a fleet file or generated, and the
// conversions between that configuration and the fleet file's JSON.
#pragma once
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace sim {

using Mac = std::array<uint8_t, 6>;
using Ip4 = std::array<uint8_t, 4>;  // dotted order: first byte = first number

enum class Family { Orvex, Hwg };

// What a device's network setup holds. Both families keep all of it; HWG devices do not report
// the name servers.
struct NetSetup {
    std::string name;  // UTF-8 bytes as stored (an update may store any bytes)
    Ip4 ip{}, mask{}, gateway{}, dns1{}, dns2{};
    int dhcp = 0;  // Orvex: 0-255 (0 off). HWG: -1 = no DHCP setting, 0 off, 1 on.
    uint16_t http_port = 80;
    uint16_t telnet_port = 23;
    bool operator==(const NetSetup&) const = default;
};

// The optional items an HWG answer carries after its 48-byte header, in the order sent.
enum class HwgItem : uint8_t { CanSetDefault = 1, Name = 2, Type = 4, HttpPort = 5, TelnetPort = 6 };

struct Faults {
    bool silent = false;         // never answers UDP
    bool twice = false;          // sends every UDP answer two times
    int late_ms = 0;             // sends every UDP answer this late
    bool corrupt_mac = false;    // HWG: answers carry a wrong MAC
    bool type_mismatch = false;  // HWG: the type item contradicts the header type
    bool oversized = false;      // answers longer than any valid answer
    int answer_every = 1;        // answers only every this-many-th info request (a lossy network)
    bool ephemeral_port = false;  // UDP answers leave from an ephemeral port, not the service port
    bool ignore_commands = false;  // answers info requests only: commands get no answer and no effect
};

// How a device's web server answers a request it would answer 200 (faults of real devices).
enum class HttpAnswer {
    Normal,
    Endless,     // 200 and a body that never ends
    Empty,       // 200 with an empty body
    NoContent,   // 204, no body
    Partial,     // 206 with the first half of the body
    Close,       // no answer: the connection is closed once the request head is read
    Drip,        // the answer's head a byte at a time, 10 bytes a second, without end
};
const char* HttpAnswerName(HttpAnswer answer);

struct HttpConfig {
    std::string user, password;  // both empty: no login asked
    bool refuse_by_drop = false;  // refuse missing/wrong credentials by closing the connection
    bool get_login = false;       // the GET of setup.xml wants the credentials too
    int status = 0;               // non-zero: every request is answered with this status
    int slow_bps = 0;             // non-zero: request bodies and answers move at this many bytes/s
    int receive_buffer = 0;       // non-zero: SO_RCVBUF of each connection (a small device's window)
    bool upload_fails = false;    // POST /upload is read whole, then answered 500 "Upload failed"
    bool keep_revision = false;   // an image is taken and answered 200, but the device restarts with
                                  // the revision it had (it refused the image)
    // After each image it takes, the first element of each name in its file gets this text
    // (element name, UTF-8 text), as an upgrade that resets or changes settings.
    std::vector<std::pair<std::string, std::string>> upgrade_changes;
    int answer_ms = 0;            // non-zero: the answer waits this long once the request is read
    int vanish_after = 0;         // non-zero: after this many bytes of a request body the device reads
                                  // no more and, vanish_ms later, goes away (answers no packet)
    int vanish_ms = 0;
    std::optional<std::string> heading;  // the <h1> text of every POST /upload answer, as given
    HttpAnswer answer = HttpAnswer::Normal;
    std::optional<std::string> setup_xml;  // initial configuration file; generated when absent
    std::string encoding = "UTF-8";  // of the generated file: UTF-8, windows-1250 or ISO-8859-2
    int changing = -1;            // 0: the file's counter goes up at every download; N: every N seconds
    bool not_well_formed = false;  // the generated file lacks a closing tag
    bool NeedsLogin() const { return !user.empty() || !password.empty(); }
};

// A device that does not take a firmware image: it restarts with the revision it had and comes
// back at `to`, while the `heir` device takes over the address it left (at once).
struct StepAside {
    Ip4 to{};
    Mac heir{};
};

// Changes a device makes at set times, in seconds from the simulator's start (fractions allowed);
// a time below 0 means no such change.
struct Schedule {
    double gone_from = -1, gone_to = -1;  // switched off from gone_from until gone_to
    double new_ip_at = -1;                // from then on configured with new_ip and found there
    Ip4 new_ip{};
    double new_firmware_at = -1;          // from then on reports new_firmware
    std::string new_firmware;
    bool Gone() const { return gone_from >= 0; }
    bool NewIp() const { return new_ip_at >= 0; }
    bool NewFirmware() const { return new_firmware_at >= 0; }
};

struct DeviceConfig {
    Family family = Family::Orvex;
    Mac mac{};
    Ip4 address{};     // where the lab puts the device; answers come from here
    NetSetup setup;    // what the device stores and reports
    NetSetup factory;  // what a factory reset returns to
    int type = 0;      // Orvex 0-255; HWG 0-255 (above 31 needs the type item)
    int header_type = 0;  // HWG: the 5-bit type in byte 23
    std::string firmware;  // Orvex: up to 16 bytes of text; HWG: "a.b.c" (0-7, 0-15, 0-15)
    std::array<int, 3> hwg_rev{};
    std::vector<HwgItem> items;  // HWG only
    bool can_set_default = true;  // HWG item 1
    int error_code = 0;           // Orvex: reported in byte 9; the device then does nothing
    int refuse_commands = 0;      // 1-255: commands refused (Orvex: with this code), info answers normal
    bool shared_address = false;  // other devices may have the same address (each must say so)
    bool follow_ip = false;       // after a restart the device answers from its configured ip
    std::optional<StepAside> step_aside;  // its first firmware image moves it aside (above)
    int restart_ms = -1;          // -1: the simulator's default
    int away_ms = 0;              // non-zero: switched off for this long from the simulator's start
    Schedule schedule;
    Faults faults;
    HttpConfig http;
};

// Parsing of the fleet file. Each failure names the device index and the key.
struct FleetResult {
    std::vector<DeviceConfig> devices;
    std::string error;  // empty on success
};
FleetResult ParseFleet(const std::string& jsonText);
FleetResult LoadFleetFile(const std::string& path);

// Every address the lab must make local for the fleet: the devices' own and those they move to
// at a set time.
std::vector<Ip4> LabAddresses(const std::vector<DeviceConfig>& devices);

// A large fleet of plain devices with distinct MACs and addresses (at most 30000 per family).
FleetResult GenerateFleet(int orvexCount, int hwgCount);

// The fleet in the file format, so that a generated fleet can be written out and read back.
std::string FleetToJson(const std::vector<DeviceConfig>& devices);

// Whether a device can be put at this address in the lab: not the lab's own addresses (10.77.0.1,
// 10.77.0.254, 10.77.0.0, 10.77.255.255), not 0.x, 127.x, multicast or broadcast.
bool UsableDeviceAddress(const Ip4& address);

// The fewest prefixes ("10.77.1.0/26") that together cover exactly the given addresses: the lab
// makes them local to the devices' namespace with one route each, which stays quick for fleets
// where one address per device would take minutes to add.
std::vector<std::string> AddressPrefixes(const std::vector<Ip4>& addresses);

// Text forms.
std::string MacText(const Mac& mac);  // "00:0A:14:1E:28:32"
std::string IpText(const Ip4& ip);    // "10.77.1.10"
std::optional<Mac> ParseMacText(const std::string& text);
std::optional<Ip4> ParseIpText(const std::string& text);

}  // namespace sim
