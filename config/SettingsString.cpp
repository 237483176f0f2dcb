#include "config/SettingsString.h"

#include <algorithm>
#include <array>

#include "util/TextUtils.h"

namespace zorv {

namespace {

constexpr std::array<const char*, 14> kBaudRates = {"110",   "300",   "600",   "1200",  "2400",  "4800",   "9600",
                                                    "14400", "19200", "28800", "38400", "57600", "115200", "230400"};
constexpr std::array<const char*, 5> kParities = {"E", "O", "N", "S", "M"};
constexpr std::array<const char*, 5> kDataBits = {"4", "5", "6", "7", "8"};
constexpr std::array<const char*, 3> kStopBits = {"1", "1.5", "2"};

template <std::size_t N>
bool OneOf(const std::string& text, const std::array<const char*, N>& values) {
    return std::any_of(values.begin(), values.end(), [&](const char* value) { return text == value; });
}

// Part of `text` from `start`, `length` characters at most; a start beyond the end
// gives an empty text.
std::string Part(const std::string& text, std::size_t start, std::size_t length = std::string::npos) {
    return start >= text.size() ? std::string() : text.substr(start, length);
}

}  // namespace

bool IsSettingsBaudRate(const std::string& baud) { return OneOf(baud, kBaudRates); }
bool IsSettingsParity(const std::string& parity) { return OneOf(parity, kParities); }
bool IsSettingsDataBits(const std::string& dataBits) { return OneOf(dataBits, kDataBits); }
bool IsSettingsStopBits(const std::string& stopBits) { return OneOf(stopBits, kStopBits); }

bool PARSESETTINGS(const std::string& settings, std::string& baud, std::string& parity, std::string& dataBits,
                   std::string& stopBits) {
    const std::size_t comma = settings.find(',');
    if (comma == std::string::npos) return false;
    baud = settings.substr(0, comma);
    if (!IsSettingsBaudRate(baud)) return false;
    parity = UpperCase(Part(settings, comma + 1, 1));
    if (!IsSettingsParity(parity)) return false;
    dataBits = Part(settings, comma + 3, 1);
    if (!IsSettingsDataBits(dataBits)) return false;
    stopBits = Part(settings, comma + 5);
    return IsSettingsStopBits(stopBits);
}

bool BUILDSETTINGS(const std::string& baud, std::string& parity, const std::string& dataBits,
                   const std::string& stopBits, std::string& settings) {
    if (!IsSettingsBaudRate(baud)) return false;
    parity = UpperCase(parity);
    if (!IsSettingsParity(parity)) return false;
    if (!IsSettingsDataBits(dataBits)) return false;
    if (!IsSettingsStopBits(stopBits)) return false;
    settings = baud + "," + parity + "," + dataBits + "," + stopBits;
    return true;
}

}  // namespace zorv
