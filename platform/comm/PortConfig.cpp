#include "platform/comm/PortConfig.h"

#include <cctype>

#include "config/IniFile.h"
#include "util/Error.h"

namespace zorv {

namespace {

std::string Lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

bool ReadInt(const std::string& text, int& value) {
    if (text.empty()) return false;
    try {
        size_t used = 0;
        const int v = std::stoi(text, &used);
        if (used != text.size()) return false;
        value = v;
        return true;
    } catch (...) {
        return false;
    }
}

}  // namespace

NetModemConfig NetModemConfigFromIni() {
    NetModemConfig config;
    config.phoneBook["5559678"] = NetTarget{"127.0.0.1", 2323, true};
    for (const auto& [number, value] : ReadIniSection(kPhoneBookSection)) {
        NetTarget target;
        const std::string digits = DialDigits(number);
        // An entry that does not parse is left out rather than guessed at.
        if (!digits.empty() && ParseNetTarget(value, target)) config.phoneBook[digits] = target;
    }
    int number = 0;
    if (ReadInt(ReadIniKey(kNetModemSection, "AnswerPort", 16), number) && number >= -1 && number <= 65535)
        config.answerPort = number;
    const std::string address = ReadIniKey(kNetModemSection, "AnswerAddress", 64);
    if (!address.empty()) config.answerAddress = address;
    const std::string mode = Lower(ReadIniKey(kNetModemSection, "AnswerMode", 16));
    if (mode == "raw") config.answerTelnet = false;
    if (ReadInt(ReadIniKey(kNetModemSection, "RingSeconds", 16), number) && number >= 1 && number <= 60)
        config.ringIntervalMs = number * 1000;
    return config;
}

PortTarget ResolvePortFromIni(int port) {
    std::string device;
    const auto table = ReadIniSection(kPortsSection);
    if (table.empty()) {
        if (port >= 1 && port <= 4) device = "/dev/ttyS" + std::to_string(port - 1);
        else if (port == kDefaultNetModemPort) device = "net";
    } else {
        for (const auto& [key, value] : table) {
            int number = 0;
            if (ReadInt(key, number) && number == port && !value.empty()) {
                device = value;
                break;
            }
        }
    }
    if (device.empty()) throw Error(ErrorNumber::InvalidPortNumber, "Invalid Port Number");
    PortTarget target;
    if (Lower(device) == "net") {
        target.kind = PortTarget::Kind::NetModem;
        target.modem = NetModemConfigFromIni();
    } else {
        target.kind = PortTarget::Kind::Serial;
        target.device = device;
    }
    return target;
}

}  // namespace zorv
