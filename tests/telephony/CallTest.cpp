// Real calls: the telephony layer on the program's comm control, through the network
// modem to loopback servers made here, and through pseudo-terminals where the test
// plays the modem.
#include <gtest/gtest.h>

#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <functional>
#include <memory>

#include "config/IniFile.h"
#include "modem/LineWait.h"
#include "platform/QtEventPump.h"
#include "platform/comm/PortComm.h"
#include "platform/telephony/ModemTelephony.h"
#include "tests/platform/CommTestSupport.h"
#include "tests/telephony/TelephonyTestKit.h"
#include "util/Error.h"
#include "util/EventPump.h"
#include "util/ProgramEnd.h"

namespace zorv {
namespace {

using States = std::vector<long>;
constexpr long kDialTone = CALLSTATE_DIALTONE, kDialing = CALLSTATE_DIALING, kBusy = CALLSTATE_BUSY,
               kConnected = CALLSTATE_CONNECTED, kGone = CALLSTATE_DISCONNECTED, kIdle = CALLSTATE_IDLE;

ModemTelephony::Timings FastTimings() {
    ModemTelephony::Timings t;
    t.settleMs = 10;
    t.pollMs = 10;
    t.commandReplyMs = 1000;
    t.dialAnswerMs = 1500;
    t.carrierCheckMs = 50;
    t.dtrHoldMs = 150;
    t.guardMs = 250;
    t.hangupReplyMs = 600;
    return t;
}

class CallTest : public ::testing::Test {
protected:
    void SetUp() override {
        SetPump(&pump_);
        telephony_ = std::make_unique<ModemTelephony>([] { return std::vector<std::string>{}; });
        telephony_->SetTimings(FastTimings());
        telephony_->SetCallStateHandler([this](long state, long) {
            states_.push_back(state);
            if (onState_) onState_(state);
        });
    }
    void TearDown() override {
        telephony_.reset();
        SetPump(nullptr);
    }

    bool WaitForStates(size_t count, double seconds = 5) {
        return test::WaitFor([&] { return states_.size() >= count; }, seconds);
    }

    // A loopback server that the phone-book number 555-1000 reaches.
    void ServeNumber() {
        ASSERT_TRUE(server_.listen(QHostAddress("127.0.0.1"), 0));
        WriteIniKey("PhoneBook", "5551000", "127.0.0.1:" + std::to_string(server_.serverPort()) + ",raw");
        QObject::connect(&server_, &QTcpServer::newConnection, [this] { peer_ = server_.nextPendingConnection(); });
    }

    test::PrivateIni ini_;
    QtEventPump pump_;
    PortComm comm_;  // made before the telephony layer, so it outlives it
    std::unique_ptr<ModemTelephony> telephony_;
    States states_;
    std::function<void(long)> onState_;
    QTcpServer server_;
    QTcpSocket* peer_ = nullptr;
};

// --- through the network modem ---

TEST_F(CallTest, ConnectsThenTheRemoteHangsUpWhileTheScriptWaits) {
    ServeNumber();
    States seenByScript;
    std::string greeting;
    onState_ = [&](long state) {
        if (state != kConnected) return;
        // What the main window does at CONNECT: read the line until the script ends.
        EXPECT_TRUE(comm_.PortOpen());
        EXPECT_TRUE(telephony_->CallUp());
        ASSERT_TRUE(test::WaitFor([&] { return peer_ != nullptr; }));
        peer_->write("Welcome to ZORV\r\n");
        greeting = WAITFORSTRING(comm_, "ZORV", 5, 0, 0);
        QTimer::singleShot(200, peer_, [this] { peer_->close(); });
        WAITFORSTRING(comm_, "never sent", 10, -1, 0);  // ends when the carrier goes
        // The carrier watch runs inside the handler's waits too.
        test::WaitFor([&] { return states_.size() >= 5; });
        seenByScript = states_;
    };
    telephony_->PlaceCall(comm_, "555-1000");
    EXPECT_TRUE(telephony_->CallUp());
    ASSERT_TRUE(WaitForStates(5));
    EXPECT_NE(greeting.find("Welcome"), std::string::npos);
    EXPECT_EQ(seenByScript, (States{kDialTone, kDialing, kConnected, kGone, kIdle}));
    EXPECT_FALSE(comm_.PortOpen());
    EXPECT_FALSE(telephony_->CallUp());
}

// The window re-enables DownLoad when the call ends, even while the login script of
// that call still waits inside the connected event: a new call must get through.
TEST_F(CallTest, ACallPlacedWhileTheConnectedHandlerStillRunsGoesThrough) {
    ServeNumber();
    int connects = 0;
    States seenInside;
    onState_ = [&](long state) {
        if (state != kConnected || ++connects > 1) return;
        ASSERT_TRUE(test::WaitFor([&] { return peer_ != nullptr; }));
        peer_->close();
        ASSERT_TRUE(WaitForStates(5));
        telephony_->PlaceCall(comm_, "555-1000");
        WaitForStates(8);
        seenInside = states_;
    };
    telephony_->PlaceCall(comm_, "555-1000");
    ASSERT_TRUE(WaitForStates(8));
    EXPECT_EQ(seenInside, (States{kDialTone, kDialing, kConnected, kGone, kIdle, kDialTone, kDialing, kConnected}));
    EXPECT_TRUE(telephony_->CallUp());
    EXPECT_TRUE(comm_.PortOpen());
}

TEST_F(CallTest, RefusedIsBusyAndNobodyAtTheNumberIsDisconnected) {
    QTcpServer closed;
    ASSERT_TRUE(closed.listen(QHostAddress("127.0.0.1"), 0));
    WriteIniKey("PhoneBook", "5552000", "127.0.0.1:" + std::to_string(closed.serverPort()) + ",raw");
    closed.close();  // the port refuses from now on

    struct Case {
        const char* number;
        States expected;
    } cases[] = {
        {"555-2000", {kDialTone, kDialing, kBusy}},
        {"555-3000", {kDialTone, kDialing, kGone, kIdle}},  // not in the phone book
    };
    for (const Case& c : cases) {
        states_.clear();
        telephony_->PlaceCall(comm_, c.number);
        ASSERT_TRUE(WaitForStates(c.expected.size())) << c.number;
        test::Settle(0.1);
        EXPECT_EQ(states_, c.expected) << c.number;
        EXPECT_FALSE(comm_.PortOpen()) << c.number;
        EXPECT_FALSE(telephony_->CallUp()) << c.number;
    }
}

TEST_F(CallTest, DropCallHangsUpAtOnceAndANewCallCanFollow) {
    ServeNumber();
    telephony_->PlaceCall(comm_, "555-1000");
    ASSERT_TRUE(WaitForStates(3));
    ASSERT_TRUE(test::WaitFor([&] { return peer_ != nullptr; }));
    QTcpSocket* first = peer_;

    telephony_->DropCall();
    EXPECT_EQ(states_, (States{kDialTone, kDialing, kConnected, kGone, kIdle}));
    EXPECT_FALSE(telephony_->CallUp());
    EXPECT_FALSE(comm_.PortOpen());  // DTR dropped the network modem's call
    EXPECT_TRUE(test::WaitFor([&] { return first->state() == QAbstractSocket::UnconnectedState; }));

    telephony_->DropCall();  // no call: nothing more happens
    EXPECT_EQ(states_.size(), 5u);

    telephony_->PlaceCall(comm_, "555-1000");
    ASSERT_TRUE(WaitForStates(8));
    EXPECT_EQ(states_.back(), kConnected);
}

TEST_F(CallTest, AModemThatIgnoresDtrIsHungUpWithTheEscape) {
    ServeNumber();
    // &D0: the modem keeps the call when DTR drops; S12=5: a 100 ms escape guard.
    ASSERT_TRUE(SaveDevices({{"Stubborn", 9, 9600, "ATE0V1&C1&D0S12=5"}}));
    telephony_->PlaceCall(comm_, "555-1000");
    ASSERT_TRUE(WaitForStates(3));
    ASSERT_TRUE(test::WaitFor([&] { return peer_ != nullptr; }));

    telephony_->DropCall();
    EXPECT_EQ(states_, (States{kDialTone, kDialing, kConnected, kGone, kIdle}));
    EXPECT_FALSE(telephony_->CallUp());
    EXPECT_TRUE(telephony_->HangingUp());
    EXPECT_TRUE(comm_.CDHolding());  // DTR alone did not end it

    ASSERT_TRUE(test::WaitFor([&] { return !telephony_->HangingUp(); }));
    EXPECT_FALSE(comm_.PortOpen());
    EXPECT_TRUE(test::WaitFor([&] { return peer_->state() == QAbstractSocket::UnconnectedState; }));
    EXPECT_EQ(states_.size(), 5u);
}

TEST_F(CallTest, StartingProblemsRaiseErrorsAndTouchNoLine) {
    test::PtyPair pty;
    ASSERT_FALSE(pty.slavePath.empty());
    PortComm other;

    struct Case {
        const char* name;
        std::function<void()> arrange;
        int expectedError;
    } cases[] = {
        {"serial port held by another control",
         [&] {
             WriteIniKey("Ports", "1", pty.slavePath);
             SaveDevices({{"Serial", 1, 9600, "ATZ"}});
             other.SetCommPort(1);
             other.SetPortOpen(true);
         },
         ErrorNumber::DeviceInUse},
        {"the control's port already open",
         [&] { comm_.SetCommPort(9), comm_.SetPortOpen(true); },
         ErrorNumber::DeviceInUse},
        {"missing device",
         [&] {
             WriteIniKey("Ports", "1", "/dev/zorv-no-such-device");
             SaveDevices({{"Gone", 1, 9600, "ATZ"}});
         },
         ErrorNumber::DeviceUnavailable},
        {"port not in the table",
         [&] { SaveDevices({{"Nowhere", 7, 9600, "ATZ"}}); },
         ErrorNumber::InvalidPortNumber},
        {"location with an odd prefix",
         [&] { SaveLocations({{"Odd", "9;ATZ", false, ""}}); },
         ErrorNumber::InvalidPropertyValue},
    };
    for (const Case& c : cases) {
        test::PrivateIni fresh;
        c.arrange();
        const bool wasOpen = comm_.PortOpen();
        int number = 0;
        try {
            telephony_->PlaceCall(comm_, "555-9678");
        } catch (const Error& error) {
            number = error.number();
        }
        EXPECT_EQ(number, c.expectedError) << c.name;
        EXPECT_FALSE(telephony_->CallUp()) << c.name;
        EXPECT_EQ(comm_.PortOpen(), wasOpen) << c.name;
        test::Settle(0.05);
        EXPECT_TRUE(states_.empty()) << c.name;
        if (other.PortOpen()) other.SetPortOpen(false);
        if (comm_.PortOpen()) comm_.SetPortOpen(false);
    }
}

// --- a modem played on a pseudo-terminal ---

class PtyModemTest : public CallTest {
protected:
    void SetUp() override {
        CallTest::SetUp();
        ASSERT_FALSE(pty_.slavePath.empty());
        pty_.ReleaseSlave();
        WriteIniKey("Ports", "1", pty_.slavePath);
        SaveDevices({{"Pty Modem", 1, 9600, "ATZ"}});
        SaveLocations({{"Home", "", false, ""}, {"Office", "9", true, "*70"}});
        WriteIniKey(kTelephonySection, "CurrentLocation", "Office");
    }
    // Everything the modem was sent so far.
    const std::string& Sent() {
        sent_ += pty_.Take();
        return sent_;
    }
    bool WaitForSent(const std::string& text) {
        return test::WaitFor([&] { return Sent().find(text) != std::string::npos; });
    }

    test::PtyPair pty_;
    std::string sent_;
};

TEST_F(PtyModemTest, DialsWithTheLocationRulesAndLeavesTheFirstLineToTheScript) {
    telephony_->PlaceCall(comm_, "555-9678");
    ASSERT_TRUE(WaitForSent("ATZ\r"));
    pty_.Send("ATZ\r\r\nOK\r\n");  // echo first, then the answer
    ASSERT_TRUE(WaitForSent("ATDP9,*70,555-9678\r"));
    ASSERT_TRUE(WaitForStates(2));
    pty_.Send("\r\nCONNECT 9600\r\nWelcome to ZORV\r\n");
    ASSERT_TRUE(WaitForStates(3));
    EXPECT_EQ(states_, (States{kDialTone, kDialing, kConnected}));
    std::string line;
    test::WaitFor([&] {
        line += comm_.Input();
        return line.find("ZORV\r\n") != std::string::npos;
    });
    EXPECT_NE(line.find("Welcome to ZORV"), std::string::npos) << line;

    pty_.CloseMaster();  // carrier gone
    ASSERT_TRUE(WaitForStates(5));
    EXPECT_EQ(states_, (States{kDialTone, kDialing, kConnected, kGone, kIdle}));
    EXPECT_FALSE(comm_.PortOpen());
}

TEST_F(PtyModemTest, ModemFailuresEndTheCallDisconnected) {
    struct Case {
        const char* name;
        const char* initAnswer;  // nullptr: the modem stays silent
        const char* dialAnswer;
        States expected;
    } cases[] = {
        {"silent modem", nullptr, nullptr, {kGone, kIdle}},
        {"init refused", "\r\nERROR\r\n", nullptr, {kGone, kIdle}},
        {"no dial tone", "\r\nOK\r\n", "\r\nNO DIALTONE\r\n", {kDialTone, kDialing, kGone, kIdle}},
        {"no answer", "\r\nOK\r\n", "\r\nNO ANSWER\r\n", {kDialTone, kDialing, kGone, kIdle}},
        {"never answers", "\r\nOK\r\n", nullptr, {kDialTone, kDialing, kGone, kIdle}},
    };
    for (const Case& c : cases) {
        states_.clear();
        sent_.clear();
        telephony_->PlaceCall(comm_, "555-9678");
        ASSERT_TRUE(WaitForSent("ATZ\r")) << c.name;
        if (c.initAnswer) pty_.Send(c.initAnswer);
        if (c.dialAnswer) {
            ASSERT_TRUE(WaitForSent("555-9678\r")) << c.name;
            pty_.Send(c.dialAnswer);
        }
        ASSERT_TRUE(WaitForStates(c.expected.size())) << c.name;
        EXPECT_EQ(states_, c.expected) << c.name;
        EXPECT_FALSE(comm_.PortOpen()) << c.name;
        EXPECT_FALSE(telephony_->CallUp()) << c.name;
        if (!c.initAnswer) {
            EXPECT_EQ(Sent(), "ATZ\rATZ\r") << c.name;  // tried twice
        }
        pty_.Take();
    }
}

TEST_F(PtyModemTest, DropCallEscapesToCommandsWhenTheCarrierStays) {
    telephony_->PlaceCall(comm_, "555-9678");
    ASSERT_TRUE(WaitForSent("ATZ\r"));
    pty_.Send("\r\nOK\r\n");
    ASSERT_TRUE(WaitForSent("555-9678\r"));
    pty_.Send("\r\nCONNECT\r\n");
    ASSERT_TRUE(WaitForStates(3));
    sent_.clear();

    telephony_->DropCall();
    EXPECT_EQ(states_, (States{kDialTone, kDialing, kConnected, kGone, kIdle}));
    ASSERT_TRUE(WaitForSent("ATH0\r"));
    EXPECT_EQ(Sent(), "+++ATH0\r");
    pty_.Send("\r\nOK\r\n");
    ASSERT_TRUE(test::WaitFor([&] { return !telephony_->HangingUp(); }));
    EXPECT_FALSE(comm_.PortOpen());
}

// A finished transfer and Cancel end the program right after dropping the call: a modem
// that ignores DTR is still told to hang up before the program goes.
TEST_F(PtyModemTest, ProgramEndFinishesAHangupUnderWay) {
    telephony_->PlaceCall(comm_, "555-9678");
    ASSERT_TRUE(WaitForSent("ATZ\r"));
    pty_.Send("\r\nOK\r\n");
    ASSERT_TRUE(WaitForSent("555-9678\r"));
    pty_.Send("\r\nCONNECT\r\n");
    ASSERT_TRUE(WaitForStates(3));
    sent_.clear();

    int ended = -1;
    SetProgramEndHandler([&](int status) { ended = status; });
    telephony_->DropCall();
    ASSERT_TRUE(telephony_->HangingUp());
    EndProgram(0);  // no event loop runs from here on
    SetProgramEndHandler(nullptr);
    EXPECT_EQ(ended, 0);
    EXPECT_EQ(Sent(), "+++ATH0\r");
    EXPECT_FALSE(telephony_->HangingUp());
    EXPECT_FALSE(comm_.PortOpen());
}

}  // namespace
}  // namespace zorv
