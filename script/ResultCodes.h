#pragma once
// Result codes of the communications library. Every operation reports its outcome in
// one process-wide LastResult; the caller reads it right after the call. Negative
// codes are failures that stop an operation, 0 means no result yet, positive codes are
// outcomes grouped by hundreds per area.
#include <cstdint>
#include <string>

namespace zorv {

using ResultCode = int16_t;

enum : ResultCode {
    RC_ASCII_READ_ERROR = -107,
    RC_TIMEOUT = -106,
    RC_NO_COMM_CONTROL = -105,
    RC_PORT_NOT_OPEN = -104,
    RC_CARRIER_LOST = -103,
    RC_CANCELED = -102,
    RC_NONE = 0,
    RC_FILE_SENT = 100,
    RC_FILE_NOT_FOUND = 101,
    RC_FILE_READ_ERROR = 102,
    RC_NO_MODEMS = 250,
    RC_DISCONNECTED = 300,
    RC_NOT_DISCONNECTED = 301,
    RC_NOT_ONLINE = 302,
    RC_MODEM_INITIALIZED = 400,
    RC_NO_MODEM = 401,
    RC_MODEM_ONLINE = 402,
    RC_BAD_PORT_NUMBER = 403,
    RC_BAD_SETTINGS = 404,
    RC_BAUD_UNSUPPORTED_BY_CONTROL = 405,
    RC_BAUD_UNSUPPORTED_BY_MODEM = 406,
    RC_PORT_OPENED = 500,
    RC_NO_PORTS = 501,
    RC_SETTINGS_INVALID = 502,
    RC_MODEM_RESULT = 600,
    RC_NO_PORT = 603,
    RC_VENDOR_MESSAGE_SENT = 700,
    RC_COMMAND_SENT = 800,
    RC_NO_COMMAND = 801,
    RC_WAIT_MATCHED = 900,
    RC_WAIT_OVERFLOW = 901,
    RC_CALLER_CONNECTED = 1000,
    RC_SCRIPT_COMPLETED = 5100,
    RC_SCRIPT_BAD_FILE = 5101,
    RC_SCRIPT_BAD_PORT = 5102,
    RC_SCRIPT_BAD_SETTINGS = 5103,
    RC_SCRIPT_BAD_PROTOCOL = 5104,
    RC_SCRIPT_BAD_TRANSFER_FILE = 5105,
    RC_SCRIPT_SYNTAX = 5106,
    RC_SCRIPT_UNSUPPORTED = 5107,
    RC_SCRIPT_NO_PROTOCOL = 5109,
};

// Stores `value` as LastResult (a 16-bit integer).
void SETRESULT(int value);
ResultCode GETRESULT();
// The fixed message of the current LastResult; empty when the table has none.
std::string RESULTMESSAGE();

}  // namespace zorv
