// One discovered device: its data record and the commands every device family provides.
#pragma once
#include "core/app/producttable.h"

#include <cstdint>
#include <string>
#include <vector>

class TUDPServer;

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

// Which setup values a family's update request carries to the device. A value left out is
// still stored in the device object, but the device never receives it.
struct TSentFields {
    bool Name = true;
    bool IP = true;
    bool Mask = true;
    bool Gateway = true;
    bool DNS1 = true;
    bool DNS2 = true;
    bool Dhcp = true;
    bool HTTPPort = true;
    bool TelnetPort = true;
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

    // Stores a new setup; a family decides RestartNeeded first, then calls this base version.
    // Ports and DHCP keep their low 16 bits.
    virtual void SetParameters(const std::string& name, const std::string& ip, const std::string& mask,
                               const std::string& gateway, const std::string& dns1, const std::string& dns2,
                               int32_t dhcp, int32_t httpPort, int32_t telnetPort);

    // Whether storing this address, mask, gateway and DHCP state over the stored setup makes the
    // device restart: the family's one rule, read by its SetParameters (RestartNeeded) and by a
    // plan before anything is stored (PlanNeedsRestart). The base: never.
    virtual bool SetupNeedsRestart(const TProductInfo& stored, const std::string& ip, const std::string& mask,
                                   const std::string& gateway, int32_t dhcp) const;
    // What the update request would carry once the DHCP state is dhcp (as SetParameters stores it).
    virtual TSentFields SentFields(int32_t dhcp) const;
    // Whether the family's update request sends an empty address text as 0.0.0.0; a family
    // that cannot carry an empty address says no (the setup panel's address rule asks).
    virtual bool SendsEmptyAddressAsZero() const;

    TProductInfo CopyInfo() const { return Info; }
    void ApplySetup();  // Update, then RestartNeeded = false

    TUDPServer* UdpServer = nullptr;  // the family's endpoint; not owned
    // Where the commands go: the way the device was found (255.255.255.255, the directed
    // broadcast of the interface it answered on, or its own address behind a router).
    std::string CommandAddress = "255.255.255.255";
    TProductInfo Info;
    bool RestartNeeded = false;
};

// Name of the first entry whose code text equals the decimal form of code, "+" turned into
// blanks; empty when there is none.
std::string ProductTypeName(const TProductTable& table, int32_t code);
