// The setup panel's address rule.
#include "core/setup/addressrule.h"

namespace {

bool IsBlank(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

} // namespace

bool IsPlainIpAddress(std::string_view text)
{
    size_t at = 0;
    for (int part = 0; part < 4; ++part) {
        if (part > 0) {
            if (at == text.size() || text[at] != '.')
                return false;
            ++at;
        }
        const size_t start = at;
        int value = 0;
        while (at < text.size() && IsDigit(text[at]) && at - start < 3)
            value = value * 10 + (text[at++] - '0');
        const size_t digits = at - start;
        if (digits == 0 || value > 255 || (digits > 1 && text[start] == '0'))
            return false;
    }
    return at == text.size();
}

std::string TrimBlanks(std::string_view text)
{
    size_t begin = 0;
    size_t end = text.size();
    while (begin < end && IsBlank(text[begin]))
        ++begin;
    while (end > begin && IsBlank(text[end - 1]))
        --end;
    return std::string(text.substr(begin, end - begin));
}

std::optional<TRefusedAddress> CheckSetupAddresses(const TProduct& device, TSetupValues& values)
{
    const TSentFields sent = device.SentFields(values.Dhcp);
    const bool emptyIsZero = device.SendsEmptyAddressAsZero();
    for (const TSetupFieldDef& field : SetupFields())
        if (field.Kind == TFieldKind::Address)
            values.*field.ValueText = TrimBlanks(values.*field.ValueText);
    for (const TSetupFieldDef& field : SetupFields()) {
        if (field.Kind != TFieldKind::Address || !sent[field.Id])
            continue;
        // A device set to an empty address or mask is lost to its web pages.
        const bool mayBeEmpty = emptyIsZero && field.Id != TSetupField::IP && field.Id != TSetupField::Mask;
        const std::string& text = values.*field.ValueText;
        if (text.empty() ? !mayBeEmpty : !IsPlainIpAddress(text))
            return TRefusedAddress{field.Id, text};
    }
    return std::nullopt;
}
