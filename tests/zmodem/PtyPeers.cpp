#include "tests/zmodem/PtyPeers.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <random>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

namespace zorv::zmodem::test {
namespace {

struct Child {
    pid_t pid = -1;
    int master = -1;
    bool exited = false;
    int exitStatus = -1;
    bool open = true;   // the master still gives data
};

Child spawn(const Program& p) {
    Child c;
    int slave = -1;
    struct termios raw {};
    cfmakeraw(&raw);
    raw.c_cc[VMIN] = 1;
    raw.c_cc[VTIME] = 0;
    if (openpty(&c.master, &slave, nullptr, &raw, nullptr) != 0) return c;
    c.pid = fork();
    if (c.pid == 0) {
        setsid();
        ioctl(slave, TIOCSCTTY, 0);
        dup2(slave, 0);
        dup2(slave, 1);
        int err = open(p.errorLog.empty() ? "/dev/null" : p.errorLog.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(err, 2);
        for (int fd = 3; fd < 256; ++fd) close(fd);
        if (chdir(p.folder.c_str()) != 0) _exit(126);
        std::vector<char*> args;
        for (const auto& a : p.argv) args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        execvp(args[0], args.data());
        _exit(127);
    }
    close(slave);
    fcntl(c.master, F_SETFL, fcntl(c.master, F_GETFL) | O_NONBLOCK);
    return c;
}

void reap(Child& c) {
    if (c.exited || c.pid <= 0) return;
    int status = 0;
    if (waitpid(c.pid, &status, WNOHANG) == c.pid) {
        c.exited = true;
        c.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
}

// One direction of the line: bytes read from one master wait here until the other
// takes them.
struct Direction {
    std::string pending;
    size_t head = 0;
    bool empty() const { return head >= pending.size(); }
};

}  // namespace

std::string ZorvxferPath() {
    const char* bin = std::getenv("ZORV_BIN_DIR");
    return std::string(bin ? bin : ".") + "/zorvxfer";
}

PeersResult RunPeers(const Program& senderProgram, const Program& receiverProgram, const Faults& faults,
                     double limitSeconds, const RelayEvents& events) {
    PeersResult result;
    Child sender = spawn(senderProgram);
    Child receiver = spawn(receiverProgram);
    std::mt19937 rng(faults.seed);
    std::uniform_real_distribution<double> uniform(0.0, 1.0);
    auto damage = [&](std::string& bytes, bool forward) {
        if (!forward && !faults.backChannelToo) return;
        if (faults.flipRate <= 0 && faults.dropRate <= 0) return;
        std::string out;
        out.reserve(bytes.size());
        for (char c : bytes) {
            if (faults.dropRate > 0 && uniform(rng) < faults.dropRate) continue;
            if (faults.flipRate > 0 && uniform(rng) < faults.flipRate) c = static_cast<char>(c ^ (1 << (rng() % 8)));
            out.push_back(c);
        }
        bytes.swap(out);
    };

    auto start = std::chrono::steady_clock::now();
    auto elapsed = [&] { return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(); };
    Direction toReceiver, toSender;
    char buf[65536];
    bool cut = false;
    bool injected = false;
    double oneEnded = -1;
    while (!(sender.exited && receiver.exited)) {
        double t = elapsed();
        if ((sender.exited || receiver.exited) && oneEnded < 0) oneEnded = t;
        if (oneEnded >= 0 && t > oneEnded + 2 && !cut) {
            cut = true;
            close(sender.master);
            close(receiver.master);
            sender.open = receiver.open = false;
        }
        if (events.injectAt >= 0 && result.carried >= events.injectAt && !injected) {
            injected = true;
            if (!events.injectToReceiver.empty())
                toReceiver.pending.append(events.injectToReceiver);
            if (!events.injectToSender.empty())
                toSender.pending.append(events.injectToSender);
        }
        if (t > limitSeconds) {
            result.timedOut = true;
            break;
        }
        bool stalled = faults.stallAt >= 0 && t >= faults.stallAt && t < faults.stallAt + faults.stallFor;
        if (faults.cutAfter >= 0 && result.carried >= faults.cutAfter && !cut) {
            // A hang-up: both programs lose their line.
            cut = true;
            close(sender.master);
            close(receiver.master);
            sender.open = receiver.open = false;
        }
        struct pollfd fds[2] = {{-1, 0, 0}, {-1, 0, 0}};
        if (!cut) {
            fds[0].fd = sender.open ? sender.master : -1;
            fds[1].fd = receiver.open ? receiver.master : -1;
            if (!stalled) {
                if (toReceiver.empty()) fds[0].events |= POLLIN;
                else fds[1].events |= POLLOUT;
                if (toSender.empty()) fds[1].events |= POLLIN;
                else fds[0].events |= POLLOUT;
            }
        }
        poll(fds, 2, 20);
        reap(sender);
        reap(receiver);
        if (cut || stalled) continue;

        auto pump = [&](Child& from, Child& to, Direction& dir, bool forward) {
            if (dir.empty() && from.open) {
                ssize_t n = read(from.master, buf, sizeof buf);
                if (n > 0) {
                    dir.pending.assign(buf, static_cast<size_t>(n));
                    dir.head = 0;
                    if (forward) result.carried += n;
                    damage(dir.pending, forward);
                } else if (n == 0 || (errno != EAGAIN && errno != EINTR)) {
                    from.open = false;
                }
            }
            if (!dir.empty()) {
                if (!to.open) {
                    dir.pending.clear();
                    dir.head = 0;
                    return;
                }
                ssize_t n = write(to.master, dir.pending.data() + dir.head, dir.pending.size() - dir.head);
                if (n > 0) dir.head += static_cast<size_t>(n);
                else if (n < 0 && errno != EAGAIN && errno != EINTR) to.open = false;
            }
        };
        pump(sender, receiver, toReceiver, true);
        pump(receiver, sender, toSender, false);
        if (events.onProgress) events.onProgress(result.carried, sender.pid, receiver.pid);
    }
    for (Child* c : {&sender, &receiver}) {
        if (!c->exited && c->pid > 0) {
            kill(c->pid, SIGKILL);
            int status;
            waitpid(c->pid, &status, 0);
            c->exitStatus = 128 + SIGKILL;
        }
        if (!cut && c->master >= 0) close(c->master);
    }
    result.senderExit = sender.exitStatus;
    result.receiverExit = receiver.exitStatus;
    return result;
}

}  // namespace zorv::zmodem::test
