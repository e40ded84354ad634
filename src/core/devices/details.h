// The details of the selected device below the list: what each setup field shows and whether the
// user may edit it, the DHCP box, the command buttons, the picture file of the device's type and
// the web addresses behind the two link pictures.
#pragma once
#include "core/devices/ipconflicts.h"
#include "core/devices/product.h"

#include <string>

// A setup field's text and whether it is locked: read-only and shaded with the colour of
// inactive window borders, or editable in the normal window colour.
struct TFieldLook {
    std::string Text;
    bool ReadOnly = false;
};

// How the details show one device. Address, mask and gateway only get their texts; their look is
// not decided here.
struct TDeviceDetailsLook {
    TFieldLook Name;
    std::string IP;
    std::string Mask;
    std::string Gateway;
    TFieldLook DNS1;
    TFieldLook DNS2;
    TFieldLook HTTPPort;
    TFieldLook TelnetPort;
    bool DhcpEnabled = false;
    bool DhcpChecked = false;
    bool SetDefaultEnabled = false;  // "Set Factory Defaults"
    bool RestartEnabled = false;     // "Restart Device"
};

// The details of `info`. The name field shows the name's shown form (SafeText). dhcpChecked is
// the DHCP box's mark as it is now: a device without a DHCP value (-1) disables the box and leaves
// that mark; otherwise the box is enabled and checked exactly when Dhcp is not 0. A name "N/A"
// locks the name field, a port -1 reads "N/A" in a locked field (other ports in decimal, as the
// signed 16-bit value they are held as), and a name server field is locked when its text is
// "N/A" or the DHCP box ends up checked.
TDeviceDetailsLook DeviceDetailsLook(const TProductInfo& info, bool dhcpChecked);

// The picture of a device type: appDir + "/images/" + typeName + ".png", cleaned of the doubled
// separator (appDir ends with its own) and of "." parts.
std::string DevicePicturePath(const std::string& appDir, const std::string& typeName);

// The device's web page, opened by a click on its picture: "http://" + PeerIP.
std::string DevicePageUrl(const TProductInfo& info);

// The page at the device's HTTP port, opened by the small picture beside the address field:
// "http://" + PeerIP + ":" + port. A device without a port (-1) gets its page at the default
// port; ports above 32767, held as negative 16-bit numbers, are written as the port they are.
std::string DevicePortPageUrl(const TProductInfo& info);

// The note the details show for a device that shares its configured address with other MACs:
// "IP address %s is also used by %s", the other MACs joined by ", " (translated); "" for a
// device in no conflict.
std::string IpConflictNote(const TIpConflicts& conflicts, const void* device);
