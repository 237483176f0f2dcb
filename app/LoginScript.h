#pragma once
// The login script the main window writes before each download: it answers the BBS's
// prompts with fixed keys, the user name, the password and the file name, asks for the
// file with ZMODEM and receives it. The call itself is placed by the telephony control;
// the script runs once the call is connected.
//
// Line numbers matter: the interpreter reports the line whose wait timed out, and the
// download run reads a time-out at line 22 (the first wait after the password in the
// default dialogue) as a rejected login.
#include <string>

namespace zorv {

// Where the script goes: the bare name, in the current directory.
inline constexpr const char* kLoginScriptFile = "ZORVBBS.SCR";

struct LoginScriptInput {
    std::string userName;
    std::string userPassword;
    std::string downloadFile;
    // True: the BBS takes the password at its last-name prompt, then asks to register or
    // continue and whether to register as a new user. False (the default): the last-name
    // prompt gets an empty answer and the password prompt the password.
    bool passwordAsLastName = false;
    std::string timeOutBox;  // the text of the TimeOut box
};

// TimeoutText for the TimeOut box's text: its number rounded to the nearest whole
// second (halves to even), 60 when that is 0 or less, at most 200, written with a
// leading blank in the sign position (" 60").
std::string LoginTimeoutText(const std::string& timeOutBox);

// The whole script: one line per text line, each ended by CR LF. The three fields are
// put in exactly as they are, without quoting.
std::string LoginScriptText(const LoginScriptInput& input, const std::string& timeoutText);

// Writes the script to `path`, replacing the file as a whole (a failed write leaves the
// earlier file intact rather than a half-written script that would send half a
// password), and sets `timeoutText` in any case. Returns false when the file could not
// be written.
bool WriteLoginScript(const LoginScriptInput& input, std::string& timeoutText,
                      const std::string& path = kLoginScriptFile);

}  // namespace zorv
