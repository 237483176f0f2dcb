#include "platform/kermit/KermitTransfers.h"

namespace zorv::kermit {

std::unique_ptr<TransferSession> MakeDownload(const std::string& folder, const std::string& fileName,
                                              KermitOptions options) {
    std::string given = fileName;
    if (!given.empty() && given.find('/') == std::string::npos) given = folder + "/" + given;
    return std::make_unique<KermitReceiver>(std::make_unique<zmodem::DownloadFolder>(folder, given), options);
}

std::unique_ptr<TransferSession> MakeUpload(const std::vector<std::string>& paths, std::string& error,
                                            KermitOptions options) {
    std::vector<std::unique_ptr<zmodem::SendFile>> files;
    for (const std::string& path : paths) {
        auto file = zmodem::OpenSendFile(path, error);
        if (!file) return nullptr;
        files.push_back(std::move(file));
    }
    return std::make_unique<KermitSender>(std::move(files), options);
}

}  // namespace zorv::kermit
