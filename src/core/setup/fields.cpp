// The setup panel's field rules.
#include "core/setup/fields.h"

#include "core/log/safetext.h"

std::string PortText(int16_t port)
{
    return port == -1 ? std::string("N/A") : std::to_string(port);
}

std::string StoredText(const TProductInfo& info, TSetupField field)
{
    switch (field) {
    case TSetupField::Name: return SafeText(info.Name);
    case TSetupField::IP: return info.IP;
    case TSetupField::Mask: return info.Mask;
    case TSetupField::Gateway: return info.Gateway;
    case TSetupField::DNS1: return info.DNS1;
    case TSetupField::DNS2: return info.DNS2;
    case TSetupField::HTTPPort: return std::to_string(info.HTTPPort);
    case TSetupField::TelnetPort: break;
    }
    return std::to_string(info.TelnetPort);
}

std::string NameToApply(const std::string& fieldText, const std::string& storedName)
{
    return fieldText == SafeText(storedName) ? storedName : fieldText;
}

std::optional<bool> ApplyEnabledAfterEdit(const TProduct* device, bool demoMode, TSetupField field,
                                          const std::string& text, bool readOnly)
{
    if (!device)
        return std::nullopt;
    const bool port = field == TSetupField::HTTPPort || field == TSetupField::TelnetPort;
    if (port && readOnly)
        return std::nullopt;
    return !demoMode && text != StoredText(device->CopyInfo(), field);
}

std::optional<bool> ApplyEnabledAfterDhcpClick(const TProduct* device, bool demoMode, bool checked)
{
    if (!device)
        return std::nullopt;
    return !demoMode && (checked ? 1 : 0) != device->CopyInfo().Dhcp;
}

bool AddressFieldsLocked(bool checked, bool demoMode)
{
    return checked && !demoMode;
}

bool KeepsItsLook(const std::string& nameServerText)
{
    return nameServerText == "N/A";
}
