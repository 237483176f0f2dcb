// The library's modem commands, dialing and hang-up driving the real network modem
// against TCP hosts on 127.0.0.1: what the virtual-time tests check against scripted
// transcripts, here against the modem the program really talks to.
#include <gtest/gtest.h>

#include <QTcpServer>
#include <QTcpSocket>
#include <memory>

#include "modem/Dialing.h"
#include "modem/ModemCommands.h"
#include "modem/ModemProfiles.h"
#include "script/ResultCodes.h"
#include "tests/platform/CommTestSupport.h"

namespace zorv::test {
namespace {

class ModemLibraryOverNetModemTest : public ::testing::Test {
protected:
    void SetUp() override {
        SetPump(&pump);
        ResetCommSlots();  // a blank profile: "ATDT", "CONNECT", "BUSY"
        host.listen(QHostAddress::LocalHost, 0);
        QObject::connect(&host, &QTcpServer::newConnection, &host, [this] { caller.reset(host.nextPendingConnection()); });
        // A port nobody listens on: a server that closed again.
        QTcpServer closed;
        closed.listen(QHostAddress::LocalHost, 0);
        const int refusedPort = closed.serverPort();
        closed.close();

        NetModemConfig config;
        config.phoneBook["5551000"] = NetTarget{"127.0.0.1", host.serverPort(), false};
        config.phoneBook["5552000"] = NetTarget{"127.0.0.1", refusedPort, false};
        comm = std::make_unique<PortComm>(Ports("", config));
        comm->SetSettings("19200,N,8,1");
        comm->SetCommPort(2);
        comm->SetPortOpen(true);
    }
    void TearDown() override {
        if (comm && comm->PortOpen()) comm->SetPortOpen(false);
        SetPump(nullptr);
    }

    QtEventPump pump;
    QTcpServer host;
    std::unique_ptr<QTcpSocket> caller;
    std::unique_ptr<PortComm> comm;
};

TEST_F(ModemLibraryOverNetModemTest, CommandDialAndHangUp) {
    std::string command = "ATZ^M";
    ModemResult result = MR_NONE;
    SENDMODEMCMD(*comm, command, 1, 5, result);
    EXPECT_EQ(GETRESULT(), RC_COMMAND_SENT);
    EXPECT_EQ(result, MR_OK);

    int32_t connectSpeed = 0, carrierSpeed = 0;
    std::string suffix;
    PLACECALL(*comm, "555-1000", 1, 10, result, connectSpeed, carrierSpeed, suffix);
    EXPECT_EQ(GETRESULT(), RC_MODEM_RESULT);
    EXPECT_EQ(result, MR_CONNECT);
    EXPECT_EQ(connectSpeed, 19200);
    EXPECT_TRUE(comm->CDHolding());
    ASSERT_TRUE(WaitFor([&] { return caller != nullptr; }));

    HANGUP(*comm, 2, -1);  // by dropping DTR
    EXPECT_EQ(GETRESULT(), RC_DISCONNECTED);
    EXPECT_FALSE(comm->CDHolding());
    EXPECT_TRUE(WaitFor([&] { return caller->state() != QAbstractSocket::ConnectedState; }));
}

TEST_F(ModemLibraryOverNetModemTest, ARefusedCallIsBusyOnEveryAttempt) {
    ModemResult result = MR_NONE;
    int32_t connectSpeed = 0, carrierSpeed = 0;
    std::string suffix;
    PLACECALL(*comm, "555-2000", 2, 10, result, connectSpeed, carrierSpeed, suffix);
    EXPECT_EQ(GETRESULT(), RC_MODEM_RESULT);
    EXPECT_EQ(result, MR_BUSY);
    EXPECT_FALSE(comm->CDHolding());
}

}  // namespace
}  // namespace zorv::test
