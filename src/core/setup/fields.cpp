// The setup panel's field rules.
#include "core/setup/fields.h"

#include "core/log/safetext.h"

std::string PortText(int16_t port)
{
    return port == -1 ? std::string("N/A") : std::to_string(port);
}

std::string StoredText(const TProductInfo& info, TSetupField field)
{
    return field == TSetupField::Name ? SafeText(info.Name) : FieldValue(info, field);
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
    if (FieldKind(field) == TFieldKind::Port && readOnly)
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
