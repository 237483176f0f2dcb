#include "tests/zorvbbs/BbsTestKit.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QDir>
#include <QElapsedTimer>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>

#include "platform/zmodem/ZmodemTransfers.h"

namespace zorv::bbs::test {

namespace {

double Now() {
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

}  // namespace

std::string BinPath(const std::string& program) {
    const char* bin = std::getenv("ZORV_BIN_DIR");
    if (!bin) return "";
    const std::string path = std::string(bin) + "/" + program;
    return ::access(path.c_str(), X_OK) == 0 ? path : "";
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

::testing::AssertionResult SameBytes(const std::string& got, const std::string& want) {
    if (got == want) return ::testing::AssertionSuccess();
    size_t at = 0;
    while (at < got.size() && at < want.size() && got[at] == want[at]) ++at;
    return ::testing::AssertionFailure() << got.size() << " bytes where " << want.size()
                                         << " were expected, first difference at offset " << at;
}

std::string SampleBytes(size_t size, unsigned seed) {
    std::mt19937 random(seed);
    std::string bytes;
    bytes.reserve(size);
    const std::string escapes = "\x18\x11\x13\x91\x93\xff\xff\r\n\r";
    for (size_t i = 0; i < size; ++i) {
        if (i % 97 < escapes.size()) bytes += escapes[i % 97];
        else bytes += static_cast<char>(random() & 0xFF);
    }
    return bytes;
}

Board::Board() {
    QDir(dir_.path()).mkdir("area");
    WriteFile(Path("accounts"), "# test board\ndemo:demo:B\nvisitor:welcome:A\n");
}

Board::~Board() { Stop(); }

std::string Board::Path(const std::string& name) const { return dir_.filePath(QString::fromStdString(name)).toStdString(); }

std::string Board::AreaPath(const std::string& name) const { return Path(name.empty() ? "area" : "area/" + name); }

bool Board::Launch(const std::vector<std::string>& extraArgs, std::string& firstLine) {
    QStringList args = {"--area", QString::fromStdString(AreaPath()), "--accounts",
                        QString::fromStdString(Path("accounts")), "--log", QString::fromStdString(Path("log"))};
    for (const std::string& arg : extraArgs) args << QString::fromStdString(arg);
    process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process_.start(QString::fromStdString(BinPath("zorvbbs")), args);
    if (!process_.waitForStarted(10000)) return false;
    QElapsedTimer waited;
    waited.start();
    while (!process_.canReadLine() && waited.elapsed() < 10000)
        if (!process_.waitForReadyRead(500) && process_.state() != QProcess::Running) return false;
    firstLine = process_.readLine().trimmed().toStdString();
    return true;
}

bool Board::Start(const std::vector<std::string>& extraArgs) {
    std::vector<std::string> args = {"--listen", "127.0.0.1:0"};
    args.insert(args.end(), extraArgs.begin(), extraArgs.end());
    std::string first;
    const std::string prefix = "listening on 127.0.0.1:";
    if (!Launch(args, first) || first.rfind(prefix, 0) != 0) return false;
    port_ = std::atoi(first.c_str() + prefix.size());
    return port_ > 0;
}

bool Board::StartPty() {
    std::string first;
    if (!Launch({"--pty"}, first) || first.rfind("line /dev/", 0) != 0) return false;
    linePath_ = first.substr(5);
    return true;
}

bool Board::WaitForLog(const std::string& text, int seen) const {
    for (int waited = 0; waited < 10000; waited += 20) {
        const std::string log = Log();
        int count = 0;
        for (size_t at = log.find(text); at != std::string::npos; at = log.find(text, at + 1)) ++count;
        if (count > seen) return true;
        ::usleep(20000);
    }
    return false;
}

void Board::Stop() {
    if (process_.state() == QProcess::NotRunning) return;
    process_.terminate();
    if (!process_.waitForFinished(5000)) {
        process_.kill();
        process_.waitForFinished(5000);
    }
}

TelnetClient::~TelnetClient() {
    if (fd_ >= 0) ::close(fd_);
}

bool TelnetClient::Connect(int port) {
    fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<uint16_t>(port));
    if (::connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        connectError_ = errno;
        return false;
    }
    const std::string offers = telnet_.Start();
    ::send(fd_, offers.data(), offers.size(), MSG_NOSIGNAL);
    return true;
}

bool TelnetClient::OpenLine(const std::string& path) {
    raw_ = true;
    fd_ = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    return fd_ >= 0;
}

void TelnetClient::CloseLine() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    closed_ = true;
}

void TelnetClient::Send(const std::string& text) {
    if (raw_) {
        if (::write(fd_, text.data(), text.size()) != static_cast<ssize_t>(text.size())) closed_ = true;
        return;
    }
    std::string wire;
    telnet_.Encode(text.data(), text.size(), wire);
    ::send(fd_, wire.data(), wire.size(), MSG_NOSIGNAL);
}

// One read from the line into data_ (waiting until `deadline`); false when nothing came.
bool TelnetClient::Fill(double deadline) {
    if (closed_) return false;
    const int ms = static_cast<int>(std::max(0.0, deadline - Now()) * 1000);
    pollfd p{fd_, POLLIN, 0};
    if (::poll(&p, 1, std::min(ms, 100)) <= 0) return false;
    char buffer[16384];
    const ssize_t n = raw_ ? ::read(fd_, buffer, sizeof buffer) : ::recv(fd_, buffer, sizeof buffer, 0);
    if (n <= 0) {
        closed_ = true;
        return false;
    }
    if (raw_) {
        data_.append(buffer, static_cast<size_t>(n));
        return true;
    }
    std::string reply;
    telnet_.Decode(buffer, static_cast<size_t>(n), data_, reply);
    if (!reply.empty()) ::send(fd_, reply.data(), reply.size(), MSG_NOSIGNAL);
    return true;
}

bool TelnetClient::ReadUntil(const std::string& text, std::string& got, double seconds) {
    const double deadline = Now() + seconds;
    for (;;) {
        const size_t at = data_.find(text);
        if (at != std::string::npos) {
            got = data_.substr(0, at + text.size());
            data_.erase(0, at + text.size());
            return true;
        }
        if (closed_ || Now() > deadline) {
            got = data_;
            return false;
        }
        Fill(deadline);
    }
}

bool TelnetClient::WaitClosed(std::string& rest, double seconds) {
    const double deadline = Now() + seconds;
    while (!closed_ && Now() < deadline) Fill(deadline);
    rest = data_;
    data_.clear();
    return closed_;
}

TelnetClient::Received TelnetClient::ReceiveFile(const std::string& folder, double seconds) {
    auto session = zmodem::MakeDownload(folder, "");
    const double deadline = Now() + seconds;
    session->Start(Now());
    for (;;) {
        if (!data_.empty()) {
            session->Feed(data_);
            data_.clear();
        }
        session->Tick(Now());
        uint8_t out[16384];
        while (session->WantsToSend()) {
            const size_t n = session->TakeOutgoing(out, sizeof out);
            Send(std::string(reinterpret_cast<char*>(out), n));
        }
        if (session->Finished()) return {session->Status(), session->Progress().resumedFrom};
        if (closed_) session->CarrierLost();
        if (Now() > deadline) {
            session->Abort();
            return {};
        }
        Fill(deadline);
    }
}

}  // namespace zorv::bbs::test
