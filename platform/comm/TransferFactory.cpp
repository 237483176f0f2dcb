#include "platform/comm/TransferFactory.h"

#include <vector>

#include "modem/CommControl.h"
#include "platform/zmodem/FileStore.h"
#include "platform/zmodem/ZmodemReceiver.h"
#include "platform/zmodem/ZmodemSender.h"
#include "util/Error.h"

namespace zorv {

namespace {

// A receiving session together with the folder it writes into, so the folder lives
// exactly as long as the session that uses it.
class FolderReceiveSession : public TransferSession {
public:
    FolderReceiveSession(const std::string& folder, const std::string& fileName)
        : store_(folder, fileName), receiver_(store_) {
        receiver_.SetStatusHandler([this](int status) { reportStatus(status); });
    }
    void Start(double now) override { receiver_.Start(now); }
    void Tick(double now) override { receiver_.Tick(now); }
    void Feed(const uint8_t* data, size_t length) override { receiver_.Feed(data, length); }
    bool WantsToSend() override { return receiver_.WantsToSend(); }
    size_t TakeOutgoing(uint8_t* buffer, size_t max) override { return receiver_.TakeOutgoing(buffer, max); }
    void Abort() override { receiver_.Abort(); }
    void CarrierLost() override { receiver_.CarrierLost(); }
    int Status() const override { return receiver_.Status(); }
    bool Finished() const override { return receiver_.Finished(); }
    TransferProgress Progress() const override { return receiver_.Progress(); }

private:
    zmodem::DownloadFolder store_;
    zmodem::ZmodemReceiver receiver_;
};

}  // namespace

std::unique_ptr<TransferSession> MakeTransferSession(int protocol, TransferDirection direction,
                                                     const std::string& fileName,
                                                     const std::string& downloadFolder) {
    if (protocol != XFER_ZMODEM) return nullptr;  // the other protocols have no engine yet
    if (direction == TransferDirection::Receive)
        return std::make_unique<FolderReceiveSession>(downloadFolder.empty() ? "." : downloadFolder, fileName);
    std::string error;
    std::unique_ptr<zmodem::SendFile> file = zmodem::OpenSendFile(fileName, error);
    if (!file) throw Error(ErrorNumber::FileNotFound, "Cannot send " + fileName + ": " + error);
    std::vector<std::unique_ptr<zmodem::SendFile>> files;
    files.push_back(std::move(file));
    return std::make_unique<zmodem::ZmodemSender>(std::move(files));
}

}  // namespace zorv
