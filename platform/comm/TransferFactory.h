#pragma once
// The one place a transfer engine is chosen: protocol number (XferProtocol) and
// direction to a session. A protocol without an engine gives nullptr, and the comm
// control refuses the transfer with an error rather than pretend to run one.
#include <memory>
#include <string>

#include "platform/zmodem/TransferSession.h"

namespace zorv {

enum class TransferDirection { Receive, Send };

// Receive: `fileName` is the name to store the first file under ("" = the names the
// sender gives); files land in `downloadFolder` (a folder part in `fileName` takes its
// place). Send: `fileName` is the file to send; raises zorv::Error 53 when it cannot be read.
std::unique_ptr<TransferSession> MakeTransferSession(int protocol, TransferDirection direction,
                                                     const std::string& fileName,
                                                     const std::string& downloadFolder);

}  // namespace zorv
