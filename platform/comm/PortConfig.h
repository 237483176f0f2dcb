#pragma once
// Where a port number leads, from the INI file:
//
//   [Ports]          port number = a serial device, or "net" for the network modem
//   1=/dev/ttyUSB0
//   2=net
//
//   [PhoneBook]      dialled digits = host:port, then ",telnet" (the default) or ",raw"
//   5559678=127.0.0.1:2323,telnet
//
//   [NetModem]       how the network modem takes calls
//   AnswerPort=6400          TCP port while S0 > 0; -1 never answers
//   AnswerAddress=127.0.0.1  0.0.0.0 takes calls from other machines
//   AnswerMode=telnet        or raw
//   RingSeconds=6            time between two RINGs
//
// Without any [Ports] entry the table is 1-4 = /dev/ttyS0-3 and 9 = net. The phone book
// always knows 5559678 (127.0.0.1:2323 over telnet, the demo BBS) unless an entry for
// those digits says otherwise.
#include <string>

#include "platform/comm/NetModemConfig.h"

namespace zorv {

struct PortTarget {
    enum class Kind { Serial, NetModem };
    Kind kind = Kind::Serial;
    std::string device;     // Serial
    NetModemConfig modem;   // NetModem
};

constexpr const char* kPortsSection = "Ports";
constexpr const char* kPhoneBookSection = "PhoneBook";
constexpr const char* kNetModemSection = "NetModem";
constexpr int kDefaultNetModemPort = 9;

// Raises zorv::Error 8002 (InvalidPortNumber) for a port the table does not hold.
PortTarget ResolvePortFromIni(int port);

// The network modem's settings from the INI file (phone book and [NetModem]).
NetModemConfig NetModemConfigFromIni();

}  // namespace zorv
