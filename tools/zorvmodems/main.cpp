// zorvmodems: the modem database window on its own, for one port of the port table, so
// modems can be picked, tested, edited, added, deleted and the database packed without
// a host program.
#include <QApplication>
#include <QGuiApplication>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>

#include "config/IniFile.h"
#include "config/IniKeys.h"
#include "config/TVModem.h"
#include "platform/QtEventPump.h"
#include "platform/QtUiServices.h"
#include "platform/comm/PortComm.h"
#include "script/LibraryState.h"
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
    "Options:\n"
    "  --port N        the port to test on, from the port table (default: \"Comm Port\"\n"
    "                  of the control's [Port_TAG] section, else 1); it can still be\n"
    "                  changed in the window\n"
    "  --tag TAG       the control's Tag, which names its INI sections (default: none,\n"
    "                  the sections [Modem_] and [Port_])\n"
    "  --config DIR    read and write DIR/zorvmodems.INI (default: $XDG_CONFIG_HOME/zorvdial,\n"
    "                  else ~/.config/zorvdial)\n"
    "  --database DIR  use DIR/MODEMS.DAT (default: the one beside this program)\n"
    "  --help          show this text\n"
    "\n"
    "Port table ([Ports] in the INI file): N=/dev/ttyUSB0 for a serial device,\n"
    "N=net for the network modem. Without a [Ports] section ports 1-4 are\n"
    "/dev/ttyS0-3 and 9 is the network modem.\n"
    "\n"
    "When a modem is stored, standard output gets one line: COM<port>: <model>.\n"
    "Exit status: 0 a modem was stored; 1 the window was cancelled; 2 bad command line.\n";

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
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::fputs(kHelp, stdout);
            return kExitChosen;
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
    {
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
