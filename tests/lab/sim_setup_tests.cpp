// The configuration file of the simulated devices, driven without sockets: what a device serves
// by default, the code page of one device per default fleet, a file a device is sent and the
// network values it takes from it, a configuration that changes by itself and one that is not
// well-formed.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <memory>
#include <sstream>

#include "fleet.h"
#include "setupxml.h"
#include "simdevices.h"
#include "simulator.h"

using namespace sim;

namespace {

bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

std::string Between(const std::string& text, const std::string& open, const std::string& close) {
    const size_t start = text.find(open);
    if (start == std::string::npos) return "";
    const size_t end = text.find(close, start + open.size());
    return end == std::string::npos ? "" : text.substr(start + open.size(), end - start - open.size());
}

// A file as another device's, with the values given put in.
std::string FileWith(const std::string& name, const std::string& ip) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<setup>\n  <device><name>" + name +
           "</name><mac>02:50:00:00:00:99</mac></device>\n  <network>\n    <dhcp>0</dhcp>\n    <ip>" + ip +
           "</ip>\n    <mask>255.255.255.0</mask>\n    <gateway>10.77.0.254</gateway>\n  </network>\n"
           "  <snmp enabled=\"1\"><community>site-7</community></snmp>\n</setup>\n";
}

const char* const kTwo = R"([
 {"family": "Orvex", "mac": "02:50:00:00:00:01", "name": "Kotelna č. 1", "ip": "10.77.3.1", "mask": "255.255.0.0",
  "gateway": "10.77.0.254", "follow_ip": true, "restart_ms": 0},
 {"family": "HWG", "mac": "02:51:00:00:00:01", "name": "Sklep", "ip": "10.77.3.2", "restart_ms": 0,
  "http": {"encoding": "windows-1250"}}])";

}  // namespace

TEST(SetupFile, TheDefaultFileIsARealisticConfigurationWithTheDevicesOwnValues) {
    Devices fleet(kTwo);
    const std::string xml = fleet.Sim().ServeSetupXml(0);
    EXPECT_EQ(xml.rfind("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n", 0), 0u);
    EXPECT_TRUE(Has(xml, "<!--"));
    EXPECT_TRUE(Has(xml, "<name>Kotelna č. 1</name>"));
    EXPECT_TRUE(Has(xml, "<mac>02:50:00:00:00:01</mac>"));
    const std::string network = Between(xml, "<network>", "</network>");
    EXPECT_TRUE(Has(network, "<ip>10.77.3.1</ip>"));
    EXPECT_TRUE(Has(network, "<mask>255.255.0.0</mask>"));
    EXPECT_TRUE(Has(network, "<gateway>10.77.0.254</gateway>"));
    const std::string sensors = Between(xml, "<sensors>", "</sensors>");
    EXPECT_TRUE(Has(sensors, "<sensor id=\"1\"") && Has(sensors, "<sensor id=\"2\"") && Has(sensors, "<sensor id=\"3\""));
    EXPECT_TRUE(Has(xml, "Přívod topení"));
    EXPECT_TRUE(Has(xml, "</setup>\n"));

    // The code page: the declaration names it and the Czech letters are its bytes.
    const std::string other = fleet.Sim().ServeSetupXml(1);
    EXPECT_EQ(other.rfind("<?xml version=\"1.0\" encoding=\"windows-1250\"?>\n", 0), 0u);
    EXPECT_TRUE(Has(other, "P\xF8\xEDvod topen\xED"));  // ř í ... í
    EXPECT_TRUE(Has(other, "Vlhkost \x96 sklep"));       // the en dash
    EXPECT_FALSE(Has(other, "Přívod"));
    EXPECT_EQ(ReadSetupValues(other).name, "Sklep");
}

TEST(SetupFile, EachDefaultFleetHasOneDeviceInTheCzechCodePage) {
    auto count = [](const std::vector<DeviceConfig>& devices) {
        int n = 0;
        for (const DeviceConfig& device : devices) n += device.http.encoding == "windows-1250" ? 1 : 0;
        return n;
    };
    const FleetResult shipped = LoadFleetFile(std::string(PYXET_SOURCE_DIR) + "/sim/fleet.json");
    ASSERT_EQ(shipped.error, "");
    EXPECT_EQ(count(shipped.devices), 1);
    EXPECT_EQ(count(GenerateFleet(300, 300).devices), 1);
    EXPECT_EQ(count(GenerateFleet(5, 0).devices), 1);
    // Written out and read back, the key stays.
    const FleetResult again = ParseFleet(FleetToJson(GenerateFleet(2, 2).devices));
    ASSERT_EQ(again.error, "");
    EXPECT_EQ(count(again.devices), 1);
    EXPECT_NE(ParseFleet(R"([{"family": "Orvex", "mac": "02:50:00:00:00:01", "ip": "10.77.3.1",
                             "http": {"encoding": "KOI8-R"}}])").error, "");
}

TEST(SetupFile, AFileSentIsKeptAndItsNetworkValuesTaken) {
    Devices fleet(kTwo);
    // A file that names the device's own values changes nothing but the file.
    std::string own = FileWith("Kotelna č. 1", "10.77.3.1");
    own.replace(own.find("255.255.255.0"), 13, "255.255.0.0");
    EXPECT_EQ(fleet.Sim().StoreSetupXml(0, own), "");
    EXPECT_EQ(fleet.Sim().ServeSetupXml(0), own);

    // A new name only: taken (references decoded), no restart.
    std::string renamed = FileWith("Nov&#253; &amp; lep&#x161;&#237;", "10.77.3.1");
    renamed.replace(renamed.find("255.255.255.0"), 13, "255.255.0.0");
    EXPECT_EQ(fleet.Sim().StoreSetupXml(0, renamed), "name");
    EXPECT_EQ(fleet.Sim().At(0).setup.name, "Nový & lepší");
    EXPECT_FALSE(fleet.Sim().At(0).restarting);

    // A new address: the device restarts and, following its ip, answers there.
    EXPECT_EQ(fleet.Sim().StoreSetupXml(0, FileWith("Nový &amp; lepší", "10.77.3.50")), "network");
    EXPECT_EQ(fleet.Sim().DeviceAt({10, 77, 3, 50}), 0);
    EXPECT_EQ(fleet.Sim().DeviceAt({10, 77, 3, 1}), -1);
    EXPECT_TRUE(Has(fleet.Sim().ServeSetupXml(0), "site-7"));

    // An HWG device without follow_ip reports the new address and stays where it is; an address
    // that is no address leaves the setup as it was.
    EXPECT_EQ(fleet.Sim().StoreSetupXml(1, FileWith("Sklep", "10.77.3.60")), "network");
    fleet.Sim().Tick(Clock::now() + std::chrono::seconds(1));
    EXPECT_EQ(IpText(fleet.Sim().At(1).setup.ip), "10.77.3.60");
    EXPECT_EQ(fleet.Sim().DeviceAt({10, 77, 3, 2}), 1);
    EXPECT_EQ(fleet.Sim().StoreSetupXml(1, FileWith("Sklep", "not an address")), "");

    int configuration = 0, restarts = 0;
    for (const auto& e : fleet.EventLines()) {
        configuration += e["event"] == "state" && e["cause"] == "configuration";
        restarts += e["event"] == "restart" && e["cause"] == "configuration";
    }
    EXPECT_EQ(configuration, 3);
    EXPECT_EQ(restarts, 2);
}

TEST(SetupFile, AChangingConfigurationAndOneThatIsNotWellFormed) {
    Devices fleet(R"([
 {"family": "Orvex", "mac": "02:50:00:00:00:01", "ip": "10.77.3.1", "http": {"changing": 0}},
 {"family": "Orvex", "mac": "02:50:00:00:00:02", "ip": "10.77.3.2", "http": {"changing": 3600}},
 {"family": "HWG", "mac": "02:51:00:00:00:01", "ip": "10.77.3.3", "http": {"not_well_formed": true}}])");
    EXPECT_EQ(Between(fleet.Sim().ServeSetupXml(0), "<counter>", "</counter>"), "1");
    EXPECT_EQ(Between(fleet.Sim().ServeSetupXml(0), "<counter>", "</counter>"), "2");
    // Every hour: the same within the test.
    EXPECT_EQ(fleet.Sim().ServeSetupXml(1), fleet.Sim().ServeSetupXml(1));
    const std::string broken = fleet.Sim().ServeSetupXml(2);
    EXPECT_TRUE(Has(broken, "<sensors>"));
    EXPECT_FALSE(Has(broken, "</sensors>"));
    EXPECT_TRUE(Has(broken, "</setup>"));
    const FleetResult back = ParseFleet(FleetToJson(ParseFleet(R"([
 {"family": "Orvex", "mac": "02:50:00:00:00:01", "ip": "10.77.3.1", "http": {"changing": 5, "not_well_formed": true}}])")
                                                        .devices));
    ASSERT_EQ(back.error, "");
    EXPECT_EQ(back.devices[0].http.changing, 5);
    EXPECT_TRUE(back.devices[0].http.not_well_formed);
}
