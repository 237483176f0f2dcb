#pragma once
// The one place a transfer engine is chosen: protocol number (XferProtocol) and
// direction to a session. A protocol without an engine gives nullptr, and the comm
// control refuses the transfer with an error rather than pretend to run one.
#include <memory>
#include <string>

#include "platform/zmodem/TransferSession.h"

namespace zorv {

enum class TransferDirection { Receive, Send };

// `fileName`: for Receive, the name to store under ("" = the sender's names); for Send,
// the file to send.
std::unique_ptr<TransferSession> MakeTransferSession(int protocol, TransferDirection direction,
                                                     const std::string& fileName);

}  // namespace zorv
