#pragma once
// A telephony control that records what it is asked and raises call states when the
// test says so.
#include <optional>
#include <string>
#include <vector>

#include "modem/Telephony.h"

namespace zorv::test {

class FakeTelephony : public Telephony {
public:
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

    // Raises the call-state event as the control would.
    void RaiseCallState(long state);

    std::vector<std::string> devices{"Network Modem", "Serial Modem on /dev/ttyS0"};
    int currentDevice = 0;
    std::vector<std::string> locations{"Default Location", "Office"};
    int currentLocation = 0;
    bool callUp = false;
    // PlaceCall raises an error with this number when set (1002: device in use).
    std::optional<int> placeCallError;
    // Every call, in order: "ListDevices", "ChooseDevice:<name>", "PlaceCall:<number>", ...
    std::vector<std::string> calls;
    CommControl* placedOn = nullptr;

private:
    std::function<void(long, long)> handler_;
};

}  // namespace zorv::test
