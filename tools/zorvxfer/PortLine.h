#pragma once
// Runs a transfer session on a port of the port table (a serial device or the network
// modem), through the same comm lines the program's comm control uses, so locking,
// line settings and carrier watching are the program's own. Needs a QCoreApplication.
//
// With a number to dial, the port is first taken through a call: "ATDT" + number, then
// the modem's answer decides: a CONNECT line starts the transfer (what came after it on
// the line belongs to the transfer), NO CARRIER, BUSY, NO ANSWER, NO DIALTONE or ERROR
// end the run before it starts. The call is hung up when the port closes (the network
// modem ends its call, a serial modem sees DTR drop).
#include <functional>
#include <string>

#include "platform/zmodem/TransferSession.h"

namespace zorv::xfer {

struct PortOptions {
    int port = 1;
    std::string settings = "115200,N,8,1";
    std::string dial;             // "" = the line is already connected
    double dialSeconds = 60;      // how long a call may take to connect
    const volatile int* abortRequested = nullptr;
    std::function<void(const TransferSession&)> onProgress;
    std::function<void(const std::string&)> say;  // what happens on the port, in words
};

enum class PortOutcome { Ran, OpenFailed, DialFailed };

// `status` gets the session's final status when the outcome is Ran.
PortOutcome RunOnPort(TransferSession& session, const PortOptions& options, int& status);

}  // namespace zorv::xfer
