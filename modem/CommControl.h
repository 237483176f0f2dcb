#pragma once
// The serial comm control: the one interface the library talks to a line through.
// Every library operation takes a control as its first argument and uses only these
// members. Getters carry the member's name; setters put "Set" in front of it.
// A member that cannot do what it is asked raises zorv::Error (number, description).
//
// Implementations: SerialComm (a real serial device) and NetModem (a Hayes modem
// emulated in the program that dials TCP/telnet) in platform/, FakeComm in tests.
//
// Notification event: the control sets EventCode, then calls the handler installed
// with SetEventHandler. The codes:
//    2  received data reached RThreshold characters (RThreshold 0: never)
//    7  the carrier-detect line dropped
//    8  the start of a ZMODEM send was seen in received data while no transfer runs
//  100  XferStatus changed (read XferStatus to see the new value)
//
// XferStatus values:
//    0  no transfer runs (also after one that ended with every file good)
//   -1  the last transfer failed
//    1  waiting for the remote end to start
//    2  negotiating (the file's header is being exchanged)
//    3  transferring file data
//    4  finishing a file (end of file, check values)
//    6  abort requested (a caller writes 6; cancel goes to the remote end)
//    7  one file of a batch completed, more may follow
//    8  carrier lost during the transfer
//    9  timed out waiting for the remote end
#include <functional>
#include <string>

namespace zorv {

// XferProtocol values.
enum XferProtocolCode {
    XFER_XMODEM_CHECKSUM = 0,
    XFER_XMODEM_CRC = 1,
    XFER_XMODEM_1K = 2,
    XFER_YMODEM_BATCH = 3,
    XFER_YMODEM_G = 4,
    XFER_ZMODEM = 5,
    XFER_KERMIT = 6,
    XFER_CSERVE_BPLUS = 7,
};

// EventCode values.
enum CommEventCode {
    COMM_EV_RECEIVE = 2,
    COMM_EV_CARRIER_DROP = 7,
    COMM_EV_ZMODEM_START = 8,
    COMM_EV_XFER_STATUS = 100,
};

// XferStatus values.
enum XferStatusCode {
    XFER_FAILED = -1,
    XFER_IDLE = 0,
    XFER_WAITING = 1,
    XFER_NEGOTIATING = 2,
    XFER_TRANSFERRING = 3,
    XFER_FINISHING = 4,
    XFER_ABORT = 6,
    XFER_FILE_DONE = 7,
    XFER_CARRIER_LOST = 8,
    XFER_TIMED_OUT = 9,
};

class CommControl {
public:
    virtual ~CommControl() = default;

    // Identifies the control: its modem profile and its INI sections "Modem_" + Tag
    // and "Port_" + Tag.
    virtual std::string Tag() const = 0;
    virtual void SetTag(const std::string& tag) = 0;

    // Port number. Reading it is the library's usability test.
    virtual int CommPort() const = 0;
    virtual void SetCommPort(int port) = 0;

    // "9600,N,8,1": baud, parity, data bits, stop bits. A string the line cannot
    // take raises an error and changes nothing.
    virtual std::string Settings() const = 0;
    virtual void SetSettings(const std::string& settings) = 0;

    // True opens the port (an error when it cannot), False closes it.
    virtual bool PortOpen() const = 0;
    virtual void SetPortOpen(bool open) = 0;

    // Sends the text.
    virtual void SetOutput(const std::string& data) = 0;
    // Returns received characters (InputLen at most; 0 = all) and removes them.
    virtual std::string Input() = 0;
    virtual int InputLen() const = 0;
    virtual void SetInputLen(int length) = 0;

    // Received characters waiting; writing 0 discards them.
    virtual int InBufferCount() const = 0;
    virtual void SetInBufferCount(int count) = 0;
    // Characters not yet sent; writing 0 discards them.
    virtual int OutBufferCount() const = 0;
    virtual void SetOutBufferCount(int count) = 0;

    // Carrier detect: True while a call stands.
    virtual bool CDHolding() const = 0;

    // DTR and RTS lines; DTR False then True hangs up.
    virtual bool DTREnable() const = 0;
    virtual void SetDTREnable(bool on) = 0;
    virtual bool RTSEnable() const = 0;
    virtual void SetRTSEnable(bool on) = 0;

    // Flow control: 0 none, 1 XON/XOFF, 2 RTS/CTS, 3 both.
    virtual int Handshaking() const = 0;
    virtual void SetHandshaking(int mode) = 0;

    // Received characters that raise the receive event; 0 = no receive event.
    virtual int RThreshold() const = 0;
    virtual void SetRThreshold(int count) = 0;

    // Non-zero: received data feeds the terminal screen instead of Input.
    virtual int AutoProcess() const = 0;
    virtual void SetAutoProcess(int mode) = 0;

    // Timer interval in milliseconds for the control's own housekeeping.
    virtual int Interval() const = 0;
    virtual void SetInterval(int milliseconds) = 0;

    // Terminal screen: size and contents (rows joined by CR LF).
    virtual int Rows() const = 0;
    virtual void SetRows(int rows) = 0;
    virtual int Columns() const = 0;
    virtual void SetColumns(int columns) = 0;
    virtual std::string Text() const = 0;

    // File transfer (see the codes above).
    virtual int XferProtocol() const = 0;
    virtual void SetXferProtocol(int protocol) = 0;
    // Non-zero shows a progress window while a transfer runs.
    virtual int XferStatusDialog() const = 0;
    virtual void SetXferStatusDialog(int mode) = 0;
    // Start receiving / sending the named file; both return at once.
    virtual void SetDownload(const std::string& fileName) = 0;
    virtual void SetUpload(const std::string& fileName) = 0;
    virtual int XferStatus() const = 0;
    virtual void SetXferStatus(int status) = 0;

    // The notification event.
    virtual int EventCode() const = 0;
    virtual void SetEventHandler(std::function<void()> handler) = 0;
};

}  // namespace zorv
