#include "core/discovery/sweep.h"

#include "core/app/i18n.h"
#include "core/log/actionlog.h"
#include "core/log/format.h"
#include "core/devices/family.h"
#include "core/discovery/families.h"

#include <cerrno>
#include <cstring>
#include <map>

namespace {
constexpr int kTickMs = 5;
constexpr int64_t kPassGapMicros = 250000;
constexpr int kFailuresLogged = 10;
}  // namespace

std::vector<TSweepStep> PlanSweep(const std::vector<uint32_t>& addresses, const std::vector<TNetInterface>& interfaces)
{
    const std::vector<TNetInterface> usable = DiscoveryInterfaces(interfaces);
    // How many addresses fall into each attached subnet (by its broadcast address).
    std::map<uint32_t, size_t> perSubnet;
    for (const uint32_t address : addresses)
        if (const TNetInterface* nic = AttachedInterface(usable, address))
            ++perSubnet[nic->Broadcast];
    std::vector<TSweepStep> steps;
    std::map<uint32_t, bool> broadcastSent;
    for (const uint32_t address : addresses) {
        const TNetInterface* nic = AttachedInterface(usable, address);
        if (!nic) {
            steps.push_back({address, 1000000 / kRoutedPerSecond});
            continue;
        }
        if (perSubnet[nic->Broadcast] <= kOnLinkUnicastLimit) {
            steps.push_back({address, 1000000 / kOnLinkPerSecond});
            continue;
        }
        if (!broadcastSent[nic->Broadcast]) {
            broadcastSent[nic->Broadcast] = true;
            steps.push_back({nic->Broadcast, 1000000 / kOnLinkPerSecond});
        }
    }
    return steps;
}

double SweepSeconds(const std::vector<TSweepStep>& steps)
{
    int64_t micros = 0;
    for (const TSweepStep& step : steps)
        micros += step.CostMicros;
    return static_cast<double>(micros) / 1e6;
}

TUnicastSweep::TUnicastSweep(QObject* parent)
    : QObject(parent)
{
    for (const TFamily* family : ::Families())
        Families.push_back({family, {}});
    Timer.setInterval(kTickMs);
    Timer.setTimerType(Qt::PreciseTimer);
    connect(&Timer, &QTimer::timeout, this, &TUnicastSweep::Tick);
}

TUnicastSweep::~TUnicastSweep() = default;

bool TUnicastSweep::Start(std::vector<TSweepStep> steps, int passes)
{
    Stop();
    // Whatever reaches a family's socket goes to that family's handler (which decodes it and
    // drops what is no answer), from any address and any port.
    if (Sockets.size() != Families.size()) {
        Sockets.clear();
        Requests.clear();
        for (size_t k = 0; k < Families.size(); ++k) {
            auto socket = std::make_unique<TUDPServer>();
            socket->OnRead = [this, k](TUDPServer* endpoint, const uint8_t* data, size_t size,
                                       const std::string& peerIP, uint16_t peerPort) {
                if (k < Families.size() && Families[k].OnAnswer) {
                    // may be replaced while it runs
                    const TUDPServer::TReadHandler running = Families[k].OnAnswer;
                    running(endpoint, data, size, peerIP, peerPort);
                }
            };
            Sockets.push_back(std::move(socket));
            Requests.push_back(Families[k].Family->InfoRequest());
        }
    }
    for (const auto& socket : Sockets) {
        if (!socket->IsOpen()) {
            LogAction("", Format(_("Cannot open a UDP socket: %s"), socket->OpenError().c_str()), LOG_ERROR);
            return false;
        }
    }
    Steps = std::move(steps);
    Passes = std::max(1, passes);
    Pass = 0;
    Next = 0;
    Pending = 0;
    DueMicros = 0;
    Sent = Failed = 0;
    Clock.start();
    Timer.start();
    Tick();
    return true;
}

void TUnicastSweep::Stop()
{
    Timer.stop();
}

void TUnicastSweep::Tick()
{
    const int64_t now = Clock.nsecsElapsed() / 1000;
    auto fail = [this](uint32_t address, int error) {
        ++Failed;
        if (Failed <= kFailuresLogged)
            LogAction("", Format(_("Sending to %s failed: %s"), AddressText(address).c_str(), std::strerror(error)),
                      LOG_ERROR);
    };
    while (Next < Steps.size() && DueMicros <= now) {
        const TSweepStep& step = Steps[Next];
        for (; Pending < Sockets.size(); ++Pending) {
            const std::vector<uint8_t>& request = Requests[Pending];
            const int error =
                Sockets[Pending]->TrySend(step.Address, Families[Pending].Family->DiscoveryPort, request.data(),
                                          request.size());
            if (error == EAGAIN || error == EWOULDBLOCK || error == ENOBUFS)
                break;  // the send buffer is full: the same datagram again on the next tick
            if (error == 0)
                ++Sent;
            else
                fail(step.Address, error);
        }
        if (Pending < Sockets.size())
            break;
        Pending = 0;
        DueMicros += step.CostMicros;
        ++Next;
    }
    emit Progress(Done(), Total());
    if (Next < Steps.size())
        return;
    if (Pass + 1 < Passes) {
        // The next pass starts 250 ms after this one began at the earliest.
        const int64_t gap = kPassGapMicros - now;
        if (gap > 0) {
            Timer.setInterval(static_cast<int>(gap / 1000) + 1);
            return;
        }
        Timer.setInterval(kTickMs);
        ++Pass;
        Next = 0;
        DueMicros = 0;
        Clock.start();
        return;
    }
    Timer.stop();
    if (Failed > kFailuresLogged)
        LogAction("", Format(_("%d requests could not be sent"), static_cast<int>(Failed)), LOG_ERROR);
    emit Finished();
}
