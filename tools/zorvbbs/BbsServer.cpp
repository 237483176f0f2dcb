#include "tools/zorvbbs/BbsServer.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <QDateTime>
#include <QElapsedTimer>
#include <QHostAddress>
#include <QSocketNotifier>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/comm/TelnetCodec.h"

namespace zorv::bbs {

namespace {

constexpr qint64 kWriteAhead = 64 * 1024;  // bytes queued on a socket before we wait
constexpr int kTickMs = 20;
constexpr qint64 kBurst = 1024;

double Seconds() {
    static QElapsedTimer clock = [] {
        QElapsedTimer t;
        t.start();
        return t;
    }();
    return static_cast<double>(clock.nsecsElapsed()) / 1e9;
}

}  // namespace

// One telnet caller. Deletes itself when the call is over.
class TelnetCall : public QObject {
public:
    TelnetCall(BbsServer& server, QTcpSocket* socket, int id)
        : QObject(&server), server_(server), socket_(socket), id_(id), telnet_(TelnetCodec::Role::Server),
          caller_(server.accounts, server.area, server.options.caller,
                  [this](const std::string& text) { server_.Log(id_, text); }) {
        socket_->setParent(this);
        socket_->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        connect(socket_, &QTcpSocket::readyRead, this, [this] { Read(); });
        connect(socket_, &QTcpSocket::bytesWritten, this, [this] { Pump(); });
        connect(socket_, &QTcpSocket::disconnected, this, [this] { Gone("caller hung up"); });
        connect(&tick_, &QTimer::timeout, this, [this] {
            caller_.Tick(Seconds());
            Pump();
        });
        tick_.start(kTickMs);
        server_.Log(id_, "call from " + socket_->peerAddress().toString().toStdString() + ":" +
                             std::to_string(socket_->peerPort()));
        Send(telnet_.Start(), false);
        caller_.Start(Seconds());
        Pump();
    }

private:
    void Read() {
        if (ended_) return;
        const QByteArray bytes = socket_->readAll();
        std::string data, reply;
        telnet_.Decode(bytes.constData(), static_cast<size_t>(bytes.size()), data, reply);
        if (!reply.empty()) Send(reply, false);
        if (!data.empty()) caller_.Feed(data.data(), data.size(), Seconds());
        Pump();
    }

    void Send(const std::string& bytes, bool encode) {
        if (!encode) {
            socket_->write(bytes.data(), static_cast<qint64>(bytes.size()));
            return;
        }
        std::string wire;
        telnet_.Encode(bytes.data(), bytes.size(), wire);
        socket_->write(wire.data(), static_cast<qint64>(wire.size()));
    }

    void Pump() {
        if (ended_ || pumping_) return;  // writing may report bytes written at once
        pumping_ = true;
        PumpOnce();
        pumping_ = false;
    }

    // What the line may carry now: unlimited, or as a modem line of the given speed
    // would (with a small burst, so a prompt goes out whole).
    qint64 LineRoom() {
        qint64 room = kWriteAhead - socket_->bytesToWrite();
        const long long cps = server_.options.cps;
        if (cps > 0) {
            const double now = Seconds();
            const double cap = std::max<double>(kBurst, cps * 0.1);  // a tenth of a second at most
            budget_ = std::min<double>(cap, budget_ + cps * (now - refilled_));
            refilled_ = now;
            room = std::min<qint64>(room, static_cast<qint64>(budget_));
        }
        return room;
    }

    void PumpOnce() {
        while (LineRoom() > 0 && caller_.HasOutput()) {
            const std::string chunk = caller_.TakeOutput(static_cast<size_t>(LineRoom()));
            budget_ -= static_cast<double>(chunk.size());
            if (chunk.empty()) break;
            Send(chunk, true);
            if (caller_.InTransfer() && server_.ShouldDrop(caller_.TransferBytesOut())) {
                server_.Log(id_, "dropping the line in the middle of the transfer, " + std::to_string(caller_.TransferBytesOut()) + " bytes into it");
                Gone("line dropped");
                // What was sent is on the line, the rest is lost with it. (Writing out
                // may call us back; the call has ended by then.)
                socket_->flush();
                socket_->abort();
                return;
            }
        }
        if (caller_.HangUpRequested() && !caller_.HasOutput()) {
            ended_ = true;
            server_.Log(id_, "hung up");
            socket_->disconnectFromHost();  // sends what is queued, then closes
            QTimer::singleShot(5000, this, [this] { socket_->abort(); });
            connect(socket_, &QTcpSocket::disconnected, this, &QObject::deleteLater);
            if (socket_->state() == QAbstractSocket::UnconnectedState) deleteLater();
        }
    }

    void Gone(const std::string& why) {
        if (ended_) return;
        ended_ = true;
        tick_.stop();
        caller_.CarrierLost();
        server_.Log(id_, why);
        deleteLater();
    }

    BbsServer& server_;
    QTcpSocket* socket_;
    int id_;
    TelnetCodec telnet_;
    BbsCaller caller_;
    QTimer tick_;
    bool ended_ = false;
    bool pumping_ = false;
    double budget_ = kBurst;         // bytes the line may carry right now
    double refilled_ = Seconds();
};

// The caller on the pseudo-terminal: raw bytes, no telnet.
class BbsServer::PtyCall {
public:
    PtyCall(BbsServer& server, int fd, int id)
        : server_(server), fd_(fd), id_(id),
          caller_(server.accounts, server.area, server.options.caller,
                  [this](const std::string& text) { server_.Log(id_, text); }) {
        server_.Log(id_, "caller opened the line");
        caller_.Start(Seconds());
    }
    // False once the board has hung up and everything is written.
    bool Service() {
        char buffer[16384];
        for (;;) {
            const ssize_t n = ::read(fd_, buffer, sizeof buffer);
            if (n <= 0) break;
            caller_.Feed(buffer, static_cast<size_t>(n), Seconds());
        }
        caller_.Tick(Seconds());
        while (!pending_.empty() || caller_.HasOutput()) {
            if (pending_.empty()) pending_ = caller_.TakeOutput(sizeof buffer);
            const ssize_t n = ::write(fd_, pending_.data(), pending_.size());
            if (n <= 0) break;
            pending_.erase(0, static_cast<size_t>(n));
            if (caller_.InTransfer() && server_.ShouldDrop(caller_.TransferBytesOut())) {
                server_.Log(id_, "dropping the line in the middle of the transfer, " + std::to_string(caller_.TransferBytesOut()) + " bytes into it");
                caller_.CarrierLost();
                return false;
            }
        }
        if (caller_.HangUpRequested() && pending_.empty() && !caller_.HasOutput()) {
            server_.Log(id_, "hung up");
            return false;
        }
        return true;
    }
    void Closed() {
        caller_.CarrierLost();
        server_.Log(id_, "caller closed the line");
    }

private:
    BbsServer& server_;
    int fd_;
    int id_;
    BbsCaller caller_;
    std::string pending_;
};

BbsServer::BbsServer(const Accounts& accounts, const FileArea& area, ServerOptions options, std::FILE* log)
    : accounts(accounts), area(area), options(options), log_(log) {}

BbsServer::~BbsServer() {
    ptyCall_.reset();
    if (busyFd_ >= 0) ::close(busyFd_);
    if (ptyFd_ >= 0) ::close(ptyFd_);
}

void BbsServer::Log(int call, const std::string& text) {
    const std::string stamp = QDateTime::currentDateTime().toString("hh:mm:ss.zzz").toStdString();
    if (call > 0) std::fprintf(log_, "%s call %d: %s\n", stamp.c_str(), call, text.c_str());
    else std::fprintf(log_, "%s %s\n", stamp.c_str(), text.c_str());
    std::fflush(log_);
}

bool BbsServer::ShouldDrop(long long transferBytes) {
    if (options.dropAfter < 0 || dropsDone_ >= options.drops || transferBytes < options.dropAfter) return false;
    ++dropsDone_;
    return true;
}

bool BbsServer::Listen(const std::string& address, int port, std::string& error) {
    QHostAddress host;
    if (!host.setAddress(QString::fromStdString(address)) || host.protocol() != QAbstractSocket::IPv4Protocol) {
        error = "not an IPv4 address: " + address;
        return false;
    }
    if (options.busy) {
        // A port that is bound but not listening answers every call with a refusal,
        // which a calling modem reports as BUSY; holding it keeps the number ours.
        busyFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in in{};
        in.sin_family = AF_INET;
        in.sin_port = htons(static_cast<uint16_t>(port));
        in.sin_addr.s_addr = htonl(host.toIPv4Address());
        socklen_t length = sizeof in;
        if (busyFd_ < 0 || ::bind(busyFd_, reinterpret_cast<sockaddr*>(&in), sizeof in) != 0 ||
            ::getsockname(busyFd_, reinterpret_cast<sockaddr*>(&in), &length) != 0) {
            error = "cannot take " + address + ":" + std::to_string(port) + ": " + std::strerror(errno);
            return false;
        }
        port_ = ntohs(in.sin_port);
        Log(0, "busy: every call to port " + std::to_string(port_) + " is refused");
        return true;
    }
    server_ = std::make_unique<QTcpServer>();
    if (!server_->listen(host, static_cast<quint16>(port))) {
        error = "cannot listen on " + address + ":" + std::to_string(port) + ": " +
                server_->errorString().toStdString();
        return false;
    }
    port_ = server_->serverPort();
    connect(server_.get(), &QTcpServer::newConnection, this, [this] { OnIncoming(); });
    Log(0, "taking telnet calls on " + address + ":" + std::to_string(port_));
    return true;
}

void BbsServer::OnIncoming() {
    while (QTcpSocket* socket = server_->nextPendingConnection()) new TelnetCall(*this, socket, nextCall_++);
}

bool BbsServer::OpenPty(std::string& error) {
    ptyFd_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (ptyFd_ < 0 || ::grantpt(ptyFd_) != 0 || ::unlockpt(ptyFd_) != 0 || !::ptsname(ptyFd_)) {
        error = std::string("cannot make a pseudo-terminal: ") + std::strerror(errno);
        return false;
    }
    slavePath_ = ::ptsname(ptyFd_);
    // A serial line carries bytes as they are: no echo, no line editing, no CR/LF
    // translation. The setting stays with the terminal after we let go of it.
    const int slave = ::open(slavePath_.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    termios raw{};
    if (slave < 0 || ::tcgetattr(slave, &raw) != 0) {
        error = "cannot set up " + slavePath_ + ": " + std::strerror(errno);
        if (slave >= 0) ::close(slave);
        return false;
    }
    ::cfmakeraw(&raw);
    ::tcsetattr(slave, TCSANOW, &raw);
    ::close(slave);
    ptyTimer_ = std::make_unique<QTimer>();
    connect(ptyTimer_.get(), &QTimer::timeout, this, [this] { PollPty(); });
    ptyTimer_->start(20);
    Log(0, "serving the line " + slavePath_);
    return true;
}

// Whether the caller holds the line is only visible as the hang-up state of the master
// side, so the line is looked at on a short timer.
void BbsServer::PollPty() {
    pollfd p{ptyFd_, POLLIN, 0};
    ::poll(&p, 1, 0);
    const bool callerThere = !(p.revents & POLLHUP);
    if (!callerThere) {
        if (ptyCall_) {
            ptyCall_->Closed();
            ptyCall_.reset();
        }
        ptyWaitClose_ = false;
        return;
    }
    if (ptyWaitClose_) {
        char discard[4096];
        while (::read(ptyFd_, discard, sizeof discard) > 0) {
        }
        return;
    }
    if (!ptyCall_) {
        ::tcflush(ptyFd_, TCIOFLUSH);
        ptyCall_ = std::make_unique<PtyCall>(*this, ptyFd_, nextCall_++);
    }
    if (!ptyCall_->Service()) {
        ptyCall_.reset();
        ptyWaitClose_ = true;
    }
}

}  // namespace zorv::bbs
