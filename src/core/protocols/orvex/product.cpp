// The Orvex family's descriptor: its restart rule, the fields its update carries, its packets.
#include "core/protocols/orvex/family.h"

#include "core/app/settings.h"
#include "core/protocols/orvex/discovery.h"
#include "core/protocols/orvex/packets.h"
#include "core/protocols/orvex/product.h"

namespace {

// A new IP, mask or gateway text, or a new DHCP state (low 16 bits), needs a restart.
bool SetupNeedsRestart(const TProductInfo& stored, const std::string& ip, const std::string& mask,
                       const std::string& gateway, int32_t dhcp)
{
    return ip != stored.IP || mask != stored.Mask || gateway != stored.Gateway
           || static_cast<int16_t>(static_cast<uint16_t>(dhcp)) != stored.Dhcp;
}

// With DHCP on, the update carries no addresses.
TSentFields SentFields(const TProductInfo&, int32_t dhcp)
{
    TSentFields sent;
    if (static_cast<int16_t>(static_cast<uint16_t>(dhcp)) != 0)
        sent.LeaveOut(TFieldKind::Address);
    return sent;
}

std::unique_ptr<TProduct> Decode(const uint8_t* data, size_t size, const std::string& peerIP)
{
    return DecodeOrvexInfoAnswer(data, size, peerIP);
}

} // namespace

const TFamily& OrvexFamily()
{
    static const TFamily kOrvex = [] {
        TFamily family;
        family.Name = "Orvex";
        family.DiscoveryPort = Orvex::kPort;
        family.Products = &TSettings::OrvexProducts;
        family.InfoRequest = BuildOrvexInfoRequest;
        family.DecodeInfoAnswer = Decode;
        family.SendInfoRequest = SendOrvexInfoRequest;
        family.InfoHandler = OrvexInfoHandler;
        family.SetupNeedsRestart = SetupNeedsRestart;
        family.SentFields = SentFields;  // carries every field
        family.NameBytes = Orvex::kNameBytes;
        family.SendsEmptyAddressAsZero = true;  // an empty address text goes out as 0.0.0.0
        family.AnswersCommands = true;
        return family;
    }();
    return kOrvex;
}

const TFamily& TProductOrvex::Family() const
{
    return OrvexFamily();
}
