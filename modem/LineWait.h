#pragma once
// Letting time pass on the window thread: a pause, and waiting for text on a comm
// control. These are the library's only ways to wait. Each pass of their loops runs
// DoEvents(), so window events and the control's own notifications keep running as
// nested handlers; such a handler stops a running wait by setting CancelRequested.
//
// The waits report through LastResult:
//    900 RC_WAIT_MATCHED    text up to and including the target (or just before it
//                           with excludeTarget); what followed it is kept in
//                           WaitCarryOver for the next wait
//    901 RC_WAIT_OVERFLOW   more than kWaitTextLimit characters gathered, no match:
//                           the whole text; the caller may wait again
//   -102 RC_CANCELED        the whole text gathered so far
//   -103 RC_CARRIER_LOST    the whole text (only with checkCarrier)
//   -106 RC_TIMEOUT         the whole text
//   -104 / -105             port closed / control unusable: empty text, nothing touched
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "modem/CommControl.h"

namespace zorv {

// Non-zero asks the running wait to stop with -102. Every wait clears it when it
// starts and again when it obeys it, so only a request made while a wait runs counts.
extern int16_t CancelRequested;

// What arrived after the target of the last successful wait. The next wait starts from
// it; a wait that ends without a match leaves it as it was.
extern std::string WaitCarryOver;

// The most text one wait gathers without a match before it hands it back with 901.
inline constexpr std::size_t kWaitTextLimit = 16384;

// Returns after `seconds` of the clock, running window events meanwhile (at least once,
// also for 0). Passing midnight does not lengthen or shorten it.
void PAUSESECONDS(double seconds);

// Waits up to `timeout` seconds for `target` (exact, case-sensitive) on `comm`.
std::string WAITFORSTRING(CommControl& comm, const std::string& target, int timeout, int checkCarrier,
                          int excludeTarget);

// Waits for whichever of `targets` turns up; the first target in list order that occurs
// anywhere in the text wins. `matchedIndex` is its position counted from 1, or -1.
// Errors the control raises once the wait is under way are ignored.
std::string WAITFORANY(CommControl& comm, const std::vector<std::string>& targets, double timeout,
                       double checkCarrier, double excludeTarget, int& matchedIndex);

}  // namespace zorv

namespace zorv {

// The checks every comm-control operation starts with, before it touches anything:
// reading CommPort must not raise an error (else LastResult -105) and the port must be
// open (else -104). Returns whether the control can be used.
bool OpeningChecks(CommControl& comm);

}  // namespace zorv
