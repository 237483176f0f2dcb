#include "modem/ReceiveGuard.h"

namespace zorv {

ReceiveGuard::ReceiveGuard(CommControl& comm)
    : comm_(comm), savedAutoProcess_(comm.AutoProcess()), savedRThreshold_(comm.RThreshold()) {
    if (savedAutoProcess_ != 0) comm_.SetAutoProcess(0);
    if (savedRThreshold_ != 0) comm_.SetRThreshold(0);
}

ReceiveGuard::~ReceiveGuard() {
    // Restoring runs also while an error from the control unwinds the operation; a
    // second error here must not end the program, the first one is what the caller
    // needs to see.
    try {
        if (savedAutoProcess_ != 0) comm_.SetAutoProcess(savedAutoProcess_);
        if (savedRThreshold_ != 0) comm_.SetRThreshold(savedRThreshold_);
    } catch (...) {
    }
}

}  // namespace zorv
