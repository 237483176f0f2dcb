#include "modem/LineWait.h"

#include <cmath>

#include "modem/ModemCommands.h"
#include "modem/ReceiveGuard.h"
#include "script/ResultCodes.h"
#include "util/Error.h"
#include "util/EventPump.h"

namespace zorv {

int16_t CancelRequested = 0;
std::string WaitCarryOver;

namespace {

constexpr double kSecondsPerDay = 86400.0;

// Seconds since midnight, carried past midnight when the clock has wrapped since
// `start`, so a wait that spans midnight lasts as long as any other.
double ClockSince(double start) {
    double now = TimeOfDay();
    if (now < start) now += kSecondsPerDay;
    return now;
}

// Runs one access to the control. A wait that ignores errors carries on with its next
// step when the control raises one; otherwise the error reaches the caller.
template <typename Access>
void Touch(bool ignoreErrors, Access access) {
    if (!ignoreErrors) {
        access();
        return;
    }
    try {
        access();
    } catch (const Error&) {
    }
}

// One Input read must return everything waiting, so InputLen is 0 while a wait runs
// and a non-zero value is written back on every way out.
class InputLenGuard {
public:
    InputLenGuard(CommControl& comm, bool ignoreErrors) : comm_(comm), ignoreErrors_(ignoreErrors) {
        Touch(ignoreErrors_, [&] { saved_ = comm_.InputLen(); });
        if (saved_ != 0) Touch(ignoreErrors_, [&] { comm_.SetInputLen(0); });
    }
    ~InputLenGuard() {
        if (saved_ == 0) return;
        // Also runs while an error unwinds the wait: the first error is the one to report.
        try {
            comm_.SetInputLen(saved_);
        } catch (...) {
        }
    }
    InputLenGuard(const InputLenGuard&) = delete;
    InputLenGuard& operator=(const InputLenGuard&) = delete;

private:
    CommControl& comm_;
    bool ignoreErrors_;
    int saved_ = 0;
};

struct Match {
    std::size_t position = 0;  // 0-based start of the matched target
    std::size_t length = 0;
    int index = -1;            // counted from 1
};

// The first target in list order that occurs in `text`. The first `searched`
// characters were searched before without a match, so an occurrence can only end
// after them; the search starts where such an occurrence could begin.
bool FindTarget(const std::string& text, std::size_t searched, const std::vector<std::string>& targets,
                Match& match) {
    for (std::size_t i = 0; i < targets.size(); ++i) {
        const std::string& target = targets[i];
        const std::size_t from =
            !target.empty() && searched >= target.size() ? searched - target.size() + 1 : 0;
        const std::size_t at = text.find(target, from);
        if (at == std::string::npos) continue;
        match.position = at;
        match.length = target.size();
        match.index = static_cast<int>(i) + 1;
        return true;
    }
    return false;
}

struct WaitRules {
    bool checkCarrier = false;
    bool excludeTarget = false;
    bool ignoreErrors = false;  // WAITFORANY carries on past errors of the control
};

std::string Wait(CommControl& comm, const std::vector<std::string>& targets, double timeout,
                 const WaitRules& rules, int& matchedIndex) {
    matchedIndex = -1;
    if (!OpeningChecks(comm)) return "";
    if (std::isnan(timeout)) timeout = 0;  // no number at all: no time to wait
    INITCONSTANTS();
    CancelRequested = 0;
    ReceiveGuard receiveGuard(comm);
    InputLenGuard inputLenGuard(comm, rules.ignoreErrors);

    SETRESULT(RC_NONE);
    std::string text = WaitCarryOver;
    std::size_t searched = 0;
    const double start = TimeOfDay();
    const double deadline = start + timeout;

    auto matched = [&](const Match& match) {
        const std::size_t end = match.position + match.length;
        WaitCarryOver = text.substr(end);
        matchedIndex = match.index;
        SETRESULT(RC_WAIT_MATCHED);
        return text.substr(0, rules.excludeTarget ? match.position : end);
    };

    // The carried-over text may already hold the target.
    if (!text.empty()) {
        Match match;
        if (FindTarget(text, searched, targets, match)) return matched(match);
        searched = text.size();
    }

    for (;;) {
        int waiting = 0;
        Touch(rules.ignoreErrors, [&] { waiting = comm.InBufferCount(); });
        if (waiting >= 1) {
            std::string received;
            Touch(rules.ignoreErrors, [&] { received = comm.Input(); });
            if (!received.empty()) {
                text += received;
                // Searched at once: the wait returns as soon as its text is in, not after
                // another round of the event loop (which sleeps when nothing is pending).
                // A read that passes the limit may have brought the target itself; then
                // the wait matched rather than overflowed.
                Match match;
                if (FindTarget(text, searched, targets, match)) return matched(match);
                searched = text.size();
                if (text.size() > kWaitTextLimit) {
                    WaitCarryOver.clear();
                    SETRESULT(RC_WAIT_OVERFLOW);
                    return text;
                }
            }
        }

        if (CancelRequested != 0) {
            CancelRequested = 0;
            SETRESULT(RC_CANCELED);
            return text;
        }

        if (rules.checkCarrier) {
            bool carrier = true;
            Touch(rules.ignoreErrors, [&] { carrier = comm.CDHolding(); });
            if (!carrier) {
                SETRESULT(RC_CARRIER_LOST);
                return text;
            }
        }

        if (ClockSince(start) >= deadline) {
            SETRESULT(RC_TIMEOUT);
            return text;
        }

        // Once per pass: window events and the control's notifications run here, and
        // when nothing is pending the pump sleeps until data or another event arrives.
        DoEvents();
    }
}

}  // namespace

bool OpeningChecks(CommControl& comm) {
    try {
        (void)comm.CommPort();
    } catch (const Error&) {
        SETRESULT(RC_NO_COMM_CONTROL);
        return false;
    }
    if (!comm.PortOpen()) {
        SETRESULT(RC_PORT_NOT_OPEN);
        return false;
    }
    return true;
}

void PAUSESECONDS(double seconds) {
    const double start = TimeOfDay();
    const double deadline = start + seconds;
    for (;;) {
        DoEvents();
        if (ClockSince(start) >= deadline) return;
    }
}

std::string WAITFORSTRING(CommControl& comm, const std::string& target, int timeout, int checkCarrier,
                          int excludeTarget) {
    WaitRules rules;
    rules.checkCarrier = checkCarrier != 0;
    rules.excludeTarget = excludeTarget != 0;
    int matchedIndex = -1;
    return Wait(comm, {target}, timeout, rules, matchedIndex);
}

std::string WAITFORANY(CommControl& comm, const std::vector<std::string>& targets, double timeout,
                       double checkCarrier, double excludeTarget, int& matchedIndex) {
    WaitRules rules;
    rules.checkCarrier = checkCarrier != 0;
    rules.excludeTarget = excludeTarget != 0;
    rules.ignoreErrors = true;
    return Wait(comm, targets, timeout, rules, matchedIndex);
}

}  // namespace zorv
