#include "platform/comm/TransferFactory.h"

#include "modem/CommControl.h"
#include "platform/kermit/KermitTransfers.h"
#include "platform/xymodem/XymodemTransfers.h"
#include "platform/zmodem/ZmodemTransfers.h"
#include "util/Error.h"

namespace zorv {

namespace {

std::unique_ptr<TransferSession> MakeZmodem(const TransferRequest& request) {
    if (request.direction == TransferDirection::Receive) {
        zmodem::ReceiverOptions options;
        options.timeout = request.timeout;
        options.maxRetries = request.retries;
        options.escapeControl = request.escapeControl;
        options.allowResume = request.allowResume;
        return zmodem::MakeDownload(request.folder, request.files.empty() ? "" : request.files.front(), options);
    }
    zmodem::SenderOptions options;
    options.timeout = request.timeout;
    options.maxRetries = request.retries;
    options.escapeControl = request.escapeControl;
    std::string error;
    auto session = zmodem::MakeUpload(request.files, error, options);
    if (!session) throw Error(ErrorNumber::FileNotFound, error);
    return session;
}

std::unique_ptr<TransferSession> MakeXymodem(const TransferRequest& request) {
    xymodem::Options options;
    xymodem::VariantOfProtocol(request.protocol, options.variant);
    options.timeout = request.timeout;
    options.maxRetries = request.retries;
    if (request.direction == TransferDirection::Receive)
        return xymodem::MakeDownload(request.folder, request.files.empty() ? "" : request.files.front(), options);
    std::string error;
    auto session = xymodem::MakeUpload(request.files, error, options);
    if (!session) throw Error(ErrorNumber::FileNotFound, error);
    return session;
}

std::unique_ptr<TransferSession> MakeKermit(const TransferRequest& request) {
    kermit::KermitOptions options;
    options.timeout = request.timeout;
    options.maxRetries = request.retries;
    if (request.direction == TransferDirection::Receive)
        return kermit::MakeDownload(request.folder, request.files.empty() ? "" : request.files.front(), options);
    std::string error;
    auto session = kermit::MakeUpload(request.files, error, options);
    if (!session) throw Error(ErrorNumber::FileNotFound, error);
    return session;
}

}  // namespace

std::unique_ptr<TransferSession> MakeTransferSession(const TransferRequest& request) {
    if (request.direction == TransferDirection::Send && request.files.empty())
        throw Error(ErrorNumber::FileNotFound, "No file to send");
    switch (request.protocol) {
    case XFER_XMODEM_CHECKSUM:
    case XFER_XMODEM_CRC:
    case XFER_XMODEM_1K:
    case XFER_YMODEM_BATCH:
    case XFER_YMODEM_G:
        return MakeXymodem(request);
    case XFER_ZMODEM:
        return MakeZmodem(request);
    case XFER_KERMIT:
        return MakeKermit(request);
    default:
        throw Error(ErrorNumber::OperationNotValid,
                    "No transfer engine for protocol " + std::to_string(request.protocol));
    }
}

bool TransferProtocolByName(const std::string& name, int& protocol) {
    static const struct {
        const char* name;
        int protocol;
    } kNames[] = {
        {"xmodem", XFER_XMODEM_CHECKSUM}, {"xmodem-crc", XFER_XMODEM_CRC}, {"xmodem-1k", XFER_XMODEM_1K},
        {"ymodem", XFER_YMODEM_BATCH},    {"ymodem-g", XFER_YMODEM_G},     {"zmodem", XFER_ZMODEM},
        {"kermit", XFER_KERMIT},
    };
    for (const auto& entry : kNames) {
        if (name == entry.name) {
            protocol = entry.protocol;
            return true;
        }
    }
    return false;
}

}  // namespace zorv
