// A search on other subnets: every family's info request sent by unicast to a list of
// addresses, paced, each family's from a socket of its own; the answers go to the families'
// answer handlers like broadcast answers.
#pragma once
#include "core/devices/netinterfaces.h"
#include "core/devices/udpserver.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <cstdint>
#include <memory>
#include <vector>

struct TFamily;

// One family a sweep asks, and the handler for the answers to its requests.
struct TSweepFamily {
    const TFamily* Family = nullptr;
    TUDPServer::TReadHandler OnAnswer;
};

// Pacing. An address behind a router costs the router one neighbour entry in all, so those go
// at 2,000 addresses (4,000 datagrams) a second: a /16 takes about 33 s. An address on an
// attached subnet needs a neighbour (ARP) entry of its own, and the kernel keeps about 1,024, so
// those go at 250 a second; more than kOnLinkUnicastLimit of them in one attached subnet are
// asked at once through the subnet's directed broadcast instead.
constexpr int kRoutedPerSecond = 2000;
constexpr int kOnLinkPerSecond = 250;
constexpr size_t kOnLinkUnicastLimit = 256;

struct TSweepStep {
    uint32_t Address = 0;   // host order
    int64_t CostMicros = 0;  // how long after this step the next one may go
};

// The steps for these addresses on this PC's interfaces, in the order given; an attached
// subnet asked through its broadcast takes the place of its first address.
std::vector<TSweepStep> PlanSweep(const std::vector<uint32_t>& addresses, const std::vector<TNetInterface>& interfaces);
// Seconds a plan takes to send.
double SweepSeconds(const std::vector<TSweepStep>& steps);

class TUnicastSweep : public QObject {
    Q_OBJECT
public:
    TUnicastSweep(QObject* parent = nullptr);
    ~TUnicastSweep() override;

    // The families asked at each address, in this order, each with the handler for the answers
    // to its requests (at first every family of Families(), none handled); set before Start. A device answers to the address and port its request
    // came from, from whatever port it likes: the socket an answer reaches tells its family, as
    // with the discovery endpoints.
    std::vector<TSweepFamily> Families;

    // Sends steps passes times (a pass starts at least 250 ms after the one before). False,
    // logged, when the socket cannot be opened.
    bool Start(std::vector<TSweepStep> steps, int passes);
    void Stop();
    bool Running() const { return Timer.isActive(); }
    int Done() const { return static_cast<int>(Pass * Steps.size() + Next); }
    int Total() const { return static_cast<int>(Passes * Steps.size()); }
    int64_t DatagramsSent() const { return Sent; }

signals:
    void Progress(int done, int total);
    void Finished();

private:
    void Tick();
    std::vector<std::unique_ptr<TUDPServer>> Sockets;  // one a family, as Families
    std::vector<std::vector<uint8_t>> Requests;        // each family's info request
    std::vector<TSweepStep> Steps;
    QTimer Timer;
    QElapsedTimer Clock;
    int64_t DueMicros = 0;  // when the next step may go, from the start of the pass
    size_t Next = 0;
    size_t Pending = 0;  // the family whose request of step Next goes next (the ones before it went)
    int Pass = 0;
    int Passes = 1;
    int64_t Sent = 0;
    int64_t Failed = 0;
};
