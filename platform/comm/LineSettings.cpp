#include "platform/comm/LineSettings.h"

#include "config/SettingsString.h"
#include "util/Error.h"

namespace zorv {

namespace {

[[noreturn]] void Refuse(const std::string& text) {
    throw Error(ErrorNumber::InvalidPropertyValue, "Invalid property value: settings \"" + text + "\"");
}

}  // namespace

LineSettings ParseLineSettings(const std::string& text) {
    // The library's codec decides which values a field may take; a line asks more of
    // the form and of what a UART can send.
    std::string baud, parity, dataBits, stopBits;
    if (!PARSESETTINGS(text, baud, parity, dataBits, stopBits)) Refuse(text);
    // The codec skips the characters where the second and third commas belong; a line
    // is only ever set with real commas there.
    if (text[baud.size() + 2] != ',' || text[baud.size() + 4] != ',') Refuse(text);

    LineSettings s;
    s.baud = std::stoi(baud);
    s.parity = parity[0];
    s.dataBits = dataBits[0] - '0';
    s.stopBits = stopBits;
    if (s.dataBits < 5) Refuse(text);
    if (s.stopBits == "1.5" && s.dataBits != 5) Refuse(text);
    return s;
}

std::string FormatLineSettings(const LineSettings& s) {
    return std::to_string(s.baud) + "," + std::string(1, s.parity) + "," + std::to_string(s.dataBits) + "," +
           s.stopBits;
}

}  // namespace zorv
