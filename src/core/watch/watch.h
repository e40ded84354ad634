// Watching a site: what a round of gentle discovery requests tells about the units of a site.
// Units are known by their MAC address and family; a round that does not hear a unit does not
// forget it, two rounds in a row make it gone, and an answer after that makes it back. What
// changed is told as events. The window (Actions -> "Watch") and `pyxet-cli watch` / `check`
// both drive this; the requests themselves keep to a fixed budget (core/watch/budget.h).
#pragma once
#include "core/devices/product.h"

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

// Who a unit is: its MAC (MacKeyOf) and its family ("Orvex", "HWG").
struct TWatchKey {
    uint64_t Mac = 0;
    std::string Family;
    bool operator==(const TWatchKey& other) const { return Mac == other.Mac && Family == other.Family; }
    bool operator<(const TWatchKey& other) const { return Mac != other.Mac ? Mac < other.Mac : Family < other.Family; }
};
// None when the MAC text does not parse or the family is empty.
std::optional<TWatchKey> WatchKeyOf(const std::string& mac, const std::string& family);

// What one answer of a unit says, as the watch compares it (texts as the device sent them).
struct TWatchAnswer {
    std::string MAC;      // as discovery shows it
    std::string Family;
    std::string Name;
    std::string Address;  // the address it answered from (PeerIP)
    std::string Firmware;
    std::string TypeName;
    bool Unicast = false;  // found by a unicast request (Find at Addresses, routed units): asked so each round
};

// An answer as the watch takes it: the device's info (its type name filled in) and its family.
TWatchAnswer WatchAnswerOf(const TProductInfo& info, const std::string& family, bool unicast = false);

enum class TWatchEventKind { New, Gone, Back, Address, Firmware, Name, Missing };
// "new", "gone", "back", "address", "firmware", "name", "missing": pyxet-cli's JSON, never translated.
const char* WatchEventName(TWatchEventKind kind);

struct TWatchEvent {
    int64_t Time = 0;  // milliseconds since 1970, UTC
    TWatchEventKind Kind = TWatchEventKind::New;
    std::string MAC;
    std::string Family;
    std::string Name;
    std::string Address;
    std::string Old;  // Address, Firmware, Name: the value before
    std::string New;  // and after
};
// The event as the log and the Events pane show it (translated; device texts in their shown
// form): "new device", "gone", "back", "IP address %s → %s", "firmware %s → %s",
// "name %s → %s", "missing".
std::string WatchEventText(const TWatchEvent& event);

// A unit of the watch.
struct TWatchUnit {
    TWatchKey Key;
    TWatchAnswer Last;      // its last answer (for an expected unit never heard: the site's values)
    int64_t LastSeen = 0;   // ms since 1970; 0 = never heard since the watch began
    int Missed = 0;         // rounds in a row that ended without its answer
    bool Gone = false;      // missed two rounds in a row (shown grey and italic)
    bool Expected = false;  // listed by the open site
    bool Missing = false;   // expected and never heard in two rounds
    std::string Note;       // the site's note
};

// The rounds missed in a row that make a unit gone (and an expected unit never heard missing).
constexpr int kGoneAfterRounds = 2;

// The state of a watched site. Not thread-safe: the window's thread, or pyxet-cli's.
class TWatch {
public:
    // The units a site expects (replacing those of an earlier site; no site: empty).
    void Expect(std::vector<TWatchUnit> expected);
    // A new list (Find Devices): every unit heard so far is forgotten; expected ones stay, unheard
    // (those missing stay missing until they answer). A unit heard before that answers in the
    // first round begun after the Reset is no new device: it is taken back as it was (its changes
    // and its return told as ever); those that round does not hear are forgotten at its end.
    void Reset();
    // A round's requests went out at `now`.
    void BeginRound(int64_t now);
    // An answer at `now` (during a round or between them): a unit not known gives New, one that
    // was gone gives Back, and a known one whose address, firmware or name changed gives one
    // event per change, in that order. Counts as heard for the round in progress. An expected
    // unit's first answer gives no event (Back when it was missing); an answer whose MAC does not
    // parse or whose family is empty gives none and is not kept.
    std::vector<TWatchEvent> Answer(const TWatchAnswer& answer, int64_t now);
    // The round ends at `now`: each unit not heard since its BeginRound misses one more round;
    // at kGoneAfterRounds a heard unit becomes Gone (event Gone, once) and an expected unit never
    // heard becomes Missing (event Missing, once).
    std::vector<TWatchEvent> EndRound(int64_t now);
    // A single discovery cycle ended at `now`, no rounds running: each expected unit not heard
    // since the Reset before it is missing at once (event Missing, once).
    std::vector<TWatchEvent> EndCheck(int64_t now);

    const std::map<TWatchKey, TWatchUnit>& Units() const { return All; }
    const TWatchUnit* Find(const TWatchKey& key) const;
    // The units to ask by unicast each round: those last found by unicast, at their last address.
    std::vector<std::string> UnicastAddresses() const;
    // How many expected units answered since the site was opened (or the last Reset) and are not
    // gone now, of how many.
    int ExpectedAnswered() const;
    int ExpectedCount() const;
    // Rounds begun (BeginRound) since the watch was made.
    int Rounds() const { return RoundCount; }

private:
    std::map<TWatchKey, TWatchUnit> All;
    std::map<TWatchKey, bool> HeardThisRound;
    std::map<TWatchKey, TWatchUnit> Before;  // heard before the last Reset, until its first round ends
    int BeforeUntilRound = 0;                // the round whose end forgets them
    bool InRound = false;
    int RoundCount = 0;
};
