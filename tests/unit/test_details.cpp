// The details of the selected device: field looks, the DHCP box, buttons, picture path and links.
#include "core/devices/details.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

namespace {

TProductInfo Plain()
{
    TProductInfo info;
    info.TypeName = "Poseidon 2261";
    info.Name = "Boiler";
    info.PeerIP = "10.0.0.7";
    info.IP = "192.168.1.20";
    info.Mask = "255.255.255.0";
    info.Gateway = "192.168.1.1";
    info.DNS1 = "192.168.1.2";
    info.DNS2 = "192.168.1.3";
    info.Dhcp = 0;
    info.HTTPPort = 80;
    info.TelnetPort = 23;
    return info;
}

} // namespace

TEST(DeviceDetails, AllValuesPresentGiveEditableFields)
{
    TProductInfo info = Plain();
    info.CanSetDefault = true;
    const TDeviceDetailsLook look = DeviceDetailsLook(info, false);
    EXPECT_EQ(look.Name.Text, "Boiler");
    EXPECT_FALSE(look.Name.ReadOnly);
    EXPECT_EQ(look.IP, "192.168.1.20");
    EXPECT_EQ(look.Mask, "255.255.255.0");
    EXPECT_EQ(look.Gateway, "192.168.1.1");
    EXPECT_EQ(look.DNS1.Text, "192.168.1.2");
    EXPECT_EQ(look.DNS2.Text, "192.168.1.3");
    EXPECT_FALSE(look.DNS1.ReadOnly || look.DNS2.ReadOnly);
    EXPECT_EQ(look.HTTPPort.Text, "80");
    EXPECT_EQ(look.TelnetPort.Text, "23");
    EXPECT_FALSE(look.HTTPPort.ReadOnly || look.TelnetPort.ReadOnly);
    EXPECT_TRUE(look.SetDefaultEnabled);
    EXPECT_FALSE(look.RestartEnabled) << "each button follows its own flag";
    info.CanSetDefault = false;
    info.CanRestart = true;
    EXPECT_FALSE(DeviceDetailsLook(info, false).SetDefaultEnabled);
    EXPECT_TRUE(DeviceDetailsLook(info, false).RestartEnabled);
}

TEST(DeviceDetails, ANameWithControlsIsShownWrittenOut)
{
    TProductInfo info = Plain();
    info.Name = "Boiler\nERROR\t\x1B[31m\xE2\x80\xAE";
    const TDeviceDetailsLook look = DeviceDetailsLook(info, false);
    EXPECT_EQ(look.Name.Text, "Boiler\\x0AERROR\\x09\\x1B[31m\\u{202E}");
    EXPECT_FALSE(look.Name.ReadOnly);
}

TEST(DeviceDetails, MissingValuesReadNAInLockedFields)
{
    TProductInfo info = Plain();
    info.Name = "N/A";
    info.DNS2 = "N/A";
    info.HTTPPort = -1;
    const TDeviceDetailsLook look = DeviceDetailsLook(info, false);
    EXPECT_TRUE(look.Name.ReadOnly);
    EXPECT_EQ(look.Name.Text, "N/A");
    EXPECT_EQ(look.HTTPPort.Text, "N/A");
    EXPECT_TRUE(look.HTTPPort.ReadOnly);
    EXPECT_FALSE(look.TelnetPort.ReadOnly) << "the ports are decided one by one";
    EXPECT_FALSE(look.DNS1.ReadOnly);
    EXPECT_TRUE(look.DNS2.ReadOnly) << "N/A locks the field with DHCP off";

    info = Plain();
    info.Name = "n/a";
    info.TelnetPort = -1;
    EXPECT_FALSE(DeviceDetailsLook(info, false).Name.ReadOnly) << "only the exact text \"N/A\" marks a missing name";
    EXPECT_TRUE(DeviceDetailsLook(info, false).TelnetPort.ReadOnly);
    EXPECT_FALSE(DeviceDetailsLook(info, false).HTTPPort.ReadOnly);
}

TEST(DeviceDetails, PortsShowTheSigned16BitValue)
{
    struct {
        int16_t Port;
        const char* Text;
        bool ReadOnly;
    } const rows[] = {
        {-1, "N/A", true},                        // no port
        {-2, "-2", false},                        // only -1 stands for none
        {0, "0", false},
        {32767, "32767", false},
        {int16_t(40000), "-25536", false},        // shown as held
        {int16_t(-32768), "-32768", false},
    };
    for (const auto& r : rows) {
        TProductInfo info = Plain();
        info.HTTPPort = r.Port;
        info.TelnetPort = r.Port;
        const TDeviceDetailsLook look = DeviceDetailsLook(info, false);
        EXPECT_EQ(look.HTTPPort.Text, r.Text) << r.Port;
        EXPECT_EQ(look.HTTPPort.ReadOnly, r.ReadOnly) << r.Port;
        EXPECT_EQ(look.TelnetPort.Text, r.Text) << r.Port;
        EXPECT_EQ(look.TelnetPort.ReadOnly, r.ReadOnly) << r.Port;
    }
}

TEST(DeviceDetails, DhcpBoxAndNameServers)
{
    struct {
        int16_t Dhcp;
        bool CheckedBefore;
        bool Enabled;
        bool Checked;
        const char* Why;
    } const rows[] = {
        {0, true, true, false, "off: enabled, unchecked whatever it showed"},
        {1, false, true, true, "on"},
        {2, false, true, true, "any value but 0 is on"},
        {-2, false, true, true, "only -1 means no value"},
        {-1, true, false, true, "no value: disabled, keeps its mark"},
        {-1, false, false, false, "no value: disabled, keeps no mark"},
    };
    for (const auto& r : rows) {
        TProductInfo info = Plain();
        info.Dhcp = r.Dhcp;
        const TDeviceDetailsLook look = DeviceDetailsLook(info, r.CheckedBefore);
        EXPECT_EQ(look.DhcpEnabled, r.Enabled) << r.Why;
        EXPECT_EQ(look.DhcpChecked, r.Checked) << r.Why;
        // The name servers come from DHCP when the box ends up checked.
        EXPECT_EQ(look.DNS1.ReadOnly, r.Checked) << r.Why;
        EXPECT_EQ(look.DNS2.ReadOnly, r.Checked) << r.Why;
    }
}

TEST(DevicePicture, ImagesFolderBesideTheProgram)
{
    struct {
        const char* AppDir;
        const char* Type;
        const char* Path;
    } const rows[] = {
        {"/opt/pyxet/", "Poseidon 2261", "/opt/pyxet/images/Poseidon 2261.png"},  // doubled separator dropped
        {"/opt/pyxet", "Poseidon 2261", "/opt/pyxet/images/Poseidon 2261.png"},
        {"/opt/./pyxet/", "Damocles 2404", "/opt/pyxet/images/Damocles 2404.png"},
        {"./", "Čidlo", "images/Čidlo.png"},
        {"/opt/pyxet/", "", "/opt/pyxet/images/.png"},  // unnamed type
    };
    for (const auto& r : rows)
        EXPECT_EQ(DevicePicturePath(r.AppDir, r.Type), r.Path) << r.AppDir << " + " << r.Type;
}

TEST(DeviceLinks, PictureOpensTheAnsweringAddress)
{
    TProductInfo info = Plain();
    EXPECT_EQ(DevicePageUrl(info), "http://10.0.0.7") << "the sender address, not the configured one";
    info.HTTPPort = -1;
    EXPECT_EQ(DevicePageUrl(info), "http://10.0.0.7");
}

TEST(DeviceLinks, SmallPictureAddsThePort)
{
    struct {
        int16_t Port;
        const char* Url;
        const char* Why;
    } const rows[] = {
        {8080, "http://10.0.0.7:8080", "plain port"},
        {80, "http://10.0.0.7:80", "the default port is written too"},
        {-1, "http://10.0.0.7", "no port: the default one"},
        {32767, "http://10.0.0.7:32767", "highest positive"},
        {int16_t(32768), "http://10.0.0.7:32768", "held as -32768"},
        {int16_t(40000), "http://10.0.0.7:40000", "held as negative"},
        {int16_t(65534), "http://10.0.0.7:65534", "held as -2"},
    };
    for (const auto& r : rows) {
        TProductInfo info = Plain();
        info.HTTPPort = r.Port;
        EXPECT_EQ(DevicePortPageUrl(info), r.Url) << r.Why;
    }
}
