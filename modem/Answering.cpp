#include "modem/Answering.h"

#include "modem/Dialing.h"
#include "modem/LineWait.h"
#include "modem/ModemCommands.h"
#include "modem/ModemProfiles.h"
#include "modem/ReceiveGuard.h"
#include "script/RecordingTrace.h"
#include "script/ResultCodes.h"
#include "script/ScriptRecorder.h"
#include "script/StatusText.h"
#include "util/EventPump.h"
#include "util/TextUtils.h"
#include "util/UiServices.h"

namespace zorv {

namespace {

// One read of a response line waits at most an hour; with no caller in that time the
// wait simply starts again.
constexpr int kLineWaitSeconds = 3600;

// The output counts as stuck when it has not moved for this many looks, each a tenth
// of a second apart.
constexpr int kDrainStalledLooks = 9;
constexpr double kDrainLookSeconds = 0.1;

// The tail of each WAITFOR a recording ended by ENDCALL keeps.
constexpr int kEndCallTailLength = 10;

bool PortGone(ResultCode code) { return code == RC_PORT_NOT_OPEN || code == RC_NO_COMM_CONTROL; }

// Waits until the output buffer is empty or has stopped moving (flow control holding
// it for good), so that the last text sent still reaches the caller before we hang up.
void DrainOutput(CommControl& comm) {
    int unchanged = 0;
    for (;;) {
        const int before = comm.OutBufferCount();
        if (before == 0) return;
        PAUSESECONDS(kDrainLookSeconds);
        if (comm.OutBufferCount() == before)
            ++unchanged;
        else
            unchanged = 0;
        if (unchanged > kDrainStalledLooks) return;
    }
}

}  // namespace

void WAITFORCALL(CommControl& comm, int& rings, int32_t& connectSpeed, int32_t& carrierSpeed,
                 std::string& connectSuffix) {
    if (!OpeningChecks(comm)) return;
    INITCONSTANTS();
    CancelRequested = 0;
    connectSpeed = 0;
    carrierSpeed = 0;
    connectSuffix.clear();
    SETRESULT(RC_NONE);
    if (rings == 0) rings = 1;

    const int slot = FINDCOMMSLOT(comm);
    if (slot == 0) {
        MsgBox("WAITFORCALL: " + RESULTMESSAGE());
        return;
    }
    const std::string connectText = ConnectText(comm);
    ReceiveGuard receiveGuard(comm);
    if (RecordingActive != 0) ScriptTrace("WAITFORCALL", "");

    const std::string attention = CARET2CTRL(TRIMCTLCHARS(SlotProfile(slot).Attention.Text()));
    std::string arm = attention + "S0=" + std::to_string(rings) + CR;
    ModemResult answer = MR_NONE;
    SENDMODEMCMD(comm, arm, 3, 5, answer);
    const ResultCode armed = GETRESULT();
    if (armed == RC_CANCELED || armed == RC_TIMEOUT || PortGone(armed)) return;
    // A modem that refuses the register would never pick up: say so instead of waiting
    // for ever for a call it will not take.
    if (answer == MR_ERROR) {
        SETRESULT(RC_MODEM_RESULT);
        return;
    }

    STATUSTEXT(0, "Waiting For a Call...");

    bool carrierSeen = false;
    for (;;) {
        const std::string line = WAITFORSTRING(comm, CR, kLineWaitSeconds, 0, -1);
        const ResultCode code = GETRESULT();
        if (code == RC_CANCELED) {
            std::string disarm = attention + "S0=0";
            SENDMODEMCMD(comm, disarm, 2, 10, answer);
            SETRESULT(RC_CANCELED);
            return;
        }
        if (PortGone(code)) return;
        if (code != RC_WAIT_MATCHED || line.empty()) continue;  // an hour of silence, or a blank line

        switch (STR2RESULT(comm, line)) {
            case MR_CARRIER:
                carrierSpeed = ParseCarrierLine(line);
                carrierSeen = true;
                break;
            case MR_CONNECT:
                ParseConnectLine(line, line.find(connectText), connectText.size(), connectSpeed, connectSuffix);
                if (carrierSeen && carrierSpeed == 0) carrierSpeed = connectSpeed;
                SETRESULT(RC_CALLER_CONNECTED);
                // Slow modems need a moment after CONNECT before they pass data.
                if (connectSpeed <= 2400) PAUSESECONDS(9);
                return;
            case MR_RING:
                STATUSTEXT(0, "Incomming Call... Answering");
                break;
            case MR_BUSY:
            case MR_ERROR:
                SETRESULT(RC_MODEM_RESULT);
                return;
            default:
                break;
        }
    }
}

void ENDCALL(CommControl& comm) {
    // A wait still running in an outer operation stops with -102 when it next looks.
    CancelRequested = -1;
    PAUSESECONDS(0.5);

    if (comm.PortOpen()) {
        DrainOutput(comm);
        HANGUP(comm, 1, 0);
        // A modem that stayed online, or never answered the escape while the call still
        // stands, is hung up by dropping DTR.
        const ResultCode escaped = GETRESULT();
        if (escaped == RC_NOT_DISCONNECTED || (escaped == RC_TIMEOUT && comm.CDHolding())) HANGUP(comm, 1, -1);
    }

    if (RecordingActive != 0) {
        ScriptTrace("END", "");
        ScriptRecord(comm, "", kEndCallTailLength);
    }
}

}  // namespace zorv
