#include "config/PortSettings.h"

#include "config/IniFile.h"
#include "config/IniKeys.h"
#include "config/SettingsString.h"
#include "config/TVPort.h"
#include "modem/Dialing.h"
#include "modem/ModemCommands.h"
#include "script/LibraryState.h"
#include "script/RecordingTrace.h"
#include "script/ResultCodes.h"
#include "util/Error.h"
#include "util/EventPump.h"
#include "util/QtText.h"
#include "util/UiServices.h"

namespace zorv {

PortSettingsRecord CurrentPortSettings;
int16_t SettingsRequired = 0;

namespace {

// Told when the dialog was confirmed with a field the settings string cannot hold
// (the control's settings were not valid and nothing was picked in that list).
constexpr const char* kIncompleteSettings =
    "The port settings are incomplete: choose a baud rate, data bits, parity and stop bits.";

const char* FlagText(int16_t flag) { return flag != 0 ? "-1" : "0"; }

// The wait pointer for as long as it stands, and the default one on every way out.
class WaitPointer {
public:
    WaitPointer() { Ui().SetWaitPointer(true); }
    ~WaitPointer() { Release(); }
    void Release() {
        if (waiting_) Ui().SetWaitPointer(false);
        waiting_ = false;
    }

private:
    bool waiting_ = true;
};

// Stores one key; a key that could not be stored is told once per confirmation, since
// the user would otherwise believe the set-up kept for the next start.
class PortSectionWriter {
public:
    explicit PortSectionWriter(const std::string& tag) : section_(ini::PortSection(tag)) {}

    void Write(const ini::PortKey& key, const std::string& value) {
        if (!WriteIniKey(section_, key.name, value) && !failureTold_) {
            failureTold_ = true;
            MsgBox("The port settings could not be stored in " + IniFilePath() + ".");
        }
    }

private:
    std::string section_;
    bool failureTold_ = false;
};

// Applies the confirmed record to the control, stores it and opens the port. False,
// with the text to tell, when the control refuses a value or the port does not open:
// what was stored before that point stays stored ("Comm Port" is written only after
// the port opened).
bool ApplyConfirmed(CommControl& comm, PortSectionWriter& writer, std::string& problem) {
    PortSettingsRecord& record = CurrentPortSettings;
    std::string settings;
    if (!BUILDSETTINGS(record.Baud, record.Parity, record.DataBits, record.StopBits, settings)) {
        problem = kIncompleteSettings;
        return false;
    }
    try {
        comm.SetInputLen(0);
        comm.SetInterval(55);
        comm.SetSettings(settings);
        writer.Write(ini::kSettings, settings);
        comm.SetDTREnable(record.DTREnable != 0);
        writer.Write(ini::kDTREnable, FlagText(record.DTREnable));
        comm.SetRTSEnable(record.RTSEnable != 0);
        writer.Write(ini::kRTSEnable, FlagText(record.RTSEnable));
        comm.SetHandshaking(record.Handshaking);
        writer.Write(ini::kHandshaking, std::to_string(record.Handshaking));
        if (comm.PortOpen()) comm.SetPortOpen(false);
        comm.SetCommPort(record.CommPort);
        comm.SetPortOpen(true);
    } catch (const Error& error) {
        problem = error.description();
        return false;
    }
    writer.Write(ini::kCommPort, std::to_string(record.CommPort));
    return true;
}

// Reads the stored set-up key by key and applies each value at once. False at the
// first key missing or empty, and when the control refuses a stored value: either way
// the stored set-up cannot be used as it is. Values applied before stay applied.
bool ApplyStored(CommControl& comm) {
    const std::string section = ini::PortSection(comm.Tag());
    auto read = [&](const ini::PortKey& key) { return ReadIniKey(section, key.name, key.readLimit); };
    try {
        const std::string port = read(ini::kCommPort);
        if (port.empty()) return false;
        comm.SetCommPort(LeadingNumber(port));
        const std::string settings = read(ini::kSettings);
        if (settings.empty()) return false;
        comm.SetSettings(settings);
        const std::string dtr = read(ini::kDTREnable);
        if (dtr.empty()) return false;
        comm.SetDTREnable(dtr == "True" || dtr == "-1");
        const std::string rts = read(ini::kRTSEnable);
        if (rts.empty()) return false;
        comm.SetRTSEnable(rts == "True" || rts == "-1");
        const std::string handshaking = read(ini::kHandshaking);
        if (handshaking.empty()) return false;
        comm.SetHandshaking(LeadingNumber(handshaking));
    } catch (const Error&) {
        return false;
    }
    return true;
}

}  // namespace

void SetPortSettings(CommControl& comm) {
    PortSectionWriter writer(comm.Tag());
    // A confirmed set-up that does not work brings the dialog back, showing what was
    // just applied, until one works or the dialog is cancelled.
    for (;;) {
        DoEvents();
        {
            WaitPointer wait;
            TVPort dialog;
            dialog.PresetFrom(comm);
            wait.Release();
            dialog.setWindowTitle(ToQString(comm.Tag() + " Setup"));
            dialog.exec();
        }
        DoEvents();
        if (!DialogAccepted) return;

        std::string problem;
        if (ApplyConfirmed(comm, writer, problem)) break;
        MsgBox(problem);
    }
    if (RecordingActive != 0) {
        ScriptTrace("PORT", std::to_string(comm.CommPort()));
        ScriptTrace("SETTINGS", comm.Settings());
    }
}

void LoadPortSettings(CommControl& comm) {
    if (ConstantsReady == 0) INITCONSTANTS();
    bool wasOpen = false;
    try {
        comm.CommPort();  // the library's test that the control can be used
        wasOpen = comm.PortOpen();
    } catch (const Error&) {
        SETRESULT(RC_NO_COMM_CONTROL);
        return;
    }
    if (wasOpen) comm.SetPortOpen(false);

    if (ApplyStored(comm)) {
        if (!wasOpen) return;
        try {
            comm.SetPortOpen(true);
            return;
        } catch (const Error&) {
            // the stored port does not open: ask for another set-up
        }
    }
    SettingsRequired = -1;
    try {
        SetPortSettings(comm);
    } catch (...) {
        SettingsRequired = 0;
        throw;
    }
    SettingsRequired = 0;
}

}  // namespace zorv
