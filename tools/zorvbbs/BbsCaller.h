#pragma once
// One caller's session with the board: the login dialogue, the main menu and a file
// sent with ZMODEM. Bytes in, bytes out, time given by the caller; no socket here.
//
//   Graphics ---> FirstName ---> LastName --(variant B)--> Password --> MessageScan
//                                    |                         | wrong: once more,
//                                    |                         | then Goodbye
//                                    +--(variant A: the password)--> RegisterOrContinue
//                                           --> RegisterNew --> MessageScan
//   MessageScan --> MainMenu --D--> FileName --found--> Protocol --Z--> Transfer
//                      ^  ^             |unknown/empty       |empty        |
//                      |  +-------------+--------------------+             |
//                      +----------------------------------------------------+ (ended)
//   MainMenu --G--> Goodbye (hang up). Silence longer than the idle limit: Goodbye.
//
// Every prompt ends with the one "?" it holds, since a login script waits for "?" and
// would take an earlier one for the prompt. Answers are lines ended by CR; what the
// caller types ahead waits for its prompt, so a script that answers early still lines
// up. Typed characters are echoed (secret fields as "*"), as the board echoes for the
// telnet caller.
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/zmodem/TransferSession.h"
#include "tools/zorvbbs/Accounts.h"
#include "tools/zorvbbs/FileArea.h"

namespace zorv::bbs {

// The texts callers and login scripts see.
inline constexpr const char* kGraphicsPrompt = "Do you want ANSI graphics (Y/N)?";
inline constexpr const char* kFirstNamePrompt = "What is your FIRST name?";
inline constexpr const char* kLastNamePrompt = "What is your LAST name?";
inline constexpr const char* kPasswordPrompt = "Password?";
inline constexpr const char* kRegisterOrContinuePrompt = "(R)egister or (C)ontinue?";
inline constexpr const char* kRegisterNewPrompt = "Register as a new user (Y/N)?";
inline constexpr const char* kMessageScanPrompt = "Scan Message Base Since 'Last read' (Enter)=yes?";
inline constexpr const char* kMainMenuPrompt = "Main Menu command?";
inline constexpr const char* kFileNamePrompt = "File name to download (Enter quits)?";
inline constexpr const char* kProtocolPrompt = "Protocol: (Z)MODEM, Enter quits?";
inline constexpr const char* kWrongPassword = "Incorrect password.";
inline constexpr const char* kGoodbye = "Goodbye";

struct CallerOptions {
    double idleLimit = 300;          // seconds without a keystroke before hanging up
    double transferTimeout = 10;     // ZMODEM: seconds without an answer before asking again
};

class BbsCaller {
public:
    // `log` receives one line per notable event (no line end).
    BbsCaller(const Accounts& accounts, const FileArea& area, CallerOptions options,
              std::function<void(const std::string&)> log);
    ~BbsCaller();

    // The call stands: the greeting and the first prompt.
    void Start(double now);
    // Line data from the caller.
    void Feed(const char* data, size_t length, double now);
    // Time passes (time-outs of the dialogue and the transfer).
    void Tick(double now);

    // Up to `room` bytes for the line.
    std::string TakeOutput(size_t room);
    bool HasOutput();

    // The board has said goodbye: hang up once the output is out.
    bool HangUpRequested() const { return hangUp_; }
    // The line dropped under the session.
    void CarrierLost();

    bool InTransfer() const { return transfer_ != nullptr; }
    // Bytes of ZMODEM stream handed out by the current (or last) transfer.
    long long TransferBytesOut() const { return transferBytes_; }

private:
    enum class State {
        Graphics, FirstName, LastName, Password, RegisterOrContinue, RegisterNew,
        MessageScan, MainMenu, FileName, Protocol, Transfer, Done
    };

    void Prompt(State state);
    void Say(const std::string& line);
    void OnLine(const std::string& line);
    void PasswordChecked(bool ok, State promptAgain);
    void ShowMenu();
    void ListFiles();
    void StartTransfer();
    void TransferEnded();
    void SayGoodbye(const std::string& why);
    bool SecretField() const;

    const Accounts& accounts_;
    const FileArea& area_;
    CallerOptions options_;
    std::function<void(const std::string&)> log_;

    State state_ = State::Graphics;
    std::string out_;
    std::string input_;          // typed ahead, not yet taken as lines
    std::string line_;           // the line being typed at the current prompt
    bool lineHasCan_ = false;
    double now_ = 0;
    double lastKey_ = 0;
    bool hangUp_ = false;

    std::string firstName_;
    std::optional<Account> account_;
    int passwordFailures_ = 0;

    std::unique_ptr<zmodem::SendFile> pendingFile_;
    std::unique_ptr<TransferSession> transfer_;
    long long transferBytes_ = 0;
};

}  // namespace zorv::bbs
