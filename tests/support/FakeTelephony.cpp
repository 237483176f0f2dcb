#include "tests/support/FakeTelephony.h"

#include "util/Error.h"

namespace zorv::test {

std::vector<std::string> FakeTelephony::ListDevices() {
    calls.push_back("ListDevices");
    return devices;
}

int FakeTelephony::CurrentDevice() {
    calls.push_back("CurrentDevice");
    return currentDevice;
}

std::vector<std::string> FakeTelephony::ListLocations(int& currentIndex) {
    calls.push_back("ListLocations");
    currentIndex = currentLocation;
    return locations;
}

void FakeTelephony::ChooseDevice(const std::string& deviceName) { calls.push_back("ChooseDevice:" + deviceName); }

void FakeTelephony::ChooseLocation(const std::string& locationName) {
    calls.push_back("ChooseLocation:" + locationName);
}

void FakeTelephony::ShowLocationDialog(const std::string& number) { calls.push_back("LocationDialog:" + number); }

void FakeTelephony::ShowDeviceDialog() { calls.push_back("DeviceDialog"); }

bool FakeTelephony::CallUp() {
    calls.push_back("CallUp");
    return callUp;
}

void FakeTelephony::DropCall() {
    calls.push_back("DropCall");
    // As a real line does, the end of a call that was up is reported.
    const bool wasUp = callUp;
    callUp = false;
    if (wasUp) {
        RaiseCallState(CALLSTATE_DISCONNECTED);
        RaiseCallState(CALLSTATE_IDLE);
    }
}

int FakeTelephony::PlaceCall(CommControl& comm, const std::string& number) {
    calls.push_back("PlaceCall:" + number);
    if (placeCallError)
        throw Error(*placeCallError, *placeCallError == 1002 ? "The device is in use" : "The call could not be placed");
    placedOn = &comm;
    callUp = true;
    return 1;
}

void FakeTelephony::RaiseCallState(long state) {
    if (handler_) handler_(state, 0);
}

}  // namespace zorv::test
