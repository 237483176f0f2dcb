// zorvxfer on a port of the port table: a pseudo-terminal named in the INI file, with
// lrzsz on the other end, and the network modem dialling a loopback listener with rz
// behind it.
#include "tests/zmodem/PtyPeers.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <pty.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <thread>

namespace zorv::zmodem {
namespace {

using test::Names;
using test::ExpectReceived;

using test::Bytes;
using test::NamedData;
using test::TempDir;

// A child with `lineFd` as its standard input and output, in `folder`.
pid_t Spawn(std::vector<std::string> argv, const std::string& folder, int lineFd, const std::string& errorLog) {
    const pid_t pid = fork();
    if (pid == 0) {
        if (lineFd >= 0) {
            dup2(lineFd, 0);
            dup2(lineFd, 1);
        }
        const int err = open(errorLog.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(err, 2);
        for (int fd = 3; fd < 256; ++fd) close(fd);
        if (chdir(folder.c_str()) != 0) _exit(126);
        std::vector<char*> args;
        for (auto& a : argv) args.push_back(a.data());
        args.push_back(nullptr);
        execvp(args[0], args.data());
        _exit(127);
    }
    return pid;
}

// The exit status, 128 + signal, or -1 when `seconds` passed (the child is killed then).
int Finish(pid_t pid, double seconds) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    int status = 0;
    while (waitpid(pid, &status, WNOHANG) != pid) {
        if (std::chrono::steady_clock::now() > end) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
            return -1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

std::vector<std::string> Zorvxfer(const TempDir& config, std::vector<std::string> args) {
    std::vector<std::string> argv = {test::ZorvxferPath(), "--config", config.Path()};
    argv.insert(argv.end(), args.begin(), args.end());
    return argv;
}

std::vector<NamedData> Files() {
    return {{"empty", ""}, {"every-byte.bin", test::EveryByteValue(16)}, {"random.bin", test::RandomBytes(2 << 20, 21)},
            {"name with spaces.txt", "text\r\n"}};
}

class ZorvxferOnPort : public testing::Test {
protected:
    void SetUp() override {
        if (std::system("command -v sz >/dev/null 2>&1 && command -v rz >/dev/null 2>&1") != 0)
            GTEST_SKIP() << "lrzsz (sz, rz) is not installed";
        for (const auto& f : files) test::WriteWholeFile(src.File(f.name), f.data);
    }
    void WriteIni(const std::string& text) { test::WriteWholeFile(config.File("zorvxfer.INI"), text); }
    std::string Log(const std::string& name) {
        Bytes text;
        test::ReadWholeFile(logs.File(name), text);
        return text;
    }

    std::vector<NamedData> files = Files();
    TempDir src, dst, config, logs;
};

// lrzsz on the master of a pseudo-terminal pair, zorvxfer on the slave by its name in
// the port table, in both directions.
TEST_F(ZorvxferOnPort, SerialPortBothDirectionsWithLrzsz) {
    struct Case {
        const char* what;
        bool oursSend;
    } cases[] = {{"sz to zorvxfer receive", false}, {"zorvxfer send to rz", true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir into;
        int master = -1, slave = -1;
        char name[128];
        struct termios raw {};
        cfmakeraw(&raw);
        ASSERT_EQ(openpty(&master, &slave, name, &raw, nullptr), 0);
        WriteIni(std::string("[Ports]\n3=") + name + "\n");
        std::vector<std::string> ours =
            c.oursSend ? Zorvxfer(config, {"--port", "3", "send"}) : Zorvxfer(config, {"--port", "3", "receive", into.Path()});
        const std::vector<std::string> names = Names(files);
        if (c.oursSend) ours.insert(ours.end(), names.begin(), names.end());
        std::vector<std::string> peer = c.oursSend ? std::vector<std::string>{"rz", "-q", "-b"}
                                                   : std::vector<std::string>{"sz", "-q", "-b"};
        if (!c.oursSend) peer.insert(peer.end(), names.begin(), names.end());
        const pid_t oursPid = Spawn(ours, src.Path(), -1, logs.File("ours.log"));
        const pid_t peerPid = Spawn(peer, c.oursSend ? into.Path() : src.Path(), master, logs.File("peer.log"));
        close(master);
        EXPECT_EQ(Finish(oursPid, 120), 0) << Log("ours.log");
        EXPECT_EQ(Finish(peerPid, 10), 0) << Log("peer.log");
        close(slave);  // held until both ended, so the pair stays up while zorvxfer opens it
        ExpectReceived(into, files, false);
    }
}

// The network modem dials a listener on the loopback address; lrzsz answers the call,
// receiving what we send or sending what we receive.
TEST_F(ZorvxferOnPort, NetworkModemDialsThenTransfersBothWays) {
    struct Case {
        const char* what;
        bool oursSend;
    } cases[] = {{"zorvxfer send to rz", true}, {"sz to zorvxfer receive", false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir into;
        const int listener = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address {};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
        ASSERT_EQ(listen(listener, 1), 0);
        socklen_t length = sizeof address;
        getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length);
        WriteIni("[Ports]\n4=net\n[PhoneBook]\n5550199=127.0.0.1:" + std::to_string(ntohs(address.sin_port)) +
                 ",raw\n");

        const std::vector<std::string> names = Names(files);
        std::vector<std::string> ours = Zorvxfer(config, {"--port", "4", "--dial", "555-0199"});
        std::vector<std::string> peer = {c.oursSend ? "rz" : "sz", "-q", "-b"};
        if (c.oursSend) {
            ours.push_back("send");
            ours.insert(ours.end(), names.begin(), names.end());
        } else {
            ours.insert(ours.end(), {"receive", into.Path()});
            peer.insert(peer.end(), names.begin(), names.end());
        }
        const pid_t oursPid = Spawn(ours, src.Path(), -1, logs.File("ours.log"));
        pollfd ready {listener, POLLIN, 0};
        ASSERT_EQ(poll(&ready, 1, 30000), 1) << Log("ours.log");
        const int call = accept(listener, nullptr, nullptr);
        close(listener);
        const pid_t peerPid = Spawn(peer, c.oursSend ? into.Path() : src.Path(), call, logs.File("peer.log"));
        close(call);
        EXPECT_EQ(Finish(oursPid, 120), 0) << Log("ours.log");
        EXPECT_EQ(Finish(peerPid, 10), 0) << Log("peer.log");
        ExpectReceived(into, files, false);
    }
}

// A port that cannot carry the transfer ends zorvxfer with 3 before anything is sent.
TEST_F(ZorvxferOnPort, PortsThatCannotBeUsed) {
    WriteIni("[Ports]\n3=/nonexistent/tty\n4=net\n");
    struct Case {
        const char* what;
        std::vector<std::string> args;
        int exit;
    } cases[] = {
        {"missing device", {"--port", "3", "send", "empty"}, 3},
        {"port not in the table", {"--port", "7", "send", "empty"}, 3},
        {"network modem without a number", {"--port", "4", "send", "empty"}, 3},
        {"number nobody answers", {"--port", "4", "--dial", "5550100", "send", "empty"}, 3},
        {"dial without a port", {"--dial", "5550100", "send", "empty"}, 2},
        {"bad port number", {"--port", "x", "send", "empty"}, 2},
        {"bad settings", {"--port", "3", "--settings", "9600,Q,8,1", "send", "empty"}, 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(Finish(Spawn(Zorvxfer(config, c.args), src.Path(), -1, logs.File("ours.log")), 30), c.exit)
            << Log("ours.log");
    }
}

}  // namespace
}  // namespace zorv::zmodem
