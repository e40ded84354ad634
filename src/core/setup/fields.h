// The setup panel's rules while the user edits: whether "Apply Changes" is enabled and whether
// the address fields are locked. Each rule looks at the field that changed and nothing else, so
// the field edited last decides the button. The window asks these and shows the answer.
#pragma once
#include "core/devices/product.h"

#include <optional>
#include <string>

// A port as its field shows it: the decimal text of the signed 16-bit value, "N/A" for -1.
std::string PortText(int16_t port);

// The stored value a field is compared with: the text itself, the name's shown form (SafeText:
// the field shows the name that way), or a number's decimal text (a port's -1 compares as "-1";
// the field then shows "N/A" and is read-only).
std::string StoredText(const TProductInfo& info, TSetupField field);

// The name "Apply Changes" stores and sends for the name field's text: while the field still
// shows the stored name (its shown form), the stored name itself, byte for byte, whatever it
// holds; any other text as the user typed it.
std::string NameToApply(const std::string& fieldText, const std::string& storedName);

// After the text of a field changed: whether "Apply Changes" is enabled, or nothing to change
// (no device selected; a read-only port field). Exact, case-sensitive comparison; a port text
// with a leading zero or a blank counts as different. Never enabled in demonstration mode.
std::optional<bool> ApplyEnabledAfterEdit(const TProduct* device, bool demoMode, TSetupField field,
                                          const std::string& text, bool readOnly);

// After the DHCP box changed: whether "Apply Changes" is enabled (checked counts 1, unchecked 0,
// against the stored 16-bit state, so a stored 2 differs from both), or nothing without a device.
std::optional<bool> ApplyEnabledAfterDhcpClick(const TProduct* device, bool demoMode, bool checked);

// Whether the DHCP box locks the address fields: only when checked outside demonstration mode.
bool AddressFieldsLocked(bool checked, bool demoMode);

// A name-server field that shows "N/A" (a family without name servers) keeps its look whatever
// the DHCP box says.
bool KeepsItsLook(const std::string& nameServerText);
