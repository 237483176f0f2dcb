#pragma once
// While a library operation reads received text itself, the control must hand the
// text to Input rather than to its terminal screen or its receive event. The guard
// saves AutoProcess and RThreshold, writes 0 into each non-zero one, and on every way
// out (return or error) writes the saved non-zero values back.
#include "modem/CommControl.h"

namespace zorv {

class ReceiveGuard {
public:
    explicit ReceiveGuard(CommControl& comm);
    ~ReceiveGuard();

    ReceiveGuard(const ReceiveGuard&) = delete;
    ReceiveGuard& operator=(const ReceiveGuard&) = delete;

private:
    CommControl& comm_;
    int savedAutoProcess_;
    int savedRThreshold_;
};

}  // namespace zorv
