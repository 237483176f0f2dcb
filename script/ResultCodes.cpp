#include "script/ResultCodes.h"

#include <utility>

namespace zorv {

namespace {

ResultCode lastResult = RC_NONE;

// The table is fixed; codes without an entry (0, 901, -107, 5108, ...) have no message.
constexpr std::pair<ResultCode, const char*> kMessages[] = {
    {RC_TIMEOUT, "Timeout Error"},
    {RC_NO_COMM_CONTROL, "The Specified Comm Control Can Not Be Accessed"},
    {RC_PORT_NOT_OPEN, "The Specified Port Is Not Open"},
    {RC_CARRIER_LOST, "Carrier Lost. The Call Has Been Disconnected"},
    {RC_CANCELED, "Process Canceled By User"},
    {RC_FILE_SENT, "File sent ok."},
    {RC_FILE_NOT_FOUND, "File not found."},
    {RC_FILE_READ_ERROR, "Error reading file."},
    {RC_NO_MODEMS, "No Current Modems. Please configure your modem."},
    {RC_DISCONNECTED, "Modem Disconnected"},
    {RC_NOT_DISCONNECTED, "Modem Could Not Be Disconnected"},
    {RC_NOT_ONLINE, "Modem Is Not Online"},
    {RC_MODEM_INITIALIZED, "Modem Initialized"},
    {RC_NO_MODEM, "Invalid Baud Rate, No Modem Found, Or Modem Is Turned Off Or Not Connected"},
    {RC_MODEM_ONLINE, "Modem Is Online And Cannot Be Initialized"},
    {RC_BAD_PORT_NUMBER, "Invalid Port number Specified"},
    {RC_BAD_SETTINGS, "Invalid Settings Specified"},
    {RC_BAUD_UNSUPPORTED_BY_CONTROL, "Specified baud rate is not supported by the comm control/driver"},
    {RC_BAUD_UNSUPPORTED_BY_MODEM, "Specified baud rate is not supported by your modem"},
    {RC_PORT_OPENED, "Port opened ok"},
    {RC_NO_PORTS, "No ports are avaiable"},
    {RC_SETTINGS_INVALID, "The specified settings are invalid"},
    {RC_MODEM_RESULT, "A valid result code was returned. Check Result"},
    {RC_NO_PORT, "No port was specified."},
    {RC_VENDOR_MESSAGE_SENT, "Valid LODESTAR MESSAGE sent."},
    {RC_COMMAND_SENT, "Command sent ok."},
    {RC_NO_COMMAND, "No command was specified."},
    {RC_WAIT_MATCHED, "The wait string was received"},
    {RC_CALLER_CONNECTED, "Caller Is Connected"},
    {RC_SCRIPT_COMPLETED, "Script Completed"},
    {RC_SCRIPT_BAD_FILE, "An invalid script filename was specified."},
    {RC_SCRIPT_BAD_PORT, "An Invalid port was specified."},
    {RC_SCRIPT_BAD_SETTINGS, "Invalid settings were specified."},
    {RC_SCRIPT_BAD_PROTOCOL, "An invalid protocol was specified."},
    {RC_SCRIPT_BAD_TRANSFER_FILE, "An invalid transfer filename was specified."},
    {RC_SCRIPT_SYNTAX, "Invalid script command, or syntax error."},
    {RC_SCRIPT_UNSUPPORTED, "The specified command is not supported by the comm control."},
    {RC_SCRIPT_NO_PROTOCOL, "Tried to transfer a file with no protocol set."},
};

}  // namespace

void SETRESULT(int value) { lastResult = static_cast<ResultCode>(value); }

ResultCode GETRESULT() { return lastResult; }

std::string RESULTMESSAGE() {
    const ResultCode code = lastResult;
    for (const auto& [value, message] : kMessages)
        if (value == code) return message;
    return "";
}

}  // namespace zorv
