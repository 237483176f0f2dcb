#pragma once
// The telephony control over the program's modem lines: each device is a port of the
// port table (a serial modem or the network modem) with a speed and an init command,
// each dialing location adds its dialing rules (TelephonyConfig.h).
//
// A call runs as a small state machine on the Qt event loop, so PlaceCall returns at
// once and nothing here ever waits inside an event handler:
//
//   PlaceCall: open the device's port on the comm control (locked or busy: error 1002)
//   Init    --init command sent, OK-->                 state 8 (modem ready), dial command
//   Dialing --sent-->                                  state 16
//   Dialing --CONNECT-->                               state 256, carrier watched
//   Dialing --BUSY-->                                  state 64, port closed
//   Init / Dialing --ERROR, NO CARRIER, NO ANSWER, NO DIALTONE, time-out-->
//                                                      states 16384 then 1, port closed
//   Connected --carrier lost, or the port closed-->    states 16384 then 1, port closed
//   DropCall --any state-->                            states 16384 then 1; the hang-up
//            (DTR drop; when the carrier stays: "+++" between guard times and ATH0)
//            goes on in the background and closes the port when done
//
// While the modem talks commands, the responses are read from the control's Input one
// character at a time, so the first bytes the remote end sends after CONNECT stay in
// the control for whoever reads the line next. AutoProcess and RThreshold are zero
// while the modem is being talked to and come back at CONNECT or when the call ends.
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "modem/ReceiveGuard.h"
#include "modem/Telephony.h"
#include "platform/comm/PortComm.h"
#include "platform/telephony/TelephonyConfig.h"

class QTimer;

namespace zorv {

class ModemTelephony : public Telephony {
public:
    // How long each step may take. The defaults suit real modems; tests shorten them.
    struct Timings {
        int settleMs = 100;           // after opening, before the first command
        int pollMs = 20;              // reading modem responses
        int commandReplyMs = 5000;    // init answer
        int commandAttempts = 2;      // init sent this often before giving up
        int dialAnswerMs = 60000;     // dial command to CONNECT / BUSY / ...
        int carrierCheckMs = 250;     // carrier watch while connected
        int dtrHoldMs = 1000;         // DTR held low before the carrier is looked at
        int guardMs = 1100;           // quiet time before and after "+++"
        int hangupReplyMs = 3000;     // answer to ATH0
    };

    // `lister` gives the serial ports the system reports; `resolver` tells where a port
    // leads (the INI file's port table in the program), to tell a locked port from a
    // missing one.
    explicit ModemTelephony(SerialPortLister lister = SystemSerialPorts,
                            PortComm::PortResolver resolver = ResolvePortFromIni);
    ~ModemTelephony() override;
    ModemTelephony(const ModemTelephony&) = delete;
    ModemTelephony& operator=(const ModemTelephony&) = delete;

    void SetTimings(const Timings& timings) { timings_ = timings; }

    std::vector<std::string> ListDevices() override;
    int CurrentDevice() override;
    std::vector<std::string> ListLocations(int& currentIndex) override;
    void ChooseDevice(const std::string& deviceName) override;
    void ChooseLocation(const std::string& locationName) override;
    void ShowLocationDialog(const std::string& number) override;
    void ShowDeviceDialog() override;
    bool CallUp() override;
    void DropCall() override;
    int PlaceCall(CommControl& comm, const std::string& number) override;
    void SetCallStateHandler(std::function<void(long, long)> handler) override { handler_ = std::move(handler); }

    // The dial command of the last call placed (for the status of a test or a log).
    const std::string& LastDialCommand() const { return dialCommand_; }
    // True while a dropped call's hang-up still holds the port.
    bool HangingUp() const { return hangup_.comm != nullptr; }

private:
    enum class Phase { Idle, Settling, Init, Dialing, Connected };
    enum class HangupStep { DtrLow, GuardBefore, GuardAfter, AwaitReply };

    void Tick();
    void CheckCarrier();
    void HangupTick();
    bool ReadResponse(std::string& line);
    void SendCommand(const std::string& command);
    void Connected();
    void Fail();
    void EndCall(bool abortDial);
    void StartHangup(CommControl& comm);
    void FinishHangup();
    void CompleteHangupNow();
    void Raise(long state);
    ModemDevice ChosenDevice();
    DialingLocation ChosenLocation();
    void OpenPort(CommControl& comm, const ModemDevice& device);
    int64_t Now() const;

    SerialPortLister lister_;
    PortComm::PortResolver resolver_;
    Timings timings_;
    std::function<void(long, long)> handler_;

    // The call.
    Phase phase_ = Phase::Idle;
    CommControl* comm_ = nullptr;
    std::optional<ReceiveGuard> receiveGuard_;
    std::string initCommand_;
    std::string dialCommand_;
    std::string line_;
    int attempts_ = 0;
    int64_t deadline_ = 0;
    int callId_ = 0;
    std::unique_ptr<QTimer> pollTimer_;
    std::unique_ptr<QTimer> carrierTimer_;

    // A dropped call's hang-up, which outlives the call.
    struct Hangup {
        CommControl* comm = nullptr;
        HangupStep step = HangupStep::DtrLow;
        int64_t until = 0;
        std::string line;
    } hangup_;
    std::unique_ptr<QTimer> hangupTimer_;
    int programEndHook_ = 0;
};

}  // namespace zorv
