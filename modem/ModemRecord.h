#pragma once
// One modem of the modem database (MODEMS.DAT): its make, model, number and the command
// and response strings the library drives it with. The same fields, held per comm
// control, are that control's ModemProfile.
//
// Texts are fixed-width and blank-padded, exactly as stored: whoever uses a text cleans
// it with TRIMCTLCHARS first (and converts caret notation, "^M", where it is sent).
// The byte layout on disk (447 bytes, little-endian, no padding) is written and read by
// config/ModemDatabase.
#include <cstdint>

#include "util/FixedText.h"

namespace zorv {

struct ModemRecord {
    int16_t Deleted = 0;         // -1 = deleted, 0 = live
    int32_t NextOfMake = 0;      // next record of the same make when not the physically next one; 0 = none
    int32_t ModemNumber = 0;     // the modem's identifying number
    FixedText<25> Make;          // manufacturer
    FixedText<40> ModemName;     // model; "Null Modem" stands for a cable without modem
    FixedText<128> InitString;   // initialization command(s), caret notation
    FixedText<30> Attention;     // prefix of every command
    FixedText<50> Hangup;        // hang-up command
    FixedText<30> Reset;         // reset command
    FixedText<30> Answer;        // answer command
    FixedText<30> Dial;          // dial prefix; empty means "ATDT"
    FixedText<30> Busy;          // busy response; empty means "BUSY"
    int32_t HighestBaud = 0;     // highest speed of the modem
    FixedText<40> Connect;       // connect response; empty means "CONNECT"

    friend bool operator==(const ModemRecord&, const ModemRecord&) = default;
};

// Bytes of one record in MODEMS.DAT.
inline constexpr int kModemRecordSize = 447;

// The modem strings of one comm control have the record's layout.
using ModemProfile = ModemRecord;

}  // namespace zorv
