#pragma once
// Telnet for the network modem: option negotiation and IAC escaping, bytes in and
// bytes out, no sockets. With binary transmission agreed both ways every byte value
// passes unchanged; before that, a CR sent alone goes out as CR NUL and CR NUL coming
// in becomes CR, as the protocol asks.
//
// Decoder states:
//   Data    --IAC--> Command          Data --CR (peer not binary)--> AfterCr
//   Command --IAC--> Data (one 0xFF)  Command --WILL/WONT/DO/DONT--> Option --opt--> Data
//   Command --SB--> Sub --IAC--> SubIac --SE--> Data (SubIac --other--> Sub)
//   Command --anything else--> Data   AfterCr --NUL--> Data (CR) / --other--> Data (CR, byte)
//
// Options we agree to: binary transmission and suppress go-ahead both ways; the
// server's echo when we call out; our echo when we answer (the host program echoes).
// Everything else is refused. An answer goes out only when an option's state changes,
// so two ends cannot loop.
#include <array>
#include <cstddef>
#include <string>

namespace zorv {

class TelnetCodec {
public:
    enum class Role { Client, Server };

    static constexpr unsigned char IAC = 255, DONT = 254, DO = 253, WONT = 252, WILL = 251, SB = 250,
                                   SE = 240;
    static constexpr unsigned char OPT_BINARY = 0, OPT_ECHO = 1, OPT_SGA = 3;

    explicit TelnetCodec(Role role = Role::Client);

    // The offers to send when the connection stands.
    std::string Start();

    // Bytes from the network: line data is appended to `data`, answers for the
    // network to `reply`.
    void Decode(const char* bytes, size_t length, std::string& data, std::string& reply);

    // Line data for the network, escaped, appended to `out`.
    void Encode(const char* bytes, size_t length, std::string& out) const;

    bool LocalEnabled(unsigned char option) const { return local_[option]; }
    bool RemoteEnabled(unsigned char option) const { return remote_[option]; }

private:
    enum class State { Data, Command, Option, Sub, SubIac, AfterCr };

    bool WeDo(unsigned char option) const;    // we accept the peer's WILL
    bool WeWill(unsigned char option) const;  // we accept the peer's DO
    void Negotiate(unsigned char verb, unsigned char option, std::string& reply);

    Role role_;
    State state_ = State::Data;
    unsigned char verb_ = 0;
    std::array<bool, 256> local_{};          // options we perform
    std::array<bool, 256> remote_{};         // options the peer performs
    std::array<bool, 256> localAsked_{};     // we sent WILL/WONT and wait for the answer
    std::array<bool, 256> remoteAsked_{};    // we sent DO/DONT and wait for the answer
};

}  // namespace zorv
