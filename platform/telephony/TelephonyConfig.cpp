#include "platform/telephony/TelephonyConfig.h"

#include <QFileInfo>
#include <QSerialPortInfo>
#include <cctype>
#include <set>

#include "config/IniFile.h"
#include "platform/comm/LineSettings.h"
#include "platform/comm/PortConfig.h"
#include "util/Error.h"
#include "util/Numbers.h"
#include "util/QtText.h"

namespace zorv {

namespace {

constexpr int kValueLimit = 255;
constexpr int kHighestPort = 255;

std::string DeviceSection(int n) { return "Device" + std::to_string(n); }
std::string LocationSection(int n) { return "Location" + std::to_string(n); }

int ReadInt(const std::string& section, const std::string& key, int fallback) {
    const std::string text = ReadIniKey(section, key, kValueLimit);
    if (text.empty()) return fallback;
    const double value = RoundHalfEven(Val(text));
    if (value < -2147483648.0 || value > 2147483647.0) return fallback;
    return static_cast<int>(value);
}

bool ReadFlag(const std::string& section, const std::string& key) {
    const std::string text = ReadIniKey(section, key, kValueLimit);
    if (text.size() == 4) {
        std::string lower;
        for (char c : text) lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        if (lower == "true") return true;
    }
    return ToInt16(Val(text)) != 0;
}

std::string Canonical(const std::string& path) {
    const QString canonical = QFileInfo(ToQString(path)).canonicalFilePath();
    return canonical.isEmpty() ? path : FromQString(canonical);
}

// The devices offered before anything is configured: every port of the table that
// leads to the network modem or to a serial port the system reports.
std::vector<ModemDevice> OfferedDevices(const SerialPortLister& lister) {
    std::set<std::string> present;
    for (const std::string& path : lister()) present.insert(Canonical(path));

    // The port numbers the table names (the built-in table when there is none); where
    // each one leads is left to the table's own reader.
    std::set<int> ports{1, 2, 3, 4, kDefaultNetModemPort};
    const auto table = ReadIniSection(kPortsSection);
    if (!table.empty()) {
        ports.clear();
        for (const auto& [key, value] : table) {
            const double number = Val(key);
            if (number >= 1 && number <= kHighestPort) ports.insert(static_cast<int>(number));
        }
    }

    std::vector<ModemDevice> network;
    std::vector<ModemDevice> serial;
    for (int port : ports) {
        PortTarget target;
        try {
            target = ResolvePortFromIni(port);
        } catch (const Error&) {
            continue;  // not in the table
        }
        ModemDevice device;
        device.port = port;
        device.speed = kDefaultSpeed;
        device.init = kDefaultInit;
        if (target.kind == PortTarget::Kind::NetModem) {
            // One network modem is all anybody needs; further "net" ports add nothing.
            if (!network.empty()) continue;
            device.name = kNetworkModemName;
            network.push_back(device);
        } else if (present.count(Canonical(target.device))) {
            device.name = "Serial Modem on " + target.device;
            serial.push_back(device);
        }
    }
    network.insert(network.end(), serial.begin(), serial.end());
    return network;
}

bool IsDialCharacter(char c) {
    return std::isdigit(static_cast<unsigned char>(c)) || std::string("*#,Ww@!").find(c) != std::string::npos;
}

bool IsCosmetic(char c) { return std::string(" -().").find(c) != std::string::npos; }

std::string CheckCode(const std::string& what, const std::string& code) {
    for (char c : code)
        if (!IsDialCharacter(c) && !IsCosmetic(c))
            return "The " + what + " \"" + code + "\" holds a character a modem cannot dial";
    return "";
}

// The code as the modem dials it: cosmetic characters left out, W upper case, and a
// pause after it so the line has time to answer before the next digits.
std::string DialPart(const std::string& code) {
    std::string out;
    for (char c : code) {
        if (IsCosmetic(c)) continue;
        out += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    if (!out.empty() && out.back() != ',') out += ',';
    return out;
}

}  // namespace

std::vector<std::string> SystemSerialPorts() {
    std::vector<std::string> paths;
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts())
        paths.push_back(FromQString(info.systemLocation()));
    return paths;
}

std::vector<ModemDevice> LoadDevices(const SerialPortLister& lister) {
    std::vector<ModemDevice> devices;
    for (int n = 1; n <= kMaxDevices; ++n) {
        const std::string section = DeviceSection(n);
        ModemDevice device;
        device.name = ReadIniKey(section, "Name", kValueLimit);
        if (device.name.empty()) break;
        device.port = ReadInt(section, "Port", kDefaultNetModemPort);
        device.speed = ReadInt(section, "Speed", kDefaultSpeed);
        device.init = ReadIniKey(section, "Init", kValueLimit);
        devices.push_back(device);
    }
    if (devices.empty()) devices = OfferedDevices(lister);
    return devices;
}

bool SaveDevices(const std::vector<ModemDevice>& devices) {
    int n = 1;
    for (const ModemDevice& device : devices) {
        const std::string section = DeviceSection(n++);
        if (!WriteIniKey(section, "Name", device.name) || !WriteIniKey(section, "Port", std::to_string(device.port)) ||
            !WriteIniKey(section, "Speed", std::to_string(device.speed)) || !WriteIniKey(section, "Init", device.init))
            return false;
    }
    // The list ends at the first section without a name.
    if (n <= kMaxDevices && !ReadIniKey(DeviceSection(n), "Name", kValueLimit).empty())
        return WriteIniKey(DeviceSection(n), "Name", "");
    return true;
}

std::vector<DialingLocation> LoadLocations() {
    std::vector<DialingLocation> locations;
    for (int n = 1; n <= kMaxLocations; ++n) {
        const std::string section = LocationSection(n);
        DialingLocation location;
        location.name = ReadIniKey(section, "Name", kValueLimit);
        if (location.name.empty()) break;
        location.outsidePrefix = ReadIniKey(section, "OutsidePrefix", kValueLimit);
        location.pulse = ReadFlag(section, "Pulse");
        location.callWaiting = ReadIniKey(section, "CallWaiting", kValueLimit);
        locations.push_back(location);
    }
    if (locations.empty()) locations.push_back(DialingLocation{kDefaultLocationName, "", false, ""});
    return locations;
}

bool SaveLocations(const std::vector<DialingLocation>& locations) {
    int n = 1;
    for (const DialingLocation& location : locations) {
        const std::string section = LocationSection(n++);
        if (!WriteIniKey(section, "Name", location.name) ||
            !WriteIniKey(section, "OutsidePrefix", location.outsidePrefix) ||
            !WriteIniKey(section, "Pulse", location.pulse ? "-1" : "0") ||
            !WriteIniKey(section, "CallWaiting", location.callWaiting))
            return false;
    }
    if (n <= kMaxLocations && !ReadIniKey(LocationSection(n), "Name", kValueLimit).empty())
        return WriteIniKey(LocationSection(n), "Name", "");
    return true;
}

int FindByName(const std::vector<ModemDevice>& devices, const std::string& name) {
    for (size_t i = 0; i < devices.size(); ++i)
        if (devices[i].name == name) return static_cast<int>(i);
    return -1;
}

int FindByName(const std::vector<DialingLocation>& locations, const std::string& name) {
    for (size_t i = 0; i < locations.size(); ++i)
        if (locations[i].name == name) return static_cast<int>(i);
    return -1;
}

namespace {

std::string CheckName(const std::string& what, const std::string& name) {
    if (name.empty()) return "The " + what + " needs a name";
    for (char c : name)
        if (static_cast<unsigned char>(c) < 32 || c == 127) return "The " + what + " name holds a control character";
    return "";
}

}  // namespace

std::string CheckDevice(const ModemDevice& device) {
    if (std::string why = CheckName("modem", device.name); !why.empty()) return why;
    if (device.port < 1 || device.port > kHighestPort) return "The port number must lie between 1 and 255";
    try {
        ParseLineSettings(std::to_string(device.speed) + ",N,8,1");
    } catch (const Error&) {
        return "The speed " + std::to_string(device.speed) + " is not one a port can run at";
    }
    std::string upper;
    for (char c : device.init) {
        if (static_cast<unsigned char>(c) < 32 || c == 127)
            return "The initialization command holds a control character (write ^M for a carriage return)";
        upper += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    if (!device.init.empty() && upper.rfind("AT", 0) != 0) return "The initialization command must start with AT";
    return "";
}

std::string CheckLocation(const DialingLocation& location) {
    if (std::string why = CheckName("location", location.name); !why.empty()) return why;
    if (std::string why = CheckCode("outside-line prefix", location.outsidePrefix); !why.empty()) return why;
    return CheckCode("call-waiting code", location.callWaiting);
}

std::string CheckNumber(const std::string& number) {
    if (number.empty()) return "There is no number to dial";
    for (char c : number)
        if (static_cast<unsigned char>(c) < 32 || c == 127 || c == ';')
            return "The number \"" + number + "\" holds a character a modem cannot dial";
    return "";
}

std::string DialCommand(const DialingLocation& location, const std::string& number) {
    return std::string(location.pulse ? "ATDP" : "ATDT") + DialPart(location.outsidePrefix) +
           DialPart(location.callWaiting) + number;
}

}  // namespace zorv
