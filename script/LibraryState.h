#pragma once
// Library-wide state that several parts of the library share: the comm control of the
// last library operation, what the transfer dialog is opened for, and whether the last
// library dialog was confirmed. Unguarded, window thread only, like LastResult.
#include <cstdint>

namespace zorv {

class CommControl;

// The comm control the last library operation worked with (script run, transfer
// dialog, port settings). Null until one ran; it is never owned here.
extern CommControl* CurrentCommControl;

// What the transfer dialog is opened for.
enum : int16_t {
    TV_RECEIVE = 1,
    TV_SEND = 2,
    TV_CHOOSE_PROTOCOL = 3,
};
extern int16_t TV_TransferType;

// True from the moment a library dialog is shown; false once its Cancel is pressed.
extern bool DialogAccepted;

}  // namespace zorv
