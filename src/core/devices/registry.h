// DeviceList: the registered devices of the current discovery cycle, filed under their display
// lines (sorted, duplicates ignored, letter case ignored), and PreviousList, the lines of the
// cycle before. Used by the main window and pyxet-cli alike.
#pragma once
#include "core/devices/ipconflicts.h"
#include "core/devices/product.h"

#include <QList>
#include <QString>

#include <array>
#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

struct TDeviceEntry {
    std::string Line;
    std::unique_ptr<TProduct> Device;
};

class TDeviceRegistry {
public:
    // "%-20s %-28s %-17s   %-15s   %s" of TypeName, Name, MAC, PeerIP, FirmwareRev.
    static std::string DisplayLine(const TProductInfo& info);
    // Where Type, Name, MAC, PeerIP and FirmwareRev start in a display line whose fields fit
    // their widths, in characters.
    static std::array<int, 5> DisplayColumns();

    const std::vector<TDeviceEntry>& DeviceList() const { return Devices; }
    const std::vector<std::string>& PreviousList() const { return Previous; }
    // True when PreviousList holds exactly this line (same letters, same case).
    bool InPreviousList(const std::string& line) const;

    // Start of a cycle: PreviousList = the current lines, then FreeDevices.
    void BeginCycle();
    // Destroys every device and empties DeviceList (OnFreed tells the view first).
    void FreeDevices();

    // Completes a device answered by a family (type name, endpoint), files it and registers it.
    // A line already present (letter case aside) keeps the earlier device; the new one is
    // registered (logged) all the same and then destroyed. A filed device whose configured
    // address is listed already under another MAC makes an IP conflict: marked before the
    // window's part runs, each new pair logged at level 3 (WARNING) after the registration.
    void AddDevice(std::unique_ptr<TProduct> device, const TProductTable& products, TUDPServer* server);

    // Where the latest AddDevice filed its line in DeviceList; -1 for a duplicate (or none yet).
    int LastFiledRow() const { return LastFiled; }

    // A watched unit answered with other fields: the filed device takes the answer's texts (its
    // type name completed) and its entry moves under the new display line; the old line goes.
    // The device object stays the same, so views keep their pointers. PreviousList is left as it
    // is, so the new line counts as new when the cycle before did not list it. Nothing is logged.
    // Returns where the line went, -1 when the device is not listed or the new line is another
    // entry's already (then nothing changes).
    int Refile(TProduct* filed, const TProductInfo& answer, const TProductTable& products);

    // While a site is watched, AddDevice knows units by MAC and family: an answer of a unit
    // listed already is no new entry. The same line again is dropped unlogged; other fields
    // re-file the listed device (Refile) and tell OnRefiled. A unit not listed is filed and
    // registered as in any cycle. Off: every answer is filed by its line alone.
    void SetKeepUnits(bool keep);
    bool KeepsUnits() const { return KeepUnits; }
    // The listed device of this MAC (letter case aside) and family; null when none.
    TProduct* UnitOf(const std::string& mac, const std::string& family) const;

    // The devices of this cycle that share a configured address with another MAC.
    const TIpConflicts& IpConflicts() const { return Conflicts; }

    // The window's part of registration, run between the "Found" and "Product was added" lines.
    std::function<void(TProduct* device)> OnRegister;
    // Called before the devices are destroyed, so views drop their pointers.
    std::function<void()> OnFreed;
    // A watched unit's device was re-filed from DeviceList row `from` to row `to`.
    std::function<void(TProduct* device, int from, int to)> OnRefiled;

private:
    void Register(TProduct* device, const std::vector<TIpConflict>& conflicts);
    // The warning of each pair of units found sharing an address.
    static void LogConflicts(const std::vector<TIpConflict>& conflicts);
    static std::string UnitKey(const std::string& mac, const std::string& family);

    std::vector<TDeviceEntry> Devices;
    // Case-folded Devices[i].Line, the sort and duplicate key. A QList moves its strings as
    // plain memory when one goes in among tens of thousands.
    QList<QString> Keys;
    std::vector<std::string> Previous;
    std::unordered_set<std::string> PreviousSet;
    TIpConflicts Conflicts;
    int LastFiled = -1;
    bool KeepUnits = false;
    // A unit's listed device and the line it is filed under: an answer that repeats the line
    // (every answer of a quiet round) is known without looking through DeviceList.
    struct TListedUnit {
        TProduct* Device = nullptr;
        std::string Line;
    };
    std::unordered_map<std::string, TListedUnit> Units;  // UnitKey -> listed unit, while KeepUnits
};
