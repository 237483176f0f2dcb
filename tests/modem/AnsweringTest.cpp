// Taking calls and ending them, against modem transcripts in virtual time.
#include "modem/Answering.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "modem/LineWait.h"
#include "modem/ModemProfiles.h"
#include "script/RecordingTrace.h"
#include "script/ResultCodes.h"
#include "script/ScriptRecorder.h"
#include "script/StatusText.h"
#include "tests/support/FakeComm.h"
#include "tests/support/TestWorld.h"

namespace zorv::test {
namespace {

constexpr double kStart = 10 * 3600.0;
const std::string kWaiting = "Waiting For a Call...";
const std::string kRinging = "Incomming Call... Answering";

class AnsweringTest : public ::testing::Test {
protected:
    AnsweringTest() : modem(world.pump) {
        ResetCommSlots();
        WaitCarryOver.clear();
        CancelRequested = 0;
        RecordingActive = 0;
        TraceList.clear();
        SETRESULT(RC_NONE);
        SetStatusHook([this](const std::string& message) { statuses.push_back(message); });
        modem.SetTag("LINE1");
        SlotProfile(FINDCOMMSLOT(modem)).Attention = "AT";
        modem.SetPortOpen(true);
        modem.SetAutoProcess(1);
        modem.SetRThreshold(1);
    }
    ~AnsweringTest() override {
        SetStatusHook(nullptr);
        ResetCommSlots();
        RecordingActive = 0;
        TraceList.clear();
        CancelRequested = 0;
    }

    TestWorld world{kStart};
    FakeComm modem;
    std::vector<std::string> statuses;
};

struct CallCase {
    const char* name;
    int rings;
    std::function<void(FakeComm&)> peer;
    int ringsAfter;
    std::string sent;
    ResultCode code;
    int32_t connectSpeed;
    int32_t carrierSpeed;
    std::string suffix;
    std::vector<std::string> statuses;
    double seconds;  // virtual time the operation took
};

TEST_F(AnsweringTest, WaitForCallTranscripts) {
    const auto armedOk = [](FakeComm& m, const std::string& arm) {
        m.SetEcho(true);
        m.On(arm, "\r\nOK\r\n", 0.1, 1);
    };
    const std::vector<CallCase> cases = {
        {"two rings then CONNECT 9600",
         2,
         [&](FakeComm& m) {
             armedOk(m, "ATS0=2\r");
             m.DeliverAfter(30, "\r\nRING\r\n");
             m.DeliverAfter(36, "\r\nRING\r\n");
             m.DeliverAfter(50, "\r\nCONNECT 9600\r\n");
         },
         2, "ATS0=2\r", RC_CALLER_CONNECTED, 9600, 0, "", {kWaiting, kRinging, kRinging}, 50},
        {"rings 0 is one ring, and a slow connection gets its pause",
         0,
         [&](FakeComm& m) {
             armedOk(m, "ATS0=1\r");
             m.DeliverAfter(10, "\r\nRING\r\n\r\nCONNECT 2400\r\n");
         },
         1, "ATS0=1\r", RC_CALLER_CONNECTED, 2400, 0, "", {kWaiting, kRinging}, 19},
        {"CARRIER then CONNECT with a protocol suffix",
         1,
         [&](FakeComm& m) {
             armedOk(m, "ATS0=1\r");
             m.DeliverAfter(10, "\r\nRING\r\n\r\nCARRIER 28800\r\n\r\nCONNECT 57600/V42BIS\r\n");
         },
         1, "ATS0=1\r", RC_CALLER_CONNECTED, 57600, 28800, "V42BIS", {kWaiting, kRinging}, 10},
        {"CARRIER without a speed takes the connect speed; other lines are passed over",
         1,
         [&](FakeComm& m) {
             armedOk(m, "ATS0=1\r");
             m.DeliverAfter(10, "\r\nOK\r\nCARRIER\r\nPROTOCOL: NONE\r\nCONNECT 14400\r\n");
         },
         1, "ATS0=1\r", RC_CALLER_CONNECTED, 14400, 14400, "", {kWaiting}, 10},
        {"a caller after two silent hours",
         1,
         [&](FakeComm& m) {
             armedOk(m, "ATS0=1\r");
             m.DeliverAfter(7500, "\r\nCONNECT 19200\r\n");
         },
         1, "ATS0=1\r", RC_CALLER_CONNECTED, 19200, 0, "", {kWaiting}, 7500},
        {"BUSY line",
         1,
         [&](FakeComm& m) {
             armedOk(m, "ATS0=1\r");
             m.DeliverAfter(5, "\r\nBUSY\r\n");
         },
         1, "ATS0=1\r", RC_MODEM_RESULT, 0, 0, "", {kWaiting}, 5},
        {"ERROR line",
         1,
         [&](FakeComm& m) {
             armedOk(m, "ATS0=1\r");
             m.DeliverAfter(5, "\r\nERROR\r\n");
         },
         1, "ATS0=1\r", RC_MODEM_RESULT, 0, 0, "", {kWaiting}, 5},
        {"a modem that refuses to arm auto-answer is not waited on",
         1, [&](FakeComm& m) { m.On("ATS0=1\r", "\r\nERROR\r\n", 0.1, 1); }, 1, "ATS0=1\r", RC_MODEM_RESULT, 0, 0, "",
         {}, 0.1},
        {"a silent modem: the arming command times out after its three tries", 1, [](FakeComm&) {}, 1,
         "ATS0=1\rATS0=1\rATS0=1\r", RC_TIMEOUT, 0, 0, "", {}, 17},
    };
    for (const CallCase& c : cases) {
        SCOPED_TRACE(c.name);
        FakeComm m(world.pump);
        m.SetTag("LINE1");
        m.SetPortOpen(true);
        c.peer(m);
        statuses.clear();
        int rings = c.rings;
        int32_t connectSpeed = -1, carrierSpeed = -1;
        std::string suffix = "stale";
        const double started = world.pump.Now();
        WAITFORCALL(m, rings, connectSpeed, carrierSpeed, suffix);
        EXPECT_EQ(GETRESULT(), c.code);
        EXPECT_EQ(rings, c.ringsAfter);
        EXPECT_EQ(m.sent(), c.sent);
        EXPECT_EQ(connectSpeed, c.connectSpeed);
        EXPECT_EQ(carrierSpeed, c.carrierSpeed);
        EXPECT_EQ(suffix, c.suffix);
        EXPECT_EQ(statuses, c.statuses);
        EXPECT_NEAR(world.pump.Now() - started, c.seconds, 0.2);
        WaitCarryOver.clear();
    }
}

TEST_F(AnsweringTest, WaitForCallEndsWhenCancelledOrWhenThePortGoes) {
    struct Case {
        const char* name;
        std::function<void()> interrupt;
        ResultCode code;
        std::string sent;
        double seconds;
    };
    const std::vector<Case> cases = {
        {"cancel switches auto-answer off", [] { CancelRequested = -1; }, RC_CANCELED, "ATS0=1\rATS0=0\r", 120},
        // The line wait running at that moment sees nothing more and runs out; the next
        // one finds the port closed.
        {"the port closes under the wait", [this] { modem.SetPortOpen(false); }, RC_PORT_NOT_OPEN, "ATS0=1\r",
         3600},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (!modem.PortOpen()) modem.SetPortOpen(true);
        modem.ClearSent();
        modem.On("ATS0=1\r", "\r\nOK\r\n", 0.1, 1);
        modem.On("ATS0=0\r", "\r\nOK\r\n", 0.1, 1);
        world.pump.After(120, c.interrupt);
        int rings = 1;
        int32_t connectSpeed = 0, carrierSpeed = 0;
        std::string suffix;
        const double started = world.pump.Now();
        WAITFORCALL(modem, rings, connectSpeed, carrierSpeed, suffix);
        EXPECT_EQ(GETRESULT(), c.code);
        EXPECT_EQ(modem.sent(), c.sent);
        EXPECT_NEAR(world.pump.Now() - started, c.seconds, 0.5);
        if (modem.PortOpen()) {
            EXPECT_EQ(modem.AutoProcess(), 1);
            EXPECT_EQ(modem.RThreshold(), 1);
        }
    }
}

TEST_F(AnsweringTest, WaitForCallOnAnUnusableControlTouchesNothing) {
    struct Case {
        const char* name;
        bool open;
        bool throwOnPort;
        ResultCode code;
    };
    for (const Case& c : std::vector<Case>{{"closed port", false, false, RC_PORT_NOT_OPEN},
                                           {"control not usable", true, true, RC_NO_COMM_CONTROL}}) {
        SCOPED_TRACE(c.name);
        FakeComm m(world.pump);
        if (c.open) m.SetPortOpen(true);
        m.ThrowOnCommPort(c.throwOnPort);
        const std::size_t writesBefore = m.writes().size();
        int rings = 0;
        int32_t connectSpeed = 7, carrierSpeed = 8;
        std::string suffix = "kept";
        WAITFORCALL(m, rings, connectSpeed, carrierSpeed, suffix);
        EXPECT_EQ(GETRESULT(), c.code);
        EXPECT_EQ(m.writes().size(), writesBefore);
        EXPECT_EQ(rings, 0);
        EXPECT_EQ(connectSpeed, 7);
        EXPECT_EQ(carrierSpeed, 8);
        EXPECT_EQ(suffix, "kept");
    }
}

// A control whose output drains at a set pace (or not at all).
class DrainingComm : public FakeComm {
public:
    using FakeComm::FakeComm;
    int OutBufferCount() const override { return queued; }
    void SetOutBufferCount(int count) override {
        discarded += queued;
        queued = 0;
        FakeComm::SetOutBufferCount(count);
    }
    int queued = 0;
    int discarded = 0;
};

TEST_F(AnsweringTest, EndCallHangsUp) {
    struct Case {
        const char* name;
        std::string hangupCommand;  // the profile's
        std::function<void(DrainingComm&)> modem;
        std::string sent;
        bool dtrDropped;
        ResultCode code;
        int discarded;
    };
    const std::vector<Case> cases = {
        {"escape and the profile's command",
         "ATH^M",
         [](DrainingComm& m) {
             m.On("+++", "\r\nOK\r\n", 0.2, 1);
             m.On("ATH\r", "\r\nOK\r\n", 0.2, 1);
         },
         "+++ATH\r", false, RC_DISCONNECTED, 0},
        {"a modem that stays online is hung up with DTR",
         "ATH^M",
         [](DrainingComm& m) {
             m.On("+++", "\r\nOK\r\n", 0.2, 1);
             m.On("ATH\r", "\r\nERROR\r\n", 0.2, 1);
         },
         "+++ATH\r", true, RC_DISCONNECTED, 0},
        {"a blank profile has no hang-up command: DTR", "", [](DrainingComm& m) { m.On("+++", "\r\nOK\r\n", 0.2, 1); },
         "+++", true, RC_DISCONNECTED, 0},
        {"a modem deaf to the escape is hung up with DTR", "ATH^M", [](DrainingComm&) {}, "+++", true,
         RC_DISCONNECTED, 0},
        {"output still draining is let out first",
         "ATH^M",
         [this](DrainingComm& m) {
             m.queued = 30;
             for (int i = 1; i <= 3; ++i) world.pump.After(i * 0.4, [&m] { m.queued -= 10; });
             m.On("+++", "\r\nOK\r\n", 0.2, 1);
             m.On("ATH\r", "\r\nOK\r\n", 0.2, 1);
         },
         "+++ATH\r", false, RC_DISCONNECTED, 0},
        {"output held for good is given up after a second",
         "ATH^M",
         [](DrainingComm& m) {
             m.queued = 5;
             m.On("+++", "\r\nOK\r\n", 0.2, 1);
             m.On("ATH\r", "\r\nOK\r\n", 0.2, 1);
         },
         "+++ATH\r", false, RC_DISCONNECTED, 5},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        DrainingComm m(world.pump);
        m.SetTag("END");
        SlotProfile(FINDCOMMSLOT(m)).Attention = "AT";
        SlotProfile(FINDCOMMSLOT(m)).Hangup = c.hangupCommand;
        m.SetPortOpen(true);
        m.SetCarrier(true);
        c.modem(m);
        ENDCALL(m);
        EXPECT_EQ(GETRESULT(), c.code);
        EXPECT_EQ(m.sent(), c.sent);
        EXPECT_EQ(m.discarded, c.discarded);
        bool dtrDropped = false;
        for (const std::string& write : m.writes())
            if (write == "DTREnable=False") dtrDropped = true;
        EXPECT_EQ(dtrDropped, c.dtrDropped);
        WaitCarryOver.clear();
    }
}

TEST_F(AnsweringTest, EndCallWithoutACallStopsTheWaitAroundIt) {
    // A handler ends the session while WAITFORCALL waits: with no call to hang up the
    // cancel request stays and the wait stops, switching auto-answer off.
    modem.On("ATS0=1\r", "\r\nOK\r\n", 0.1, 1);
    modem.On("ATS0=0\r", "\r\nOK\r\n", 0.1, 1);
    world.pump.After(60, [this] { ENDCALL(modem); });
    int rings = 1;
    int32_t connectSpeed = 0, carrierSpeed = 0;
    std::string suffix;
    WAITFORCALL(modem, rings, connectSpeed, carrierSpeed, suffix);
    EXPECT_EQ(GETRESULT(), RC_CANCELED);
    EXPECT_EQ(modem.sent(), "ATS0=1\rATS0=0\r");
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream all;
    all << in.rdbuf();
    return all.str();
}

TEST_F(AnsweringTest, RecordedAnsweringSessionEndsWithEndCall) {
    QTemporaryDir dir;
    const std::string file = dir.filePath("ANSWER.SCR").toStdString();
    SlotProfile(FINDCOMMSLOT(modem)).Hangup = "ATH^M";
    modem.SetPortOpen(false);
    modem.SetCommPort(4);
    modem.SetPortOpen(true);
    ScriptRecord(modem, file, 0);
    modem.On("ATS0=1\r", "\r\nOK\r\n", 0.1, 1);
    modem.DeliverAfter(10, "\r\nCONNECT 9600\r\n");
    modem.On("+++", "\r\nOK\r\n", 0.2, 1);
    modem.On("ATH\r", "\r\nOK\r\n", 0.2, 1);
    world.pump.After(10, [this] { modem.SetCarrier(true); });

    int rings = 1;
    int32_t connectSpeed = 0, carrierSpeed = 0;
    std::string suffix;
    WAITFORCALL(modem, rings, connectSpeed, carrierSpeed, suffix);
    ASSERT_EQ(GETRESULT(), RC_CALLER_CONNECTED);
    ScriptTraceIn("Hello caller\r\n");
    ENDCALL(modem);

    EXPECT_EQ(RecordingActive, 0);
    EXPECT_EQ(modem.AutoProcess(), 1);
    EXPECT_EQ(modem.RThreshold(), 1);
    EXPECT_EQ(ReadFile(file),
              "PORT 4\r\nTIMEOUT 60\r\nON_TIMEOUT_GOTO :TIMEOUT\r\nWAITFORCALL \r\nSEND \"ATS0=1^M\"\r\n"
              "WAITFOR \"Hello caller^M^J\"\r\nHANGUP \r\nSEND \"ATH^M\"\r\nEND \r\n:TIMEOUT\r\nEND\r\n");
}

}  // namespace
}  // namespace zorv::test
