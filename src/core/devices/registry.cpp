// DeviceList and PreviousList: filing every answered device under its display line.
#include "core/devices/registry.h"

#include "core/app/i18n.h"
#include "core/devices/family.h"
#include "core/devices/utils.h"
#include "core/log/actionlog.h"
#include "core/log/format.h"
#include "core/log/safetext.h"

#include <algorithm>
#include <cctype>

namespace {

// Lines are ordered and told apart without regard to letter case, in the user's collation:
// both sides are case-folded, then compared locale-aware. The folded key is kept with the
// entry, so filing an answer costs one fold and a binary search, however long the list.
QString SortKey(const std::string& line)
{
    return QString::fromStdString(line).toCaseFolded();
}

bool KeyLess(const QString& a, const QString& b)
{
    return QString::localeAwareCompare(a, b) < 0;
}

// printf pads by bytes; the list shows characters. Widening the field by the UTF-8 continuation
// bytes of its text pads it to the width in characters, so a name like "Kotelna – teploměr"
// keeps the later columns aligned. Texts are never cut.
int Width(int characters, const std::string& text)
{
    return characters + static_cast<int>(text.size() - Utf8Length(text));
}

}  // namespace

std::string TDeviceRegistry::DisplayLine(const TProductInfo& info)
{
    // "%-20s %-28s %-17s   %-15s   %s", each width counted in characters.
    return Format("%-*s %-*s %-*s   %-*s   %s", Width(20, info.TypeName), info.TypeName.c_str(),
                  Width(28, info.Name), info.Name.c_str(), Width(17, info.MAC), info.MAC.c_str(),
                  Width(15, info.PeerIP), info.PeerIP.c_str(), info.FirmwareRev.c_str());
}

std::array<int, 5> TDeviceRegistry::DisplayColumns()
{
    // The widths and gaps of DisplayLine: 20 + 1, 28 + 1, 17 + 3, 15 + 3.
    return {0, 21, 21 + 29, 21 + 29 + 20, 21 + 29 + 20 + 18};
}

bool TDeviceRegistry::InPreviousList(const std::string& line) const
{
    return PreviousSet.count(line) != 0;
}

void TDeviceRegistry::BeginCycle()
{
    Previous.clear();
    Previous.reserve(Devices.size());
    for (const TDeviceEntry& entry : Devices)
        Previous.push_back(entry.Line);
    PreviousSet = std::unordered_set<std::string>(Previous.begin(), Previous.end());
    FreeDevices();
}

void TDeviceRegistry::FreeDevices()
{
    if (OnFreed)
        OnFreed();
    // Moved out first: a device's destructor must not find itself half-removed from the list.
    std::vector<TDeviceEntry> doomed;
    doomed.swap(Devices);
    Keys.clear();
    Units.clear();
    Conflicts.Clear();
    LastFiled = -1;
    doomed.clear();
}

void TDeviceRegistry::AddDevice(std::unique_ptr<TProduct> device, const TProductTable& products, TUDPServer* server)
{
    if (!device)
        return;
    device->Info.TypeName = ProductTypeName(products, device->Info.TypeCode);
    device->UdpServer = server;
    const std::string unit = KeepUnits ? UnitKey(device->Info.MAC, device->Family().Name) : std::string();
    if (KeepUnits) {
        if (const auto listed = Units.find(unit); listed != Units.end()) {
            if (DisplayLine(device->Info) != listed->second.Line) {
                TProduct* filed = listed->second.Device;
                const int from = static_cast<int>(
                    std::find_if(Devices.begin(), Devices.end(), [filed](const TDeviceEntry& e) { return e.Device.get() == filed; })
                    - Devices.begin());
                const int to = Refile(filed, device->Info, products);
                if (to >= 0) {
                    // A new configured address takes the unit's conflicts with it; each pair is
                    // still told once a cycle.
                    const std::vector<TIpConflict> conflicts = Conflicts.Move(filed, filed->Info.IP, filed->Info.MAC);
                    if (OnRefiled)
                        OnRefiled(filed, from, to);
                    LogConflicts(conflicts);
                }
            }
            LastFiled = -1;
            return;  // the answer's own object is destroyed on return
        }
    }
    std::string line = DisplayLine(device->Info);
    QString key = SortKey(line);

    const auto at = std::lower_bound(Keys.begin(), Keys.end(), key, KeyLess);
    const bool duplicate = at != Keys.end() && !KeyLess(key, *at);
    TProduct* registered = device.get();
    std::vector<TIpConflict> conflicts;
    LastFiled = -1;
    if (!duplicate) {
        const auto index = at - Keys.begin();
        LastFiled = static_cast<int>(index);
        Keys.insert(at, std::move(key));
        Devices.insert(Devices.begin() + index, TDeviceEntry{std::move(line), std::move(device)});
        conflicts = Conflicts.Add(registered, registered->Info.IP, registered->Info.MAC);
        if (KeepUnits)
            Units.emplace(unit, TListedUnit{registered, Devices[size_t(index)].Line});
    }
    Register(registered, conflicts);
    // A duplicate's object (still owned by `device`) is destroyed on return: the list keeps the
    // device that answered first, and nothing else refers to the new one.
}

std::string TDeviceRegistry::UnitKey(const std::string& mac, const std::string& family)
{
    std::string key = mac;
    std::transform(key.begin(), key.end(), key.begin(), [](unsigned char c) { return char(std::toupper(c)); });
    return key + '\n' + family;
}

void TDeviceRegistry::SetKeepUnits(bool keep)
{
    KeepUnits = keep;
    Units.clear();
    if (!keep)
        return;
    // The first device filed for a unit stands for it.
    for (const TDeviceEntry& entry : Devices)
        Units.emplace(UnitKey(entry.Device->Info.MAC, entry.Device->Family().Name), TListedUnit{entry.Device.get(), entry.Line});
}

TProduct* TDeviceRegistry::UnitOf(const std::string& mac, const std::string& family) const
{
    const auto found = Units.find(UnitKey(mac, family));
    return found == Units.end() ? nullptr : found->second.Device;
}

int TDeviceRegistry::Refile(TProduct* filed, const TProductInfo& answer, const TProductTable& products)
{
    const auto entry = std::find_if(Devices.begin(), Devices.end(),
                                    [filed](const TDeviceEntry& e) { return e.Device.get() == filed; });
    if (entry == Devices.end())
        return -1;
    TProductInfo info = answer;
    info.TypeName = ProductTypeName(products, info.TypeCode);
    std::string line = DisplayLine(info);
    QString key = SortKey(line);
    const auto from = entry - Devices.begin();
    const auto same = std::lower_bound(Keys.begin(), Keys.end(), key, KeyLess);
    if (same != Keys.end() && !KeyLess(key, *same) && same - Keys.begin() != from)
        return -1;

    // The unit (known by the MAC it was listed with) is filed under the new line now.
    if (KeepUnits)
        if (const auto listed = Units.find(UnitKey(filed->Info.MAC, filed->Family().Name));
            listed != Units.end() && listed->second.Device == filed)
            listed->second.Line = line;
    std::unique_ptr<TProduct> device = std::move(entry->Device);
    Devices.erase(entry);
    Keys.erase(Keys.begin() + from);
    device->Info = std::move(info);
    const auto at = std::lower_bound(Keys.begin(), Keys.end(), key, KeyLess);
    const auto index = at - Keys.begin();
    Keys.insert(at, std::move(key));
    Devices.insert(Devices.begin() + index, TDeviceEntry{std::move(line), std::move(device)});
    return static_cast<int>(index);
}

void TDeviceRegistry::Register(TProduct* device, const std::vector<TIpConflict>& conflicts)
{
    const TProductInfo& info = device->Info;
    LogAction(_("Device Found"), Format(_("Found %s device at %s"), SafeText(info.Name).c_str(), info.PeerIP.c_str()),
              LOG_INFO);
    // Taken before the window's part runs: that may start a new cycle and free the device.
    const std::string typeName = info.TypeName;
    if (OnRegister)
        OnRegister(device);
    LogAction("", Format(_("Product was added: %s"), typeName.c_str()), LOG_DEBUG);
    LogConflicts(conflicts);
}

void TDeviceRegistry::LogConflicts(const std::vector<TIpConflict>& conflicts)
{
    for (const TIpConflict& c : conflicts)
        LogAction("", Format(_("IP address %s is used by %s and %s"), c.IP.c_str(), c.FirstMac.c_str(), c.SecondMac.c_str()),
                  LOG_WARNING);
}
