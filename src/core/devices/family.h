// TFamily: what tells one device family from another, in one place. Each family defines one
// descriptor (protocols/<family>/family.h); discovery holds the list of them (discovery/families.h).
// Nothing outside the descriptors asks which family a device is by its class or by its name:
// it asks the descriptor.
#pragma once
#include "core/app/producttable.h"
#include "core/devices/devicesink.h"
#include "core/devices/udpserver.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

struct TSettings;

struct TFamily {
    // As the export, the plan files and the failed-devices list write it ("" for no family).
    std::string Name;
    uint16_t DiscoveryPort = 0;
    // The settings' table that names the family's types (none for no family).
    TProductTable TSettings::*Products = nullptr;

    // The info request discovery sends (empty for no family).
    std::vector<uint8_t> (*InfoRequest)() = nullptr;
    // An info answer decoded into a device of the family; none when it does not decode.
    std::unique_ptr<TProduct> (*DecodeInfoAnswer)(const uint8_t* data, size_t size, const std::string& peerIP) = nullptr;
    // Logs and sends the info request through endpoint to address (dotted text).
    void (*SendInfoRequest)(TUDPServer& endpoint, const std::string& address) = nullptr;
    // The discovery read handler: every datagram decoded as an info answer and handed to sink.
    TUDPServer::TReadHandler (*InfoHandler)(TDeviceSink sink) = nullptr;

    // Whether storing this address, mask, gateway and DHCP state over the stored setup makes the
    // device restart: read by SetParameters (RestartNeeded) and by a plan before anything is
    // stored.
    bool (*SetupNeedsRestart)(const TProductInfo& stored, const std::string& ip, const std::string& mask,
                              const std::string& gateway, int32_t dhcp) = nullptr;
    // The setup fields its update request can carry at all (the others are stored in the device
    // object but never sent).
    TSentFields Carries;
    // Of those, what the update request carries once the DHCP state is dhcp, for a device whose
    // stored setup is stored; none: all of them.
    TSentFields (*SentFields)(const TProductInfo& stored, int32_t dhcp) = nullptr;
    // The most of a name the update request carries, cut at the last whole character within
    // that many bytes; 0: not cut.
    size_t NameBytes = 0;
    // Whether the update request sends an empty address text as 0.0.0.0.
    bool SendsEmptyAddressAsZero = false;
    // Whether a device answers its commands (the answer is told to TProduct::OnCommandAnswer).
    bool AnswersCommands = false;
};

// The family of a device of none of them: never restarts, carries every field.
const TFamily& NoFamily();
