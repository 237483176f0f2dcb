#pragma once
// The parameters both ends announce in the Send-Init packet and its acknowledgement,
// and what they agree on.
//
// Fields, each a tochar number unless said: MAXL, TIME, NPAD, PADC (ctl), EOL, QCTL
// (literal), QBIN (literal: 'Y' will do it if asked, 'N' won't, a prefix character
// asks for it), CHKT ('1' '2' '3'), REPT (literal), CAPAS (bits: 2 long packets,
// 8 attribute packets, 1 another CAPAS byte follows), WINDO, MAXLX1, MAXLX2.
// A missing field takes its default.
#include "platform/kermit/KermitPacket.h"

#include <cstddef>
#include <string>

namespace zorv::kermit {

constexpr int kCapaLongPackets = 2;
constexpr int kCapaAttributes = 8;

struct Params {
    int maxLength = 80;        // longest ordinary packet (LEN) this end takes
    int timeout = 5;           // seconds the other end should wait for us
    int padCount = 0;
    uint8_t padChar = 0;
    uint8_t eol = '\r';
    uint8_t qctl = '#';
    uint8_t qbin = ' ';        // as announced
    int checkType = 1;
    uint8_t rept = ' ';        // as announced
    int capabilities = 0;
    int window = 1;
    size_t maxLongLength = 500;   // longest long packet this end takes, when it takes them
};

std::string EncodeParams(const Params& params);
Params DecodeParams(const std::string& field);

// What one end may use after the exchange.
struct Agreement {
    int checkType = 1;
    Prefixing sending;         // our data: our control prefix, the shared 8th-bit and repeat
    Prefixing receiving;       // their data: their control prefix
    Framing framing;           // what they asked around our packets
    bool longPackets = false;
    bool attributes = false;
    size_t maxSendLength = 80; // longest packet we may send (LEN, or DATA + CHECK when long)
};

Agreement Agree(const Params& ours, const Params& theirs);

}  // namespace zorv::kermit
