#pragma once
// The sessions a comm control starts when Download or Upload is written with
// XferProtocol 0-4. Drive them as TransferSession.h describes.
#include "platform/xymodem/XymodemReceiver.h"
#include "platform/xymodem/XymodemSender.h"

#include <memory>
#include <string>
#include <vector>

namespace zorv::xymodem {

// XferProtocol code (0-4) to its variant; false for any other code.
bool VariantOfProtocol(int protocol, Variant& variant);

// Receives into `folder`: the first file under `fileName` when one is given (relative to
// `folder` unless it has a folder part), otherwise under the name the sender gives
// (YMODEM) or kUnnamedDownload (XMODEM).
std::unique_ptr<TransferSession> MakeDownload(const std::string& folder, const std::string& fileName,
                                              Options options);

// Sends the files (XMODEM: the first only). Null with `error` set when one cannot be read.
std::unique_ptr<TransferSession> MakeUpload(const std::vector<std::string>& paths, std::string& error,
                                            Options options);

}  // namespace zorv::xymodem
