#include "platform/comm/TelnetCodec.h"

namespace zorv {

namespace {
void Put(std::string& out, unsigned char a, unsigned char b, unsigned char c) {
    out += static_cast<char>(a);
    out += static_cast<char>(b);
    out += static_cast<char>(c);
}
}  // namespace

TelnetCodec::TelnetCodec(Role role) : role_(role) {}

bool TelnetCodec::WeDo(unsigned char option) const {
    if (option == OPT_BINARY || option == OPT_SGA) return true;
    return option == OPT_ECHO && role_ == Role::Client;
}

bool TelnetCodec::WeWill(unsigned char option) const {
    if (option == OPT_BINARY || option == OPT_SGA) return true;
    return option == OPT_ECHO && role_ == Role::Server;
}

std::string TelnetCodec::Start() {
    std::string out;
    for (unsigned char option : {OPT_BINARY, OPT_SGA, OPT_ECHO}) {
        if (WeWill(option) && !local_[option] && !localAsked_[option]) {
            localAsked_[option] = true;
            Put(out, IAC, WILL, option);
        }
        // Asking the server to echo is its choice to make; we only accept it.
        if (WeDo(option) && option != OPT_ECHO && !remote_[option] && !remoteAsked_[option]) {
            remoteAsked_[option] = true;
            Put(out, IAC, DO, option);
        }
    }
    return out;
}

void TelnetCodec::Negotiate(unsigned char verb, unsigned char option, std::string& reply) {
    switch (verb) {
    case DO:
        if (!WeWill(option)) {
            Put(reply, IAC, WONT, option);
        } else if (!local_[option]) {
            local_[option] = true;
            if (!localAsked_[option]) Put(reply, IAC, WILL, option);
        }
        localAsked_[option] = false;
        break;
    case DONT:
        if (local_[option]) {
            local_[option] = false;
            if (!localAsked_[option]) Put(reply, IAC, WONT, option);
        }
        localAsked_[option] = false;
        break;
    case WILL:
        if (!WeDo(option)) {
            Put(reply, IAC, DONT, option);
        } else if (!remote_[option]) {
            remote_[option] = true;
            if (!remoteAsked_[option]) Put(reply, IAC, DO, option);
        }
        remoteAsked_[option] = false;
        break;
    case WONT:
        if (remote_[option]) {
            remote_[option] = false;
            if (!remoteAsked_[option]) Put(reply, IAC, DONT, option);
        }
        remoteAsked_[option] = false;
        break;
    }
}

void TelnetCodec::Decode(const char* bytes, size_t length, std::string& data, std::string& reply) {
    for (size_t i = 0; i < length; ++i) {
        const unsigned char c = static_cast<unsigned char>(bytes[i]);
        switch (state_) {
        case State::AfterCr:
            state_ = State::Data;
            data += '\r';
            if (c == 0) break;
            [[fallthrough]];
        case State::Data:
            if (c == IAC) state_ = State::Command;
            else if (c == '\r' && !remote_[OPT_BINARY]) state_ = State::AfterCr;
            else data += static_cast<char>(c);
            break;
        case State::Command:
            if (c == IAC) {
                data += static_cast<char>(IAC);
                state_ = State::Data;
            } else if (c == WILL || c == WONT || c == DO || c == DONT) {
                verb_ = c;
                state_ = State::Option;
            } else if (c == SB) {
                state_ = State::Sub;
            } else {
                state_ = State::Data;  // NOP, go-ahead, break, ...: nothing for the line
            }
            break;
        case State::Option:
            Negotiate(verb_, c, reply);
            state_ = State::Data;
            break;
        case State::Sub:
            // Subnegotiations of options we refused carry nothing for us: skip them.
            if (c == IAC) state_ = State::SubIac;
            break;
        case State::SubIac:
            state_ = c == SE ? State::Data : State::Sub;
            break;
        }
    }
}

void TelnetCodec::Encode(const char* bytes, size_t length, std::string& out) const {
    out.reserve(out.size() + length + length / 64);
    const bool binary = local_[OPT_BINARY];
    for (size_t i = 0; i < length; ++i) {
        const char c = bytes[i];
        out += c;
        if (static_cast<unsigned char>(c) == IAC) out += c;
        else if (c == '\r' && !binary && (i + 1 == length || bytes[i + 1] != '\n')) out += '\0';
    }
}

}  // namespace zorv
