// zorvscript: runs a script on a comm control without the main window, for automating a
// BBS session from a terminal or another program.
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QTimer>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <optional>
#include <string>

#include "config/IniFile.h"
#include "modem/LineWait.h"
#include "platform/QtEventPump.h"
#include "platform/comm/PortComm.h"
#include "script/ResultCodes.h"
#include "script/ScriptLanguage.h"
#include "script/ScriptRun.h"
#include "script/StatusText.h"
#include "util/Error.h"
#include "util/EventPump.h"
#include "util/Numbers.h"
#include "util/UiServices.h"

namespace {

// Exit statuses.
constexpr int kExitCompleted = 0;     // the script reached END with no time-out pending
constexpr int kExitNotCompleted = 1;  // any other ending: see the printed result
constexpr int kExitUsage = 2;
constexpr int kExitPortFailed = 3;    // --port N could not be opened
constexpr int kExitScriptUnreadable = 4;

const char* const kHelp =
    "Usage: zorvscript [options] SCRIPT\n"
    "\n"
    "Runs the script file SCRIPT on a comm control, without the main window.\n"
    "\n"
    "Options:\n"
    "  --port N      open port N of the port table before the run; without it the\n"
    "                control starts closed and the script's own PORT line opens it\n"
    "  --config DIR  read the port table and phone book from DIR/zorvscript.INI\n"
    "                (default: $XDG_CONFIG_HOME/zorvdial, else ~/.config/zorvdial)\n"
    "  --help        show this text\n"
    "\n"
    "Port table ([Ports] in the INI file): N=/dev/ttyUSB0 for a serial device,\n"
    "N=net for the network modem, which dials host:port or a [PhoneBook] number.\n"
    "Without a [Ports] section ports 1-4 are /dev/ttyS0-3 and 9 is the network modem.\n"
    "\n"
    "Status texts go to standard error as the script runs; INPUT lines ask on the\n"
    "terminal. Ctrl-C cancels the run (a second Ctrl-C ends the program at once).\n"
    "At the end standard output gets three lines:\n"
    "  RESULT <code> <message>\n"
    "  LINENO <line number where the run stopped, 0 after a clean END>\n"
    "  LINETEXT <that line, control characters in caret notation>\n"
    "\n"
    "Exit status: 0 the script reached END (result 5100, line 0); 1 it ended any\n"
    "other way; 2 bad command line; 3 the --port could not be opened; 4 the script\n"
    "file cannot be read.\n";

// Boxes and questions on the terminal.
class TerminalUi : public zorv::UiServices {
public:
    zorv::MsgAnswer MessageBox(const std::string&, const std::string&, zorv::MsgButtons,
                               zorv::MsgIcon) override {
        return zorv::MsgAnswer::Ok;  // MsgBox has written the text to standard error
    }
    std::optional<std::string> InputBox(const std::string& prompt, const std::string& title,
                                        const std::string&) override {
        std::fprintf(stderr, "[%s] %s ", zorv::CTRL2CARET(title).c_str(), zorv::CTRL2CARET(prompt).c_str());
        std::fflush(stderr);
        std::string answer;
        if (!std::getline(std::cin, answer)) return std::nullopt;  // end of input: cancelled
        if (!answer.empty() && answer.back() == '\r') answer.pop_back();
        return answer;
    }
    void Beep() override {}
    void SetWaitPointer(bool) override {}
    zorv::ScreenSize Screen() override { return {}; }
};

volatile sig_atomic_t interrupted = 0;

void OnInterrupt(int) {
    interrupted = 1;
    // The next Ctrl-C ends the program the ordinary way.
    std::signal(SIGINT, SIG_DFL);
}

bool ParsePort(const std::string& text, int& port) {
    if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos || text.size() > 5) return false;
    port = std::stoi(text);
    return port >= 1 && port <= 32767;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);

    std::optional<int> port;
    std::string script;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::fputs(kHelp, stdout);
            return kExitCompleted;
        }
        if (arg == "--port" || arg == "--config") {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "zorvscript: %s needs a value\n", arg.c_str());
                return kExitUsage;
            }
            const std::string value = argv[++i];
            if (arg == "--config") {
                zorv::SetIniDirectory(value);
                continue;
            }
            int number = 0;
            if (!ParsePort(value, number)) {
                std::fprintf(stderr, "zorvscript: bad port number \"%s\"\n", value.c_str());
                return kExitUsage;
            }
            port = number;
            continue;
        }
        if (arg.rfind("--", 0) == 0 && arg.size() > 2) {
            std::fprintf(stderr, "zorvscript: unknown option %s (see --help)\n", arg.c_str());
            return kExitUsage;
        }
        if (!script.empty()) {
            std::fprintf(stderr, "zorvscript: one script only (see --help)\n");
            return kExitUsage;
        }
        script = arg;
    }
    if (script.empty()) {
        std::fputs("zorvscript: no script given (see --help)\n", stderr);
        return kExitUsage;
    }
    struct stat info {};
    if (::stat(script.c_str(), &info) != 0) {
        std::fprintf(stderr, "zorvscript: cannot read %s: %s\n", script.c_str(), std::strerror(errno));
        return kExitScriptUnreadable;
    }
    if (S_ISDIR(info.st_mode)) {
        std::fprintf(stderr, "zorvscript: %s is a directory, not a script\n", script.c_str());
        return kExitScriptUnreadable;
    }

    zorv::QtEventPump pump;
    zorv::SetPump(&pump);
    TerminalUi ui;
    zorv::SetUi(&ui);
    zorv::SetStatusHook([](const std::string& message) {
        if (message.empty()) return;
        std::fprintf(stderr, "%s\n", zorv::CTRL2CARET(message).c_str());
        std::fflush(stderr);
    });

    // Ctrl-C becomes a cancel request; it is passed on from the event loop, so the
    // signal handler itself touches nothing but its flag.
    std::signal(SIGINT, OnInterrupt);
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [] {
        if (interrupted) zorv::CancelRequested = 1;
    });
    watch.start(50);

    zorv::PortComm comm;
    if (port) {
        try {
            comm.SetCommPort(*port);
            comm.SetPortOpen(true);
        } catch (const zorv::Error& error) {
            std::fprintf(stderr, "zorvscript: port %d cannot be opened: %s (error %d)\n", *port,
                         error.description().c_str(), error.number());
            return kExitPortFailed;
        }
    }

    int lineNo = 0;
    std::string lineText;
    zorv::ScriptRun(comm, script, lineNo, lineText);
    const int result = zorv::GETRESULT();
    const std::string message = zorv::RESULTMESSAGE();

    zorv::CloseLeftOverCapture();
    try {
        if (comm.PortOpen()) comm.SetPortOpen(false);
    } catch (const zorv::Error&) {
    }
    watch.stop();

    std::printf("RESULT %d %s\nLINENO %d\nLINETEXT %s\n", result, message.c_str(), lineNo,
                zorv::CTRL2CARET(lineText).c_str());
    std::fflush(stdout);
    zorv::SetStatusHook(nullptr);
    zorv::SetUi(nullptr);
    zorv::SetPump(nullptr);
    return result == zorv::RC_SCRIPT_COMPLETED && lineNo == 0 ? kExitCompleted : kExitNotCompleted;
}
