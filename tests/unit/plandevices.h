// Devices of both families for the planner's tests: the families' own decisions (SentFields,
// SendsEmptyAddressAsZero, SetParameters), with nothing sent.
#pragma once
#include "core/devices/netinterfaces.h"
#include "core/protocols/hwg/product.h"
#include "core/protocols/orvex/product.h"
#include "core/setup/plan.h"

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

// The n-th Orvex MAC address of a test fleet: "00:0A:14:00:HH:LL".
inline std::string Mac(int n)
{
    char text[32];
    std::snprintf(text, sizeof text, "00:0A:14:00:%02X:%02X", (n >> 8) & 0xFF, n & 0xFF);
    return text;
}

template <class Family> class TSilent : public Family {
public:
    void Update() override {}
    void FactoryDefault() override {}
    void Restart() override {}
};

struct TPlanLab {
    std::vector<std::unique_ptr<TProduct>> Owned;
    std::vector<const TProduct*> Found;

    // An Orvex device, DHCP off, at ip (answering from it too) in 192.168.1.0/24 unless given.
    TProduct* Orvex(const std::string& mac, const std::string& ip, const std::string& name = "Unit")
    {
        return Add(std::make_unique<TSilent<TProductOrvex>>(), mac, ip, name);
    }
    // An HWG device with a DHCP setting (off) unless dhcp is -1; no name servers, no Telnet port.
    TProduct* Hwg(const std::string& mac, const std::string& ip, int dhcp = 0)
    {
        TProduct* d = Add(std::make_unique<TSilent<TProductHwg>>(), mac, ip, "HWG unit");
        d->Info.DNS1 = d->Info.DNS2 = "N/A";
        d->Info.TelnetPort = -1;
        d->Info.Dhcp = static_cast<int16_t>(dhcp);
        return d;
    }
    TProduct* Add(std::unique_ptr<TProduct> d, const std::string& mac, const std::string& ip, const std::string& name)
    {
        d->Info.MAC = mac;
        d->Info.Name = name;
        d->Info.IP = d->Info.PeerIP = ip;
        d->Info.Mask = "255.255.255.0";
        d->Info.Gateway = "192.168.1.1";
        d->Info.DNS1 = "192.168.1.1";
        d->Info.DNS2 = "8.8.8.8";
        d->Info.HTTPPort = 80;
        d->Info.TelnetPort = 23;
        Owned.push_back(std::move(d));
        Found.push_back(Owned.back().get());
        return Owned.back().get();
    }

    TPlanInputs Inputs(std::vector<const TProduct*> chosen) const
    {
        TPlanInputs in;
        in.Found = Found;
        in.Chosen = std::move(chosen);
        in.Interfaces = {PcInterface("eth0", "192.168.1.2", 24)};
        return in;
    }
    static TNetInterface PcInterface(const std::string& name, const std::string& address, int prefix)
    {
        TNetInterface i;
        i.Name = name;
        i.Address = *ParseAddress(address);
        i.PrefixLength = prefix;
        i.Broadcast = i.Address | ~PrefixMask(prefix);
        i.Up = i.CanBroadcast = true;
        return i;
    }
};

// The problems of a plan of one kind.
inline std::vector<TPlanProblem> ProblemsOfKind(const TPlan& plan, TPlanProblemKind kind)
{
    std::vector<TPlanProblem> found;
    for (const TPlanProblem& p : plan.Problems)
        if (p.Kind == kind)
            found.push_back(p);
    return found;
}

// The new IP of each device of the plan ("" when unchanged).
inline std::vector<std::string> NewAddresses(const TPlan& plan)
{
    std::vector<std::string> addresses;
    for (const TDevicePlan& d : plan.Devices)
        addresses.push_back(d.Field(TSetupField::IP).Changed ? d.Field(TSetupField::IP).Value : "");
    return addresses;
}
