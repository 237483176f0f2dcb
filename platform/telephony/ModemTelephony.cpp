#include "platform/telephony/ModemTelephony.h"

#include <sys/stat.h>
#include <unistd.h>

#include <QElapsedTimer>
#include <QTimer>

#include "config/IniFile.h"
#include "modem/ModemCommands.h"
#include "platform/comm/LineSettings.h"
#include "platform/telephony/DeviceDialog.h"
#include "platform/telephony/LocationDialog.h"
#include "util/Error.h"
#include "util/EventPump.h"
#include "util/ProgramEnd.h"
#include "util/UiServices.h"

namespace zorv {

namespace {

constexpr int kNameLimit = 255;
constexpr size_t kResponseLineLimit = 256;
constexpr int kCharactersPerTick = 4096;
constexpr int kLastWordsMs = 200;  // for the hang-up command to leave before the port closes

QElapsedTimer& Clock() {
    static QElapsedTimer clock;
    if (!clock.isValid()) clock.start();
    return clock;
}

std::unique_ptr<QTimer> MakeTimer(std::function<void()> action) {
    auto timer = std::make_unique<QTimer>();
    QObject::connect(timer.get(), &QTimer::timeout, [action = std::move(action)] { action(); });
    return timer;
}

// True when a serial device is there and ours to open, so an open that failed can only
// mean somebody else holds it.
bool SerialDeviceHeldElsewhere(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0 && S_ISCHR(info.st_mode) && access(path.c_str(), R_OK | W_OK) == 0;
}

void SaveChoice(const std::string& key, const std::string& value) {
    if (ReadIniKey(kTelephonySection, key, kNameLimit) != value) WriteIniKey(kTelephonySection, key, value);
}

}  // namespace

ModemTelephony::ModemTelephony(SerialPortLister lister, PortComm::PortResolver resolver)
    : lister_(std::move(lister)), resolver_(std::move(resolver)) {
    pollTimer_ = MakeTimer([this] { Tick(); });
    carrierTimer_ = MakeTimer([this] { CheckCarrier(); });
    hangupTimer_ = MakeTimer([this] { HangupTick(); });
}

ModemTelephony::~ModemTelephony() {
    handler_ = nullptr;  // nobody listens any more
    pollTimer_->stop();
    carrierTimer_->stop();
    hangupTimer_->stop();
    if (phase_ != Phase::Idle && comm_) {
        receiveGuard_.reset();
        try {
            comm_->SetPortOpen(false);  // closing drops DTR, which hangs a modem up
        } catch (const Error&) {
        }
    }
    FinishHangup();
}

int64_t ModemTelephony::Now() const { return Clock().elapsed(); }

void ModemTelephony::Raise(long state) {
    if (!handler_) return;
    auto handler = handler_;  // the handler may replace itself
    handler(state, 0);
}

// --- devices and locations ---

std::vector<std::string> ModemTelephony::ListDevices() {
    std::vector<std::string> names;
    for (const ModemDevice& device : LoadDevices(lister_)) names.push_back(device.name);
    return names;
}

int ModemTelephony::CurrentDevice() {
    const int index = FindByName(LoadDevices(lister_), ReadIniKey(kTelephonySection, "CurrentDevice", kNameLimit));
    return index < 0 ? 0 : index;
}

std::vector<std::string> ModemTelephony::ListLocations(int& currentIndex) {
    const std::vector<DialingLocation> locations = LoadLocations();
    const int index = FindByName(locations, ReadIniKey(kTelephonySection, "CurrentLocation", kNameLimit));
    currentIndex = index < 0 ? 0 : index;
    std::vector<std::string> names;
    for (const DialingLocation& location : locations) names.push_back(location.name);
    return names;
}

void ModemTelephony::ChooseDevice(const std::string& deviceName) {
    // A name that is not (or no longer) in the list leaves the choice as it was.
    if (FindByName(LoadDevices(lister_), deviceName) >= 0) SaveChoice("CurrentDevice", deviceName);
}

void ModemTelephony::ChooseLocation(const std::string& locationName) {
    if (FindByName(LoadLocations(), locationName) >= 0) SaveChoice("CurrentLocation", locationName);
}

ModemDevice ModemTelephony::ChosenDevice() {
    const std::vector<ModemDevice> devices = LoadDevices(lister_);
    if (devices.empty()) throw Error(ErrorNumber::DialingUnavailable, "There is no modem to dial with");
    return devices[CurrentDevice()];
}

DialingLocation ModemTelephony::ChosenLocation() {
    int index = 0;
    ListLocations(index);
    return LoadLocations()[index];
}

void ModemTelephony::ShowDeviceDialog() {
    const int index = CurrentDevice();
    std::vector<ModemDevice> devices = LoadDevices(lister_);
    if (devices.empty()) {
        MsgBox("There is no modem to configure: no serial port was found and the port table has no network modem.");
        return;
    }
    DeviceDialog dialog(devices[index]);
    if (dialog.exec() != QDialog::Accepted) return;
    devices[index] = dialog.Device();
    if (!SaveDevices(devices)) {
        MsgBox("The modem settings could not be saved in " + IniFilePath());
        return;
    }
    // The dialog edits the chosen device, so a new name stays chosen.
    SaveChoice("CurrentDevice", devices[index].name);
}

void ModemTelephony::ShowLocationDialog(const std::string& number) {
    int current = 0;
    ListLocations(current);
    LocationDialog dialog(LoadLocations(), current, number);
    if (dialog.exec() != QDialog::Accepted) return;
    if (!SaveLocations(dialog.Locations())) {
        MsgBox("The dialing locations could not be saved in " + IniFilePath());
        return;
    }
    SaveChoice("CurrentLocation", dialog.Locations()[dialog.CurrentIndex()].name);
}

// --- the call ---

bool ModemTelephony::CallUp() { return phase_ != Phase::Idle; }

int ModemTelephony::PlaceCall(CommControl& comm, const std::string& number) {
    if (phase_ != Phase::Idle) throw Error(ErrorNumber::DeviceInUse, "The device is in use by the call in progress");
    // A dropped call still hanging up on this control gives the port over now: closing
    // drops DTR, which ends the old call as well.
    if (hangup_.comm == &comm) FinishHangup();
    if (comm.PortOpen()) throw Error(ErrorNumber::DeviceInUse, "The device is in use: its port is already open");

    const ModemDevice device = ChosenDevice();
    const DialingLocation location = ChosenLocation();
    if (std::string why = CheckDevice(device); !why.empty())
        throw Error(ErrorNumber::InvalidPropertyValue, device.name + ": " + why);
    if (std::string why = CheckLocation(location); !why.empty())
        throw Error(ErrorNumber::InvalidPropertyValue, location.name + ": " + why);
    if (std::string why = CheckNumber(number); !why.empty()) throw Error(ErrorNumber::InvalidPropertyValue, why);

    OpenPort(comm, device);

    comm_ = &comm;
    ++callId_;
    initCommand_ = device.init.empty() ? "AT" : device.init;
    CARET2CTRL(initCommand_);
    if (initCommand_.empty() || initCommand_.back() != '\r') initCommand_ += '\r';
    dialCommand_ = DialCommand(location, number);
    line_.clear();
    attempts_ = 0;
    receiveGuard_.emplace(comm);
    comm.SetInBufferCount(0);
    phase_ = Phase::Settling;
    deadline_ = Now() + timings_.settleMs;
    pollTimer_->start(timings_.pollMs);
    return callId_;
}

void ModemTelephony::OpenPort(CommControl& comm, const ModemDevice& device) {
    comm.SetCommPort(device.port);
    LineSettings settings = ParseLineSettings(comm.Settings());
    settings.baud = device.speed;
    comm.SetSettings(FormatLineSettings(settings));
    comm.SetDTREnable(true);
    try {
        comm.SetPortOpen(true);
    } catch (const Error& error) {
        if (error.number() != ErrorNumber::DeviceUnavailable) throw;
        bool heldElsewhere = false;
        try {
            const PortTarget target = resolver_(device.port);
            heldElsewhere = target.kind == PortTarget::Kind::Serial && SerialDeviceHeldElsewhere(target.device);
        } catch (const Error&) {
        }
        if (heldElsewhere) throw Error(ErrorNumber::DeviceInUse, "The device is in use: " + error.description());
        throw;
    }
}

void ModemTelephony::SendCommand(const std::string& command) {
    comm_->SetOutput(command);
    deadline_ = Now() + (phase_ == Phase::Dialing ? timings_.dialAnswerMs : timings_.commandReplyMs);
}

// One response line from the modem, read a character at a time so nothing after the
// line is taken from the control.
bool ModemTelephony::ReadResponse(std::string& line) {
    const int savedLength = comm_->InputLen();
    comm_->SetInputLen(1);
    bool complete = false;
    for (int i = 0; i < kCharactersPerTick && !complete && comm_->InBufferCount() > 0; ++i) {
        const std::string c = comm_->Input();
        if (c.empty()) break;
        if (c[0] == '\r' || c[0] == '\n') {
            if (line_.empty()) continue;
            line.swap(line_);
            line_.clear();
            complete = true;
        } else if (line_.size() < kResponseLineLimit) {
            line_ += c[0];
        }
    }
    comm_->SetInputLen(savedLength);
    return complete;
}

void ModemTelephony::Tick() {
    if (!comm_->PortOpen()) {
        Fail();
        return;
    }
    if (phase_ == Phase::Settling) {
        if (Now() < deadline_) return;
        phase_ = Phase::Init;
        attempts_ = 1;
        SendCommand(initCommand_);
        return;
    }
    const int call = callId_;
    std::string line;
    while (phase_ != Phase::Idle && call == callId_ && ReadResponse(line)) {
        const std::string& sent = phase_ == Phase::Init ? initCommand_ : dialCommand_;
        if (line + '\r' == sent || line == sent) continue;  // the modem's echo
        const ModemResult result = STR2RESULT(*comm_, line);
        if (phase_ == Phase::Init) {
            if (result == MR_OK) {
                phase_ = Phase::Dialing;
                Raise(CALLSTATE_DIALTONE);
                if (call != callId_ || phase_ != Phase::Dialing) return;
                SendCommand(dialCommand_ + '\r');
                Raise(CALLSTATE_DIALING);
            } else if (result == MR_ERROR) {
                Fail();
            }
            continue;
        }
        switch (result) {
        case MR_CONNECT:
            Connected();
            return;
        case MR_BUSY:
            EndCall(false);
            Raise(CALLSTATE_BUSY);
            return;
        case MR_NO_CARRIER:
        case MR_NO_ANSWER:
        case MR_NO_DIALTONE:
        case MR_ERROR:
            Fail();
            return;
        default:
            break;  // progress the modem reports (CARRIER, RING) or an answer we do not know
        }
    }
    if (phase_ == Phase::Idle || call != callId_ || Now() < deadline_) return;
    if (phase_ == Phase::Init && attempts_ < timings_.commandAttempts) {
        ++attempts_;
        SendCommand(initCommand_);
        return;
    }
    Fail();
}

void ModemTelephony::Connected() {
    pollTimer_->stop();
    receiveGuard_.reset();
    phase_ = Phase::Connected;
    carrierTimer_->start(timings_.carrierCheckMs);
    // The handler normally runs the whole login and transfer from here; the carrier
    // watch is a timer of its own so it keeps running inside that handler's waits.
    Raise(CALLSTATE_CONNECTED);
}

void ModemTelephony::CheckCarrier() {
    if (phase_ != Phase::Connected) {
        carrierTimer_->stop();
        return;
    }
    if (comm_->PortOpen() && comm_->CDHolding()) return;
    Fail();
}

void ModemTelephony::Fail() {
    const bool dialing = phase_ == Phase::Dialing;
    EndCall(dialing);
    const int call = callId_;
    Raise(CALLSTATE_DISCONNECTED);
    // A handler that placed a new call meanwhile owns the line; no idle for that one.
    if (call == callId_ && phase_ == Phase::Idle) Raise(CALLSTATE_IDLE);
}

void ModemTelephony::EndCall(bool abortDial) {
    if (phase_ == Phase::Idle) return;
    const bool wasConnected = phase_ == Phase::Connected;
    pollTimer_->stop();
    carrierTimer_->stop();
    CommControl& comm = *comm_;
    phase_ = Phase::Idle;
    ++callId_;
    receiveGuard_.reset();
    if (!comm.PortOpen()) return;
    try {
        // Any character ends a dial in progress before the modem answers.
        if (abortDial) comm.SetOutput("\r");
        if (wasConnected && comm.CDHolding()) {
            StartHangup(comm);
            return;
        }
        comm.SetPortOpen(false);
    } catch (const Error&) {
        // A line that fails while we let go of it is let go of all the same.
        try {
            comm.SetPortOpen(false);
        } catch (const Error&) {
        }
    }
    comm.SetDTREnable(true);
}

void ModemTelephony::DropCall() {
    if (phase_ == Phase::Idle) return;
    Fail();
}

// --- hanging up ---

void ModemTelephony::StartHangup(CommControl& comm) {
    if (hangup_.comm) FinishHangup();
    comm.SetDTREnable(false);
    if (!comm.CDHolding()) {
        comm.SetPortOpen(false);
        comm.SetDTREnable(true);
        return;
    }
    hangup_.comm = &comm;
    hangup_.step = HangupStep::DtrLow;
    hangup_.until = Now() + timings_.dtrHoldMs;
    hangupTimer_->start(timings_.pollMs);
    // The program may end at once right after dropping the call (a finished transfer,
    // Cancel): then the rest of the hang-up is done there and then, or a modem that
    // ignores DTR would stay off the hook.
    programEndHook_ = AtProgramEnd([this] { CompleteHangupNow(); });
}

void ModemTelephony::CompleteHangupNow() {
    CommControl* comm = hangup_.comm;
    if (!comm) return;
    try {
        if (comm->PortOpen() && comm->CDHolding() && hangup_.step != HangupStep::AwaitReply) {
            comm->SetDTREnable(true);
            if (hangup_.step != HangupStep::GuardAfter) {
                SleepBlocking(timings_.guardMs);
                comm->SetOutput("+++");
            }
            SleepBlocking(timings_.guardMs);
            comm->SetOutput("ATH0\r");
            SleepBlocking(kLastWordsMs);
        }
    } catch (const Error&) {
    }
    FinishHangup();
}

void ModemTelephony::HangupTick() {
    CommControl* comm = hangup_.comm;
    if (!comm || !comm->PortOpen()) {
        FinishHangup();  // somebody closed the port: nothing left to hang up
        return;
    }
    try {
        if (!comm->CDHolding()) {
            FinishHangup();
            return;
        }
        if (Now() < hangup_.until) return;
        switch (hangup_.step) {
        case HangupStep::DtrLow:
            // The modem ignores DTR: talk to it instead.
            comm->SetDTREnable(true);
            hangup_.step = HangupStep::GuardBefore;
            hangup_.until = Now() + timings_.guardMs;
            break;
        case HangupStep::GuardBefore:
            comm->SetOutput("+++");
            hangup_.step = HangupStep::GuardAfter;
            hangup_.until = Now() + timings_.guardMs;
            break;
        case HangupStep::GuardAfter:
            comm->SetOutput("ATH0\r");
            hangup_.step = HangupStep::AwaitReply;
            hangup_.until = Now() + timings_.hangupReplyMs;
            break;
        case HangupStep::AwaitReply:
            FinishHangup();  // closing drops DTR once more; nothing else is left to try
            break;
        }
    } catch (const Error&) {
        FinishHangup();
    }
}

void ModemTelephony::FinishHangup() {
    hangupTimer_->stop();
    if (programEndHook_) RemoveAtProgramEnd(programEndHook_);
    programEndHook_ = 0;
    CommControl* comm = hangup_.comm;
    hangup_ = {};
    if (!comm) return;
    try {
        comm->SetPortOpen(false);
    } catch (const Error&) {
    }
    comm->SetDTREnable(true);
}

}  // namespace zorv
