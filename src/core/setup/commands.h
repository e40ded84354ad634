// The three commands of the setup panel as plain steps: "Apply Changes" (check the fields,
// store them in the device, ask the restart question when the family needs a restart, send),
// "Restart Device" and "Set Factory Defaults" (ask, send, log). The window answers the questions
// through its message boxes; pyxet-cli answers Yes without asking.
#pragma once
#include "core/devices/product.h"

#include <cstdint>
#include <string>

// Who answers a command's question and hears why a command was refused.
class TSetupAsker {
public:
    virtual ~TSetupAsker() = default;
    // A Yes/No question; true for Yes. Anything but Yes (a closed box too) stops the command.
    virtual bool Confirm(const std::string& question) = 0;
    // The command was refused (wrong input, or a command the device does not offer): nothing
    // was stored or sent. The message is translated and names the problem.
    virtual void Refuse(const std::string& message) = 0;
};

// The fields as the panel shows a device: its stored texts, ports by PortText ("N/A" for -1),
// and the DHCP state as stored (the panel's box would say only 1 or 0).
TSetupValues ShownValues(const TProductInfo& info);

enum class TCommandOutcome {
    Sent,        // the request went out (its log lines are written)
    Declined,    // the question was answered No: nothing sent
    Refused,     // a value was refused: nothing stored or sent
    NotOffered,  // the device does not offer the command: nothing sent
    NoDevice,    // no device to act on: nothing asked, nothing sent
};

// Reads an integer the way the field conversion does: optional leading blanks, an optional sign,
// decimal digits and nothing else, within 32 signed bits.
bool ReadInteger(const std::string& text, int32_t& value);

// A port field's value: its integer; for a port the device does not have (stored -1, shown as
// "N/A"), the stored value. False when the text is neither.
bool ReadPort(const std::string& text, int16_t stored, int32_t& value);

// "Apply Changes": the Telnet port text, then the HTTP port text must be integers, and the
// addresses must pass the setup panel's address rule (addressrule.h), which also trims them;
// otherwise the asker hears the offending text and nothing is stored or sent. Then the values
// are stored through SetParameters (ports cut to 16 bits); when the family says a restart is
// needed the apply question is asked, and No stops here (the values stay stored and
// RestartNeeded set). Finally ApplySetup sends the setup and "Reconfiguring %s device" is
// logged with the IP text.
TCommandOutcome ApplyChanges(TProduct* device, TSetupValues values, TSetupAsker& asker);

// "Restart Device": refused when the device cannot restart; asks; sends; logs.
TCommandOutcome RestartDevice(TProduct* device, TSetupAsker& asker);

// "Set Factory Defaults": refused when the device does not offer it; asks; sends; logs.
TCommandOutcome SetFactoryDefaults(TProduct* device, TSetupAsker& asker);
