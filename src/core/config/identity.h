// Identity places: where a device's own configuration holds the device's own values (its MAC in
// any form ParseMac takes, its configured address, its answering address, its name). A file
// written to many devices must not give them all one identity; identity differences are shown
// apart and left out of drift.
#pragma once
#include "core/config/compare.h"

#include <string>
#include <vector>

class TProduct;

struct TDeviceIdentity {
    std::string MAC;     // as discovery reports it
    std::string IP;      // configured address
    std::string PeerIP;  // the address it answered from
    std::string Name;
};
TDeviceIdentity IdentityOf(const TProduct& device);

// The paths (as TConfigDifference::Path spells them) of a device's own configuration whose
// trimmed text or attribute value equals one of its values (an empty value or "N/A" never
// counts), followed by `extraPaths` ([Compare] Identity).
std::vector<std::string> IdentityPlaces(const TConfigDocument& own, const TDeviceIdentity& device,
                                        const std::vector<std::string>& extraPaths = {});
// Marks the differences at those places.
void MarkIdentity(std::vector<TConfigDifference>& differences, const std::vector<std::string>& places);

// The common file with the device's own values (from its configuration just read) put back at
// the identity places, escaped as XML text; every other byte of the file unchanged.
struct TKeptIdentity {
    bool Ok = false;
    std::string Error;  // translated: a value the file's encoding cannot hold, a place missing
    QByteArray Bytes;
};
TKeptIdentity KeepIdentity(const QByteArray& common, const TConfigDocument& own,
                           const std::vector<std::string>& places);
