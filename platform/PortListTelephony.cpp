#include "platform/PortListTelephony.h"

#include <QSerialPortInfo>

#include "util/Error.h"
#include "util/UiServices.h"

namespace zorv {

PortListTelephony::PortListTelephony() {
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
        std::string path = info.systemLocation().toStdString();
        std::string description = info.description().toStdString();
        std::string name = description.empty() ? "Serial port " + path : description + " on " + path;
        devices_.push_back({name, path});
    }
}

std::vector<std::string> PortListTelephony::ListDevices() {
    std::vector<std::string> names;
    for (const Device& device : devices_) names.push_back(device.name);
    return names;
}

int PortListTelephony::CurrentDevice() { return current_; }

std::vector<std::string> PortListTelephony::ListLocations(int& currentIndex) {
    currentIndex = 0;
    return {kDefaultLocation};
}

void PortListTelephony::ChooseDevice(const std::string& deviceName) {
    for (size_t i = 0; i < devices_.size(); ++i)
        if (devices_[i].name == deviceName) current_ = static_cast<int>(i);
}

void PortListTelephony::ChooseLocation(const std::string&) {}

void PortListTelephony::ShowLocationDialog(const std::string& number) {
    MsgBox(std::string(kDefaultLocation) + ": the number is dialled as " + number);
}

void PortListTelephony::ShowDeviceDialog() {
    if (devices_.empty()) {
        MsgBox("No serial ports were found on this machine.");
        return;
    }
    MsgBox(devices_[current_].name + ": device " + devices_[current_].path);
}

bool PortListTelephony::CallUp() { return false; }

void PortListTelephony::DropCall() {}

int PortListTelephony::PlaceCall(CommControl&, const std::string&) {
    throw Error(ErrorNumber::DialingUnavailable, "Dialing is not available yet in this build");
}

}  // namespace zorv
