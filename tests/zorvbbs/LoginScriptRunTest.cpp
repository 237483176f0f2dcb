// zorvscript running the login scripts the program writes, through the network modem,
// against the board: the outcomes the main window reads from a run, headless.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <memory>

#include "app/LoginScript.h"
#include "tests/zorvbbs/BbsTestKit.h"

namespace zorv::bbs::test {
namespace {

// One zorvscript run in a folder of its own, which is where the file lands.
struct ScriptRun {
    QTemporaryDir folder;
    QProcess process;
    std::string out;

    // The generated script, with its first comment line (before any wait) dialling the
    // board, so every line keeps its number.
    void Start(const LoginScriptInput& input, int boardPort) {
        QDir(folder.path()).mkpath("config/zorvdial");
        WriteFile(folder.filePath("config/zorvdial/zorvscript.INI").toStdString(),
                  "[PhoneBook]\r\n5559678=127.0.0.1:" + std::to_string(boardPort) + ",telnet\r\n");
        std::string script = LoginScriptText(input, LoginTimeoutText(input.timeOutBox));
        const std::string comment = "'Graphics prompt\r\n";
        const size_t at = script.find(comment);
        ASSERT_NE(at, std::string::npos);
        script.replace(at, comment.size(), "DIAL \"555-9678\"\r\n");
        WriteFile(folder.filePath(kLoginScriptFile).toStdString(), script);

        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_CONFIG_HOME", folder.filePath("config"));
        process.setProcessEnvironment(env);
        process.setWorkingDirectory(folder.path());
        process.start(QString::fromStdString(BinPath("zorvscript")), {"--port", "9", kLoginScriptFile});
    }
    // Exit status, -1 when it did not end within the limit (it is then killed).
    int Finish(int seconds = 120) {
        const bool ended = process.waitForFinished(seconds * 1000);
        if (!ended) {
            process.kill();
            process.waitForFinished(5000);
        }
        out = process.readAllStandardOutput().toStdString();
        return ended ? process.exitCode() : -1;
    }
    std::string File(const std::string& name) const { return ReadFile(folder.filePath(QString::fromStdString(name)).toStdString()); }
    bool Exists(const std::string& name) const { return ::access(folder.filePath(QString::fromStdString(name)).toLocal8Bit().constData(), F_OK) == 0; }
};

LoginScriptInput Input(const char* user, const char* password, bool passwordAsLastName) {
    LoginScriptInput input;
    input.userName = user;
    input.userPassword = password;
    input.downloadFile = "SAMPLE.BIN";
    input.passwordAsLastName = passwordAsLastName;
    input.timeOutBox = "10";
    return input;
}

TEST(LoginScriptRun, BothDialoguesAndARejectedLogin) {
    if (BinPath("zorvbbs").empty() || BinPath("zorvscript").empty()) GTEST_SKIP() << "zorvbbs or zorvscript is not built";
    Board board;
    WriteFile(board.AreaPath("SAMPLE.BIN"), SampleBytes(200000, 3));
    const std::string original = ReadFile(board.AreaPath("SAMPLE.BIN"));
    ASSERT_TRUE(board.Start());

    struct Case {
        const char* name;
        LoginScriptInput input;
        int exitCode;
        std::string lastLines;   // the end of zorvscript's output
        bool fileArrives;
    };
    const std::string clean = "RESULT 5100 Script Completed\nLINENO 0\nLINETEXT \n";
    const std::vector<Case> cases = {
        {"dialogue B", Input("demo", "demo", false), 0, clean, true},
        {"dialogue A", Input("visitor", "welcome", true), 0, clean, true},
        // The main window reads a time-out at line 22 as a rejected login.
        {"wrong password", Input("demo", "nomatch", false), 1,
         "LINENO 22\nLINETEXT WAITFOR \"Scan Message Base Since 'Last read' (Enter)=yes?\"\n", false},
    };
    // The runs go at once: each has its own network modem, the board takes them all.
    std::vector<std::unique_ptr<ScriptRun>> runs;
    for (const Case& c : cases) {
        runs.push_back(std::make_unique<ScriptRun>());
        runs.back()->Start(c.input, board.Port());
    }
    for (size_t i = 0; i < cases.size(); ++i) {
        const Case& c = cases[i];
        ScriptRun& run = *runs[i];
        SCOPED_TRACE(c.name);
        EXPECT_EQ(run.Finish(), c.exitCode) << run.out;
        ASSERT_GE(run.out.size(), c.lastLines.size()) << run.out;
        EXPECT_EQ(run.out.substr(run.out.size() - c.lastLines.size()), c.lastLines);
        EXPECT_EQ(run.Exists("SAMPLE.BIN"), c.fileArrives);
        if (c.fileArrives) EXPECT_TRUE(SameBytes(run.File("SAMPLE.BIN"), original));
    }
    EXPECT_NE(board.Log().find("wrong password for demo (1)"), std::string::npos) << board.Log();
}

// After the line drops the transfer ends with status 8; the script goes on from there.
TEST(LoginScriptRun, ABoardHangingUpMidTransferLeavesAPartialFileTheNextRunCompletes) {
    if (BinPath("zorvbbs").empty() || BinPath("zorvscript").empty()) GTEST_SKIP() << "zorvbbs or zorvscript is not built";
    Board board;
    WriteFile(board.AreaPath("SAMPLE.BIN"), SampleBytes(200000, 3));
    const std::string original = ReadFile(board.AreaPath("SAMPLE.BIN"));
    ASSERT_TRUE(board.Start({"--drop-after", "60000"}));

    // The transfer's failure is not a script failure: the run goes on to its end.
    ScriptRun run;
    run.Start(Input("demo", "demo", false), board.Port());
    EXPECT_EQ(run.Finish(), 0) << run.out;
    EXPECT_FALSE(run.Exists("SAMPLE.BIN")) << "a cut transfer must not look complete";
    const std::string partial = run.File("SAMPLE.BIN.part");
    ASSERT_GT(partial.size(), 0u);
    EXPECT_TRUE(SameBytes(partial, original.substr(0, partial.size())));
    EXPECT_NE(board.Log().find("dropping the line"), std::string::npos) << board.Log();

    // The next run continues the partial copy.
    run.process.start(QString::fromStdString(BinPath("zorvscript")), {"--port", "9", kLoginScriptFile});
    EXPECT_EQ(run.Finish(), 0) << run.out;
    EXPECT_TRUE(SameBytes(run.File("SAMPLE.BIN"), original));
}

}  // namespace
}  // namespace zorv::bbs::test
