#pragma once
// The serial set-up of a comm control (port number, speed and framing, DTR and RTS,
// flow control), kept in the control's "Port_" + Tag section of the INI file.
//
//   LoadPortSettings  applies the stored set-up to the control; when a key is missing
//                     or empty, or the stored set-up does not work on the control, it
//                     asks the user with the port settings dialog, which then cannot
//                     be cancelled.
//   SetPortSettings   shows the port settings dialog (TVPort) pre-set from the control;
//                     on confirmation applies the choice, proves it by opening the
//                     port and stores it, "Comm Port" last and only once the port
//                     opened. A choice the control refuses or a port that does not open
//                     is told in a message box and the dialog comes again.
#include <cstdint>
#include <string>

#include "modem/CommControl.h"

namespace zorv {

// What the dialog is set to: filled from the control before each showing, changed by
// the dialog's lists and boxes, read once the dialog has closed. It keeps its values
// from one use to the next.
struct PortSettingsRecord {
    int16_t CommPort = 0;      // 1..16 in the dialog
    std::string Baud;          // baud rate field of the settings string
    std::string DataBits;      // one character
    std::string Parity;        // one letter, upper case
    std::string StopBits;      // "1", "1.5" or "2"
    int16_t Handshaking = 0;   // bit 0 XON/XOFF, bit 1 RTS/CTS
    int16_t DTREnable = 0;     // -1 on, 0 off
    int16_t RTSEnable = 0;     // -1 on, 0 off
};

extern PortSettingsRecord CurrentPortSettings;

// -1 while LoadPortSettings asks for settings it did not find (the dialog's Cancel
// then refuses to close), else 0.
extern int16_t SettingsRequired;

void SetPortSettings(CommControl& comm);

// LastResult -105 when the control cannot be used; otherwise LastResult is untouched.
// Afterwards the port is open exactly when it was open before, or when the dialog had
// to be shown and was confirmed.
void LoadPortSettings(CommControl& comm);

}  // namespace zorv
