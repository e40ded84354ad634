// The addresses of a search on other subnets, as the user writes them: single addresses,
// ranges (10.1.2.10-10.1.2.50, or 10.1.2.10-50) and CIDR blocks (10.1.2.0/24), separated by
// commas, semicolons, blanks or line breaks.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

constexpr uint64_t kMaxSearchAddresses = 65536;

struct TAddressSpecs {
    std::vector<uint32_t> Addresses;  // host order, in the order written, each once
    std::vector<std::string> Bad;     // the specs that are none of the three forms
    uint64_t Count = 0;               // addresses named (before duplicates were removed when too many)
    std::string Error;                // translated; empty when the text is a search to run
    bool Ok() const { return Error.empty(); }
};

// Reads the text. Refused with a message: specs that are no address, range or block (all of
// them named), loopback, multicast and 0.x addresses among them, reversed ranges, no address at
// all, and more than limit addresses.
TAddressSpecs ParseAddressSpecs(const std::string& text, uint64_t limit = kMaxSearchAddresses);
