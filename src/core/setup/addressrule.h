// The setup panel's address rule: which address texts may be stored in a device and sent in its
// update request. "Apply Changes" in the window and pyxet-cli set go through it, and so must
// anything else that stores a setup and sends it, so that every way of configuring a device
// refuses the same texts.
//
// Blanks around each of the five address texts are removed first; the trimmed text is what is
// checked, stored and sent. Each address the family's update request carries with the given
// DHCP state must then be four decimal numbers 0-255 separated by dots, without leading zeros:
// "10.0.0.1", never "10.0.0.01", "10.0.0.1x", "10..0.1" or "10.0.0.". An empty text is refused
// for the IP address and the mask (a device set to 0.0.0.0 is lost to its web pages); for the
// gateway and the name servers it passes only when the family sends an empty address as 0.0.0.0
// (TProduct::SendsEmptyAddressAsZero). Addresses the request does not carry (an Orvex device
// with DHCP on, an HWG device's name servers) are trimmed but not checked.
//
// The families' own address conversions (TryParseIp, ParseIp) stay as lenient as the devices'
// protocols need; this rule stands before them, so they only ever see texts it passed.
#pragma once
#include "core/devices/product.h"
#include "core/setup/commands.h"
#include "core/setup/fields.h"

#include <optional>
#include <string>
#include <string_view>

// Four decimal numbers 0-255 separated by dots, without leading zeros, and nothing else.
bool IsPlainIpAddress(std::string_view text);

// The text without the blanks (space, tab, line breaks) at its ends.
std::string TrimBlanks(std::string_view text);

// An address the rule refused: its field and its text as checked (trimmed).
struct TRefusedAddress {
    TSetupField Field;
    std::string Text;
};

// Trims the five address texts of values in place, then returns the first one (in the order IP,
// mask, gateway, DNS1, DNS2) that device's update request would carry with values.Dhcp and that
// the rule refuses; nothing when the addresses may be stored and sent.
std::optional<TRefusedAddress> CheckSetupAddresses(const TProduct& device, TSetupValues& values);
