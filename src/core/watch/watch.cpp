// The state of a watched site: units by MAC and family, what each round heard, and the events.
#include "core/watch/watch.h"

#include "core/app/i18n.h"
#include "core/devices/utils.h"
#include "core/log/format.h"
#include "core/log/safetext.h"

namespace {

TWatchEvent EventOf(TWatchEventKind kind, const TWatchUnit& unit, int64_t now, const std::string& before = {},
                    const std::string& after = {})
{
    TWatchEvent event;
    event.Time = now;
    event.Kind = kind;
    event.MAC = unit.Last.MAC;
    event.Family = unit.Last.Family;
    event.Name = unit.Last.Name;
    event.Address = unit.Last.Address;
    event.Old = before;
    event.New = after;
    return event;
}

std::string ChangeText(const char* format, const TWatchEvent& event)
{
    return Format(format, SafeText(event.Old).c_str(), SafeText(event.New).c_str());
}

}  // namespace

std::optional<TWatchKey> WatchKeyOf(const std::string& mac, const std::string& family)
{
    const std::optional<uint64_t> key = MacKeyOf(mac);
    if (!key || family.empty())
        return std::nullopt;
    return TWatchKey{*key, family};
}

TWatchAnswer WatchAnswerOf(const TProductInfo& info, const std::string& family, bool unicast)
{
    return {info.MAC, family, info.Name, info.PeerIP, info.FirmwareRev, info.TypeName, unicast};
}

const char* WatchEventName(TWatchEventKind kind)
{
    switch (kind) {
    case TWatchEventKind::New: return "new";
    case TWatchEventKind::Gone: return "gone";
    case TWatchEventKind::Back: return "back";
    case TWatchEventKind::Address: return "address";
    case TWatchEventKind::Firmware: return "firmware";
    case TWatchEventKind::Name: return "name";
    case TWatchEventKind::Missing: return "missing";
    }
    return "";
}

std::string WatchEventText(const TWatchEvent& event)
{
    switch (event.Kind) {
    case TWatchEventKind::New: return _("new device");
    case TWatchEventKind::Gone: return _("gone");
    case TWatchEventKind::Back: return _("back");
    case TWatchEventKind::Address: return ChangeText(_("IP address %s → %s"), event);
    case TWatchEventKind::Firmware: return ChangeText(_("firmware %s → %s"), event);
    case TWatchEventKind::Name: return ChangeText(_("name %s → %s"), event);
    case TWatchEventKind::Missing: return _("missing");
    }
    return {};
}

void TWatch::Expect(std::vector<TWatchUnit> expected)
{
    // The earlier site's units that were never heard go; those heard stay as found units.
    for (auto it = All.begin(); it != All.end();) {
        TWatchUnit& unit = it->second;
        if (unit.Expected && unit.LastSeen == 0) {
            HeardThisRound.erase(it->first);
            it = All.erase(it);
            continue;
        }
        unit.Expected = false;
        unit.Missing = false;
        unit.Note.clear();
        ++it;
    }
    for (TWatchUnit& site : expected) {
        const auto found = All.find(site.Key);
        if (found != All.end()) {
            found->second.Expected = true;
            found->second.Note = site.Note;
            continue;
        }
        TWatchUnit unit;
        unit.Key = site.Key;
        unit.Last = site.Last;
        unit.Expected = true;
        unit.Note = site.Note;
        All.emplace(unit.Key, std::move(unit));
    }
}

void TWatch::Reset()
{
    HeardThisRound.clear();
    BeforeUntilRound = RoundCount + 1;
    for (auto it = All.begin(); it != All.end();) {
        TWatchUnit& unit = it->second;
        if (!unit.Expected) {
            Before.insert_or_assign(it->first, std::move(unit));
            it = All.erase(it);
            continue;
        }
        unit.LastSeen = 0;
        unit.Missed = 0;
        unit.Gone = false;
        ++it;
    }
}

void TWatch::BeginRound(int64_t /*now*/)
{
    HeardThisRound.clear();
    InRound = true;
    ++RoundCount;
}

std::vector<TWatchEvent> TWatch::Answer(const TWatchAnswer& answer, int64_t now)
{
    std::vector<TWatchEvent> events;
    const std::optional<TWatchKey> key = WatchKeyOf(answer.MAC, answer.Family);
    if (!key)
        return events;
    if (InRound)
        HeardThisRound[*key] = true;
    auto found = All.find(*key);
    if (found == All.end()) {
        if (const auto before = Before.find(*key); before != Before.end()) {
            // Heard before the new list: known, not new.
            found = All.emplace(*key, std::move(before->second)).first;
            Before.erase(before);
        }
    }
    if (found == All.end()) {
        TWatchUnit unit;
        unit.Key = *key;
        unit.Last = answer;
        unit.LastSeen = now;
        events.push_back(EventOf(TWatchEventKind::New, unit, now));
        All.emplace(*key, std::move(unit));
        return events;
    }
    TWatchUnit& unit = found->second;
    const TWatchAnswer before = unit.Last;
    const bool heardBefore = unit.LastSeen != 0;
    const bool back = unit.Gone || unit.Missing;
    unit.Last = answer;
    unit.LastSeen = now;
    unit.Missed = 0;
    unit.Gone = false;
    unit.Missing = false;
    if (back)
        events.push_back(EventOf(TWatchEventKind::Back, unit, now));
    if (!heardBefore)  // an expected unit's first answer: the site's values are no earlier answer
        return events;
    if (before.Address != answer.Address)
        events.push_back(EventOf(TWatchEventKind::Address, unit, now, before.Address, answer.Address));
    if (before.Firmware != answer.Firmware)
        events.push_back(EventOf(TWatchEventKind::Firmware, unit, now, before.Firmware, answer.Firmware));
    if (before.Name != answer.Name)
        events.push_back(EventOf(TWatchEventKind::Name, unit, now, before.Name, answer.Name));
    return events;
}

std::vector<TWatchEvent> TWatch::EndRound(int64_t now)
{
    std::vector<TWatchEvent> events;
    for (auto& [key, unit] : All) {
        if (HeardThisRound.count(key)) {
            unit.Missed = 0;
            continue;
        }
        ++unit.Missed;
        if (unit.Missed < kGoneAfterRounds)
            continue;
        if (unit.LastSeen != 0 && !unit.Gone) {
            unit.Gone = true;
            events.push_back(EventOf(TWatchEventKind::Gone, unit, now));
        } else if (unit.LastSeen == 0 && unit.Expected && !unit.Missing) {
            unit.Missing = true;
            events.push_back(EventOf(TWatchEventKind::Missing, unit, now));
        }
    }
    HeardThisRound.clear();
    if (RoundCount >= BeforeUntilRound)
        Before.clear();  // the new list's first round is over: the others are forgotten
    InRound = false;
    return events;
}

std::vector<TWatchEvent> TWatch::EndCheck(int64_t now)
{
    std::vector<TWatchEvent> events;
    for (auto& [key, unit] : All)
        if (unit.Expected && unit.LastSeen == 0 && !unit.Missing) {
            unit.Missing = true;
            events.push_back(EventOf(TWatchEventKind::Missing, unit, now));
        }
    return events;
}

const TWatchUnit* TWatch::Find(const TWatchKey& key) const
{
    const auto found = All.find(key);
    return found == All.end() ? nullptr : &found->second;
}

std::vector<std::string> TWatch::UnicastAddresses() const
{
    std::vector<std::string> addresses;
    for (const auto& [key, unit] : All)
        if (unit.LastSeen != 0 && unit.Last.Unicast && !unit.Last.Address.empty())
            addresses.push_back(unit.Last.Address);
    return addresses;
}

int TWatch::ExpectedAnswered() const
{
    int answered = 0;
    for (const auto& [key, unit] : All)
        answered += unit.Expected && unit.LastSeen != 0 && !unit.Gone;
    return answered;
}

int TWatch::ExpectedCount() const
{
    int count = 0;
    for (const auto& [key, unit] : All)
        count += unit.Expected;
    return count;
}
