#pragma once
// A comm control with a scripted peer in memory, for tests in virtual time.
//  - Rules answer what is sent: when the text sent since the last answered rule
//    contains a trigger, the reply is delivered after its delay.
//  - Queued replies answer the next writes to Output, one each.
//  - Text can be delivered at given virtual times; the carrier raised and dropped.
//  - Opening can be refused; reading CommPort can raise an error.
//  - Everything written to Output is kept in sent(), and every member write in writes()
//    as "Member=value".
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "modem/CommControl.h"
#include "tests/support/VirtualPump.h"

namespace zorv::test {

class FakeComm : public CommControl {
public:
    explicit FakeComm(VirtualPump& pump);

    // --- scripting the peer ---
    // Reply `reply` after `delay` seconds whenever `trigger` has been sent;
    // `times` < 0 keeps the rule for ever.
    void On(const std::string& trigger, const std::string& reply, double delay = 0, int times = -1);
    // The next write to Output is answered with `reply` after `delay`.
    void QueueReply(const std::string& reply, double delay = 0);
    // Received text, now or after `delay` seconds of virtual time.
    void Deliver(const std::string& text);
    void DeliverAfter(double delay, const std::string& text);
    // A modem's command echo: everything sent comes back first.
    void SetEcho(bool on) { echo_ = on; }
    void SetCarrier(bool on);                       // a drop raises event 7
    void DropCarrierAfter(double delay);
    // Dropping DTR while a call stands drops the carrier (a modem set to &D2).
    void SetHangUpOnDtrDrop(bool on) { hangUpOnDtrDrop_ = on; }
    void RefuseOpen(bool refuse) { refuseOpen_ = refuse; }
    void ThrowOnCommPort(bool raise) { throwOnCommPort_ = raise; }
    // Settings that are refused (all others are taken).
    void RefuseSettings(std::function<bool(const std::string&)> refused) { refusedSettings_ = std::move(refused); }
    void SetScreenText(const std::string& text) { screenText_ = text; }
    // Raises the notification event with `code`.
    void RaiseEvent(int code);
    // Sets XferStatus as the transfer engine would and raises event 100.
    void ReportXferStatus(int status);
    void ReportXferStatusAfter(double delay, int status);

    // Runs when Download or Upload is written, with the file name (a test starts its
    // simulated transfer here, e.g. with ReportXferStatusAfter).
    std::function<void(const std::string&)> onDownload;
    std::function<void(const std::string&)> onUpload;

    // --- what happened ---
    const std::string& sent() const { return sent_; }
    void ClearSent() { sent_.clear(); }
    const std::vector<std::string>& writes() const { return writes_; }
    const std::vector<std::string>& downloads() const { return downloads_; }
    const std::vector<std::string>& uploads() const { return uploads_; }
    const std::string& screenData() const { return screenData_; }  // received while AutoProcess on
    int inputReads() const { return inputReads_; }

    // --- CommControl ---
    std::string Tag() const override { return tag_; }
    void SetTag(const std::string& tag) override;
    int CommPort() const override;
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
    int OutBufferCount() const override { return 0; }
    void SetOutBufferCount(int count) override;
    bool CDHolding() const override { return open_ && carrier_; }
    bool DTREnable() const override { return dtr_; }
    void SetDTREnable(bool on) override;
    bool RTSEnable() const override { return rts_; }
    void SetRTSEnable(bool on) override;
    int Handshaking() const override { return handshaking_; }
    void SetHandshaking(int mode) override;
    int RThreshold() const override { return rThreshold_; }
    void SetRThreshold(int count) override;
    int AutoProcess() const override { return autoProcess_; }
    void SetAutoProcess(int mode) override;
    int Interval() const override { return interval_; }
    void SetInterval(int milliseconds) override;
    int Rows() const override { return rows_; }
    void SetRows(int rows) override;
    int Columns() const override { return columns_; }
    void SetColumns(int columns) override;
    std::string Text() const override { return screenText_; }
    int XferProtocol() const override { return xferProtocol_; }
    void SetXferProtocol(int protocol) override;
    int XferStatusDialog() const override { return xferStatusDialog_; }
    void SetXferStatusDialog(int mode) override;
    void SetDownload(const std::string& fileName) override;
    void SetUpload(const std::string& fileName) override;
    int XferStatus() const override { return xferStatus_; }
    void SetXferStatus(int status) override;
    int EventCode() const override { return eventCode_; }
    void SetEventHandler(std::function<void()> handler) override { handler_ = std::move(handler); }

private:
    struct Rule {
        std::string trigger;
        std::string reply;
        double delay;
        int times;
    };
    struct QueuedReply {
        std::string reply;
        double delay;
    };

    void Log(const std::string& member, const std::string& value);
    void RequireOpen(const char* member) const;
    void Receive(const std::string& text);
    void Answer(const std::string& reply, double delay);

    VirtualPump& pump_;
    std::string tag_;
    int port_ = 1;
    std::string settings_ = "9600,N,8,1";
    bool open_ = false;
    bool carrier_ = false;
    bool dtr_ = false;
    bool rts_ = false;
    int handshaking_ = 0;
    int inputLen_ = 0;
    int rThreshold_ = 0;
    int autoProcess_ = 0;
    int interval_ = 0;
    int rows_ = 25;
    int columns_ = 80;
    int xferProtocol_ = 0;
    int xferStatusDialog_ = 0;
    int xferStatus_ = 0;
    int eventCode_ = 0;
    bool echo_ = false;
    bool hangUpOnDtrDrop_ = true;
    bool refuseOpen_ = false;
    bool throwOnCommPort_ = false;
    int inputReads_ = 0;
    std::function<bool(const std::string&)> refusedSettings_;
    std::function<void()> handler_;
    std::string inBuffer_;
    std::string sent_;
    std::string unanswered_;  // sent since the last rule fired
    std::string screenText_;
    std::string screenData_;
    std::vector<std::string> writes_;
    std::vector<std::string> downloads_;
    std::vector<std::string> uploads_;
    std::vector<Rule> rules_;
    std::deque<QueuedReply> queue_;
};

}  // namespace zorv::test
