// Finding a port that opens, and one with a modem behind it, over a table of ports.
#include "modem/PortSearch.h"

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <vector>

#include "modem/LineWait.h"
#include "modem/ModemProfiles.h"
#include "script/ResultCodes.h"
#include "tests/support/FakeComm.h"
#include "tests/support/TestWorld.h"
#include "util/Error.h"

namespace zorv::test {
namespace {

// Only the ports in `present` open; the modems on the ports in `modems` answer "AT".
class PortRack : public FakeComm {
public:
    using FakeComm::FakeComm;
    void SetPortOpen(bool open) override {
        if (open && present.count(CommPort()) == 0) throw Error(ErrorNumber::DeviceUnavailable, "Device unavailable");
        FakeComm::SetPortOpen(open);
    }
    void SetOutput(const std::string& data) override {
        FakeComm::SetOutput(data);
        if (data == "AT\r") {
            ++probes[CommPort()];
            if (modems.count(CommPort()) != 0) DeliverAfter(0.1, "AT\r\r\nOK\r\n");
        }
    }
    std::set<int> present;
    std::set<int> modems;
    std::map<int, int> probes;
};

class PortSearchTest : public ::testing::Test {
protected:
    PortSearchTest() {
        ResetCommSlots();
        CancelRequested = 0;
        WaitCarryOver.clear();
        SETRESULT(RC_NONE);
    }
    ~PortSearchTest() override {
        ResetCommSlots();
        CancelRequested = 0;
    }
    TestWorld world;
};

struct SearchCase {
    const char* name;
    std::set<int> present;
    std::set<int> modems;
    int firstPort;
    int port;                     // returned
    ResultCode code;
    std::map<int, int> probes;    // FINDMODEM's "AT" per port
};

TEST_F(PortSearchTest, OpenPortAndFindModem) {
    const std::vector<SearchCase> cases = {
        {"first port 0 starts at 1", {1, 2}, {1}, 0, 1, RC_PORT_OPENED, {{1, 1}}},
        {"a port that does not open is passed over", {3, 5}, {3}, 1, 3, RC_PORT_OPENED, {{3, 1}}},
        {"search starts at the first port given", {2, 6}, {2, 6}, 3, 6, RC_PORT_OPENED, {{6, 1}}},
        {"no port at all", {}, {}, 1, 0, RC_NO_PORTS, {}},
        {"first port beyond the last number", {2}, {2}, 10, 0, RC_NO_PORTS, {}},
    };
    for (const SearchCase& c : cases) {
        SCOPED_TRACE(c.name);
        PortRack open(world.pump);
        open.present = c.present;
        EXPECT_EQ(OPENPORT(open, c.firstPort, 9600, "N,8,1"), c.port);
        EXPECT_EQ(GETRESULT(), c.code);
        EXPECT_EQ(open.Settings(), "9600,N,8,1");
        EXPECT_EQ(open.PortOpen(), c.port != 0);

        PortRack find(world.pump);
        find.present = c.present;
        find.modems = c.modems;
        EXPECT_EQ(FINDMODEM(find, c.firstPort, 9600, "N,8,1"), c.port);
        EXPECT_EQ(GETRESULT(), c.code);
        EXPECT_EQ(find.probes, c.probes);
        EXPECT_EQ(find.PortOpen(), c.port != 0);
        if (c.port != 0) {
            EXPECT_EQ(find.CommPort(), c.port);
        }
    }
}

TEST_F(PortSearchTest, FindModemClosesSilentPortsAndTriesThemAgain) {
    const std::vector<SearchCase> cases = {
        // Each new start number finds the silent port 3 again until no port is left.
        {"only a silent port", {3}, {}, 1, 0, RC_NO_PORTS, {{3, 3}}},
        {"a silent port before the modem", {2, 4}, {4}, 1, 4, RC_PORT_OPENED, {{2, 2}, {4, 1}}},
    };
    for (const SearchCase& c : cases) {
        SCOPED_TRACE(c.name);
        PortRack find(world.pump);
        find.present = c.present;
        find.modems = c.modems;
        EXPECT_EQ(FINDMODEM(find, c.firstPort, 2400, "E,7,1"), c.port);
        EXPECT_EQ(GETRESULT(), c.code);
        EXPECT_EQ(find.probes, c.probes);
        EXPECT_EQ(find.PortOpen(), c.port != 0);
    }
}

TEST_F(PortSearchTest, RejectedSettingsTouchNoPort) {
    PortRack comm(world.pump);
    comm.present = {1};
    comm.RefuseSettings([](const std::string& settings) { return settings == "9600,X,8,1"; });
    for (auto search : {OPENPORT, FINDMODEM}) {
        EXPECT_EQ(search(comm, 1, 9600, "X,8,1"), 0);
        EXPECT_EQ(GETRESULT(), RC_SETTINGS_INVALID);
    }
    for (const std::string& write : comm.writes()) EXPECT_EQ(write.rfind("Settings=", 0), 0u) << write;
    EXPECT_FALSE(comm.PortOpen());
}

TEST_F(PortSearchTest, ACancelRequestStopsTheSearchBetweenPorts) {
    // A handler run by the search's own event processing asks it to stop before it
    // reaches the port that would open.
    for (auto search : {OPENPORT, FINDMODEM}) {
        PortRack comm(world.pump);
        comm.present = {2};
        comm.modems = {2};
        bool asked = false;
        world.pump.After(0, [&] {
            CancelRequested = -1;
            asked = true;
        });
        CancelRequested = 0;
        EXPECT_EQ(search(comm, 1, 9600, "N,8,1"), 0);
        EXPECT_TRUE(asked);
        EXPECT_EQ(GETRESULT(), RC_CANCELED);
        EXPECT_EQ(CancelRequested, -1) << "the request stays for whoever looks next";
        EXPECT_FALSE(comm.PortOpen());
    }
}

TEST_F(PortSearchTest, ACancelWhileAModemIsAskedEndsTheSearch) {
    PortRack comm(world.pump);
    comm.present = {2, 4};
    comm.modems = {4};
    world.pump.After(1, [] { CancelRequested = -1; });  // during the silent port's probe
    EXPECT_EQ(FINDMODEM(comm, 1, 9600, "N,8,1"), 0);
    EXPECT_EQ(GETRESULT(), RC_CANCELED);
    EXPECT_EQ(comm.probes, (std::map<int, int>{{2, 1}}));
    EXPECT_FALSE(comm.PortOpen());
}

}  // namespace
}  // namespace zorv::test
