#include "platform/xymodem/XymodemTransfers.h"

#include "modem/CommControl.h"

namespace zorv::xymodem {

bool VariantOfProtocol(int protocol, Variant& variant) {
    switch (protocol) {
    case XFER_XMODEM_CHECKSUM: variant = Variant::XmodemChecksum; return true;
    case XFER_XMODEM_CRC: variant = Variant::XmodemCrc; return true;
    case XFER_XMODEM_1K: variant = Variant::Xmodem1K; return true;
    case XFER_YMODEM_BATCH: variant = Variant::Ymodem; return true;
    case XFER_YMODEM_G: variant = Variant::YmodemG; return true;
    default: return false;
    }
}

std::unique_ptr<TransferSession> MakeDownload(const std::string& folder, const std::string& fileName,
                                              Options options) {
    return std::make_unique<XymodemReceiver>(std::make_unique<zmodem::DownloadFolder>(folder, fileName), options);
}

std::unique_ptr<TransferSession> MakeUpload(const std::vector<std::string>& paths, std::string& error,
                                            Options options) {
    std::vector<std::unique_ptr<zmodem::SendFile>> files;
    for (const auto& path : paths) {
        auto file = zmodem::OpenSendFile(path, error);
        if (!file) return nullptr;
        files.push_back(std::move(file));
        if (!IsBatch(options.variant)) break;
    }
    if (files.empty()) {
        error = "no file to send";
        return nullptr;
    }
    return std::make_unique<XymodemSender>(std::move(files), options);
}

}  // namespace zorv::xymodem
