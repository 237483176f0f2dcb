#include "util/Numbers.h"

#include <cctype>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <string>

namespace zorv {

namespace {

bool IsSkipped(char c) { return c == ' ' || c == '\t' || c == '\n'; }

std::string WithoutBlanks(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text)
        if (!IsSkipped(c)) out.push_back(c);
    return out;
}

double RadixValue(const std::string& s, size_t pos, int radix) {
    double value = 0;
    bool any = false;
    for (; pos < s.size(); ++pos) {
        char c = s[pos];
        int digit;
        if (c >= '0' && c <= '9') digit = c - '0';
        else if (c >= 'a' && c <= 'f') digit = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F') digit = c - 'A' + 10;
        else break;
        if (digit >= radix) break;
        value = value * radix + digit;
        any = true;
    }
    return any ? value : 0;
}

}  // namespace

double Val(std::string_view text) {
    const std::string s = WithoutBlanks(text);
    size_t pos = 0;
    if (s.size() >= 2 && s[0] == '&') {
        char kind = s[1];
        if (kind == 'h' || kind == 'H') return RadixValue(s, 2, 16);
        if (kind == 'o' || kind == 'O') return RadixValue(s, 2, 8);
        return 0;
    }
    std::string number;
    if (pos < s.size() && (s[pos] == '+' || s[pos] == '-')) number.push_back(s[pos++]);
    size_t digits = 0;
    while (pos < s.size() && std::isdigit(static_cast<unsigned char>(s[pos]))) {
        number.push_back(s[pos++]);
        ++digits;
    }
    if (pos < s.size() && s[pos] == '.') {
        number.push_back(s[pos++]);
        while (pos < s.size() && std::isdigit(static_cast<unsigned char>(s[pos]))) {
            number.push_back(s[pos++]);
            ++digits;
        }
    }
    if (digits == 0) return 0;
    if (pos < s.size() && (s[pos] == 'e' || s[pos] == 'E' || s[pos] == 'd' || s[pos] == 'D')) {
        size_t expPos = pos + 1;
        std::string exponent = "e";
        if (expPos < s.size() && (s[expPos] == '+' || s[expPos] == '-')) exponent.push_back(s[expPos++]);
        size_t expDigits = 0;
        while (expPos < s.size() && std::isdigit(static_cast<unsigned char>(s[expPos]))) {
            exponent.push_back(s[expPos++]);
            ++expDigits;
        }
        if (expDigits > 0) number += exponent;
    }
    return std::strtod(number.c_str(), nullptr);
}

double RoundHalfEven(double value) {
    if (!std::isfinite(value)) return value;
    double floor = std::floor(value);
    double diff = value - floor;
    if (diff > 0.5) return floor + 1;
    if (diff < 0.5) return floor;
    return std::fmod(floor, 2.0) == 0 ? floor : floor + 1;
}

int16_t ToInt16(double value) {
    double rounded = RoundHalfEven(value);
    if (std::isnan(rounded)) return 0;
    if (rounded > std::numeric_limits<int16_t>::max()) return std::numeric_limits<int16_t>::max();
    if (rounded < std::numeric_limits<int16_t>::min()) return std::numeric_limits<int16_t>::min();
    return static_cast<int16_t>(rounded);
}

}  // namespace zorv
