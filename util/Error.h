#pragma once
// The one error type of the program. An outside component (comm control, telephony,
// file access) that "raises an error" throws this, with a number and a description.
// Expected outcomes never travel this way: they go through LastResult.
#include <stdexcept>
#include <string>

namespace zorv {

class Error : public std::runtime_error {
public:
    Error(int number, const std::string& description)
        : std::runtime_error(description), number_(number), description_(description) {}

    int number() const { return number_; }
    const std::string& description() const { return description_; }

private:
    int number_;
    std::string description_;
};

// Error numbers the components raise. They follow the classic run-time error numbers
// where one fits, so a message such as "Run-time error 8002: ..." reads familiar.
namespace ErrorNumber {
constexpr int InvalidPropertyValue = 380;   // a member given a value it cannot take
constexpr int FileNotFound = 53;
constexpr int PathNotFound = 76;
constexpr int PermissionDenied = 70;
constexpr int FileAccess = 75;               // path/file access error
constexpr int DeviceIO = 57;
constexpr int InvalidPortNumber = 8002;
constexpr int PortAlreadyOpen = 8005;
constexpr int PortNotOpen = 8018;
constexpr int DeviceUnavailable = 8010;      // missing, not a serial device, busy or locked
constexpr int OperationNotValid = 8012;
constexpr int AlreadyShown = 400;            // a window already showing cannot be shown modally
constexpr int DeviceInUse = 1002;            // telephony: the line device is taken
constexpr int DialingUnavailable = 1003;     // telephony: no way to place the call
}  // namespace ErrorNumber

}  // namespace zorv
