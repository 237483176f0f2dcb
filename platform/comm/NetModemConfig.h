#pragma once
// What the network modem needs to know besides its AT commands: where phone numbers
// lead and where it takes calls.
#include <map>
#include <string>

namespace zorv {

struct NetTarget {
    std::string host;
    int port = 23;
    bool telnet = true;  // false: plain TCP, for hosts that are not telnet servers
};

struct NetModemConfig {
    // Dialled digits (punctuation removed) to the host they reach.
    std::map<std::string, NetTarget> phoneBook;
    // TCP port taken for incoming calls while S0 > 0; -1 never answers, 0 takes any
    // free port (NetModem::AnswerPort tells which).
    int answerPort = 6400;
    std::string answerAddress = "127.0.0.1";
    bool answerTelnet = true;
    // Time between two RING reports of one incoming call.
    int ringIntervalMs = 6000;
};

// "host", "host:port", "[v6addr]:port", each optionally followed by ",telnet" or ",raw".
// False for anything else (blanks, control characters, a port outside 1..65535).
bool ParseNetTarget(const std::string& text, NetTarget& target);

// The digits of a dialled number: "555-9678" and "(555) 96 78" both give "5559678".
std::string DialDigits(const std::string& number);

}  // namespace zorv
