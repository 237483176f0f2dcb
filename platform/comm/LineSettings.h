#pragma once
// The settings string of a line: "9600,N,8,1" = baud rate, parity letter, data bits,
// stop bits. One parser for every line kind, so a string is refused the same way
// whether the port is a serial device or the network modem; it rests on the library's
// settings codec, so the port and the port settings dialog agree on every field.
#include <string>

namespace zorv {

struct LineSettings {
    int baud = 9600;
    char parity = 'N';        // E, O, N, S, M (upper case)
    int dataBits = 8;         // 5..8
    std::string stopBits = "1";  // "1", "1.5" (only with 5 data bits) or "2"
};

// Raises zorv::Error 380 for a string a line cannot take: one that PARSESETTINGS
// (config/SettingsString) refuses (a rate or parity letter not in its tables, other
// stop bits), other separators than commas, 4 data bits, or 1.5 stop bits with more
// than 5 data bits (no UART sends either).
LineSettings ParseLineSettings(const std::string& text);

// "9600,N,8,1"
std::string FormatLineSettings(const LineSettings& settings);

}  // namespace zorv
