#pragma once
// The board as a real process and a telnet caller for it, for tests.
#include <gtest/gtest.h>

#include <QProcess>
#include <QTemporaryDir>
#include <memory>
#include <string>
#include <vector>

#include "platform/comm/TelnetCodec.h"

namespace zorv::bbs::test {

std::string BinPath(const std::string& program);  // empty when not built
std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& bytes);
// Equal byte strings; on a difference tells the lengths and the first differing offset
// instead of printing both.
::testing::AssertionResult SameBytes(const std::string& got, const std::string& want);
// Bytes of every value, the ZMODEM and telnet escapes among them, from a seed.
std::string SampleBytes(size_t size, unsigned seed);

// A board with its own file area and accounts in a temporary folder:
//   area/    the files callers may download
//   accounts demo:demo:B and visitor:welcome:A
//   log      the call log
class Board {
public:
    Board();
    ~Board();
    std::string AreaPath(const std::string& name = "") const;
    std::string Path(const std::string& name) const;
    // Starts zorvbbs on a free loopback port; false when it did not come up.
    bool Start(const std::vector<std::string>& extraArgs = {});
    // Starts zorvbbs on a pseudo-terminal; the caller's end is `LinePath()`.
    bool StartPty();
    const std::string& LinePath() const { return linePath_; }
    void Stop();
    int Port() const { return port_; }
    std::string Log() const { return ReadFile(Path("log")); }
    // Waits (10 s at most) until the log holds `text` more than `seen` times.
    bool WaitForLog(const std::string& text, int seen = 0) const;

private:
    QTemporaryDir dir_;
    QProcess process_;
    bool Launch(const std::vector<std::string>& args, std::string& firstLine);
    int port_ = 0;
    std::string linePath_;
};

class TelnetClient {
public:
    ~TelnetClient();
    bool Connect(int port);
    // Opens a serial line (a pseudo-terminal) instead: plain bytes, no telnet.
    bool OpenLine(const std::string& path);
    void CloseLine();
    // The errno of a failed Connect.
    int ConnectError() const { return connectError_; }
    void Send(const std::string& text);
    // Reads until `text` has arrived; the text up to and including it is taken from the
    // received data and returned in `got`. False on time-out or a closed line.
    bool ReadUntil(const std::string& text, std::string& got, double seconds = 10);
    // Everything received since the last ReadUntil, after the line has closed; false if it
    // stays open for `seconds`.
    bool WaitClosed(std::string& rest, double seconds = 10);
    // Receives with our ZMODEM into `folder` until the session ends; its final status.
    struct Received {
        int status = -100;           // the session's final status (-100: our time limit)
        long long resumedFrom = 0;   // where the file continued an earlier partial copy
    };
    Received ReceiveFile(const std::string& folder, double seconds = 60);

private:
    bool Fill(double deadline);
    int fd_ = -1;
    int connectError_ = 0;
    bool closed_ = false;
    bool raw_ = false;
    TelnetCodec telnet_{TelnetCodec::Role::Client};
    std::string data_;
};

}  // namespace zorv::bbs::test
