// The configuration file a simulated device serves as setup.xml: generated from its values at
// start, and read back for the network values a file it is sent carries.
#pragma once
#include <optional>
#include <string>

#include "fleet.h"

namespace sim {

// A realistic file: an XML declaration naming `encoding`, a comment, sections, repeated elements
// with ids, attributes and non-ASCII texts, the device's own MAC, name and network setup. With
// `notWellFormed` a closing tag is missing.
std::string GenerateSetupXml(const DeviceConfig& config, const NetSetup& setup, const std::string& encoding,
                             bool notWellFormed);

// The values a file carries at the device's own places (device/name, network/ip, mask, gateway,
// dns1, dns2, dhcp), each as text (the name in UTF-8); absent ones stay empty.
struct SetupValues {
    std::optional<std::string> name, ip, mask, gateway, dns1, dns2, dhcp;
};
SetupValues ReadSetupValues(const std::string& file);

// The file with the text of its first <counter> element replaced by `value` (unchanged without one).
std::string WithCounter(const std::string& file, long long value);

// The file with the content of its first element `tag` replaced by `text` (UTF-8, escaped and
// written in the encoding the file declares); unchanged when it has no such element with content.
std::string WithElementText(const std::string& file, const std::string& tag, const std::string& text);

}  // namespace sim
