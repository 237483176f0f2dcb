#include "platform/comm/LineSettings.h"

#include <array>
#include <cctype>
#include <vector>

#include "util/Error.h"

namespace zorv {

namespace {

constexpr std::array<int, 14> kRates = {110,   300,   600,   1200,  2400,  4800,   9600,
                                        14400, 19200, 28800, 38400, 57600, 115200, 230400};

[[noreturn]] void Refuse(const std::string& text) {
    throw Error(ErrorNumber::InvalidPropertyValue, "Invalid property value: settings \"" + text + "\"");
}

std::vector<std::string> SplitCommas(const std::string& text) {
    std::vector<std::string> parts(1);
    for (char c : text) {
        if (c == ',') parts.emplace_back();
        else parts.back() += c;
    }
    return parts;
}

bool AllDigits(const std::string& s) {
    if (s.empty() || s.size() > 6) return false;
    for (char c : s)
        if (!std::isdigit(static_cast<unsigned char>(c))) return false;
    return true;
}

}  // namespace

LineSettings ParseLineSettings(const std::string& text) {
    const std::vector<std::string> parts = SplitCommas(text);
    if (parts.size() != 4) Refuse(text);
    LineSettings s;
    if (!AllDigits(parts[0])) Refuse(text);
    s.baud = std::stoi(parts[0]);
    bool known = false;
    for (int rate : kRates) known = known || rate == s.baud;
    if (!known) Refuse(text);

    if (parts[1].size() != 1) Refuse(text);
    s.parity = static_cast<char>(std::toupper(static_cast<unsigned char>(parts[1][0])));
    if (std::string("EONSM").find(s.parity) == std::string::npos) Refuse(text);

    if (parts[2].size() != 1 || parts[2][0] < '5' || parts[2][0] > '8') Refuse(text);
    s.dataBits = parts[2][0] - '0';

    s.stopBits = parts[3];
    if (s.stopBits != "1" && s.stopBits != "1.5" && s.stopBits != "2") Refuse(text);
    if (s.stopBits == "1.5" && s.dataBits != 5) Refuse(text);
    return s;
}

std::string FormatLineSettings(const LineSettings& s) {
    return std::to_string(s.baud) + "," + std::string(1, s.parity) + "," + std::to_string(s.dataBits) + "," +
           s.stopBits;
}

}  // namespace zorv
