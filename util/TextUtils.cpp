#include "util/TextUtils.h"

namespace zorv {

namespace {

bool IsTrailingJunk(char c) { return c == '\0' || c == '\t' || c == '\r' || c == '\n' || c == ' '; }

}  // namespace

std::string TRIMCTLCHARS(std::string& text) {
    size_t end = text.size();
    while (end > 0 && IsTrailingJunk(text[end - 1])) --end;
    text.resize(end);
    // A "~" stands for a blank in stored strings; a NUL inside a field is padding.
    for (char& c : text)
        if (c == '\0' || c == '~') c = ' ';
    return TrimBlanks(text);
}

std::string TrimBlanks(const std::string& text) {
    const size_t first = text.find_first_not_of(' ');
    if (first == std::string::npos) return "";
    const size_t last = text.find_last_not_of(' ');
    return text.substr(first, last - first + 1);
}

std::string UpperCase(std::string text) {
    for (char& c : text) {
        const unsigned char u = static_cast<unsigned char>(c);
        // In Latin-1 the small letters 224 to 254 (without the division sign 247) have
        // their capitals 32 below; 223 and 255 have none inside the code page.
        if ((u >= 'a' && u <= 'z') || (u >= 224 && u <= 254 && u != 247)) c = static_cast<char>(u - 32);
    }
    return text;
}

}  // namespace zorv
