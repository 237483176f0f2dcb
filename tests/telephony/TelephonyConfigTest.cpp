// Devices and locations in the INI file, and the dial command a location makes.
#include <gtest/gtest.h>

#include "platform/telephony/ModemTelephony.h"
#include "platform/telephony/TelephonyConfig.h"
#include "tests/telephony/TelephonyTestKit.h"

namespace zorv {
namespace {

using test::PrivateIni;

TEST(DialCommandTest, LocationRulesGoInFrontOfTheNumber) {
    struct Case {
        DialingLocation location;
        const char* expected;
    } cases[] = {
        {{"Home", "", false, ""}, "ATDT555-9678"},
        {{"Office", "9", false, ""}, "ATDT9,555-9678"},
        {{"Office", "9,", false, ""}, "ATDT9,555-9678"},
        {{"Old line", "", true, "*70"}, "ATDP*70,555-9678"},
        {{"Hotel", "9", false, "*70"}, "ATDT9,*70,555-9678"},
        {{"Written out", "(8) 1", false, "1170"}, "ATDT81,1170,555-9678"},
        {{"Wait", "9w", false, ""}, "ATDT9W,555-9678"},
    };
    for (const Case& c : cases) EXPECT_EQ(DialCommand(c.location, "555-9678"), c.expected) << c.location.name;
}

TEST(DialCommandTest, CodesThatCouldSmuggleCommandsAreRefused) {
    struct Case {
        const char* prefix;
        const char* callWaiting;
        bool accepted;
    } cases[] = {
        {"9", "*70", true},
        {"1-800", "#31#", true},
        {"", "", true},
        {"9;", "", false},          // ends the dial command, back to command mode
        {"9\rATH", "", false},      // a second command line
        {"", "*70;ATZ", false},
        {"ABC", "", false},
        {"9+++", "", false},
    };
    for (const Case& c : cases) {
        const std::string why = CheckLocation(DialingLocation{"Here", c.prefix, false, c.callWaiting});
        EXPECT_EQ(why.empty(), c.accepted) << c.prefix << " / " << c.callWaiting << ": " << why;
    }
    EXPECT_FALSE(CheckNumber("555;ATZ").empty());
    EXPECT_FALSE(CheckNumber("555\r").empty());
    EXPECT_TRUE(CheckNumber("127.0.0.1:2323").empty());
}

TEST(DeviceCheckTest, RefusesWhatNoPortOrModemTakes) {
    struct Case {
        ModemDevice device;
        bool accepted;
    } cases[] = {
        {{"Network Modem", 9, 9600, "AT&FE0V1&C1&D2"}, true},
        {{"Fast", 1, 115200, "ATZ^M"}, true},
        {{"No init", 1, 9600, ""}, true},
        {{"", 1, 9600, "ATZ"}, false},
        {{"Port 0", 0, 9600, "ATZ"}, false},
        {{"Port 256", 256, 9600, "ATZ"}, false},
        {{"Odd speed", 1, 12, "ATZ"}, false},
        {{"Not AT", 1, 9600, "XYZ"}, false},
        {{"Raw CR", 1, 9600, "ATZ\rATH"}, false},
    };
    for (const Case& c : cases) EXPECT_EQ(CheckDevice(c.device).empty(), c.accepted) << c.device.name;
}

TEST(TelephonyConfigTest, OutOfTheBoxTheNetworkModemComesFirstThenSerialPortsThatExist) {
    PrivateIni ini;
    // No port table: the built-in one (ttyS0-3 and the network modem on 9).
    auto none = [] { return std::vector<std::string>{}; };
    auto devices = LoadDevices(none);
    ASSERT_EQ(devices.size(), 1u);
    EXPECT_EQ(devices[0].name, "Network Modem");
    EXPECT_EQ(devices[0].port, 9);
    EXPECT_EQ(devices[0].init, kDefaultInit);

    auto ttyS1 = [] { return std::vector<std::string>{"/dev/ttyS1", "/dev/ttyUSB7"}; };
    devices = LoadDevices(ttyS1);
    ASSERT_EQ(devices.size(), 2u);
    EXPECT_EQ(devices[1].name, "Serial Modem on /dev/ttyS1");
    EXPECT_EQ(devices[1].port, 2);

    // A table of its own: only its ports count, the network modem wherever it is.
    WriteIniKey("Ports", "3", "/dev/ttyUSB7");
    WriteIniKey("Ports", "5", "net");
    WriteIniKey("Ports", "6", "/dev/ttyS1");
    devices = LoadDevices(ttyS1);
    ASSERT_EQ(devices.size(), 3u);
    EXPECT_EQ(devices[0].port, 5);
    EXPECT_EQ(devices[1].port, 3);
    EXPECT_EQ(devices[2].port, 6);
}

TEST(TelephonyConfigTest, ConfiguredListsRoundTripAndAShorterListEndsTheOldOne) {
    PrivateIni ini;
    const std::vector<ModemDevice> three{{"A", 1, 9600, "ATZ"}, {"B", 2, 19200, "AT&F"}, {"C", 9, 2400, ""}};
    ASSERT_TRUE(SaveDevices(three));
    auto none = [] { return std::vector<std::string>{}; };
    auto loaded = LoadDevices(none);
    ASSERT_EQ(loaded.size(), 3u);
    EXPECT_EQ(loaded[1].name, "B");
    EXPECT_EQ(loaded[1].port, 2);
    EXPECT_EQ(loaded[1].speed, 19200);
    EXPECT_EQ(loaded[1].init, "AT&F");

    ASSERT_TRUE(SaveDevices({three[2]}));
    loaded = LoadDevices(none);
    ASSERT_EQ(loaded.size(), 1u);
    EXPECT_EQ(loaded[0].name, "C");

    ASSERT_TRUE(SaveLocations({{"Home", "", false, ""}, {"Office", "9", true, "*70"}}));
    const auto locations = LoadLocations();
    ASSERT_EQ(locations.size(), 2u);
    EXPECT_EQ(locations[1].outsidePrefix, "9");
    EXPECT_TRUE(locations[1].pulse);
    EXPECT_EQ(locations[1].callWaiting, "*70");
    EXPECT_FALSE(locations[0].pulse);
}

TEST(TelephonyConfigTest, ChoicesAreRememberedAndUnknownNamesChangeNothing) {
    PrivateIni ini;
    ASSERT_TRUE(SaveLocations({{"Home", "", false, ""}, {"Office", "9", false, ""}}));
    ASSERT_TRUE(SaveDevices({{"A", 1, 9600, "ATZ"}, {"B", 2, 9600, "ATZ"}}));
    {
        ModemTelephony telephony;
        int current = -1;
        EXPECT_EQ(telephony.ListLocations(current), (std::vector<std::string>{"Home", "Office"}));
        EXPECT_EQ(current, 0);
        EXPECT_EQ(telephony.CurrentDevice(), 0);
        telephony.ChooseLocation("Office");
        telephony.ChooseDevice("B");
        telephony.ChooseLocation("Nowhere");
        telephony.ChooseDevice("Z");
    }
    ModemTelephony later;
    int current = -1;
    later.ListLocations(current);
    EXPECT_EQ(current, 1);
    EXPECT_EQ(later.CurrentDevice(), 1);
    EXPECT_EQ(later.ListDevices(), (std::vector<std::string>{"A", "B"}));
}

TEST(TelephonyConfigTest, WithoutAnyConfigurationThereIsTheDefaultLocation) {
    PrivateIni ini;
    ModemTelephony telephony([] { return std::vector<std::string>{}; });
    int current = -1;
    EXPECT_EQ(telephony.ListLocations(current), (std::vector<std::string>{"Default Location"}));
    EXPECT_EQ(current, 0);
    EXPECT_EQ(telephony.ListDevices(), (std::vector<std::string>{"Network Modem"}));
}

}  // namespace
}  // namespace zorv
