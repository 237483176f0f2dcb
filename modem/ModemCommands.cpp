#include "modem/ModemCommands.h"

#include <utility>
#include <vector>

#include "modem/LineWait.h"
#include "modem/ModemProfiles.h"
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

namespace zorv {

namespace {

const ModemProfile* ProfileOf(CommControl& comm, const char* operation) {
    const int slot = FINDCOMMSLOT(comm);
    if (slot == 0) {
        MsgBox(std::string(operation) + ": " + RESULTMESSAGE());
        return nullptr;
    }
    return &SlotProfile(slot);
}

std::string ConnectTextOf(const ModemProfile& profile) {
    const std::string text = TRIMCTLCHARS(profile.Connect.Text());
    return text.empty() ? "CONNECT" : text;
}

std::string BusyTextOf(const ModemProfile& profile) {
    const std::string text = TRIMCTLCHARS(profile.Busy.Text());
    return text.empty() ? "BUSY" : text;
}

bool EndsWith(const std::string& text, const std::string& end) {
    return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

// Reads response lines until one is recognised. Echoes and other lines the table does
// not know are skipped; each line may take `timeout` seconds. A line that keeps talking
// without ever giving a recognised answer would hold the operation for ever, so after
// kWaitTextLimit characters of unrecognised lines the attempt ends as timed out.
void ReadResponse(CommControl& comm, int timeout, ModemResult& result) {
    const std::vector<std::string> lineEnds = {CRLF, CR};
    std::size_t heard = 0;
    for (;;) {
        // A CR LF split over two reads leaves its LF at the front of the next line.
        if (!WaitCarryOver.empty() && WaitCarryOver.front() == '\n') WaitCarryOver.erase(0, 1);
        int matchedIndex = -1;
        const std::string line = WAITFORANY(comm, lineEnds, timeout, 0, 0, matchedIndex);
        switch (GETRESULT()) {
            case RC_TIMEOUT:
            case RC_CANCELED:
            case RC_PORT_NOT_OPEN:      // closed by an event handler meanwhile
            case RC_NO_COMM_CONTROL:
                return;
            case RC_WAIT_MATCHED:
                if (!line.empty()) {
                    result = STR2RESULT(comm, line);
                    if (result != MR_NONE) {
                        SETRESULT(RC_COMMAND_SENT);
                        return;
                    }
                }
                break;
            default:
                break;
        }
        heard += line.size();
        if (heard > kWaitTextLimit) {
            SETRESULT(RC_TIMEOUT);
            return;
        }
    }
}

}  // namespace

std::string ConnectText(CommControl& comm) { return ConnectTextOf(SlotProfile(FINDCOMMSLOT(comm))); }

std::string BusyText(CommControl& comm) { return BusyTextOf(SlotProfile(FINDCOMMSLOT(comm))); }

ModemResult STR2RESULT(CommControl& comm, const std::string& response) {
    const ModemProfile* profile = ProfileOf(comm, "STR2RESULT");
    if (!profile) return MR_NONE;
    // NO CARRIER comes before CARRIER, so "NO CARRIER" is not taken for a carrier report.
    const std::pair<std::string, ModemResult> keywords[] = {
        {"OK", MR_OK},
        {ConnectTextOf(*profile), MR_CONNECT},
        {"RING", MR_RING},
        {"NO CARRIER", MR_NO_CARRIER},
        {"ERROR", MR_ERROR},
        {"NO DIALTONE", MR_NO_DIALTONE},
        {BusyTextOf(*profile), MR_BUSY},
        {"NO ANSWER", MR_NO_ANSWER},
        {"TIMEOUT", MR_TIMEOUT},
        {"CARRIER", MR_CARRIER},
    };
    for (const auto& [keyword, code] : keywords)
        if (response.find(keyword) != std::string::npos) return code;
    return MR_NONE;
}

std::string RESULT2STR(CommControl& comm, int result) {
    const ModemProfile* profile = ProfileOf(comm, "RESULT2STR");
    if (!profile) return "";
    switch (result) {
        case MR_OK: return "OK";
        case MR_CARRIER: return "CARRIER";
        case MR_CONNECT: return ConnectTextOf(*profile);
        case MR_RING: return "RING";
        case MR_NO_CARRIER: return "NO CARRIER";
        case MR_ERROR: return "ERROR";
        case MR_NO_DIALTONE: return "NO DIALTONE";
        case MR_BUSY: return BusyTextOf(*profile);
        case MR_NO_ANSWER: return "NO ANSWER";
        case MR_TIMEOUT: return "TIMEOUT";
        default: return "";
    }
}

void SENDMODEMCMD(CommControl& comm, std::string& command, int attempts, int timeout, ModemResult& result) {
    if (!OpeningChecks(comm)) return;
    if (ConstantsReady == 0) INITCONSTANTS();
    CancelRequested = 0;
    result = MR_NONE;
    SETRESULT(RC_NONE);
    ReceiveGuard receiveGuard(comm);

    const ModemProfile* profile = ProfileOf(comm, "SENDMODEMCMD");
    if (!profile) return;
    if (command.empty()) {
        SETRESULT(RC_NO_COMMAND);
        return;
    }

    // Only the first two characters are compared: with Attention "AT", "ATZ" and "atz"
    // go out as they are and "Z" becomes "ATZ".
    const std::string attention = CARET2CTRL(TRIMCTLCHARS(profile->Attention.Text()));
    if (UpperCase(command.substr(0, 2)) != attention) command = attention + command;
    if (!EndsWith(command, CR)) command += CR;
    if (command.front() == '"') command.erase(0, 1);

    if (RecordingActive != 0) ScriptTrace("SEND", command);

    // A command whose answer timed out is sent again, after a second's pause, until the
    // attempts are used up; the last attempt's outcome stands (-106 when none answered).
    // Anything else (an answer, a cancel, a port gone) ends the operation at once.
    if (attempts < 1) attempts = 1;
    for (int attempt = 1;; ++attempt) {
        comm.SetInBufferCount(0);  // what came before the command is no answer to it
        WaitCarryOver.clear();
        comm.SetOutput(command);
        ReadResponse(comm, timeout, result);
        if (GETRESULT() != RC_TIMEOUT || attempt >= attempts) return;
        PAUSESECONDS(1);
        if (!OpeningChecks(comm)) return;  // closed or gone while we waited
    }
}

}  // namespace zorv
