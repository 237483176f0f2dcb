// The progress window of a ZMODEM receive through the comm control, with lrzsz's sz on
// the far end of a line this test paces (and damages once), so the window can be seen
// while the file comes in.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <QDir>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <fstream>
#include <iterator>
#include <random>
#include <regex>

#include "platform/comm/TransferProgressWindow.h"
#include "tests/platform/CommTestSupport.h"

namespace zorv::test {
namespace {

constexpr int kFileSize = 300000;
constexpr double kLineBytesPerSecond = 100000;

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

std::string Text(QWidget* window, const char* name) {
    QLabel* label = window->findChild<QLabel*>(name);
    return label ? label->text().toStdString() : "<no " + std::string(name) + ">";
}

// sz on a pseudo-terminal of its own; Carry() moves its bytes to the control's line at
// kLineBytesPerSecond, flipping one bit of the byte at `damageAt`, and the control's
// answers back at once.
class PacedSz {
public:
    PacedSz(PtyPair& line, const std::string& file) : line_(line) {
        szLine_.ReleaseSlave();
        pid_ = fork();
        if (pid_ == 0) {
            const int slave = open(szLine_.slavePath.c_str(), O_RDWR);
            dup2(slave, 0);
            dup2(slave, 1);
            execlp("sz", "sz", "-q", "-b", file.c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
        started_ = SystemTimeOfDay();
    }
    ~PacedSz() {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }

    int64_t damageAt = -1;

    void Carry() {
        const int64_t allowed = static_cast<int64_t>((SystemTimeOfDay() - started_) * kLineBytesPerSecond);
        if (pending_.empty() && carried_ < allowed) {
            char buffer[4096];
            const ssize_t n = read(szLine_.master, buffer, std::min<int64_t>(sizeof buffer, allowed - carried_));
            if (n > 0) pending_.assign(buffer, static_cast<size_t>(n));
            if (damageAt >= carried_ && damageAt < carried_ + n) pending_[damageAt - carried_] ^= 0x10;
        }
        if (!pending_.empty()) {
            const ssize_t n = write(line_.master, pending_.data(), pending_.size());
            if (n > 0) {
                pending_.erase(0, static_cast<size_t>(n));
                carried_ += n;
            }
        }
        const std::string answers = line_.Take();
        if (!answers.empty()) write(szLine_.master, answers.data(), answers.size());
    }

private:
    PtyPair& line_;
    PtyPair szLine_;
    pid_t pid_ = -1;
    double started_ = 0;
    std::string pending_;
    int64_t carried_ = 0;
};

class TransferProgressTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(line.slavePath.empty());
        line.ReleaseSlave();
        std::mt19937 random(5);
        for (int i = 0; i < kFileSize; ++i) data += static_cast<char>(random() & 0xff);
        source = sendDir.path().toStdString() + "/report.bin";
        target = downloadDir.path().toStdString() + "/report.bin";
        std::ofstream(source, std::ios::binary) << data;
        comm.SetDownloadFolder(downloadDir.path().toStdString());
        // Started the way the main window starts it: on event 8, with the window.
        comm.SetEventHandler([this] {
            if (comm.EventCode() == COMM_EV_ZMODEM_START) {
                comm.SetXferStatusDialog(2);
                comm.SetXferProtocol(XFER_ZMODEM);
                comm.SetDownload("");
            } else if (comm.EventCode() == COMM_EV_XFER_STATUS) {
                statuses.push_back(comm.XferStatus());
            }
        });
        comm.SetPortOpen(true);
    }

    // Carries the line until the transfer ends; `during` sees every step of it.
    bool RunToEnd(PacedSz& sz, const std::function<void()>& during) {
        return WaitFor([&] {
            sz.Carry();
            during();
            return !statuses.empty() && (statuses.back() == XFER_IDLE || statuses.back() == XFER_FAILED);
        }, 60);
    }

    int64_t BytesDone() {
        TransferProgress progress;
        return comm.TransferProgressOf(progress) ? progress.bytesDone : 0;
    }

    PtyPair line;
    QTemporaryDir sendDir, downloadDir;
    std::string data, source, target;
    PortComm comm{Ports(line.slavePath)};
    std::vector<int> statuses;
};

TEST_F(TransferProgressTest, WindowShowsTheFileWhileItArrivesAndClosesAtTheEnd) {
    PacedSz sz(line, source);
    sz.damageAt = kFileSize / 5;
    std::map<std::string, std::string> shown;
    int barValue = -1, barMaximum = -1;
    bool cancelEnabled = false;
    int64_t doneWhenShown = 0;
    ASSERT_TRUE(RunToEnd(sz, [&] {
        QWidget* window = comm.ProgressWindow();
        const int64_t done = BytesDone();
        if (!shown.empty() || !window || !window->isVisible() || done < kFileSize / 2) return;
        // Past half way: the window has measured a rate and shows the recovered error.
        if (Text(window, "LblRate") == "-" || Text(window, "LblErrors") == "0") return;
        for (const char* name : {"LblFile", "LblSize", "LblBytes", "LblRate", "LblTimeLeft", "LblErrors", "LblStatus"})
            shown[name] = Text(window, name);
        auto* bar = window->findChild<QProgressBar*>("BarProgress");
        barValue = bar->value();
        barMaximum = bar->maximum();
        cancelEnabled = window->findChild<QPushButton*>("CmdCancel")->isEnabled();
        doneWhenShown = done;
        if (const char* bin = std::getenv("ZORV_BIN_DIR")) {
            const QString folder = QString::fromLocal8Bit(bin) + "/../screenshots";
            QDir().mkpath(folder);
            window->grab().save(folder + "/TransferProgress.png");
        }
    }));
    EXPECT_EQ(statuses.back(), XFER_IDLE);
    EXPECT_TRUE(ReadAll(target) == data);

    ASSERT_FALSE(shown.empty()) << "the window never showed the transfer under way";
    EXPECT_EQ(shown["LblFile"], "report.bin");
    EXPECT_EQ(shown["LblSize"], std::to_string(kFileSize) + " bytes");
    std::smatch match;
    ASSERT_TRUE(std::regex_match(shown["LblBytes"], match, std::regex("(\\d+) bytes"))) << shown["LblBytes"];
    const int64_t bytesShown = std::stoll(match[1]);
    EXPECT_GT(bytesShown, 0);
    EXPECT_LE(bytesShown, doneWhenShown);
    // The bar shows the same part of the file as the byte count.
    EXPECT_NEAR(double(barValue) / barMaximum, double(bytesShown) / kFileSize, 0.01);
    ASSERT_TRUE(std::regex_match(shown["LblRate"], match, std::regex("(\\d+) bytes/s"))) << shown["LblRate"];
    const double rate = std::stod(match[1]);
    EXPECT_GT(rate, 0);
    EXPECT_LT(rate, 2 * kLineBytesPerSecond);  // never more than the line carried
    EXPECT_TRUE(std::regex_match(shown["LblTimeLeft"], std::regex("\\d+:\\d\\d"))) << shown["LblTimeLeft"];
    EXPECT_NE(shown["LblTimeLeft"], "0:00");
    EXPECT_GE(std::stoi(shown["LblErrors"]), 1);
    EXPECT_EQ(shown["LblStatus"], "Transferring");
    EXPECT_TRUE(cancelEnabled);

    // It closed itself at the end.
    ASSERT_NE(comm.ProgressWindow(), nullptr);
    EXPECT_FALSE(comm.ProgressWindow()->isVisible());
}

TEST_F(TransferProgressTest, CancelButtonAbortsAndLeavesNoCompleteFile) {
    PacedSz sz(line, source);
    bool clicked = false;
    ASSERT_TRUE(RunToEnd(sz, [&] {
        QWidget* window = comm.ProgressWindow();
        if (clicked || !window || !window->isVisible() || BytesDone() < kFileSize / 4) return;
        clicked = true;
        window->findChild<QPushButton*>("CmdCancel")->click();
    }));
    ASSERT_TRUE(clicked);
    EXPECT_EQ(statuses.back(), XFER_FAILED);
    EXPECT_NE(std::find(statuses.begin(), statuses.end(), XFER_ABORT), statuses.end());
    struct stat info {};
    EXPECT_NE(stat(target.c_str(), &info), 0) << "an aborted file must not look complete";
    EXPECT_FALSE(comm.ProgressWindow()->isVisible());
}

TEST(TransferProgressWindowTest, DurationText) {
    const std::vector<std::pair<double, std::string>> cases = {
        {0, "0:00"}, {7.4, "0:07"}, {59.6, "1:00"}, {754, "12:34"}, {3723, "1:02:03"}, {-3, "0:00"}};
    for (const auto& [seconds, text] : cases) EXPECT_EQ(TransferProgressWindow::DurationText(seconds), text) << seconds;
}

}  // namespace
}  // namespace zorv::test
