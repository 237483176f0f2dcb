#pragma once
// Taking calls and winding them down on a comm control with a Hayes-style modem.
//
// WAITFORCALL arms the modem's auto-answer (the profile's Attention text, "S0=" and the
// number of rings) and waits for a caller for as long as it takes; an event handler
// stops it with CancelRequested. LastResult and the outputs:
//   1000 RC_CALLER_CONNECTED  a caller is connected: the speeds and the suffix are read
//                             from the CONNECT line as PLACECALL reads them (a
//                             connection at 2400 bit/s or less is followed by a 9-second
//                             pause); auto-answer stays armed
//    600 RC_MODEM_RESULT      the modem answered BUSY or ERROR (also to the arming
//                             command): no call will be taken
//   -102 / -106               cancelled (auto-answer is switched off again), or the
//                             arming command was cancelled / not answered in time
//   -104 / -105               port closed / control unusable; found at the start it
//                             leaves the outputs as they were, and a port that goes
//                             while waiting ends the wait
// `rings` 0 is taken as 1 and written back.
//
// ENDCALL ends a connection: it asks any running wait to stop, lets the output drain,
// hangs up (the escape method first, then DTR if the modem stayed online or did not
// answer the escape while the call still stands) and, while a
// recording runs, ends the recording with an END entry and writes its script.
#include <cstdint>
#include <string>

#include "modem/CommControl.h"

namespace zorv {

void WAITFORCALL(CommControl& comm, int& rings, int32_t& connectSpeed, int32_t& carrierSpeed,
                 std::string& connectSuffix);

void ENDCALL(CommControl& comm);

}  // namespace zorv
