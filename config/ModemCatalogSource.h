#pragma once
// The readable source of the shipped modem catalogue (data/modems.txt), turned into the
// records of MODEMS.DAT by the build.
//
// Format: one modem per block of "Key=Value" lines; blocks are separated by blank lines;
// lines starting with "#" are comments. Keys, with the field each fills:
//   Make, Model, HighestBaud, Init                  required
//   Attention, Hangup, Reset, Answer, Dial, Busy,   optional: the record editor's
//   Connect                                         defaults when absent
// Values are printable ASCII and must fit their field (no silent cutting); an empty
// value is allowed for the command strings. The records of one make must stand together
// and a model may appear only once per make. Modems are numbered 1, 2, ... in file order.
#include <string>
#include <vector>

#include "modem/ModemRecord.h"

namespace zorv {

struct CatalogParseResult {
    std::vector<ModemRecord> records;
    std::string error;  // "" when the source was good, else "<name>:<line>: <what is wrong>"
};

// Parses `text`; `sourceName` names it in error messages.
CatalogParseResult ParseModemCatalog(const std::string& text, const std::string& sourceName);

}  // namespace zorv
