#include "modem/Dialing.h"

#include <limits>

#include "modem/LineWait.h"
#include "modem/ModemProfiles.h"
#include "modem/ReceiveGuard.h"
#include "script/RecordingTrace.h"
#include "script/ResultCodes.h"
#include "script/StatusText.h"
#include "util/EventPump.h"
#include "util/TextUtils.h"
#include "util/UiServices.h"

namespace zorv {

namespace {

// Seconds one read of the modem's answer to an aborted dial may take.
constexpr int kAbortAnswerSeconds = 2;

bool PortGone(ResultCode code) { return code == RC_PORT_NOT_OPEN || code == RC_NO_COMM_CONTROL; }

// After a dial is aborted the modem answers with a line of its own (usually NO CARRIER).
// The first line it recognises ends the reading; silence gives TIMEOUT. A cancel here
// ends only the one read. A line that keeps talking is cut off like silence after
// kWaitTextLimit characters.
void ReadAbortAnswer(CommControl& comm, ModemResult& result) {
    std::size_t heard = 0;
    for (;;) {
        const std::string line = WAITFORSTRING(comm, CRLF, kAbortAnswerSeconds, 0, -1);
        const ResultCode code = GETRESULT();
        if (code == RC_TIMEOUT) {
            result = MR_TIMEOUT;
            return;
        }
        if (PortGone(code)) return;
        result = STR2RESULT(comm, line);
        if (result != MR_NONE) return;
        heard += line.size();
        if (heard > kWaitTextLimit) {
            SETRESULT(RC_TIMEOUT);
            result = MR_TIMEOUT;
            return;
        }
    }
}

}  // namespace

int32_t LeadingNumber(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && text[i] == ' ') ++i;
    int64_t value = 0;
    constexpr int64_t kMax = std::numeric_limits<int32_t>::max();
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        value = value * 10 + (text[i] - '0');
        if (value > kMax) value = kMax;  // a line of digits must not overflow
    }
    return static_cast<int32_t>(value);
}

void ParseConnectLine(const std::string& line, std::size_t connectAt, std::size_t connectLength,
                      int32_t& connectSpeed, std::string& connectSuffix) {
    // The speed is read after the Connect text actually in use, whatever its length, so
    // a modem whose answer is "LINK 33600" reports 33600 like one that says CONNECT.
    const std::size_t from = connectAt + connectLength + 1;
    if (line.size() < from) {
        connectSpeed = 300;
        return;
    }
    const std::string rest = line.substr(from);
    std::size_t digits = 0;
    while (digits < rest.size() && rest[digits] >= '0' && rest[digits] <= '9') ++digits;
    connectSpeed = LeadingNumber(rest);
    if (digits < rest.size()) connectSuffix = rest.substr(digits + 1);
}

int32_t ParseCarrierLine(const std::string& line) {
    const std::size_t at = line.find("CARRIER");
    if (at == std::string::npos || at + 8 >= line.size()) return 0;
    return LeadingNumber(std::string_view(line).substr(at + 8));
}

void PLACECALL(CommControl& comm, const std::string& number, int attempts, int timeout, ModemResult& result,
               int32_t& connectSpeed, int32_t& carrierSpeed, std::string& connectSuffix) {
    if (!OpeningChecks(comm)) return;
    CancelRequested = 0;
    INITCONSTANTS();
    ReceiveGuard receiveGuard(comm);

    const std::string trimmedNumber = TrimBlanks(number);
    if (RecordingActive != 0) {
        ScriptTrace("SETTINGS", UpperCase(comm.Settings()));
        ScriptTrace("DIAL", trimmedNumber + (attempts != 0 ? ", " + std::to_string(attempts) : ""));
    }

    connectSpeed = 0;
    carrierSpeed = 0;
    connectSuffix.clear();
    result = MR_NONE;
    SETRESULT(RC_NONE);

    const int slot = FINDCOMMSLOT(comm);
    if (slot == 0) {
        MsgBox("PLACECALL: " + RESULTMESSAGE());
        return;
    }
    const ModemProfile& profile = SlotProfile(slot);
    std::string connectText = TRIMCTLCHARS(profile.Connect.Text());
    if (connectText.empty()) connectText = "CONNECT";
    std::string dialPrefix = TRIMCTLCHARS(profile.Dial.Text());
    if (dialPrefix.empty()) dialPrefix = "ATDT";
    const std::string dialCommand = dialPrefix + trimmedNumber + CR;

    STATUSTEXT(0, "Dialing...");

    bool carrierSeen = false;
    for (int attempt = 1; attempt <= attempts; ++attempt) {
        comm.SetInBufferCount(0);
        comm.SetOutput(dialCommand);
        std::size_t heard = 0;
        bool redial = false;
        while (!redial) {
            const std::string line = WAITFORSTRING(comm, CRLF, timeout, 0, -1);
            const ResultCode code = GETRESULT();
            if (code == RC_CANCELED) {
                comm.SetOutput(SPACE);  // any character stops a modem that is dialling
                result = MR_NONE;       // the call has no answer to report
                return;
            }
            if (PortGone(code)) return;
            heard += line.size();
            // A modem that says nothing in time, or talks on without ever giving an answer
            // we know, gets its dial aborted.
            if (code == RC_TIMEOUT || heard > kWaitTextLimit) {
                if (!OpeningChecks(comm)) return;  // closed or gone while we waited
                comm.SetOutput(SPACE);
                ReadAbortAnswer(comm, result);
                return;
            }
            if (code != RC_WAIT_MATCHED || line.empty()) {
                DoEvents();
                continue;
            }
            result = STR2RESULT(comm, line);
            switch (result) {
                case MR_CARRIER:
                    carrierSpeed = ParseCarrierLine(line);
                    carrierSeen = true;
                    DoEvents();
                    break;
                case MR_CONNECT:
                    ParseConnectLine(line, line.find(connectText), connectText.size(), connectSpeed, connectSuffix);
                    if (carrierSeen && carrierSpeed == 0) carrierSpeed = connectSpeed;
                    SETRESULT(RC_MODEM_RESULT);
                    // Slow modems need a moment after CONNECT before they pass data.
                    if (connectSpeed <= 2400) PAUSESECONDS(8);
                    return;
                case MR_BUSY:
                    SETRESULT(RC_MODEM_RESULT);
                    DoEvents();
                    redial = true;
                    break;
                case MR_NO_CARRIER:
                case MR_TIMEOUT:
                case MR_NO_ANSWER:
                case MR_ERROR:
                case MR_NO_DIALTONE:
                    SETRESULT(RC_MODEM_RESULT);
                    return;
                default:  // the echo of the dial command, OK, RING, anything else
                    DoEvents();
                    break;
            }
        }
    }
}

void HANGUP(CommControl& comm, int attempts, int useDTR) {
    if (!OpeningChecks(comm)) return;
    if (!comm.CDHolding()) {
        SETRESULT(RC_NOT_ONLINE);
        return;
    }
    INITCONSTANTS();
    SETRESULT(RC_NONE);
    ReceiveGuard receiveGuard(comm);

    if (RecordingActive != 0) ScriptTrace("HANGUP", "");
    STATUSTEXT(0, "Hanging Up...");

    if (useDTR != 0) {
        comm.SetDTREnable(false);
        PAUSESECONDS(0.5);
        comm.SetDTREnable(true);
        PAUSESECONDS(0.5);
        SETRESULT(comm.CDHolding() ? RC_NOT_DISCONNECTED : RC_DISCONNECTED);
        return;
    }

    if (attempts < 1) attempts = 1;
    for (int attempt = 1;; ++attempt) {
        // The escape needs a quiet line: two seconds of silence on either side of "+++".
        comm.SetOutBufferCount(0);
        PAUSESECONDS(2);
        comm.SetOutput("+++");
        PAUSESECONDS(2);
        WAITFORSTRING(comm, "OK", 2, -1, -1);
        const ResultCode code = GETRESULT();
        if (code == RC_TIMEOUT || code == RC_CANCELED) return;
        if (code == RC_CARRIER_LOST) {
            SETRESULT(RC_DISCONNECTED);
            return;
        }
        if (code == RC_WAIT_MATCHED) break;
        // A port that went away meanwhile is reported as such, not as a modem that
        // would not hang up, and no further escape is tried on it.
        if (PortGone(code)) return;
        if (attempt >= attempts) {
            SETRESULT(RC_NOT_DISCONNECTED);
            return;
        }
    }

    const int slot = FINDCOMMSLOT(comm);
    if (slot == 0) {
        MsgBox("HANGUP: " + RESULTMESSAGE());
        return;
    }
    std::string command = CARET2CTRL(TRIMCTLCHARS(SlotProfile(slot).Hangup.Text()));
    ModemResult answer = MR_NONE;
    SENDMODEMCMD(comm, command, attempts, 5, answer);
    if (PortGone(GETRESULT())) return;
    SETRESULT(answer == MR_OK ? RC_DISCONNECTED : RC_NOT_DISCONNECTED);
}

}  // namespace zorv
