// Dialing with redial and hanging up, against modem transcripts in virtual time.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "modem/Dialing.h"
#include "modem/LineWait.h"
#include "modem/ModemProfiles.h"
#include "script/RecordingTrace.h"
#include "script/ResultCodes.h"
#include "script/StatusText.h"
#include "tests/support/FakeComm.h"
#include "tests/support/TestWorld.h"

namespace zorv::test {
namespace {

constexpr double kStart = 10 * 3600.0;

class DialingTest : public ::testing::Test {
protected:
    DialingTest() {
        ResetCommSlots();
        WaitCarryOver.clear();
        CancelRequested = 0;
        RecordingActive = 0;
        TraceList.clear();
        SETRESULT(RC_NONE);
    }
    ~DialingTest() override {
        ResetCommSlots();
        RecordingActive = 0;
        TraceList.clear();
        SetStatusHook(nullptr);
    }
};

struct DialCase {
    const char* name;
    std::function<void(FakeComm&)> modem;
    int attempts;
    std::string sent;
    ResultCode code;
    ModemResult result;
    int32_t connectSpeed;
    int32_t carrierSpeed;
    std::string suffix;
    double seconds;  // virtual time the call took
};

TEST_F(DialingTest, PlaceCallTranscripts) {
    const std::string dial = "ATDT5551234\r";
    const std::vector<DialCase> cases = {
        {"echo then CONNECT 2400 and its pause",
         [&](FakeComm& m) {
             m.SetEcho(true);
             m.On(dial, "\r\nCONNECT 2400\r\n", 20);
         },
         1, dial, RC_MODEM_RESULT, MR_CONNECT, 2400, 0, "", 28},
        {"CARRIER then CONNECT with protocol",
         [&](FakeComm& m) {
             m.SetEcho(true);
             m.On(dial, "\r\nCARRIER 28800\r\n", 15);
             m.DeliverAfter(16, "\r\nPROTOCOL: LAP-M\r\n\r\nCONNECT 57600/V42BIS\r\n");
         },
         1, dial, RC_MODEM_RESULT, MR_CONNECT, 57600, 28800, "V42BIS", 16},
        {"CONNECT with an error-control suffix", [&](FakeComm& m) { m.On(dial, "CONNECT 14400/ARQ\r\n", 10); }, 1,
         dial, RC_MODEM_RESULT, MR_CONNECT, 14400, 0, "ARQ", 10},
        {"bare CONNECT is 300", [&](FakeComm& m) { m.On(dial, "CONNECT\r\n", 10); }, 1, dial, RC_MODEM_RESULT,
         MR_CONNECT, 300, 0, "", 18},
        {"CARRIER without speed takes the connect speed",
         [&](FakeComm& m) { m.On(dial, "CARRIER\r\nCONNECT 9600\r\n", 10); }, 1, dial, RC_MODEM_RESULT, MR_CONNECT,
         9600, 9600, "", 10},
        {"RING and OK lines are skipped", [&](FakeComm& m) { m.On(dial, "RING\r\nOK\r\nCONNECT 9600\r\n", 10); }, 1,
         dial, RC_MODEM_RESULT, MR_CONNECT, 9600, 0, "", 10},
        {"BUSY then redial at once",
         [&](FakeComm& m) {
             m.QueueReply("\r\nBUSY\r\n", 6);
             m.QueueReply("\r\nCONNECT 9600\r\n", 12);
         },
         3, dial + dial, RC_MODEM_RESULT, MR_CONNECT, 9600, 0, "", 18},
        {"BUSY on every attempt", [&](FakeComm& m) { m.On(dial, "BUSY\r\n", 6); }, 3, dial + dial + dial,
         RC_MODEM_RESULT, MR_BUSY, 0, 0, "", 18},
        {"NO DIALTONE", [&](FakeComm& m) { m.On(dial, "\r\nNO DIALTONE\r\n", 2); }, 3, dial, RC_MODEM_RESULT,
         MR_NO_DIALTONE, 0, 0, "", 2},
        {"NO CARRIER", [&](FakeComm& m) { m.On(dial, "\r\nNO CARRIER\r\n", 40); }, 3, dial, RC_MODEM_RESULT,
         MR_NO_CARRIER, 0, 0, "", 40},
        {"silence: dial aborted, abort unanswered", [](FakeComm&) {}, 1, dial + " ", RC_TIMEOUT, MR_TIMEOUT, 0, 0,
         "", 60 + 2},
        {"silence: dial aborted, modem answers", [&](FakeComm& m) { m.On(" ", "\r\nNO CARRIER\r\n", 0.5); }, 1,
         dial + " ", RC_WAIT_MATCHED, MR_NO_CARRIER, 0, 0, "", 60 + 0.5},
        {"no attempts dials nothing", [](FakeComm&) {}, 0, "", RC_NONE, MR_NONE, 0, 0, "", 0},
    };
    for (const DialCase& c : cases) {
        SCOPED_TRACE(c.name);
        TestWorld world;
        FakeComm modem(world.pump);
        modem.SetTag("Line1");
        modem.SetPortOpen(true);
        c.modem(modem);
        ModemResult result = 99;
        int32_t connectSpeed = -1, carrierSpeed = -1;
        std::string suffix = "old";
        PLACECALL(modem, "5551234", c.attempts, 60, result, connectSpeed, carrierSpeed, suffix);
        EXPECT_EQ(GETRESULT(), c.code);
        EXPECT_EQ(result, c.result);
        EXPECT_EQ(connectSpeed, c.connectSpeed);
        EXPECT_EQ(carrierSpeed, c.carrierSpeed);
        EXPECT_EQ(suffix, c.suffix);
        EXPECT_EQ(modem.sent(), c.sent);
        EXPECT_NEAR(world.pump.Now() - kStart, c.seconds, 0.5);
    }
}

TEST_F(DialingTest, ProfileTextsAndTrace) {
    TestWorld world;
    FakeComm modem(world.pump);
    modem.SetTag("Line1");
    modem.SetPortOpen(true);
    ModemProfile& profile = SlotProfile(FINDCOMMSLOT(modem));
    profile.Dial = " ATX3DP";
    profile.Connect = "LINK";
    profile.Busy = "ENGAGED";
    modem.QueueReply("ENGAGED\r\n", 3);
    modem.QueueReply("LINK 33600/LAPM\r\n", 3);
    std::vector<std::string> statuses;
    SetStatusHook([&](const std::string& message) { statuses.push_back(message); });
    RecordingActive = -1;
    modem.SetSettings("38400,n,8,1");

    ModemResult result = 0;
    int32_t connectSpeed = 0, carrierSpeed = 0;
    std::string suffix;
    PLACECALL(modem, "  9,5551234 ", 2, 30, result, connectSpeed, carrierSpeed, suffix);
    EXPECT_EQ(modem.sent(), "ATX3DP9,5551234\rATX3DP9,5551234\r");
    EXPECT_EQ(result, MR_CONNECT);
    EXPECT_EQ(connectSpeed, 33600);
    EXPECT_EQ(suffix, "LAPM");
    EXPECT_EQ(statuses, std::vector<std::string>{"Dialing..."});
    ASSERT_EQ(TraceList.size(), 2u);
    EXPECT_EQ(TraceList[0].tag, "SETTINGS");
    EXPECT_EQ(TraceList[0].text, "38400,N,8,1");
    EXPECT_EQ(TraceList[1].tag, "DIAL");
    EXPECT_EQ(TraceList[1].text, "9,5551234, 2");
}

TEST_F(DialingTest, CancelAndAVanishingPortEndTheCall) {
    struct Case {
        const char* name;
        std::function<void(FakeComm&)> handler;
        ResultCode code;
        std::string sent;
    };
    const std::string dial = "ATDT5551234\r";
    const std::vector<Case> cases = {
        {"cancel aborts the dial with a space", [](FakeComm&) { CancelRequested = -1; }, RC_CANCELED, dial + " "},
        {"control unusable", [](FakeComm& m) { m.ThrowOnCommPort(true); }, RC_NO_COMM_CONTROL, dial},
        {"port closed", [](FakeComm& m) { m.SetPortOpen(false); }, RC_PORT_NOT_OPEN, dial},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TestWorld world;
        FakeComm modem(world.pump);
        modem.SetTag("Line1");
        modem.SetPortOpen(true);
        modem.SetAutoProcess(1);
        modem.On(dial, "RING\r\n", 1);
        modem.DeliverAfter(2, "RING\r\n");
        world.pump.After(1.5, [&] { c.handler(modem); });
        ModemResult result = 0;
        int32_t connectSpeed = 0, carrierSpeed = 0;
        std::string suffix;
        PLACECALL(modem, "5551234", 3, 60, result, connectSpeed, carrierSpeed, suffix);
        EXPECT_EQ(GETRESULT(), c.code);
        EXPECT_EQ(modem.sent(), c.sent);
        EXPECT_EQ(modem.AutoProcess(), 1);
        if (c.code == RC_CANCELED) {
            EXPECT_EQ(result, MR_NONE);
        }
    }
}

TEST_F(DialingTest, UnusableControlTouchesNothing) {
    TestWorld world;
    FakeComm modem(world.pump);
    modem.SetAutoProcess(1);  // port never opened
    const size_t writes = modem.writes().size();
    ModemResult result = 5;
    int32_t connectSpeed = 7, carrierSpeed = 7;
    std::string suffix = "kept";
    PLACECALL(modem, "5551234", 3, 60, result, connectSpeed, carrierSpeed, suffix);
    EXPECT_EQ(GETRESULT(), RC_PORT_NOT_OPEN);
    EXPECT_EQ(result, 5);
    EXPECT_EQ(suffix, "kept");
    HANGUP(modem, 1, -1);
    EXPECT_EQ(GETRESULT(), RC_PORT_NOT_OPEN);
    EXPECT_EQ(modem.writes().size(), writes);
}

TEST_F(DialingTest, SpeedParsing) {
    struct Case {
        std::string line;
        std::string connect;
        int32_t speed;
        std::string suffix;
    };
    const std::vector<Case> cases = {
        {"CONNECT", "CONNECT", 300, ""},
        {"\rCONNECT", "CONNECT", 300, ""},
        {"CONNECT 1200", "CONNECT", 1200, ""},
        {"CONNECT 57600/V42BIS", "CONNECT", 57600, "V42BIS"},
        {"CONNECT 14400 LAPM/V42BIS", "CONNECT", 14400, "LAPM/V42BIS"},
        {"CONNECT FAST", "CONNECT", 0, "AST"},
        {"CONNECT 99999999999999999999", "CONNECT", 2147483647, ""},
        {"LINK 33600/LAPM", "LINK", 33600, "LAPM"},
        {"CONNECTED 2400", "CONNECTED", 2400, ""},
    };
    for (const Case& c : cases) {
        int32_t speed = -1;
        std::string suffix;
        ParseConnectLine(c.line, c.line.find(c.connect), c.connect.size(), speed, suffix);
        EXPECT_EQ(speed, c.speed) << c.line;
        EXPECT_EQ(suffix, c.suffix) << c.line;
    }
    EXPECT_EQ(ParseCarrierLine("CARRIER 28800"), 28800);
    EXPECT_EQ(ParseCarrierLine("CARRIER"), 0);
    EXPECT_EQ(ParseCarrierLine("+MCR: CARRIER 2400/V42"), 2400);
}

struct HangupCase {
    const char* name;
    int useDTR;
    std::string hangupCommand;  // the profile's Hangup text
    std::function<void(FakeComm&)> modem;
    ResultCode code;
    std::string sent;
};

TEST_F(DialingTest, HangupTranscripts) {
    const std::vector<HangupCase> cases = {
        {"DTR drop ends the call", -1, "", [](FakeComm&) {}, RC_DISCONNECTED, ""},
        {"DTR ignored by the modem", -1, "", [](FakeComm& m) { m.SetHangUpOnDtrDrop(false); }, RC_NOT_DISCONNECTED,
         ""},
        {"escape and Hangup command",
         0, "ATH0^M",
         [](FakeComm& m) {
             m.On("+++", "\r\nOK\r\n", 1);
             m.On("ATH0\r", "\r\nOK\r\n", 0.5);
         },
         RC_DISCONNECTED, "+++ATH0\r"},
        {"escape never answered", 0, "ATH0^M", [](FakeComm&) {}, RC_TIMEOUT, "+++"},
        {"Hangup command refused", 0, "ATH0^M",
         [](FakeComm& m) {
             m.On("+++", "OK\r\n", 1);
             m.On("ATH0\r", "ERROR\r\n", 0.5);
         },
         RC_NOT_DISCONNECTED, "+++ATH0\r"},
        {"no Hangup command", 0, "", [](FakeComm& m) { m.On("+++", "OK\r\n", 1); }, RC_NOT_DISCONNECTED, "+++"},
        {"carrier lost during the escape", 0, "ATH0^M", [](FakeComm& m) { m.DropCarrierAfter(4.5); },
         RC_DISCONNECTED, "+++"},
    };
    for (const HangupCase& c : cases) {
        SCOPED_TRACE(c.name);
        TestWorld world;
        FakeComm modem(world.pump);
        modem.SetTag("Line1");
        modem.SetPortOpen(true);
        modem.SetCarrier(true);
        modem.SetRThreshold(1);
        SlotProfile(FINDCOMMSLOT(modem)).Attention = "AT";
        SlotProfile(FINDCOMMSLOT(modem)).Hangup = c.hangupCommand;
        c.modem(modem);
        HANGUP(modem, 1, c.useDTR);
        EXPECT_EQ(GETRESULT(), c.code);
        EXPECT_EQ(modem.sent(), c.sent);
        EXPECT_EQ(modem.RThreshold(), 1);
    }
}

TEST_F(DialingTest, HangupDetails) {
    TestWorld world;
    FakeComm modem(world.pump);
    modem.SetTag("Line1");
    modem.SetPortOpen(true);

    // No call: nothing is touched.
    const size_t writes = modem.writes().size();
    HANGUP(modem, 1, -1);
    EXPECT_EQ(GETRESULT(), RC_NOT_ONLINE);
    EXPECT_EQ(modem.writes().size(), writes);

    // DTR goes down for half a second and comes back.
    modem.SetCarrier(true);
    RecordingActive = -1;
    const double start = world.pump.Now();
    HANGUP(modem, 0, -1);
    EXPECT_EQ(GETRESULT(), RC_DISCONNECTED);
    EXPECT_NEAR(world.pump.Now() - start, 1.0, 0.1);
    std::vector<std::string> dtr;
    for (const std::string& w : modem.writes())
        if (w.rfind("DTREnable=", 0) == 0) dtr.push_back(w);
    EXPECT_EQ(dtr, (std::vector<std::string>{"DTREnable=False", "DTREnable=True"}));
    ASSERT_EQ(TraceList.size(), 1u);
    EXPECT_EQ(TraceList[0].tag, "HANGUP");
    EXPECT_EQ(TraceList[0].text, "");

    // Two escape attempts: the first drowned in line noise, the second answered.
    modem.SetCarrier(true);
    modem.ClearSent();
    modem.On("+++", std::string(kWaitTextLimit + 1, '~'), 0.5, 1);
    modem.On("+++", "OK\r\n", 0.5, 1);
    SlotProfile(FINDCOMMSLOT(modem)).Hangup = "ATH";
    modem.On("ATH\r", "OK\r\n");
    HANGUP(modem, 2, 0);
    EXPECT_EQ(modem.sent(), "++++++ATH\r");
    EXPECT_EQ(GETRESULT(), RC_DISCONNECTED);
}

TEST_F(DialingTest, HangupOnAPortClosedMeanwhileReportsThePort) {
    TestWorld world;
    FakeComm modem(world.pump);
    modem.SetTag("Line1");
    modem.SetPortOpen(true);
    modem.SetCarrier(true);
    world.pump.After(3, [&] { modem.SetPortOpen(false); });  // during the quiet time after "+++"
    HANGUP(modem, 3, 0);
    EXPECT_EQ(GETRESULT(), RC_PORT_NOT_OPEN);
    EXPECT_EQ(modem.sent(), "+++");
}

}  // namespace
}  // namespace zorv::test
