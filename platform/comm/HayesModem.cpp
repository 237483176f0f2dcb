#include "platform/comm/HayesModem.h"

#include <cctype>
#include <cstdio>

namespace zorv {

namespace {

char Upper(char c) { return static_cast<char>(std::toupper(static_cast<unsigned char>(c))); }

// Reads the decimal number at `i` (none: -1); stops at 3 digits' worth of value.
int ReadNumber(const std::string& s, size_t& i) {
    if (i >= s.size() || !std::isdigit(static_cast<unsigned char>(s[i]))) return -1;
    int value = 0;
    while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i]))) {
        if (value < 100000) value = value * 10 + (s[i] - '0');
        ++i;
    }
    return value;
}

const char* ResultText(int code) {
    switch (code) {
    case 0: return "OK";
    case 1: return "CONNECT";
    case 2: return "RING";
    case 3: return "NO CARRIER";
    case 4: return "ERROR";
    case 7: return "BUSY";
    case 8: return "NO ANSWER";
    }
    return "ERROR";
}

// A dial string made only of digits and dialling punctuation is a phone number;
// anything else names a host.
bool IsPhoneNumber(const std::string& s) {
    for (char c : s)
        if (!std::isdigit(static_cast<unsigned char>(c)) && std::string("*#-() ,Ww@!").find(c) == std::string::npos)
            return false;
    return true;
}

}  // namespace

HayesModem::HayesModem(const NetModemConfig& config) : config_(&config) { Reset(); }

void HayesModem::Reset() {
    for (int& r : regs_) r = 0;
    regs_[2] = '+';
    regs_[3] = '\r';
    regs_[4] = '\n';
    regs_[5] = '\b';
    regs_[6] = 2;
    regs_[7] = 50;   // seconds to wait for the remote end to answer
    regs_[8] = 2;
    regs_[9] = 6;
    regs_[10] = 14;
    regs_[12] = 50;  // escape guard time in fiftieths of a second
    echo_ = true;
    verbose_ = true;
    quiet_ = false;
    carrierMode_ = 1;
    dtrMode_ = 2;
}

std::string HayesModem::TakeToDte() {
    std::string out;
    out.swap(toDte_);
    return out;
}

std::string HayesModem::TakeToNet() {
    std::string out;
    out.swap(toNet_);
    return out;
}

std::vector<HayesModem::Action> HayesModem::TakeActions() {
    std::vector<Action> out;
    out.swap(actions_);
    return out;
}

void HayesModem::Act(Action::Kind kind, NetTarget target) { actions_.push_back({kind, std::move(target)}); }

bool HayesModem::Carrier() const { return carrierMode_ == 0 || Connected(); }

bool HayesModem::NeedsTick() const {
    return state_ == State::Dialing || ringing_ || (state_ == State::Online && plusCount_ == 3);
}

void HayesModem::Report(Result result) {
    if (quiet_) return;
    const char cr = static_cast<char>(regs_[3]), lf = static_cast<char>(regs_[4]);
    if (!verbose_) {
        toDte_ += std::to_string(static_cast<int>(result)) + cr;
        return;
    }
    std::string text = ResultText(result);
    if (result == CONNECT) text += " " + std::to_string(dteRate_);
    toDte_ += std::string{cr, lf} + text + std::string{cr, lf};
}

void HayesModem::Info(const std::string& text) {
    const char cr = static_cast<char>(regs_[3]), lf = static_cast<char>(regs_[4]);
    if (verbose_) toDte_ += std::string{cr, lf};
    toDte_ += text + std::string{cr, lf};
}

// --- terminal side ---

void HayesModem::FromDte(const char* bytes, size_t length, int64_t nowMs) {
    for (size_t i = 0; i < length; ++i) {
        const char c = bytes[i];
        switch (state_) {
        case State::Dialing:
            // Any key aborts a dial, as on a modem in a phone line.
            Act(Action::Kind::CancelDial);
            state_ = State::Command;
            Report(NO_CARRIER);
            break;
        case State::Online: {
            const int escape = regs_[2];
            const int64_t guardMs = static_cast<int64_t>(regs_[12]) * 20;
            if (escape <= 127 && static_cast<unsigned char>(c) == escape) {
                const bool fits = plusCount_ == 0 ? nowMs - lastDteMs_ >= guardMs
                                                  : plusCount_ < 3 && nowMs - lastDteMs_ <= guardMs;
                plusCount_ = fits ? plusCount_ + 1 : 0;
            } else {
                plusCount_ = 0;
            }
            lastDteMs_ = nowMs;
            toNet_ += c;
            break;
        }
        case State::Command:
        case State::OnlineCommand:
            CommandByte(c, nowMs);
            break;
        }
    }
}

void HayesModem::CommandByte(char c, int64_t nowMs) {
    if (echo_) toDte_ += c;
    if (static_cast<unsigned char>(c) == regs_[3]) {
        std::string line = std::move(line_);
        const bool tooLong = lineTooLong_;
        line_.clear();
        lineTooLong_ = false;
        if (tooLong) Report(ERROR);
        else RunLine(line, nowMs);
    } else if (static_cast<unsigned char>(c) == regs_[5]) {
        if (!line_.empty()) line_.pop_back();
    } else if (c == '\n') {
        // A line feed after the CR of a terminal that sends both.
    } else if (c == '/' && line_.size() == 1 && Upper(line_[0]) == 'A') {
        line_.clear();
        if (!lastLine_.empty()) RunLine(lastLine_, nowMs);
    } else if (line_.size() < kMaxCommandLine) {
        line_ += c;
    } else {
        lineTooLong_ = true;
    }
}

void HayesModem::RunLine(const std::string& raw, int64_t nowMs) {
    size_t start = 0;
    while (start < raw.size() && raw[start] == ' ') ++start;
    if (start == raw.size()) return;  // an empty line is no command
    const std::string line = raw.substr(start);
    if (line.size() < 2 || Upper(line[0]) != 'A' || Upper(line[1]) != 'T') {
        Report(ERROR);
        return;
    }
    lastLine_ = line;
    if (!Execute(line.substr(2), nowMs)) Report(ERROR);
}

bool HayesModem::Execute(const std::string& s, int64_t nowMs) {
    std::string info;
    size_t i = 0;
    while (i < s.size()) {
        const char c = Upper(s[i++]);
        if (c == ' ') continue;
        if (c == 'D') {
            if (Connected()) return false;
            if (!info.empty()) Info(info);
            Dial(s.substr(i), nowMs);
            return true;
        }
        if (c == 'A') {
            if (!info.empty()) Info(info);
            if (ringing_) Answer(nowMs);
            else Report(NO_CARRIER);
            return true;
        }
        if (c == 'O') {
            ReadNumber(s, i);
            if (!info.empty()) Info(info);
            if (state_ == State::OnlineCommand) GoOnline(nowMs);
            else Report(NO_CARRIER);
            return true;
        }
        if (c == 'Z') {
            ReadNumber(s, i);
            HangUp();
            Reset();
            Report(OK);
            return true;
        }
        if (c == 'S') {
            const int reg = ReadNumber(s, i);
            if (reg < 0 || reg > 255) return false;
            if (i < s.size() && s[i] == '=') {
                ++i;
                int value = ReadNumber(s, i);
                if (value < 0) value = 0;
                if (value > 255) return false;
                regs_[reg] = value;
            } else if (i < s.size() && s[i] == '?') {
                ++i;
                char text[8];
                std::snprintf(text, sizeof text, "%03d", regs_[reg]);
                if (!info.empty()) info += std::string{static_cast<char>(regs_[3]), static_cast<char>(regs_[4])};
                info += text;
            }
            continue;
        }
        if (c == '&') {
            if (i >= s.size()) return false;
            const char what = Upper(s[i++]);
            if (!std::isalpha(static_cast<unsigned char>(what))) return false;
            int n = ReadNumber(s, i);
            if (n < 0) n = 0;
            if (what == 'C') {
                if (n > 1) return false;
                carrierMode_ = n;
            } else if (what == 'D') {
                if (n > 3) return false;
                dtrMode_ = n;
            } else if (what == 'F') {
                Reset();
            }
            // Other & settings (flow control, stored profiles, ...) have nothing to act on here.
            continue;
        }
        if (c == '\\' || c == '%') {
            if (i >= s.size() || !std::isalpha(static_cast<unsigned char>(s[i]))) return false;
            ++i;
            ReadNumber(s, i);
            continue;
        }
        if (c == '+' || c == '#') {
            // Extended commands: accepted and ignored, up to the next ';'.
            while (i < s.size() && s[i] != ';') ++i;
            if (i < s.size()) ++i;
            continue;
        }
        if (std::string("EVQHILMXBCNPTWYFK").find(c) == std::string::npos) return false;
        int n = ReadNumber(s, i);
        if (n < 0) n = 0;
        switch (c) {
        case 'E':
            if (n > 1) return false;
            echo_ = n == 1;
            break;
        case 'V':
            if (n > 1) return false;
            verbose_ = n == 1;
            break;
        case 'Q':
            if (n > 1) return false;
            quiet_ = n == 1;
            break;
        case 'H':
            if (n > 1) return false;
            if (n == 0) HangUp();
            break;
        case 'I':
            if (!info.empty()) info += std::string{static_cast<char>(regs_[3]), static_cast<char>(regs_[4])};
            info += kIdentity;
            break;
        default:
            break;  // speaker, result set, dialling method...: nothing to act on
        }
    }
    if (!info.empty()) Info(info);
    Report(OK);
    return true;
}

void HayesModem::Dial(const std::string& dialString, int64_t nowMs) {
    std::string s = dialString;
    while (!s.empty() && (s.back() == ' ' || s.back() == ';')) s.pop_back();
    size_t start = 0;
    while (start < s.size() && s[start] == ' ') ++start;
    s = s.substr(start);
    // T and P pick tone or pulse dialling; both mean the same here.
    if (s.size() > 1 && (Upper(s[0]) == 'T' || Upper(s[0]) == 'P')) s = s.substr(1);
    if (s.empty()) {
        Report(ERROR);
        return;
    }
    NetTarget target;
    bool known;
    if (IsPhoneNumber(s)) {
        auto entry = config_->phoneBook.find(DialDigits(s));
        known = entry != config_->phoneBook.end();
        if (known) target = entry->second;
    } else {
        known = s.find(',') == std::string::npos && ParseNetTarget(s, target);
    }
    if (!known) {
        Report(NO_CARRIER);  // nobody at that number
        return;
    }
    if (ringing_) {
        Act(Action::Kind::RejectCall);
        ringing_ = false;
        regs_[1] = 0;
    }
    state_ = State::Dialing;
    dialStartMs_ = nowMs;
    Act(Action::Kind::Dial, target);
}

void HayesModem::Answer(int64_t nowMs) {
    ringing_ = false;
    regs_[1] = 0;
    Act(Action::Kind::Answer);
    GoOnline(nowMs);
}

void HayesModem::GoOnline(int64_t nowMs) {
    state_ = State::Online;
    lastDteMs_ = nowMs;
    plusCount_ = 0;
    Report(CONNECT);
}

void HayesModem::HangUp() {
    if (state_ == State::Dialing) Act(Action::Kind::CancelDial);
    else if (Connected()) Act(Action::Kind::HangUp);
    state_ = State::Command;
    plusCount_ = 0;
}

// --- network side ---

void HayesModem::DialSucceeded(int64_t nowMs) {
    if (state_ == State::Dialing) GoOnline(nowMs);
}

void HayesModem::DialFailed(DialFailure failure) {
    if (state_ != State::Dialing) return;
    state_ = State::Command;
    Report(failure == DialFailure::Busy ? BUSY : failure == DialFailure::NoAnswer ? NO_ANSWER : NO_CARRIER);
}

void HayesModem::RemoteClosed() {
    if (!Connected()) return;
    state_ = State::Command;
    plusCount_ = 0;
    Report(NO_CARRIER);
}

bool HayesModem::OfferCall(int64_t nowMs) {
    if (state_ != State::Command || ringing_) return false;
    ringing_ = true;
    regs_[1] = 1;
    nextRingMs_ = nowMs + config_->ringIntervalMs;
    Report(RING);
    if (regs_[0] > 0 && regs_[1] >= regs_[0]) Answer(nowMs);
    return true;
}

void HayesModem::CallerGone() {
    ringing_ = false;
    regs_[1] = 0;
}

void HayesModem::Tick(int64_t nowMs) {
    if (state_ == State::Dialing) {
        const int64_t limitMs = static_cast<int64_t>(regs_[7] > 0 ? regs_[7] : 1) * 1000;
        if (nowMs - dialStartMs_ >= limitMs) {
            Act(Action::Kind::CancelDial);
            state_ = State::Command;
            Report(NO_ANSWER);
        }
    }
    if (state_ == State::Online && plusCount_ == 3) {
        const int64_t guardMs = static_cast<int64_t>(regs_[12]) * 20;
        if (nowMs - lastDteMs_ >= guardMs) {
            state_ = State::OnlineCommand;
            plusCount_ = 0;
            Report(OK);
        }
    }
    if (ringing_ && nowMs >= nextRingMs_) {
        ++regs_[1];
        nextRingMs_ = nowMs + config_->ringIntervalMs;
        Report(RING);
        if (regs_[0] > 0 && regs_[1] >= regs_[0]) Answer(nowMs);
    }
}

void HayesModem::SetDtr(bool on) {
    if (on == dtr_) return;
    dtr_ = on;
    if (on || dtrMode_ == 0) return;
    if (dtrMode_ == 1) {
        if (state_ == State::Online) {
            state_ = State::OnlineCommand;
            plusCount_ = 0;
            Report(OK);
        }
        return;
    }
    const bool wasInCall = Connected() || state_ == State::Dialing;
    HangUp();
    if (dtrMode_ == 3) Reset();
    if (wasInCall) Report(NO_CARRIER);
}

}  // namespace zorv
