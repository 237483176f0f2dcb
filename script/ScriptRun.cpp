#include "script/ScriptRun.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <vector>

#include "modem/Dialing.h"
#include "modem/LineWait.h"
#include "modem/ModemCommands.h"
#include "modem/ReceiveGuard.h"
#include "script/LibraryState.h"
#include "script/ResultCodes.h"
#include "script/ScriptLanguage.h"
#include "script/StatusText.h"
#include "transfer/AsciiSend.h"
#include "util/Error.h"
#include "util/EventPump.h"
#include "util/ProgramEnd.h"
#include "util/TextUtils.h"
#include "util/UiServices.h"

namespace zorv {

namespace {

// Status codes the interpreter reports.
constexpr int kStatusInitPort = 5201;
constexpr int kStatusWaitingFor = 5202;
constexpr int kStatusPortSetAt = 5204;
constexpr int kStatusCapturing = 5205;
constexpr int kStatusDialing = 5206;
constexpr int kStatusHangingUp = 5207;
constexpr int kStatusUploading = 5208;
constexpr int kStatusInput = 5211;

// Seconds between two looks at a running transfer.
constexpr double kTransferPollSeconds = 2.0;
// A transfer that has not shown itself running after this long never started (or came
// and went between two looks): the run goes on rather than wait for ever.
constexpr double kTransferStartLimitSeconds = 60.0;
// The longest piece of a script PAUSE, so a cancel request ends a long pause early.
constexpr double kPauseSliceSeconds = 0.25;
// While a large script loads, window events run at least this often.
constexpr auto kLoadEventInterval = std::chrono::milliseconds(50);

// --- the capture file a run leaves open ---

struct CaptureHolder {
    std::FILE* file = nullptr;
    int programEndHook = 0;

    void Close() {
        if (!file) return;
        std::fclose(file);
        file = nullptr;
    }
    ~CaptureHolder() { Close(); }
};

CaptureHolder leftOverCapture;

void KeepCaptureUntilProgramEnd() {
    if (leftOverCapture.programEndHook == 0)
        leftOverCapture.programEndHook = AtProgramEnd([] { leftOverCapture.Close(); });
}

// --- loading ---

bool IsDirectory(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// Reads the whole file in one go. False when it cannot be opened or read, is a
// directory, or is larger than any script.
bool ReadScriptFile(const std::string& path, std::string& content) {
    if (path.empty() || IsDirectory(path)) return false;
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    content.clear();
    char buffer[65536];
    while (in) {
        in.read(buffer, sizeof buffer);
        content.append(buffer, static_cast<size_t>(in.gcount()));
        if (static_cast<long long>(content.size()) > kMaxScriptBytes) return false;
    }
    return !in.bad();
}

// Splits the file into lines. CR LF, a lone CR and a lone LF each end a line; an empty
// piece after the last line end is no line. Each line is stored without its leading
// and trailing blanks; a line whose first character as read is ":" enters the labels.
std::vector<std::string> LoadLines(const std::string& content) {
    std::vector<std::string> lines;
    auto lastEvents = std::chrono::steady_clock::now();
    size_t pos = 0;
    const size_t size = content.size();
    while (pos < size) {
        size_t end = content.find_first_of("\r\n", pos);
        if (end == std::string::npos) end = size;
        std::string asRead = content.substr(pos, end - pos);
        pos = end;
        if (pos < size) {
            if (content[pos] == '\r' && pos + 1 < size && content[pos + 1] == '\n') pos += 2;
            else pos += 1;
        }
        // An empty line that the end of the file closes is no line.
        if (pos == size && asRead.empty()) break;
        lines.push_back(TrimBlanks(asRead));
        if (!asRead.empty() && asRead[0] == ':')
            LabelTable.push_back({std::move(asRead), static_cast<int>(lines.size())});
        // Keep the window alive while a big script loads, without paying a pass of the
        // event loop for every short line.
        const auto now = std::chrono::steady_clock::now();
        if (now - lastEvents >= kLoadEventInterval) {
            DoEvents();
            lastEvents = now;
        }
    }
    return lines;
}

bool DebuggerAttached() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("TracerPid:", 0) == 0) return std::stoi(line.substr(10)) != 0;
    }
    return false;
}

// True when the file can be opened for reading (a directory cannot).
bool CanReadFile(const std::string& path) {
    if (path.empty() || IsDirectory(path)) return false;
    std::ifstream in(path, std::ios::binary);
    return static_cast<bool>(in);
}

// Opens the file for read and write, creating it empty when it does not exist.
bool CanCreateFile(const std::string& path) {
    if (path.empty()) return false;
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) return false;
    ::close(fd);
    return true;
}

class ScriptRunner {
public:
    ScriptRunner(CommControl& comm, const std::string& scriptFile, int& lineNo, std::string& lineText)
        : comm_(comm), scriptFile_(scriptFile), lineNo_(lineNo), lineText_(lineText) {}

    void Run(std::vector<std::string> lines);

private:
    enum class Next { Continue, Stop };

    Next Execute(ScriptCommand command, const std::string& line);
    bool NeedsPort();
    Next End(int result) {
        SETRESULT(result);
        return Next::Stop;
    }

    Next DoPort(const std::string& argument);
    Next DoSettings(const std::string& argument, bool hasArgument);
    Next DoCapture(const std::string& argument);
    void DoCloseCapture();
    Next DoInput(const std::string& line);
    void DoDial(const std::string& argument);
    Next DoWaitFor(const std::string& argument);
    Next DoHangup();
    Next DoProtocol(const std::string& argument);
    Next DoUpload(const std::string& argument, bool hasArgument);
    Next DoDownload(const std::string& argument, bool hasArgument);
    void DoPause(const std::string& argument);
    void DoStop();

    void TimeoutJump();
    void TransferWait();

    CommControl& comm_;
    const std::string& scriptFile_;
    int& lineNo_;
    std::string& lineText_;

    int16_t scriptTimeout_ = 0;
    std::string timeoutLabel_;
    int timeoutLineNo_ = 0;
    std::string timeoutLineText_;
    bool protocolSet_ = false;
    bool asciiMode_ = false;
    std::string transferFile_;
    std::string dialOutcomeText_;
    std::string lastSettings_;
};

void ScriptRunner::Run(std::vector<std::string> lines) {
    const int lineCount = static_cast<int>(lines.size());
    for (lineNo_ = 1; lineNo_ <= lineCount; ++lineNo_) {
        if (CancelRequested != 0) {
            SETRESULT(RC_CANCELED);
            break;
        }
        // lineNo is the caller's variable: never trust it further than the lines there are.
        if (lineNo_ < 1) break;
        const std::string& line = lines[lineNo_ - 1];
        lineText_ = line;
        std::string commandText;
        if (ClassifyLine(line, commandText) != LineKind::Command) continue;

        const ScriptCommand command = LookupScriptCommand(commandText);
        if (command == ScriptCommand::END) {
            lineNo_ = timeoutLineNo_;
            lineText_ = timeoutLineText_;
        } else {
            timeoutLineNo_ = 0;
            timeoutLineText_.clear();
        }

        Next next = Next::Stop;
        try {
            next = Execute(command, commandText);
        } catch (const Error&) {
            // The control (or a file behind it) refused something no step expects to
            // fail: the line cannot be carried out, and later lines would only build on it.
            SETRESULT(RC_NO_COMM_CONTROL);
        }
        if (next == Next::Stop) break;
    }

    // Ending.
    if (GETRESULT() == RC_SCRIPT_COMPLETED && timeoutLineNo_ == 0) {
        lineNo_ = 0;
        lineText_.clear();
    }
}

bool ScriptRunner::NeedsPort() {
    if (comm_.PortOpen()) return true;
    SETRESULT(RC_PORT_NOT_OPEN);
    return false;
}

ScriptRunner::Next ScriptRunner::Execute(ScriptCommand command, const std::string& line) {
    const std::string argument = CommandArgument(line, command);
    const bool hasArgument = !argument.empty();
    switch (command) {
        case ScriptCommand::ON_TIMEOUT_GOTO:
            if (hasArgument) timeoutLabel_ = LabelArgument(argument);
            return Next::Continue;
        case ScriptCommand::END:
            Ui().Beep();
            return End(RC_SCRIPT_COMPLETED);
        case ScriptCommand::PORT:
            return hasArgument ? DoPort(argument) : Next::Continue;
        case ScriptCommand::SETTINGS:
            return DoSettings(argument, hasArgument);
        case ScriptCommand::CAPTURE:
            if (!NeedsPort()) return Next::Stop;
            return hasArgument ? DoCapture(argument) : Next::Continue;
        case ScriptCommand::CLOSECAPTURE:
            DoCloseCapture();
            return Next::Continue;
        case ScriptCommand::INPUT:
            return DoInput(line);
        case ScriptCommand::DIAL:
            if (!NeedsPort()) return Next::Stop;
            if (hasArgument) DoDial(argument);
            return Next::Continue;
        case ScriptCommand::TIMEOUT:
            if (hasArgument) scriptTimeout_ = IntegerArgument(argument);
            return Next::Continue;
        case ScriptCommand::WAITFOR:
            if (!NeedsPort()) return Next::Stop;
            return hasArgument ? DoWaitFor(argument) : Next::Continue;
        case ScriptCommand::SEND:
            if (!NeedsPort()) return Next::Stop;
            if (hasArgument) comm_.SetOutput(ResolveArgument(std::string(argument)));
            return Next::Continue;
        case ScriptCommand::HANGUP:
            if (!NeedsPort()) return Next::Stop;
            return DoHangup();
        case ScriptCommand::PROTOCOL:
            return hasArgument ? DoProtocol(argument) : Next::Continue;
        case ScriptCommand::UPLOAD:
            if (!NeedsPort()) return Next::Stop;
            return DoUpload(argument, hasArgument);
        case ScriptCommand::DOWNLOAD:
            if (!NeedsPort()) return Next::Stop;
            return DoDownload(argument, hasArgument);
        case ScriptCommand::PAUSE:
            if (hasArgument) DoPause(argument);
            return Next::Continue;
        case ScriptCommand::STOP:
            DoStop();
            return Next::Continue;
        case ScriptCommand::None:
            break;
    }
    return End(RC_SCRIPT_SYNTAX);
}

ScriptRunner::Next ScriptRunner::DoPort(const std::string& argument) {
    const int port = IntegerArgument(argument);
    if (port == 0) return End(RC_SCRIPT_BAD_PORT);
    STATUSTEXT(kStatusInitPort, "");
    const int current = comm_.CommPort();
    if (port != current) {
        const bool wasOpen = comm_.PortOpen();
        try {
            if (wasOpen) comm_.SetPortOpen(false);
            comm_.SetCommPort(port);
            comm_.SetPortOpen(true);
        } catch (const Error&) {
            // Give the caller back the port it had, open as it was.
            try {
                if (comm_.PortOpen()) comm_.SetPortOpen(false);
                comm_.SetCommPort(current);
                if (wasOpen) comm_.SetPortOpen(true);
            } catch (const Error&) {
            }
            return End(RC_SCRIPT_BAD_PORT);
        }
        return Next::Continue;
    }
    if (!comm_.PortOpen()) {
        try {
            comm_.SetPortOpen(true);
        } catch (const Error&) {
            return End(RC_SCRIPT_BAD_PORT);
        }
    }
    return Next::Continue;
}

ScriptRunner::Next ScriptRunner::DoSettings(const std::string& argument, bool hasArgument) {
    if (hasArgument) {
        STATUSTEXT(kStatusInitPort, "");
        const std::string value = ResolveArgument(std::string(argument));
        lastSettings_ = value;
        const std::string old = comm_.Settings();
        if (old != value) {
            try {
                comm_.SetSettings(value);
            } catch (const Error&) {
                try {
                    comm_.SetSettings(old);
                } catch (const Error&) {
                }
                return End(RC_SCRIPT_BAD_SETTINGS);
            }
        }
    }
    STATUSTEXT(kStatusPortSetAt, lastSettings_);
    return Next::Continue;
}

ScriptRunner::Next ScriptRunner::DoCapture(const std::string& argument) {
    const std::string name = ResolveArgument(std::string(argument));
    if (name.empty()) return End(RC_SCRIPT_SYNTAX);
    STATUSTEXT(kStatusCapturing, name);
    // A capture file already open is finished first, so nothing it holds is lost.
    leftOverCapture.Close();
    if (IsDirectory(name)) return End(RC_SCRIPT_BAD_TRANSFER_FILE);
    leftOverCapture.file = std::fopen(name.c_str(), "wb");
    if (!leftOverCapture.file) return End(RC_SCRIPT_BAD_TRANSFER_FILE);
    KeepCaptureUntilProgramEnd();
    return Next::Continue;
}

void ScriptRunner::DoCloseCapture() {
    if (!leftOverCapture.file) return;
    if (comm_.PortOpen() && comm_.InBufferCount() != 0) {
        const std::string rest = comm_.Input() + "\r\n";
        std::fwrite(rest.data(), 1, rest.size(), leftOverCapture.file);
    }
    leftOverCapture.Close();
}

ScriptRunner::Next ScriptRunner::DoInput(const std::string& line) {
    STATUSTEXT(kStatusInput, "");
    if (line.size() <= 5) return End(RC_SCRIPT_SYNTAX);
    const std::string rest = line.substr(5);
    const size_t comma = rest.find(',');
    // The comma must be followed by at least two characters.
    if (comma == std::string::npos || comma + 2 >= rest.size()) return End(RC_SCRIPT_SYNTAX);
    const std::string prompt = ResolveArgument(TrimBlanks(rest.substr(0, comma)));
    const std::string target = ResolveArgument(TrimBlanks(rest.substr(comma + 1)));
    if (target.compare(0, 3, "XXX") != 0) return End(RC_SCRIPT_SYNTAX);
    const int slot = IntegerArgument(target.substr(3));
    // A placeholder written out by hand must still name a variable of this run.
    if (slot < 1 || slot > static_cast<int>(VariableTable.size())) return End(RC_SCRIPT_SYNTAX);
    const std::optional<std::string> answer = InputBox(prompt, UpperCase(scriptFile_), "");
    VariableTable[slot - 1].value = UpperCase(answer.value_or("")) + "\r";
    return Next::Continue;
}

void ScriptRunner::DoDial(const std::string& argument) {
    std::string copy = argument;
    const std::string a = TRIMCTLCHARS(copy);
    const int comma = FindLast(1, a, ",");
    std::string numberText = a;
    int attempts = 1;
    if (comma != 0) {
        numberText = a.substr(0, comma - 1);
        attempts = IntegerArgument(a.substr(comma));
    }
    const std::string number = ResolveArgument(numberText);
    STATUSTEXT(kStatusDialing, number);

    ModemResult result = MR_NONE;
    int32_t connectSpeed = 0;
    int32_t carrierSpeed = 0;
    std::string suffix;
    PLACECALL(comm_, number, attempts, scriptTimeout_, result, connectSpeed, carrierSpeed, suffix);
    bool jump = true;
    switch (result) {
        case MR_CONNECT:
            dialOutcomeText_ = "Connected at " + std::to_string(connectSpeed) + " Baud";
            jump = false;
            break;
        case MR_NO_CARRIER:
        case MR_TIMEOUT:
            dialOutcomeText_ = "There is no answer";
            break;
        case MR_NO_DIALTONE:
            dialOutcomeText_ = "No Dial Tone";
            break;
        case MR_BUSY:
            dialOutcomeText_ = "The Line is Busy";
            break;
        default:
            jump = false;
            break;
    }
    if (jump) TimeoutJump();
    STATUSTEXT(0, dialOutcomeText_);
}

ScriptRunner::Next ScriptRunner::DoWaitFor(const std::string& argument) {
    const std::string text = ResolveArgument(std::string(argument));
    if (text.empty()) return End(RC_SCRIPT_SYNTAX);
    STATUSTEXT(kStatusWaitingFor, text);
    do {
        const std::string received = WAITFORSTRING(comm_, text, scriptTimeout_, 0, 0);
        if (leftOverCapture.file) std::fwrite(received.data(), 1, received.size(), leftOverCapture.file);
    } while (GETRESULT() == RC_WAIT_OVERFLOW);
    switch (GETRESULT()) {
        case RC_WAIT_MATCHED:
            return Next::Continue;
        case RC_TIMEOUT:
            TimeoutJump();
            return Next::Continue;
        default:
            return Next::Stop;
    }
}

ScriptRunner::Next ScriptRunner::DoHangup() {
    STATUSTEXT(kStatusHangingUp, "");
    HANGUP(comm_, 2, -1);
    return GETRESULT() == RC_DISCONNECTED ? Next::Continue : Next::Stop;
}

ScriptRunner::Next ScriptRunner::DoProtocol(const std::string& argument) {
    const std::string name = ResolveArgument(UpperCase(TrimBlanks(argument)));
    static const char* const kNames[] = {"XMODEM-CHECKSUM", "XMODEM-CRC", "XMODEM-1K", "YMODEM-BATCH",
                                         "YMODEM-G",        "ZMODEM",     "KERMIT",    "COMPUSERVE"};
    asciiMode_ = false;
    if (name == "ASCII") {
        asciiMode_ = true;
    } else {
        int protocol = -1;
        for (int i = 0; i < 8; ++i)
            if (name == kNames[i]) protocol = i;
        if (protocol < 0) return End(RC_SCRIPT_BAD_PROTOCOL);
        comm_.SetXferProtocol(protocol);
    }
    protocolSet_ = true;
    return Next::Continue;
}

ScriptRunner::Next ScriptRunner::DoUpload(const std::string& argument, bool hasArgument) {
    if (!protocolSet_) return End(RC_SCRIPT_NO_PROTOCOL);
    if (hasArgument) transferFile_ = ResolveArgument(std::string(argument));
    if (asciiMode_ || (comm_.XferProtocol() != XFER_KERMIT && comm_.XferProtocol() != XFER_CSERVE_BPLUS)) {
        if (!CanReadFile(transferFile_)) return End(RC_SCRIPT_BAD_TRANSFER_FILE);
    }
    STATUSTEXT(kStatusUploading, transferFile_);
    if (asciiMode_) {
        AsciiSend(comm_, transferFile_, false);
        return Next::Continue;
    }
    comm_.SetXferStatusDialog(1);
    TV_TransferType = TV_SEND;
    comm_.SetUpload(transferFile_);
    TransferWait();
    return Next::Continue;
}

ScriptRunner::Next ScriptRunner::DoDownload(const std::string& argument, bool hasArgument) {
    if (hasArgument) transferFile_ = ResolveArgument(std::string(argument));
    const int protocol = comm_.XferProtocol();
    if (protocol == XFER_XMODEM_CHECKSUM || protocol == XFER_XMODEM_CRC || protocol == XFER_XMODEM_1K) {
        if (!CanCreateFile(transferFile_)) return End(RC_SCRIPT_BAD_TRANSFER_FILE);
    }
    comm_.SetXferStatusDialog(2);
    TV_TransferType = TV_RECEIVE;
    comm_.SetDownload(transferFile_);
    TransferWait();
    return Next::Continue;
}

void ScriptRunner::DoPause(const std::string& argument) {
    const double seconds = NumberArgument(argument);
    if (!(seconds > 0)) return;
    // Paused in slices so that a cancel request ends a long pause; the next line then
    // ends the run.
    const double start = TimeOfDay();
    double elapsed = 0;
    while (elapsed < seconds && CancelRequested == 0) {
        PAUSESECONDS(std::min(kPauseSliceSeconds, seconds - elapsed));
        double now = TimeOfDay();
        if (now < start) now += 86400.0;
        elapsed = now - start;
    }
}

void ScriptRunner::DoStop() {
    // A debugging halt: only a debugger watching the program stops here; without one
    // the run goes on, and the program never ends because of it.
    if (DebuggerAttached()) ::raise(SIGTRAP);
}

void ScriptRunner::TimeoutJump() {
    timeoutLineNo_ = lineNo_;
    timeoutLineText_ = lineText_;
    if (!timeoutLabel_.empty()) {
        const int target = FindLabel(timeoutLabel_);
        if (target != 0) lineNo_ = target;
    }
    // A wait with no time limit returns without a pass of the event loop; a script that
    // keeps jumping back to it must still let the window (and its Cancel) run.
    DoEvents();
}

void ScriptRunner::TransferWait() {
    const double start = TimeOfDay();
    while (comm_.XferStatus() == XFER_IDLE) {
        DoEvents();
        if (CancelRequested != 0) {
            SETRESULT(RC_CANCELED);
            break;
        }
        double now = TimeOfDay();
        if (now < start) now += 86400.0;
        if (now - start >= kTransferStartLimitSeconds || !comm_.PortOpen()) return;
    }
    while (true) {
        const int status = comm_.XferStatus();
        if (status == XFER_IDLE || status == XFER_FAILED) break;
        // A transfer that lost its carrier or timed out has ended too: nothing will
        // move it to 0 or -1 unless someone aborts it, and a script must not wait for
        // ever on a line that is gone.
        if (status == XFER_CARRIER_LOST || status == XFER_TIMED_OUT) break;
        // A closed port carries no transfer any more.
        if (!comm_.PortOpen()) break;
        PAUSESECONDS(kTransferPollSeconds);
    }
}

}  // namespace

bool CloseLeftOverCapture() {
    const bool wasOpen = leftOverCapture.file != nullptr;
    leftOverCapture.Close();
    return wasOpen;
}

void ScriptRun(CommControl& comm, const std::string& scriptFile, int& lineNo, std::string& lineText) {
    try {
        (void)comm.CommPort();
    } catch (const Error&) {
        SETRESULT(RC_NO_COMM_CONTROL);
        return;
    }
    CurrentCommControl = &comm;
    INITCONSTANTS();
    SETRESULT(RC_NONE);
    // A capture file an earlier run left open cannot be reached from this run.
    CloseLeftOverCapture();

    std::string content;
    if (!ReadScriptFile(scriptFile, content)) {
        SETRESULT(RC_SCRIPT_BAD_FILE);
        return;
    }

    struct TablesReset {
        ~TablesReset() {
            LabelTable.clear();
            VariableTable.clear();
            if (leftOverCapture.file) std::fflush(leftOverCapture.file);
        }
    } tablesReset;
    ReceiveGuard receiveGuard(comm);
    LabelTable.clear();
    VariableTable.clear();
    std::vector<std::string> lines = LoadLines(content);
    content.clear();
    content.shrink_to_fit();

    ScriptRunner runner(comm, scriptFile, lineNo, lineText);
    runner.Run(std::move(lines));
}

}  // namespace zorv
