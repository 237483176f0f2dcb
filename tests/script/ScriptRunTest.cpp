// The interpreter against a scripted line in virtual time.
#include "script/ScriptRun.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "modem/LineWait.h"
#include "script/LibraryState.h"
#include "script/ResultCodes.h"
#include "script/ScriptLanguage.h"
#include "script/StatusText.h"
#include "tests/support/FakeComm.h"
#include "tests/support/TestWorld.h"
#include "util/Error.h"

namespace zorv::test {
namespace {

// Ports other than the ones listed do not open.
class PortTableComm : public FakeComm {
public:
    using FakeComm::FakeComm;
    void SetPortOpen(bool open) override {
        if (open && missingPort != 0 && CommPort() == missingPort)
            throw Error(ErrorNumber::DeviceUnavailable, "Device unavailable");
        FakeComm::SetPortOpen(open);
    }
    int missingPort = 0;
};

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream all;
    all << in.rdbuf();
    return all.str();
}

class ScriptRunTest : public ::testing::Test {
protected:
    ScriptRunTest() : comm(world.pump) {
        comm.SetPortOpen(true);
        comm.SetCarrier(true);
        CancelRequested = 0;
        WaitCarryOver.clear();
        SETRESULT(RC_NONE);
        SetStatusHook([this](const std::string& message) { statuses.push_back(message); });
    }
    ~ScriptRunTest() override {
        SetStatusHook(nullptr);
        CancelRequested = 0;
        CloseLeftOverCapture();
    }

    std::string Path(const std::string& name) { return dir.filePath(QString::fromStdString(name)).toStdString(); }

    std::string Write(const std::string& content, const std::string& name = "TEST.SCR") {
        const std::string path = Path(name);
        std::ofstream(path, std::ios::binary) << content;
        return path;
    }

    // Runs `script` (lines joined by CR LF); the result lands in result/lineNo/lineText.
    void Run(const std::string& script) { RunOn(comm, script); }
    void RunOn(CommControl& line, const std::string& script) {
        lineNo = -1;
        lineText = "untouched";
        ScriptRun(line, Write(script), lineNo, lineText);
        result = GETRESULT();
    }

    TestWorld world;
    PortTableComm comm;
    QTemporaryDir dir;
    std::vector<std::string> statuses;
    int lineNo = 0;
    std::string lineText;
    int result = 0;
};

std::string Lines(std::initializer_list<std::string> lines) {
    std::string out;
    for (const auto& line : lines) out += line + "\r\n";
    return out;
}

struct RunCase {
    const char* name;
    std::string script;
    std::function<void(PortTableComm&, TestWorld&)> peer;  // sets up the line before the run
    int result;
    int lineNo;
    std::string lineText;
    std::string sent;
};

void NoPeer(PortTableComm&, TestWorld&) {}

TEST_F(ScriptRunTest, OutcomeTable) {
    const std::vector<RunCase> cases = {
        {"END reached", Lines({"TIMEOUT 5", "SEND \"hi\"", "END"}), NoPeer, RC_SCRIPT_COMPLETED, 0, "", "hi"},
        {"time-out jumps to the label and END reports the wait",
         Lines({"TIMEOUT 60", "ON_TIMEOUT_GOTO :TIMEOUT", "WAITFOR \"?\"", "SEND \"n^M\"", ":TIMEOUT", "END"}), NoPeer,
         RC_SCRIPT_COMPLETED, 3, "WAITFOR \"?\"", ""},
        {"the same wait answered in time",
         Lines({"TIMEOUT 60", "ON_TIMEOUT_GOTO :TIMEOUT", "WAITFOR \"?\"", "SEND \"n^M\"", ":TIMEOUT", "END"}),
         [](PortTableComm& c, TestWorld&) { c.DeliverAfter(30, "Graphics?"); }, RC_SCRIPT_COMPLETED, 0, "", "n\r"},
        {"label given without its colon",
         Lines({"TIMEOUT 1", "ON_TIMEOUT_GOTO  TIMEOUT ", "WAITFOR \"?\"", "SEND \"n\"", ":TIMEOUT", "END"}), NoPeer,
         RC_SCRIPT_COMPLETED, 3, "WAITFOR \"?\"", ""},
        {"missing label: the next line runs",
         Lines({"TIMEOUT 1", "ON_TIMEOUT_GOTO :NOWHERE", "WAITFOR \"?\"", "SEND \"after\"", "END"}), NoPeer,
         RC_SCRIPT_COMPLETED, 0, "", "after"},
        {"no ON_TIMEOUT_GOTO: the next line runs", Lines({"TIMEOUT 1", "WAITFOR \"?\"", "SEND \"after\"", "END"}),
         NoPeer, RC_SCRIPT_COMPLETED, 0, "", "after"},
        {"indented label is never a target",
         Lines({"TIMEOUT 1", "ON_TIMEOUT_GOTO :L", "WAITFOR \"?\"", "SEND \"a\"", "  :L", "SEND \"b\"", "END"}), NoPeer,
         RC_SCRIPT_COMPLETED, 0, "", "ab"},
        {"label with a trailing blank does not match",
         Lines({"TIMEOUT 1", "ON_TIMEOUT_GOTO :L", "WAITFOR \"?\"", "SEND \"a\"", ":L ", "END"}), NoPeer,
         RC_SCRIPT_COMPLETED, 0, "", "a"},
        {"jump to the last line ends with the wait's result",
         Lines({"TIMEOUT 1", "ON_TIMEOUT_GOTO :LAST", "WAITFOR \"x\"", "SEND \"skipped\"", ":LAST"}), NoPeer,
         RC_TIMEOUT, 6, "WAITFOR \"x\"", ""},
        {"END after a pending jump and comments only",
         Lines({"TIMEOUT 1", "ON_TIMEOUT_GOTO :T", "WAITFOR \"x\"", ":T", "; note", "'note", "", "end"}), NoPeer,
         RC_SCRIPT_COMPLETED, 3, "WAITFOR \"x\"", ""},
        {"a command after the jump clears it",
         Lines({"TIMEOUT 1", "ON_TIMEOUT_GOTO :T", "WAITFOR \"x\"", ":T", "TIMEOUT 2", "END"}), NoPeer,
         RC_SCRIPT_COMPLETED, 0, "", ""},
        {"WAITFOR without TIMEOUT finds buffered text",
         Lines({"WAITFOR \"ready\"", "SEND \"go\"", "END"}), [](PortTableComm& c, TestWorld&) { c.Deliver("ready"); },
         RC_SCRIPT_COMPLETED, 0, "", "go"},
        {"last line without END keeps its result", Lines({"TIMEOUT 5", "WAITFOR \"x\""}),
         [](PortTableComm& c, TestWorld&) { c.DeliverAfter(1, "x"); }, RC_WAIT_MATCHED, 3, "WAITFOR \"x\"", ""},
        {"last line without a line end still counts", "TIMEOUT 5\r\nSEND \"a\"", NoPeer, RC_NONE, 3, "SEND \"a\"",
         "a"},
        {"an empty line after the last line end is no line", "SEND \"a\"\r\n\r\n", NoPeer, RC_NONE, 2, "SEND \"a\"",
         "a"},
        {"unknown command", Lines({"TIMEOUT 1", "FOO bar", "END"}), NoPeer, RC_SCRIPT_SYNTAX, 2, "FOO bar", ""},
        {"line starting with a tab", Lines({"\t'comment", "END"}), NoPeer, RC_SCRIPT_SYNTAX, 1, "\t'comment", ""},
        {"tab before a quoted word", Lines({"SEND\t\"ab\"", "END"}), NoPeer, RC_SCRIPT_COMPLETED, 0, "", "ab"},
        {"tab before a text with a blank", Lines({"SEND\t\"a b\"", "END"}), NoPeer, RC_SCRIPT_SYNTAX, 1,
         "SEND\t\"a b\"", ""},
        {"argument forms of SEND",
         Lines({"SEND \"~x~\"", "SEND NAME", "SEND \"NAME\"", "SEND q\"", "SEND 'comment", "END"}), NoPeer,
         RC_SCRIPT_COMPLETED, 0, "", " x XXX1NAMEq\"XXX2"},
        {"STOP without a debugger goes on", Lines({"STOP", "SEND \"a\"", "END"}), NoPeer, RC_SCRIPT_COMPLETED, 0, "",
         "a"},
        {"empty WAITFOR text", Lines({"WAITFOR \"\"", "END"}), NoPeer, RC_SCRIPT_SYNTAX, 1, "WAITFOR \"\"", ""},
        {"keyword alone is ignored", Lines({"WAITFOR", "SEND", "PAUSE", "PORT", "END"}), NoPeer, RC_SCRIPT_COMPLETED,
         0, "", ""},
        {"HANGUP with the port closed",
         Lines({"HANGUP", "END"}), [](PortTableComm& c, TestWorld&) { c.SetPortOpen(false); }, RC_PORT_NOT_OPEN, 1,
         "HANGUP", ""},
        {"PORT 0", Lines({"PORT 0", "END"}), NoPeer, RC_SCRIPT_BAD_PORT, 1, "PORT 0", ""},
        {"unknown protocol", Lines({"PROTOCOL \"FOO\"", "END"}), NoPeer, RC_SCRIPT_BAD_PROTOCOL, 1,
         "PROTOCOL \"FOO\"", ""},
        {"protocol name without quotes names a variable", Lines({"PROTOCOL zmodem", "END"}), NoPeer,
         RC_SCRIPT_BAD_PROTOCOL, 1, "PROTOCOL zmodem", ""},
        {"UPLOAD before PROTOCOL", Lines({"UPLOAD \"a.zip\"", "END"}), NoPeer, RC_SCRIPT_NO_PROTOCOL, 1,
         "UPLOAD \"a.zip\"", ""},
        {"UPLOAD of a missing file", Lines({"PROTOCOL \"ZMODEM\"", "UPLOAD \"/no/such/file\"", "END"}), NoPeer,
         RC_SCRIPT_BAD_TRANSFER_FILE, 2, "UPLOAD \"/no/such/file\"", ""},
        {"INPUT without a comma", Lines({"INPUT \"Name?\"", "END"}), NoPeer, RC_SCRIPT_SYNTAX, 1, "INPUT \"Name?\"",
         ""},
        {"INPUT naming a slot that does not exist", Lines({"INPUT \"Name?\", \"XXX7\"", "END"}), NoPeer,
         RC_SCRIPT_SYNTAX, 1, "INPUT \"Name?\", \"XXX7\"", ""},
        {"DIAL busy jumps to the label",
         Lines({"TIMEOUT 5", "ON_TIMEOUT_GOTO :T", "DIAL \"5551234\"", "SEND \"no\"", ":T", "END"}),
         [](PortTableComm& c, TestWorld&) { c.On("ATDT5551234\r", "BUSY\r\n", 1); }, RC_SCRIPT_COMPLETED, 3,
         "DIAL \"5551234\"", "ATDT5551234\r"},
        {"DIAL of a number with a comma and a count",
         Lines({"TIMEOUT 5", "DIAL \"555,1234\",2", "SEND \"on\"", "END"}),
         [](PortTableComm& c, TestWorld&) { c.On("ATDT555,1234\r", "CONNECT 9600\r\n", 1); }, RC_SCRIPT_COMPLETED,
         0, "", "ATDT555,1234\ron"},
    };
    for (const RunCase& c : cases) {
        SCOPED_TRACE(c.name);
        PortTableComm line(world.pump);  // a fresh line for every case
        line.SetPortOpen(true);
        line.SetCarrier(true);
        WaitCarryOver.clear();
        c.peer(line, world);
        RunOn(line, c.script);
        EXPECT_EQ(result, c.result);
        EXPECT_EQ(lineNo, c.lineNo);
        EXPECT_EQ(lineText, c.lineText);
        EXPECT_EQ(line.sent(), c.sent);
        EXPECT_TRUE(VariableTable.empty());
        EXPECT_TRUE(LabelTable.empty());
    }
}

TEST_F(ScriptRunTest, ScriptThatCannotRunLeavesLineUntouched) {
    lineNo = 77;
    lineText = "before";
    ScriptRun(comm, Path("missing.scr"), lineNo, lineText);
    EXPECT_EQ(GETRESULT(), RC_SCRIPT_BAD_FILE);
    ScriptRun(comm, dir.path().toStdString(), lineNo, lineText);
    EXPECT_EQ(GETRESULT(), RC_SCRIPT_BAD_FILE);
    comm.ThrowOnCommPort(true);
    ScriptRun(comm, Write("END\r\n"), lineNo, lineText);
    EXPECT_EQ(GETRESULT(), RC_NO_COMM_CONTROL);
    EXPECT_EQ(lineNo, 77);
    EXPECT_EQ(lineText, "before");
    EXPECT_TRUE(comm.writes().empty() || comm.writes().back() != "AutoProcess=0");
}

TEST_F(ScriptRunTest, ReceiveSettingsAreZeroedAndRestored) {
    comm.SetAutoProcess(1);
    comm.SetRThreshold(1);
    int seenAutoProcess = -1;
    SetStatusHook([&](const std::string&) { seenAutoProcess = comm.AutoProcess(); });
    Run(Lines({"SETTINGS \"9600,N,8,1\"", "FOO"}));
    EXPECT_EQ(result, RC_SCRIPT_SYNTAX);
    EXPECT_EQ(seenAutoProcess, 0);
    EXPECT_EQ(comm.AutoProcess(), 1);
    EXPECT_EQ(comm.RThreshold(), 1);
}

TEST_F(ScriptRunTest, PortSwitchesAndRestoresOnFailure) {
    comm.SetPortOpen(false);
    comm.SetCommPort(2);
    comm.SetPortOpen(true);
    comm.missingPort = 5;

    const size_t writesBefore = comm.writes().size();
    Run(Lines({"PORT 2", "END"}));
    EXPECT_EQ(result, RC_SCRIPT_COMPLETED);
    EXPECT_EQ(std::count(comm.writes().begin() + writesBefore, comm.writes().end(), "PortOpen=False"), 0);

    Run(Lines({"PORT 5", "END"}));
    EXPECT_EQ(result, RC_SCRIPT_BAD_PORT);
    EXPECT_EQ(lineNo, 1);
    EXPECT_EQ(comm.CommPort(), 2);
    EXPECT_TRUE(comm.PortOpen());

    Run(Lines({"PORT 3", "SEND \"x\"", "END"}));
    EXPECT_EQ(result, RC_SCRIPT_COMPLETED);
    EXPECT_EQ(comm.CommPort(), 3);
    EXPECT_TRUE(comm.PortOpen());
    EXPECT_EQ(comm.sent(), "x");

    // A closed control opened by the script's own PORT line.
    comm.SetPortOpen(false);
    Run(Lines({"PORT 3", "END"}));
    EXPECT_EQ(result, RC_SCRIPT_COMPLETED);
    EXPECT_TRUE(comm.PortOpen());
}

TEST_F(ScriptRunTest, SettingsRefusedAreRestored) {
    comm.RefuseSettings([](const std::string& s) { return s == "57600,Q,8,1"; });
    Run(Lines({"SETTINGS \"2400,N,8,1\"", "SETTINGS \"57600,Q,8,1\"", "END"}));
    EXPECT_EQ(result, RC_SCRIPT_BAD_SETTINGS);
    EXPECT_EQ(lineNo, 2);
    EXPECT_EQ(comm.Settings(), "2400,N,8,1");
    EXPECT_EQ(statuses, (std::vector<std::string>{"Script: Initializing the port..", "Script: Port is set at 2400,N,8,1",
                                                  "Script: Initializing the port.."}));
}

TEST_F(ScriptRunTest, InputIntoVariableThenSend) {
    world.ui.inputAnswers = {std::string("bob smith")};
    Run(Lines({"INPUT \"Your name?\", NAME", "SEND NAME", "END"}));
    EXPECT_EQ(result, RC_SCRIPT_COMPLETED);
    EXPECT_EQ(comm.sent(), "BOB SMITH\r");
    ASSERT_EQ(world.ui.inputPrompts, std::vector<std::string>{"Your name?"});

    // A variable with a value cannot be asked for again.
    world.ui.inputAnswers = {std::string("a"), std::string("b")};
    Run(Lines({"INPUT \"Name?\", NAME", "INPUT \"Again?\", NAME", "END"}));
    EXPECT_EQ(result, RC_SCRIPT_SYNTAX);
    EXPECT_EQ(lineNo, 2);

    // Cancel answers an empty text.
    comm.ClearSent();
    world.ui.inputAnswers = {std::nullopt};
    Run(Lines({"INPUT \"Name?\", NAME", "SEND NAME", "END"}));
    EXPECT_EQ(comm.sent(), "\r");
}

TEST_F(ScriptRunTest, CaptureTakesWaitTextAndTheRest) {
    const std::string capture = Path("cap.txt");
    comm.DeliverAfter(1, "Welcome\r\nlogin: ");
    comm.DeliverAfter(3, "tail");
    Run(Lines({"TIMEOUT 10", "CAPTURE \"" + capture + "\"", "WAITFOR \"login:\"", "PAUSE 4", "CLOSECAPTURE", "END"}));
    EXPECT_EQ(result, RC_SCRIPT_COMPLETED);
    // What the wait returned, then what was still waiting when the capture closed.
    EXPECT_EQ(ReadFile(capture), "Welcome\r\nlogin:tail\r\n");
    EXPECT_FALSE(CloseLeftOverCapture());
}

TEST_F(ScriptRunTest, CaptureKeepsEveryPieceOfALongWait) {
    // More than one wait's worth of text before the target: the wait hands it over in
    // pieces and goes on waiting, and every piece reaches the capture file.
    const std::string capture = Path("long.txt");
    const std::string flood(40000, 'x');
    comm.DeliverAfter(1, flood);
    comm.DeliverAfter(2, "login:");
    Run(Lines({"TIMEOUT 10", "CAPTURE \"" + capture + "\"", "WAITFOR \"login:\"", "CLOSECAPTURE", "END"}));
    EXPECT_EQ(result, RC_SCRIPT_COMPLETED);
    EXPECT_EQ(ReadFile(capture), flood + "login:");
}

TEST_F(ScriptRunTest, CaptureLeftOpenIsFlushedAtTheEnd) {
    const std::string capture = Path("open.txt");
    comm.Deliver("BANNER>");
    Run(Lines({"CAPTURE \"" + capture + "\"", "WAITFOR \">\"", "END"}));
    EXPECT_EQ(ReadFile(capture), "BANNER>");
    EXPECT_TRUE(CloseLeftOverCapture());
    Run(Lines({"CAPTURE \"" + dir.path().toStdString() + "\"", "END"}));
    EXPECT_EQ(result, RC_SCRIPT_BAD_TRANSFER_FILE);
}

TEST_F(ScriptRunTest, TransfersWaitForTheControl) {
    comm.onDownload = [&](const std::string&) {
        comm.ReportXferStatusAfter(0.5, XFER_WAITING);
        comm.ReportXferStatusAfter(10, XFER_IDLE);
    };
    comm.onUpload = comm.onDownload;
    Run(Lines({"PROTOCOL \"kermit\"", "UPLOAD \"/no/such/file\"", "DOWNLOAD", "PROTOCOL \"ZMODEM\"", "DOWNLOAD",
               "SEND \"done\"", "END"}));
    EXPECT_EQ(result, RC_SCRIPT_COMPLETED);
    EXPECT_EQ(comm.uploads(), std::vector<std::string>{"/no/such/file"});
    EXPECT_EQ(comm.downloads(), (std::vector<std::string>{"/no/such/file", "/no/such/file"}));
    EXPECT_EQ(comm.XferProtocol(), XFER_ZMODEM);
    EXPECT_EQ(comm.XferStatusDialog(), 2);
    EXPECT_EQ(TV_TransferType, TV_RECEIVE);
    EXPECT_EQ(comm.sent(), "done");
    EXPECT_GE(world.pump.Now(), 10 * 3600.0 + 30);  // three transfers of 10 seconds each

    // An XMODEM download needs a file it can create.
    const std::string local = Path("x.bin");
    Run(Lines({"PROTOCOL \"XMODEM-CRC\"", "DOWNLOAD \"" + local + "\"", "DOWNLOAD \"/no/such/dir/x\"", "END"}));
    EXPECT_EQ(result, RC_SCRIPT_BAD_TRANSFER_FILE);
    EXPECT_EQ(lineNo, 3);
    EXPECT_EQ(ReadFile(local), "");
}

TEST_F(ScriptRunTest, AsciiUploadSendsTheLines) {
    const std::string text = Write("one\r\ntwo\r\n", "T.TXT");
    Run(Lines({"PROTOCOL \"ascii\"", "UPLOAD \"" + text + "\"", "SEND \"!\"", "END"}));
    EXPECT_EQ(result, RC_SCRIPT_COMPLETED);
    EXPECT_EQ(comm.sent(), "one\r\ntwo\r\n!");
    EXPECT_TRUE(comm.uploads().empty());
}

TEST_F(ScriptRunTest, CancelStopsTheRun) {
    struct Case {
        const char* name;
        std::string script;
        double cancelAfter;  // < 0: requested before the run
        int lineNo;
        std::string lineText;
    };
    const std::vector<Case> cases = {
        {"before the first line", Lines({"SEND \"x\"", "END"}), -1, 1, "untouched"},
        {"during a pause", Lines({"PAUSE 30", "SEND \"x\"", "END"}), 2, 2, "PAUSE 30"},
        {"during a wait", Lines({"TIMEOUT 30", "WAITFOR \"never\"", "SEND \"x\"", "END"}), 2, 2,
         "WAITFOR \"never\""},
        {"in a jump loop without a time limit",
         Lines({"ON_TIMEOUT_GOTO :AGAIN", ":AGAIN", "WAITFOR \"never\"", "SEND \"x\"", "END"}), 5, 3,
         "WAITFOR \"never\""},
        {"during a transfer, once the control reports its end",
         Lines({"PROTOCOL \"ZMODEM\"", "DOWNLOAD", "SEND \"x\"", "END"}), 2, 3, "DOWNLOAD"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        comm.ClearSent();
        CancelRequested = 0;
        comm.onDownload = [&](const std::string&) {
            comm.ReportXferStatusAfter(0.5, XFER_TRANSFERRING);
            comm.ReportXferStatusAfter(20, XFER_IDLE);
        };
        if (c.cancelAfter < 0) CancelRequested = 1;
        else world.pump.After(c.cancelAfter, [] { CancelRequested = 1; });
        const double start = world.pump.Now();
        Run(c.script);
        EXPECT_EQ(result, RC_CANCELED);
        EXPECT_EQ(lineNo, c.lineNo);
        EXPECT_EQ(lineText, c.lineText);
        EXPECT_EQ(comm.sent(), "");
        if (c.script.find("DOWNLOAD") != std::string::npos) {
            EXPECT_EQ(comm.XferStatus(), XFER_IDLE);
            EXPECT_GE(world.pump.Now() - start, 20);
        }
    }
}

TEST_F(ScriptRunTest, BadInputNeverCrashes) {
    // Binary garbage: some lines are unknown commands; the run stops at the first.
    std::string garbage;
    for (int i = 0; i < 4096; ++i) garbage += static_cast<char>((i * 131 + 7) % 256);
    Run(garbage);
    EXPECT_EQ(result, RC_SCRIPT_SYNTAX);
    EXPECT_GE(lineNo, 1);

    // A line of megabytes is one line like any other.
    const std::string big(3 * 1024 * 1024, 'A');
    comm.ClearSent();
    Run(Lines({"SEND \"" + big + "\"", "; " + big, "END"}));
    EXPECT_EQ(result, RC_SCRIPT_COMPLETED);
    EXPECT_EQ(comm.sent().size(), big.size());

    // An empty file has no line to run.
    Run("");
    EXPECT_EQ(result, RC_NONE);
    EXPECT_EQ(lineNo, 1);
}

}  // namespace
}  // namespace zorv::test
