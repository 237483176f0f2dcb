#pragma once
// Reading a piece of the comm control's terminal screen.
#include <string>

#include "modem/CommControl.h"

namespace zorv {

// The `NumChars` characters of the screen starting at `Row` and `Column` (both counted
// from 1). The screen text is the control's rows joined by CR LF, so a piece may run on
// into the next row. A Row or Column outside the screen, or a piece that does not lie
// inside the screen text, shows a message box ("ReadScreen: Invalid Row argument",
// "... Column ...", "... NumChars ...") and gives empty text.
std::string ReadScreen(CommControl& comm, int Row, int Column, int NumChars);

}  // namespace zorv
