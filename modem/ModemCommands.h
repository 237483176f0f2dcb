#pragma once
// Talking to a Hayes-style modem: the character constants, caret notation ("ATZ^M")
// for control characters in stored and scripted texts, the mapping between response
// lines and modem result codes, and SENDMODEMCMD, which sends one command and reads
// lines until the modem gives a recognised answer.
#include <cstdint>
#include <string>

#include "modem/CommControl.h"

namespace zorv {

// A classified modem response. Travels in output arguments, apart from LastResult.
using ModemResult = int16_t;

enum : ModemResult {
    MR_NONE = 0,
    MR_OK = -1000,
    MR_CARRIER = -1001,
    MR_CONNECT = -1002,      // the profile's Connect text
    MR_RING = -1003,
    MR_NO_CARRIER = -1004,
    MR_ERROR = -1005,
    MR_NO_DIALTONE = -1006,
    MR_BUSY = -1007,         // the profile's Busy text
    MR_NO_ANSWER = -1008,
    MR_TIMEOUT = -1009,
};

// Library constants, filled by INITCONSTANTS.
extern std::string CR;     // character 13
extern std::string LF;     // character 10
extern std::string CRLF;   // CR followed by LF
extern std::string ESC;    // character 27
extern std::string BS;     // character 8
extern std::string SPACE;  // character 32
extern int16_t ConstantsReady;  // -1 once the constants are set

// (Re)fills the constants above and sets ConstantsReady.
void INITCONSTANTS();

// Turns caret notation into control characters, in place, and returns the result:
// a caret and the letter after it become the character whose code is the letter's
// upper-case code minus 64 (so "^M" is CR, "^[" is ESC); when that code is not 1 to 31
// both characters are dropped ("^1", "^ ", "^@"). A caret at the very end stays.
std::string CARET2CTRL(std::string& text);
inline std::string CARET2CTRL(std::string&& text) { return CARET2CTRL(text); }

// The control's Connect and Busy texts, cleaned; "CONNECT" and "BUSY" when empty.
std::string ConnectText(CommControl& comm);
std::string BusyText(CommControl& comm);

// Classifies a response line (see MR_ above; 0 when nothing is recognised). Keywords
// are looked for anywhere in the line, case-sensitive, in the order OK, Connect text,
// RING, NO CARRIER, ERROR, NO DIALTONE, Busy text, NO ANSWER, TIMEOUT, CARRIER.
ModemResult STR2RESULT(CommControl& comm, const std::string& response);
// The response text of a modem result; empty for any other value.
std::string RESULT2STR(CommControl& comm, int result);

// Sends `command` (changed in place to the text actually sent: the profile's Attention
// text in front unless the command starts with it, CR at the end) and reads response
// lines until one is recognised. Each line may take `timeout` seconds.
// LastResult: 800 with the response in `result` (also for ERROR or NO CARRIER: look at
// `result`), 801 empty command, -106 no recognised response, -102 cancelled,
// -104 / -105 port closed / control unusable (also when that happens during the wait).
void SENDMODEMCMD(CommControl& comm, std::string& command, int attempts, int timeout, ModemResult& result);

}  // namespace zorv
