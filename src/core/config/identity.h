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
// counts; the MAC address in any form ParseMac takes, compared as six bytes; a value that only
// contains one of them is not one), in document order, followed by `extraPaths` ([Compare]
// Identity) not already among them. A name repeated in the device's file is spelled with its
// key (sensor[id=3]); one that repeats only in the other file of a compare is spelled there with
// its key and so is not matched by the plain path.
std::vector<std::string> IdentityPlaces(const TConfigDocument& own, const TDeviceIdentity& device,
                                        const std::vector<std::string>& extraPaths = {});
// Marks the differences at those places.
void MarkIdentity(std::vector<TConfigDifference>& differences, const std::vector<std::string>& places);

// The common file with the device's own values (from its configuration just read) put back at
// the identity places, escaped as XML text and written in the common file's encoding; every
// other byte of the file unchanged (its byte order mark, line ends and layout included).
//
// A place is a path; what happens depends on which file has it:
// - both: the device's value replaces the common one (nothing is touched where they are equal);
// - neither: nothing to keep (an extra path from [Compare] Identity that this file lacks);
// - only the device's own file: an error, since the common file would drop a value of the
//   device's own identity and nothing can be added to it without changing other bytes;
// - only the common file: an error, since the device has no value of its own there and every
//   device written would get the common one.
// Also an error: a value the common file's encoding cannot hold, a place that has no stretch of
// text to replace (an element written <x/>, or text in several pieces), and either file not read.
struct TKeptIdentity {
    bool Ok = false;
    std::string Error;  // translated: a value the file's encoding cannot hold, a place missing
    QByteArray Bytes;
};
TKeptIdentity KeepIdentity(const QByteArray& common, const TConfigDocument& own,
                           const std::vector<std::string>& places);
