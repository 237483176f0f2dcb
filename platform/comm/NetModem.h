#pragma once
// The network modem as a comm line: HayesModem's commands and results on one side,
// TCP (telnet or raw) on the other. Dialling connects out; with S0 > 0 it takes calls
// on the configured TCP port, rings and answers. CDHolding follows the call (&C1) and
// drops with event 7 when the remote end closes or the call is hung up.
//
// Received call data is read from the socket only while the modem is online and the
// control has room for it; otherwise it waits in the socket and TCP holds the sender
// back, so a flooding peer cannot grow our memory.
#include <QElapsedTimer>
#include <memory>
#include <string>
#include <vector>

#include "platform/comm/CommLine.h"
#include "platform/comm/HayesModem.h"
#include "platform/comm/NetModemConfig.h"
#include "platform/comm/TelnetCodec.h"

class QTcpServer;
class QTcpSocket;
class QTimer;

namespace zorv {

class NetModem : public CommLine {
public:
    explicit NetModem(NetModemConfig config);
    ~NetModem() override;

    // The TCP port taking calls right now, 0 when none is.
    int AnswerPort() const;

    void Open(const LineSetup& setup, LineSink sink) override;
    void Close() override;
    void ApplySettings(const LineSettings& settings) override;
    void SetHandshaking(int mode) override {}
    void SetDtr(bool on) override;
    void SetRts(bool on) override {}
    void SetInterval(int milliseconds) override {}
    void Write(const char* bytes, size_t length) override;
    size_t OutPending() const override;
    void DiscardOutput() override;
    void DiscardInput() override;
    void ResumeReceive() override;
    bool Carrier() const override { return open_ && core_.Carrier(); }

private:
    int64_t Now() const { return clock_.elapsed(); }
    void Run();
    void Perform(const HayesModem::Action& action);
    void StartCall(std::unique_ptr<QTcpSocket> socket, bool telnet, TelnetCodec::Role role);
    void EndCall();
    void Retire(std::unique_ptr<QTcpSocket> socket);
    void SendData(const std::string& data);
    void SendRaw(const std::string& bytes);
    void FlushNet();
    void ReadNet();
    void RemoteGone();
    void OnDialError();
    void OnIncoming();
    void SyncListening();
    void SyncTimer();

    NetModemConfig config_;
    HayesModem core_;
    QElapsedTimer clock_;
    bool open_ = false;
    LineSink sink_;
    std::unique_ptr<QTcpServer> server_;
    std::unique_ptr<QTimer> tick_;
    std::unique_ptr<QTcpSocket> call_;     // dialling or connected
    std::unique_ptr<QTcpSocket> ringing_;  // an incoming call not yet answered
    std::vector<std::unique_ptr<QTcpSocket>> retired_;
    bool callTelnet_ = false;
    bool remoteGone_ = false;
    TelnetCodec telnet_;
    std::string netOut_;
    std::vector<char> readBuffer_;
    bool lastCarrier_ = false;
    bool running_ = false;
};

}  // namespace zorv
