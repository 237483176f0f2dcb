#pragma once
// One kind of line behind a comm control: a serial device (SerialComm) or the network
// modem (NetModem). PortComm owns one while its port is open and keeps everything the
// kinds share (buffers, events, terminal screen, transfers); a line only moves bytes
// and reports its carrier.
#include <cstddef>
#include <functional>
#include <string>

#include "platform/comm/LineSettings.h"

namespace zorv {

// What the line reports back to its owner. All calls come from the Qt event loop.
struct LineSink {
    // Room for received bytes; at 0 the line stops reading until ResumeReceive.
    std::function<size_t()> room;
    std::function<void(const char* bytes, size_t length)> received;
    std::function<void()> carrierChanged;
    // The line's own output queue has emptied (a sender may give it more now).
    std::function<void()> drained;
};

// How the line starts.
struct LineSetup {
    LineSettings settings;
    bool dtr = true;
    bool rts = true;
    int handshaking = 0;
    int intervalMs = 55;
};

class CommLine {
public:
    virtual ~CommLine() = default;

    // Raises zorv::Error when the line cannot be opened; nothing stays held then.
    virtual void Open(const LineSetup& setup, LineSink sink) = 0;
    // Releases everything; safe to call twice, and from inside a sink call.
    virtual void Close() = 0;

    // Raises zorv::Error 380 and keeps the old settings when the line refuses them.
    virtual void ApplySettings(const LineSettings& settings) = 0;
    virtual void SetHandshaking(int mode) = 0;
    virtual void SetDtr(bool on) = 0;
    virtual void SetRts(bool on) = 0;
    virtual void SetInterval(int milliseconds) = 0;

    virtual void Write(const char* bytes, size_t length) = 0;
    virtual size_t OutPending() const = 0;
    virtual void DiscardOutput() = 0;
    virtual void DiscardInput() = 0;
    virtual void ResumeReceive() = 0;

    virtual bool Carrier() const = 0;
};

}  // namespace zorv
