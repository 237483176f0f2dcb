#pragma once
// The sections and keys the library keeps in the INI file, with how many characters a
// reader takes of each and what it assumes when a key is missing or empty. Each comm
// control has two sections of its own, named after its Tag.
#include <string>

namespace zorv::ini {

// Section names: prefix + the control's Tag exactly as it reads ("" gives "Modem_").
inline constexpr const char* kModemSectionPrefix = "Modem_";
inline constexpr const char* kPortSectionPrefix = "Port_";

inline std::string ModemSection(const std::string& tag) { return kModemSectionPrefix + tag; }
inline std::string PortSection(const std::string& tag) { return kPortSectionPrefix + tag; }

// One key: its name, the most characters a reader takes, the value written when the
// modem record's field is empty, and the value a reader assumes when the key is
// missing or empty.
struct ModemKey {
    const char* name;
    int readLimit;
    const char* writtenIfEmpty;
    const char* readDefault;
};

// "Modem_" section, in the order the keys are written.
inline constexpr ModemKey kModemNumber{"ModemNumber", 9, "", "0"};
inline constexpr ModemKey kModemName{"ModemName", 127, "Generic 2400 Baud Modem", "Generic 2400 Baud Modem"};
inline constexpr ModemKey kHighestBaud{"HighestBaud", 9, "2400", "2400"};
// An empty initialization text in the database is written as "AT^M", while a missing
// key reads as "ATZ^M": a section written by the program always has the key.
inline constexpr ModemKey kInitString{"InitString", 127, "AT^M", "ATZ^M"};
inline constexpr ModemKey kConnect{"Connect", 127, "CONNECT", "CONNECT"};
inline constexpr ModemKey kAttention{"Attention", 23, "AT", "AT"};
inline constexpr ModemKey kHangup{"Hangup", 23, "ATH^M", "ATH^M"};
inline constexpr ModemKey kReset{"Reset", 23, "ATZ^M", "ATZ^M"};
inline constexpr ModemKey kAnswer{"Answer", 23, "ATA^M", "ATA^M"};
inline constexpr ModemKey kDial{"Dial", 23, "ATDT", "ATDT"};
inline constexpr ModemKey kBusy{"Busy", 23, "BUSY", "BUSY"};

inline constexpr ModemKey kModemKeysInOrder[] = {kModemNumber, kModemName, kHighestBaud, kInitString,
                                                 kConnect,     kAttention, kHangup,      kReset,
                                                 kAnswer,      kDial,      kBusy};

// "Port_" section: no defaults; a missing or empty key means the settings must be asked.
struct PortKey {
    const char* name;
    int readLimit;
};

inline constexpr PortKey kSettings{"Settings", 19};
inline constexpr PortKey kDTREnable{"DTREnable", 4};
inline constexpr PortKey kRTSEnable{"RTSEnable", 4};
inline constexpr PortKey kHandshaking{"Handshaking", 2};
// Written last, and only once the port opened with the new settings.
inline constexpr PortKey kCommPort{"Comm Port", 3};

}  // namespace zorv::ini
