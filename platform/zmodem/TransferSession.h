#pragma once
// What a comm control needs from a running file transfer. A session is a state machine
// with no thread, no clock and no port of its own; the control drives it:
//
//   - Start(now) once, right after creating it (the first frames are queued then).
//   - Tick(now) from its timer and before feeding, with a monotonic time in seconds.
//     All time-outs are measured against the last time given here.
//   - Feed(bytes) with every chunk received from the line.
//   - while WantsToSend(): TakeOutgoing(buffer, room) and write what it returns. A sender
//     produces file data only as it is taken, so the control decides how much is in
//     flight by how much room it offers (what the line can take right now).
//   - Abort() when a caller writes XferStatus := 6: the cancel sequence is queued, the
//     status goes to 6 and then -1. Keep taking output until WantsToSend() is false.
//   - CarrierLost() when carrier detect drops: the session ends with status 8.
//   - Status() gives the XferStatus code (modem/CommControl.h); the handler given to
//     SetStatusHandler is called on every change, in order, also for changes made
//     inside Feed/Tick/Abort. Finished() is true once the status is final (0, -1, 8, 9).
//     The handler may call Abort() but must not destroy the session: it runs inside
//     the session's own calls, so let the session go after they return.
//   - Progress() for the progress window.
// After a time-out (status 9) Abort() still sends the cancel sequence and turns the
// status into -1, so a caller that answers 9 with 6 sees the transfer end.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

namespace zorv {

struct TransferProgress {
    std::string fileName;        // the name on our side (as stored, or as sent)
    int64_t fileSize = -1;       // -1: not known
    int64_t bytesDone = 0;       // confirmed position in the current file
    int64_t resumedFrom = 0;     // where the current file started (crash recovery)
    int errorsRecovered = 0;     // bad frames and time-outs recovered in this session
    int filesDone = 0;           // files completed
    int filesFailed = 0;         // files skipped or failed
    std::string lastMessage;     // the latest notable event, for a status line
};

class TransferSession {
public:
    virtual ~TransferSession() = default;

    virtual void Start(double now) = 0;
    virtual void Tick(double now) = 0;
    virtual void Feed(const uint8_t* data, size_t length) = 0;
    void Feed(const std::string& bytes) {
        Feed(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    }

    virtual bool WantsToSend() = 0;
    virtual size_t TakeOutgoing(uint8_t* buffer, size_t max) = 0;

    virtual void Abort() = 0;
    virtual void CarrierLost() = 0;

    virtual int Status() const = 0;
    virtual bool Finished() const = 0;
    virtual TransferProgress Progress() const = 0;

    void SetStatusHandler(std::function<void(int)> handler) { statusHandler_ = std::move(handler); }

protected:
    void reportStatus(int status) {
        if (status == status_) return;
        status_ = status;
        if (statusHandler_) statusHandler_(status);
    }
    int status_ = 0;

private:
    std::function<void(int)> statusHandler_;
};

}  // namespace zorv
