#pragma once
// The one place a transfer engine is chosen: protocol number (XferProtocol), direction
// and options to a session. The comm control and zorvxfer both start their transfers
// here. A protocol without an engine is refused with an error rather than pretend to
// run one.
#include <memory>
#include <string>
#include <vector>

#include "platform/zmodem/TransferSession.h"

namespace zorv {

enum class TransferDirection { Receive, Send };

struct TransferRequest {
    int protocol = 5;                     // XferProtocol code (modem/CommControl.h)
    TransferDirection direction = TransferDirection::Receive;
    // Send: the files to send, in order (protocols without batches take the first).
    // Receive: empty, or one name to store the first file under ("" = the name the
    // sender gives, or for protocols that carry no name, a name made up).
    std::vector<std::string> files;
    std::string folder = ".";             // Receive: where files land
    double timeout = 10.0;                // seconds of silence before asking again
    int retries = 10;                     // time-outs in a row before giving up
    bool escapeControl = false;           // ZMODEM: escape every control character
    bool allowResume = true;              // continue a partial file proven equal to the offer
};

// Raises zorv::Error 8012 when the protocol has no engine, 53 when a file to send cannot
// be read.
std::unique_ptr<TransferSession> MakeTransferSession(const TransferRequest& request);

// zorvxfer's protocol names ("zmodem", "xmodem", "xmodem-crc", "xmodem-1k", "ymodem",
// "ymodem-g", "kermit") to XferProtocol codes; false for any other name.
bool TransferProtocolByName(const std::string& name, int& protocol);

}  // namespace zorv
