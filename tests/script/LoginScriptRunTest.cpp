// The two login dialogues the main window writes, run against a BBS that answers their
// prompts, in virtual time.
#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <fstream>
#include <string>
#include <vector>

#include "modem/LineWait.h"
#include "script/ResultCodes.h"
#include "script/ScriptRun.h"
#include "tests/support/FakeComm.h"
#include "tests/support/TestWorld.h"

namespace zorv::test {
namespace {

const char* const kUser = "JOHN";
const char* const kPassword = "SECRET";
const char* const kFile = "ZORVNEWS.ZIP";

std::string Quoted(const std::string& text) { return "SEND \"" + text + "^M\""; }

// The login script as the main window writes it, line by line.
std::vector<std::string> LoginScript(bool passwordAsLastName) {
    std::vector<std::string> head = {"TIMEOUT  60", "ON_TIMEOUT_GOTO :TIMEOUT", "'Graphics prompt", "WAITFOR \"?\"",
                                     "PAUSE 3", "'Do not want graphics", "SEND \"n^M\"", "'First Name",
                                     "WAITFOR \"?\"", "PAUSE 3", Quoted(kUser), "'Last Name", "WAITFOR \"?\"",
                                     "PAUSE 3"};
    std::vector<std::string> middle;
    if (passwordAsLastName) {
        middle = {"'Send Password as Last Name", Quoted(kPassword), "'Register or continue", "WAITFOR \"?\"",
                  "PAUSE 3", "SEND \"C^M\"", "'Register as new user", "WAITFOR \"?\"", "PAUSE 3", "SEND \"N^M\"",
                  "'Messages", "WAITFOR \"?\""};
    } else {
        middle = {"'Do not use last name", "SEND \"^M\"", "'Password", "WAITFOR \"?\"", "PAUSE 3", Quoted(kPassword),
                  "'Messages", "WAITFOR \"Scan Message Base Since 'Last read' (Enter)=yes?\""};
    }
    const std::vector<std::string> tail = {"PAUSE 3", "SEND \"n^M\"", "'Main prompt", "WAITFOR \"?\"", "PAUSE 3",
                                           "'Send download", "SEND \"D^M\"", "WAITFOR \"?\"", "PAUSE 3",
                                           "'Send file name", Quoted(kFile), "'Protocol", "WAITFOR \"?\"", "PAUSE 3",
                                           "SEND \"Z^M\"", "PROTOCOL \"ZMODEM\"", "DOWNLOAD", ":TIMEOUT", "END"};
    std::vector<std::string> lines = head;
    lines.insert(lines.end(), middle.begin(), middle.end());
    lines.insert(lines.end(), tail.begin(), tail.end());
    return lines;
}

struct LoginCase {
    const char* name;
    bool passwordAsLastName;
    std::vector<std::string> bbsReplies;  // one per line the script sends, in order
    int lineNo;
    std::vector<std::string> downloads;
};

TEST(LoginScriptRun, BothDialoguesAgainstTheBbs) {
    const std::vector<std::string> replyB = {"\r\nFirst name?", "\r\nLast name?", "\r\nPassword?",
                                             "\r\nScan Message Base Since 'Last read' (Enter)=yes?",
                                             "\r\nMain menu: command?", "\r\nFile name?",
                                             "\r\nProtocol (Z)modem?"};
    std::vector<std::string> wrongB = replyB;
    wrongB[3] = "\r\nInvalid password!\r\nPassword?";
    const std::vector<LoginCase> cases = {
        {"variant A", true,
         {"\r\nFirst name?", "\r\nLast name?", "\r\n[C]ontinue or [R]egister?", "\r\nRegister as a new user?",
          "\r\nScan new messages?", "\r\nMain menu: command?", "\r\nFile name?", "\r\nProtocol (Z)modem?"},
         0,
         {""}},
        {"variant B", false, replyB, 0, {""}},
        {"variant B, password refused", false, wrongB, 22, {}},
    };
    for (const LoginCase& c : cases) {
        SCOPED_TRACE(c.name);
        TestWorld world;
        FakeComm bbs(world.pump);
        bbs.SetPortOpen(true);
        bbs.SetCarrier(true);
        CancelRequested = 0;
        WaitCarryOver.clear();
        for (const std::string& reply : c.bbsReplies) bbs.QueueReply(reply, 0.5);
        bbs.onDownload = [&](const std::string&) {
            bbs.ReportXferStatusAfter(1, XFER_WAITING);
            bbs.ReportXferStatusAfter(30, XFER_IDLE);
        };
        bbs.DeliverAfter(2, "Welcome to ZORV!\r\nDo you want graphics (Y/N)?");

        QTemporaryDir dir;
        const std::string path = dir.filePath("ZORVBBS.SCR").toStdString();
        const std::vector<std::string> lines = LoginScript(c.passwordAsLastName);
        {
            std::ofstream out(path, std::ios::binary);
            for (const std::string& line : lines) out << line << "\r\n";
        }
        int lineNo = -1;
        std::string lineText;
        ScriptRun(bbs, path, lineNo, lineText);

        EXPECT_EQ(GETRESULT(), RC_SCRIPT_COMPLETED);
        EXPECT_EQ(lineNo, c.lineNo);
        EXPECT_EQ(lineText, c.lineNo == 0 ? "" : lines[c.lineNo - 1]);
        EXPECT_EQ(bbs.downloads(), c.downloads);
        if (!c.downloads.empty()) {
            EXPECT_EQ(bbs.XferProtocol(), XFER_ZMODEM);
            EXPECT_NE(bbs.sent().find(std::string(kFile) + "\rZ\r"), std::string::npos) << bbs.sent();
        }
        const std::string login = c.passwordAsLastName ? std::string("n\r") + kUser + "\r" + kPassword + "\r"
                                                       : std::string("n\r") + kUser + "\r\r" + kPassword + "\r";
        EXPECT_EQ(bbs.sent().substr(0, login.size()), login);
    }
}

}  // namespace
}  // namespace zorv::test
