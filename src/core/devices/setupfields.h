// The setup fields: the nine values of a device's network setup that the setup panel shows and
// edits, a plan sets, pyxet-cli set takes, and the export and the plan files write. Each field is
// described once, in SetupFields(); every layer walks that table instead of naming the fields.
// A field's wire encoding stays in its family's packet code.
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>

struct TProductInfo;

// The fields, in the order of the plan file's columns and the preview.
enum class TSetupField { Name, IP, Mask, Gateway, DNS1, DNS2, Dhcp, HTTPPort, TelnetPort };
constexpr size_t kSetupFieldCount = 9;

// What a field holds: the DHCP state (a 16-bit number, 0 off), a free text (the name), an
// address text, or a port (a signed 16-bit number, -1 when the device has none).
enum class TFieldKind { Flag, Text, Address, Port };

// A set of setup fields: which ones a family's update request carries to the device. A value
// left out is still stored in the device object, but the device never receives it. Made with
// every field in it.
class TSentFields {
public:
    TSentFields() { Carried.fill(true); }
    // Every field but these.
    static TSentFields AllBut(std::initializer_list<TSetupField> fields);

    bool operator[](TSetupField field) const { return Carried[static_cast<size_t>(field)]; }
    void Set(TSetupField field, bool carried) { Carried[static_cast<size_t>(field)] = carried; }
    // Leaves out every field of the kind.
    void LeaveOut(TFieldKind kind);
    // The fields both carry.
    TSentFields operator&(const TSentFields& other) const;
    bool operator==(const TSentFields& other) const = default;

private:
    std::array<bool, kSetupFieldCount> Carried{};
};

// The values of the setup fields as the user left them: the texts of the setup panel's fields
// (ports as typed, "N/A" for a port the device lacks), the DHCP state as a number.
struct TSetupValues {
    std::string Name;
    std::string IP;
    std::string Mask;
    std::string Gateway;
    std::string DNS1;
    std::string DNS2;
    int32_t Dhcp = 0;  // the window: 1 when the box is checked, else 0
    std::string HTTPPort;
    std::string TelnetPort;
};

// One field of the table.
struct TSetupFieldDef {
    TSetupField Id;
    TFieldKind Kind;
    // Its column in the export and the plan files and its key in JSON: "Name", "IP", ... "TelnetPort".
    const char* Key;
    // What the plan dialog's preview calls it (a message id: translate it with _() where shown).
    const char* Label;
    // pyxet-cli: what set's option gives, and what plan make's gives every chosen device.
    const char* SetHelp;
    const char* PlanHelp;
    // Where TProductInfo and TSetupValues hold it: a text, or a number (Flag and Port).
    std::string TProductInfo::*InfoText;
    int16_t TProductInfo::*InfoNumber;
    std::string TSetupValues::*ValueText;  // none for the DHCP state (TSetupValues::Dhcp)
};

// The nine fields in TSetupField order.
const std::array<TSetupFieldDef, kSetupFieldCount>& SetupFields();
const TSetupFieldDef& SetupFieldDef(TSetupField field);
inline const char* FieldKey(TSetupField field) { return SetupFieldDef(field).Key; }
inline TFieldKind FieldKind(TSetupField field) { return SetupFieldDef(field).Kind; }
// Held as a 16-bit number (the DHCP state and the ports) rather than a text.
inline bool IsNumberField(TSetupField field) { return FieldKind(field) == TFieldKind::Flag || FieldKind(field) == TFieldKind::Port; }

// A field's value in a device's record: texts exact, numbers in decimal of their signed 16 bits.
std::string FieldValue(const TProductInfo& info, TSetupField field);
// The number of a Flag or Port field.
int16_t FieldNumber(const TProductInfo& info, TSetupField field);
// Stores a value in a device's record: a text as it is; a number field's decimal text in its low
// 16 bits (a text that is no number stores 0).
void SetFieldValue(TProductInfo& info, TSetupField field, const std::string& value);

// A field's value as the setup panel's fields hold it: texts as they are, the DHCP state in
// decimal.
std::string FieldValue(const TSetupValues& values, TSetupField field);
// Sets it; the DHCP state from its decimal text (a text that is no number sets 0).
void SetFieldValue(TSetupValues& values, TSetupField field, const std::string& value);
