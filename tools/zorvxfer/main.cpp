// zorvxfer: sends or receives files over standard input and output, so a terminal
// program can run it in place of rz and sz.
#include "platform/zmodem/FileStore.h"
#include "platform/zmodem/ZmodemReceiver.h"
#include "platform/zmodem/ZmodemSender.h"
#include "tools/zorvxfer/LineDriver.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

using namespace zorv;

namespace {

volatile int gAbort = 0;
void onSignal(int) { gAbort = 1; }

const char* kUsage =
    "usage: zorvxfer [options] receive [FOLDER]\n"
    "       zorvxfer [options] send FILE...\n"
    "\n"
    "Transfers files over standard input and output (run it on the line, as rz and sz).\n"
    "receive stores the files the sender offers in FOLDER (default: the current folder),\n"
    "under plain names; an existing file is never replaced, a name taken gets a number.\n"
    "A file arrives as NAME.part and is renamed to NAME once it is whole; an interrupted\n"
    "transfer keeps NAME.part, and the next transfer of the same file continues it.\n"
    "\n"
    "options:\n"
    "  --protocol NAME     transfer protocol: zmodem (the default)\n"
    "  --escape-control    escape every control character (for lines that eat them)\n"
    "  --timeout SECONDS   silence before asking the other end again (default 10)\n"
    "  --retries N         time-outs in a row before giving up (default 10)\n"
    "  --no-resume         never continue a partial file\n"
    "  --quiet             no progress on standard error\n"
    "  --help              show this text\n"
    "\n"
    "Exit status: 0 when every file arrived whole, 1 when a transfer failed, 2 for\n"
    "wrong arguments.\n";

// Progress goes to standard error, unless that is the line itself.
bool stderrIsSeparate() {
    struct stat err, out;
    if (fstat(2, &err) != 0) return false;
    if (fstat(1, &out) != 0) return true;
    return !(err.st_dev == out.st_dev && err.st_ino == out.st_ino);
}

std::string statusWord(int status) {
    switch (status) {
    case 0: return "done";
    case -1: return "failed";
    case 1: return "waiting";
    case 2: return "negotiating";
    case 3: return "transferring";
    case 4: return "finishing";
    case 6: return "aborted";
    case 7: return "file done";
    case 8: return "line lost";
    case 9: return "timed out";
    default: return "?";
    }
}

}  // namespace

int main(int argc, char** argv) {
    std::string protocol = "zmodem";
    bool escapeControl = false, resume = true, quiet = false;
    double timeout = 10.0;
    int retries = 10;
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        auto value = [&](const char* what) -> std::string {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "zorvxfer: %s needs a value\n%s", what, kUsage);
                std::exit(2);
            }
            return argv[++i];
        };
        if (a == "--help" || a == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (a == "--protocol") {
            protocol = value("--protocol");
        } else if (a == "--escape-control") {
            escapeControl = true;
        } else if (a == "--timeout") {
            timeout = std::atof(value("--timeout").c_str());
        } else if (a == "--retries") {
            retries = std::atoi(value("--retries").c_str());
        } else if (a == "--no-resume") {
            resume = false;
        } else if (a == "--quiet" || a == "-q") {
            quiet = true;
        } else if (a.size() > 1 && a[0] == '-' && args.empty()) {
            std::fprintf(stderr, "zorvxfer: unknown option %s\n%s", a.c_str(), kUsage);
            return 2;
        } else {
            args.push_back(a);
        }
    }
    if (protocol != "zmodem") {
        std::fprintf(stderr, "zorvxfer: unknown protocol %s (this version speaks zmodem)\n", protocol.c_str());
        return 2;
    }
    if (args.empty() || (args[0] != "receive" && args[0] != "send") || timeout <= 0 || retries < 0) {
        std::fputs(kUsage, stderr);
        return 2;
    }

    std::unique_ptr<TransferSession> session;
    std::unique_ptr<zmodem::DownloadFolder> folder;
    xfer::LineOptions line;
    if (args[0] == "receive") {
        if (args.size() > 2) {
            std::fputs(kUsage, stderr);
            return 2;
        }
        folder = std::make_unique<zmodem::DownloadFolder>(args.size() == 2 ? args[1] : ".");
        zmodem::ReceiverOptions options;
        options.timeout = timeout;
        options.maxRetries = retries;
        options.escapeControl = escapeControl;
        options.allowResume = resume;
        session = std::make_unique<zmodem::ZmodemReceiver>(*folder, options);
        // Long enough for the closing "OO" on a local line; on a slow one it may come
        // later and show on the terminal, which is harmless.
        line.linger = 0.1;
    } else {
        if (args.size() < 2) {
            std::fputs(kUsage, stderr);
            return 2;
        }
        std::vector<std::unique_ptr<zmodem::SendFile>> files;
        for (size_t i = 1; i < args.size(); ++i) {
            std::string error;
            auto f = zmodem::OpenSendFile(args[i], error);
            if (!f) {
                std::fprintf(stderr, "zorvxfer: %s\n", error.c_str());
                return 1;
            }
            files.push_back(std::move(f));
        }
        zmodem::SenderOptions options;
        options.timeout = timeout;
        options.maxRetries = retries;
        options.escapeControl = escapeControl;
        session = std::make_unique<zmodem::ZmodemSender>(std::move(files), options);
    }

    bool showProgress = !quiet && stderrIsSeparate();
    double started = xfer::MonotonicSeconds();
    std::string lastMessage;
    auto report = [&](const TransferSession& s) {
        TransferProgress p = s.Progress();
        if (p.lastMessage != lastMessage) {
            lastMessage = p.lastMessage;
            if (!lastMessage.empty()) std::fprintf(stderr, "\r\033[K%s\n", lastMessage.c_str());
        }
        double seconds = xfer::MonotonicSeconds() - started;
        double rate = seconds > 0 ? double(p.bytesDone - p.resumedFrom) / seconds / 1024.0 : 0.0;
        std::fprintf(stderr, "\r\033[K%s %lld/%lld bytes, %.0f KiB/s, %d errors, %s", p.fileName.c_str(),
                     static_cast<long long>(p.bytesDone), static_cast<long long>(p.fileSize), rate,
                     p.errorsRecovered, statusWord(s.Status()).c_str());
        std::fflush(stderr);
    };
    if (showProgress) {
        line.onProgress = report;
        session->SetStatusHandler([&](int) { report(*session); });
    }
    // Interrupted, we cancel properly, so the other end stops at once too.
    struct sigaction sa {};
    sa.sa_handler = onSignal;
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
    sigaction(SIGHUP, &sa, nullptr);
    line.abortRequested = &gAbort;
    int status = xfer::RunOverLine(*session, line);
    if (showProgress) std::fputc('\n', stderr);
    if (status != 0 && !quiet) {
        std::string why = session->Progress().lastMessage;
        std::fprintf(stderr, "zorvxfer: transfer %s%s%s\n", statusWord(status).c_str(), why.empty() ? "" : ": ",
                     why.c_str());
    }
    return status == 0 ? 0 : 1;
}
