#pragma once
// Placing and ending a call on a comm control with a Hayes-style modem.
//
// PLACECALL dials `number` with the profile's Dial prefix ("ATDT" when it has none) and
// reads response lines, each within `timeout` seconds. A busy line is redialled at once,
// up to `attempts` dials in all. LastResult and the outputs:
//   600 RC_MODEM_RESULT  the modem gave a final answer, in `result`: CONNECT (with the
//                        speeds and the suffix after the speed), BUSY on every attempt,
//                        NO CARRIER, NO ANSWER, ERROR, NO DIALTONE or TIMEOUT
//   900 / -106           no answer line in time: the dial was aborted with one space and
//                        `result` is the modem's answer to that (-1009 when silent)
//  -102                  cancelled; the dial was aborted and `result` is 0
//  -104 / -105           port closed / control unusable (also when that happens during
//                        the call); 0 with attempts 0: nothing was dialled
// A connection at 2400 bit/s or less is followed by an 8-second pause before it returns.
//
// HANGUP ends a call by dropping DTR, or with the "+++" escape and the profile's Hangup
// command. LastResult: 300 disconnected, 301 not disconnected, 302 no call to end,
// -106 / -102 the escape was not answered in time / cancelled, -104 / -105.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "modem/CommControl.h"
#include "modem/ModemCommands.h"

namespace zorv {

void PLACECALL(CommControl& comm, const std::string& number, int attempts, int timeout, ModemResult& result,
               int32_t& connectSpeed, int32_t& carrierSpeed, std::string& connectSuffix);

void HANGUP(CommControl& comm, int attempts, int useDTR);

// The number formed by the leading decimal digits of `text` after any leading blanks;
// 0 when there are none. Kept inside the 32-bit range.
int32_t LeadingNumber(std::string_view text);

// The speeds of a CONNECT line (without its line end), given where the Connect text
// starts in it and its length. With nothing after the Connect text the line is a bare
// CONNECT at 300. Otherwise the speed is read after the Connect text and one blank; what
// follows the first character after the digits is the suffix ("CONNECT 14400/ARQ" gives
// 14400 and "ARQ").
void ParseConnectLine(const std::string& line, std::size_t connectAt, std::size_t connectLength,
                      int32_t& connectSpeed, std::string& connectSuffix);

// The speed of a CARRIER line: the number 8 characters after "CARRIER" starts.
int32_t ParseCarrierLine(const std::string& line);

}  // namespace zorv
