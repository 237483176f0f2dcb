#include "tools/zorvxfer/LineDriver.h"

#include <cerrno>
#include <fcntl.h>
#include <memory>
#include <poll.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>
#include <vector>

namespace zorv::xfer {
namespace {

constexpr int kReadsPerWake = 16;

// Puts a terminal line into raw mode and non-blocking access for the run, and puts it
// back as it was on every way out.
class LineState {
public:
    explicit LineState(int fd) : fd_(fd) {
        flags_ = fcntl(fd_, F_GETFL);
        if (flags_ >= 0) fcntl(fd_, F_SETFL, flags_ | O_NONBLOCK);
        if (isatty(fd_) && tcgetattr(fd_, &saved_) == 0) {
            tty_ = true;
            struct termios raw = saved_;
            cfmakeraw(&raw);
            raw.c_cc[VMIN] = 1;
            raw.c_cc[VTIME] = 0;
            tcsetattr(fd_, TCSANOW, &raw);
        }
    }
    ~LineState() {
        if (tty_) {
            tcdrain(fd_);
            tcsetattr(fd_, TCSANOW, &saved_);
        }
        if (flags_ >= 0) fcntl(fd_, F_SETFL, flags_);
    }

private:
    int fd_;
    int flags_ = -1;
    bool tty_ = false;
    struct termios saved_ {};
};

}  // namespace

double MonotonicSeconds() {
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) / 1e9;
}

int RunOverLine(TransferSession& session, const LineOptions& options) {
    LineState inState(options.inFd);
    std::unique_ptr<LineState> outState;
    if (options.outFd != options.inFd) outState = std::make_unique<LineState>(options.outFd);

    std::vector<uint8_t> inBuf(65536), outBuf(65536);
    size_t outHead = 0, outLen = 0;
    double lastReport = 0;
    bool inputOpen = true;
    double lingerUntil = -1;

    bool abortSeen = false;
    bool sawOverAndOut = false;
    uint8_t lastByte = 0;
    session.Start(MonotonicSeconds());
    for (;;) {
        double now = MonotonicSeconds();
        if (options.abortRequested && *options.abortRequested && !abortSeen) {
            abortSeen = true;
            outHead = outLen = 0;   // the cancel goes out before anything still queued
            session.Abort();
        }
        session.Tick(now);
        if (outHead == outLen && session.WantsToSend()) {
            outHead = 0;
            outLen = session.TakeOutgoing(outBuf.data(), outBuf.size());
        }
        if (options.onProgress && now - lastReport >= 0.5) {
            lastReport = now;
            options.onProgress(session);
        }
        if (session.Finished() && outHead == outLen) {
            if (lingerUntil < 0) lingerUntil = now + options.linger;
            if (now >= lingerUntil || !inputOpen || sawOverAndOut) break;
        }

        struct pollfd fds[2];
        int count = 0;
        if (inputOpen) fds[count++] = {options.inFd, POLLIN, 0};
        int outIndex = -1;
        if (outHead < outLen) {
            outIndex = count;
            fds[count++] = {options.outFd, POLLOUT, 0};
        }
        if (count == 0) break;
        int ready = poll(fds, count, 50);
        if (ready < 0 && errno != EINTR) break;
        if (ready <= 0) continue;

        if (inputOpen && (fds[0].revents & (POLLIN | POLLHUP | POLLERR))) {
            // A pseudo-terminal hands over about 4 KB a read and refills while we work on
            // it: read on until it has nothing, rather than poll before every read. An
            // answer to send ends the run, so it goes out at once.
            for (int reads = 0; reads < kReadsPerWake; ++reads) {
                ssize_t n = read(options.inFd, inBuf.data(), inBuf.size());
                if (n > 0) {
                    session.Tick(MonotonicSeconds());
                    session.Feed(inBuf.data(), static_cast<size_t>(n));
                    if (session.Finished()) {
                        // The sender's closing "OO": nothing more will come.
                        for (ssize_t i = 0; i < n; ++i) {
                            sawOverAndOut = sawOverAndOut || (lastByte == 'O' && inBuf[i] == 'O');
                            lastByte = inBuf[i];
                        }
                        break;
                    }
                    if (session.WantsToSend()) break;
                } else if (n == 0 || (errno != EAGAIN && errno != EINTR)) {
                    // The other end is gone: for a line that is a lost carrier.
                    inputOpen = false;
                    session.CarrierLost();
                    outHead = outLen = 0;
                    break;
                } else {
                    break;
                }
            }
        }
        if (outIndex >= 0 && (fds[outIndex].revents & (POLLOUT | POLLERR | POLLHUP))) {
            ssize_t n = write(options.outFd, outBuf.data() + outHead, outLen - outHead);
            if (n > 0) {
                outHead += static_cast<size_t>(n);
            } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
                session.CarrierLost();
                outHead = outLen = 0;
            }
        }
    }
    if (options.onProgress) options.onProgress(session);
    return session.Status();
}

}  // namespace zorv::xfer
