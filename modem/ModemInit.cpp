#include "modem/ModemInit.h"

#include "config/IniFile.h"
#include "config/IniKeys.h"
#include "config/PortSettings.h"
#include "config/TVModem.h"
#include "modem/Dialing.h"
#include "modem/ModemCommands.h"
#include "modem/ModemProfiles.h"
#include "modem/ReceiveGuard.h"
#include "script/LibraryState.h"
#include "script/ResultCodes.h"
#include "script/StatusText.h"
#include "util/Error.h"
#include "util/QtText.h"
#include "util/TextUtils.h"
#include "util/UiServices.h"

namespace zorv {

namespace {

constexpr const char* kNoTagMessage =
    "You have not set the Tag property of this comm control. Telvane must identify each comm control by its Tag "
    "property. Please set the Tag property of each comm control in your project to a unique string.";
constexpr const char* kSetupErrorMessage = "Modem Setup Error: Please re-configure your modem.";
constexpr int kInitTimeout = 10;        // seconds for the modem's answer to the init command
constexpr int kRetryExtraTimeout = 10;  // more for the one try again after ERROR or TIMEOUT

std::string TagOf(CommControl& comm) {
    try {
        return comm.Tag();
    } catch (const Error&) {
        return "";  // as FINDCOMMSLOT does: a Tag that cannot be read is the empty Tag
    }
}

// A control without a Tag can only be told apart while it is the only one: once
// another control holds a slot under its own Tag, an empty Tag is refused.
bool AnotherControlHasASlot() {
    for (int slot = 1; slot <= CommSlotCount(); ++slot)
        if (!SlotTag(slot).empty()) return true;
    return false;
}

std::string ReadModemKey(const std::string& section, const ini::ModemKey& key) {
    const std::string value = ReadIniKey(section, key.name, key.readLimit);
    return value.empty() ? key.readDefault : value;
}

void LoadProfile(const std::string& section, ModemProfile& profile) {
    profile.ModemName = ReadModemKey(section, ini::kModemName);
    profile.HighestBaud = LeadingNumber(ReadModemKey(section, ini::kHighestBaud));
    profile.InitString = ReadModemKey(section, ini::kInitString);
    profile.Connect = ReadModemKey(section, ini::kConnect);
    profile.Attention = ReadModemKey(section, ini::kAttention);
    profile.Hangup = ReadModemKey(section, ini::kHangup);
    profile.Reset = ReadModemKey(section, ini::kReset);
    profile.Answer = ReadModemKey(section, ini::kAnswer);
    profile.Dial = ReadModemKey(section, ini::kDial);
    profile.Busy = ReadModemKey(section, ini::kBusy);
}

// The wait pointer while the modem is set up; the default one on every way out.
class WaitPointer {
public:
    WaitPointer() { Ui().SetWaitPointer(true); }
    ~WaitPointer() { Ui().SetWaitPointer(false); }
    WaitPointer(const WaitPointer&) = delete;
    WaitPointer& operator=(const WaitPointer&) = delete;
};

// The first command of an init string: the text up to its first CR, cleaned; nothing
// when the string holds no CR. Later commands are not sent.
bool FirstInitCommand(const ModemProfile& profile, std::string& command) {
    std::string init = CARET2CTRL(TRIMCTLCHARS(profile.InitString.Text()));
    const std::size_t cr = init.find(CR);
    if (cr == std::string::npos) return false;
    command = TRIMCTLCHARS(init.substr(0, cr + 1));
    return true;
}

// Sends the init command; a modem that answers ERROR or TIMEOUT gets one more try with
// more time. Anything else is reported as it came.
void SendInitCommand(CommControl& comm, const std::string& command, const std::string& modemName) {
    WaitPointer wait;
    int timeout = kInitTimeout;
    bool retried = false;
    for (;;) {
        std::string sent = command;
        ModemResult result = MR_NONE;
        SENDMODEMCMD(comm, sent, 1, timeout, result);
        if (result == MR_OK) break;
        if (result == MR_ERROR || result == MR_TIMEOUT) {
            if (!retried) {
                timeout += kRetryExtraTimeout;
                retried = true;
                continue;
            }
            Ui().SetWaitPointer(false);
            MsgBox(kSetupErrorMessage);
            return;
        }
        Ui().SetWaitPointer(false);
        // An answer that is not OK leaves LastResult at 800, whose message ("Command
        // sent ok.") would read as success: the status names the answer instead.
        STATUSTEXT(0, result != MR_NONE ? RESULT2STR(comm, result) : RESULTMESSAGE());
        return;
    }
    STATUSTEXT(0, "Online: " + modemName);
}

}  // namespace

void INITMODEM(CommControl& comm, TVModem* window) {
    bool wasOpen = false;
    try {
        comm.CommPort();  // the library's test that the control can be used
        wasOpen = comm.PortOpen();
    } catch (const Error&) {
        SETRESULT(RC_NO_COMM_CONTROL);
        return;
    }
    ReceiveGuard receiveGuard(comm);
    SETRESULT(RC_NONE);
    if (comm.CDHolding()) {
        SETRESULT(RC_MODEM_ONLINE);
        return;
    }
    if (ConstantsReady == 0) INITCONSTANTS();

    const std::string tag = TagOf(comm);
    const std::string section = ini::ModemSection(tag);
    const int32_t modemNumber = LeadingNumber(ReadIniKey(section, ini::kModemNumber.name, ini::kModemNumber.readLimit));
    if (modemNumber == 0) {
        MODEMSETTINGS(comm, window);
    } else {
        if (tag.empty() && AnotherControlHasASlot()) {
            MsgBox(kNoTagMessage);
            return;
        }
        // The control keeps one slot: a second initialization loads the INI file into
        // the slot every modem operation reads, not into a new one nothing reads.
        ModemProfile& profile = SlotProfile(FINDCOMMSLOT(comm));
        profile.ModemNumber = modemNumber;
        LoadProfile(section, profile);
    }

    // From here on a control that raises an error is not a reason to stop: each step
    // goes on, and a port that did not open shows in the command's outcome.
    const ModemProfile profile = SlotProfile(FINDCOMMSLOT(comm));
    if (!wasOpen) {
        try {
            comm.SetPortOpen(true);
        } catch (const Error&) {
        }
    }
    const std::string modemName = TRIMCTLCHARS(profile.ModemName.Text());
    // Nothing is sent to a null modem: there is no modem to answer. Its line still
    // needs the stored port set-up (port number and speed), like any other.
    const bool nullModem = profile.ModemName.Text().find("Null Modem") != std::string::npos;
    if (!nullModem) STATUSTEXT(0, "Initializing Modem...");
    try {
        LoadPortSettings(comm);
    } catch (const Error&) {
    }
    std::string command;
    if (!nullModem && FirstInitCommand(profile, command)) {
        SendInitCommand(comm, command, modemName);
        return;
    }
    STATUSTEXT(0, "Online: " + modemName);
}

void MODEMSETTINGS(CommControl& comm, TVModem* window) {
    TVModem& modemWindow = window ? *window : TheTVModem();
    const bool wasOpen = comm.PortOpen();
    std::string settings;
    if (wasOpen) {
        settings = comm.Settings();
        comm.SetPortOpen(false);
    }
    CurrentCommControl = &comm;
    modemWindow.setWindowTitle(ToQString(TagOf(comm) + " Modem Settings"));
    modemWindow.exec();
    if (!wasOpen) return;

    // The window tests a modem with settings of its own; the port gets back its own.
    const bool confirmed = !modemWindow.ModemDescription().empty();
    if (confirmed) comm.SetSettings(settings);
    comm.SetPortOpen(true);
    if (confirmed) {
        // The Attention text goes as it is stored: SENDMODEMCMD ends it with CR.
        std::string attention = SlotProfile(FINDCOMMSLOT(comm)).Attention.Text();
        ModemResult result = MR_NONE;
        SENDMODEMCMD(comm, attention, 1, 1, result);
    }
}

}  // namespace zorv
