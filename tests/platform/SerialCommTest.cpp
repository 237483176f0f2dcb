// The comm control on a serial line: pseudo-terminal pairs made by each test.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <fstream>

#include "platform/comm/SerialLock.h"
#include "tests/platform/CommTestSupport.h"
#include "util/ProgramEnd.h"

namespace zorv::test {
namespace {

class SerialCommTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(pty.slavePath.empty());
        pty.ReleaseSlave();
    }
    PtyPair pty;
    PortComm comm{Ports(pty.slavePath)};
};

TEST_F(SerialCommTest, SettingsTheLineCanTakeAreKeptOthersRaiseAndChangeNothing) {
    struct Case {
        const char* settings;
        bool taken;
    };
    const Case cases[] = {
        {"9600,N,8,1", true},   {"110,E,7,2", true},    {"14400,O,8,1", true}, {"230400,n,8,1", true},
        {"28800,N,8,1", true},  {"1200,N,5,1.5", true}, {"9601,N,8,1", false}, {"460800,N,8,1", false},
        {"9600,X,8,1", false},  {"9600,N,4,1", false},  {"9600,N,9,1", false}, {"9600,N,8,3", false},
        {"9600,N,8,1.5", false}, {"9600,N,8", false},   {"", false},           {"9600,N,8,1,1", false},
        {"9600,N;8;1", false},
    };
    for (bool open : {false, true}) {
        if (open) comm.SetPortOpen(true);
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(c.settings) + (open ? " open" : " closed"));
            comm.SetSettings("2400,N,8,1");
            if (c.taken) {
                EXPECT_NO_THROW(comm.SetSettings(c.settings));
                EXPECT_NE(comm.Settings(), "2400,N,8,1");
            } else {
                EXPECT_THROW(comm.SetSettings(c.settings), Error);
                EXPECT_EQ(comm.Settings(), "2400,N,8,1");
            }
        }
    }
    comm.SetSettings("14400,e,7,1");
    EXPECT_EQ(comm.Settings(), "14400,E,7,1");
    for (int mode : {0, 1, 2, 3}) EXPECT_NO_THROW(comm.SetHandshaking(mode));
    EXPECT_THROW(comm.SetHandshaking(4), Error);
    EXPECT_EQ(comm.Handshaking(), 3);
}

TEST_F(SerialCommTest, DataPassesBothWaysAndDiscardEmptiesTheBuffer) {
    comm.SetPortOpen(true);
    std::string all;
    for (int i = 0; i < 256; ++i) all += static_cast<char>(i);
    comm.SetOutput(all);
    std::string got;
    EXPECT_TRUE(WaitFor([&] { return (got += pty.Take()).size() >= 256; }));
    EXPECT_EQ(got, all);

    pty.Send(all);
    ASSERT_TRUE(WaitFor([&] { return comm.InBufferCount() == 256; }));
    comm.SetInputLen(100);
    EXPECT_EQ(comm.Input(), all.substr(0, 100));
    comm.SetInputLen(0);
    EXPECT_EQ(comm.Input(), all.substr(100));
    EXPECT_EQ(comm.Input(), "");

    pty.Send("stale");
    ASSERT_TRUE(WaitFor([&] { return comm.InBufferCount() == 5; }));
    comm.SetInBufferCount(0);
    EXPECT_EQ(comm.InBufferCount(), 0);
    EXPECT_EQ(comm.Input(), "");
    EXPECT_THROW(comm.SetInBufferCount(3), Error);
    comm.SetOutBufferCount(0);
    EXPECT_EQ(comm.OutBufferCount(), 0);
}

TEST_F(SerialCommTest, ClosedPortRefusesDataAndDeviceErrorsNameTheCause) {
    EXPECT_THROW(comm.SetOutput("x"), Error);
    EXPECT_THROW(comm.Input(), Error);
    struct Case {
        std::string device;
        const char* cause;
    };
    const Case cases[] = {{"/dev/zorv-no-such-device", "not found"},
                          {"/dev/null", "not a serial device"},
                          {"/tmp", "not a serial device"}};
    for (const Case& c : cases) {
        PortComm other{Ports(c.device)};
        try {
            other.SetPortOpen(true);
            ADD_FAILURE() << c.device << " opened";
        } catch (const Error& error) {
            EXPECT_EQ(error.number(), ErrorNumber::DeviceUnavailable);
            EXPECT_NE(error.description().find(c.cause), std::string::npos) << error.description();
        }
        EXPECT_FALSE(other.PortOpen());
    }
    PortComm unknown{Ports(pty.slavePath)};
    unknown.SetCommPort(7);
    EXPECT_THROW(unknown.SetPortOpen(true), Error);
}

TEST_F(SerialCommTest, SecondOpenerIsRefusedWhileTheFirstHoldsTheLocks) {
    const std::string lockFile = SerialLock::LockFilePath(pty.slavePath);
    comm.SetPortOpen(true);
    ASSERT_FALSE(lockFile.empty());
    // The name other programs look for: /dev/pts/N locks as LCK..pts_N.
    EXPECT_EQ(lockFile.substr(lockFile.rfind('/') + 1), "LCK..pts_" + pty.slavePath.substr(9));
    EXPECT_EQ(SerialLock::ReadLockOwner(lockFile), static_cast<long>(getpid()));

    PortComm second{Ports(pty.slavePath)};
    EXPECT_THROW(second.SetPortOpen(true), Error);
    // Another program that checks only the flock sees the port taken too.
    int fd = open(pty.slavePath.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(fd, 0);
    EXPECT_NE(flock(fd, LOCK_EX | LOCK_NB), 0);
    close(fd);

    comm.SetPortOpen(false);
    struct stat info {};
    EXPECT_NE(stat(lockFile.c_str(), &info), 0) << "lock file left behind";
    EXPECT_NO_THROW(second.SetPortOpen(true));
    second.SetPortOpen(false);
}

TEST_F(SerialCommTest, LockOfAGoneProcessIsRemovedOneOfALiveProcessIsHonoured) {
    const std::string lockFile = SerialLock::LockFilePath(pty.slavePath);
    ASSERT_FALSE(lockFile.empty());
    const pid_t child = fork();
    if (child == 0) {
        pause();
        _exit(0);
    }
    for (bool alive : {true, false}) {
        SCOPED_TRACE(alive ? "live owner" : "gone owner");
        if (!alive) {
            kill(child, SIGKILL);
            waitpid(child, nullptr, 0);
        }
        std::ofstream(lockFile) << "      " << child << "\n";
        if (alive) {
            EXPECT_THROW(comm.SetPortOpen(true), Error);
            EXPECT_EQ(SerialLock::ReadLockOwner(lockFile), child);
        } else {
            EXPECT_NO_THROW(comm.SetPortOpen(true));
            EXPECT_EQ(SerialLock::ReadLockOwner(lockFile), static_cast<long>(getpid()));
        }
    }
    comm.SetPortOpen(false);
    unlink(lockFile.c_str());
}

TEST_F(SerialCommTest, ProgramEndReleasesTheLock) {
    const std::string lockFile = SerialLock::LockFilePath(pty.slavePath);
    comm.SetPortOpen(true);
    int ended = -1;
    SetProgramEndHandler([&](int status) { ended = status; });
    EndProgram(3);
    SetProgramEndHandler(nullptr);
    EXPECT_EQ(ended, 3);
    struct stat info {};
    EXPECT_NE(stat(lockFile.c_str(), &info), 0);
    PortComm second{Ports(pty.slavePath)};
    EXPECT_NO_THROW(second.SetPortOpen(true));
}

TEST_F(SerialCommTest, ReceiveEventAtThresholdAndCarrierDropWhenTheFarEndCloses) {
    std::vector<int> events;
    comm.SetEventHandler([&] { events.push_back(comm.EventCode()); });
    comm.SetRThreshold(4);
    comm.SetPortOpen(true);
    EXPECT_TRUE(comm.CDHolding());
    pty.Send("ab");
    Settle(0.1);
    EXPECT_TRUE(events.empty());
    pty.Send("cd");
    ASSERT_TRUE(WaitFor([&] { return !events.empty(); }));
    EXPECT_EQ(events, std::vector<int>{COMM_EV_RECEIVE});

    events.clear();
    pty.CloseMaster();
    ASSERT_TRUE(WaitFor([&] { return !comm.CDHolding(); }));
    ASSERT_TRUE(WaitFor([&] { return !events.empty(); }));
    EXPECT_EQ(events, std::vector<int>{COMM_EV_CARRIER_DROP});
}

TEST_F(SerialCommTest, ZmodemStartIsSpottedAlsoWhenSplitOverTwoReads) {
    std::vector<int> events;
    comm.SetEventHandler([&] { events.push_back(comm.EventCode()); });
    comm.SetPortOpen(true);
    pty.Send("rz\r**\x18");
    ASSERT_TRUE(WaitFor([&] { return comm.InBufferCount() == 6; }));
    EXPECT_TRUE(events.empty());
    pty.Send("B00000000000000\r\n");
    ASSERT_TRUE(WaitFor([&] { return !events.empty(); }));
    EXPECT_EQ(events, std::vector<int>{COMM_EV_ZMODEM_START});
    // The bytes stay readable for whoever starts the transfer.
    EXPECT_EQ(comm.Input().substr(0, 7), std::string("rz\r**\x18" "B", 7));
}

TEST_F(SerialCommTest, TransferWithoutAnEngineIsRefusedWithAnError) {
    comm.SetPortOpen(true);
    comm.SetXferProtocol(XFER_CSERVE_BPLUS);
    try {
        comm.SetDownload("");
        ADD_FAILURE() << "a transfer started without an engine";
    } catch (const Error& error) {
        EXPECT_EQ(error.number(), ErrorNumber::OperationNotValid);
    }
    EXPECT_EQ(comm.XferStatus(), XFER_IDLE);
    EXPECT_THROW(comm.SetXferProtocol(8), Error);
}

TEST_F(SerialCommTest, AutoProcessFeedsTheScreenInsteadOfInput) {
    comm.SetPortOpen(true);
    comm.SetAutoProcess(1);
    pty.Send("\x1b[2J\x1b[3;5HHello\x1b[1;1HTop\x1b[6n");
    ASSERT_TRUE(WaitFor([&] { return comm.Text().find("Hello") != std::string::npos; }));
    EXPECT_EQ(comm.InBufferCount(), 0);
    const std::string text = comm.Text();
    EXPECT_EQ(text.substr(0, 3), "Top");
    // Row 3, column 5: two rows of 80 and their CR LF before it.
    EXPECT_EQ(text.substr(2 * 82 + 4, 5), "Hello");
    // The terminal answered the cursor position report down the line.
    std::string answer;
    EXPECT_TRUE(WaitFor([&] { return (answer += pty.Take()).find("R") != std::string::npos; }));
    EXPECT_EQ(answer, "\x1b[1;4R");

    comm.SetAutoProcess(0);
    pty.Send("plain");
    ASSERT_TRUE(WaitFor([&] { return comm.InBufferCount() == 5; }));
    EXPECT_EQ(comm.Input(), "plain");
}

TEST_F(SerialCommTest, FloodingPeerIsHeldBackAtTheBufferLimitAndNothingIsLost) {
    comm.SetPortOpen(true);
    std::string sent;
    for (size_t i = 0; sent.size() < 3 * PortComm::kInputLimit; ++i) sent += static_cast<char>(i * 7 + i / 251);
    size_t written = 0;
    size_t largest = 0;
    // Write whatever the peer can while nobody reads: the control must stop at its limit.
    auto push = [&] {
        const ssize_t n = write(pty.master, sent.data() + written, sent.size() - written);
        if (n > 0) written += static_cast<size_t>(n);
        largest = std::max(largest, static_cast<size_t>(comm.InBufferCount()));
        return written == sent.size();
    };
    WaitFor([&] { return push() || comm.InBufferCount() >= static_cast<int>(PortComm::kInputLimit); });
    WaitFor(push, 0.3);
    EXPECT_LT(written, sent.size());
    EXPECT_LE(largest, PortComm::kInputLimit);
    std::string got;
    ASSERT_TRUE(WaitFor([&] {
        const ssize_t n = written < sent.size() ? write(pty.master, sent.data() + written, sent.size() - written) : 0;
        if (n > 0) written += static_cast<size_t>(n);
        got += comm.Input();
        return got.size() == sent.size();
    }, 20));
    EXPECT_TRUE(got == sent);
}

}  // namespace
}  // namespace zorv::test
