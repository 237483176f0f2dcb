// The board as a program, called over loopback TCP by a telnet caller of ours that
// receives with our ZMODEM.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QDir>
#include <QTemporaryDir>
#include <algorithm>
#include <cerrno>
#include <thread>

#include "tests/zorvbbs/BbsTestKit.h"
#include "tools/zorvbbs/BbsCaller.h"

namespace zorv::bbs::test {
namespace {

// Something the board must show, then what the caller types (nullptr: nothing).
struct Step {
    std::string expect;
    const char* send;
};

// Plays the steps; a login script waits for "?", so a prompt must hold exactly one, at
// its end, and nothing shown since the previous answer may hold another.
void Play(TelnetClient& caller, const std::vector<Step>& steps) {
    for (const Step& step : steps) {
        std::string got;
        ASSERT_TRUE(caller.ReadUntil(step.expect, got)) << "waiting for: " << step.expect << "\ngot: " << got;
        if (step.expect.back() == '?') {
            EXPECT_EQ(std::count(got.begin(), got.end(), '?'), 1) << got;
        }
        if (step.send) caller.Send(std::string(step.send) + "\r");
    }
}

std::vector<Step> LoginB(const char* user, const char* password) {
    return {{kGraphicsPrompt, "n"}, {kFirstNamePrompt, user}, {kLastNamePrompt, ""}, {kPasswordPrompt, password}};
}

std::vector<Step> LoginA(const char* user, const char* password) {
    return {{kGraphicsPrompt, "n"}, {kFirstNamePrompt, user}, {kLastNamePrompt, password},
            {kRegisterOrContinuePrompt, "C"}, {kRegisterNewPrompt, "N"}};
}

std::vector<Step> Then(std::vector<Step> steps, const std::vector<Step>& more) {
    steps.insert(steps.end(), more.begin(), more.end());
    return steps;
}

// Logged in to the main menu, asks for `file` with ZMODEM.
std::vector<Step> Download(std::vector<Step> login, const char* file) {
    return Then(std::move(login), {{kMessageScanPrompt, "n"}, {kMainMenuPrompt, "D"}, {kFileNamePrompt, file},
                                   {kProtocolPrompt, "Z"}});
}

class BoardTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (BinPath("zorvbbs").empty()) GTEST_SKIP() << "zorvbbs is not built";
        WriteFile(board.AreaPath("SAMPLE.BIN"), SampleBytes(150000, 7));
        WriteFile(board.AreaPath("notes.txt"), "notes\r\n");
    }
    Board board;
    QTemporaryDir downloads;
};

TEST_F(BoardTest, BothDialoguesLogInAndSendTheFileWhole) {
    struct Case {
        const char* name;
        std::vector<Step> steps;
    };
    const std::vector<Case> cases = {
        {"dialogue B, asked in other letter case", Download(LoginB("demo", "demo"), "sample.bin")},
        {"dialogue A, password as last name", Download(LoginA("Visitor", "welcome"), "SAMPLE.BIN")},
    };
    ASSERT_TRUE(board.Start());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir folder;
        TelnetClient caller;
        ASSERT_TRUE(caller.Connect(board.Port()));
        Play(caller, c.steps);
        EXPECT_EQ(caller.ReceiveFile(folder.path().toStdString()).status, 0);
        EXPECT_TRUE(SameBytes(ReadFile(folder.filePath("SAMPLE.BIN").toStdString()), ReadFile(board.AreaPath("SAMPLE.BIN"))));
        // Back at the menu after the transfer; G says goodbye and hangs up.
        Play(caller, {{"Transfer complete.", nullptr}, {kMainMenuPrompt, "G"}, {kGoodbye, nullptr}});
        std::string rest;
        EXPECT_TRUE(caller.WaitClosed(rest));
    }
    EXPECT_NE(board.Log().find("sending SAMPLE.BIN (150000 bytes) with ZMODEM"), std::string::npos) << board.Log();
}

TEST_F(BoardTest, AWrongPasswordIsAskedAgainThenTheBoardHangsUp) {
    const std::vector<Step> refusedB = {{kWrongPassword, nullptr}, {kPasswordPrompt, "demo2"},
                                        {kWrongPassword, nullptr}, {kGoodbye, nullptr}};
    const std::vector<Step> refusedA = {{kWrongPassword, nullptr}, {kLastNamePrompt, "C"},
                                        {kWrongPassword, nullptr}, {kGoodbye, nullptr}};
    struct Case {
        const char* name;
        std::vector<Step> steps;
        bool hangsUp;
    };
    const std::vector<Case> cases = {
        {"dialogue B, wrong twice", Then(LoginB("demo", "Demo"), refusedB), true},
        {"dialogue A, wrong twice at the last name",
         Then({{kGraphicsPrompt, "n"}, {kFirstNamePrompt, "visitor"}, {kLastNamePrompt, "welcome "}}, refusedA), true},
        {"no such user", Then(LoginB("nobody", "demo"), refusedB), true},
        {"another account's password", Then(LoginB("demo", "welcome"), refusedB), true},
        {"wrong once, then right",
         Then(LoginB("demo", "x"), {{kWrongPassword, nullptr}, {kPasswordPrompt, "demo"}, {kMessageScanPrompt, nullptr}}),
         false},
    };
    ASSERT_TRUE(board.Start());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TelnetClient caller;
        ASSERT_TRUE(caller.Connect(board.Port()));
        Play(caller, c.steps);
        std::string rest;
        EXPECT_EQ(caller.WaitClosed(rest, c.hangsUp ? 10 : 1), c.hangsUp) << rest;
    }
}

TEST_F(BoardTest, OnlyFilesInsideTheAreaAreServed) {
    // Things next to and inside the area that are not its plain files.
    ASSERT_EQ(::symlink(board.Path("accounts").c_str(), board.AreaPath("LINK.TXT").c_str()), 0);
    ASSERT_TRUE(QDir(QString::fromStdString(board.AreaPath())).mkdir("sub"));
    WriteFile(board.AreaPath("sub/inner.txt"), "inner");
    WriteFile(board.AreaPath(".hidden"), "hidden");
    struct Case {
        std::string request;
        std::string answer;
    };
    const std::vector<Case> cases = {
        {"notes.txt", "File: notes.txt, 7 bytes"},
        {"NOTES.TXT", "File: notes.txt, 7 bytes"},
        {"missing.txt", "File not found: missing.txt"},
        {"../accounts", "File not found: ../accounts"},
        {board.Path("accounts"), "File not found: " + board.Path("accounts")},
        {"/etc/passwd", "File not found: /etc/passwd"},
        {"LINK.TXT", "File not found: LINK.TXT"},
        {"sub", "File not found: sub"},
        {"sub/inner.txt", "File not found: sub/inner.txt"},
        {"..", "File not found: .."},
        {".hidden", "File not found: .hidden"},
    };
    ASSERT_TRUE(board.Start());
    TelnetClient caller;
    ASSERT_TRUE(caller.Connect(board.Port()));
    Play(caller, Then(LoginB("demo", "demo"), {{kMessageScanPrompt, "n"}}));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.request);
        const bool found = c.answer.rfind("File:", 0) == 0;
        Play(caller, {{kMainMenuPrompt, "D"}, {kFileNamePrompt, c.request.c_str()}, {c.answer, nullptr}});
        // A file found goes on to the protocol question (Enter declines); either way
        // the menu comes back.
        if (found) Play(caller, {{kProtocolPrompt, ""}});
    }
    // The file list shows only what may be downloaded.
    std::string list;
    Play(caller, {{kMainMenuPrompt, "F"}});
    ASSERT_TRUE(caller.ReadUntil(kMainMenuPrompt, list));
    EXPECT_NE(list.find("SAMPLE.BIN"), std::string::npos) << list;
    EXPECT_NE(list.find("notes.txt"), std::string::npos) << list;
    for (const char* hidden : {"LINK.TXT", "sub", ".hidden", "accounts"}) EXPECT_EQ(list.find(hidden), std::string::npos) << list;
}

TEST_F(BoardTest, TwoCallersDownloadAtTheSameTime) {
    WriteFile(board.AreaPath("OTHER.BIN"), SampleBytes(90000, 11));
    ASSERT_TRUE(board.Start());
    struct Call {
        std::vector<Step> steps;
        std::string file;
        QTemporaryDir folder;
        int status = -100;
    };
    Call calls[2];
    calls[0].steps = Download(LoginB("demo", "demo"), "SAMPLE.BIN");
    calls[0].file = "SAMPLE.BIN";
    calls[1].steps = Download(LoginA("visitor", "welcome"), "OTHER.BIN");
    calls[1].file = "OTHER.BIN";
    // Both callers are connected before either logs in.
    TelnetClient callers[2];
    ASSERT_TRUE(callers[0].Connect(board.Port()));
    ASSERT_TRUE(callers[1].Connect(board.Port()));
    std::vector<std::thread> threads;
    for (int i = 0; i < 2; ++i)
        threads.emplace_back([&, i] {
            Play(callers[i], calls[i].steps);
            calls[i].status = callers[i].ReceiveFile(calls[i].folder.path().toStdString()).status;
        });
    for (std::thread& t : threads) t.join();
    for (Call& call : calls) {
        SCOPED_TRACE(call.file);
        EXPECT_EQ(call.status, 0);
        EXPECT_TRUE(SameBytes(ReadFile(call.folder.filePath(QString::fromStdString(call.file)).toStdString()),
                  ReadFile(board.AreaPath(call.file))));
    }
    const std::string log = board.Log();
    EXPECT_NE(log.find("call 1: logged in as"), std::string::npos) << log;
    EXPECT_NE(log.find("call 2: logged in as"), std::string::npos) << log;
}

TEST_F(BoardTest, ALineDroppedMidTransferLeavesAPartialFileThatTheNextCallCompletes) {
    ASSERT_TRUE(board.Start({"--drop-after", "40000"}));
    const std::string folder = downloads.path().toStdString();
    const std::string whole = downloads.filePath("SAMPLE.BIN").toStdString();
    {
        TelnetClient caller;
        ASSERT_TRUE(caller.Connect(board.Port()));
        Play(caller, Download(LoginB("demo", "demo"), "SAMPLE.BIN"));
        EXPECT_EQ(caller.ReceiveFile(folder).status, 8);  // carrier lost
    }
    EXPECT_NE(::access(whole.c_str(), F_OK), 0) << "a cut transfer must not look complete";
    const std::string partial = ReadFile(whole + ".part");
    ASSERT_GT(partial.size(), 0u);
    EXPECT_TRUE(SameBytes(partial, ReadFile(board.AreaPath("SAMPLE.BIN")).substr(0, partial.size())));
    TelnetClient caller;
    ASSERT_TRUE(caller.Connect(board.Port()));
    Play(caller, Download(LoginB("demo", "demo"), "SAMPLE.BIN"));
    const TelnetClient::Received again = caller.ReceiveFile(folder);
    EXPECT_EQ(again.status, 0);
    EXPECT_EQ(again.resumedFrom, static_cast<long long>(partial.size()));
    EXPECT_TRUE(SameBytes(ReadFile(whole), ReadFile(board.AreaPath("SAMPLE.BIN"))));
}

TEST_F(BoardTest, BusyAndIdleLines) {
    {
        SCOPED_TRACE("busy: the call is refused, which a modem reports as BUSY");
        Board busy;
        ASSERT_TRUE(busy.Start({"--busy"}));
        TelnetClient caller;
        EXPECT_FALSE(caller.Connect(busy.Port()));
        EXPECT_EQ(caller.ConnectError(), ECONNREFUSED);
    }
    {
        SCOPED_TRACE("a silent caller is told goodbye");
        ASSERT_TRUE(board.Start({"--idle", "1"}));
        TelnetClient caller;
        ASSERT_TRUE(caller.Connect(board.Port()));
        Play(caller, {{kGraphicsPrompt, nullptr}, {kGoodbye, nullptr}});
        std::string rest;
        EXPECT_TRUE(caller.WaitClosed(rest));
    }
}

TEST_F(BoardTest, OnAPseudoTerminalEachOpeningOfTheLineIsACall) {
    ASSERT_TRUE(board.StartPty());
    int calls = 0;
    for (const char* user : {"demo", "visitor"}) {
        SCOPED_TRACE(user);
        QTemporaryDir folder;
        TelnetClient caller;
        ASSERT_TRUE(caller.OpenLine(board.LinePath()));
        const bool a = std::string(user) == "visitor";
        Play(caller, Download(a ? LoginA(user, "welcome") : LoginB(user, "demo"), "SAMPLE.BIN"));
        EXPECT_EQ(caller.ReceiveFile(folder.path().toStdString()).status, 0);
        EXPECT_TRUE(SameBytes(ReadFile(folder.filePath("SAMPLE.BIN").toStdString()), ReadFile(board.AreaPath("SAMPLE.BIN"))));
        Play(caller, {{kMainMenuPrompt, nullptr}});
        // The caller hangs up; once the board has seen it, the next opening starts afresh.
        caller.CloseLine();
        EXPECT_TRUE(board.WaitForLog("caller closed the line", calls++));
    }
    const std::string log = board.Log();
    EXPECT_NE(log.find("call 2: logged in as visitor"), std::string::npos) << log;
}

}  // namespace
}  // namespace zorv::bbs::test
