#pragma once
// The sessions a comm control starts when Download or Upload is written with
// XferProtocol 6. Drive them as TransferSession.h describes.
#include "platform/kermit/KermitReceiver.h"
#include "platform/kermit/KermitSender.h"

#include <memory>
#include <string>
#include <vector>

namespace zorv::kermit {

// Download := "" receives every file under the name its sender gives, made safe, in
// `folder`; Download := "name" receives the first file into that name (relative to
// `folder` unless it has a folder part).
std::unique_ptr<TransferSession> MakeDownload(const std::string& folder, const std::string& fileName,
                                              KermitOptions options = {});

// Sends the files in order. Null with `error` set when a file cannot be read.
std::unique_ptr<TransferSession> MakeUpload(const std::vector<std::string>& paths, std::string& error,
                                            KermitOptions options = {});

}  // namespace zorv::kermit
