#include "modem/ModemCommands.h"

#include "modem/LineWait.h"
#include "modem/ReceiveGuard.h"
#include "script/RecordingTrace.h"
#include "script/ResultCodes.h"
#include "util/EventPump.h"
#include "util/TextUtils.h"
#include "util/UiServices.h"

namespace zorv {

std::string CR;
std::string LF;
std::string CRLF;
std::string ESC;
std::string BS;
std::string SPACE;
int16_t ConstantsReady = 0;

void INITCONSTANTS() {
    CR = "\r";
    LF = "\n";
    CRLF = "\r\n";
    ESC = "\x1b";
    BS = "\b";
    SPACE = " ";
    ConstantsReady = -1;
}

std::string CARET2CTRL(std::string& text) {
    // One pass from the left gives the same text as converting the first caret and
    // searching again from the start: what a conversion leaves behind is never a caret,
    // so the next caret is always further right. It keeps long texts linear.
    std::string converted;
    converted.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c != '^' || i + 1 == text.size()) {
            converted += c;
            continue;
        }
        unsigned char next = static_cast<unsigned char>(text[++i]);
        // Only ASCII letters change case here; for any other character the code stays
        // outside 1 to 31 either way, so the pair is dropped.
        if (next >= 'a' && next <= 'z') next = static_cast<unsigned char>(next - 'a' + 'A');
        const int code = static_cast<int>(next) - 64;
        if (code >= 1 && code <= 31) converted += static_cast<char>(code);
    }
    text = converted;
    return text;
}

}  // namespace zorv
