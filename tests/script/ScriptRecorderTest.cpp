// Recording a session into a script: starting and stopping, cleaning the trace, the
// file written, and replaying what was recorded.
#include "script/ScriptRecorder.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "modem/LineWait.h"
#include "modem/ModemCommands.h"
#include "modem/ModemProfiles.h"
#include "script/RecordingTrace.h"
#include "script/ResultCodes.h"
#include "script/ScriptRun.h"
#include "tests/support/FakeComm.h"
#include "tests/support/TestWorld.h"
#include "util/Error.h"

namespace zorv::test {
namespace {

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream all;
    all << in.rdbuf();
    return all.str();
}

bool Exists(const std::string& path) { return std::ifstream(path).good(); }

class ScriptRecorderTest : public ::testing::Test {
protected:
    ScriptRecorderTest() : comm(world.pump) {
        ResetCommSlots();
        RecordingActive = 0;
        TraceList.clear();
        RecordTailLength = 0;
        CancelRequested = 0;
        WaitCarryOver.clear();
        SETRESULT(RC_NONE);
        comm.SetCommPort(2);
        comm.SetPortOpen(true);
        comm.SetAutoProcess(1);
        comm.SetRThreshold(0);
    }
    ~ScriptRecorderTest() override {
        RecordingActive = 0;
        TraceList.clear();
        RecordTailLength = 0;
        ResetCommSlots();
    }

    std::string Path(const std::string& name) { return dir.filePath(QString::fromStdString(name)).toStdString(); }

    TestWorld world;
    FakeComm comm;
    QTemporaryDir dir;
};

TEST_F(ScriptRecorderTest, RecordingWithNothingInItWritesTheFrame) {
    const std::string file = Path("EMPTY.SCR");
    ScriptRecord(comm, file, 0);
    EXPECT_EQ(RecordingActive, -1);
    EXPECT_EQ(comm.AutoProcess(), 0);
    EXPECT_EQ(comm.RThreshold(), 1);
    EXPECT_FALSE(Exists(file));  // nothing is written before the stop

    ScriptRecord(comm, "", 0);
    EXPECT_EQ(RecordingActive, 0);
    EXPECT_EQ(comm.AutoProcess(), 1);
    EXPECT_EQ(comm.RThreshold(), 0);
    EXPECT_EQ(ReadFile(file), "PORT 2\r\nTIMEOUT 60\r\nON_TIMEOUT_GOTO :TIMEOUT\r\n:TIMEOUT\r\nEND\r\n");
    EXPECT_TRUE(world.ui.boxes.empty());
}

struct TraceCase {
    const char* name;
    int tailLength;
    std::vector<TraceEntry> trace;
    std::vector<std::string> lines;  // between the three opening lines and ":TIMEOUT", "END"
};

TEST_F(ScriptRecorderTest, TraceBecomesScriptLines) {
    const std::string fifty = "0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMN";
    const std::vector<TraceCase> cases = {
        {"the echo of what was sent is removed",
         0,
         {{"OUT", "ATDT"}, {"IN", "ATDT\r\nCONNECT\r\n"}},
         {"SEND \"ATDT\"", "WAITFOR \"^M^JCONNECT^M^J\""}},
        {"echo matched without regard to letter case",
         0,
         {{"OUT", "joe\r"}, {"IN", "JOE\r\nPassword: "}},
         {"SEND \"joe^M\"", "WAITFOR \"^JPassword: \""}},
        {"a piece that is all echo is dropped; the next piece keeps what the first left",
         0,
         {{"OUT", "ATZ\r"}, {"IN", "AT"}, {"IN", "Z\r\r\nOK\r\n"}},
         {"SEND \"ATZ^M\"", "WAITFOR \"Z^M^M^JOK^M^J\""}},
        {"text that is no echo is kept whole",
         0,
         {{"OUT", "ATZ\r"}, {"IN", "OK\r\n"}},
         {"SEND \"ATZ^M\"", "WAITFOR \"OK^M^J\""}},
        {"pieces in a row are joined, each direction on its own",
         0,
         {{"IN", "Name"}, {"IN", "? "}, {"OUT", "jo"}, {"OUT", "e\r"}, {"IN", "joe\r\n"}, {"IN", "Pass: "}},
         {"WAITFOR \"Name? \"", "SEND \"joe^M\"", "WAITFOR \"^JPass: \""}},
        {"an empty received piece is dropped and does not split a SEND",
         0,
         {{"OUT", "a"}, {"IN", ""}, {"OUT", "b"}},
         {"SEND \"ab\""}},
        {"a tail length keeps the end of each WAITFOR",
         10,
         {{"IN", fifty}, {"OUT", fifty}, {"IN", "?!"}},
         {"WAITFOR \"EFGHIJKLMN\"", "SEND \"" + fifty + "\"", "WAITFOR \"?!\""}},
        {"library entries: quoted text, DIAL attempts outside the quotes, bare keywords",
         0,
         {{"SETTINGS", "9600,N,8,1"},
          {"DIAL", "555-1234, 3"},
          {"DIAL", "5551234"},
          {"PROTOCOL", "ZMODEM"},
          {"DOWNLOAD", "FILE.ZIP"},
          {"UPLOAD", "C:\\UP.TXT"},
          {"HANGUP", ""},
          {"WAITFORCALL", ""},
          {"END", ""}},
         {"SETTINGS \"9600,N,8,1\"", "DIAL \"555-1234\", 3", "DIAL \"5551234\"", "PROTOCOL \"ZMODEM\"",
          "DOWNLOAD \"FILE.ZIP\"", "UPLOAD \"C:\\UP.TXT\"", "HANGUP ", "WAITFORCALL ", "END "}},
        {"a library SEND counts as sent text for the echo",
         0,
         {{"SEND", "ATZ\r"}, {"OUT", "x"}, {"IN", "ATZ\r\r\nOK\r\nx"}},
         {"SEND \"ATZ^Mx\"", "WAITFOR \"^M^JOK^M^Jx\""}},
    };
    for (const TraceCase& c : cases) {
        SCOPED_TRACE(c.name);
        RecordTailLength = c.tailLength;
        TraceList = c.trace;
        std::vector<std::string> expected = c.lines;
        expected.push_back(":TIMEOUT");
        expected.push_back("END");
        EXPECT_EQ(RecordedScriptLines(), expected);
        EXPECT_EQ(RecordedScriptLines(), expected) << "writing twice gives the same script";
    }
}

TEST_F(ScriptRecorderTest, HooksFeedTheRecordingAndTheTailComesFromTheStart) {
    const std::string file = Path("TAIL.SCR");
    TraceList = {{"SEND", "left over from before"}};
    ScriptRecord(comm, file, 10);
    ScriptTraceIn(std::string(40, '.') + "Password: ");
    ScriptTraceOut("secret\r");
    ScriptRecord(comm, "", 0);
    EXPECT_EQ(ReadFile(file),
              "PORT 2\r\nTIMEOUT 60\r\nON_TIMEOUT_GOTO :TIMEOUT\r\nWAITFOR \"Password: \"\r\n"
              "SEND \"secret^M\"\r\n:TIMEOUT\r\nEND\r\n");
    // After the stop the hooks record nothing more.
    const std::size_t entries = TraceList.size();
    ScriptTraceIn("late");
    EXPECT_EQ(TraceList.size(), entries);
}

TEST_F(ScriptRecorderTest, StopWithoutRecordingOnlyComplains) {
    const std::string file = Path("NONE.SCR");
    ScriptRecord(comm, file, 0);
    ScriptRecord(comm, "", 0);
    std::remove(file.c_str());
    comm.SetAutoProcess(3);

    ScriptRecord(comm, "", 0);
    ASSERT_EQ(world.ui.boxes.size(), 1u);
    EXPECT_EQ(world.ui.boxes[0].text, "Error - ScriptRecord called with \" when no script was being recorded");
    EXPECT_EQ(world.ui.boxes[0].title, "ZORVDIAL");
    EXPECT_EQ(world.ui.boxes[0].buttons, MsgButtons::Ok);
    EXPECT_FALSE(Exists(file));
    EXPECT_EQ(comm.AutoProcess(), 3);
}

TEST_F(ScriptRecorderTest, StartingOverKeepsTheControlsOwnSettings) {
    ScriptRecord(comm, Path("FIRST.SCR"), 0);
    ScriptTraceOut("first");
    comm.SetPortOpen(false);
    comm.SetCommPort(3);
    ScriptRecord(comm, Path("SECOND.SCR"), 0);
    ScriptRecord(comm, "", 0);

    EXPECT_EQ(comm.AutoProcess(), 1);
    EXPECT_EQ(comm.RThreshold(), 0);
    EXPECT_FALSE(Exists(Path("FIRST.SCR")));
    EXPECT_EQ(ReadFile(Path("SECOND.SCR")), "PORT 3\r\nTIMEOUT 60\r\nON_TIMEOUT_GOTO :TIMEOUT\r\n:TIMEOUT\r\nEND\r\n");
}

TEST_F(ScriptRecorderTest, AFileThatCannotBeWrittenRaisesAnError) {
    const std::string file = Path("missing-folder/REC.SCR");
    ScriptRecord(comm, file, 0);
    try {
        ScriptRecord(comm, "", 0);
        FAIL() << "no error raised";
    } catch (const Error& error) {
        EXPECT_EQ(error.number(), ErrorNumber::FileAccess);
    }
    EXPECT_EQ(RecordingActive, 0);
    EXPECT_EQ(comm.AutoProcess(), 1);
    EXPECT_FALSE(Exists(file));
}

// A session recorded through the library and the application's hooks replays against
// the same peer: the script waits for what the peer said and sends what was typed.
TEST_F(ScriptRecorderTest, RecordedSessionReplays) {
    const std::string file = Path("SESSION.SCR");
    FakeComm live(world.pump);
    live.SetTag("LINE");
    live.SetCommPort(2);
    live.SetPortOpen(true);
    live.SetCarrier(true);
    live.SetEcho(true);
    live.On("ATZ\r", "\r\nOK\r\n");

    ScriptRecord(live, file, 0);
    std::string command = "ATZ";
    ModemResult answer = MR_NONE;
    SENDMODEMCMD(live, command, 1, 5, answer);
    ASSERT_EQ(answer, MR_OK);
    // What the application saw and typed during the login, in the pieces it got them.
    ScriptTraceIn("Welcome!\r\nName");
    ScriptTraceIn("? ");
    ScriptTraceOut("joe\r");
    ScriptTraceIn("JOE\r\nPassword: ");
    ScriptTraceOut("pw\r");
    ScriptTraceIn("\r\nMain menu> ");
    ScriptRecord(live, "", 0);

    FakeComm peer(world.pump);
    peer.SetCarrier(true);
    peer.On("ATZ\r", "ATZ\r\r\nOK\r\nWelcome!\r\nName? ", 0.5, 1);
    peer.On("joe\r", "JOE\r\nPassword: ", 0.5, 1);
    peer.On("pw\r", "\r\nMain menu> ", 0.5, 1);
    int lineNo = -1;
    std::string lineText;
    ScriptRun(peer, file, lineNo, lineText);
    EXPECT_EQ(GETRESULT(), RC_SCRIPT_COMPLETED) << ReadFile(file);
    EXPECT_EQ(lineNo, 0) << lineText;
    EXPECT_EQ(peer.CommPort(), 2);
    EXPECT_EQ(peer.sent(), "ATZ\rjoe\rpw\r");
}

}  // namespace
}  // namespace zorv::test
