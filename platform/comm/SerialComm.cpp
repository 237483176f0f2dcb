#include "platform/comm/SerialComm.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <QTimer>
#include <cerrno>
#include <cstring>

#include "platform/comm/SerialSpeed.h"
#include "util/Error.h"
#include "util/ProgramEnd.h"

namespace zorv {

namespace {

constexpr size_t kReadChunk = 64 * 1024;
constexpr int kReadsPerWakeUp = 16;  // then let the rest of the program run

speed_t StandardSpeed(int baud) {
    switch (baud) {
    case 110: return B110;
    case 300: return B300;
    case 600: return B600;
    case 1200: return B1200;
    case 2400: return B2400;
    case 4800: return B4800;
    case 9600: return B9600;
    case 19200: return B19200;
    case 38400: return B38400;
    case 57600: return B57600;
    case 115200: return B115200;
    case 230400: return B230400;
    }
    return B0;
}

[[noreturn]] void Unavailable(const std::string& path, const std::string& why) {
    throw Error(ErrorNumber::DeviceUnavailable, "Device " + path + " " + why);
}

}  // namespace

SerialComm::SerialComm(std::string devicePath) : path_(std::move(devicePath)) {}

SerialComm::~SerialComm() { Close(); }

void SerialComm::Open(const LineSetup& setup, LineSink sink) {
    Close();
    struct stat info {};
    if (stat(path_.c_str(), &info) != 0) Unavailable(path_, "not found");
    if (!S_ISCHR(info.st_mode)) Unavailable(path_, "is not a serial device");

    lock_.Acquire(path_);
    int fd = open(path_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        const int error = errno;
        lock_.Release();
        if (error == EBUSY) Unavailable(path_, "is busy");
        Unavailable(path_, std::string("cannot be opened: ") + std::strerror(error));
    }
    auto fail = [&](const std::string& why) {
        close(fd);
        lock_.Release();
        Unavailable(path_, why);
    };
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) fail("is locked by another program");
    struct termios probe {};
    if (tcgetattr(fd, &probe) != 0) fail("is not a serial device");
    ioctl(fd, TIOCEXCL);
    fd_ = fd;
    int lines = 0;
    hasModemLines_ = ioctl(fd_, TIOCMGET, &lines) == 0;
    try {
        Configure(setup.settings, setup.handshaking);
    } catch (...) {
        fd_ = -1;
        close(fd);
        lock_.Release();
        throw;
    }
    settings_ = setup.settings;
    handshaking_ = setup.handshaking;
    sink_ = std::move(sink);
    out_.clear();
    outSent_ = 0;
    hungUp_ = false;

    SetModemLine(TIOCM_DTR, setup.dtr);
    SetModemLine(TIOCM_RTS, setup.rts);
    carrier_ = ReadCarrier();

    readNotifier_ = std::make_unique<QSocketNotifier>(fd_, QSocketNotifier::Read);
    QObject::connect(readNotifier_.get(), &QSocketNotifier::activated, readNotifier_.get(), [this] { OnReadable(); });
    writeNotifier_ = std::make_unique<QSocketNotifier>(fd_, QSocketNotifier::Write);
    writeNotifier_->setEnabled(false);
    QObject::connect(writeNotifier_.get(), &QSocketNotifier::activated, writeNotifier_.get(), [this] { Flush(); });
    carrierTimer_ = std::make_unique<QTimer>();
    carrierTimer_->setInterval(setup.intervalMs > 0 ? setup.intervalMs : 55);
    QObject::connect(carrierTimer_.get(), &QTimer::timeout, carrierTimer_.get(), [this] { WatchCarrier(); });
    carrierTimer_->start();

    programEndHook_ = AtProgramEnd([this] { Close(); });
}

void SerialComm::Close() {
    if (programEndHook_) {
        RemoveAtProgramEnd(programEndHook_);
        programEndHook_ = 0;
    }
    // The notifiers and the timer may be the very objects whose signal runs this
    // (a handler closing the port): they are switched off here and go with the object
    // or the next Open.
    if (readNotifier_) readNotifier_->setEnabled(false);
    if (writeNotifier_) writeNotifier_->setEnabled(false);
    if (carrierTimer_) carrierTimer_->stop();
    if (fd_ >= 0) {
        // Unsent data would hold close() until the driver's drain time-out runs out.
        tcflush(fd_, TCIOFLUSH);
        SetModemLine(TIOCM_DTR, false);
        ioctl(fd_, TIOCNXCL);
        close(fd_);  // also ends the flock
        fd_ = -1;
    }
    lock_.Release();
    out_.clear();
    outSent_ = 0;
    carrier_ = false;
}

void SerialComm::Configure(const LineSettings& settings, int handshaking) {
    struct termios old {};
    if (tcgetattr(fd_, &old) != 0) throw Error(ErrorNumber::DeviceIO, "Device " + path_ + " cannot be set up");
    struct termios t = old;
    cfmakeraw(&t);
    t.c_cflag |= CREAD | CLOCAL | HUPCL;
    t.c_cflag &= ~(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
    t.c_cflag |= settings.dataBits == 5 ? CS5 : settings.dataBits == 6 ? CS6 : settings.dataBits == 7 ? CS7 : CS8;
    switch (settings.parity) {
    case 'E': t.c_cflag |= PARENB; break;
    case 'O': t.c_cflag |= PARENB | PARODD; break;
    case 'S': t.c_cflag |= PARENB | CMSPAR; break;
    case 'M': t.c_cflag |= PARENB | CMSPAR | PARODD; break;
    default: break;
    }
    if (settings.stopBits != "1") t.c_cflag |= CSTOPB;  // with 5 data bits CSTOPB means 1.5
    t.c_iflag &= ~(IXON | IXOFF | IXANY);
    if (handshaking & 1) t.c_iflag |= IXON | IXOFF;
    if (handshaking & 2) t.c_cflag |= CRTSCTS;
    // VMIN 1: an empty non-blocking read says EAGAIN; with 0 it would return 0, which
    // reads like the other end hanging up.
    t.c_cc[VMIN] = 1;
    t.c_cc[VTIME] = 0;
    // A rate without a classic constant is set through termios2 afterwards; until then
    // the line holds a classic one, so the classic call sees a consistent setting.
    const speed_t speed = StandardSpeed(settings.baud);
    t.c_cflag &= ~CIBAUD;
    cfsetispeed(&t, speed != B0 ? speed : B38400);
    cfsetospeed(&t, speed != B0 ? speed : B38400);
    // A pseudo-terminal has no wire: it keeps neither framing nor flow control bits and
    // needs none, so only the rate is checked there.
    const tcflag_t wanted = hasModemLines_ ? CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS : 0;
    struct termios now {};
    bool taken = tcsetattr(fd_, TCSANOW, &t) == 0 && tcgetattr(fd_, &now) == 0 &&
                 (now.c_cflag & wanted) == (t.c_cflag & wanted) &&
                 (now.c_iflag & (IXON | IXOFF)) == (t.c_iflag & (IXON | IXOFF));
    if (taken) taken = speed != B0 ? cfgetospeed(&now) == speed : SetAnySpeed(fd_, settings.baud);
    if (!taken) {
        tcsetattr(fd_, TCSANOW, &old);
        throw Error(ErrorNumber::InvalidPropertyValue,
                    "Invalid property value: " + path_ + " cannot take " + FormatLineSettings(settings));
    }
}

void SerialComm::ApplySettings(const LineSettings& settings) {
    if (fd_ < 0) return;
    Configure(settings, handshaking_);
    settings_ = settings;
}

void SerialComm::SetHandshaking(int mode) {
    if (fd_ < 0) return;
    Configure(settings_, mode);
    handshaking_ = mode;
}

void SerialComm::SetModemLine(int line, bool on) {
    // A pseudo-terminal has no modem lines; there is nothing to switch then.
    if (fd_ >= 0) ioctl(fd_, on ? TIOCMBIS : TIOCMBIC, &line);
}

void SerialComm::SetDtr(bool on) { SetModemLine(TIOCM_DTR, on); }
void SerialComm::SetRts(bool on) { SetModemLine(TIOCM_RTS, on); }

void SerialComm::SetInterval(int milliseconds) {
    if (carrierTimer_) carrierTimer_->setInterval(milliseconds > 0 ? milliseconds : 55);
}

bool SerialComm::ReadCarrier() {
    if (fd_ < 0 || hungUp_) return false;
    int lines = 0;
    if (hasModemLines_) return ioctl(fd_, TIOCMGET, &lines) == 0 && (lines & TIOCM_CD);
    struct pollfd p {fd_, 0, 0};
    return !(poll(&p, 1, 0) > 0 && (p.revents & POLLHUP));
}

void SerialComm::WatchCarrier() {
    if (fd_ < 0) return;
    const bool now = ReadCarrier();
    if (now == carrier_) return;
    carrier_ = now;
    if (sink_.carrierChanged) sink_.carrierChanged();
}

void SerialComm::HangUpSeen() {
    hungUp_ = true;
    if (readNotifier_) readNotifier_->setEnabled(false);
    if (writeNotifier_) writeNotifier_->setEnabled(false);
    WatchCarrier();
}

void SerialComm::OnReadable() {
    char buffer[kReadChunk];
    for (int pass = 0; pass < kReadsPerWakeUp && fd_ >= 0; ++pass) {
        const size_t room = sink_.room ? sink_.room() : kReadChunk;
        if (room == 0) {
            // The owner's buffer is full: leave the data with the driver (and the
            // sender, through flow control) until Input makes room.
            readNotifier_->setEnabled(false);
            return;
        }
        const ssize_t n = read(fd_, buffer, std::min(room, kReadChunk));
        if (n > 0) {
            sink_.received(buffer, static_cast<size_t>(n));
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return;
        HangUpSeen();  // end of file or EIO: the other end is gone
        return;
    }
}

void SerialComm::ResumeReceive() {
    if (fd_ >= 0 && !hungUp_ && readNotifier_ && !readNotifier_->isEnabled()) readNotifier_->setEnabled(true);
}

void SerialComm::Write(const char* bytes, size_t length) {
    if (fd_ < 0 || length == 0) return;
    out_.append(bytes, length);
    Flush();
}

void SerialComm::Flush() {
    while (fd_ >= 0 && outSent_ < out_.size()) {
        const ssize_t n = write(fd_, out_.data() + outSent_, out_.size() - outSent_);
        if (n > 0) {
            outSent_ += static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            writeNotifier_->setEnabled(true);
            if (outSent_ > 1024 * 1024) {
                out_.erase(0, outSent_);
                outSent_ = 0;
            }
            return;
        }
        // The device went away: what was not sent is lost with it.
        out_.clear();
        outSent_ = 0;
        HangUpSeen();
        return;
    }
    const bool hadData = !out_.empty();
    out_.clear();
    outSent_ = 0;
    if (writeNotifier_) writeNotifier_->setEnabled(false);
    if (hadData && sink_.drained) sink_.drained();
}

size_t SerialComm::OutPending() const {
    size_t pending = out_.size() - outSent_;
    int queued = 0;
    if (fd_ >= 0 && ioctl(fd_, TIOCOUTQ, &queued) == 0 && queued > 0) pending += static_cast<size_t>(queued);
    return pending;
}

void SerialComm::DiscardOutput() {
    out_.clear();
    outSent_ = 0;
    if (writeNotifier_) writeNotifier_->setEnabled(false);
    if (fd_ >= 0) tcflush(fd_, TCOFLUSH);
}

void SerialComm::DiscardInput() {
    if (fd_ >= 0) tcflush(fd_, TCIFLUSH);
}

}  // namespace zorv
