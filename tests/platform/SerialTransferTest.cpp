// A file received with ZMODEM through the comm control on a pseudo-terminal, sent by
// lrzsz's sz, started the way the main window starts it: on event 8.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <QLabel>
#include <QTemporaryDir>
#include <fstream>
#include <iterator>
#include <random>
#include <functional>
#include <memory>

#include "platform/comm/TransferProgressWindow.h"
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
    std::string shownStatus;
    comm.SetEventHandler([&] {
        if (comm.EventCode() == COMM_EV_ZMODEM_START) {
            comm.SetXferStatusDialog(2);
            comm.SetXferProtocol(XFER_ZMODEM);
            comm.SetDownload("");
        } else if (comm.EventCode() == COMM_EV_XFER_STATUS) {
            statuses.push_back(comm.XferStatus());
            QWidget* window = comm.ProgressWindow();
            if (comm.XferStatus() == XFER_TRANSFERRING && window && window->isVisible())
                shownStatus = window->findChild<QLabel*>("LblStatus")->text().toStdString();
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
    // XferStatusDialog 2 showed the progress window while the file came in.
    EXPECT_EQ(shownStatus, "Transferring");
    ASSERT_NE(comm.ProgressWindow(), nullptr);
    EXPECT_FALSE(comm.ProgressWindow()->isVisible());
}

// The far end of the pty runs `argv` in `folder`; killed and reaped at the end.
class FarEnd {
public:
    FarEnd(PtyPair& pty, std::vector<std::string> argv, const std::string& folder) {
        pid_ = fork();
        if (pid_ == 0) {
            if (chdir(folder.c_str()) != 0) _exit(126);
            fcntl(pty.master, F_SETFL, fcntl(pty.master, F_GETFL) & ~O_NONBLOCK);
            dup2(pty.master, 0);
            dup2(pty.master, 1);
            std::vector<char*> args;
            for (auto& a : argv) args.push_back(a.data());
            args.push_back(nullptr);
            execvp(args[0], args.data());
            _exit(127);
        }
    }
    ~FarEnd() { Stop(); }
    void Stop() {
        if (pid_ <= 0) return;
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
        pid_ = -1;
    }

private:
    pid_t pid_ = -1;
};

class TransferEndsTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(pty.slavePath.empty());
        pty.ReleaseSlave();
        std::mt19937 random(11);
        for (int i = 0; i < 4 * 1024 * 1024; ++i) data += static_cast<char>(random() & 0xff);
        source = sendDir.path().toStdString() + "/big.bin";
        std::ofstream(source, std::ios::binary) << data;
        comm.SetDownloadFolder(downloadDir.path().toStdString());
        comm.SetXferProtocol(XFER_ZMODEM);
        comm.SetEventHandler([this] {
            if (comm.EventCode() == COMM_EV_XFER_STATUS) statuses.push_back(comm.XferStatus());
            else events.push_back(comm.EventCode());
            if (onStatus && comm.EventCode() == COMM_EV_XFER_STATUS) onStatus(comm.XferStatus());
        });
        comm.SetPortOpen(true);
    }
    bool Ended(double seconds = 60) {
        return WaitFor([&] {
            return !statuses.empty() && (statuses.back() == XFER_IDLE || statuses.back() == XFER_FAILED ||
                                         statuses.back() == XFER_CARRIER_LOST);
        }, seconds);
    }

    PtyPair pty;
    QTemporaryDir sendDir, downloadDir;
    std::string data, source;
    PortComm comm{Ports(pty.slavePath)};
    std::vector<int> statuses, events;
    std::function<void(int)> onStatus;
};

TEST_F(TransferEndsTest, UploadArrivesWholeAtRz) {
    comm.SetUpload(source);
    FarEnd rz(pty, {"rz", "-q", "-b"}, downloadDir.path().toStdString());
    ASSERT_TRUE(Ended());
    EXPECT_EQ(statuses.back(), XFER_IDLE);
    EXPECT_TRUE(ReadAll(downloadDir.path().toStdString() + "/big.bin") == data);
}

TEST_F(TransferEndsTest, AbortEndsTheTransferAndNoCompleteFileIsLeft) {
    bool aborted = false;
    onStatus = [&](int status) {
        if (status == XFER_TRANSFERRING && !aborted) {
            aborted = true;
            comm.SetXferStatus(XFER_ABORT);
        }
    };
    comm.SetDownload("");
    FarEnd sz(pty, {"sz", "-q", "-b", source}, sendDir.path().toStdString());
    ASSERT_TRUE(Ended());
    EXPECT_EQ(statuses.back(), XFER_FAILED);
    EXPECT_NE(std::find(statuses.begin(), statuses.end(), XFER_ABORT), statuses.end());
    struct stat info {};
    EXPECT_NE(stat((downloadDir.path().toStdString() + "/big.bin").c_str(), &info), 0);
    EXPECT_EQ(comm.XferStatus(), XFER_FAILED);
}

TEST_F(TransferEndsTest, CarrierLossEndsTheTransferWithStatus8) {
    std::unique_ptr<FarEnd> sz;
    bool cut = false;
    onStatus = [&](int status) {
        if (status == XFER_TRANSFERRING && !cut) {
            cut = true;
            sz->Stop();
            pty.CloseMaster();
        }
    };
    comm.SetDownload("");
    sz = std::make_unique<FarEnd>(pty, std::vector<std::string>{"sz", "-q", "-b", source},
                                  sendDir.path().toStdString());
    ASSERT_TRUE(Ended());
    EXPECT_EQ(statuses.back(), XFER_CARRIER_LOST);
    EXPECT_EQ(events, std::vector<int>{COMM_EV_CARRIER_DROP});
    struct stat info {};
    EXPECT_NE(stat((downloadDir.path().toStdString() + "/big.bin").c_str(), &info), 0);
}

}  // namespace
}  // namespace zorv::test
