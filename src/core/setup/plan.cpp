// The planner: from the devices found, the chosen ones, the form and a plan file, the values each
// device gets and the problems that stop or mark the plan.
#include "core/setup/plan.h"

#include "core/app/i18n.h"
#include "core/discovery/export.h"
#include "core/devices/utils.h"
#include "core/log/format.h"
#include "core/log/safetext.h"
#include "core/devices/family.h"
#include "core/discovery/families.h"
#include "core/setup/addressrule.h"
#include "core/setup/fields.h"
#include "core/setup/planfile.h"

#include <algorithm>
#include <unordered_map>
#include <unordered_set>

namespace {

bool IsPort(TSetupField field) { return FieldKind(field) == TFieldKind::Port; }

int16_t Low16(int32_t value) { return static_cast<int16_t>(static_cast<uint16_t>(value)); }

// The device's own value of a text field.
const std::string& OwnText(const TProductInfo& info, TSetupField field)
{
    return info.*SetupFieldDef(field).InfoText;
}

bool SameFamily(const std::string& a, const std::string& b)
{
    return QString::fromStdString(a).compare(QString::fromStdString(b), Qt::CaseInsensitive) == 0;
}

class TPlanner {
public:
    explicit TPlanner(const TPlanInputs& inputs) : In(inputs) {}
    TPlan Make();

private:
    int DeviceIndex(const TProduct* device, bool chosen);
    void Problem(TPlanProblemKind kind, int device, std::optional<TSetupField> field, std::string text, int line = 0,
                 int column = 0);
    void ProblemAt(TPlanProblemKind kind, int device, TSetupField field, std::string text);
    // Gives the field a value: unchanged when it is the device's own.
    void Set(int device, TSetupField field, const std::string& value, TPlanSource source, int line = 0, int column = 0);
    void ApplyForm(int device, const std::array<std::optional<int32_t>, kSetupFieldCount>& ports);
    void ApplyRow(int device, const TPlanRow& row);
    void CountAddresses();
    void MarkCarried(int device);
    void CheckDevice(int device);
    void CheckAddresses();
    bool UsedByOthers(uint32_t address, const TProduct* device) const;
    // Why the consecutive addresses pass over the address for this device, if they do.
    std::optional<TSkipReason> SkipReason(uint32_t address, bool hasEdges, uint32_t network, uint32_t broadcast,
                                          const std::unordered_set<uint32_t>& ownAddresses,
                                          const std::unordered_set<uint32_t>& taken,
                                          const std::optional<uint32_t>& gateway, const TProduct* device) const;
    void Skip(uint32_t address, TSkipReason reason);
    std::string DeviceText(const TProduct* device) const;

    const TPlanInputs& In;
    TPlan Plan;
    std::unordered_map<const TProduct*, int> PlanIndex;
    std::unordered_map<uint64_t, std::vector<const TProduct*>> FoundByMac;
    // Every address a device found answers on or is configured with, and the devices there.
    std::unordered_map<uint32_t, std::vector<const TProduct*>> FoundAddresses;
    std::vector<bool> IPFromFile;
};

int TPlanner::DeviceIndex(const TProduct* device, bool chosen)
{
    const auto [it, added] = PlanIndex.emplace(device, static_cast<int>(Plan.Devices.size()));
    if (added) {
        TDevicePlan d;
        d.Device = device;
        d.Family = FamilyName(*device);
        d.Before = device->CopyInfo();
        d.Chosen = chosen;
        Plan.Devices.push_back(std::move(d));
        IPFromFile.push_back(false);
    }
    return it->second;
}

void TPlanner::Problem(TPlanProblemKind kind, int device, std::optional<TSetupField> field, std::string text, int line,
                       int column)
{
    Plan.Problems.push_back({kind, device, field, line, column, std::move(text), In.Undo});
}

void TPlanner::ProblemAt(TPlanProblemKind kind, int device, TSetupField field, std::string text)
{
    const TPlanChange& change = Plan.Devices[device].Field(field);
    Problem(kind, device, field, std::move(text), change.Line, change.Column);
}

void TPlanner::Set(int device, TSetupField field, const std::string& value, TPlanSource source, int line, int column)
{
    const TProductInfo& info = Plan.Devices[device].Before;
    bool same = false;
    if (IsNumberField(field)) {
        int32_t number = 0;
        ReadInteger(value, number);
        same = Low16(number) == FieldNumber(info, field);
    } else {
        // The export writes a text that is not UTF-8 mended; read back, it is still the device's own.
        const std::string& own = OwnText(info, field);
        same = value == own || value == ValidUtf8(own);
    }
    TPlanChange& change = Plan.Devices[device].Field(field);
    change = TPlanChange{};
    change.Changed = !same;
    change.Value = same ? std::string() : value;
    change.Source = source;
    change.Line = line;
    change.Column = column;
}

void TPlanner::ApplyForm(int device, const std::array<std::optional<int32_t>, kSetupFieldCount>& ports)
{
    // The name (a pattern) and the IP address (counted) are given elsewhere.
    for (const TSetupFieldDef& field : SetupFields()) {
        const std::optional<std::string>& value = In.Form[field.Id];
        switch (field.Kind) {
        case TFieldKind::Flag:
            if (value && (*value == "0" || *value == "1"))
                Set(device, field.Id, *value, TPlanSource::Form);
            break;
        case TFieldKind::Address:
            if (value && field.Id != TSetupField::IP)
                Set(device, field.Id, TrimBlanks(*value), TPlanSource::Form);
            break;
        case TFieldKind::Port:
            if (const auto& port = ports[static_cast<size_t>(field.Id)])
                Set(device, field.Id, std::to_string(static_cast<uint16_t>(*port)), TPlanSource::Form);
            break;
        case TFieldKind::Text: break;
        }
    }
}

void TPlanner::ApplyRow(int device, const TPlanRow& row)
{
    for (size_t k = 0; k < kSetupFieldCount; ++k) {
        if (!row.Cells[k])
            continue;
        const auto field = static_cast<TSetupField>(k);
        const TPlanCell& cell = *row.Cells[k];
        // An undo file's cells stand as they are; a plan's empty or "N/A" cell says nothing.
        if (!In.Undo && (cell.Text.empty() || cell.Text == "N/A"))
            continue;
        if (field == TSetupField::IP)
            IPFromFile[device] = true;
        std::string value = cell.Text;
        if (IsNumberField(field)) {
            int32_t number = 0;
            const TProductInfo& info = Plan.Devices[device].Before;
            if (In.Undo && IsPort(field) && cell.Text == PortText(FieldNumber(info, field))) {
                Set(device, field, std::to_string(FieldNumber(info, field)), TPlanSource::File, row.Line, cell.Column);
                continue;
            }
            if (!ReadInteger(cell.Text, number)) {
                Problem(TPlanProblemKind::BadValue, device, field,
                        Format(_("'%s' is not a valid integer value"), SafeText(cell.Text).c_str()), row.Line,
                        cell.Column);
                Plan.Devices[device].Field(field) = TPlanChange{};
                continue;
            }
            if (field == TSetupField::Dhcp && number != 0 && number != 1 && Low16(number) != info.Dhcp) {
                Problem(TPlanProblemKind::BadValue, device, field,
                        Format(_("'%s' is not a DHCP state (0 or 1)"), SafeText(cell.Text).c_str()), row.Line,
                        cell.Column);
                Plan.Devices[device].Field(field) = TPlanChange{};
                continue;
            }
            value = IsPort(field) ? std::to_string(static_cast<uint16_t>(number)) : std::to_string(number);
        } else if (field != TSetupField::Name) {
            value = TrimBlanks(value);
        }
        Set(device, field, value, TPlanSource::File, row.Line, cell.Column);
    }
}

std::optional<TSkipReason> TPlanner::SkipReason(uint32_t address, bool hasEdges, uint32_t network, uint32_t broadcast,
                                                const std::unordered_set<uint32_t>& ownAddresses,
                                                const std::unordered_set<uint32_t>& taken,
                                                const std::optional<uint32_t>& gateway, const TProduct* device) const
{
    if (hasEdges && address == network)
        return TSkipReason::NetworkAddress;
    if (hasEdges && address == broadcast)
        return TSkipReason::BroadcastAddress;
    if (ownAddresses.count(address))
        return TSkipReason::ThisPc;
    if (taken.count(address))
        return TSkipReason::Planned;
    if (gateway && address == *gateway)
        return TSkipReason::Gateway;
    if (UsedByOthers(address, device))
        return TSkipReason::InUse;
    return std::nullopt;
}

void TPlanner::Skip(uint32_t address, TSkipReason reason)
{
    // The addresses come in ascending order: one that follows the last range of its reason
    // lengthens it.
    std::vector<TSkippedAddresses>& skipped = Plan.Skipped;
    if (!skipped.empty() && skipped.back().Reason == reason && skipped.back().Last + 1 == address)
        skipped.back().Last = address;
    else
        skipped.push_back({address, address, reason});
}

bool TPlanner::UsedByOthers(uint32_t address, const TProduct* device) const
{
    const auto it = FoundAddresses.find(address);
    if (it == FoundAddresses.end())
        return false;
    return std::any_of(it->second.begin(), it->second.end(), [&](const TProduct* d) { return d != device; });
}

std::string TPlanner::DeviceText(const TProduct* device) const
{
    const TProductInfo& info = device->Info;
    if (info.Name.empty())
        return SafeText(info.MAC);
    return Format("%s (%s)", SafeText(info.MAC).c_str(), SafeText(info.Name).c_str());
}

void TPlanner::CountAddresses()
{
    const std::optional<std::string>& firstIP = In.Form[TSetupField::IP];
    if (!firstIP)
        return;
    const std::string firstText = TrimBlanks(*firstIP);
    const std::optional<uint32_t> first = IsPlainIpAddress(firstText) ? ParseAddress(firstText) : std::nullopt;
    if (!first) {
        Problem(TPlanProblemKind::RefusedAddress, -1, TSetupField::IP,
                Format(_("'%s' is not a valid IP address"), SafeText(firstText).c_str()));
        return;
    }
    std::unordered_set<uint32_t> ownAddresses;  // this PC's
    for (const TNetInterface& i : In.Interfaces)
        ownAddresses.insert(i.Address);
    std::unordered_set<uint32_t> taken;  // the addresses the plan gives already
    for (size_t k = 0; k < Plan.Devices.size(); ++k) {
        const TPlanChange& ip = Plan.Devices[k].Field(TSetupField::IP);
        if (ip.Changed)
            if (const auto a = ParseAddress(ip.Value))
                taken.insert(*a);
    }

    uint64_t next = *first;
    for (size_t k = 0; k < Plan.Devices.size(); ++k) {
        TDevicePlan& d = Plan.Devices[k];
        if (!d.Chosen || IPFromFile[k])
            continue;
        const auto after = [&](TSetupField field) {
            const TPlanChange& c = d.Field(field);
            return c.Changed ? c.Value : OwnText(d.Before, field);
        };
        const std::optional<uint32_t> mask = ParseAddress(after(TSetupField::Mask));
        const std::optional<uint32_t> gateway = ParseAddress(after(TSetupField::Gateway));
        const uint32_t network = mask ? *first & *mask : 0;
        const uint32_t broadcast = mask ? network | ~*mask : 0;
        const bool hasEdges = mask && ~*mask >= 3u;  // /31 and /32 have no network or broadcast address
        bool given = false;
        while (next <= 0xFFFFFFFFu && (!mask || (static_cast<uint32_t>(next) & *mask) == network)) {
            const auto a = static_cast<uint32_t>(next++);
            if (const auto reason = SkipReason(a, hasEdges, network, broadcast, ownAddresses, taken, gateway,
                                               d.Device)) {
                Skip(a, *reason);
                continue;
            }
            taken.insert(a);
            Set(static_cast<int>(k), TSetupField::IP, AddressText(a), TPlanSource::Counter);
            given = true;
            break;
        }
        if (!given)
            Problem(TPlanProblemKind::NoAddressLeft, static_cast<int>(k), TSetupField::IP,
                    Format(_("No free address is left from %s in the subnet with the mask %s"),
                           AddressText(*first).c_str(), SafeText(after(TSetupField::Mask)).c_str()));
    }
}

void TPlanner::MarkCarried(int device)
{
    TDevicePlan& d = Plan.Devices[device];
    TPlanChange& dhcp = d.Field(TSetupField::Dhcp);
    const TSentFields own = d.Device->SentFields(d.Before.Dhcp);
    dhcp.Carried = own[TSetupField::Dhcp];
    int32_t dhcpAfter = d.Before.Dhcp;
    if (dhcp.Changed && dhcp.Carried)
        ReadInteger(dhcp.Value, dhcpAfter);
    const TSentFields sent = d.Device->SentFields(dhcpAfter);
    const TSentFields withoutDhcp = d.Device->SentFields(0);
    for (size_t k = 0; k < kSetupFieldCount; ++k) {
        const auto field = static_cast<TSetupField>(k);
        TPlanChange& change = d.Fields[k];
        if (field != TSetupField::Dhcp)
            change.Carried = sent[field] && !(IsPort(field) && FieldNumber(d.Before, field) == -1);
        if (!change.Changed || change.Carried)
            continue;
        const char* column = FieldKey(field);
        if (field != TSetupField::Dhcp && withoutDhcp[field] && !IsPort(field))
            ProblemAt(TPlanProblemKind::DhcpOn, device, field,
                      Format(_("%s is not sent to a device with DHCP on: the plan must turn DHCP off too"), column));
        else
            ProblemAt(TPlanProblemKind::NotCarried, device, field,
                      Format(_("%s is left out: this device cannot take it"), column));
    }
}

void TPlanner::CheckDevice(int device)
{
    TDevicePlan& d = Plan.Devices[device];
    if (!d.Changes())
        return;
    TSetupValues values = d.Values();
    // Checked the way "Apply Changes" checks it, so the apply step never meets a refusal.
    if (const auto refused = CheckSetupAddresses(*d.Device, values)) {
        ProblemAt(TPlanProblemKind::RefusedAddress, device, refused->Field,
                  Format(_("'%s' is not a valid IP address"), SafeText(refused->Text).c_str()));
        return;
    }
    const TSentFields sent = d.Device->SentFields(values.Dhcp);
    const bool moved = d.Sends(TSetupField::IP) || d.Sends(TSetupField::Mask) || d.Sends(TSetupField::Gateway)
                       || d.Sends(TSetupField::Dhcp);
    if (!sent[TSetupField::Gateway] || !moved)
        return;
    const auto ip = ParseAddress(values.IP);
    const auto mask = ParseAddress(values.Mask);
    const auto gateway = ParseAddress(values.Gateway);
    if (ip && mask && gateway && *gateway != 0 && (*gateway & *mask) != (*ip & *mask)) {
        const TSetupField blamed = d.Sends(TSetupField::Gateway) ? TSetupField::Gateway
                                  : d.Sends(TSetupField::IP)    ? TSetupField::IP
                                                               : TSetupField::Mask;
        ProblemAt(TPlanProblemKind::GatewayOutsideSubnet, device, blamed,
                  Format(_("The gateway %s lies outside the subnet of %s with the mask %s"), values.Gateway.c_str(),
                         values.IP.c_str(), values.Mask.c_str()));
    }
}

void TPlanner::CheckAddresses()
{
    std::unordered_map<uint32_t, int> given;
    for (size_t k = 0; k < Plan.Devices.size(); ++k) {
        TDevicePlan& d = Plan.Devices[k];
        if (!d.Sends(TSetupField::IP))
            continue;
        const TPlanChange& ip = d.Field(TSetupField::IP);
        const auto address = ParseAddress(ip.Value);
        if (!address)
            continue;
        const int device = static_cast<int>(k);
        // In an undo, where each device gets back the address it had, shared or not, both are notes.
        const auto [first, added] = given.emplace(*address, device);
        if (!added)
            ProblemAt(TPlanProblemKind::DuplicateAddress, device, TSetupField::IP,
                      Format(_("The address %s is given to %s too"), ip.Value.c_str(),
                             DeviceText(Plan.Devices[first->second].Device).c_str()));
        const auto it = FoundAddresses.find(*address);
        if (it != FoundAddresses.end())
            for (const TProduct* other : it->second)
                if (other != d.Device) {
                    ProblemAt(TPlanProblemKind::AddressInUse, device, TSetupField::IP,
                              Format(_("The address %s is already used by %s"), ip.Value.c_str(),
                                     DeviceText(other).c_str()));
                    break;
                }
        const bool onThisPc = std::any_of(In.Interfaces.begin(), In.Interfaces.end(), [&](const TNetInterface& i) {
            const uint32_t mask = PrefixMask(i.PrefixLength);
            return i.Up && !i.Loopback && (i.Address & mask) == (*address & mask);
        });
        if (!onThisPc)
            ProblemAt(TPlanProblemKind::OutsidePcSubnets, device, TSetupField::IP,
                      Format(_("The address %s lies outside every subnet of this PC"), ip.Value.c_str()));
    }
}

TPlan TPlanner::Make()
{
    Plan.Undo = In.Undo;
    if (In.DemoMode)
        Problem(TPlanProblemKind::DemoMode, -1, std::nullopt, _("Nothing is sent to devices in demonstration mode."));

    for (const TProduct* device : In.Found) {
        if (!device)
            continue;
        if (const auto key = MacKeyOf(device->Info.MAC))
            FoundByMac[*key].push_back(device);
        for (const std::string* text : {&device->Info.PeerIP, &device->Info.IP}) {
            const auto address = ParseAddress(*text);
            if (!address || *address == 0)
                continue;
            std::vector<const TProduct*>& there = FoundAddresses[*address];
            if (there.empty() || there.back() != device)
                there.push_back(device);
        }
    }

    for (const TProduct* device : In.Chosen)
        if (device)
            DeviceIndex(device, true);

    // The form's numbers, checked once for the whole plan.
    std::array<std::optional<int32_t>, kSetupFieldCount> ports;
    for (const TSetupFieldDef& field : SetupFields()) {
        const std::optional<std::string>& text = In.Form[field.Id];
        int32_t value = 0;
        if (field.Kind != TFieldKind::Port || !text)
            continue;
        if (ReadInteger(TrimBlanks(*text), value))
            ports[static_cast<size_t>(field.Id)] = value;
        else
            Problem(TPlanProblemKind::BadValue, -1, field.Id,
                    Format(_("'%s' is not a valid integer value"), SafeText(*text).c_str()));
    }
    if (const auto& dhcp = In.Form[TSetupField::Dhcp]; dhcp && *dhcp != "0" && *dhcp != "1")
        Problem(TPlanProblemKind::BadValue, -1, TSetupField::Dhcp,
                Format(_("'%s' is not a DHCP state (0 or 1)"), SafeText(*dhcp).c_str()));

    int counter = 0;
    const size_t chosenCount = Plan.Devices.size();
    for (size_t k = 0; k < chosenCount; ++k) {
        TDevicePlan& d = Plan.Devices[k];
        ApplyForm(static_cast<int>(k), ports);
        const std::optional<std::string>& pattern = In.Form[TSetupField::Name];
        if (pattern && d.Device->SentFields(d.Before.Dhcp)[TSetupField::Name])
            Set(static_cast<int>(k), TSetupField::Name, PatternName(*pattern, ++counter),
                TPlanSource::Pattern);
    }

    if (In.File) {
        std::unordered_map<uint64_t, int> rowLines;
        for (const TPlanRow& row : In.File->Rows) {
            if (!row.MacValid) {
                Problem(TPlanProblemKind::BadValue, -1, std::nullopt,
                        Format(_("'%s' is not a MAC address"), SafeText(row.MacText).c_str()), row.Line, row.MacColumn);
                continue;
            }
            const uint64_t key = MacKey(row.Mac.data());
            const auto [first, added] = rowLines.emplace(key, row.Line);
            if (!added) {
                Problem(TPlanProblemKind::DuplicateRow, -1, std::nullopt,
                        Format(_("The MAC address %s is named on line %d already"), SafeText(row.MacText).c_str(),
                               first->second),
                        row.Line, row.MacColumn);
                continue;
            }
            const TProduct* match = nullptr;
            if (const auto it = FoundByMac.find(key); it != FoundByMac.end())
                for (const TProduct* device : it->second)
                    if (row.Family.empty() || SameFamily(row.Family, FamilyName(*device))) {
                        match = device;
                        break;
                    }
            if (!match) {
                Problem(TPlanProblemKind::NotFound, -1, std::nullopt,
                        Format(_("No device with the MAC address %s was found"), SafeText(row.MacText).c_str()),
                        row.Line, row.MacColumn);
                continue;
            }
            const int device = DeviceIndex(match, false);
            Plan.Devices[device].FileLine = row.Line;
            ApplyRow(device, row);
        }
    }

    for (size_t k = 0; k < Plan.Devices.size(); ++k) {
        const TDevicePlan& d = Plan.Devices[k];
        const auto key = MacKeyOf(d.Before.MAC);
        if (key && FoundByMac[*key].size() > 1)
            Problem(TPlanProblemKind::SharedMac, static_cast<int>(k), std::nullopt,
                    Format(_("Another device found has the MAC address %s too"), SafeText(d.Before.MAC).c_str()),
                    d.FileLine);
    }

    CountAddresses();
    for (size_t k = 0; k < Plan.Devices.size(); ++k)
        MarkCarried(static_cast<int>(k));
    for (size_t k = 0; k < Plan.Devices.size(); ++k)
        CheckDevice(static_cast<int>(k));
    CheckAddresses();
    for (size_t k = 0; k < Plan.Problems.size(); ++k)
        if (Plan.Problems[k].Device >= 0)
            Plan.Devices[Plan.Problems[k].Device].Problems.push_back(k);
    return std::move(Plan);
}

}  // namespace

bool TDevicePlan::Changes() const
{
    return std::any_of(Fields.begin(), Fields.end(), [](const TPlanChange& c) { return c.Changed && c.Carried; });
}

TSetupValues TDevicePlan::Values() const
{
    TSetupValues values = ShownValues(Before);
    for (const TSetupFieldDef& field : SetupFields())
        if (Sends(field.Id))
            SetFieldValue(values, field.Id, Field(field.Id).Value);
    return values;
}

TProductInfo TDevicePlan::After() const
{
    TProductInfo info = Before;
    const TSetupValues values = Values();
    for (const TSetupFieldDef& field : SetupFields()) {
        // A port the plan does not send keeps its number (the values show "N/A" for -1).
        if (field.Kind != TFieldKind::Port || Sends(field.Id))
            SetFieldValue(info, field.Id, FieldValue(values, field.Id));
    }
    return info;
}

std::vector<TSetupField> TDevicePlan::VerifiedFields() const
{
    // With DHCP on (-1 is an HWG device without the setting), a device answers with the addresses
    // its DHCP server gave, whatever was stored.
    const int16_t dhcp = After().Dhcp;
    const bool dhcpOn = dhcp != 0 && dhcp != -1;
    std::vector<TSetupField> fields;
    for (size_t k = 0; k < kSetupFieldCount; ++k) {
        const auto field = static_cast<TSetupField>(k);
        if (Sends(field) && !(dhcpOn && FieldKind(field) == TFieldKind::Address))
            fields.push_back(field);
    }
    return fields;
}

std::string TDevicePlan::ExpectedValue(TSetupField field) const
{
    const TPlanChange& change = Field(field);
    if (!change.Changed)
        return FieldValue(Before, field);
    if (const TFamily* family = FindFamily(Family); field == TSetupField::Name && family && family->NameBytes > 0)
        return std::string(Utf8Prefix(change.Value, family->NameBytes));
    if (IsNumberField(field)) {
        int32_t number = 0;
        ReadInteger(change.Value, number);
        return std::to_string(Low16(number));
    }
    if (field != TSetupField::Name && change.Value.empty())
        return "0.0.0.0";  // how an empty address goes out (the address rule lets no other family send one)
    return change.Value;
}

std::string TDevicePlan::ShownBefore(TSetupField field) const
{
    if (field == TSetupField::Dhcp)
        return std::to_string(Before.Dhcp);
    if (IsPort(field))
        return PortText(FieldNumber(Before, field));
    return SafeText(OwnText(Before, field));
}

std::string TDevicePlan::ShownAfter(TSetupField field) const
{
    const TPlanChange& change = Field(field);
    return change.Changed ? SafeText(change.Value) : ShownBefore(field);
}

std::string TSkippedAddresses::Text() const
{
    const std::string range =
        First == Last ? AddressText(First) : AddressText(First) + "\u2013" + AddressText(Last);
    const char* format = "";
    switch (Reason) {
    case TSkipReason::InUse: format = _("%s: in use"); break;
    case TSkipReason::ThisPc: format = _("%s: this PC's address"); break;
    case TSkipReason::Gateway: format = _("%s: the gateway"); break;
    case TSkipReason::NetworkAddress: format = _("%s: the subnet's network address"); break;
    case TSkipReason::BroadcastAddress: format = _("%s: the subnet's broadcast address"); break;
    case TSkipReason::Planned: format = _("%s: planned for another device"); break;
    }
    return Format(format, range.c_str());
}

bool TPlanProblem::Blocking() const
{
    if (Undo)
        switch (Kind) {
        case TPlanProblemKind::DemoMode:
        case TPlanProblemKind::BadValue:
        case TPlanProblemKind::RefusedAddress:
        case TPlanProblemKind::NotCarried: return true;
        default: return false;
        }
    switch (Kind) {
    case TPlanProblemKind::NotCarried:
    case TPlanProblemKind::OutsidePcSubnets:
    case TPlanProblemKind::NotFound: return false;
    default: return true;
    }
}

std::string TPlanProblem::Message() const
{
    if (Line > 0 && Column > 0)
        return Format(_("Line %d, column %d: %s"), Line, Column, Text.c_str());
    if (Line > 0)
        return Format(_("Line %d: %s"), Line, Text.c_str());
    return Text;
}

bool TPlan::Blocked() const
{
    return std::any_of(Problems.begin(), Problems.end(), [](const TPlanProblem& p) { return p.Blocking(); });
}

std::vector<const TPlanProblem*> TPlan::PlanProblems() const
{
    std::vector<const TPlanProblem*> found;
    for (const TPlanProblem& p : Problems)
        if (p.Device < 0)
            found.push_back(&p);
    return found;
}

size_t TPlan::ChangingDevices() const
{
    return static_cast<size_t>(
        std::count_if(Devices.begin(), Devices.end(), [](const TDevicePlan& d) { return d.Changes(); }));
}

TPlan MakePlan(const TPlanInputs& inputs) { return TPlanner(inputs).Make(); }

std::string PatternName(const std::string& pattern, int number)
{
    const size_t end = pattern.find_last_of('#');
    if (end == std::string::npos)
        return pattern;
    size_t begin = end;
    while (begin > 0 && pattern[begin - 1] == '#')
        --begin;
    const size_t width = end - begin + 1;
    std::string digits = std::to_string(number);
    if (digits.size() < width)
        digits.insert(0, width - digits.size(), '0');
    return pattern.substr(0, begin) + digits + pattern.substr(end + 1);
}
