// zorvxfer: sends or receives files over standard input and output, so a terminal
// program can run it in place of rz and sz.
#include "platform/comm/TransferFactory.h"
#include "tools/zorvxfer/LineDriver.h"
#include "tools/zorvxfer/PortLine.h"

#include <QCoreApplication>

#include "config/IniFile.h"
#include "platform/comm/LineSettings.h"
#include "util/Error.h"

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
    "Transfers files over standard input and output (run it on the line, as rz and sz),\n"
    "or over port N of the port table with --port N.\n"
    "receive stores the files the sender offers in FOLDER (default: the current folder),\n"
    "under plain names; an existing file is never replaced, a name taken gets a number.\n"
    "A file arrives as NAME.part and is renamed to NAME once it is whole; an interrupted\n"
    "transfer keeps NAME.part, and the next ZMODEM transfer of the same file continues it.\n"
    "\n"
    "options:\n"
    "  --protocol NAME     transfer protocol: zmodem (the default), xmodem (checksums),\n"
    "                      xmodem-crc, xmodem-1k, ymodem, ymodem-g or kermit\n"
    "  --as NAME           receive: store the first file under NAME (XMODEM carries no\n"
    "                      name: without --as its file is stored as download.dat)\n"
    "  --port N            use port N of the port table instead of standard input and\n"
    "                      output: a serial device, or the network modem (needs --dial)\n"
    "  --dial NUMBER       on the port, dial NUMBER first (ATDT) and start once the\n"
    "                      modem answers CONNECT; the call is hung up at the end\n"
    "  --settings TEXT     line settings of the port (default 115200,N,8,1)\n"
    "  --config DIR        read the port table and phone book from DIR/zorvxfer.INI\n"
    "                      (default: $XDG_CONFIG_HOME/zorvdial, else ~/.config/zorvdial)\n"
    "  --escape-control    escape every control character (for lines that eat them)\n"
    "  --timeout SECONDS   silence before asking the other end again (default 10)\n"
    "  --retries N         time-outs in a row before giving up (default 10)\n"
    "  --no-resume         never continue a partial file\n"
    "  --quiet             no progress on standard error\n"
    "  --help              show this text\n"
    "\n"
    "Port table ([Ports] in the INI file): N=/dev/ttyUSB0 for a serial device, N=net\n"
    "for the network modem, which dials host:port or a [PhoneBook] number\n"
    "(5550199=host:port,raw or ,telnet). Without a [Ports] section ports 1-4 are\n"
    "/dev/ttyS0-3 and 9 is the network modem.\n"
    "\n"
    "Exit status: 0 when every file arrived whole, 1 when a transfer failed, 2 for\n"
    "wrong arguments, 3 when the port cannot be opened or the call does not connect.\n";

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
    int port = 0;
    std::string dial, settings = "115200,N,8,1", receiveAs;
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
        } else if (a == "--port") {
            const std::string text = value("--port");
            port = text.size() <= 5 && text.find_first_not_of("0123456789") == std::string::npos && !text.empty()
                       ? std::atoi(text.c_str())
                       : 0;
            if (port < 1 || port > 255) {
                std::fprintf(stderr, "zorvxfer: bad port number \"%s\"\n", text.c_str());
                return 2;
            }
        } else if (a == "--as") {
            receiveAs = value("--as");
        } else if (a == "--dial") {
            dial = value("--dial");
        } else if (a == "--settings") {
            settings = value("--settings");
            try {
                ParseLineSettings(settings);
            } catch (const Error&) {
                std::fprintf(stderr, "zorvxfer: bad line settings \"%s\"\n", settings.c_str());
                return 2;
            }
        } else if (a == "--config") {
            SetIniDirectory(value("--config"));
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
    int protocolCode = 0;
    if (!TransferProtocolByName(protocol, protocolCode)) {
        std::fprintf(stderr, "zorvxfer: unknown protocol %s\n%s", protocol.c_str(), kUsage);
        return 2;
    }
    if (!dial.empty() && port == 0) {
        std::fputs("zorvxfer: --dial needs --port\n", stderr);
        return 2;
    }
    if (args.empty() || (args[0] != "receive" && args[0] != "send") || timeout <= 0 || retries < 0 ||
        (args[0] == "receive" && args.size() > 2) || (args[0] == "send" && args.size() < 2)) {
        std::fputs(kUsage, stderr);
        return 2;
    }

    TransferRequest request;
    request.protocol = protocolCode;
    request.timeout = timeout;
    request.retries = retries;
    request.escapeControl = escapeControl;
    request.allowResume = resume;
    xfer::LineOptions line;
    if (args[0] == "receive") {
        request.direction = TransferDirection::Receive;
        if (args.size() == 2) request.folder = args[1];
        if (!receiveAs.empty()) request.files = {receiveAs};
        // Long enough for the closing "OO" on a local line; on a slow one it may come
        // later and show on the terminal, which is harmless.
        line.linger = 0.1;
    } else {
        request.direction = TransferDirection::Send;
        request.files.assign(args.begin() + 1, args.end());
    }
    std::unique_ptr<TransferSession> session;
    try {
        session = MakeTransferSession(request);
    } catch (const Error& error) {
        std::fprintf(stderr, "zorvxfer: %s\n", error.description().c_str());
        return error.number() == ErrorNumber::OperationNotValid ? 2 : 1;
    }

    bool showProgress = !quiet && (port != 0 || stderrIsSeparate());
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
    int status;
    if (port != 0) {
        QCoreApplication app(argc, argv);
        xfer::PortOptions options;
        options.port = port;
        options.settings = settings;
        options.dial = dial;
        options.abortRequested = &gAbort;
        options.onProgress = line.onProgress;
        if (!quiet) options.say = [](const std::string& text) { std::fprintf(stderr, "zorvxfer: %s\n", text.c_str()); };
        if (xfer::RunOnPort(*session, options, status) != xfer::PortOutcome::Ran) return 3;
    } else {
        status = xfer::RunOverLine(*session, line);
    }
    if (showProgress) std::fputc('\n', stderr);
    if (status != 0 && !quiet) {
        std::string why = session->Progress().lastMessage;
        std::fprintf(stderr, "zorvxfer: transfer %s%s%s\n", statusWord(status).c_str(), why.empty() ? "" : ": ",
                     why.c_str());
    }
    return status == 0 ? 0 : 1;
}
