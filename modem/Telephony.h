#pragma once
// The telephony control: line devices (modems), dialing locations, and the call.
// The main window uses exactly these roles. Call states follow the classic telephony
// call-state values (see CallState below).
#include <functional>
#include <string>
#include <vector>

namespace zorv {

class CommControl;

enum CallState : long {
    CALLSTATE_IDLE = 1,
    CALLSTATE_DIALTONE = 8,
    CALLSTATE_DIALING = 16,
    CALLSTATE_BUSY = 64,
    CALLSTATE_CONNECTED = 256,
    CALLSTATE_DISCONNECTED = 16384,
};

class Telephony {
public:
    virtual ~Telephony() = default;

    // One name per line device, in list order.
    virtual std::vector<std::string> ListDevices() = 0;
    // Index into that list of the device currently chosen.
    virtual int CurrentDevice() = 0;
    // The dialing locations; `currentIndex` receives the index of the current one.
    virtual std::vector<std::string> ListLocations(int& currentIndex) = 0;

    // The named device is used for the next call.
    virtual void ChooseDevice(const std::string& deviceName) = 0;
    // The named location becomes the current dialing location.
    virtual void ChooseLocation(const std::string& locationName) = 0;

    // The dialing-properties dialog for a number, and the chosen device's dialog.
    virtual void ShowLocationDialog(const std::string& number) = 0;
    virtual void ShowDeviceDialog() = 0;

    // True while a call exists.
    virtual bool CallUp() = 0;
    // Hangs the current call up.
    virtual void DropCall() = 0;
    // Starts dialing `number` on the chosen device; once connected, `comm` is open on
    // the call's line. Raises zorv::Error 1002 when the device is in use.
    virtual int PlaceCall(CommControl& comm, const std::string& number) = 0;

    // Raised at each change of the call's state: (call state, unused second value).
    virtual void SetCallStateHandler(std::function<void(long callState, long unused)> handler) = 0;
};

}  // namespace zorv
