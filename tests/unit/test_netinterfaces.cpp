// Which addresses a discovery cycle sends to, and where a device's commands go, decided from
// made-up interface lists; the default route read from /proc/net/route texts.
#include "core/devices/netinterfaces.h"

#include <gtest/gtest.h>

namespace {

uint32_t A(const char* text) { return *ParseAddress(text); }

TNetInterface Nic(const char* name, const char* address, int prefix, const char* broadcast, bool up = true,
                  bool loopback = false, bool canBroadcast = true)
{
    TNetInterface nic;
    nic.Name = name;
    nic.Address = A(address);
    nic.PrefixLength = prefix;
    nic.Broadcast = broadcast ? A(broadcast) : 0;
    nic.Up = up;
    nic.Loopback = loopback;
    nic.CanBroadcast = canBroadcast;
    return nic;
}

std::vector<std::string> Texts(const std::vector<uint32_t>& addresses)
{
    std::vector<std::string> texts;
    for (const uint32_t a : addresses)
        texts.push_back(AddressText(a));
    return texts;
}

// A PC with an office LAN (default route), a device network, Wi-Fi that is down, a VPN tunnel
// without broadcasts and loopback.
std::vector<TNetInterface> Pc()
{
    return {Nic("lo", "127.0.0.1", 8, nullptr, true, true, false),
            Nic("eth0", "192.168.1.20", 24, "192.168.1.255"),
            Nic("eth1", "10.78.0.1", 16, "10.78.255.255"),
            Nic("eth1", "10.79.5.1", 24, "10.79.5.255"),
            Nic("wlan0", "172.16.0.5", 16, "172.16.255.255", false),
            Nic("tun0", "10.8.0.2", 32, nullptr, true, false, false)};
}

} // namespace

TEST(NetInterfaces, AddressTextAndStrictParse)
{
    EXPECT_EQ(AddressText(0x0A4E0001u), "10.78.0.1");
    EXPECT_EQ(ParseAddress("255.255.255.255"), 0xFFFFFFFFu);
    for (const char* bad : {"", "10.1.2", "10.1.2.3.4", "10.1.2.256", "10.1.2.3 ", " 10.1.2.3", "10..2.3", "1.2.3.-4",
                            "1.2.3.0004", "a.b.c.d"})
        EXPECT_FALSE(ParseAddress(bad)) << bad;
    EXPECT_EQ(PrefixMask(0), 0u);
    EXPECT_EQ(PrefixMask(16), 0xFFFF0000u);
    EXPECT_EQ(PrefixMask(32), 0xFFFFFFFFu);
}

TEST(NetInterfaces, DefaultRouteFromProcNetRoute)
{
    const std::string heading = "Iface\tDestination\tGateway \tFlags\tRefCnt\tUse\tMetric\tMask\t\tMTU\tWindow\tIRTT\n";
    EXPECT_EQ(DefaultRouteInterfaceIn(heading), "");
    EXPECT_EQ(DefaultRouteInterfaceIn(heading + "eth1\t00004E0A\t00000000\t0001\t0\t0\t0\t0000FFFF\t0\t0\t0\n"), "")
        << "a subnet route is no default route";
    // Two default routes: the lower metric wins whatever the order.
    EXPECT_EQ(DefaultRouteInterfaceIn(heading + "wlan0\t00000000\t0100A8C0\t0003\t0\t0\t600\t00000000\t0\t0\t0\n"
                                      + "eth0\t00000000\t0101A8C0\t0003\t0\t0\t100\t00000000\t0\t0\t0\n"),
              "eth0");
    EXPECT_EQ(DefaultRouteInterfaceIn(heading + "eth0\t00000000\t0101A8C0\t0002\t0\t0\t100\t00000000\t0\t0\t0\n"), "")
        << "a route that is not up";
}

TEST(NetInterfaces, OneInterfaceSendsWhatItAlwaysSent)
{
    const std::vector<TNetInterface> pc = {Nic("lo", "127.0.0.1", 8, nullptr, true, true, false),
                                           Nic("eth0", "192.168.1.20", 24, "192.168.1.255")};
    EXPECT_EQ(Texts(DiscoveryBroadcasts(pc, "eth0", {})), std::vector<std::string>{"255.255.255.255"});
    EXPECT_EQ(AddressText(CommandAddress(pc, "eth0", A("192.168.1.77"), false)), "255.255.255.255");
    EXPECT_EQ(AddressText(CommandAddress(pc, "eth0", A("192.168.1.77"), true)), "255.255.255.255")
        << "asked by unicast, but on the subnet: as always";
}

TEST(NetInterfaces, EveryOtherUsableInterfaceGetsItsDirectedBroadcast)
{
    EXPECT_EQ(Texts(DiscoveryBroadcasts(Pc(), "eth0", {})),
              (std::vector<std::string>{"255.255.255.255", "10.78.255.255", "10.79.5.255"}));
    // Without a default route 255.255.255.255 leaves nowhere: every interface is asked directly.
    EXPECT_EQ(Texts(DiscoveryBroadcasts(Pc(), "", {})),
              (std::vector<std::string>{"255.255.255.255", "192.168.1.255", "10.78.255.255", "10.79.5.255"}));
    EXPECT_EQ(DiscoveryInterfaceNames(Pc()), (std::vector<std::string>{"eth0", "eth1"}));
}

TEST(NetInterfaces, ChosenInterfacesOnly)
{
    EXPECT_EQ(Texts(DiscoveryBroadcasts(Pc(), "eth0", {"eth0"})), std::vector<std::string>{"192.168.1.255"});
    EXPECT_EQ(Texts(DiscoveryBroadcasts(Pc(), "eth0", {"eth1"})),
              (std::vector<std::string>{"10.78.255.255", "10.79.5.255"}));
    EXPECT_EQ(Texts(DiscoveryBroadcasts(Pc(), "eth0", {"eth1", "eth1"})),
              (std::vector<std::string>{"10.78.255.255", "10.79.5.255"}));
    EXPECT_TRUE(DiscoveryBroadcasts(Pc(), "eth0", {"wlan0"}).empty()) << "an interface that is down";
    EXPECT_EQ(UnknownInterfaces(Pc(), {"eth1", "wlan0", "lo", "nope"}),
              (std::vector<std::string>{"wlan0", "lo", "nope"}));
}

TEST(NetInterfaces, LabelListsEveryAddress)
{
    EXPECT_EQ(InterfaceLabel(Pc(), "eth1"), "eth1 \u2014 10.78.0.1/16, 10.79.5.1/24");
    EXPECT_EQ(InterfaceLabel(Pc(), "gone"), "gone");
}

TEST(NetInterfaces, CommandsGoTheWayTheDeviceWasFound)
{
    const auto to = [](const char* peer, bool unicast) {
        return AddressText(CommandAddress(Pc(), "eth0", A(peer), unicast));
    };
    EXPECT_EQ(to("192.168.1.50", false), "255.255.255.255");
    EXPECT_EQ(to("10.78.3.4", false), "10.78.255.255") << "behind the second interface";
    EXPECT_EQ(to("10.79.5.9", false), "10.79.5.255");
    EXPECT_EQ(to("10.90.1.5", true), "10.90.1.5") << "behind a router, asked by unicast";
    EXPECT_EQ(to("10.90.1.5", false), "255.255.255.255") << "answered a broadcast from an address that fits no subnet";
    std::vector<TNetInterface> noBroadcast = {Nic("eth0", "192.168.1.20", 24, "192.168.1.255"),
                                              Nic("ptp0", "10.50.0.1", 24, nullptr, true, false, false)};
    EXPECT_EQ(AddressText(CommandAddress(noBroadcast, "eth0", A("10.50.0.7"), false)), "10.50.0.7");
}

TEST(NetInterfaces, EachSubnetIsAskedOnce)
{
    // Wi-Fi on the office LAN beside the cable (listed first), two adapters on the device network,
    // and one more address on it with another prefix (a subnet of its own).
    const std::vector<TNetInterface> pc = {Nic("lo", "127.0.0.1", 8, nullptr, true, true, false),
                                           Nic("wlan0", "192.168.1.21", 24, "192.168.1.255"),
                                           Nic("eth0", "192.168.1.20", 24, "192.168.1.255"),
                                           Nic("eth1", "10.78.0.1", 16, "10.78.255.255"),
                                           Nic("eth2", "10.78.0.2", 16, "10.78.255.255"),
                                           Nic("eth2", "10.78.5.1", 24, "10.78.5.255")};
    EXPECT_EQ(Texts(DiscoveryBroadcasts(pc, "eth0", {})),
              (std::vector<std::string>{"255.255.255.255", "10.78.255.255", "10.78.5.255"}))
        << "the office LAN only by 255.255.255.255";
    // A directed broadcast of its own where the broadcast address was set otherwise: still one subnet.
    std::vector<TNetInterface> odd = pc;
    odd[1].Broadcast = A("192.168.1.127");
    odd[4].Broadcast = A("10.78.127.255");
    EXPECT_EQ(Texts(DiscoveryBroadcasts(odd, "eth0", {})),
              (std::vector<std::string>{"255.255.255.255", "10.78.255.255", "10.78.5.255"}));
    // Chosen in the drop-down: each chosen subnet once, the default route's too.
    EXPECT_EQ(Texts(DiscoveryBroadcasts(pc, "eth0", {"wlan0"})), std::vector<std::string>{"192.168.1.255"});
    EXPECT_EQ(Texts(DiscoveryBroadcasts(pc, "eth0", {"eth1", "eth2"})),
              (std::vector<std::string>{"10.78.255.255", "10.78.5.255"}));
    // Without a default route every subnet is asked directly, still once.
    EXPECT_EQ(Texts(DiscoveryBroadcasts(pc, "", {})),
              (std::vector<std::string>{"255.255.255.255", "192.168.1.255", "10.78.255.255", "10.78.5.255"}));
}

TEST(NetInterfaces, TheDefaultRoutesSubnetGetsCommandsByTheLimitedBroadcastWhateverIsListedFirst)
{
    const std::vector<TNetInterface> pc = {Nic("wlan0", "192.168.1.21", 24, "192.168.1.255"),
                                           Nic("eth0", "192.168.1.20", 24, "192.168.1.255"),
                                           Nic("eth1", "10.78.0.1", 16, "10.78.255.255"),
                                           Nic("eth2", "10.78.0.2", 16, "10.78.255.255")};
    for (const bool unicast : {false, true})
        EXPECT_EQ(AddressText(CommandAddress(pc, "eth0", A("192.168.1.77"), unicast)), "255.255.255.255");
    EXPECT_EQ(AddressText(CommandAddress(pc, "eth0", A("10.78.3.4"), false)), "10.78.255.255");
    // A wider subnet of another interface that holds the default route's: the default route's wins.
    const std::vector<TNetInterface> wide = {Nic("eth1", "192.168.0.5", 16, "192.168.255.255"),
                                             Nic("eth0", "192.168.1.20", 24, "192.168.1.255")};
    EXPECT_EQ(AddressText(CommandAddress(wide, "eth0", A("192.168.1.77"), false)), "255.255.255.255");
    EXPECT_EQ(AddressText(CommandAddress(wide, "eth0", A("192.168.7.7"), false)), "192.168.255.255");
}
