#pragma once
// A real serial device as a comm line, through termios.
//
// Opening takes the UUCP lock file and an flock, so minicom, C-Kermit, picocom and tio
// all see the port taken, and asks the driver for exclusive use; a missing device, one
// that is not a terminal, a busy or a locked one raises an error and leaves nothing
// held. The line runs raw with CLOCAL, so the driver never hangs up on us: carrier
// detect is watched here instead, every Interval milliseconds. Closing drops DTR, so
// a modem set to &D2 hangs up, and releases both locks; the same happens at program end.
//
// A pseudo-terminal has no modem lines: there CDHolding is True while the other end
// of the pair is open and drops (event 7) when it closes.
#include <memory>
#include <string>

#include "platform/comm/CommLine.h"
#include "platform/comm/SerialLock.h"

class QSocketNotifier;
class QTimer;

namespace zorv {

class SerialComm : public CommLine {
public:
    explicit SerialComm(std::string devicePath);
    ~SerialComm() override;

    const std::string& DevicePath() const { return path_; }

    void Open(const LineSetup& setup, LineSink sink) override;
    void Close() override;
    void ApplySettings(const LineSettings& settings) override;
    void SetHandshaking(int mode) override;
    void SetDtr(bool on) override;
    void SetRts(bool on) override;
    void SetInterval(int milliseconds) override;
    void Write(const char* bytes, size_t length) override;
    size_t OutPending() const override;
    void DiscardOutput() override;
    void DiscardInput() override;
    void ResumeReceive() override;
    bool Carrier() const override { return carrier_; }

private:
    void Configure(const LineSettings& settings, int handshaking);  // raises 380
    void OnReadable();
    void Flush();
    void WatchCarrier();
    void HangUpSeen();
    void SetModemLine(int line, bool on);
    bool ReadCarrier();

    std::string path_;
    int fd_ = -1;
    SerialLock lock_;
    std::unique_ptr<QSocketNotifier> readNotifier_;
    std::unique_ptr<QSocketNotifier> writeNotifier_;
    std::unique_ptr<QTimer> carrierTimer_;
    LineSink sink_;
    LineSettings settings_;
    int handshaking_ = 0;
    std::string out_;
    size_t outSent_ = 0;
    bool hasModemLines_ = false;
    bool hungUp_ = false;
    bool carrier_ = false;
    int programEndHook_ = 0;
};

}  // namespace zorv
