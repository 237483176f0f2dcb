#pragma once
// Runs a transfer session over a pair of file descriptors (standard input and output, as
// rz and sz do). A port of the port table runs the session through PortLine.h instead.
#include "platform/zmodem/TransferSession.h"

#include <functional>

namespace zorv::xfer {

struct LineOptions {
    int inFd = 0;
    int outFd = 1;
    // Keep reading briefly after the end, so the sender's closing bytes are not left for
    // whatever reads the line next.
    double linger = 0.0;
    // Set (from a signal handler, say) to abort the transfer: the cancel goes out first.
    const volatile int* abortRequested = nullptr;
    // Called about twice a second and at every status change.
    std::function<void(const TransferSession&)> onProgress;
};

// Returns the session's final status.
int RunOverLine(TransferSession& session, const LineOptions& options);

double MonotonicSeconds();

}  // namespace zorv::xfer
