#pragma once
// Preparing a comm control and its modem for use.
//
// INITMODEM loads the control's modem profile from its "Modem_" + Tag section of the
// INI file, opens the port with the control's stored port settings (asking for them
// when there are none) and sends the first command of the modem's init string. When no
// modem has been chosen for the control yet, the user chooses one first in the modem
// database window (MODEMSETTINGS). Progress goes to the status texts, faults to message
// boxes; the port stays open on every way out past the checks at the start.
//
// LastResult: -105 control unusable, 402 a call stands (nothing sent), otherwise what
// SENDMODEMCMD left (800 after an answer), or 0 when nothing was sent (a null modem,
// an init string without "^M").
#include "modem/CommControl.h"

namespace zorv {

class TVModem;

// `window` is the modem database window to show when no modem is configured; nullptr
// shows the library's own (TheTVModem, with MODEMS.DAT next to the executable).
void INITMODEM(CommControl& comm, TVModem* window = nullptr);

// Shows the modem database window for `comm` (caption: Tag + " Modem Settings"). A port
// that was open is closed while the window tests the modem and opened again afterwards
// with the settings it had; after a confirmed choice the new modem is then woken with
// its Attention text.
void MODEMSETTINGS(CommControl& comm, TVModem* window = nullptr);

}  // namespace zorv
