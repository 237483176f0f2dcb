#pragma once
// Finding a port to work on: the first port number that opens, or the first one with a
// modem behind it. Port numbers run up to kLastPortNumber.
//
// OPENPORT sets the settings (`baud` and `rest`, such as 9600 and "N,8,1") and opens
// the first port from `firstPort` on that opens. LastResult:
//   500 RC_PORT_OPENED       the port number is returned and the port stays open
//   502 RC_SETTINGS_INVALID  the control refused the settings; no port was touched
//   501 RC_NO_PORTS          none opened
//  -102 RC_CANCELED          CancelRequested was set (by an event handler) between two
//                            ports; the flag stays set
// The search runs window events before each port.
//
// FINDMODEM opens ports as OPENPORT does and sends "AT" to each; the first whose modem
// answers OK is returned open with 500. A port that stays silent is closed again and
// the search goes on from the next number after the one it started from, so a silent
// port further on is tried again. Ends with 501, 502 or -102 as OPENPORT does; a cancel
// request while a modem is being asked also ends it with -102, that port closed again.
//
// Both return 0 when no port was found. A first port below 1 is taken as 1.
#include <string>

namespace zorv {

class CommControl;

inline constexpr int kLastPortNumber = 9;

int OPENPORT(CommControl& comm, int firstPort, long baud, const std::string& rest);
int FINDMODEM(CommControl& comm, int firstPort, long baud, const std::string& rest);

}  // namespace zorv
