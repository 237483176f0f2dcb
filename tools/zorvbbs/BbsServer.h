#pragma once
// The board's lines: a telnet listener on TCP taking any number of callers at once, or
// one pseudo-terminal standing in for a serial line. Each call runs its own BbsCaller.
#include <QObject>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "tools/zorvbbs/Accounts.h"
#include "tools/zorvbbs/BbsCaller.h"
#include "tools/zorvbbs/FileArea.h"

class QTcpServer;
class QTimer;

namespace zorv::bbs {

struct ServerOptions {
    CallerOptions caller;
    bool busy = false;          // every call finds the line busy
    long long dropAfter = -1;   // hang up a transfer after this many bytes of it (-1: never)
    int drops = 1;              // how many transfers are cut that way
    long long cps = 0;          // bytes a second a call's line carries (0: no limit)
};

class BbsServer : public QObject {
public:
    BbsServer(const Accounts& accounts, const FileArea& area, ServerOptions options, std::FILE* log);
    ~BbsServer() override;

    // Takes telnet calls on address:port (port 0: any free one). False with `error`.
    bool Listen(const std::string& address, int port, std::string& error);
    int Port() const { return port_; }

    // Serves a pseudo-terminal; the caller opens `SlavePath()` as its serial line. A call
    // starts when the caller opens the line and ends when it closes it.
    bool OpenPty(std::string& error);
    const std::string& SlavePath() const { return slavePath_; }

    void Log(int call, const std::string& text);

    // Whether this transfer of a call is one to cut short, and counts it.
    bool ShouldDrop(long long transferBytes);

    const Accounts& accounts;
    const FileArea& area;
    const ServerOptions options;

private:
    void OnIncoming();
    void PollPty();

    std::FILE* log_;
    std::unique_ptr<QTcpServer> server_;
    int busyFd_ = -1;           // busy mode: the port is held without listening
    int port_ = 0;
    int nextCall_ = 1;
    int dropsDone_ = 0;

    int ptyFd_ = -1;
    std::string slavePath_;
    std::unique_ptr<QTimer> ptyTimer_;
    class PtyCall;
    std::unique_ptr<PtyCall> ptyCall_;
    bool ptyWaitClose_ = false;  // we hung up: wait for the caller to close its end
};

}  // namespace zorv::bbs
