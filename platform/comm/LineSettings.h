#pragma once
// The settings string of a line: "9600,N,8,1" = baud rate, parity letter, data bits,
// stop bits. One parser for every line kind, so a string is refused the same way
// whether the port is a serial device or the network modem.
#include <string>

namespace zorv {

struct LineSettings {
    int baud = 9600;
    char parity = 'N';        // E, O, N, S, M (upper case)
    int dataBits = 8;         // 5..8
    std::string stopBits = "1";  // "1", "1.5" (only with 5 data bits) or "2"
};

// Raises zorv::Error 380 for a string a line cannot take: a rate outside 110..230400,
// another parity letter, data bits outside 5..8, other stop bits, or 1.5 stop bits
// with more than 5 data bits (no UART sends that).
LineSettings ParseLineSettings(const std::string& text);

// "9600,N,8,1"
std::string FormatLineSettings(const LineSettings& settings);

}  // namespace zorv
