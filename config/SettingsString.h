#pragma once
// The settings string of a comm control: baud rate, parity letter, data bits and stop
// bits joined by commas, "9600,N,8,1". The library reads and writes it through these
// two operations; the serial port's own reader (platform/comm/LineSettings) checks each
// field against the same tables, so a value is valid or not in one place only.
#include <string>

namespace zorv {

// The fields' valid values, as texts:
//   baud rate  110 300 600 1200 2400 4800 9600 14400 19200 28800 38400 57600 115200 230400
//   parity     E O N S M (upper case)
//   data bits  4 5 6 7 8
//   stop bits  1 1.5 2
bool IsSettingsBaudRate(const std::string& baud);
bool IsSettingsParity(const std::string& parity);
bool IsSettingsDataBits(const std::string& dataBits);
bool IsSettingsStopBits(const std::string& stopBits);

// Splits and checks a settings string. The baud rate is the text before the first
// comma, the parity the one character after it (upper-cased), the data bits the one
// character two places further and the stop bits everything from two places further
// still: the characters standing where the second and third commas belong are not
// looked at. False at the first field that is missing or not valid; the outputs are
// set as far as the reading got, also when the result is false.
bool PARSESETTINGS(const std::string& settings, std::string& baud, std::string& parity, std::string& dataBits,
                   std::string& stopBits);

// Checks the four fields (the parity upper-cased in place first) and joins them with
// commas into `settings`. False at the first field that is not valid; `settings` is
// then left as it was.
bool BUILDSETTINGS(const std::string& baud, std::string& parity, const std::string& dataBits,
                   const std::string& stopBits, std::string& settings);

}  // namespace zorv
