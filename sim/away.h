// Devices that are switched off for their first moments: while a device is away its address
// stops being local in the simulator's network namespace, so that the lab's PC finds nobody
// there, exactly as for a unit that is off: its ARP requests go unanswered and a connection to
// the address fails ("No route to host") instead of reaching the web server, which listens on
// every address at once.
#pragma once
#include <map>
#include <string>
#include <vector>

#include "fleet.h"
#include "simulator.h"

namespace sim {

// Routes of type `unreachable` for single addresses in the `local` table, added and removed by
// netlink (an address the lab made local by a route of its own has that route replaced, and put
// back when the device returns). They are put only over an address that a hand-made `local` route on the loopback
// interface serves (as scripts/lab.sh makes the devices' addresses local), so that the
// simulator never touches the routes of an ordinary system.
class AwayRoutes {
public:
    AwayRoutes();
    ~AwayRoutes();
    AwayRoutes(const AwayRoutes&) = delete;
    AwayRoutes& operator=(const AwayRoutes&) = delete;

    bool Hide(const Ip4& address, std::string& error);
    bool Show(const Ip4& address, std::string& error);

private:
    bool Talk(void* message, std::string& error, void* answer = nullptr, size_t answerSize = 0);
    int fd_ = -1;
    unsigned sequence_ = 0;
    std::map<uint32_t, unsigned char> replaced_;  // address -> protocol of the route of its own it had
};

// Hides every away device's address (an "away" event each) and makes the timed changes due at
// the start before the simulator reports ready; then, on a thread of its own, gives each away
// device back when its time is over (a "back" event) and makes each timed change at its time (a
// "scheduled" event). False, with the reason, when an address cannot be hidden at the start.
bool StartTimedChanges(Simulator& simulator, std::string& error);

}  // namespace sim
