// Setting up many devices at once: the planner. From the devices found, the ones chosen (in the
// order they are shown) and the values asked for, a plan says for each device the value every
// setup field will get, or that the field stays as it is, and lists the problems found before
// anything is sent. The window's preview, pyxet-cli plan and the apply step all read the same
// TPlan; nothing here sends anything.
//
// Sources of values, combinable:
//  - the form (TPlanForm): one DHCP state, mask, gateway, name servers and ports for every chosen
//    device; IP addresses counting up from a first address; names from a pattern with a counter;
//  - a plan file (planfile.h): values per device by MAC address, for the devices it names whether
//    they were chosen or not. Where both give a field of one device, the file's value counts.
// A value equal to the device's own (ports and the DHCP state compared in their 16 bits) changes
// nothing.
//
// Problems: blocking ones stop the whole plan (nothing is sent); the others are shown, and a
// value the family cannot carry is left out of that device's update and of its verification.
// An undo puts back what was there: only demonstration mode and a value that cannot be sent at
// all block it (see TPlanProblem::Blocking); the rest are notes.
#pragma once
#include "core/devices/netinterfaces.h"
#include "core/devices/product.h"
#include "core/setup/commands.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

struct TPlanFile;

// The values asked for the chosen devices; an empty optional keeps the field ("keep" in the
// window, an option not given in pyxet-cli). Blanks at the ends of the address and port texts are
// removed; the name pattern stays as typed. The fields and their columns: core/devices/setupfields.h.
//
// The consecutive addresses start at the form's IP address and go up, skipping every address another device
// found answers on or is configured with, this PC's own addresses, the device's gateway as the
// plan leaves it, and the network and broadcast addresses of the subnet the device's mask (as the
// plan leaves it) makes of that first address; a device for which that subnet has no address left gets none
// (a blocking problem). A device whose own address comes up keeps it.
struct TPlanForm {
    // By field: for the IP address the first of the consecutive addresses, for the name the
    // pattern (the last run of '#' counts from 1), for the DHCP state "0" or "1".
    std::array<std::optional<std::string>, kSetupFieldCount> Values;

    std::optional<std::string>& operator[](TSetupField field) { return Values[static_cast<size_t>(field)]; }
    const std::optional<std::string>& operator[](TSetupField field) const
    {
        return Values[static_cast<size_t>(field)];
    }
};

// Where a planned value came from.
enum class TPlanSource { None, Form, Counter, Pattern, File };

// One field of one device in the plan.
struct TPlanChange {
    bool Changed = false;  // the plan gives the field a value other than the device's own
    bool Carried = true;   // the family's update carries it (otherwise: shown, but not sent)
    std::string Value;     // the new value as it is stored and sent (exact text); ports and DHCP in decimal
    TPlanSource Source = TPlanSource::None;
    int Line = 0;  // for a value from a plan file: its line and column (from 1)
    int Column = 0;
};

// One device of the plan.
struct TDevicePlan {
    const TProduct* Device = nullptr;  // the device found; not owned, valid until the devices are freed
    std::string Family;                // "Orvex", "HWG"
    TProductInfo Before;               // the device's values when the plan was made
    std::array<TPlanChange, kSetupFieldCount> Fields;
    bool Chosen = false;           // among the chosen devices (else named by the plan file only)
    int FileLine = 0;              // the plan file's row naming it, 0 when none
    std::vector<size_t> Problems;  // its problems: indexes into TPlan::Problems, in order

    const TPlanChange& Field(TSetupField field) const { return Fields[static_cast<size_t>(field)]; }
    TPlanChange& Field(TSetupField field) { return Fields[static_cast<size_t>(field)]; }
    // Whether the field is sent: changed and carried by the family.
    bool Sends(TSetupField field) const { return Field(field).Changed && Field(field).Carried; }
    // Whether anything is sent to this device at all.
    bool Changes() const;
    // The values to hand to ApplyChanges: the device's own, with every field it sends replaced.
    TSetupValues Values() const;
    // The device's record as it will be once the update took: Before with every field it sends
    // replaced (ports and the DHCP state in their 16 bits).
    TProductInfo After() const;
    // The fields verification compares: the ones sent, in TSetupField order; no address when the
    // update leaves DHCP on (the device then answers with what its DHCP server gave).
    std::vector<TSetupField> VerifiedFields() const;
    // The value a field should read back once the update took: the Orvex name as the update
    // cuts it (32 bytes, never half a character); an empty address as 0.0.0.0; ports and DHCP in
    // decimal of their 16 bits (as signed numbers, the way TProductInfo holds them).
    std::string ExpectedValue(TSetupField field) const;
    // A field's value before and after, as the preview shows it (device text through SafeText).
    std::string ShownBefore(TSetupField field) const;
    std::string ShownAfter(TSetupField field) const;
};

enum class TPlanProblemKind {
    // Blocking: nothing of the plan is sent.
    DemoMode,              // demonstration mode
    BadValue,              // a port or DHCP value that is no number (or no DHCP state), a MAC that is none
    RefusedAddress,        // a value the setup panel's address rule refuses
    NoAddressLeft,         // the consecutive addresses ran out of the subnet
    DuplicateAddress,      // two devices given one address
    AddressInUse,          // an address another device found already uses
    GatewayOutsideSubnet,  // a gateway other than 0.0.0.0 outside the address's subnet
    DhcpOn,                // an address for a device whose update carries none with DHCP on
    SharedMac,             // one MAC that two found devices share
    DuplicateRow,          // one MAC that two rows of the plan file name
    // Not blocking: shown.
    NotCarried,        // a value the family cannot carry: left out of the update and the verification
    OutsidePcSubnets,  // a new address outside every subnet of this PC
    NotFound,          // a row of the plan file that names no device found
};

struct TPlanProblem {
    TPlanProblemKind Kind = TPlanProblemKind::BadValue;
    int Device = -1;                  // index into TPlan::Devices; -1 for the plan as a whole
    std::optional<TSetupField> Field;  // the field it concerns, when one
    int Line = 0;                     // the plan file's line and column, 0 when not from a file
    int Column = 0;
    std::string Text;  // translated, in its shown form, without the position
    bool Undo = false;  // found in an undo (TPlanInputs::Undo)

    // Whether it stops the plan: the kinds marked blocking above. In an undo only demonstration
    // mode, a value that is no number, no DHCP state or no address where one belongs (BadValue,
    // RefusedAddress) and a value the device's family cannot take (NotCarried) block; the rest
    // are notes: a gateway outside the subnet, an address given twice or in use, and an address
    // left out because DHCP comes back on (the device then takes the one its server gives).
    bool Blocking() const;
    // Text with the position in front when there is one: "Line 4, column 6: ...". The texts are
    // translated when the plan is made: after a change of language, make the plan again.
    std::string Message() const;
};

// Why the consecutive addresses passed over an address.
enum class TSkipReason {
    InUse,             // another device found answers on it or is configured with it
    ThisPc,            // one of this PC's addresses
    Gateway,           // the gateway the device has once the plan took
    NetworkAddress,    // the network address of the device's subnet
    BroadcastAddress,  // the broadcast address of the device's subnet
    Planned,           // the plan file gives it to another device
};

// Consecutive addresses passed over for one reason (First == Last for a single address).
struct TSkippedAddresses {
    uint32_t First = 0;
    uint32_t Last = 0;
    TSkipReason Reason = TSkipReason::InUse;

    // "10.77.1.12–10.77.1.15: in use", "10.77.1.1: the gateway", translated.
    std::string Text() const;
};

struct TPlan {
    std::vector<TDevicePlan> Devices;    // the chosen devices in their order, then the others the file names
    std::vector<TPlanProblem> Problems;  // in the order found
    std::vector<TSkippedAddresses> Skipped;  // what the consecutive addresses passed over, ascending
    bool Undo = false;                   // made from an undo file

    bool Blocked() const;
    // The problems of the plan as a whole (Device == -1); a device's are listed in its Problems.
    std::vector<const TPlanProblem*> PlanProblems() const;
    // Devices to which something is sent.
    size_t ChangingDevices() const;
};

// What the planner reads besides the values asked for.
struct TPlanInputs {
    std::vector<const TProduct*> Found;   // every device found (DeviceList order)
    std::vector<const TProduct*> Chosen;  // the chosen ones, in the order shown
    TPlanForm Form;
    const TPlanFile* File = nullptr;  // a plan file read by ReadPlanFile, or none
    // The file is an undo file: every cell is applied as it stands (an empty name stays empty),
    // and the values it gives are the devices' own from before, which come back even where a new
    // plan would be blocked: a gateway outside the subnet, two devices given one address, an
    // address another device uses (factory addresses come back). Those are shown as notes.
    bool Undo = false;
    std::vector<TNetInterface> Interfaces;  // this PC's addresses (ListNetInterfaces)
    bool DemoMode = false;
};

TPlan MakePlan(const TPlanInputs& inputs);

// The name the pattern gives the device counted number (from 1): the last run of '#' replaced by
// the number with at least as many digits as the run has '#'; a pattern without '#' as it is.
std::string PatternName(const std::string& pattern, int number);
