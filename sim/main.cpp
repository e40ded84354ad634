// pyxet-sim: plays a fleet of Orvex and HWG devices (see README.md).
#include <signal.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <fstream>
#include <thread>

#include <CLI/CLI.hpp>

#include "away.h"
#include "events.h"
#include "fleet.h"
#include "http.h"
#include "simulator.h"
#include "udp.h"

namespace {
std::atomic<bool> g_stop{false};
void OnSignal(int) { g_stop = true; }
}  // namespace

int main(int argc, char** argv) {
    CLI::App app{"pyxet-sim: simulated Orvex and HWG devices"};
    std::string fleetPath, eventsPath, readyPath;
    int orvexCount = -1, hwgCount = -1;
    int restartMs = 3000;
    int orvexPort = 57739, hwgPort = 9999, httpPort = 80;
    bool printFleet = false, listAddresses = false, listPrefixes = false, noHttp = false, dieWithParent = false;
    app.add_option("--fleet", fleetPath, "fleet JSON file");
    app.add_option("--orvex", orvexCount, "generate this many Orvex devices (0-30000)");
    app.add_option("--hwg", hwgCount, "generate this many HWG devices (0-30000)");
    app.add_option("--events", eventsPath, "append one JSON line per request and state change to this file");
    app.add_option("--ready-file", readyPath, "written once every socket is open");
    app.add_option("--restart-ms", restartMs, "restart time of devices without restart_ms")->check(CLI::Range(0, 600000));
    app.add_option("--orvex-port", orvexPort, "Orvex UDP port")->check(CLI::Range(1, 65535));
    app.add_option("--hwg-port", hwgPort, "HWG UDP port")->check(CLI::Range(1, 65535));
    app.add_option("--http-port", httpPort, "web server port")->check(CLI::Range(1, 65535));
    app.add_flag("--no-http", noHttp, "no web server");
    app.add_flag("--print-fleet", printFleet, "write the fleet as JSON to standard output and exit");
    app.add_flag("--list-addresses", listAddresses, "write each device's address, one a line, and exit");
    app.add_flag("--list-prefixes", listPrefixes,
                 "write the fewest address prefixes covering exactly the devices' addresses, one a line, and exit");
    app.add_flag("--die-with-parent", dieWithParent, "stop when the parent process ends");
    CLI11_PARSE(app, argc, argv);

    const bool generate = orvexCount >= 0 || hwgCount >= 0;
    if (generate == !fleetPath.empty()) {
        std::fprintf(stderr, "pyxet-sim: give either --fleet FILE or --orvex N --hwg N\n");
        return 2;
    }
    sim::FleetResult fleet =
        generate ? sim::GenerateFleet(std::max(orvexCount, 0), std::max(hwgCount, 0)) : sim::LoadFleetFile(fleetPath);
    if (!fleet.error.empty()) {
        std::fprintf(stderr, "pyxet-sim: %s\n", fleet.error.c_str());
        return 2;
    }
    if (printFleet) {
        std::fputs(sim::FleetToJson(fleet.devices).c_str(), stdout);
        return 0;
    }
    if (listAddresses) {
        for (const auto& device : fleet.devices) std::printf("%s\n", sim::IpText(device.address).c_str());
        return 0;
    }

    if (listPrefixes) {
        for (const auto& prefix : sim::AddressPrefixes(sim::LabAddresses(fleet.devices))) std::printf("%s\n", prefix.c_str());
        return 0;
    }

    if (dieWithParent) {
        const pid_t parent = getppid();
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (getppid() != parent) return 0;
    }
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
    signal(SIGPIPE, SIG_IGN);

    sim::Events events;
    std::string error;
    if (!eventsPath.empty() && !events.Open(eventsPath, error)) {
        std::fprintf(stderr, "pyxet-sim: %s\n", error.c_str());
        return 1;
    }
    const size_t deviceCount = fleet.devices.size();
    sim::Simulator simulator(std::move(fleet.devices), events, restartMs);
    sim::UdpService udp(simulator);
    if (!udp.Open(uint16_t(orvexPort), uint16_t(hwgPort), error)) {
        std::fprintf(stderr, "pyxet-sim: %s\n", error.c_str());
        return 1;
    }
    sim::HttpService http(simulator);
    if (!noHttp && !http.Open(uint16_t(httpPort), error)) {
        std::fprintf(stderr, "pyxet-sim: %s\n", error.c_str());
        return 1;
    }
    if (!noHttp) std::thread([&http] { http.Run(); }).detach();

    events.Write({{"event", "started"}, {"device", nullptr}, {"devices", deviceCount}, {"pid", getpid()}});
    events.Flush();
    // Devices switched off at the start are away before anyone can ask; the changes at set times
    // follow on a thread of their own.
    if (!sim::StartTimedChanges(simulator, error)) {
        std::fprintf(stderr, "pyxet-sim: %s\n", error.c_str());
        return 1;
    }
    if (!readyPath.empty()) {
        std::ofstream ready(readyPath);
        ready << getpid() << "\n";
    }
    udp.Run(g_stop);
    events.Write({{"event", "stopped"}, {"device", nullptr}, {"devices", deviceCount}, {"pid", getpid()}});
    events.Flush();
    // The web server's threads may be mid-request; leave without running destructors under them.
    std::fflush(nullptr);
    _exit(0);
}
