// Pauses and waits for text, in virtual time against a scripted line.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "modem/LineWait.h"
#include "script/ResultCodes.h"
#include "tests/support/FakeComm.h"
#include "tests/support/TestWorld.h"
#include "util/Error.h"

namespace zorv::test {
namespace {

class LineWaitTest : public ::testing::Test {
protected:
    LineWaitTest() : world(10 * 3600.0), comm(world.pump) {
        comm.SetPortOpen(true);
        comm.SetCarrier(true);
        WaitCarryOver.clear();
        CancelRequested = 0;
        SETRESULT(RC_NONE);
    }

    TestWorld world;
    FakeComm comm;
};

struct WaitCase {
    const char* name;
    std::vector<std::pair<double, std::string>> arrivals;  // seconds after the start, text
    std::string carryIn;
    std::string target;
    int timeout;
    int excludeTarget;
    ResultCode result;
    std::string text;
    std::string carryOut;
};

TEST(LineWait, WaitForStringOutcomes) {
    CancelRequested = 0;
    const std::string flood(20000, 'x');
    const std::vector<WaitCase> cases = {
        {"echo then OK", {{0.2, "ATZ\r"}, {0.4, "\r\nOK\r\n"}}, "", "OK", 5, 0, RC_WAIT_MATCHED, "ATZ\r\r\nOK", "\r\n"},
        {"target split over three reads", {{1, "CONN"}, {2, "EC"}, {3, "T 2400\r\n"}}, "", "CONNECT", 10, 0,
         RC_WAIT_MATCHED, "CONNECT", " 2400\r\n"},
        {"excluded target", {{1, "login: "}}, "", ": ", 5, 1, RC_WAIT_MATCHED, "login", ""},
        {"excluded target at the very start", {}, "OK rest", "OK", 5, 1, RC_WAIT_MATCHED, "", " rest"},
        {"first occurrence wins", {{1, "a?b?c"}}, "", "?", 5, 0, RC_WAIT_MATCHED, "a?", "b?c"},
        {"silence times out", {}, "", "OK", 5, 0, RC_TIMEOUT, "", ""},
        {"timeout keeps what came and the old carry-over", {{1, "RING"}}, "old ", "OK", 3, 0, RC_TIMEOUT,
         "old RING", "old "},
        {"timeout 0 still finds the carried-over target", {}, "OK\r\n", "OK", 0, 0, RC_WAIT_MATCHED, "OK", "\r\n"},
        {"timeout 0 without the target", {}, "NO", "OK", 0, 0, RC_TIMEOUT, "NO", "NO"},
        {"empty target matches any text", {{1, "abc"}}, "", "", 5, 0, RC_WAIT_MATCHED, "", "abc"},
        {"case matters", {{1, "ok\r\n"}}, "", "OK", 2, 0, RC_TIMEOUT, "ok\r\n", ""},
        {"overflow hands the text back", {{1, flood}}, "", "OK", 5, 0, RC_WAIT_OVERFLOW, flood, ""},
        {"target inside the overflowing read", {{1, flood + "OK!"}}, "", "OK", 5, 0, RC_WAIT_MATCHED, flood + "OK",
         "!"},
    };
    for (const WaitCase& c : cases) {
        SCOPED_TRACE(c.name);
        TestWorld world;
        FakeComm comm(world.pump);
        comm.SetPortOpen(true);
        WaitCarryOver = c.carryIn;
        for (const auto& [delay, text] : c.arrivals) comm.DeliverAfter(delay, text);
        const std::string text = WAITFORSTRING(comm, c.target, c.timeout, 0, c.excludeTarget);
        EXPECT_EQ(GETRESULT(), c.result);
        EXPECT_EQ(text, c.text);
        EXPECT_EQ(WaitCarryOver, c.carryOut);
    }
}

TEST(LineWait, TimeoutAndPauseLastTheirSecondsAlsoOverMidnight) {
    for (double start : {10 * 3600.0, 86400.0 - 4}) {
        SCOPED_TRACE(start);
        TestWorld world(start);
        FakeComm comm(world.pump);
        comm.SetPortOpen(true);
        WaitCarryOver.clear();
        // A wait that lost track of the clock would never end: stop it loudly instead.
        world.pump.After(25, [] { throw std::runtime_error("the wait did not end"); });

        WAITFORSTRING(comm, "OK", 10, 0, 0);
        EXPECT_EQ(GETRESULT(), RC_TIMEOUT);
        EXPECT_GE(world.pump.Now() - start, 10.0);
        EXPECT_LT(world.pump.Now() - start, 10.2);

        const double pauseStart = world.pump.Now();
        PAUSESECONDS(10);
        EXPECT_GE(world.pump.Now() - pauseStart, 10.0);
        EXPECT_LT(world.pump.Now() - pauseStart, 10.2);
    }
}

TEST_F(LineWaitTest, PauseRunsEventsAndLeavesResultAlone) {
    SETRESULT(RC_WAIT_MATCHED);
    CancelRequested = -1;
    int ran = 0;
    world.pump.After(0, [&] { ++ran; });
    PAUSESECONDS(0);
    EXPECT_EQ(ran, 1);
    EXPECT_EQ(GETRESULT(), RC_WAIT_MATCHED);
    EXPECT_EQ(CancelRequested, -1);  // a pause does not look at it
}

TEST_F(LineWaitTest, CarryOverFeedsTheNextWait) {
    comm.DeliverAfter(1, "OK\r\nCONNECT 2400\r\n");
    EXPECT_EQ(WAITFORSTRING(comm, "OK", 5, 0, 0), "OK");
    const int reads = comm.inputReads();
    EXPECT_EQ(WAITFORSTRING(comm, "\r\n", 5, 0, 1), "");
    EXPECT_EQ(WAITFORSTRING(comm, "\r\n", 5, 0, 1), "CONNECT 2400");
    EXPECT_EQ(GETRESULT(), RC_WAIT_MATCHED);
    EXPECT_EQ(comm.inputReads(), reads);  // nothing had to be received again
    EXPECT_EQ(WaitCarryOver, "");

    // One occurrence answers one wait only.
    comm.DeliverAfter(1, "READY");
    WAITFORSTRING(comm, "READY", 5, 0, 0);
    EXPECT_EQ(GETRESULT(), RC_WAIT_MATCHED);
    WAITFORSTRING(comm, "READY", 5, 0, 0);
    EXPECT_EQ(GETRESULT(), RC_TIMEOUT);
}

TEST_F(LineWaitTest, OverflowLetsTheCallerWaitAgain) {
    comm.DeliverAfter(1, std::string(kWaitTextLimit, '.'));
    comm.DeliverAfter(2, "..");
    comm.DeliverAfter(3, "tail OK");
    EXPECT_EQ(WAITFORSTRING(comm, "OK", 10, 0, 0).size(), kWaitTextLimit + 2);
    EXPECT_EQ(GETRESULT(), RC_WAIT_OVERFLOW);
    EXPECT_EQ(WAITFORSTRING(comm, "OK", 10, 0, 0), "tail OK");
    EXPECT_EQ(GETRESULT(), RC_WAIT_MATCHED);
}

TEST_F(LineWaitTest, CancelFromANestedHandler) {
    CancelRequested = -1;  // a stale request from before the wait does not count
    comm.DeliverAfter(1, "Please wait");
    world.pump.After(2, [] { CancelRequested = -1; });
    comm.DeliverAfter(3, "OK");
    const std::string text = WAITFORSTRING(comm, "OK", 30, 0, 0);
    EXPECT_EQ(GETRESULT(), RC_CANCELED);
    EXPECT_EQ(text, "Please wait");
    EXPECT_EQ(CancelRequested, 0);
    EXPECT_LT(world.pump.Now(), 10 * 3600.0 + 2.2);
}

TEST_F(LineWaitTest, CarrierLossEndsOnlyACheckingWait) {
    comm.DeliverAfter(1, "NO CAR");
    comm.DropCarrierAfter(2);
    EXPECT_EQ(WAITFORSTRING(comm, "OK", 30, -1, 0), "NO CAR");
    EXPECT_EQ(GETRESULT(), RC_CARRIER_LOST);

    comm.DeliverAfter(1, "OK");
    EXPECT_EQ(WAITFORSTRING(comm, "OK", 30, 0, 0), "OK");  // carrier not checked
    EXPECT_EQ(GETRESULT(), RC_WAIT_MATCHED);
}

TEST(LineWait, UnusableControlIsReportedBeforeAnythingIsTouched) {
    struct Case {
        const char* name;
        bool throwOnCommPort;
        bool open;
        ResultCode result;
    };
    for (const Case& c : {Case{"control unusable", true, true, RC_NO_COMM_CONTROL},
                          Case{"port closed", false, false, RC_PORT_NOT_OPEN}}) {
        SCOPED_TRACE(c.name);
        TestWorld world;
        FakeComm comm(world.pump);
        if (c.open) comm.SetPortOpen(true);
        comm.SetAutoProcess(1);
        comm.ThrowOnCommPort(c.throwOnCommPort);
        WaitCarryOver = "kept";
        const size_t writes = comm.writes().size();
        int index = 5;
        EXPECT_EQ(WAITFORANY(comm, {"OK"}, 5, 0, 0, index), "");
        EXPECT_EQ(GETRESULT(), c.result);
        EXPECT_EQ(index, -1);
        EXPECT_EQ(WAITFORSTRING(comm, "OK", 5, 0, 0), "");
        EXPECT_EQ(GETRESULT(), c.result);
        EXPECT_EQ(comm.writes().size(), writes);
        EXPECT_EQ(WaitCarryOver, "kept");
    }
}

TEST_F(LineWaitTest, ReceiveSettingsAreZeroWhileWaitingAndRestoredAfter) {
    comm.SetAutoProcess(2);
    comm.SetRThreshold(1);
    comm.SetInputLen(3);
    int autoProcessSeen = -1, thresholdSeen = -1, inputLenSeen = -1;
    world.pump.After(1, [&] {
        autoProcessSeen = comm.AutoProcess();
        thresholdSeen = comm.RThreshold();
        inputLenSeen = comm.InputLen();
    });
    comm.DeliverAfter(2, "long answer OK");
    EXPECT_EQ(WAITFORSTRING(comm, "OK", 5, 0, 0), "long answer OK");  // read in one piece
    EXPECT_EQ(autoProcessSeen, 0);
    EXPECT_EQ(thresholdSeen, 0);
    EXPECT_EQ(inputLenSeen, 0);
    EXPECT_EQ(comm.AutoProcess(), 2);
    EXPECT_EQ(comm.RThreshold(), 1);
    EXPECT_EQ(comm.InputLen(), 3);
}

TEST_F(LineWaitTest, WaitForAnyTakesTargetsInListOrder) {
    struct Case {
        const char* name;
        std::string arrives;
        std::vector<std::string> targets;
        int exclude;
        std::string text;
        int index;
        std::string carryOut;
    };
    const std::vector<Case> cases = {
        {"CR LF before CR", "OK\r\n", {"\r\n", "\r"}, 0, "OK\r\n", 1, ""},
        {"CR alone", "OK\r", {"\r\n", "\r"}, 0, "OK\r", 2, ""},
        {"earlier target in the list wins over earlier text", "BUSY then OK", {"OK", "BUSY"}, 0, "BUSY then OK", 1,
         ""},
        {"excluded", "RING\r\nRING", {"\r\n"}, -1, "RING", 1, "RING"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WaitCarryOver.clear();
        comm.DeliverAfter(0.5, c.arrives);
        int index = 0;
        EXPECT_EQ(WAITFORANY(comm, c.targets, 5, 0, c.exclude, index), c.text);
        EXPECT_EQ(GETRESULT(), RC_WAIT_MATCHED);
        EXPECT_EQ(index, c.index);
        EXPECT_EQ(WaitCarryOver, c.carryOut);
    }
    int index = 0;
    WAITFORANY(comm, {"OK", "ERROR"}, 2.5, 0, 0, index);
    EXPECT_EQ(GETRESULT(), RC_TIMEOUT);
    EXPECT_EQ(index, -1);
}

// A line whose reads fail now and then.
class FlakyComm : public FakeComm {
public:
    using FakeComm::FakeComm;
    std::string Input() override {
        if (failures > 0) {
            --failures;
            throw Error(ErrorNumber::DeviceIO, "Device I/O error");
        }
        return FakeComm::Input();
    }
    int failures = 0;
};

TEST_F(LineWaitTest, ReadErrorsEndWaitForStringButNotWaitForAny) {
    FlakyComm flaky(world.pump);
    flaky.SetPortOpen(true);
    flaky.SetAutoProcess(1);

    flaky.failures = 2;
    flaky.DeliverAfter(1, "OK\r\n");
    int index = 0;
    EXPECT_EQ(WAITFORANY(flaky, {"\r\n"}, 5, 0, 0, index), "OK\r\n");
    EXPECT_EQ(GETRESULT(), RC_WAIT_MATCHED);

    flaky.failures = 1;
    flaky.DeliverAfter(1, "OK\r\n");
    EXPECT_THROW(WAITFORSTRING(flaky, "\r\n", 5, 0, 0), Error);
    EXPECT_EQ(flaky.AutoProcess(), 1);  // written back on the way out
}

}  // namespace
}  // namespace zorv::test
