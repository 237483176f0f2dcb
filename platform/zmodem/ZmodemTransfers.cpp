#include "platform/zmodem/ZmodemTransfers.h"

namespace zorv::zmodem {

std::unique_ptr<TransferSession> MakeDownload(const std::string& folder, const std::string& fileName,
                                              ReceiverOptions options) {
    std::string given = fileName;
    if (!given.empty() && given.find('/') == std::string::npos) given = folder + "/" + given;
    return std::make_unique<ZmodemReceiver>(std::make_unique<DownloadFolder>(folder, given), options);
}

std::unique_ptr<TransferSession> MakeUpload(const std::vector<std::string>& paths, std::string& error,
                                            SenderOptions options) {
    std::vector<std::unique_ptr<SendFile>> files;
    for (const std::string& path : paths) {
        auto file = OpenSendFile(path, error);
        if (!file) return nullptr;
        files.push_back(std::move(file));
    }
    return std::make_unique<ZmodemSender>(std::move(files), options);
}

}  // namespace zorv::zmodem
