// Taking a real incoming call: WAITFORCALL arms the network modem's auto-answer, a
// caller connects over loopback TCP, rings twice and is answered; data passes both
// ways and ENDCALL hangs up.
#include <gtest/gtest.h>

#include <QTcpSocket>
#include <QTimer>
#include <memory>
#include <string>
#include <vector>

#include "modem/Answering.h"
#include "modem/LineWait.h"
#include "modem/ModemProfiles.h"
#include "platform/comm/NetModem.h"
#include "script/ResultCodes.h"
#include "script/StatusText.h"
#include "tests/platform/CommTestSupport.h"

namespace zorv::test {
namespace {

TEST(AnsweringOverNetModemTest, AnswersACallerAndHangsUp) {
    QtEventPump pump;
    SetPump(&pump);
    ResetCommSlots();
    CancelRequested = 0;
    WaitCarryOver.clear();

    NetModemConfig config;
    config.answerPort = 0;  // any free port on 127.0.0.1
    config.answerAddress = "127.0.0.1";
    config.answerTelnet = false;
    config.ringIntervalMs = 200;
    PortComm comm(Ports("", config));
    comm.SetTag("ANSWER");
    ModemProfile& profile = SlotProfile(FINDCOMMSLOT(comm));
    profile.Attention = "AT";
    profile.Hangup = "ATH^M";
    comm.SetSettings("19200,N,8,1");
    comm.SetCommPort(2);
    comm.SetPortOpen(true);

    // The caller dials in once the modem reports that it waits for a call.
    QTcpSocket caller;
    std::vector<std::string> statuses;
    SetStatusHook([&](const std::string& message) {
        statuses.push_back(message);
        if (message != "Waiting For a Call...") return;
        auto* modem = dynamic_cast<NetModem*>(comm.Line());
        ASSERT_NE(modem, nullptr);
        ASSERT_NE(modem->AnswerPort(), 0);
        caller.connectToHost(QHostAddress::LocalHost, static_cast<quint16>(modem->AnswerPort()));
    });
    // Should the call never come, the wait is cancelled rather than left for an hour.
    QTimer giveUp;
    giveUp.setSingleShot(true);
    QObject::connect(&giveUp, &QTimer::timeout, [] { CancelRequested = -1; });
    giveUp.start(30000);

    int rings = 2;
    int32_t connectSpeed = 0, carrierSpeed = 0;
    std::string suffix;
    WAITFORCALL(comm, rings, connectSpeed, carrierSpeed, suffix);
    giveUp.stop();
    EXPECT_EQ(GETRESULT(), RC_CALLER_CONNECTED);
    EXPECT_EQ(connectSpeed, 19200);
    EXPECT_TRUE(comm.CDHolding());
    EXPECT_EQ(statuses, (std::vector<std::string>{"Waiting For a Call...", "Incomming Call... Answering",
                                                   "Incomming Call... Answering"}));

    caller.write("hello from the caller\r");
    WAITFORSTRING(comm, "caller\r", 10, -1, 0);
    EXPECT_EQ(GETRESULT(), RC_WAIT_MATCHED);
    comm.SetOutput("welcome");
    std::string got;
    EXPECT_TRUE(WaitFor([&] { return (got += caller.readAll().toStdString()) == "welcome"; }, 10));

    ENDCALL(comm);
    EXPECT_EQ(GETRESULT(), RC_DISCONNECTED);
    EXPECT_FALSE(comm.CDHolding());
    EXPECT_TRUE(WaitFor([&] { return caller.state() != QAbstractSocket::ConnectedState; }, 10));

    SetStatusHook(nullptr);
    comm.SetPortOpen(false);
    ResetCommSlots();
    CancelRequested = 0;
    SetPump(nullptr);
}

}  // namespace
}  // namespace zorv::test
