// zorvmodems: the modem database window on its own, for one port of the port table, so
// modems can be picked, tested, edited, added, deleted and the database packed without
// a host program; also the port settings dialog and the modem initialization a host
// program runs before it uses a line.
#include <QApplication>
#include <QGuiApplication>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>

#include "config/IniFile.h"
#include "config/IniKeys.h"
#include "config/PortSettings.h"
#include "config/TVModem.h"
#include "modem/ModemInit.h"
#include "platform/QtEventPump.h"
#include "platform/QtUiServices.h"
#include "platform/comm/PortComm.h"
#include "script/LibraryState.h"
#include "script/StatusText.h"
#include "util/Error.h"
#include "util/EventPump.h"
#include "util/Numbers.h"
#include "util/QtText.h"
#include "util/UiServices.h"

namespace {

constexpr int kExitChosen = 0;
constexpr int kExitCancelled = 1;
constexpr int kExitUsage = 2;

const char* const kHelp =
    "Usage: zorvmodems [options]\n"
    "\n"
    "Shows the modem database window for one comm control: pick the make and model of\n"
    "the modem on a port, and OK tests it (the first command of its initialization\n"
    "string must be answered OK; a \"Null Modem\" is not tested) and stores it in the\n"
    "control's [Modem_TAG] section of the INI file. The Utilities menu edits, adds and\n"
    "deletes modems of MODEMS.DAT and packs the file.\n"
    "\n"
    "zorvmodems --port-settings shows the Communication Settings dialog instead: port,\n"
    "speed, framing, DTR/RTS and flow control, proved by opening the port and stored in\n"
    "the control's [Port_TAG] section.\n"
    "zorvmodems --init initializes the control's modem as a host program does before it\n"
    "uses the line: the stored port set-up (asked for when missing), the modem chosen\n"
    "for the control (the database window when none is), and the modem's first init\n"
    "command, which must be answered OK. Progress goes to standard error; the last\n"
    "line printed is the outcome.\n"
    "\n"
    "Options:\n"
    "  --port N        the port to test on, from the port table (default: \"Comm Port\"\n"
    "                  of the control's [Port_TAG] section, else 1); it can still be\n"
    "                  changed in the window\n"
    "  --tag TAG       the control's Tag, which names its INI sections (default: none,\n"
    "                  the sections [Modem_] and [Port_])\n"
    "  --config DIR    read and write DIR/zorvmodems.INI (default: $XDG_CONFIG_HOME/zorvdial,\n"
    "                  else ~/.config/zorvdial)\n"
    "  --database DIR  use DIR/MODEMS.DAT (default: the one beside this program)\n"
    "  --port-settings show the port settings dialog and store what is confirmed\n"
    "  --init          initialize the control's modem (see above)\n"
    "  --help          show this text\n"
    "\n"
    "Port table ([Ports] in the INI file): N=/dev/ttyUSB0 for a serial device,\n"
    "N=net for the network modem. Without a [Ports] section ports 1-4 are\n"
    "/dev/ttyS0-3 and 9 is the network modem.\n"
    "\n"
    "When a modem is stored, standard output gets one line: COM<port>: <model>.\n"
    "Exit status: 0 a modem was stored (--port-settings: settings stored; --init: the\n"
    "modem answered OK or is a null modem); 1 cancelled or failed; 2 bad command line.\n";

enum class Mode { ModemDatabase, PortSettings, Init };

bool ParsePort(const std::string& text, int& port) {
    if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos || text.size() > 5) return false;
    port = std::stoi(text);
    return port >= 1 && port <= 32767;
}

// Without a display there is nothing to show the window on.
bool HaveDisplay() {
    return std::getenv("QT_QPA_PLATFORM") || std::getenv("DISPLAY") || std::getenv("WAYLAND_DISPLAY");
}

}  // namespace

int main(int argc, char** argv) {
    std::optional<int> port;
    std::string tag;
    std::string database;
    std::optional<std::string> config;
    Mode mode = Mode::ModemDatabase;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::fputs(kHelp, stdout);
            return kExitChosen;
        }
        if (arg == "--port-settings" || arg == "--init") {
            mode = arg == "--init" ? Mode::Init : Mode::PortSettings;
            continue;
        }
        if (arg == "--port" || arg == "--tag" || arg == "--config" || arg == "--database") {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "zorvmodems: %s needs a value\n", arg.c_str());
                return kExitUsage;
            }
            const std::string value = argv[++i];
            if (arg == "--tag") {
                tag = value;
            } else if (arg == "--config") {
                config = value;
            } else if (arg == "--database") {
                database = value;
            } else {
                int number = 0;
                if (!ParsePort(value, number)) {
                    std::fprintf(stderr, "zorvmodems: bad port number \"%s\"\n", value.c_str());
                    return kExitUsage;
                }
                port = number;
            }
            continue;
        }
        std::fprintf(stderr, "zorvmodems: unknown argument %s (see --help)\n", arg.c_str());
        return kExitUsage;
    }
    if (!HaveDisplay()) {
        std::fputs("zorvmodems: no display found; the window needs one (see --help)\n", stderr);
        return kExitUsage;
    }

    QApplication app(argc, argv);
    app.setApplicationName("zorvmodems");
    if (config) zorv::SetIniDirectory(*config);

    zorv::QtEventPump pump;
    zorv::SetPump(&pump);
    zorv::QtUiServices ui(QGuiApplication::platformName() != "offscreen");
    zorv::SetUi(&ui);

    if (!port) {
        const std::string saved =
            zorv::ReadIniKey(zorv::ini::PortSection(tag), zorv::ini::kCommPort.name, zorv::ini::kCommPort.readLimit);
        const int number = static_cast<int>(zorv::RoundHalfEven(zorv::Val(saved)));
        port = number >= 1 ? number : 1;
    }

    zorv::PortComm comm;
    comm.SetTag(tag);
    comm.SetCommPort(*port);
    zorv::CurrentCommControl = &comm;

    int status = kExitCancelled;
    if (mode == Mode::PortSettings) {
        zorv::SetPortSettings(comm);
        // The dialog stores the port number last, and only once the port opened.
        const std::string stored = zorv::ReadIniKey(zorv::ini::PortSection(tag), zorv::ini::kCommPort.name,
                                                    zorv::ini::kCommPort.readLimit);
        if (!stored.empty()) {
            std::printf("COM%s: %s\n", stored.c_str(), comm.Settings().c_str());
            status = kExitChosen;
        }
    } else if (mode == Mode::Init) {
        std::string lastStatus;
        zorv::SetStatusHook([&lastStatus](const std::string& message) {
            std::fprintf(stderr, "%s\n", message.c_str());
            lastStatus = message;
        });
        zorv::TVModem window(database);
        zorv::INITMODEM(comm, &window);
        zorv::SetStatusHook(nullptr);
        // Ready is "Online: " and the modem's name; with no modem chosen the name is empty.
        const std::string online = "Online: ";
        const bool ready = lastStatus.size() > online.size() && lastStatus.compare(0, online.size(), online) == 0;
        std::printf("%s\n", ready ? lastStatus.c_str() : ("not ready: " + lastStatus).c_str());
        if (ready) status = kExitChosen;
    } else {
        zorv::TVModem window(database);
        if (!tag.empty()) window.setWindowTitle(zorv::ToQString(tag + " Modem Settings"));
        window.exec();
        const std::string chosen = window.ModemDescription();
        if (!chosen.empty()) {
            std::printf("%s\n", chosen.c_str());
            status = kExitChosen;
        }
    }
    try {
        if (comm.PortOpen()) comm.SetPortOpen(false);
    } catch (const zorv::Error&) {
    }
    zorv::CurrentCommControl = nullptr;
    zorv::SetUi(nullptr);
    zorv::SetPump(nullptr);
    std::fflush(stdout);
    return status;
}
