#include "platform/comm/NetModemConfig.h"

#include <cctype>

namespace zorv {

namespace {

bool HostChar(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '.' || c == '-' || c == '_';
}

std::string Lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

}  // namespace

bool ParseNetTarget(const std::string& text, NetTarget& target) {
    NetTarget t;
    std::string address = text;
    const size_t comma = text.find(',');
    if (comma != std::string::npos) {
        const std::string kind = Lower(text.substr(comma + 1));
        if (kind == "raw") t.telnet = false;
        else if (kind != "telnet") return false;
        address = text.substr(0, comma);
    }
    std::string portText;
    if (!address.empty() && address[0] == '[') {
        const size_t close = address.find(']');
        if (close == std::string::npos) return false;
        t.host = address.substr(1, close - 1);
        for (char c : t.host)
            if (!std::isxdigit(static_cast<unsigned char>(c)) && c != ':' && c != '.') return false;
        const std::string rest = address.substr(close + 1);
        if (!rest.empty()) {
            if (rest[0] != ':') return false;
            portText = rest.substr(1);
            if (portText.empty()) return false;
        }
    } else {
        const size_t colon = address.find(':');
        t.host = address.substr(0, colon);
        if (colon != std::string::npos) {
            portText = address.substr(colon + 1);
            if (portText.empty()) return false;
        }
        for (char c : t.host)
            if (!HostChar(c)) return false;
    }
    if (t.host.empty() || t.host.size() > 253) return false;
    if (!portText.empty()) {
        if (portText.size() > 5) return false;
        for (char c : portText)
            if (!std::isdigit(static_cast<unsigned char>(c))) return false;
        t.port = std::stoi(portText);
        if (t.port < 1 || t.port > 65535) return false;
    }
    target = t;
    return true;
}

std::string DialDigits(const std::string& number) {
    std::string digits;
    for (char c : number)
        if (std::isdigit(static_cast<unsigned char>(c))) digits += c;
    return digits;
}

}  // namespace zorv
