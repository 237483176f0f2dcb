// A file received with ZMODEM through the comm control on a pseudo-terminal, sent by
// lrzsz's sz, started the way the main window starts it: on event 8.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>

#include <QTemporaryDir>
#include <fstream>
#include <iterator>
#include <random>

#include "tests/platform/CommTestSupport.h"

namespace zorv::test {
namespace {

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

TEST(SerialTransferTest, FileFromSzArrivesWholeAndEveryStatusIsAnnounced) {
    QTemporaryDir sendDir, downloadDir;
    std::string data;
    std::mt19937 random(7);
    for (int i = 0; i < 300000; ++i) data += static_cast<char>(i < 256 ? i : random() & 0xff);
    const std::string source = sendDir.path().toStdString() + "/report.bin";
    std::ofstream(source, std::ios::binary) << data;

    PtyPair pty;
    ASSERT_FALSE(pty.slavePath.empty());
    pty.ReleaseSlave();
    PortComm comm{Ports(pty.slavePath)};
    comm.SetDownloadFolder(downloadDir.path().toStdString());
    std::vector<int> statuses;
    comm.SetEventHandler([&] {
        if (comm.EventCode() == COMM_EV_ZMODEM_START) {
            comm.SetXferStatusDialog(2);
            comm.SetXferProtocol(XFER_ZMODEM);
            comm.SetDownload("");
        } else if (comm.EventCode() == COMM_EV_XFER_STATUS) {
            statuses.push_back(comm.XferStatus());
        }
    });
    comm.SetPortOpen(true);

    const pid_t sender = fork();
    if (sender == 0) {
        fcntl(pty.master, F_SETFL, fcntl(pty.master, F_GETFL) & ~O_NONBLOCK);
        dup2(pty.master, 0);
        dup2(pty.master, 1);
        execlp("sz", "sz", "-q", "-b", source.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    ASSERT_GT(sender, 0);
    const bool ended = WaitFor([&] { return !statuses.empty() && (statuses.back() == 0 || statuses.back() == -1); }, 60);
    kill(sender, SIGTERM);
    waitpid(sender, nullptr, 0);
    ASSERT_TRUE(ended);
    EXPECT_EQ(statuses.back(), XFER_IDLE);
    EXPECT_EQ(statuses.front(), XFER_WAITING);
    EXPECT_NE(std::find(statuses.begin(), statuses.end(), XFER_TRANSFERRING), statuses.end());
    EXPECT_NE(std::find(statuses.begin(), statuses.end(), XFER_FILE_DONE), statuses.end());
    for (size_t i = 1; i < statuses.size(); ++i) EXPECT_NE(statuses[i], statuses[i - 1]) << "repeated at " << i;
    EXPECT_TRUE(ReadAll(downloadDir.path().toStdString() + "/report.bin") == data);
    EXPECT_EQ(comm.XferStatus(), XFER_IDLE);
}

}  // namespace
}  // namespace zorv::test
