#pragma once
// The telephony control as far as this machine's serial ports go: the line devices
// are the serial ports the system reports, there is one dialing location, and a call
// cannot be placed yet (PlaceCall raises an error that says so).
#include <string>
#include <vector>

#include "modem/Telephony.h"

namespace zorv {

class PortListTelephony : public Telephony {
public:
    static constexpr const char* kDefaultLocation = "Default Location";

    PortListTelephony();

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

private:
    struct Device {
        std::string name;
        std::string path;
    };
    std::vector<Device> devices_;
    int current_ = 0;
    std::function<void(long, long)> handler_;
};

}  // namespace zorv
