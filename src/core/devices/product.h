// One discovered device: its data record and the commands every device family provides.
#pragma once
#include "core/app/producttable.h"
#include "core/devices/setupfields.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class TUDPServer;
struct TFamily;

// One device's data. Texts are UTF-8 (the local code page here); missing values are -1 or "N/A".
struct TProductInfo {
    int32_t TypeCode = 0;
    std::string TypeName;
    std::string MAC;
    std::string Name;
    std::string PeerIP;
    std::string IP;
    std::string Mask;
    std::string Gateway;
    std::string DNS1;
    std::string DNS2;
    int16_t Dhcp = 0;         // -1 none, 0 off, other on
    std::string FirmwareRev;
    int16_t HTTPPort = 0;     // -1 not available
    int16_t TelnetPort = 0;   // -1 not available
    bool CanSetDefault = false;
    bool CanRestart = false;
};

class TProduct {
public:
    TProduct() = default;
    virtual ~TProduct() = default;
    TProduct(const TProduct&) = delete;
    TProduct& operator=(const TProduct&) = delete;

    virtual void Update() = 0;          // sends the setup held in Info
    virtual void FactoryDefault() = 0;  // resets the device to its factory configuration
    virtual void Restart() = 0;         // restarts it (a family that cannot: does nothing)

    // The family the device belongs to (its descriptor); the base: NoFamily().
    virtual const TFamily& Family() const;

    // Stores a new setup; RestartNeeded is set first when the family's restart rule says so (it
    // is never cleared here). Ports and DHCP keep their low 16 bits.
    void SetParameters(const std::string& name, const std::string& ip, const std::string& mask,
                       const std::string& gateway, const std::string& dns1, const std::string& dns2, int32_t dhcp,
                       int32_t httpPort, int32_t telnetPort);

    // The family's rules for this device (see TFamily): whether storing this address, mask,
    // gateway and DHCP state over the stored setup makes it restart, what the update request
    // would carry once the DHCP state is dhcp, whether it sends an empty address as 0.0.0.0.
    bool SetupNeedsRestart(const TProductInfo& stored, const std::string& ip, const std::string& mask,
                           const std::string& gateway, int32_t dhcp) const;
    TSentFields SentFields(int32_t dhcp) const;
    bool SendsEmptyAddressAsZero() const;

    TProductInfo CopyInfo() const { return Info; }
    void ApplySetup();  // Update, then RestartNeeded = false

    TUDPServer* UdpServer = nullptr;  // the family's endpoint; not owned
    // Where the commands go: the way the device was found (255.255.255.255, the directed
    // broadcast of the interface it answered on, or its own address behind a router).
    std::string CommandAddress = "255.255.255.255";
    TProductInfo Info;
    bool RestartNeeded = false;
    // Told the error code of the device's answer to the next commands sent, in a family whose
    // devices answer them (TFamily::AnswersCommands); the answer handler keeps its own copy, so
    // it outlives the device object safely.
    std::function<void(int errorCode)> OnCommandAnswer;
};

// Name of the first entry whose code text equals the decimal form of code, "+" turned into
// blanks; empty when there is none.
std::string ProductTypeName(const TProductTable& table, int32_t code);
