// Two devices with different MAC addresses that report one configured address: the usual cause
// of "the device answers, but its web page is another device's". The registry files every
// listed device here; each pair is reported once per discovery cycle, and every device that
// shares its address with another MAC is marked for the list and the details.
#pragma once
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

// One pair of MAC addresses (as the devices reported them) behind one configured address.
struct TIpConflict {
    std::string IP;
    std::string FirstMac;   // the device listed earlier
    std::string SecondMac;  // the one whose answer made the pair
    bool operator==(const TIpConflict&) const = default;
};

// Whether an address takes part in conflicts: not an empty text, "N/A" (a device without one)
// or 0.0.0.0 (a device that has none yet, typically waiting for DHCP).
bool CountsForIpConflicts(const std::string& ip);

// The listed devices of one cycle by configured address. Filing a device costs the number of
// devices already listed under its address, not the length of the list.
class TIpConflicts {
public:
    // A device is known by any identity that stays the same for the cycle (its TProduct).
    // Files a listed device with the address and MAC it reported; returns the pairs it makes
    // that were not reported before in this cycle. MACs are compared without regard to letter
    // case, so one device listed twice (a changed name) is no conflict with itself.
    std::vector<TIpConflict> Add(const void* device, const std::string& ip, const std::string& mac);
    // A listed device that now reports another address (a watched unit re-filed): filed there
    // instead, its old address's marks decided again. Returns the pairs it makes that were not
    // reported before in this cycle, as Add.
    std::vector<TIpConflict> Move(const void* device, const std::string& ip, const std::string& mac);
    // The device shares its address with a device of another MAC.
    bool InConflict(const void* device) const { return Conflicted.count(device) != 0; }
    // The address the device was filed under, and the other MACs listed there (each once, in the
    // order they were listed); empty when the device is in no conflict.
    std::string AddressOf(const void* device) const;
    std::vector<std::string> OthersOf(const void* device) const;
    // A new cycle: nothing listed, nothing reported.
    void Clear();

private:
    struct TClaim {
        const void* Device;
        std::string Mac;     // as reported
        std::string MacKey;  // upper case
    };
    std::unordered_map<std::string, std::vector<TClaim>> ByAddress;
    std::unordered_map<const void*, std::string> Addresses;
    std::unordered_set<const void*> Conflicted;
    std::unordered_set<std::string> Reported;  // address + the two MAC keys in order
};

// The same decision for a whole list at once, in list order: every pair of (address, MAC) claims
// with one address and different MACs, each pair once.
struct TIpClaim {
    std::string IP;
    std::string MAC;
};
std::vector<TIpConflict> FindIpConflicts(const std::vector<TIpClaim>& claims);
