#include "platform/comm/NetModem.h"

#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

namespace zorv {

namespace {
constexpr qint64 kSocketReadBuffer = 256 * 1024;
constexpr qint64 kSocketWriteAhead = 256 * 1024;
constexpr size_t kReadChunk = 256 * 1024;
constexpr int kTickMs = 20;
constexpr size_t kRetiredKept = 32;
}  // namespace

NetModem::NetModem(NetModemConfig config) : config_(std::move(config)), core_(config_) { clock_.start(); }

NetModem::~NetModem() { Close(); }

int NetModem::AnswerPort() const { return server_ && server_->isListening() ? server_->serverPort() : 0; }

void NetModem::Open(const LineSetup& setup, LineSink sink) {
    Close();
    retired_.clear();
    sink_ = std::move(sink);
    core_ = HayesModem(config_);
    core_.SetDteRate(setup.settings.baud);
    core_.SetDtr(setup.dtr);
    core_.TakeToDte();
    server_ = std::make_unique<QTcpServer>();
    QObject::connect(server_.get(), &QTcpServer::newConnection, server_.get(), [this] { OnIncoming(); });
    tick_ = std::make_unique<QTimer>();
    tick_->setInterval(kTickMs);
    QObject::connect(tick_.get(), &QTimer::timeout, tick_.get(), [this] {
        core_.Tick(Now());
        Run();
    });
    open_ = true;
    lastCarrier_ = core_.Carrier();
    Run();
}

void NetModem::Close() {
    if (!open_) return;
    open_ = false;
    EndCall();
    if (ringing_) Retire(std::move(ringing_));
    if (server_) server_->close();
    if (tick_) tick_->stop();
    netOut_.clear();
}

void NetModem::ApplySettings(const LineSettings& settings) { core_.SetDteRate(settings.baud); }

void NetModem::SetDtr(bool on) {
    if (!open_) return;
    core_.SetDtr(on);
    Run();
}

void NetModem::Write(const char* bytes, size_t length) {
    if (!open_) return;
    core_.FromDte(bytes, length, Now());
    Run();
}

size_t NetModem::OutPending() const {
    return netOut_.size() + (call_ ? static_cast<size_t>(call_->bytesToWrite()) : 0);
}

void NetModem::DiscardOutput() { netOut_.clear(); }

void NetModem::DiscardInput() {
    if (call_ && core_.Online()) call_->readAll();
}

void NetModem::ResumeReceive() {
    if (open_ && call_) QTimer::singleShot(0, call_.get(), [this] { ReadNet(); });
}

// Moves what the modem produced to where it goes, until it has nothing more to say.
void NetModem::Run() {
    if (running_) return;  // a nested call: the outer loop picks everything up
    running_ = true;
    while (open_) {
        std::vector<HayesModem::Action> actions = core_.TakeActions();
        for (const auto& action : actions) Perform(action);
        const std::string toNet = core_.TakeToNet();
        if (!toNet.empty()) SendData(toNet);
        const std::string toDte = core_.TakeToDte();
        if (!toDte.empty()) {
            running_ = false;
            sink_.received(toDte.data(), toDte.size());  // may close us
            running_ = true;
        }
        if (actions.empty() && toNet.empty() && toDte.empty()) break;
    }
    running_ = false;
    if (!open_) {
        if (lastCarrier_) {
            lastCarrier_ = false;
        }
        return;
    }
    SyncListening();
    SyncTimer();
    const bool carrier = core_.Carrier();
    if (carrier != lastCarrier_) {
        lastCarrier_ = carrier;
        if (sink_.carrierChanged) sink_.carrierChanged();
    }
}

void NetModem::Perform(const HayesModem::Action& action) {
    using Kind = HayesModem::Action::Kind;
    switch (action.kind) {
    case Kind::Dial: {
        EndCall();
        auto socket = std::make_unique<QTcpSocket>();
        socket->setReadBufferSize(kSocketReadBuffer);
        QTcpSocket* s = socket.get();
        callTelnet_ = action.target.telnet;
        QObject::connect(s, &QTcpSocket::connected, s, [this, s] {
            if (call_.get() != s) return;
            StartCall(nullptr, callTelnet_, TelnetCodec::Role::Client);
            core_.DialSucceeded(Now());
            Run();
            ReadNet();
        });
        QObject::connect(s, &QTcpSocket::errorOccurred, s, [this, s] {
            if (call_.get() == s && core_.Dialing()) OnDialError();
        });
        call_ = std::move(socket);
        s->connectToHost(QString::fromStdString(action.target.host), static_cast<quint16>(action.target.port));
        break;
    }
    case Kind::CancelDial:
    case Kind::HangUp:
        EndCall();
        break;
    case Kind::Answer:
        if (ringing_) StartCall(std::move(ringing_), config_.answerTelnet, TelnetCodec::Role::Server);
        break;
    case Kind::RejectCall:
        if (ringing_) Retire(std::move(ringing_));
        break;
    }
}

// The call stands: either the dialled socket connected (socket empty) or an incoming
// one is taken over.
void NetModem::StartCall(std::unique_ptr<QTcpSocket> socket, bool telnet, TelnetCodec::Role role) {
    if (socket) {
        EndCall();
        socket->disconnect();
        socket->setReadBufferSize(kSocketReadBuffer);
        call_ = std::move(socket);
    }
    QTcpSocket* s = call_.get();
    remoteGone_ = false;
    callTelnet_ = telnet;
    netOut_.clear();
    telnet_ = TelnetCodec(role);
    QObject::connect(s, &QTcpSocket::readyRead, s, [this] { ReadNet(); });
    QObject::connect(s, &QTcpSocket::bytesWritten, s, [this] { FlushNet(); });
    QObject::connect(s, &QTcpSocket::disconnected, s, [this, s] {
        if (call_.get() != s) return;
        remoteGone_ = true;
        ReadNet();
    });
    if (telnet) SendRaw(telnet_.Start());
}

void NetModem::EndCall() {
    if (!call_) return;
    call_->disconnect();
    call_->abort();
    Retire(std::move(call_));
    netOut_.clear();
    remoteGone_ = false;
}

// A socket may be retired from inside one of its own signals, so it is only closed
// here and deleted when the modem opens again or goes away.
void NetModem::Retire(std::unique_ptr<QTcpSocket> socket) {
    socket->disconnect();
    socket->abort();
    socket->setParent(nullptr);
    // Callers knocking again and again must not pile up sockets: the oldest retired
    // ones are long out of any signal and can go.
    if (retired_.size() >= kRetiredKept) retired_.erase(retired_.begin(), retired_.begin() + kRetiredKept / 2);
    retired_.push_back(std::move(socket));
}

void NetModem::OnDialError() {
    const auto error = call_->error();
    EndCall();
    using F = HayesModem::DialFailure;
    core_.DialFailed(error == QAbstractSocket::ConnectionRefusedError ? F::Busy
                     : error == QAbstractSocket::SocketTimeoutError   ? F::NoAnswer
                                                                      : F::NoCarrier);
    Run();
}

void NetModem::SendData(const std::string& data) {
    if (!call_ || !core_.Connected()) return;
    if (callTelnet_) telnet_.Encode(data.data(), data.size(), netOut_);
    else netOut_ += data;
    FlushNet();
}

void NetModem::SendRaw(const std::string& bytes) {
    netOut_ += bytes;
    FlushNet();
}

void NetModem::FlushNet() {
    if (!call_) return;
    const bool hadData = !netOut_.empty();
    while (!netOut_.empty() && call_->bytesToWrite() < kSocketWriteAhead) {
        const size_t n = std::min<size_t>(netOut_.size(), kSocketWriteAhead);
        const qint64 written = call_->write(netOut_.data(), static_cast<qint64>(n));
        if (written <= 0) break;
        netOut_.erase(0, static_cast<size_t>(written));
    }
    if (hadData && netOut_.empty() && sink_.drained) sink_.drained();
}

void NetModem::ReadNet() {
    if (!open_ || !call_) return;
    readBuffer_.resize(kReadChunk);
    char* buffer = readBuffer_.data();
    while (open_ && call_ && core_.Online() && call_->bytesAvailable() > 0) {
        const size_t room = sink_.room ? sink_.room() : kReadChunk;
        if (room == 0) return;  // ResumeReceive brings us back
        const qint64 n = call_->read(buffer, static_cast<qint64>(std::min(room, kReadChunk)));
        if (n <= 0) break;
        // Online the modem only passes call data through, so it goes to the line
        // directly: no copy through the command side.
        if (callTelnet_) {
            std::string data, reply;
            telnet_.Decode(buffer, static_cast<size_t>(n), data, reply);
            if (!reply.empty()) SendRaw(reply);
            if (!data.empty()) sink_.received(data.data(), data.size());
        } else {
            sink_.received(buffer, static_cast<size_t>(n));
        }
    }
    if (open_ && call_ && remoteGone_ && (call_->bytesAvailable() == 0 || !core_.Online())) RemoteGone();
}

void NetModem::RemoteGone() {
    EndCall();
    core_.RemoteClosed();
    Run();
}

void NetModem::OnIncoming() {
    while (server_->hasPendingConnections()) {
        std::unique_ptr<QTcpSocket> socket(server_->nextPendingConnection());
        socket->setParent(nullptr);
        if (!open_ || ringing_ || !core_.OfferCall(Now())) {
            Retire(std::move(socket));  // busy: the caller sees the line close
            continue;
        }
        QTcpSocket* s = socket.get();
        QObject::connect(s, &QTcpSocket::disconnected, s, [this, s] {
            if (ringing_.get() != s) return;
            Retire(std::move(ringing_));
            core_.CallerGone();
            Run();
        });
        ringing_ = std::move(socket);
        Run();
    }
}

void NetModem::SyncListening() {
    const bool wanted = open_ && core_.WantsListening() && config_.answerPort >= 0;
    if (wanted && !server_->isListening()) {
        // A port that cannot be taken just means no calls come in; dialling still works.
        server_->listen(QHostAddress(QString::fromStdString(config_.answerAddress)),
                        static_cast<quint16>(config_.answerPort));
    } else if (!wanted && server_ && server_->isListening()) {
        server_->close();
    }
}

void NetModem::SyncTimer() {
    if (core_.NeedsTick()) {
        if (!tick_->isActive()) tick_->start();
    } else {
        tick_->stop();
    }
}

}  // namespace zorv
