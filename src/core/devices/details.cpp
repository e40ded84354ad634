// The details of the selected device.
#include "core/devices/details.h"

#include "core/app/i18n.h"
#include "core/log/format.h"
#include "core/log/safetext.h"

#include <QDir>
#include <QString>

namespace {

const std::string kNotAvailable = "N/A";

TFieldLook PortLook(int16_t port)
{
    if (port == -1)
        return {kNotAvailable, true};
    return {std::to_string(port), false};
}

} // namespace

TDeviceDetailsLook DeviceDetailsLook(const TProductInfo& info, bool dhcpChecked)
{
    TDeviceDetailsLook look;
    look.Name = {SafeText(info.Name), info.Name == kNotAvailable};
    look.IP = info.IP;
    look.Mask = info.Mask;
    look.Gateway = info.Gateway;
    look.HTTPPort = PortLook(info.HTTPPort);
    look.TelnetPort = PortLook(info.TelnetPort);
    look.DhcpEnabled = info.Dhcp != -1;
    look.DhcpChecked = look.DhcpEnabled ? info.Dhcp != 0 : dhcpChecked;
    look.DNS1 = {info.DNS1, info.DNS1 == kNotAvailable || look.DhcpChecked};
    look.DNS2 = {info.DNS2, info.DNS2 == kNotAvailable || look.DhcpChecked};
    look.SetDefaultEnabled = info.CanSetDefault;
    look.RestartEnabled = info.CanRestart;
    return look;
}

std::string DevicePicturePath(const std::string& appDir, const std::string& typeName)
{
    return QDir::cleanPath(QString::fromStdString(appDir + "/images/" + typeName + ".png")).toStdString();
}

std::string DevicePageUrl(const TProductInfo& info)
{
    return "http://" + info.PeerIP;
}

std::string DevicePortPageUrl(const TProductInfo& info)
{
    if (info.HTTPPort == -1)
        return DevicePageUrl(info);
    return "http://" + info.PeerIP + ":" + std::to_string(static_cast<uint16_t>(info.HTTPPort));
}

std::string IpConflictNote(const TIpConflicts& conflicts, const void* device)
{
    const std::vector<std::string> others = conflicts.OthersOf(device);
    if (others.empty())
        return {};
    std::string macs;
    for (const std::string& mac : others)
        macs += (macs.empty() ? "" : ", ") + mac;
    return Format(_("IP address %s is also used by %s"), conflicts.AddressOf(device).c_str(), macs.c_str());
}
