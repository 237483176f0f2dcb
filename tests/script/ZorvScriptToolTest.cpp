// zorvscript run as a program against a BBS made here on the loopback network, through
// the network modem.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <QProcess>
#include <QTemporaryDir>
#include <atomic>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>

namespace zorv::test {
namespace {

// A one-call BBS: greets with a login prompt and, once `login` arrives, answers with
// `ready` (nothing when it is empty). Telnet negotiation from the caller is
// ignored. Everything received is kept.
class LoopbackBbs {
public:
    LoopbackBbs(std::string login, std::string ready) : login_(std::move(login)), ready_(std::move(ready)) {
        listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = 0;
        ::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address);
        ::listen(listener_, 1);
        socklen_t length = sizeof address;
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
        port_ = ntohs(address.sin_port);
        thread_ = std::thread([this] { Serve(); });
    }
    ~LoopbackBbs() {
        stop_ = true;
        if (thread_.joinable()) thread_.join();
        ::close(listener_);
    }
    int port() const { return port_; }
    // Everything the caller sent, once the call is over.
    std::string received() {
        if (thread_.joinable()) thread_.join();
        return received_;
    }

private:
    bool WaitReadable(int fd) {
        for (int waited = 0; waited < 30000 && !stop_; waited += 100) {
            pollfd p{fd, POLLIN, 0};
            if (::poll(&p, 1, 100) > 0) return true;
        }
        return false;
    }
    void Serve() {
        if (!WaitReadable(listener_)) return;
        const int call = ::accept(listener_, nullptr, nullptr);
        if (call < 0) return;
        const std::string greeting = "Welcome to the test BBS\r\nlogin? ";
        ::send(call, greeting.data(), greeting.size(), MSG_NOSIGNAL);
        bool answered = false;
        char buffer[4096];
        while (WaitReadable(call)) {
            const ssize_t n = ::recv(call, buffer, sizeof buffer, 0);
            if (n <= 0) break;
            received_.append(buffer, static_cast<size_t>(n));
            if (!answered && received_.find(login_) != std::string::npos) {
                answered = true;
                if (!ready_.empty()) ::send(call, ready_.data(), ready_.size(), MSG_NOSIGNAL);
            }
        }
        ::close(call);
    }

    std::string login_;
    std::string ready_;
    int listener_ = -1;
    int port_ = 0;
    std::atomic<bool> stop_ = false;
    std::string received_;
    std::thread thread_;
};

TEST(ZorvScriptTool, RunsAScriptThroughTheNetworkModem) {
    const char* binDir = std::getenv("ZORV_BIN_DIR");
    const std::string tool = std::string(binDir ? binDir : "") + "/zorvscript";
    if (!binDir || ::access(tool.c_str(), X_OK) != 0) GTEST_SKIP() << "zorvscript is not built";

    struct Case {
        const char* name;
        bool portOption;        // --port 9, else the script's own PORT line
        std::string loginLines; // how the script answers the login prompt
        std::string typed;      // what the terminal gets for INPUT lines
        std::string login;      // what the BBS waits for
        std::string ready;      // the BBS's answer to the login
        int exitCode;
        std::string lastLines;  // the end of standard output
    };
    const std::vector<Case> cases = {
        {"--port opens the network modem", true, "SEND \"guest^M\"", "", "guest\r", "Hello GUEST\r\nready> ", 0,
         "RESULT 5100 Script Completed\nLINENO 0\nLINETEXT \n"},
        {"the script's PORT line opens it, INPUT asks the terminal", false,
         "INPUT \"Login name?\", NAME\r\nSEND NAME", "guest\n", "GUEST\r", "ready> ", 0,
         "RESULT 5100 Script Completed\nLINENO 0\nLINETEXT \n"},
        {"a prompt that never comes", true, "SEND \"guest^M\"", "", "guest\r", "", 1,
         "LINENO 7\nLINETEXT WAITFOR \"ready>\"\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        LoopbackBbs bbs(c.login, c.ready);
        QTemporaryDir dir;
        const std::string script = dir.filePath("LOGIN.SCR").toStdString();
        {
            std::ofstream out(script, std::ios::binary);
            out << (c.portOption ? "; opened by the caller\r\n" : "PORT 9\r\n") << "TIMEOUT 3\r\n"
                << "ON_TIMEOUT_GOTO :FAILED\r\n"
                << "DIAL \"127.0.0.1:" << bbs.port() << "\"\r\n"
                << "WAITFOR \"login?\"\r\n"
                << c.loginLines << "\r\n"
                << "WAITFOR \"ready>\"\r\n"
                << "HANGUP\r\nEND\r\n:FAILED\r\nEND\r\n";
        }
        QProcess process;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_CONFIG_HOME", dir.path());
        process.setProcessEnvironment(env);
        QStringList args;
        if (c.portOption) args << "--port" << "9";
        args << QString::fromStdString(script);
        process.start(QString::fromStdString(tool), args);
        process.write(c.typed.c_str());
        process.closeWriteChannel();
        ASSERT_TRUE(process.waitForFinished(60000)) << "zorvscript did not end";
        const std::string out = process.readAllStandardOutput().toStdString();
        const std::string err = process.readAllStandardError().toStdString();
        EXPECT_EQ(process.exitCode(), c.exitCode) << out << err;
        ASSERT_GE(out.size(), c.lastLines.size()) << out << err;
        EXPECT_EQ(out.substr(out.size() - c.lastLines.size()), c.lastLines) << err;
        EXPECT_NE(err.find("Script: Dialing 127.0.0.1:"), std::string::npos) << err;
        EXPECT_NE(bbs.received().find(c.login), std::string::npos);
    }
}

TEST(ZorvScriptTool, CommandLineProblemsHaveTheirOwnExitStatus) {
    const char* binDir = std::getenv("ZORV_BIN_DIR");
    const std::string tool = std::string(binDir ? binDir : "") + "/zorvscript";
    if (!binDir || ::access(tool.c_str(), X_OK) != 0) GTEST_SKIP() << "zorvscript is not built";
    QTemporaryDir dir;
    const QString script = dir.filePath("S.SCR");
    std::ofstream(script.toStdString()) << "END\r\n";
    struct Case {
        QStringList args;
        int exitCode;
        std::string output;  // found in standard output and error together
    };
    const std::vector<Case> cases = {
        {{"--help"}, 0, "Exit status: 0"},
        {{}, 2, "no script given"},
        {{"--port", "x", script}, 2, "bad port number"},
        {{"--colour", script}, 2, "unknown option --colour"},
        {{"--port", "99", script}, 3, "port 99 cannot be opened"},
        {{dir.filePath("NONE.SCR")}, 4, "cannot read"},
        {{dir.path()}, 4, "is a directory"},
        {{script}, 0, "RESULT 5100 Script Completed"},
    };
    for (const Case& c : cases) {
        QProcess process;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_CONFIG_HOME", dir.path());
        process.setProcessEnvironment(env);
        process.start(QString::fromStdString(tool), c.args);
        ASSERT_TRUE(process.waitForFinished(30000));
        const std::string output =
            process.readAllStandardOutput().toStdString() + process.readAllStandardError().toStdString();
        EXPECT_EQ(process.exitCode(), c.exitCode) << c.args.join(' ').toStdString() << "\n" << output;
        EXPECT_NE(output.find(c.output), std::string::npos) << c.args.join(' ').toStdString() << "\n" << output;
    }
}

}  // namespace
}  // namespace zorv::test
