#pragma once
// Sending a text file as typed text ("ASCII" transfer): line by line, each followed by
// CR LF, waiting for the control's output to drain before the next line. The outcome is
// LastResult:
//    100 RC_FILE_SENT         the end of the file was reached
//    101 RC_FILE_NOT_FOUND    the file cannot be opened (or is a directory)
//   -102 RC_CANCELED          a cancel request was seen (the request is cleared)
//   -103 RC_CARRIER_LOST      the carrier dropped (only when `cdFlag` is set)
//   -104 RC_PORT_NOT_OPEN     the port is closed (also when it closes during the send)
//   -105 RC_NO_COMM_CONTROL   the control cannot be used
//   -107 RC_ASCII_READ_ERROR  reading the file failed
#include <string>

#include "modem/CommControl.h"

namespace zorv {

void AsciiSend(CommControl& comm, const std::string& fileName, bool cdFlag);

}  // namespace zorv
