// The window-free steps of a discovery cycle: log, install the answer handlers, point both
// families at the registry, broadcast both info requests.
#include "core/devices/discovery.h"

#include "core/app/i18n.h"
#include "core/devices/registry.h"
#include "core/devices/udpserver.h"
#include "core/log/actionlog.h"
#include "core/protocols/hwg/discovery.h"
#include "core/protocols/orvex/discovery.h"

void StartDiscovery(TDeviceRegistry& list, const TDiscoveryFamily& orvex, const TDiscoveryFamily& hwg)
{
    LogAction(_("Finding devices"), _("Finding devices. Please wait."), LOG_INFO);

    // Each family's handler hands its decoded devices to the registry, named by its own table.
    const auto sinkFor = [&list](const TDiscoveryFamily& family) -> TDeviceSink {
        return [&list, products = family.Products, server = family.Server](std::unique_ptr<TProduct> device) {
            list.AddDevice(std::move(device), *products, server);
        };
    };
    const bool withOrvex = orvex.Server && orvex.Products;
    const bool withHwg = hwg.Server && hwg.Products;
    if (withOrvex)
        orvex.Server->OnRead = OrvexInfoHandler(sinkFor(orvex));
    if (withHwg)
        hwg.Server->OnRead = HwgInfoHandler(sinkFor(hwg));

    if (withOrvex)
        SendOrvexInfoRequest(*orvex.Server);
    if (withHwg)
        SendHwgInfoRequest(*hwg.Server);
}
