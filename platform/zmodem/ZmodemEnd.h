#pragma once
// What the sending and the receiving end of a ZMODEM session share: the bytes queued for
// the line, the progress, and the ways a session ends early.
//
//   fail(status, why, cancel)  ends the session with `status`; with `cancel` the cancel
//                              sequence replaces whatever was still queued
//   Abort()                    a caller's XferStatus := 6: cancel, 6, then -1; after a
//                              time-out (9) or a lost carrier (8) it still sends the
//                              cancel and turns the status into -1
//   CarrierLost()              nothing more goes out; status 8
#include "platform/zmodem/TransferSession.h"
#include "platform/zmodem/ZmodemFrames.h"

#include <string>

namespace zorv::zmodem {

class ZmodemEnd : public TransferSession {
public:
    bool WantsToSend() override { return !out_.Empty(); }
    size_t TakeOutgoing(uint8_t* buffer, size_t max) override { return out_.Take(buffer, max); }
    void Abort() override;
    void CarrierLost() override;
    int Status() const override { return status_; }
    bool Finished() const override { return finished_; }
    TransferProgress Progress() const override { return progress_; }

protected:
    void fail(int status, const std::string& why, bool sendCancel);
    // The end's own part of stopping early (its phase, an open file), before the status.
    virtual void onFail() = 0;

    ByteQueue out_;
    TransferProgress progress_;
    bool finished_ = false;
};

}  // namespace zorv::zmodem
