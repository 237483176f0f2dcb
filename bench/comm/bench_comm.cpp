// 50 MB one way through the comm control, beside a plain copy through the same channel:
//   pseudo-terminal: PortComm reading the slave   vs  cat reading the slave
//   loopback TCP:    PortComm's network modem     vs  socat
// The same sender process writes the data in both cases. Prints each rate and the ratio.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <pty.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <QCoreApplication>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>
#include <algorithm>

#include "platform/QtEventPump.h"
#include "platform/comm/PortComm.h"
#include "util/Error.h"

using namespace zorv;
using Clock = std::chrono::steady_clock;

namespace {

size_t gTotal = 50u * 1024 * 1024;

double Since(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

// A child that writes gTotal bytes to `fd` and exits.
pid_t Sender(int fd) {
    const pid_t pid = fork();
    if (pid != 0) return pid;
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    std::string block(64 * 1024, '\0');
    for (size_t i = 0; i < block.size(); ++i) block[i] = static_cast<char>(i * 31 + 7);
    size_t sent = 0;
    while (sent < gTotal) {
        const ssize_t n = write(fd, block.data(), std::min(block.size(), gTotal - sent));
        if (n <= 0) _exit(1);
        sent += static_cast<size_t>(n);
    }
    _exit(0);
}

pid_t Run(const char* program, char* const argv[], int inFd) {
    const pid_t pid = fork();
    if (pid != 0) return pid;
    if (inFd >= 0) dup2(inFd, 0);
    const int devNull = open("/dev/null", O_WRONLY);
    dup2(devNull, 1);
    closefrom(3);  // the copy must not hold the other end open
    execvp(program, argv);
    _exit(127);
}

PortComm::PortResolver Resolver(const std::string& device, const NetModemConfig& modem) {
    return [device, modem](int port) {
        PortTarget target;
        if (port == 2) {
            target.kind = PortTarget::Kind::NetModem;
            target.modem = modem;
        } else {
            target.device = device;
        }
        return target;
    };
}

// Reads everything through the control; returns seconds.
double Drain(PortComm& comm, Clock::time_point start) {
    QtEventPump pump;
    size_t got = 0;
    while (got < gTotal) {
        got += comm.Input().size();
        if (got < gTotal) pump.DoEvents();
        if (Since(start) > 300) throw Error(0, "stalled after " + std::to_string(got) + " bytes");
    }
    return Since(start);
}

double PtyOurs() {
    int master, slave;
    char name[128];
    struct termios raw {};
    cfmakeraw(&raw);
    openpty(&master, &slave, name, &raw, nullptr);
    PortComm comm{Resolver(name, {})};
    comm.SetSettings("230400,N,8,1");
    comm.SetPortOpen(true);
    const auto start = Clock::now();
    const pid_t sender = Sender(master);
    const double seconds = Drain(comm, start);
    waitpid(sender, nullptr, 0);
    comm.SetPortOpen(false);
    close(master);
    close(slave);
    return seconds;
}

double PtyPlain() {
    int master, slave;
    char name[128];
    struct termios raw {};
    cfmakeraw(&raw);
    openpty(&master, &slave, name, &raw, nullptr);
    char* argv[] = {const_cast<char*>("cat"), nullptr};
    const auto start = Clock::now();
    const pid_t reader = Run("cat", argv, slave);
    close(slave);
    const pid_t sender = Sender(master);
    waitpid(sender, nullptr, 0);
    // cat ends when the master closes; at most one pty buffer (a few KB of the 50 MB)
    // may still be unread then.
    close(master);
    waitpid(reader, nullptr, 0);
    return Since(start);
}

int Listener(int& port) {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    listen(fd, 1);
    socklen_t length = sizeof address;
    getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    port = ntohs(address.sin_port);
    return fd;
}

// The sender takes the call and writes everything.
pid_t TcpSender(int listener) {
    const pid_t pid = fork();
    if (pid != 0) return pid;
    const int call = accept(listener, nullptr, nullptr);
    if (call < 0) _exit(1);
    Sender(call);  // forks once more; wait for it so the call ends when the data is out
    int status = 0;
    wait(&status);
    _exit(0);
}

double NetOurs() {
    int port;
    const int listener = Listener(port);
    NetModemConfig modem;
    modem.phoneBook["5551000"] = NetTarget{"127.0.0.1", port, false};
    PortComm comm{Resolver("", modem)};
    comm.SetCommPort(2);
    comm.SetPortOpen(true);
    const pid_t sender = TcpSender(listener);
    const auto start = Clock::now();
    comm.SetOutput("ATE0DT5551000\r");
    QtEventPump pump;
    std::string heard;
    while (heard.find("CONNECT") == std::string::npos || heard.find("\r\n", heard.find("CONNECT")) == std::string::npos) {
        heard += comm.Input();
        pump.DoEvents();
        if (Since(start) > 10) throw Error(0, "no CONNECT: " + heard);
    }
    const size_t extra = heard.size() - (heard.find("\r\n", heard.find("CONNECT")) + 2);
    gTotal -= extra;
    const double seconds = Drain(comm, start);
    gTotal += extra;
    waitpid(sender, nullptr, 0);
    comm.SetPortOpen(false);
    close(listener);
    return seconds;
}

double NetPlain() {
    int port;
    const int listener = Listener(port);
    const pid_t sender = TcpSender(listener);
    const std::string target = "TCP:127.0.0.1:" + std::to_string(port);
    char* argv[] = {const_cast<char*>("socat"), const_cast<char*>("-u"), const_cast<char*>(target.c_str()),
                    const_cast<char*>("-"), nullptr};
    const auto start = Clock::now();
    const pid_t reader = Run("socat", argv, -1);
    waitpid(reader, nullptr, 0);
    const double seconds = Since(start);
    waitpid(sender, nullptr, 0);
    close(listener);
    return seconds;
}

struct Pair {
    double ours = 0, plain = 0;
    double Ratio() const { return plain / ours; }
};

void Report(const char* channel, std::vector<Pair> rounds) {
    const double mb = gTotal / (1024.0 * 1024.0);
    for (const Pair& p : rounds)
        std::printf("%-12s ours %7.1f MB/s   plain %7.1f MB/s   ratio %.2f\n", channel, mb / p.ours, mb / p.plain,
                    p.Ratio());
    std::sort(rounds.begin(), rounds.end(), [](const Pair& a, const Pair& b) { return a.Ratio() < b.Ratio(); });
    std::printf("%-12s median ratio %.2f\n", channel, rounds[rounds.size() / 2].Ratio());
}

}  // namespace

// bench_comm [megabytes [rounds]]: each round runs the plain copy and ours back to back,
// so both meet the same load on the machine.
int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc > 1) gTotal = static_cast<size_t>(std::atoi(argv[1])) * 1024 * 1024;
    const int roundCount = argc > 2 ? std::max(1, std::atoi(argv[2])) : 3;
    signal(SIGPIPE, SIG_IGN);
    setvbuf(stdout, nullptr, _IONBF, 0);
    try {
        std::printf("%zu MB one way, ratio = our rate / plain copy's rate\n", gTotal / (1024 * 1024));
        std::vector<Pair> pty, net;
        for (int round = 0; round < roundCount; ++round) {
            Pair p;
            p.plain = PtyPlain();
            p.ours = PtyOurs();
            pty.push_back(p);
            Pair n;
            n.plain = NetPlain();
            n.ours = NetOurs();
            net.push_back(n);
        }
        Report("pty (cat)", pty);
        Report("tcp (socat)", net);
    } catch (const Error& error) {
        std::fprintf(stderr, "bench_comm: %s\n", error.description().c_str());
        return 1;
    }
    return 0;
}
