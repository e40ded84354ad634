#include "core/config/identity.h"

#include "core/devices/product.h"

TDeviceIdentity IdentityOf(const TProduct& device)
{
    const TProductInfo info = device.CopyInfo();
    return {info.MAC, info.IP, info.PeerIP, info.Name};
}

// Placeholders until identity places land.
std::vector<std::string> IdentityPlaces(const TConfigDocument& own, const TDeviceIdentity& device,
                                        const std::vector<std::string>& extraPaths)
{
    (void)own;
    (void)device;
    return extraPaths;
}

void MarkIdentity(std::vector<TConfigDifference>& differences, const std::vector<std::string>& places)
{
    for (TConfigDifference& d : differences)
        for (const std::string& p : places)
            if (d.Path == p)
                d.Identity = true;
}

TKeptIdentity KeepIdentity(const QByteArray& common, const TConfigDocument& own, const std::vector<std::string>& places)
{
    (void)own;
    (void)places;
    return {true, "", common};
}
