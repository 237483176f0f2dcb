// zorvbbs: a small bulletin board for trying out the dialer and for its tests. Callers
// reach it by telnet on a loopback port (or through a pseudo-terminal, as over a serial
// line), log in, and download files from its file area with ZMODEM.
#include <signal.h>
#include <sys/stat.h>

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <cstdio>
#include <string>

#include "tools/zorvbbs/Accounts.h"
#include "tools/zorvbbs/BbsServer.h"
#include "tools/zorvbbs/FileArea.h"

namespace {

constexpr int kExitUsage = 2;
constexpr int kExitSetup = 3;

const char* const kDescription =
    "A small bulletin board: callers log in, pick a file and download it with ZMODEM.\n"
    "\n"
    "Accounts file: one account a line, name:password:variant, where variant B (the\n"
    "default) asks for last name then password and variant A takes the password at the\n"
    "last-name prompt, then asks to register or continue. Lines starting with # are\n"
    "comments. Without --accounts the file 'accounts' beside the area folder is used.\n"
    "\n"
    "The first line on standard output is \"listening on ADDRESS:PORT\" (or \"line\n"
    "PATH\" with --pty); the log of every call goes to standard error or --log.";

bool SplitAddress(const QString& text, std::string& host, int& port) {
    const int colon = text.lastIndexOf(':');
    if (colon <= 0) return false;
    bool ok = false;
    port = text.mid(colon + 1).toInt(&ok);
    host = text.left(colon).toStdString();
    return ok && port >= 0 && port <= 65535;
}

}  // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName("zorvbbs");
    ::signal(SIGPIPE, SIG_IGN);

    QCommandLineParser parser;
    parser.setApplicationDescription(kDescription);
    parser.addHelpOption();
    const QCommandLineOption listen("listen", "Take telnet calls on ADDRESS:PORT; port 0 picks a free one.",
                                    "address:port", "127.0.0.1:2323");
    const QCommandLineOption area("area", "The folder whose files callers may download (required).", "folder");
    const QCommandLineOption accounts("accounts", "The accounts file.", "file");
    const QCommandLineOption busy("busy", "Refuse every call, so callers find the line busy.");
    const QCommandLineOption log("log", "Append the call log to FILE instead of standard error.", "file");
    const QCommandLineOption pty("pty", "Serve a pseudo-terminal, as a board on a serial line, instead of TCP.");
    const QCommandLineOption idle("idle", "Hang up on a caller silent for this many seconds (default 300).",
                                  "seconds", "300");
    const QCommandLineOption dropAfter("drop-after",
                                       "Drop the line once a transfer has sent this many bytes, to try out "
                                       "broken calls.",
                                       "bytes");
    const QCommandLineOption cps("cps", "Carry at most this many bytes a second on each call, as a modem line "
                                        "would (default: no limit).",
                                 "bytes", "0");
    const QCommandLineOption drops("drops", "How many transfers --drop-after cuts (default 1).", "count", "1");
    parser.addOptions({listen, area, accounts, busy, log, pty, idle, cps, dropAfter, drops});
    parser.process(app);

    if (!parser.isSet(area) || !parser.positionalArguments().isEmpty()) {
        std::fprintf(stderr, "zorvbbs: %s\n\n%s", parser.isSet(area) ? "unexpected arguments" : "--area is required",
                     parser.helpText().toLocal8Bit().constData());
        return kExitUsage;
    }
    std::string host;
    int port = 0;
    if (!SplitAddress(parser.value(listen), host, port)) {
        std::fprintf(stderr, "zorvbbs: --listen wants ADDRESS:PORT\n");
        return kExitUsage;
    }
    zorv::bbs::ServerOptions options;
    bool ok = true;
    options.busy = parser.isSet(busy);
    options.caller.idleLimit = parser.value(idle).toDouble(&ok);
    if (!ok || options.caller.idleLimit <= 0) {
        std::fprintf(stderr, "zorvbbs: --idle wants a number of seconds\n");
        return kExitUsage;
    }
    options.cps = parser.value(cps).toLongLong(&ok);
    if (!ok || options.cps < 0) {
        std::fprintf(stderr, "zorvbbs: --cps wants a whole number\n");
        return kExitUsage;
    }
    if (parser.isSet(dropAfter)) {
        bool countOk = false;
        options.dropAfter = parser.value(dropAfter).toLongLong(&ok);
        options.drops = parser.value(drops).toInt(&countOk);
        if (!ok || !countOk || options.dropAfter < 0 || options.drops < 0) {
            std::fprintf(stderr, "zorvbbs: --drop-after and --drops want whole numbers\n");
            return kExitUsage;
        }
    }

    std::FILE* logFile = stderr;
    if (parser.isSet(log)) {
        logFile = std::fopen(parser.value(log).toLocal8Bit().constData(), "a");
        if (!logFile) {
            std::fprintf(stderr, "zorvbbs: cannot write the log %s\n", parser.value(log).toLocal8Bit().constData());
            return kExitSetup;
        }
    }

    std::string error;
    zorv::bbs::FileArea fileArea;
    if (!fileArea.Open(parser.value(area).toStdString(), error)) {
        std::fprintf(stderr, "zorvbbs: %s\n", error.c_str());
        return kExitSetup;
    }
    zorv::bbs::Accounts accountList;
    QString accountsPath = parser.value(accounts);
    if (accountsPath.isEmpty()) {
        accountsPath = QFileInfo(QFileInfo(parser.value(area)).absoluteFilePath()).dir().filePath("accounts");
    }
    if (!accountList.Load(accountsPath.toStdString(), error)) {
        std::fprintf(stderr, "zorvbbs: %s\n", error.c_str());
        return kExitSetup;
    }

    zorv::bbs::BbsServer server(accountList, fileArea, options, logFile);
    if (parser.isSet(pty)) {
        if (!server.OpenPty(error)) {
            std::fprintf(stderr, "zorvbbs: %s\n", error.c_str());
            return kExitSetup;
        }
        std::printf("line %s\n", server.SlavePath().c_str());
    } else {
        if (!server.Listen(host, port, error)) {
            std::fprintf(stderr, "zorvbbs: %s\n", error.c_str());
            return kExitSetup;
        }
        std::printf("listening on %s:%d\n", host.c_str(), server.Port());
    }
    std::fflush(stdout);
    return app.exec();
}
