#include "transfer/AsciiSend.h"

#include <sys/stat.h>

#include <fstream>

#include "modem/LineWait.h"
#include "modem/ModemCommands.h"
#include "modem/ReceiveGuard.h"
#include "script/RecordingTrace.h"
#include "script/ResultCodes.h"
#include "script/ScriptLanguage.h"
#include "util/TextUtils.h"
#include "script/StatusText.h"
#include "util/Error.h"
#include "util/EventPump.h"

namespace zorv {

namespace {

enum class LineRead { Line, EndOfFile, Failed };

// Reads one line; CR LF, a lone CR or a lone LF ends it. `atEnd` tells whether the
// file has no more characters after it.
LineRead ReadLine(std::ifstream& in, std::string& line, bool& atEnd) {
    line.clear();
    int c = 0;
    while ((c = in.get()) != std::char_traits<char>::eof()) {
        if (c == '\n') break;
        if (c == '\r') {
            if (in.peek() == '\n') in.get();
            break;
        }
        line += static_cast<char>(c);
    }
    if (in.bad()) return LineRead::Failed;
    atEnd = in.peek() == std::char_traits<char>::eof();
    if (in.bad()) return LineRead::Failed;
    in.clear(in.rdstate() & ~std::ios::failbit & ~std::ios::eofbit);
    return atEnd && line.empty() ? LineRead::EndOfFile : LineRead::Line;
}

bool IsDirectory(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// Sends the lines; returns the outcome.
ResultCode SendLines(CommControl& comm, std::ifstream& in, bool cdFlag) {
    std::string line;
    while (true) {
        if (cdFlag && !comm.CDHolding()) return RC_CARRIER_LOST;
        if (CancelRequested != 0) {
            CancelRequested = 0;
            STATUSTEXT(0, "Ascii Send Aborted");
            return RC_CANCELED;
        }
        bool atEnd = false;
        switch (ReadLine(in, line, atEnd)) {
            case LineRead::EndOfFile: return RC_FILE_SENT;
            case LineRead::Failed: return RC_ASCII_READ_ERROR;
            case LineRead::Line: break;
        }
        comm.SetOutput(line + CRLF);
        // Let the line leave before the next one. A cancel request or a closed port
        // ends the wait too, so output that never drains cannot hold the send for ever.
        while (comm.OutBufferCount() != 0) {
            if (CancelRequested != 0) break;
            if (!comm.PortOpen()) return RC_PORT_NOT_OPEN;
            DoEvents();
        }
        if (atEnd) return RC_FILE_SENT;
    }
}

}  // namespace

void AsciiSend(CommControl& comm, const std::string& fileName, bool cdFlag) {
    try {
        if (!comm.PortOpen()) {
            SETRESULT(RC_PORT_NOT_OPEN);
            return;
        }
    } catch (const Error&) {
        SETRESULT(RC_NO_COMM_CONTROL);
        return;
    }
    INITCONSTANTS();
    SETRESULT(RC_NONE);
    if (fileName.empty() || IsDirectory(fileName)) {
        SETRESULT(RC_FILE_NOT_FOUND);
        return;
    }
    std::ifstream in(fileName, std::ios::binary);
    if (!in) {
        SETRESULT(RC_FILE_NOT_FOUND);
        return;
    }
    ResultCode outcome = RC_NONE;
    try {
        ReceiveGuard guard(comm);
        if (RecordingActive != 0) {
            ScriptTrace("PROTOCOL", "ASCII");
            ScriptTrace("UPLOAD", UpperCase(fileName));
        }
        outcome = SendLines(comm, in, cdFlag);
    } catch (const Error&) {
        // The control gave way in the middle of the send.
        bool open = false;
        try {
            open = comm.PortOpen();
        } catch (const Error&) {
        }
        outcome = open ? RC_NO_COMM_CONTROL : RC_PORT_NOT_OPEN;
    }
    SETRESULT(outcome);
}

}  // namespace zorv
