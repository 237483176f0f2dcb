// The login script written before each download, byte for byte.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "app/LoginScript.h"

namespace zorv {
namespace {

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// A user name with a double quote and a file name with blanks go in unchanged.
LoginScriptInput Input(bool passwordAsLastName, const std::string& timeOutBox = "60") {
    return {"JO\"E", "s3cr3t", "MY FILE.ZIP", passwordAsLastName, timeOutBox};
}

const char* const kVariantA =
    "TIMEOUT  60\r\n"
    "ON_TIMEOUT_GOTO :TIMEOUT\r\n"
    "'Graphics prompt\r\n"
    "WAITFOR \"?\"\r\n"
    "PAUSE 3\r\n"
    "'Do not want graphics\r\n"
    "SEND \"n^M\"\r\n"
    "'First Name\r\n"
    "WAITFOR \"?\"\r\n"
    "PAUSE 3\r\n"
    "SEND \"JO\"E^M\"\r\n"
    "'Last Name\r\n"
    "WAITFOR \"?\"\r\n"
    "PAUSE 3\r\n"
    "'Send Password as Last Name\r\n"
    "SEND \"s3cr3t^M\"\r\n"
    "'Register or continue\r\n"
    "WAITFOR \"?\"\r\n"
    "PAUSE 3\r\n"
    "SEND \"C^M\"\r\n"
    "'Register as new user\r\n"
    "WAITFOR \"?\"\r\n"
    "PAUSE 3\r\n"
    "SEND \"N^M\"\r\n"
    "'Messages\r\n"
    "WAITFOR \"?\"\r\n"
    "PAUSE 3\r\n"
    "SEND \"n^M\"\r\n"
    "'Main prompt\r\n"
    "WAITFOR \"?\"\r\n"
    "PAUSE 3\r\n"
    "'Send download\r\n"
    "SEND \"D^M\"\r\n"
    "WAITFOR \"?\"\r\n"
    "PAUSE 3\r\n"
    "'Send file name\r\n"
    "SEND \"MY FILE.ZIP^M\"\r\n"
    "'Protocol\r\n"
    "WAITFOR \"?\"\r\n"
    "PAUSE 3\r\n"
    "SEND \"Z^M\"\r\n"
    "PROTOCOL \"ZMODEM\"\r\n"
    "DOWNLOAD\r\n"
    ":TIMEOUT\r\n"
    "END\r\n";

const char* const kVariantB =
    "TIMEOUT  60\r\n"
    "ON_TIMEOUT_GOTO :TIMEOUT\r\n"
    "'Graphics prompt\r\n"
    "WAITFOR \"?\"\r\n"
    "PAUSE 3\r\n"
    "'Do not want graphics\r\n"
    "SEND \"n^M\"\r\n"
    "'First Name\r\n"
    "WAITFOR \"?\"\r\n"
    "PAUSE 3\r\n"
    "SEND \"JO\"E^M\"\r\n"
    "'Last Name\r\n"
    "WAITFOR \"?\"\r\n"
    "PAUSE 3\r\n"
    "'Do not use last name\r\n"
    "SEND \"^M\"\r\n"
    "'Password\r\n"
    "WAITFOR \"?\"\r\n"
    "PAUSE 3\r\n"
    "SEND \"s3cr3t^M\"\r\n"
    "'Messages\r\n"
    "WAITFOR \"Scan Message Base Since 'Last read' (Enter)=yes?\"\r\n"
    "PAUSE 3\r\n"
    "SEND \"n^M\"\r\n"
    "'Main prompt\r\n"
    "WAITFOR \"?\"\r\n"
    "PAUSE 3\r\n"
    "'Send download\r\n"
    "SEND \"D^M\"\r\n"
    "WAITFOR \"?\"\r\n"
    "PAUSE 3\r\n"
    "'Send file name\r\n"
    "SEND \"MY FILE.ZIP^M\"\r\n"
    "'Protocol\r\n"
    "WAITFOR \"?\"\r\n"
    "PAUSE 3\r\n"
    "SEND \"Z^M\"\r\n"
    "PROTOCOL \"ZMODEM\"\r\n"
    "DOWNLOAD\r\n"
    ":TIMEOUT\r\n"
    "END\r\n";

TEST(LoginScript, BothVariantsByteForByte) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const std::string path = dir.filePath("ZORVBBS.SCR").toStdString();
    struct Case {
        bool passwordAsLastName;
        const char* expected;
    };
    for (const Case& c : {Case{true, kVariantA}, Case{false, kVariantB}}) {
        SCOPED_TRACE(c.passwordAsLastName ? "password as last name" : "password prompt");
        // A longer earlier file must leave no tail behind.
        std::ofstream(path, std::ios::binary) << std::string(5000, 'x');
        std::string timeoutText = "unset";
        EXPECT_TRUE(WriteLoginScript(Input(c.passwordAsLastName), timeoutText, path));
        EXPECT_EQ(timeoutText, " 60");
        EXPECT_EQ(ReadAll(path), c.expected);
        EXPECT_TRUE(WriteLoginScript(Input(c.passwordAsLastName), timeoutText, path));
        EXPECT_EQ(ReadAll(path), c.expected);
    }
}

TEST(LoginScript, TimeoutClamp) {
    struct Case {
        std::string box;
        std::string text;
    };
    const std::vector<Case> cases = {
        {"60", " 60"},   {"0", " 60"},    {"-5", " 60"},    {"abc", " 60"},  {"", " 60"},
        {"250", " 200"}, {"200", " 200"}, {"12.5", " 12"},  {"13.5", " 14"}, {"99999", " 200"},
        {"1", " 1"},     {"0.4", " 60"},  {" 4 5s", " 45"}, {"1e308", " 200"}, {std::string(100000, '9'), " 200"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(LoginTimeoutText(c.box), c.text) << c.box.substr(0, 20);
        const std::string script = LoginScriptText(Input(false, c.box), LoginTimeoutText(c.box));
        EXPECT_EQ(script.substr(0, script.find("\r\n")), "TIMEOUT " + c.text);
    }
}

TEST(LoginScript, ANewScriptIsForItsOwnerOnly) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const std::string path = dir.filePath("ZORVBBS.SCR").toStdString();
    std::string timeoutText;
    ASSERT_TRUE(WriteLoginScript(Input(false), timeoutText, path));
    struct stat info {};
    ASSERT_EQ(::stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);  // it holds the password
}

TEST(LoginScript, FailedWriteKeepsTheEarlierScript) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    std::string timeoutText;
    // A folder that does not exist: nothing can be written, TimeoutText is set all the same.
    EXPECT_FALSE(WriteLoginScript(Input(false, "30"), timeoutText, dir.filePath("missing/ZORVBBS.SCR").toStdString()));
    EXPECT_EQ(timeoutText, " 30");
    // A folder in the place of the file: the folder stays as it is.
    const std::string blocked = dir.filePath("ZORVBBS.SCR").toStdString();
    ASSERT_TRUE(QDir(dir.path()).mkdir("ZORVBBS.SCR"));
    EXPECT_FALSE(WriteLoginScript(Input(false, "30"), timeoutText, blocked));
    EXPECT_TRUE(QFileInfo(QString::fromStdString(blocked)).isDir());
}

}  // namespace
}  // namespace zorv
