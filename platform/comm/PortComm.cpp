#include "platform/comm/PortComm.h"

#include <QApplication>
#include <QTimer>
#include <algorithm>
#include <string_view>

#include "platform/comm/LineSettings.h"
#include "platform/comm/NetModem.h"
#include "platform/comm/SerialComm.h"
#include "platform/comm/TransferProgressWindow.h"
#include "platform/comm/TransferFactory.h"
#include "util/Error.h"
#include "util/EventHandler.h"

namespace zorv {

namespace {

constexpr std::string_view kZmodemStart{"**\x18" "B00", 6};
constexpr size_t kRoomWhileConsuming = 64 * 1024;  // screen or transfer take data at once
constexpr size_t kTransferInFlight = 64 * 1024;    // engine output handed to the line ahead
constexpr int kTransferTickMs = 50;
constexpr size_t kRetiredLinesKept = 4;

[[noreturn]] void BadValue(const std::string& member) {
    throw Error(ErrorNumber::InvalidPropertyValue, "Invalid property value: " + member);
}

}  // namespace

PortComm::PortComm(PortResolver resolver) : resolver_(std::move(resolver)) {
    clock_.start();
    screen_.SetAnswerHandler([this](const std::string& answer) {
        if (open_ && autoProcess_ != 0) line_->Write(answer.data(), answer.size());
    });
}

PortComm::~PortComm() {
    handler_ = nullptr;  // no notifications while going away
    if (open_) CloseLine();
}

void PortComm::RequireOpen(const char* member) const {
    if (!open_) throw Error(ErrorNumber::PortNotOpen, std::string("Port not open (") + member + ")");
}

void PortComm::Raise(int code) {
    eventCode_ = code;
    if (handler_) {
        auto handler = handler_;  // the handler may replace itself
        RunEventHandler(handler);
    }
}

// --- port ---

void PortComm::SetCommPort(int port) {
    if (open_) throw Error(ErrorNumber::PortAlreadyOpen, "Port already open");
    if (port < 1 || port > 255) throw Error(ErrorNumber::InvalidPortNumber, "Invalid Port Number");
    port_ = port;
}

void PortComm::SetSettings(const std::string& settings) {
    const LineSettings parsed = ParseLineSettings(settings);
    if (open_) line_->ApplySettings(parsed);
    settings_ = FormatLineSettings(parsed);
}

void PortComm::SetPortOpen(bool open) {
    if (!open) {
        if (open_) CloseLine();
        return;
    }
    if (open_) throw Error(ErrorNumber::PortAlreadyOpen, "Port already open");
    const PortTarget target = resolver_(port_);
    std::unique_ptr<CommLine> line;
    if (target.kind == PortTarget::Kind::NetModem) line = std::make_unique<NetModem>(target.modem);
    else line = std::make_unique<SerialComm>(target.device);

    LineSetup setup;
    setup.settings = ParseLineSettings(settings_);
    setup.dtr = dtr_;
    setup.rts = rts_;
    setup.handshaking = handshaking_;
    setup.intervalMs = interval_;
    LineSink sink;
    sink.room = [this] { return ReceiveRoom(); };
    sink.received = [this](const char* bytes, size_t length) { Received(bytes, length); };
    sink.carrierChanged = [this] { CarrierChanged(); };
    sink.drained = [this] { PumpTransfer(); };

    if (retired_.size() > kRetiredLinesKept) retired_.erase(retired_.begin());
    inBuffer_.clear();
    zmodemTail_.clear();
    line_ = std::move(line);
    open_ = true;  // the line may report (a modem's first words) while opening
    try {
        line_->Open(setup, std::move(sink));
    } catch (...) {
        open_ = false;
        retired_.push_back(std::move(line_));
        throw;
    }
    carrier_ = line_->Carrier();
}

void PortComm::CloseLine() {
    if (TransferRunning()) {
        session_->Abort();
        PumpTransfer();
    }
    EndTransfer();
    open_ = false;
    line_->Close();
    retired_.push_back(std::move(line_));
    inBuffer_.clear();
    carrier_ = false;
    ReportStatuses();  // a transfer cut off by the close ends with its final status
}

// --- data ---

void PortComm::SetOutput(const std::string& data) {
    RequireOpen("Output");
    line_->Write(data.data(), data.size());
}

std::string PortComm::Input() {
    RequireOpen("Input");
    const size_t n = inputLen_ > 0 ? std::min<size_t>(inputLen_, inBuffer_.size()) : inBuffer_.size();
    std::string out;
    if (n == inBuffer_.size()) {
        out.swap(inBuffer_);
    } else {
        out = inBuffer_.substr(0, n);
        inBuffer_.erase(0, n);
    }
    if (n > 0) line_->ResumeReceive();
    return out;
}

void PortComm::SetInputLen(int length) {
    if (length < 0) BadValue("InputLen");
    inputLen_ = length;
}

void PortComm::SetInBufferCount(int count) {
    if (count != 0) BadValue("InBufferCount");
    inBuffer_.clear();
    if (open_) {
        line_->DiscardInput();
        line_->ResumeReceive();
    }
}

int PortComm::OutBufferCount() const {
    return open_ ? static_cast<int>(std::min<size_t>(line_->OutPending(), 0x7fffffff)) : 0;
}

void PortComm::SetOutBufferCount(int count) {
    if (count != 0) BadValue("OutBufferCount");
    if (open_) line_->DiscardOutput();
}

bool PortComm::CDHolding() const { return open_ && line_->Carrier(); }

void PortComm::SetDTREnable(bool on) {
    dtr_ = on;
    if (open_) line_->SetDtr(on);
}

void PortComm::SetRTSEnable(bool on) {
    rts_ = on;
    if (open_) line_->SetRts(on);
}

void PortComm::SetHandshaking(int mode) {
    if (mode < 0 || mode > 3) BadValue("Handshaking");
    if (open_) line_->SetHandshaking(mode);
    handshaking_ = mode;
}

void PortComm::SetRThreshold(int count) {
    if (count < 0) BadValue("RThreshold");
    rThreshold_ = count;
}

void PortComm::SetInterval(int milliseconds) {
    if (milliseconds < 0) BadValue("Interval");
    interval_ = milliseconds;
    if (open_) line_->SetInterval(milliseconds);
}

size_t PortComm::ReceiveRoom() const {
    if (TransferRunning() || autoProcess_ != 0) return kRoomWhileConsuming;
    return inBuffer_.size() >= kInputLimit ? 0 : kInputLimit - inBuffer_.size();
}

bool PortComm::SpotZmodemStart(const char* bytes, size_t length) {
    // Look at the seam with the previous read first, then inside this one.
    const size_t keep = kZmodemStart.size() - 1;
    std::string seam = zmodemTail_;
    seam.append(bytes, std::min(length, keep));
    bool found = seam.find(kZmodemStart) != std::string::npos ||
                 std::string_view(bytes, length).find(kZmodemStart) != std::string_view::npos;
    if (length >= keep) zmodemTail_.assign(bytes + length - keep, keep);
    else zmodemTail_ = seam.substr(seam.size() > keep ? seam.size() - keep : 0);
    return found;
}

void PortComm::Received(const char* bytes, size_t length) {
    if (!open_) return;
    if (TransferRunning()) {
        session_->Feed(reinterpret_cast<const uint8_t*>(bytes), length);
        PumpTransfer();
        ReportStatuses();
        return;
    }
    const bool zmodemStart = SpotZmodemStart(bytes, length);
    if (autoProcess_ != 0) {
        screen_.Feed(bytes, length);
    } else {
        inBuffer_.append(bytes, length);
        if (rThreshold_ > 0 && inBuffer_.size() >= static_cast<size_t>(rThreshold_)) Raise(COMM_EV_RECEIVE);
    }
    if (zmodemStart && open_ && !TransferRunning()) Raise(COMM_EV_ZMODEM_START);
}

void PortComm::CarrierChanged() {
    if (!open_) return;
    const bool now = line_->Carrier();
    const bool dropped = carrier_ && !now;
    carrier_ = now;
    if (!dropped) return;
    if (TransferRunning()) {
        session_->CarrierLost();
        ReportStatuses();
    }
    if (open_) Raise(COMM_EV_CARRIER_DROP);
}

// --- transfers ---

void PortComm::SetXferProtocol(int protocol) {
    if (protocol < XFER_XMODEM_CHECKSUM || protocol > XFER_CSERVE_BPLUS) BadValue("XferProtocol");
    xferProtocol_ = protocol;
}

void PortComm::SetDownload(const std::string& fileName) {
    StartTransfer(static_cast<int>(TransferDirection::Receive), fileName);
}

void PortComm::SetUpload(const std::string& fileName) {
    StartTransfer(static_cast<int>(TransferDirection::Send), fileName);
}

bool PortComm::TransferProgressOf(TransferProgress& progress) const {
    const TransferSession* session = session_ ? session_.get()
                                     : retiredSessions_.empty() ? nullptr
                                                                : retiredSessions_.back().get();
    if (!session) return false;
    progress = session->Progress();
    return true;
}

bool PortComm::TransferRunning() const { return session_ && !session_->Finished(); }

void PortComm::StartTransfer(int direction, const std::string& fileName) {
    RequireOpen(direction == static_cast<int>(TransferDirection::Receive) ? "Download" : "Upload");
    if (TransferRunning()) throw Error(ErrorNumber::OperationNotValid, "A file transfer is already running");
    TransferRequest request;
    request.protocol = xferProtocol_;
    request.direction = static_cast<TransferDirection>(direction);
    if (request.direction == TransferDirection::Send || !fileName.empty()) request.files = {fileName};
    if (!downloadFolder_.empty()) request.folder = downloadFolder_;
    std::unique_ptr<TransferSession> session = MakeTransferSession(request);
    EndTransfer();
    retiredSessions_.clear();  // none of them is running any more
    session_ = std::move(session);
    session_->SetStatusHandler([this](int status) { statusQueue_.push_back(status); });
    session_->Start(Seconds());
    // What arrived before the start (a sender's first frames) belongs to the transfer.
    if (direction == static_cast<int>(TransferDirection::Receive) && !inBuffer_.empty()) {
        const std::string early = std::move(inBuffer_);
        inBuffer_.clear();
        session_->Feed(reinterpret_cast<const uint8_t*>(early.data()), early.size());
    }
    // A window needs a QApplication; a program without one runs its transfers unseen.
    if (xferStatusDialog_ != 0 && qobject_cast<QApplication*>(QCoreApplication::instance())) {
        if (!progressWindow_)
            progressWindow_ = std::make_unique<TransferProgressWindow>([this] { SetXferStatus(XFER_ABORT); });
        static const char* const kNames[] = {"XMODEM", "XMODEM-CRC", "XMODEM-1K", "YMODEM",
                                             "YMODEM-G", "ZMODEM", "Kermit", "B+"};
        progressWindow_->Begin(std::string(kNames[xferProtocol_]) +
                               (direction == static_cast<int>(TransferDirection::Receive) ? " receive" : " send"));
        progressShownAt_ = -1;
    } else if (progressWindow_) {
        progressWindow_->hide();
    }
    transferTimer_ = std::make_unique<QTimer>();
    transferTimer_->setInterval(kTransferTickMs);
    QObject::connect(transferTimer_.get(), &QTimer::timeout, transferTimer_.get(), [this] {
        if (!session_) return;
        session_->Tick(Seconds());
        PumpTransfer();
        ReportStatuses();
        ShowProgress(false);
    });
    transferTimer_->start();
    PumpTransfer();
    ReportStatuses();
}

void PortComm::PumpTransfer() {
    if (!session_ || !open_) return;
    uint8_t buffer[kTransferInFlight];
    while (session_->WantsToSend()) {
        const size_t pending = line_->OutPending();
        if (pending >= kTransferInFlight) return;  // the line's drain brings us back
        const size_t n = session_->TakeOutgoing(buffer, kTransferInFlight - pending);
        if (n == 0) return;
        line_->Write(reinterpret_cast<const char*>(buffer), n);
    }
}

// Status changes are announced only here, after the engine call that made them has
// returned, so a handler may abort the transfer or close the port safely.
void PortComm::ReportStatuses() {
    while (!statusQueue_.empty()) {
        xferStatus_ = statusQueue_.front();
        statusQueue_.pop_front();
        ShowProgress(true);
        Raise(COMM_EV_XFER_STATUS);
    }
    if (session_ && session_->Finished() && !session_->WantsToSend() && xferStatus_ != XFER_TIMED_OUT)
        EndTransfer();
}

// Brings the progress window up to date: at every status change, else four times a second.
void PortComm::ShowProgress(bool force) {
    if (!progressWindow_ || !progressWindow_->isVisible() || !session_) return;
    const double now = Seconds();
    if (!force && progressShownAt_ >= 0 && now - progressShownAt_ < 0.25) return;
    progressShownAt_ = now;
    progressWindow_->Update(session_->Progress(), xferStatus_);
}

void PortComm::EndTransfer() {
    if (transferTimer_) transferTimer_->stop();
    if (progressWindow_) progressWindow_->hide();
    if (session_) {
        session_->SetStatusHandler(nullptr);
        // Kept until the port closes: this may run inside one of the session's calls.
        retiredSessions_.push_back(std::move(session_));
    }
}

void PortComm::SetXferStatus(int status) {
    // Writing 6 asks a running transfer to stop; other values describe the engine's
    // state and are not the caller's to set.
    if (status != XFER_ABORT || !session_) return;
    session_->Abort();
    PumpTransfer();
    ReportStatuses();
}

}  // namespace zorv
