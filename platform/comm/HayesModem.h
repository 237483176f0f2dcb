#pragma once
// The network modem's brain: Hayes AT commands, result codes, S-registers, the "+++"
// escape with guard times, rings and auto-answer. Bytes in, bytes and actions out,
// time passed in as milliseconds of a monotonic clock: no sockets, no timers, so every
// behaviour can be driven byte by byte. NetModem wires it to TCP; call data from the
// remote end does not pass through here (online, the modem only forwards it).
//
// States:
//   Command --ATD--> Dialing --DialSucceeded--> Online (CONNECT)
//   Dialing --DialFailed--> Command (BUSY / NO ANSWER / NO CARRIER)
//   Dialing --S7 seconds pass, or any byte from the terminal--> Command (NO ANSWER / NO CARRIER)
//   Command --OfferCall--> Command+ringing (RING every ring interval) --S0 rings or ATA--> Online
//   Online --guard, "+++", guard--> OnlineCommand (OK) --ATO--> Online (CONNECT)
//   Online / OnlineCommand --ATH, ATZ, remote close, DTR drop (&D2)--> Command
#include <cstdint>
#include <string>
#include <vector>

#include "platform/comm/NetModemConfig.h"

namespace zorv {

class HayesModem {
public:
    enum class DialFailure { Busy, NoAnswer, NoCarrier };
    struct Action {
        enum class Kind { Dial, CancelDial, HangUp, Answer, RejectCall };
        Kind kind;
        NetTarget target;  // Dial only
    };
    // Longest command line kept; a longer one is answered with ERROR.
    static constexpr size_t kMaxCommandLine = 255;
    static constexpr const char* kIdentity = "ZORV Network Modem";

    explicit HayesModem(const NetModemConfig& config);

    // --- inputs ---
    void FromDte(const char* bytes, size_t length, int64_t nowMs);
    void Tick(int64_t nowMs);
    void SetDtr(bool on);
    void DialSucceeded(int64_t nowMs);
    void DialFailed(DialFailure failure);
    void RemoteClosed();
    // An incoming call: true when the modem rings for it, false when it is busy.
    bool OfferCall(int64_t nowMs);
    void CallerGone();
    void SetDteRate(int baud) { dteRate_ = baud; }

    // --- outputs ---
    std::string TakeToDte();
    std::string TakeToNet();
    std::vector<Action> TakeActions();

    // --- state ---
    bool Online() const { return state_ == State::Online; }
    bool Connected() const { return state_ == State::Online || state_ == State::OnlineCommand; }
    bool Dialing() const { return state_ == State::Dialing; }
    bool Ringing() const { return ringing_; }
    bool Carrier() const;             // the carrier-detect line as &C sets it
    bool WantsListening() const { return regs_[0] > 0; }
    bool NeedsTick() const;
    int Register(int n) const { return regs_[n & 255]; }

private:
    enum class State { Command, Dialing, Online, OnlineCommand };
    enum Result { OK = 0, CONNECT = 1, RING = 2, NO_CARRIER = 3, ERROR = 4, BUSY = 7, NO_ANSWER = 8 };

    void CommandByte(char c, int64_t nowMs);
    void RunLine(const std::string& line, int64_t nowMs);
    bool Execute(const std::string& commands, int64_t nowMs);  // false: ERROR
    void Dial(const std::string& dialString, int64_t nowMs);
    void Answer(int64_t nowMs);
    void GoOnline(int64_t nowMs);
    void HangUp();
    void Reset();
    void Report(Result result);
    void Info(const std::string& text);
    void Act(Action::Kind kind, NetTarget target = {});

    const NetModemConfig* config_;
    State state_ = State::Command;
    int regs_[256] = {};
    bool echo_ = true, verbose_ = true, quiet_ = false;
    int carrierMode_ = 1;  // &C
    int dtrMode_ = 2;      // &D
    bool dtr_ = true;
    int dteRate_ = 9600;

    std::string line_;
    bool lineTooLong_ = false;
    std::string lastLine_;

    int64_t dialStartMs_ = 0;
    int64_t lastDteMs_ = 0;
    int plusCount_ = 0;
    bool ringing_ = false;
    int64_t nextRingMs_ = 0;

    std::string toDte_, toNet_;
    std::vector<Action> actions_;
};

}  // namespace zorv
