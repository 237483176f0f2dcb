#include <gtest/gtest.h>

#include "script/ResultCodes.h"

namespace zorv {
namespace {

TEST(ResultCodes, EveryCodeHasItsFixedMessage) {
    const struct {
        int code;
        const char* message;
    } table[] = {
        {RC_ASCII_READ_ERROR, ""},
        {RC_TIMEOUT, "Timeout Error"},
        {RC_NO_COMM_CONTROL, "The Specified Comm Control Can Not Be Accessed"},
        {RC_PORT_NOT_OPEN, "The Specified Port Is Not Open"},
        {RC_CARRIER_LOST, "Carrier Lost. The Call Has Been Disconnected"},
        {RC_CANCELED, "Process Canceled By User"},
        {RC_NONE, ""},
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
        {RC_WAIT_OVERFLOW, ""},
        {RC_CALLER_CONNECTED, "Caller Is Connected"},
        {RC_SCRIPT_COMPLETED, "Script Completed"},
        {RC_SCRIPT_BAD_FILE, "An invalid script filename was specified."},
        {RC_SCRIPT_BAD_PORT, "An Invalid port was specified."},
        {RC_SCRIPT_BAD_SETTINGS, "Invalid settings were specified."},
        {RC_SCRIPT_BAD_PROTOCOL, "An invalid protocol was specified."},
        {RC_SCRIPT_BAD_TRANSFER_FILE, "An invalid transfer filename was specified."},
        {RC_SCRIPT_SYNTAX, "Invalid script command, or syntax error."},
        {RC_SCRIPT_UNSUPPORTED, "The specified command is not supported by the comm control."},
        {5108, ""},
        {RC_SCRIPT_NO_PROTOCOL, "Tried to transfer a file with no protocol set."},
        {-1, ""},
        {12345, ""},
    };
    for (const auto& row : table) {
        SETRESULT(row.code);
        EXPECT_EQ(GETRESULT(), row.code);
        EXPECT_EQ(RESULTMESSAGE(), row.message) << row.code;
    }
}

TEST(ResultCodes, TheStoreKeepsOnlyTheLastValueAsSixteenBits) {
    SETRESULT(RC_TIMEOUT);
    SETRESULT(RC_WAIT_MATCHED);
    EXPECT_EQ(GETRESULT(), RC_WAIT_MATCHED);
    SETRESULT(65536 + 900);  // wraps like a 16-bit store
    EXPECT_EQ(GETRESULT(), 900);
    SETRESULT(RC_NONE);
}

}  // namespace
}  // namespace zorv
