// Linked into every test program that may send packets: it refuses to run unless the process
// sits in a private network namespace (tests/netns.sh or scripts/lab.sh), where the only
// interfaces are loopback and the lab's own veth ends. A broadcast from a test then never
// reaches a real network, even when someone starts the test program by hand.
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

namespace {

// /proc/self/net/dev lists the interfaces of this process's own namespace (/sys/class/net
// would show the namespace that mounted /sys).
bool InPrivateNetwork()
{
    std::ifstream dev("/proc/self/net/dev");
    if (!dev)
        return false;
    std::string line;
    int interfaces = 0;
    while (std::getline(dev, line)) {
        const auto colon = line.find(':');
        if (colon == std::string::npos)
            continue;  // the two heading lines
        const auto start = line.find_first_not_of(' ');
        const std::string name = line.substr(start, colon - start);
        if (name != "lo" && name.rfind("pyx", 0) != 0)
            return false;
        ++interfaces;
    }
    return interfaces > 0;
}

const bool kChecked = [] {
    if (!InPrivateNetwork()) {
        std::fprintf(stderr, "This test program sends packets: run it through tests/netns.sh "
                             "(or ctest), never on the machine's own network.\n");
        std::_Exit(3);
    }
    return true;
}();

} // namespace
