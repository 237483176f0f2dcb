// Caret notation, response classification and sending modem commands, against modem
// transcripts in virtual time.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "modem/LineWait.h"
#include "modem/ModemCommands.h"
#include "modem/ModemProfiles.h"
#include "script/RecordingTrace.h"
#include "script/ResultCodes.h"
#include "tests/support/FakeComm.h"
#include "tests/support/TestWorld.h"

namespace zorv::test {
namespace {

TEST(ModemCommands, CaretNotation) {
    struct Case {
        std::string in;
        std::string out;
    };
    const std::vector<Case> cases = {
        {"ATZ^M", "ATZ\r"},
        {"atz^m", "atz\r"},
        {"A^1B", "AB"},          // no control character for a digit: both go
        {"A^ B^@C", "ABC"},
        {"AT^", "AT^"},          // a caret at the end stays
        {"^[[2J", "\x1b[2J"},
        {"^J^M", "\n\r"},
        {"^^M", "\x1eM"},        // the second caret is the letter of the first
        {"no carets", "no carets"},
        {"", ""},
    };
    for (const Case& c : cases) {
        std::string text = c.in;
        EXPECT_EQ(CARET2CTRL(text), c.out) << c.in;
        EXPECT_EQ(text, c.out) << c.in;
    }
}

class ModemCommandsTest : public ::testing::Test {
protected:
    ModemCommandsTest() : comm(world.pump) {
        ResetCommSlots();
        comm.SetTag("Modem1");
        comm.SetPortOpen(true);
        comm.SetCarrier(false);
        WaitCarryOver.clear();
        CancelRequested = 0;
        RecordingActive = 0;
        TraceList.clear();
        SETRESULT(RC_NONE);
    }
    ~ModemCommandsTest() override {
        ResetCommSlots();
        RecordingActive = 0;
        TraceList.clear();
    }

    ModemProfile& Profile() { return SlotProfile(FINDCOMMSLOT(comm)); }

    TestWorld world;
    FakeComm comm;
};

TEST_F(ModemCommandsTest, ResponseClassification) {
    struct Case {
        std::string line;
        ModemResult result;
    };
    const std::vector<Case> blankProfile = {
        {"OK\r\n", MR_OK},
        {"CONNECT 14400/ARQ", MR_CONNECT},
        {"CARRIER 28800", MR_CARRIER},
        {"NO CARRIER", MR_NO_CARRIER},
        {"ERROR", MR_ERROR},
        {"NO DIALTONE", MR_NO_DIALTONE},
        {"BUSY", MR_BUSY},
        {"NO ANSWER", MR_NO_ANSWER},
        {"TIMEOUT", MR_TIMEOUT},
        {"RINGING", MR_RING},
        {"ATDT5551234\r", MR_NONE},
        {"ok", MR_NONE},
        {"", MR_NONE},
    };
    for (const Case& c : blankProfile) EXPECT_EQ(STR2RESULT(comm, c.line), c.result) << c.line;
    EXPECT_EQ(RESULT2STR(comm, MR_CONNECT), "CONNECT");
    EXPECT_EQ(RESULT2STR(comm, MR_BUSY), "BUSY");
    EXPECT_EQ(RESULT2STR(comm, MR_NO_DIALTONE), "NO DIALTONE");
    EXPECT_EQ(RESULT2STR(comm, 5), "");

    Profile().Busy = "  ENGAGED~";
    Profile().Connect = "LINK";
    const std::vector<Case> ownTexts = {
        {"ENGAGED", MR_BUSY},
        {"BUSY", MR_NONE},
        {"LINK 2400", MR_CONNECT},
        {"CONNECT 2400", MR_NONE},
    };
    for (const Case& c : ownTexts) EXPECT_EQ(STR2RESULT(comm, c.line), c.result) << c.line;
    EXPECT_EQ(RESULT2STR(comm, MR_BUSY), "ENGAGED");
    EXPECT_EQ(RESULT2STR(comm, MR_CONNECT), "LINK");
    EXPECT_TRUE(world.ui.boxes.empty());
}

struct CommandCase {
    const char* name;
    std::string attention;
    std::string command;
    int attempts;
    bool echo;
    std::function<void(FakeComm&)> modem;  // how the modem answers
    std::string sentCommand;               // the caller's text afterwards
    std::string sent;                      // everything written to the line
    ResultCode code;
    ModemResult result;
};

TEST_F(ModemCommandsTest, SendModemCommandTranscripts) {
    const std::vector<CommandCase> cases = {
        {"echo then OK", "AT", "ATZ\r", 1, true, [](FakeComm& m) { m.On("ATZ\r", "\r\nOK\r\n", 0.3); }, "ATZ\r",
         "ATZ\r", RC_COMMAND_SENT, MR_OK},
        {"attention put in front", "AT", "Z", 1, true, [](FakeComm& m) { m.On("ATZ\r", "\r\nOK\r\n", 0.3); },
         "ATZ\r", "ATZ\r", RC_COMMAND_SENT, MR_OK},
        {"lower-case attention kept", "AT", "atz", 1, false, [](FakeComm& m) { m.On("atz\r", "OK\r\n"); }, "atz\r",
         "atz\r", RC_COMMAND_SENT, MR_OK},
        {"caret attention", "AT^M^JAT", "Z", 1, false, [](FakeComm& m) { m.On("Z\r", "OK\r"); },
         "AT\r\nATZ\r", "AT\r\nATZ\r", RC_COMMAND_SENT, MR_OK},
        {"leading quote dropped", "", "\"ATI", 1, false, [](FakeComm& m) { m.On("ATI\r", "33600\r\nOK\r\n"); },
         "ATI\r", "ATI\r", RC_COMMAND_SENT, MR_OK},
        {"ERROR is an answer too", "AT", "AT&Q9", 1, true, [](FakeComm& m) { m.On("\r", "\r\nERROR\r\n", 0.2); },
         "AT&Q9\r", "AT&Q9\r", RC_COMMAND_SENT, MR_ERROR},
        {"answer with CR line ends only", "AT", "AT", 1, false, [](FakeComm& m) { m.On("AT\r", "\rOK\r"); }, "AT\r",
         "AT\r", RC_COMMAND_SENT, MR_OK},
        {"line end split over two reads", "AT", "AT", 1, false,
         [](FakeComm& m) {
             m.On("AT\r", "banner\r", 0.1);
             m.DeliverAfter(0.5, "\nOK\r\n");
         },
         "AT\r", "AT\r", RC_COMMAND_SENT, MR_OK},
        {"silence", "AT", "ATZ", 1, false, [](FakeComm&) {}, "ATZ\r", "ATZ\r", RC_TIMEOUT, MR_NONE},
        {"silence on every attempt", "AT", "ATZ", 3, false, [](FakeComm&) {}, "ATZ\r", "ATZ\rATZ\rATZ\r", RC_TIMEOUT,
         MR_NONE},
        {"answered on the second attempt", "AT", "ATZ", 3, false,
         [](FakeComm& m) {
             m.QueueReply("");
             m.QueueReply("OK\r\n", 0.5);
         },
         "ATZ\r", "ATZ\rATZ\r", RC_COMMAND_SENT, MR_OK},
        {"what came before the command is no answer", "AT", "ATZ", 1, false,
         [](FakeComm& m) {
             m.Deliver("OK\r\n");
             m.On("ATZ\r", "ERROR\r\n", 0.5);
         },
         "ATZ\r", "ATZ\r", RC_COMMAND_SENT, MR_ERROR},
        {"empty command", "AT", "", 1, false, [](FakeComm&) {}, "", "", RC_NO_COMMAND, MR_NONE},
    };
    for (const CommandCase& c : cases) {
        SCOPED_TRACE(c.name);
        TestWorld world;
        FakeComm modem(world.pump);
        modem.SetTag("Modem1");
        modem.SetPortOpen(true);
        modem.SetEcho(c.echo);
        Profile().Attention = c.attention;
        c.modem(modem);
        WaitCarryOver = "OK\r\n";  // stale text from an earlier wait is no answer either
        std::string command = c.command;
        ModemResult result = 77;
        SENDMODEMCMD(modem, command, c.attempts, 5, result);
        EXPECT_EQ(GETRESULT(), c.code);
        EXPECT_EQ(result, c.result);
        EXPECT_EQ(command, c.sentCommand);
        EXPECT_EQ(modem.sent(), c.sent);
    }
}

TEST_F(ModemCommandsTest, RetriesPauseASecondBetweenAttempts) {
    Profile().Attention = "AT";
    std::string command = "ATZ";
    ModemResult result = 0;
    const double start = world.pump.Now();
    SENDMODEMCMD(comm, command, 3, 5, result);
    EXPECT_EQ(GETRESULT(), RC_TIMEOUT);
    EXPECT_GE(world.pump.Now() - start, 3 * 5 + 2 * 1.0);
    EXPECT_LT(world.pump.Now() - start, 3 * 5 + 2 * 1.0 + 0.5);
}

TEST_F(ModemCommandsTest, CancelAndAVanishingPortEndTheCommand) {
    struct Case {
        const char* name;
        std::function<void(FakeComm&)> handler;
        ResultCode code;
        double endsBefore;  // seconds
    };
    const std::vector<Case> cases = {
        {"cancel", [](FakeComm&) { CancelRequested = -1; }, RC_CANCELED, 3},
        {"control unusable", [](FakeComm& m) { m.ThrowOnCommPort(true); }, RC_NO_COMM_CONTROL, 3},
        // A closed port delivers nothing more: the line wait runs out, and the retry
        // finds the port closed instead of writing to it.
        {"port closed", [](FakeComm& m) { m.SetPortOpen(false); }, RC_PORT_NOT_OPEN, 34},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TestWorld world;
        FakeComm modem(world.pump);
        modem.SetTag("Modem1");
        modem.SetPortOpen(true);
        modem.SetAutoProcess(1);
        // The modem keeps chattering lines it does not finish with a known answer.
        std::function<void()> chatter = [&] {
            modem.Deliver("...\r\n");
            world.pump.After(1, chatter);
        };
        world.pump.After(0.5, chatter);
        world.pump.After(2.2, [&] { c.handler(modem); });
        std::string command = "ATDT5551234";
        ModemResult result = 0;
        SENDMODEMCMD(modem, command, 2, 30, result);
        EXPECT_EQ(GETRESULT(), c.code);
        EXPECT_EQ(result, MR_NONE);
        EXPECT_LT(world.pump.Now() - 10 * 3600.0, c.endsBefore);
        EXPECT_EQ(modem.AutoProcess(), 1);
    }
}

TEST_F(ModemCommandsTest, EndlessUnknownLinesEndAsTimeout) {
    std::function<void()> chatter = [&] {
        comm.Deliver("Welcome to the board, please hold\r\n");
        world.pump.After(1, chatter);
    };
    world.pump.After(0.5, chatter);
    std::string command = "ATH";
    ModemResult result = 0;
    SENDMODEMCMD(comm, command, 1, 5, result);
    EXPECT_EQ(GETRESULT(), RC_TIMEOUT);
    EXPECT_EQ(result, MR_NONE);
}

TEST_F(ModemCommandsTest, RecordingTracesTheCommandSent) {
    Profile().Attention = "AT";
    comm.On("ATZ\r", "OK\r\n");
    std::string command = "Z";
    ModemResult result = 0;
    SENDMODEMCMD(comm, command, 1, 5, result);
    EXPECT_TRUE(TraceList.empty());

    RecordingActive = -1;
    command = "Z";
    SENDMODEMCMD(comm, command, 1, 5, result);
    ASSERT_EQ(TraceList.size(), 1u);
    EXPECT_EQ(TraceList[0].tag, "SEND");
    EXPECT_EQ(TraceList[0].text, "ATZ\r");
}

}  // namespace
}  // namespace zorv::test
