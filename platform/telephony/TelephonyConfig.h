#pragma once
// The telephony layer's settings in the INI file: the modem lines it offers, the
// dialing locations, and which of each is current (layout in README.md beside this file).
//
//   [Telephony]   CurrentDevice=<name>  CurrentLocation=<name>
//   [Device1]     Name=  Port=  Speed=  Init=       (Device2, ... up to kMaxDevices)
//   [Location1]   Name=  OutsidePrefix=  Pulse=  CallWaiting=   (up to kMaxLocations)
//
// A list is read from 1 upward and ends at the first section without a Name. With no
// [Device1] the devices come from the port table: the network modem first, then each
// serial port of the table that the system reports. With no [Location1] there is one
// location, "Default Location", with no prefix, tone dialing and no call-waiting code.
#include <functional>
#include <string>
#include <vector>

namespace zorv {

struct ModemDevice {
    std::string name;
    int port = 9;
    int speed = 9600;
    std::string init;  // caret notation allowed ("^M"); a CR is added when it has none
};

struct DialingLocation {
    std::string name;
    std::string outsidePrefix;  // dialled first, to reach an outside line ("9")
    bool pulse = false;         // pulse dialing (ATDP) instead of tone (ATDT)
    std::string callWaiting;    // code that holds call waiting off for this call ("*70")
};

inline constexpr const char* kTelephonySection = "Telephony";
inline constexpr const char* kDefaultLocationName = "Default Location";
inline constexpr const char* kNetworkModemName = "Network Modem";
inline constexpr const char* kDefaultInit = "AT&FE0V1&C1&D2";
inline constexpr int kDefaultSpeed = 9600;
inline constexpr int kMaxDevices = 32;
inline constexpr int kMaxLocations = 32;

// The serial devices the system reports (paths such as "/dev/ttyUSB0"); the program
// asks Qt, tests give their own.
using SerialPortLister = std::function<std::vector<std::string>()>;
std::vector<std::string> SystemSerialPorts();

// The devices as configured, or the ones offered out of the box.
std::vector<ModemDevice> LoadDevices(const SerialPortLister& lister = SystemSerialPorts);
// Writes the whole list (sections Device1..N) and ends it after N. False when the INI
// file could not be written.
bool SaveDevices(const std::vector<ModemDevice>& devices);

std::vector<DialingLocation> LoadLocations();
bool SaveLocations(const std::vector<DialingLocation>& locations);

// The current device or location by name; -1 when the stored name is not in the list.
int FindByName(const std::vector<ModemDevice>& devices, const std::string& name);
int FindByName(const std::vector<DialingLocation>& locations, const std::string& name);

// What is wrong with a device or location, "" when nothing is. The codes of a location
// may hold only what a modem dials (digits, * # , W @ !) and blanks, hyphens and
// brackets that are left out when dialing; anything else could end the dial command
// early or slip a second command in.
std::string CheckDevice(const ModemDevice& device);
std::string CheckLocation(const DialingLocation& location);
// Checks a number to dial: printable characters only, no ';' (which would leave the
// modem in command mode instead of waiting for the answer).
std::string CheckNumber(const std::string& number);

// The dial command for `number` from `location`: "ATDT" or "ATDP", then the outside
// prefix and the call-waiting code, each followed by a pause (",") unless it ends in
// one, then the number. Blanks, hyphens and brackets of the codes are left out; the
// number is dialled as given.
std::string DialCommand(const DialingLocation& location, const std::string& number);

}  // namespace zorv
