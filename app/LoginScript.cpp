#include "app/LoginScript.h"

#include <vector>

#include "config/AtomicFile.h"
#include "util/Numbers.h"

namespace zorv {

namespace {

constexpr int kDefaultTimeout = 60;
constexpr int kLongestTimeout = 200;

std::string Send(const std::string& field) { return "SEND \"" + field + "^M\""; }

}  // namespace

std::string LoginTimeoutText(const std::string& timeOutBox) {
    const double rounded = RoundHalfEven(Val(timeOutBox));
    int seconds = kDefaultTimeout;
    if (rounded > kLongestTimeout) seconds = kLongestTimeout;
    else if (rounded > 0) seconds = static_cast<int>(rounded);
    return " " + std::to_string(seconds);
}

std::string LoginScriptText(const LoginScriptInput& input, const std::string& timeoutText) {
    std::vector<std::string> lines = {
        "TIMEOUT " + timeoutText,
        "ON_TIMEOUT_GOTO :TIMEOUT",
        "'Graphics prompt",
        "WAITFOR \"?\"",
        "PAUSE 3",
        "'Do not want graphics",
        "SEND \"n^M\"",
        "'First Name",
        "WAITFOR \"?\"",
        "PAUSE 3",
        Send(input.userName),
        "'Last Name",
        "WAITFOR \"?\"",
        "PAUSE 3",
    };
    if (input.passwordAsLastName) {
        lines.insert(lines.end(), {
                                      "'Send Password as Last Name",
                                      Send(input.userPassword),
                                      "'Register or continue",
                                      "WAITFOR \"?\"",
                                      "PAUSE 3",
                                      "SEND \"C^M\"",
                                      "'Register as new user",
                                      "WAITFOR \"?\"",
                                      "PAUSE 3",
                                      "SEND \"N^M\"",
                                      "'Messages",
                                      "WAITFOR \"?\"",
                                  });
    } else {
        lines.insert(lines.end(), {
                                      "'Do not use last name",
                                      "SEND \"^M\"",
                                      "'Password",
                                      "WAITFOR \"?\"",
                                      "PAUSE 3",
                                      Send(input.userPassword),
                                      "'Messages",
                                      "WAITFOR \"Scan Message Base Since 'Last read' (Enter)=yes?\"",
                                  });
    }
    lines.insert(lines.end(), {
                                  "PAUSE 3",
                                  "SEND \"n^M\"",
                                  "'Main prompt",
                                  "WAITFOR \"?\"",
                                  "PAUSE 3",
                                  "'Send download",
                                  "SEND \"D^M\"",
                                  "WAITFOR \"?\"",
                                  "PAUSE 3",
                                  "'Send file name",
                                  Send(input.downloadFile),
                                  "'Protocol",
                                  "WAITFOR \"?\"",
                                  "PAUSE 3",
                                  "SEND \"Z^M\"",
                                  "PROTOCOL \"ZMODEM\"",
                                  "DOWNLOAD",
                                  ":TIMEOUT",
                                  "END",
                              });
    std::string text;
    for (const std::string& line : lines) text += line + "\r\n";
    return text;
}

bool WriteLoginScript(const LoginScriptInput& input, std::string& timeoutText, const std::string& path) {
    timeoutText = LoginTimeoutText(input.timeOutBox);
    // The script holds the password: a new file is readable by its owner only.
    return WriteFileAtomically(path, LoginScriptText(input, timeoutText), nullptr, 0600);
}

}  // namespace zorv
