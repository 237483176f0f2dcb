#include "platform/zmodem/ZmodemEnd.h"

#include "modem/CommControl.h"

namespace zorv::zmodem {

void ZmodemEnd::fail(int status, const std::string& why, bool sendCancel) {
    if (finished_) return;
    onFail();
    progress_.lastMessage = why;
    out_.Clear();
    if (sendCancel) AppendCancel(out_);
    finished_ = true;
    reportStatus(status);
}

void ZmodemEnd::Abort() {
    if (finished_) {
        if (status_ == XFER_TIMED_OUT || status_ == XFER_CARRIER_LOST) {
            AppendCancel(out_);
            reportStatus(XFER_FAILED);
        }
        return;
    }
    fail(XFER_ABORT, "transfer aborted", true);
    reportStatus(XFER_FAILED);
}

void ZmodemEnd::CarrierLost() {
    fail(XFER_CARRIER_LOST, "carrier lost", false);
}

}  // namespace zorv::zmodem
