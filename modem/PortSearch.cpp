#include "modem/PortSearch.h"

#include "modem/CommControl.h"
#include "modem/LineWait.h"
#include "modem/ModemCommands.h"
#include "script/ResultCodes.h"
#include "util/Error.h"
#include "util/EventPump.h"

namespace zorv {

namespace {

// Seconds a modem has to answer "AT".
constexpr int kProbeSeconds = 2;

int FirstPortNumber(int firstPort) { return firstPort < 1 ? 1 : firstPort; }

// Closes a port whose modem did not answer; a port that will not even close is left
// to the next open attempt to report.
void CloseQuietly(CommControl& comm) {
    try {
        comm.SetPortOpen(false);
    } catch (const Error&) {
    }
}

}  // namespace

int OPENPORT(CommControl& comm, int firstPort, long baud, const std::string& rest) {
    try {
        comm.SetSettings(std::to_string(baud) + "," + rest);
    } catch (const Error&) {
        SETRESULT(RC_SETTINGS_INVALID);
        return 0;
    }
    for (int port = FirstPortNumber(firstPort); port <= kLastPortNumber; ++port) {
        DoEvents();
        if (CancelRequested != 0) {
            SETRESULT(RC_CANCELED);
            return 0;
        }
        try {
            comm.SetCommPort(port);
            comm.SetPortOpen(true);
            SETRESULT(RC_PORT_OPENED);
            return port;
        } catch (const Error&) {
            // Not there, busy or taken by another program: try the next number.
        }
    }
    SETRESULT(RC_NO_PORTS);
    return 0;
}

int FINDMODEM(CommControl& comm, int firstPort, long baud, const std::string& rest) {
    for (int from = FirstPortNumber(firstPort); from <= kLastPortNumber; ++from) {
        const int port = OPENPORT(comm, from, baud, rest);
        const ResultCode code = GETRESULT();
        if (code == RC_SETTINGS_INVALID || code == RC_CANCELED || code == RC_NO_PORTS) return 0;
        if (code != RC_PORT_OPENED) continue;
        ModemResult answer = MR_NONE;
        try {
            std::string probe = "AT";
            SENDMODEMCMD(comm, probe, 1, kProbeSeconds, answer);
        } catch (const Error&) {
            answer = MR_NONE;  // a line that fails under the probe has no modem we can use
        }
        if (answer == MR_OK) {
            SETRESULT(RC_PORT_OPENED);
            return port;
        }
        const bool cancelled = GETRESULT() == RC_CANCELED;
        CloseQuietly(comm);
        // The probe's wait has used up the request; it still ends the whole search.
        if (cancelled) {
            SETRESULT(RC_CANCELED);
            return 0;
        }
    }
    SETRESULT(RC_NO_PORTS);
    return 0;
}

}  // namespace zorv
