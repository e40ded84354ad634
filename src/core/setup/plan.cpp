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

constexpr TPlanField kAddressFields[] = {TPlanField::IP, TPlanField::Mask, TPlanField::Gateway, TPlanField::DNS1,
                                         TPlanField::DNS2};

constexpr size_t Index(TPlanField field) { return static_cast<size_t>(field); }

bool IsPort(TPlanField field) { return field == TPlanField::HTTPPort || field == TPlanField::TelnetPort; }
bool IsNumber(TPlanField field) { return IsPort(field) || field == TPlanField::Dhcp; }

int16_t Low16(int32_t value) { return static_cast<int16_t>(static_cast<uint16_t>(value)); }

// The device's own value of a text field.
const std::string& OwnText(const TProductInfo& info, TPlanField field)
{
    switch (field) {
    case TPlanField::Name: return info.Name;
    case TPlanField::IP: return info.IP;
    case TPlanField::Mask: return info.Mask;
    case TPlanField::Gateway: return info.Gateway;
    case TPlanField::DNS1: return info.DNS1;
    default: return info.DNS2;
    }
}

// The device's own value of a number field.
int16_t OwnNumber(const TProductInfo& info, TPlanField field)
{
    switch (field) {
    case TPlanField::Dhcp: return info.Dhcp;
    case TPlanField::HTTPPort: return info.HTTPPort;
    default: return info.TelnetPort;
    }
}

bool CarriedBy(const TSentFields& sent, TPlanField field)
{
    switch (field) {
    case TPlanField::Name: return sent.Name;
    case TPlanField::IP: return sent.IP;
    case TPlanField::Mask: return sent.Mask;
    case TPlanField::Gateway: return sent.Gateway;
    case TPlanField::DNS1: return sent.DNS1;
    case TPlanField::DNS2: return sent.DNS2;
    case TPlanField::Dhcp: return sent.Dhcp;
    case TPlanField::HTTPPort: return sent.HTTPPort;
    default: return sent.TelnetPort;
    }
}

TSetupField SetupField(TPlanField field)
{
    switch (field) {
    case TPlanField::Name: return TSetupField::Name;
    case TPlanField::IP: return TSetupField::IP;
    case TPlanField::Mask: return TSetupField::Mask;
    case TPlanField::Gateway: return TSetupField::Gateway;
    case TPlanField::DNS1: return TSetupField::DNS1;
    case TPlanField::DNS2: return TSetupField::DNS2;
    case TPlanField::HTTPPort: return TSetupField::HTTPPort;
    default: return TSetupField::TelnetPort;
    }
}

std::optional<TPlanField> PlanField(TSetupField field)
{
    for (size_t k = 0; k < kPlanFieldCount; ++k) {
        const auto f = static_cast<TPlanField>(k);
        if (f != TPlanField::Dhcp && SetupField(f) == field)
            return f;
    }
    return std::nullopt;
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
    void Problem(TPlanProblemKind kind, int device, std::optional<TPlanField> field, std::string text, int line = 0,
                 int column = 0);
    void ProblemAt(TPlanProblemKind kind, int device, TPlanField field, std::string text);
    // Gives the field a value: unchanged when it is the device's own.
    void Set(int device, TPlanField field, const std::string& value, TPlanSource source, int line = 0, int column = 0);
    void ApplyForm(int device, const std::optional<int32_t>& httpPort, const std::optional<int32_t>& telnetPort);
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

void TPlanner::Problem(TPlanProblemKind kind, int device, std::optional<TPlanField> field, std::string text, int line,
                       int column)
{
    Plan.Problems.push_back({kind, device, field, line, column, std::move(text), In.Undo});
}

void TPlanner::ProblemAt(TPlanProblemKind kind, int device, TPlanField field, std::string text)
{
    const TPlanChange& change = Plan.Devices[device].Field(field);
    Problem(kind, device, field, std::move(text), change.Line, change.Column);
}

void TPlanner::Set(int device, TPlanField field, const std::string& value, TPlanSource source, int line, int column)
{
    const TProductInfo& info = Plan.Devices[device].Before;
    bool same = false;
    if (IsNumber(field)) {
        int32_t number = 0;
        ReadInteger(value, number);
        same = Low16(number) == OwnNumber(info, field);
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

void TPlanner::ApplyForm(int device, const std::optional<int32_t>& httpPort, const std::optional<int32_t>& telnetPort)
{
    const TPlanForm& form = In.Form;
    if (form.Dhcp && (*form.Dhcp == 0 || *form.Dhcp == 1))
        Set(device, TPlanField::Dhcp, std::to_string(*form.Dhcp), TPlanSource::Form);
    const std::pair<TPlanField, const std::optional<std::string>*> addresses[] = {
        {TPlanField::Mask, &form.Mask},
        {TPlanField::Gateway, &form.Gateway},
        {TPlanField::DNS1, &form.DNS1},
        {TPlanField::DNS2, &form.DNS2},
    };
    for (const auto& [field, text] : addresses)
        if (*text)
            Set(device, field, TrimBlanks(**text), TPlanSource::Form);
    if (httpPort)
        Set(device, TPlanField::HTTPPort, std::to_string(static_cast<uint16_t>(*httpPort)), TPlanSource::Form);
    if (telnetPort)
        Set(device, TPlanField::TelnetPort, std::to_string(static_cast<uint16_t>(*telnetPort)), TPlanSource::Form);
}

void TPlanner::ApplyRow(int device, const TPlanRow& row)
{
    for (size_t k = 0; k < kPlanFieldCount; ++k) {
        if (!row.Cells[k])
            continue;
        const auto field = static_cast<TPlanField>(k);
        const TPlanCell& cell = *row.Cells[k];
        // An undo file's cells stand as they are; a plan's empty or "N/A" cell says nothing.
        if (!In.Undo && (cell.Text.empty() || cell.Text == "N/A"))
            continue;
        if (field == TPlanField::IP)
            IPFromFile[device] = true;
        std::string value = cell.Text;
        if (IsNumber(field)) {
            int32_t number = 0;
            const TProductInfo& info = Plan.Devices[device].Before;
            if (In.Undo && IsPort(field) && cell.Text == PortText(OwnNumber(info, field))) {
                Set(device, field, std::to_string(OwnNumber(info, field)), TPlanSource::File, row.Line, cell.Column);
                continue;
            }
            if (!ReadInteger(cell.Text, number)) {
                Problem(TPlanProblemKind::BadValue, device, field,
                        Format(_("'%s' is not a valid integer value"), SafeText(cell.Text).c_str()), row.Line,
                        cell.Column);
                Plan.Devices[device].Field(field) = TPlanChange{};
                continue;
            }
            if (field == TPlanField::Dhcp && number != 0 && number != 1 && Low16(number) != info.Dhcp) {
                Problem(TPlanProblemKind::BadValue, device, field,
                        Format(_("'%s' is not a DHCP state (0 or 1)"), SafeText(cell.Text).c_str()), row.Line,
                        cell.Column);
                Plan.Devices[device].Field(field) = TPlanChange{};
                continue;
            }
            value = IsPort(field) ? std::to_string(static_cast<uint16_t>(number)) : std::to_string(number);
        } else if (field != TPlanField::Name) {
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
    if (!In.Form.FirstIP)
        return;
    const std::string firstText = TrimBlanks(*In.Form.FirstIP);
    const std::optional<uint32_t> first = IsPlainIpAddress(firstText) ? ParseAddress(firstText) : std::nullopt;
    if (!first) {
        Problem(TPlanProblemKind::RefusedAddress, -1, TPlanField::IP,
                Format(_("'%s' is not a valid IP address"), SafeText(firstText).c_str()));
        return;
    }
    std::unordered_set<uint32_t> ownAddresses;  // this PC's
    for (const TNetInterface& i : In.Interfaces)
        ownAddresses.insert(i.Address);
    std::unordered_set<uint32_t> taken;  // the addresses the plan gives already
    for (size_t k = 0; k < Plan.Devices.size(); ++k) {
        const TPlanChange& ip = Plan.Devices[k].Field(TPlanField::IP);
        if (ip.Changed)
            if (const auto a = ParseAddress(ip.Value))
                taken.insert(*a);
    }

    uint64_t next = *first;
    for (size_t k = 0; k < Plan.Devices.size(); ++k) {
        TDevicePlan& d = Plan.Devices[k];
        if (!d.Chosen || IPFromFile[k])
            continue;
        const auto after = [&](TPlanField field) {
            const TPlanChange& c = d.Field(field);
            return c.Changed ? c.Value : OwnText(d.Before, field);
        };
        const std::optional<uint32_t> mask = ParseAddress(after(TPlanField::Mask));
        const std::optional<uint32_t> gateway = ParseAddress(after(TPlanField::Gateway));
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
            Set(static_cast<int>(k), TPlanField::IP, AddressText(a), TPlanSource::Counter);
            given = true;
            break;
        }
        if (!given)
            Problem(TPlanProblemKind::NoAddressLeft, static_cast<int>(k), TPlanField::IP,
                    Format(_("No free address is left from %s in the subnet with the mask %s"),
                           AddressText(*first).c_str(), SafeText(after(TPlanField::Mask)).c_str()));
    }
}

void TPlanner::MarkCarried(int device)
{
    TDevicePlan& d = Plan.Devices[device];
    TPlanChange& dhcp = d.Field(TPlanField::Dhcp);
    const TSentFields own = d.Device->SentFields(d.Before.Dhcp);
    dhcp.Carried = own.Dhcp;
    int32_t dhcpAfter = d.Before.Dhcp;
    if (dhcp.Changed && dhcp.Carried)
        ReadInteger(dhcp.Value, dhcpAfter);
    const TSentFields sent = d.Device->SentFields(dhcpAfter);
    const TSentFields withoutDhcp = d.Device->SentFields(0);
    for (size_t k = 0; k < kPlanFieldCount; ++k) {
        const auto field = static_cast<TPlanField>(k);
        TPlanChange& change = d.Fields[k];
        if (field != TPlanField::Dhcp)
            change.Carried = CarriedBy(sent, field) && !(IsPort(field) && OwnNumber(d.Before, field) == -1);
        if (!change.Changed || change.Carried)
            continue;
        const char* column = PlanFieldColumn(field);
        if (field != TPlanField::Dhcp && CarriedBy(withoutDhcp, field) && !IsPort(field))
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
        const TPlanField field = PlanField(refused->Field).value_or(TPlanField::IP);
        ProblemAt(TPlanProblemKind::RefusedAddress, device, field,
                  Format(_("'%s' is not a valid IP address"), SafeText(refused->Text).c_str()));
        return;
    }
    const TSentFields sent = d.Device->SentFields(values.Dhcp);
    const bool moved = d.Sends(TPlanField::IP) || d.Sends(TPlanField::Mask) || d.Sends(TPlanField::Gateway)
                       || d.Sends(TPlanField::Dhcp);
    if (!sent.Gateway || !moved)
        return;
    const auto ip = ParseAddress(values.IP);
    const auto mask = ParseAddress(values.Mask);
    const auto gateway = ParseAddress(values.Gateway);
    if (ip && mask && gateway && *gateway != 0 && (*gateway & *mask) != (*ip & *mask)) {
        const TPlanField blamed = d.Sends(TPlanField::Gateway) ? TPlanField::Gateway
                                  : d.Sends(TPlanField::IP)    ? TPlanField::IP
                                                               : TPlanField::Mask;
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
        if (!d.Sends(TPlanField::IP))
            continue;
        const TPlanChange& ip = d.Field(TPlanField::IP);
        const auto address = ParseAddress(ip.Value);
        if (!address)
            continue;
        const int device = static_cast<int>(k);
        // In an undo, where each device gets back the address it had, shared or not, both are notes.
        const auto [first, added] = given.emplace(*address, device);
        if (!added)
            ProblemAt(TPlanProblemKind::DuplicateAddress, device, TPlanField::IP,
                      Format(_("The address %s is given to %s too"), ip.Value.c_str(),
                             DeviceText(Plan.Devices[first->second].Device).c_str()));
        const auto it = FoundAddresses.find(*address);
        if (it != FoundAddresses.end())
            for (const TProduct* other : it->second)
                if (other != d.Device) {
                    ProblemAt(TPlanProblemKind::AddressInUse, device, TPlanField::IP,
                              Format(_("The address %s is already used by %s"), ip.Value.c_str(),
                                     DeviceText(other).c_str()));
                    break;
                }
        const bool onThisPc = std::any_of(In.Interfaces.begin(), In.Interfaces.end(), [&](const TNetInterface& i) {
            const uint32_t mask = PrefixMask(i.PrefixLength);
            return i.Up && !i.Loopback && (i.Address & mask) == (*address & mask);
        });
        if (!onThisPc)
            ProblemAt(TPlanProblemKind::OutsidePcSubnets, device, TPlanField::IP,
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
    std::optional<int32_t> ports[2];
    const std::pair<TPlanField, const std::optional<std::string>*> portTexts[] = {
        {TPlanField::HTTPPort, &In.Form.HTTPPort}, {TPlanField::TelnetPort, &In.Form.TelnetPort}};
    for (size_t k = 0; k < 2; ++k) {
        const auto& [field, text] = portTexts[k];
        int32_t value = 0;
        if (!*text)
            continue;
        if (ReadInteger(TrimBlanks(**text), value))
            ports[k] = value;
        else
            Problem(TPlanProblemKind::BadValue, -1, field,
                    Format(_("'%s' is not a valid integer value"), SafeText(**text).c_str()));
    }
    if (In.Form.Dhcp && *In.Form.Dhcp != 0 && *In.Form.Dhcp != 1)
        Problem(TPlanProblemKind::BadValue, -1, TPlanField::Dhcp,
                Format(_("'%s' is not a DHCP state (0 or 1)"), std::to_string(*In.Form.Dhcp).c_str()));

    int counter = 0;
    const size_t chosenCount = Plan.Devices.size();
    for (size_t k = 0; k < chosenCount; ++k) {
        TDevicePlan& d = Plan.Devices[k];
        ApplyForm(static_cast<int>(k), ports[0], ports[1]);
        if (In.Form.NamePattern && d.Device->SentFields(d.Before.Dhcp).Name)
            Set(static_cast<int>(k), TPlanField::Name, PatternName(*In.Form.NamePattern, ++counter),
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

std::string RecordValue(const TProductInfo& info, TPlanField field)
{
    return IsNumber(field) ? std::to_string(OwnNumber(info, field)) : OwnText(info, field);
}

const char* PlanFieldColumn(TPlanField field)
{
    static const char* const kColumns[] = {"Name", "IP",   "Mask",     "Gateway",   "DNS1",
                                           "DNS2", "Dhcp", "HTTPPort", "TelnetPort"};
    return kColumns[Index(field)];
}

bool TDevicePlan::Changes() const
{
    return std::any_of(Fields.begin(), Fields.end(), [](const TPlanChange& c) { return c.Changed && c.Carried; });
}

TSetupValues TDevicePlan::Values() const
{
    TSetupValues values = ShownValues(Before);
    std::string* texts[] = {&values.Name, &values.IP, &values.Mask, &values.Gateway, &values.DNS1, &values.DNS2};
    for (size_t k = 0; k < 6; ++k)
        if (Sends(static_cast<TPlanField>(k)))
            *texts[k] = Fields[k].Value;
    if (Sends(TPlanField::Dhcp))
        ReadInteger(Field(TPlanField::Dhcp).Value, values.Dhcp);
    if (Sends(TPlanField::HTTPPort))
        values.HTTPPort = Field(TPlanField::HTTPPort).Value;
    if (Sends(TPlanField::TelnetPort))
        values.TelnetPort = Field(TPlanField::TelnetPort).Value;
    return values;
}

TProductInfo TDevicePlan::After() const
{
    TProductInfo info = Before;
    const TSetupValues values = Values();
    std::string* texts[] = {&info.Name, &info.IP, &info.Mask, &info.Gateway, &info.DNS1, &info.DNS2};
    const std::string* planned[] = {&values.Name,    &values.IP,   &values.Mask,
                                    &values.Gateway, &values.DNS1, &values.DNS2};
    for (size_t k = 0; k < 6; ++k)
        *texts[k] = *planned[k];
    info.Dhcp = Low16(values.Dhcp);
    int16_t* ports[] = {&info.HTTPPort, &info.TelnetPort};
    const TPlanField portFields[] = {TPlanField::HTTPPort, TPlanField::TelnetPort};
    for (size_t k = 0; k < 2; ++k) {
        int32_t port = 0;
        if (Sends(portFields[k]) && ReadInteger(Field(portFields[k]).Value, port))
            *ports[k] = Low16(port);
    }
    return info;
}

std::vector<TPlanField> TDevicePlan::VerifiedFields() const
{
    // With DHCP on (-1 is an HWG device without the setting), a device answers with the addresses
    // its DHCP server gave, whatever was stored.
    const int16_t dhcp = After().Dhcp;
    const bool dhcpOn = dhcp != 0 && dhcp != -1;
    std::vector<TPlanField> fields;
    for (size_t k = 0; k < kPlanFieldCount; ++k) {
        const auto field = static_cast<TPlanField>(k);
        const bool address = std::find(std::begin(kAddressFields), std::end(kAddressFields), field)
                             != std::end(kAddressFields);
        if (Sends(field) && !(dhcpOn && address))
            fields.push_back(field);
    }
    return fields;
}

std::string TDevicePlan::ExpectedValue(TPlanField field) const
{
    const TPlanChange& change = Field(field);
    if (!change.Changed)
        return RecordValue(Before, field);
    if (const TFamily* family = FindFamily(Family); field == TPlanField::Name && family && family->NameBytes > 0)
        return std::string(Utf8Prefix(change.Value, family->NameBytes));
    if (IsNumber(field)) {
        int32_t number = 0;
        ReadInteger(change.Value, number);
        return std::to_string(Low16(number));
    }
    if (field != TPlanField::Name && change.Value.empty())
        return "0.0.0.0";  // how an empty address goes out (the address rule lets no other family send one)
    return change.Value;
}

std::string TDevicePlan::ShownBefore(TPlanField field) const
{
    if (field == TPlanField::Dhcp)
        return std::to_string(Before.Dhcp);
    if (IsPort(field))
        return PortText(OwnNumber(Before, field));
    return SafeText(OwnText(Before, field));
}

std::string TDevicePlan::ShownAfter(TPlanField field) const
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
