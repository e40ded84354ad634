// The setup panel's commands, shared by the window and pyxet-cli.
#include "core/setup/commands.h"

#include "core/app/i18n.h"
#include "core/log/actionlog.h"
#include "core/log/format.h"
#include "core/log/safetext.h"
#include "core/setup/addressrule.h"
#include "core/setup/fields.h"

#include <limits>
#include <array>

namespace {

bool IsBlank(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

} // namespace

TSetupValues ShownValues(const TProductInfo& info)
{
    TSetupValues values;
    for (const TSetupFieldDef& field : SetupFields())
        SetFieldValue(values, field.Id,
                      field.Kind == TFieldKind::Port ? PortText(FieldNumber(info, field.Id)) : FieldValue(info, field.Id));
    return values;
}

bool ReadInteger(const std::string& text, int32_t& value)
{
    size_t i = 0;
    while (i < text.size() && IsBlank(text[i]))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        negative = text[i++] == '-';
    if (i == text.size())
        return false;
    int64_t magnitude = 0;
    for (; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9')
            return false;
        magnitude = magnitude * 10 + (text[i] - '0');
        if (magnitude > int64_t{std::numeric_limits<int32_t>::max()} + 1)
            return false;
    }
    const int64_t result = negative ? -magnitude : magnitude;
    if (result > std::numeric_limits<int32_t>::max())
        return false;
    value = static_cast<int32_t>(result);
    return true;
}

bool ReadPort(const std::string& text, int16_t stored, int32_t& value)
{
    if (stored == -1 && text == PortText(stored)) {
        value = stored;
        return true;
    }
    return ReadInteger(text, value);
}

TCommandOutcome ApplyChanges(TProduct* device, TSetupValues values, TSetupAsker& asker)
{
    if (!device)
        return TCommandOutcome::NoDevice;
    const TProductInfo info = device->CopyInfo();
    // The ports from the last field back, as the panel has always converted them (Telnet first).
    std::array<int32_t, kSetupFieldCount> ports{};
    for (auto field = SetupFields().rbegin(); field != SetupFields().rend(); ++field) {
        if (field->Kind != TFieldKind::Port)
            continue;
        const std::string text = FieldValue(values, field->Id);
        if (!ReadPort(text, FieldNumber(info, field->Id), ports[static_cast<size_t>(field->Id)])) {
            asker.Refuse(Format(_("'%s' is not a valid integer value"), text.c_str()));
            return TCommandOutcome::Refused;
        }
    }
    const int32_t httpPort = ports[static_cast<size_t>(TSetupField::HTTPPort)];
    const int32_t telnetPort = ports[static_cast<size_t>(TSetupField::TelnetPort)];
    if (const auto refused = CheckSetupAddresses(*device, values)) {
        asker.Refuse(Format(_("'%s' is not a valid IP address"), refused->Text.c_str()));
        return TCommandOutcome::Refused;
    }

    device->SetParameters(values.Name, values.IP, values.Mask, values.Gateway, values.DNS1, values.DNS2, values.Dhcp,
                          httpPort, telnetPort);
    if (device->RestartNeeded
        && !asker.Confirm(_("To propagate new settings, device has to be restarted.\nDo you wish to continue?")))
        return TCommandOutcome::Declined;
    device->ApplySetup();
    LogAction("", Format(_("Reconfiguring %s device. Please wait."), values.IP.c_str()), LOG_INFO);
    return TCommandOutcome::Sent;
}

TCommandOutcome RestartDevice(TProduct* device, TSetupAsker& asker)
{
    if (!device)
        return TCommandOutcome::NoDevice;
    if (!device->CopyInfo().CanRestart) {
        asker.Refuse(_("This device cannot be restarted."));
        return TCommandOutcome::NotOffered;
    }
    if (!asker.Confirm(_("Restart device. Do you wish to continue?")))
        return TCommandOutcome::Declined;
    device->Restart();
    const TProductInfo info = device->CopyInfo();
    LogAction(_("Restart device"),
              Format(_("Restart %s device from %s. Please wait."), SafeText(info.Name).c_str(), info.PeerIP.c_str()),
              LOG_INFO);
    return TCommandOutcome::Sent;
}

TCommandOutcome SetFactoryDefaults(TProduct* device, TSetupAsker& asker)
{
    if (!device)
        return TCommandOutcome::NoDevice;
    if (!device->CopyInfo().CanSetDefault) {
        asker.Refuse(_("This device does not offer a factory default."));
        return TCommandOutcome::NotOffered;
    }
    if (!asker.Confirm(_("Set device to default factory configuration.\nDo you wish to continue?")))
        return TCommandOutcome::Declined;
    device->FactoryDefault();
    const TProductInfo info = device->CopyInfo();
    LogAction(_("Set Default Factory"),
              Format(_("Setting %s device from %s to factory default. Please wait."), SafeText(info.Name).c_str(),
                     info.PeerIP.c_str()),
              LOG_INFO);
    return TCommandOutcome::Sent;
}
