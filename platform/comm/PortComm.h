#pragma once
// The comm control the program holds: one object for its whole life, whose CommPort
// picks the kind of line when the port opens (the port table of PortConfig.h): a
// serial device (SerialComm) or the network modem (NetModem). Everything both kinds
// share lives here: the receive buffer, Input and InputLen, RThreshold and the
// notification event, AutoProcess routing to the terminal screen, the transfer
// members, and spotting the start of a ZMODEM send.
//
// Notification event codes (modem/CommControl.h):
//    2  at least RThreshold characters wait in the receive buffer (after each arrival)
//    7  carrier detect dropped
//    8  the ZMODEM start (the ZRQINIT header "**" ZDLE "B00") appeared in received data
//       while no transfer runs
//  100  XferStatus changed; raised once per value, in order, after the engine call that
//       changed it has returned
//
// The receive buffer holds at most kInputLimit characters. When it is full the line is
// not read any further until Input or InBufferCount := 0 makes room: the data waits in
// the driver or the socket and flow control (or TCP) holds the sender back. Nothing
// received is thrown away by the buffer.
#include <QElapsedTimer>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "modem/CommControl.h"
#include "platform/comm/CommLine.h"
#include "platform/comm/PortConfig.h"
#include "platform/comm/TerminalScreen.h"
#include "platform/zmodem/TransferSession.h"

class QTimer;

namespace zorv {

class TransferProgressWindow;

class PortComm : public CommControl {
public:
    static constexpr size_t kInputLimit = 1024 * 1024;
    using PortResolver = std::function<PortTarget(int port)>;

    // `resolver` maps CommPort to a line kind when the port opens; the program uses
    // the INI file's table, tests their own.
    explicit PortComm(PortResolver resolver = ResolvePortFromIni);
    ~PortComm() override;
    PortComm(const PortComm&) = delete;
    PortComm& operator=(const PortComm&) = delete;

    // The open line (nullptr while closed), for tests and the benchmark.
    CommLine* Line() { return open_ ? line_.get() : nullptr; }

    // Where received files land; "" (the default) is the current directory.
    void SetDownloadFolder(const std::string& folder) { downloadFolder_ = folder; }
    const std::string& DownloadFolder() const { return downloadFolder_; }
    // The running (or last) transfer's progress.
    bool TransferProgressOf(TransferProgress& progress) const;
    // The progress window (nullptr until a transfer showed it).
    TransferProgressWindow* ProgressWindow() { return progressWindow_.get(); }

    std::string Tag() const override { return tag_; }
    void SetTag(const std::string& tag) override { tag_ = tag; }
    int CommPort() const override { return port_; }
    void SetCommPort(int port) override;
    std::string Settings() const override { return settings_; }
    void SetSettings(const std::string& settings) override;
    bool PortOpen() const override { return open_; }
    void SetPortOpen(bool open) override;
    void SetOutput(const std::string& data) override;
    std::string Input() override;
    int InputLen() const override { return inputLen_; }
    void SetInputLen(int length) override;
    int InBufferCount() const override { return static_cast<int>(inBuffer_.size()); }
    void SetInBufferCount(int count) override;
    int OutBufferCount() const override;
    void SetOutBufferCount(int count) override;
    bool CDHolding() const override;
    bool DTREnable() const override { return dtr_; }
    void SetDTREnable(bool on) override;
    bool RTSEnable() const override { return rts_; }
    void SetRTSEnable(bool on) override;
    int Handshaking() const override { return handshaking_; }
    void SetHandshaking(int mode) override;
    int RThreshold() const override { return rThreshold_; }
    void SetRThreshold(int count) override;
    int AutoProcess() const override { return autoProcess_; }
    void SetAutoProcess(int mode) override { autoProcess_ = mode; }
    int Interval() const override { return interval_; }
    void SetInterval(int milliseconds) override;
    int Rows() const override { return screen_.Rows(); }
    void SetRows(int rows) override { screen_.Resize(rows, screen_.Columns()); }
    int Columns() const override { return screen_.Columns(); }
    void SetColumns(int columns) override { screen_.Resize(screen_.Rows(), columns); }
    std::string Text() const override { return screen_.Text(); }
    int XferProtocol() const override { return xferProtocol_; }
    void SetXferProtocol(int protocol) override;
    int XferStatusDialog() const override { return xferStatusDialog_; }
    void SetXferStatusDialog(int mode) override { xferStatusDialog_ = mode; }
    void SetDownload(const std::string& fileName) override;
    void SetUpload(const std::string& fileName) override;
    int XferStatus() const override { return xferStatus_; }
    void SetXferStatus(int status) override;
    int EventCode() const override { return eventCode_; }
    void SetEventHandler(std::function<void()> handler) override { handler_ = std::move(handler); }

private:
    void RequireOpen(const char* member) const;
    size_t ReceiveRoom() const;
    void Received(const char* bytes, size_t length);
    void CarrierChanged();
    bool SpotZmodemStart(const char* bytes, size_t length);
    void Raise(int code);
    void CloseLine();

    bool TransferRunning() const;
    void StartTransfer(int direction, const std::string& fileName);
    void PumpTransfer();
    void ReportStatuses();
    void EndTransfer();
    double Seconds() const { return clock_.elapsed() / 1000.0; }

    void ShowProgress(bool force);

    PortResolver resolver_;
    std::string downloadFolder_;
    std::string tag_;
    int port_ = 1;
    std::string settings_ = "9600,N,8,1";
    bool open_ = false;
    bool dtr_ = true;
    bool rts_ = true;
    int handshaking_ = 0;
    int inputLen_ = 0;
    int rThreshold_ = 0;
    int autoProcess_ = 0;
    int interval_ = 55;
    int xferProtocol_ = 0;
    int xferStatusDialog_ = 0;
    int xferStatus_ = 0;
    int eventCode_ = 0;
    std::function<void()> handler_;

    std::unique_ptr<CommLine> line_;
    // Closed lines wait here: a handler may close the port from inside one of the
    // line's own notifications, so a line is never deleted while it may be running.
    std::vector<std::unique_ptr<CommLine>> retired_;
    bool carrier_ = false;
    std::string inBuffer_;
    std::string zmodemTail_;  // the last bytes seen, for a start split over two reads
    TerminalScreen screen_;

    std::unique_ptr<TransferSession> session_;
    std::vector<std::unique_ptr<TransferSession>> retiredSessions_;
    std::deque<int> statusQueue_;
    std::unique_ptr<QTimer> transferTimer_;
    std::unique_ptr<TransferProgressWindow> progressWindow_;
    double progressShownAt_ = -1;
    QElapsedTimer clock_;
};

}  // namespace zorv
