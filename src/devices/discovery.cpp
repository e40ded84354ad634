// The window-free steps of a discovery cycle: log, install the answer handlers, point both
// families at the registry, broadcast both info requests.
#include "devices/discovery.h"

#include "app/i18n.h"
#include "devices/registry.h"
#include "devices/udpserver.h"
#include "log/actionlog.h"
#include "protocols/hwg/Hwgroup.h"
#include "protocols/orvex/Orvex.h"

void StartDiscovery(TDeviceRegistry& list, const TDiscoveryFamily& orvex, const TDiscoveryFamily& hwg)
{
    LogAction(_("Finding devices"), _("Finding devices. Please wait."), LOG_INFO);

    const bool withOrvex = orvex.Server && orvex.Products;
    const bool withHwg = hwg.Server && hwg.Products;
    if (withOrvex)
        orvex.Server->OnRead = OnOrvexInfoAnswer;
    if (withHwg)
        hwg.Server->OnRead = OnHwgInfoAnswer;

    if (withOrvex) {
        SetOrvexTarget(TFamilyTarget{&list, orvex.Products, orvex.Server});
        SendOrvexInfoRequest(*orvex.Server);
    }
    if (withHwg) {
        SetHwgTarget(TFamilyTarget{&list, hwg.Products, hwg.Server});
        SendHwgInfoRequest(*hwg.Server);
    }
}
