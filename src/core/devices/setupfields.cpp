// The table of the setup fields.
#include "core/devices/setupfields.h"

#include "core/devices/product.h"

#include <charconv>

namespace {

using F = TSetupField;
using K = TFieldKind;

const std::array<TSetupFieldDef, kSetupFieldCount> kFields = {{
    {F::Name, K::Text, "Name", "Name", "the device's name", "names numbered by the last run of '#'",
     &TProductInfo::Name, nullptr, &TSetupValues::Name},
    {F::IP, K::Address, "IP", "IP", "its IP address", "consecutive addresses from ADDR", &TProductInfo::IP, nullptr,
     &TSetupValues::IP},
    {F::Mask, K::Address, "Mask", "Mask", "its subnet mask", "every device's subnet mask", &TProductInfo::Mask,
     nullptr, &TSetupValues::Mask},
    {F::Gateway, K::Address, "Gateway", "Gateway", "its gateway", "every device's gateway", &TProductInfo::Gateway,
     nullptr, &TSetupValues::Gateway},
    {F::DNS1, K::Address, "DNS1", "DNS1", "its first name server", "every device's first name server",
     &TProductInfo::DNS1, nullptr, &TSetupValues::DNS1},
    {F::DNS2, K::Address, "DNS2", "DNS2", "its second name server", "every device's second name server",
     &TProductInfo::DNS2, nullptr, &TSetupValues::DNS2},
    {F::Dhcp, K::Flag, "Dhcp", "DHCP", "DHCP off (0) or on (1)", "DHCP off (0) or on (1)", nullptr,
     &TProductInfo::Dhcp, nullptr},
    {F::HTTPPort, K::Port, "HTTPPort", "HTTP Port", "its web server's port", "every device's web server port",
     nullptr, &TProductInfo::HTTPPort, &TSetupValues::HTTPPort},
    {F::TelnetPort, K::Port, "TelnetPort", "Telnet Port", "its Telnet port", "every device's Telnet port", nullptr,
     &TProductInfo::TelnetPort, &TSetupValues::TelnetPort},
}};

// A decimal text as a number; 0 when it is none.
int32_t Decimal(const std::string& text)
{
    int32_t value = 0;
    const char* begin = text.data();
    if (!text.empty() && text.front() == '+')
        ++begin;
    std::from_chars(begin, text.data() + text.size(), value);
    return value;
}

} // namespace

TSentFields TSentFields::AllBut(std::initializer_list<TSetupField> fields)
{
    TSentFields sent;
    for (const TSetupField field : fields)
        sent.Set(field, false);
    return sent;
}

void TSentFields::LeaveOut(TFieldKind kind)
{
    for (const TSetupFieldDef& field : SetupFields())
        if (field.Kind == kind)
            Set(field.Id, false);
}

TSentFields TSentFields::operator&(const TSentFields& other) const
{
    TSentFields both;
    for (size_t k = 0; k < kSetupFieldCount; ++k)
        both.Carried[k] = Carried[k] && other.Carried[k];
    return both;
}

const std::array<TSetupFieldDef, kSetupFieldCount>& SetupFields()
{
    return kFields;
}

const TSetupFieldDef& SetupFieldDef(TSetupField field)
{
    return kFields[static_cast<size_t>(field)];
}

std::string FieldValue(const TProductInfo& info, TSetupField field)
{
    const TSetupFieldDef& def = SetupFieldDef(field);
    return def.InfoText ? info.*def.InfoText : std::to_string(info.*def.InfoNumber);
}

int16_t FieldNumber(const TProductInfo& info, TSetupField field)
{
    const TSetupFieldDef& def = SetupFieldDef(field);
    return def.InfoNumber ? info.*def.InfoNumber : 0;
}

void SetFieldValue(TProductInfo& info, TSetupField field, const std::string& value)
{
    const TSetupFieldDef& def = SetupFieldDef(field);
    if (def.InfoText)
        info.*def.InfoText = value;
    else
        info.*def.InfoNumber = static_cast<int16_t>(static_cast<uint16_t>(Decimal(value)));
}

std::string FieldValue(const TSetupValues& values, TSetupField field)
{
    const TSetupFieldDef& def = SetupFieldDef(field);
    return def.ValueText ? values.*def.ValueText : std::to_string(values.Dhcp);
}

void SetFieldValue(TSetupValues& values, TSetupField field, const std::string& value)
{
    const TSetupFieldDef& def = SetupFieldDef(field);
    if (def.ValueText)
        values.*def.ValueText = value;
    else
        values.Dhcp = Decimal(value);
}
