#pragma once
// The sessions a comm control starts when Download or Upload is written with
// XferProtocol 5. Drive them as TransferSession.h describes.
#include "platform/zmodem/ZmodemReceiver.h"
#include "platform/zmodem/ZmodemSender.h"

#include <memory>
#include <string>
#include <vector>

namespace zorv::zmodem {

// Download := "" receives every file under the name its sender gives, made safe, in
// `folder`. Download := "name" receives the first file into that name (relative to
// `folder` unless it has a folder part); further files of a batch keep their own names.
std::unique_ptr<TransferSession> MakeDownload(const std::string& folder, const std::string& fileName,
                                              ReceiverOptions options = {});

// Upload := "name" sends that file; zorvxfer sends a batch. Null with `error` set when
// a file cannot be read.
std::unique_ptr<TransferSession> MakeUpload(const std::vector<std::string>& paths, std::string& error,
                                            SenderOptions options = {});

}  // namespace zorv::zmodem
