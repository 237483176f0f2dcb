// The network modem behind the comm control, against TCP peers on 127.0.0.1.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <QTcpServer>
#include <QTcpSocket>
#include <memory>

#include "platform/comm/NetModem.h"
#include "tests/platform/CommTestSupport.h"

namespace zorv::test {
namespace {

// Strips telnet commands from what the modem sent, undoing IAC doubling.
std::string TelnetData(const std::string& wire) {
    std::string data;
    for (size_t i = 0; i < wire.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(wire[i]);
        if (c != 255) {
            data += wire[i];
        } else if (i + 1 < wire.size() && static_cast<unsigned char>(wire[i + 1]) == 255) {
            data += wire[++i];
        } else if (i + 1 < wire.size() && static_cast<unsigned char>(wire[i + 1]) >= 251) {
            i += 2;
        } else {
            ++i;
        }
    }
    return data;
}

// A host the modem calls: takes one connection and records what arrives.
struct Host {
    QTcpServer server;
    std::unique_ptr<QTcpSocket> socket;
    std::string got;
    std::string greeting;  // written as soon as the call arrives

    Host() {
        server.listen(QHostAddress::LocalHost, 0);
        QObject::connect(&server, &QTcpServer::newConnection, &server, [this] {
            socket.reset(server.nextPendingConnection());
            socket->setParent(nullptr);
            QObject::connect(socket.get(), &QTcpSocket::readyRead, socket.get(),
                             [this] { got += socket->readAll().toStdString(); });
            if (!greeting.empty()) Send(greeting);
        });
    }
    int Port() const { return server.serverPort(); }
    void Send(const std::string& data) { socket->write(data.data(), static_cast<qint64>(data.size())); }
    bool Gone() const { return !socket || socket->state() != QAbstractSocket::ConnectedState; }
};

class NetModemTest : public ::testing::Test {
protected:
    void SetUp() override {
        config.phoneBook["5551000"] = NetTarget{"127.0.0.1", host.Port(), false};
        config.phoneBook["5552000"] = NetTarget{"127.0.0.1", host.Port(), true};
        config.answerPort = 0;
        config.answerTelnet = false;
        config.ringIntervalMs = 200;
        comm = std::make_unique<PortComm>(Ports("", config));
        comm->SetEventHandler([this] { events.push_back(comm->EventCode()); });
        comm->SetCommPort(2);
        comm->SetPortOpen(true);
    }

    // Sends a command line and waits for `answer` in what comes back.
    bool Command(const std::string& line, const std::string& answer, double seconds = 5) {
        comm->SetOutput(line + "\r");
        return Hear(answer, seconds);
    }
    bool Hear(const std::string& text, double seconds = 5) {
        const bool found = WaitFor([&] { return (heard += comm->Input()).find(text) != std::string::npos; }, seconds);
        if (found) heard.erase(0, heard.find(text) + text.size());
        return found;
    }
    void Connect(const std::string& number = "5551000") {
        ASSERT_TRUE(Command("ATE0S12=10", "OK"));
        ASSERT_TRUE(Command("ATDT" + number, "CONNECT 9600"));
        ASSERT_TRUE(WaitFor([&] { return host.socket != nullptr; }));
    }

    Host host;
    NetModemConfig config;
    std::unique_ptr<PortComm> comm;
    std::string heard;
    std::vector<int> events;
};

TEST_F(NetModemTest, DialConnectsDataFlowsAndRemoteCloseDropsTheCarrier) {
    EXPECT_FALSE(comm->CDHolding());
    Connect();
    EXPECT_TRUE(comm->CDHolding());
    comm->SetOutput("hello");
    EXPECT_TRUE(WaitFor([&] { return host.got == "hello"; }));
    host.Send("world");
    EXPECT_TRUE(Hear("world"));
    host.Send("last words");
    host.socket->disconnectFromHost();
    EXPECT_TRUE(Hear("last words\r\nNO CARRIER\r\n"));
    EXPECT_FALSE(comm->CDHolding());
    EXPECT_EQ(events, std::vector<int>{COMM_EV_CARRIER_DROP});
    EXPECT_TRUE(Command("AT", "OK"));  // back in command mode
}

TEST_F(NetModemTest, RefusedIsBusySilentIsNoAnswerUnknownNameFailsQuickly) {
    // A port nobody listens on refuses the call.
    int closedPort;
    {
        QTcpServer probe;
        probe.listen(QHostAddress::LocalHost, 0);
        closedPort = probe.serverPort();
    }
    ASSERT_TRUE(Command("ATE0S7=1", "OK"));
    EXPECT_TRUE(Command("ATDT127.0.0.1:" + std::to_string(closedPort), "\r\nBUSY\r\n"));

    // A host whose queue of calls is full never answers.
    const int listener = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(listen(listener, 0), 0);
    getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length);
    std::vector<std::unique_ptr<QTcpSocket>> fillers;
    for (int i = 0; i < 3; ++i) {
        fillers.push_back(std::make_unique<QTcpSocket>());
        fillers.back()->connectToHost(QHostAddress::LocalHost, ntohs(address.sin_port));
    }
    Settle(0.2);
    EXPECT_TRUE(Command("ATDT127.0.0.1:" + std::to_string(ntohs(address.sin_port)), "\r\nNO ANSWER\r\n", 4));
    fillers.clear();
    close(listener);

    ASSERT_TRUE(Command("ATS7=3", "OK"));
    comm->SetOutput("ATDTno-such-host.invalid\r");
    EXPECT_TRUE(WaitFor([&] {
        heard += comm->Input();
        return heard.find("NO CARRIER") != std::string::npos || heard.find("NO ANSWER") != std::string::npos;
    }, 5)) << heard;
    EXPECT_FALSE(comm->CDHolding());
}

TEST_F(NetModemTest, EscapeThenHangUpAndDtrDropBothEndTheCall) {
    for (bool byDtr : {false, true}) {
        SCOPED_TRACE(byDtr ? "DTR" : "+++ ATH");
        host.socket.reset();
        Connect();
        if (byDtr) {
            comm->SetDTREnable(false);
            comm->SetDTREnable(true);
        } else {
            Settle(0.3);
            comm->SetOutput("+++");
            ASSERT_TRUE(Hear("OK"));
            EXPECT_TRUE(comm->CDHolding());  // in command mode, the call still stands
            ASSERT_TRUE(Command("ATH", "OK"));
        }
        EXPECT_FALSE(comm->CDHolding());
        EXPECT_TRUE(WaitFor([&] { return host.Gone(); }));
        EXPECT_TRUE(Command("AT", "OK"));
    }
}

TEST_F(NetModemTest, IncomingCallRingsTwiceThenIsAnswered) {
    auto* modem = dynamic_cast<NetModem*>(comm->Line());
    ASSERT_NE(modem, nullptr);
    ASSERT_TRUE(Command("ATE0", "OK"));
    EXPECT_EQ(modem->AnswerPort(), 0);  // S0=0 takes no calls
    ASSERT_TRUE(Command("ATS0=2", "OK"));
    ASSERT_NE(modem->AnswerPort(), 0);
    QTcpSocket caller;
    caller.connectToHost(QHostAddress::LocalHost, static_cast<quint16>(modem->AnswerPort()));
    ASSERT_TRUE(Hear("RING"));
    EXPECT_FALSE(comm->CDHolding());
    ASSERT_TRUE(Hear("RING"));
    ASSERT_TRUE(Hear("CONNECT 9600"));
    EXPECT_EQ(heard.find("RING"), std::string::npos);
    EXPECT_TRUE(comm->CDHolding());
    caller.write("from caller");
    EXPECT_TRUE(Hear("from caller"));
    comm->SetOutput("to caller");
    std::string got;
    EXPECT_TRUE(WaitFor([&] { return (got += caller.readAll().toStdString()) == "to caller"; }));
}

TEST_F(NetModemTest, EveryByteValuePassesBothWaysThroughTelnet) {
    const std::string iac = "\xff", will = "\xfb", doo = "\xfd";
    // The host agrees binary both ways, then says "!" so we know it was heard.
    host.greeting = iac + will + '\0' + iac + doo + '\0' + iac + will + '\x01' + iac + will + '\x03' + "!";
    Connect("5552000");
    ASSERT_TRUE(Hear("!"));
    std::string all;
    for (int i = 0; i < 256; ++i) all += static_cast<char>(i);
    all += "\r\n\r\xff";
    comm->SetOutput(all);
    EXPECT_TRUE(WaitFor([&] { return TelnetData(host.got).size() >= all.size(); }));
    EXPECT_EQ(TelnetData(host.got), all);

    std::string escaped;
    for (char c : all) {
        escaped += c;
        if (c == '\xff') escaped += c;
    }
    host.Send(escaped);
    std::string got;
    EXPECT_TRUE(WaitFor([&] { return (got += comm->Input()).size() >= all.size(); }));
    EXPECT_EQ(got, all);
}

TEST_F(NetModemTest, FloodingHostWaitsAtTheBufferLimitAndNothingIsLost) {
    Connect();
    std::string sent;
    for (size_t i = 0; sent.size() < 3 * PortComm::kInputLimit; ++i) sent += static_cast<char>(i % 253);
    host.Send(sent);
    WaitFor([&] { return comm->InBufferCount() >= static_cast<int>(PortComm::kInputLimit); });
    Settle(0.3);
    EXPECT_LE(comm->InBufferCount(), static_cast<int>(PortComm::kInputLimit));
    std::string got;
    ASSERT_TRUE(WaitFor([&] { return (got += comm->Input()).size() >= sent.size(); }, 20));
    EXPECT_TRUE(got == sent);
}

}  // namespace
}  // namespace zorv::test
