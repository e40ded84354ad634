// The HWG family's descriptor: its restart rule, the fields its command carries, its packets.
#include "core/protocols/hwg/family.h"

#include "core/app/settings.h"
#include "core/protocols/hwg/discovery.h"
#include "core/protocols/hwg/packets.h"
#include "core/protocols/hwg/product.h"

namespace {

// Every new setup needs a restart.
bool SetupNeedsRestart(const TProductInfo&, const std::string&, const std::string&, const std::string&, int32_t)
{
    return true;
}

// The DHCP bit goes out either way, but a device without a DHCP setting ignores it.
TSentFields SentFields(const TProductInfo& stored, int32_t)
{
    TSentFields sent;
    sent.Set(TSetupField::Dhcp, stored.Dhcp != -1);
    return sent;
}

std::vector<uint8_t> InfoRequest()
{
    return {Hwg::kInfoRequest.begin(), Hwg::kInfoRequest.end()};
}

std::unique_ptr<TProduct> Decode(const uint8_t* data, size_t size, const std::string& peerIP)
{
    return DecodeHwgInfoAnswer(data, size, peerIP);
}

} // namespace

const TFamily& HwgFamily()
{
    static const TFamily kHwg = [] {
        TFamily family;
        family.Name = "HWG";
        family.DiscoveryPort = Hwg::kPort;
        family.Products = &TSettings::HwgProducts;
        family.InfoRequest = InfoRequest;
        family.DecodeInfoAnswer = Decode;
        family.SendInfoRequest = SendHwgInfoRequest;
        family.InfoHandler = HwgInfoHandler;
        family.SetupNeedsRestart = SetupNeedsRestart;
        // The command carries addresses, the DHCP bit and the HTTP port; never the name, the
        // name servers or the Telnet port.
        family.Carries = TSentFields::AllBut(
            {TSetupField::Name, TSetupField::DNS1, TSetupField::DNS2, TSetupField::TelnetPort});
        family.SentFields = SentFields;
        // No: ParseIp cannot read an empty address text, and the device would get 255.255.255.255.
        family.SendsEmptyAddressAsZero = false;
        family.AnswersCommands = false;  // devices do not answer commands
        return family;
    }();
    return kHwg;
}

const TFamily& TProductHwg::Family() const
{
    return HwgFamily();
}
