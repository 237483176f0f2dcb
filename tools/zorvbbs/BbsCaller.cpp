#include "tools/zorvbbs/BbsCaller.h"

#include <cstdio>
#include <vector>

#include "platform/zmodem/ZmodemSender.h"

namespace zorv::bbs {

namespace {

constexpr size_t kMaxLine = 80;

std::string Upper(std::string text) {
    for (char& c : text)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return text;
}

std::string Trim(const std::string& text) {
    const size_t first = text.find_first_not_of(' ');
    if (first == std::string::npos) return "";
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

const char* StatusName(int status) {
    switch (status) {
    case 0: return "complete";
    case -1: return "failed";
    case 6: return "cancelled";
    case 8: return "carrier lost";
    case 9: return "timed out";
    default: return "ended";
    }
}

}  // namespace

BbsCaller::BbsCaller(const Accounts& accounts, const FileArea& area, CallerOptions options,
                     std::function<void(const std::string&)> log)
    : accounts_(accounts), area_(area), options_(options), log_(std::move(log)) {}

BbsCaller::~BbsCaller() = default;

void BbsCaller::Start(double now) {
    now_ = lastKey_ = now;
    Say("");
    Say("Welcome to the ZORV demo board.");
    Say("A small board for trying out dialers: log in, pick a file, download it.");
    Say("");
    Prompt(State::Graphics);
}

void BbsCaller::Say(const std::string& line) {
    out_ += line;
    out_ += "\r\n";
}

void BbsCaller::Prompt(State state) {
    state_ = state;
    line_.clear();
    switch (state) {
    case State::Graphics: out_ += kGraphicsPrompt; break;
    case State::FirstName: out_ += kFirstNamePrompt; break;
    case State::LastName: out_ += kLastNamePrompt; break;
    case State::Password: out_ += kPasswordPrompt; break;
    case State::RegisterOrContinue: out_ += kRegisterOrContinuePrompt; break;
    case State::RegisterNew: out_ += kRegisterNewPrompt; break;
    case State::MessageScan: out_ += kMessageScanPrompt; break;
    case State::MainMenu: out_ += kMainMenuPrompt; break;
    case State::FileName: out_ += kFileNamePrompt; break;
    case State::Protocol: out_ += kProtocolPrompt; break;
    case State::Transfer:
    case State::Done: return;
    }
    out_ += ' ';
}

bool BbsCaller::SecretField() const {
    return state_ == State::Password ||
           (state_ == State::LastName && account_ && account_->variant == LoginVariant::A);
}

void BbsCaller::Feed(const char* data, size_t length, double now) {
    now_ = now;
    for (size_t i = 0; i < length; ++i) {
        if (state_ == State::Done) return;
        if (transfer_) {
            transfer_->Tick(now_);
            transfer_->Feed(reinterpret_cast<const uint8_t*>(data + i), length - i);
            if (transfer_->Finished() && !transfer_->WantsToSend()) TransferEnded();
            return;
        }
        const unsigned char c = static_cast<unsigned char>(data[i]);
        if (c == '\r') {
            lastKey_ = now_;
            out_ += "\r\n";
            const std::string line = line_;
            const bool frame = lineHasCan_;
            line_.clear();
            lineHasCan_ = false;
            // A receiver's late frames after a transfer carry CAN; nobody types one.
            if (!frame) OnLine(line);
        } else if (c == 8 || c == 127) {
            if (!line_.empty()) {
                line_.pop_back();
                out_ += "\b \b";
            }
        } else if (c == 0x18) {
            lineHasCan_ = true;
        } else if (c >= 0x20 && line_.size() < kMaxLine) {
            lastKey_ = now_;
            line_ += static_cast<char>(c);
            out_ += SecretField() ? '*' : static_cast<char>(c);
        }
        // LF after CR, other control characters and overlong input are dropped.
    }
}

void BbsCaller::Tick(double now) {
    now_ = now;
    if (transfer_) {
        transfer_->Tick(now);
        if (transfer_->Finished() && !transfer_->WantsToSend()) TransferEnded();
        return;
    }
    if (state_ != State::Done && !hangUp_ && now_ - lastKey_ > options_.idleLimit) SayGoodbye("idle");
}

void BbsCaller::OnLine(const std::string& typed) {
    const std::string answer = Trim(typed);
    const std::string key = Upper(answer.substr(0, 1));
    switch (state_) {
    case State::Graphics:
        Prompt(State::FirstName);
        break;
    case State::FirstName:
        if (answer.empty()) {
            Prompt(State::FirstName);
            break;
        }
        firstName_ = answer;
        account_ = accounts_.Find(answer);
        log_("first name " + answer + (account_ ? "" : " (no such account)"));
        Prompt(State::LastName);
        break;
    case State::LastName:
        if (account_ && account_->variant == LoginVariant::A) PasswordChecked(typed == account_->password, State::LastName);
        else Prompt(State::Password);
        break;
    case State::Password:
        PasswordChecked(account_ && typed == account_->password, State::Password);
        break;
    case State::RegisterOrContinue:
        if (key == "C") Prompt(State::RegisterNew);
        else {
            if (key == "R") Say("You are registered already.");
            Prompt(State::RegisterOrContinue);
        }
        break;
    case State::RegisterNew:
        if (key == "Y") Say("Registration is closed on this board; carrying on with your account.");
        Prompt(State::MessageScan);
        break;
    case State::MessageScan:
        if (key != "N") Say("No new messages.");
        ShowMenu();
        break;
    case State::MainMenu:
        if (key == "D") Prompt(State::FileName);
        else if (key == "F") {
            ListFiles();
            ShowMenu();
        } else if (key == "G") SayGoodbye("caller chose goodbye");
        else {
            if (!answer.empty()) Say("Unknown command.");
            ShowMenu();
        }
        break;
    case State::FileName: {
        if (answer.empty()) {
            ShowMenu();
            break;
        }
        std::string error;
        pendingFile_ = area_.Find(answer, error);
        if (!pendingFile_) {
            log_("asked for " + answer + ": not in the file area");
            Say(error);
            ShowMenu();
            break;
        }
        Say("File: " + pendingFile_->Name() + ", " + std::to_string(pendingFile_->Size()) + " bytes");
        Prompt(State::Protocol);
        break;
    }
    case State::Protocol:
        if (key == "Z") StartTransfer();
        else if (answer.empty()) {
            pendingFile_.reset();
            ShowMenu();
        } else {
            Say("Only ZMODEM is offered here.");
            Prompt(State::Protocol);
        }
        break;
    case State::Transfer:
    case State::Done:
        break;
    }
}

void BbsCaller::PasswordChecked(bool ok, State promptAgain) {
    if (ok) {
        passwordFailures_ = 0;
        log_("logged in as " + account_->name);
        Say("");
        Say("Welcome back, " + account_->name + ".");
        Prompt(account_->variant == LoginVariant::A ? State::RegisterOrContinue : State::MessageScan);
        return;
    }
    ++passwordFailures_;
    log_("wrong password for " + firstName_ + " (" + std::to_string(passwordFailures_) + ")");
    Say(kWrongPassword);
    if (passwordFailures_ >= 2) SayGoodbye("two wrong passwords");
    else Prompt(promptAgain);
}

void BbsCaller::ShowMenu() {
    Say("");
    Say("Main Menu");
    Say("  D  Download a file");
    Say("  F  List the files");
    Say("  G  Goodbye (hang up)");
    Prompt(State::MainMenu);
}

void BbsCaller::ListFiles() {
    Say("");
    for (const FileArea::Entry& entry : area_.List()) {
        char line[400];
        std::snprintf(line, sizeof line, "  %-30s %12lld bytes", entry.name.c_str(), entry.size);
        Say(line);
    }
}

void BbsCaller::StartTransfer() {
    log_("sending " + pendingFile_->Name() + " (" + std::to_string(pendingFile_->Size()) + " bytes) with ZMODEM");
    Say("Start your ZMODEM download now.");
    std::vector<std::unique_ptr<zmodem::SendFile>> files;
    files.push_back(std::move(pendingFile_));
    zmodem::SenderOptions options;
    options.timeout = options_.transferTimeout;
    transfer_ = std::make_unique<zmodem::ZmodemSender>(std::move(files), options);
    transferBytes_ = 0;
    state_ = State::Transfer;
    transfer_->Start(now_);
}

void BbsCaller::TransferEnded() {
    const int status = transfer_->Status();
    const TransferProgress progress = transfer_->Progress();
    transfer_.reset();
    // A caller that hangs up as soon as its file is in skips the closing handshake: the
    // file was delivered all the same.
    log_(std::string("transfer ") + StatusName(status) + " at byte " + std::to_string(progress.bytesDone) +
         (progress.lastMessage.empty() ? "" : ": " + progress.lastMessage) +
         (status != 0 && progress.filesDone > 0 ? " (the file was delivered)" : ""));
    if (state_ == State::Done) return;
    lastKey_ = now_;
    Say("");
    Say(status == 0 ? "Transfer complete." : "Transfer did not complete.");
    ShowMenu();
}

void BbsCaller::SayGoodbye(const std::string& why) {
    log_("hanging up: " + why);
    Say(kGoodbye);
    state_ = State::Done;
    hangUp_ = true;
}

void BbsCaller::CarrierLost() {
    if (state_ == State::Done && !transfer_) return;
    state_ = State::Done;
    if (transfer_) {
        transfer_->CarrierLost();
        TransferEnded();
    }
}

bool BbsCaller::HasOutput() {
    return !out_.empty() || (transfer_ && transfer_->WantsToSend());
}

std::string BbsCaller::TakeOutput(size_t room) {
    std::string chunk = out_.substr(0, room);
    out_.erase(0, chunk.size());
    if (transfer_ && chunk.size() < room && transfer_->WantsToSend()) {
        const size_t before = chunk.size();
        chunk.resize(room);
        const size_t n = transfer_->TakeOutgoing(reinterpret_cast<uint8_t*>(chunk.data() + before), room - before);
        chunk.resize(before + n);
        transferBytes_ += static_cast<long long>(n);
        if (transfer_->Finished() && !transfer_->WantsToSend()) TransferEnded();
    }
    return chunk;
}

}  // namespace zorv::bbs
