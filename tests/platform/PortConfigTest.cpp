// The port table and phone book read from the INI file.
#include <gtest/gtest.h>

#include <QTemporaryDir>

#include "config/IniFile.h"
#include "platform/comm/PortConfig.h"
#include "util/Error.h"

namespace zorv::test {
namespace {

class PortConfigTest : public ::testing::Test {
protected:
    void SetUp() override { SetIniDirectory(dir.path().toStdString()); }
    void TearDown() override { SetIniDirectory(""); }
    QTemporaryDir dir;
};

TEST_F(PortConfigTest, WithoutATableFourSerialPortsAndTheNetworkModem) {
    EXPECT_EQ(ResolvePortFromIni(1).device, "/dev/ttyS0");
    EXPECT_EQ(ResolvePortFromIni(4).device, "/dev/ttyS3");
    EXPECT_EQ(ResolvePortFromIni(kDefaultNetModemPort).kind, PortTarget::Kind::NetModem);
    for (int port : {0, 5, 8, 10}) EXPECT_THROW(ResolvePortFromIni(port), Error) << port;
    const NetModemConfig modem = ResolvePortFromIni(kDefaultNetModemPort).modem;
    ASSERT_EQ(modem.phoneBook.count("5559678"), 1u);
    EXPECT_EQ(modem.phoneBook.at("5559678").host, "127.0.0.1");
    EXPECT_EQ(modem.phoneBook.at("5559678").port, 2323);
    EXPECT_TRUE(modem.phoneBook.at("5559678").telnet);
}

TEST_F(PortConfigTest, TableAndPhoneBookEntriesAreTakenAndBadOnesLeftOut) {
    WriteIniKey(kPortsSection, "1", "/dev/ttyUSB0");
    WriteIniKey(kPortsSection, "3", "NET");
    WriteIniKey(kPhoneBookSection, "555-1234", "bbs.example.org:2300,raw");
    WriteIniKey(kPhoneBookSection, "5559678", "10.0.0.5");
    WriteIniKey(kPhoneBookSection, "5550000", "bad host:23");
    WriteIniKey(kPhoneBookSection, "5550001", "host:0");
    WriteIniKey(kNetModemSection, "AnswerPort", "-1");
    WriteIniKey(kNetModemSection, "AnswerMode", "raw");

    EXPECT_EQ(ResolvePortFromIni(1).device, "/dev/ttyUSB0");
    EXPECT_THROW(ResolvePortFromIni(2), Error);  // a table replaces the defaults
    const PortTarget net = ResolvePortFromIni(3);
    ASSERT_EQ(net.kind, PortTarget::Kind::NetModem);
    const auto& book = net.modem.phoneBook;
    ASSERT_EQ(book.count("5551234"), 1u);
    EXPECT_EQ(book.at("5551234").host, "bbs.example.org");
    EXPECT_EQ(book.at("5551234").port, 2300);
    EXPECT_FALSE(book.at("5551234").telnet);
    EXPECT_EQ(book.at("5559678").host, "10.0.0.5");
    EXPECT_EQ(book.at("5559678").port, 23);
    EXPECT_EQ(book.count("5550000") + book.count("5550001"), 0u);
    EXPECT_EQ(net.modem.answerPort, -1);
    EXPECT_FALSE(net.modem.answerTelnet);
}

}  // namespace
}  // namespace zorv::test
