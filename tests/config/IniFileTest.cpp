#include <QTemporaryDir>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <optional>
#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include "config/IniFile.h"
#include "config/IniKeys.h"

using namespace std::string_literals;

namespace zorv {
namespace {

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteRaw(const std::string& path, const std::string& content) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << content;
}

std::vector<std::string> FolderEntries(const std::string& dir) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) names.push_back(entry.path().filename());
    return names;
}

class IniFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        SetIniDirectory(dir.path().toStdString());
    }
    void TearDown() override { SetIniDirectory(""); }

    QTemporaryDir dir;
};

TEST(IniFileName, IsTheExecutableNameCutAtItsFirstDot) {
    struct Case { const char* executable; const char* expected; };
    const Case cases[] = {
        {"zorvdial", "zorvdial.INI"},
        {"ZORVDial.exe", "ZORVDial.INI"},
        {"zorv.dial.bin", "zorv.INI"},
        {"zorvdial.", "zorvdial.INI"},
        {".hidden", ".INI"},
    };
    for (const Case& c : cases) EXPECT_EQ(IniFileNameOf(c.executable), c.expected) << c.executable;
    EXPECT_EQ(INIFILENAME(), "test_config.INI");  // this test program's own name
}

TEST(IniFileName, DirectoryFollowsTheUsersConfigurationFolder) {
    SetIniDirectory("");
    struct SavedVariable {
        const char* name;
        std::optional<std::string> value;
        explicit SavedVariable(const char* n) : name(n) {
            if (const char* v = std::getenv(n)) value = v;
        }
        ~SavedVariable() {
            if (value) setenv(name, value->c_str(), 1); else unsetenv(name);
        }
    } home("HOME"), config("XDG_CONFIG_HOME");
    setenv("HOME", "/home/someone", 1);
    struct Case { const char* xdg; const char* expected; };
    const Case cases[] = {
        {"/somewhere/config", "/somewhere/config/zorvdial"},
        {"relative/ignored", "/home/someone/.config/zorvdial"},
        {"", "/home/someone/.config/zorvdial"},
        {nullptr, "/home/someone/.config/zorvdial"},
    };
    for (const Case& c : cases) {
        if (c.xdg) setenv("XDG_CONFIG_HOME", c.xdg, 1); else unsetenv("XDG_CONFIG_HOME");
        EXPECT_EQ(IniDirectory(), c.expected) << (c.xdg ? c.xdg : "(unset)");
    }
    setenv("XDG_CONFIG_HOME", "/somewhere/config", 1);
    EXPECT_EQ(IniFilePath(), "/somewhere/config/zorvdial/test_config.INI");
}

TEST_F(IniFileTest, MissingFileSectionOrKeyReadEmpty) {
    EXPECT_EQ(ReadIniKey("Modem_", "ModemNumber", 9), "");
    EXPECT_TRUE(ReadIniSection("Modem_").empty());
    ASSERT_TRUE(WriteIniKey("Port_A", "Settings", "9600,N,8,1"));
    EXPECT_EQ(ReadIniKey("Port_B", "Settings", 19), "");
    EXPECT_EQ(ReadIniKey("Port_A", "DTREnable", 4), "");
}

TEST_F(IniFileTest, WriteCreatesFolderFileSectionAndKey) {
    SetIniDirectory(dir.path().toStdString() + "/not/yet/there");
    ASSERT_TRUE(WriteIniKey("Modem_", "ModemNumber", "12"));
    ASSERT_TRUE(WriteIniKey("Port_", "Comm Port", "2"));
    EXPECT_EQ(ReadAll(IniFilePath()), "[Modem_]\nModemNumber=12\n[Port_]\nComm Port=2\n");
}

TEST_F(IniFileTest, ReadsCutToLimitWithBlanksRemoved) {
    WriteRaw(IniFilePath(),
             "[Port_]\n"
             "Settings=  9600,N,8,1,and,more,text,here  \n"
             "Comm Port=1234\n"
             "Empty=\n"
             "Handshaking=\t2 \n");
    struct Case { const char* key; int limit; const char* expected; };
    const Case cases[] = {
        {"Settings", 19, "9600,N,8,1,and,more"},
        {"Comm Port", 3, "123"},
        {"Comm Port", 0, ""},
        {"Empty", 10, ""},
        {"Handshaking", 2, "2"},
        {"Settings", 1000, "9600,N,8,1,and,more,text,here"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ReadIniKey("Port_", c.key, c.limit), c.expected) << c.key << " limit " << c.limit;
}

TEST_F(IniFileTest, NamesIgnoreLetterCaseValuesKeepIt) {
    WriteRaw(IniFilePath(), "[modem_COM1]\r\nmodemname=Fast Modem\r\n");
    EXPECT_EQ(ReadIniKey("MODEM_com1", "ModemName", 127), "Fast Modem");
    ASSERT_TRUE(WriteIniKey("Modem_Com1", "MODEMNAME", "Slow Modem"));
    EXPECT_EQ(ReadIniKey("modem_com1", "modemname", 127), "Slow Modem");
    // One key, replaced in place; the file's own line ends are kept.
    EXPECT_EQ(ReadAll(IniFilePath()), "[modem_COM1]\r\nMODEMNAME=Slow Modem\r\n");
}

TEST_F(IniFileTest, FirstSectionAndFirstKeyOfANameCount) {
    WriteRaw(IniFilePath(), "[S]\nK=one\nK=two\n[S]\nK=three\n");
    EXPECT_EQ(ReadIniKey("S", "K", 10), "one");
    ASSERT_TRUE(WriteIniKey("S", "K", "new"));
    EXPECT_EQ(ReadAll(IniFilePath()), "[S]\nK=new\nK=two\n[S]\nK=three\n");
}

TEST_F(IniFileTest, RewriteKeepsEveryOtherLine) {
    const std::string before =
        "; settings of the dialer\n"
        "[Modem_]\n"
        "ModemNumber=12\n"
        "Busy=BUSY\n"
        "\n"
        "[Port_]\n"
        "Settings=2400,N,8,1\n"
        "stray line without equals";
    WriteRaw(IniFilePath(), before);
    ASSERT_TRUE(WriteIniKey("Modem_", "Dial", "ATDP"));
    ASSERT_TRUE(WriteIniKey("Port_", "Comm Port", "2"));
    ASSERT_TRUE(WriteIniKey("Modem_", "ModemNumber", "13"));
    EXPECT_EQ(ReadAll(IniFilePath()),
              "; settings of the dialer\n"
              "[Modem_]\n"
              "ModemNumber=13\n"
              "Busy=BUSY\n"
              "Dial=ATDP\n"
              "\n"
              "[Port_]\n"
              "Settings=2400,N,8,1\n"
              "stray line without equals\n"
              "Comm Port=2\n");
    const auto modem = ReadIniSection("modem_");
    ASSERT_EQ(modem.size(), 3u);
    EXPECT_EQ(modem[0], (std::pair<std::string, std::string>{"ModemNumber", "13"}));
    EXPECT_EQ(modem[2], (std::pair<std::string, std::string>{"Dial", "ATDP"}));
}

TEST_F(IniFileTest, ValuesAndNamesTheFormatCannotHold) {
    // A value is one line: a line break would smuggle a key of its own into the file.
    ASSERT_TRUE(WriteIniKey("Modem_", "InitString", "ATZ^M\r\nModemNumber=99"));
    EXPECT_EQ(ReadIniKey("Modem_", "InitString", 127), "ATZ^M");
    EXPECT_EQ(ReadIniKey("Modem_", "ModemNumber", 9), "");
    const std::string before = ReadAll(IniFilePath());
    struct Case { std::string section, key; };
    const Case refused[] = {{"Modem_]x", "Dial"}, {"Modem_\nX", "Dial"}, {"Modem_", ""},
                            {"Modem_", "A=B"},    {"Modem_", "[Dial"},   {"Modem_", "Di\nal"}};
    for (const Case& c : refused) EXPECT_FALSE(WriteIniKey(c.section, c.key, "x")) << c.section << "/" << c.key;
    EXPECT_EQ(ReadAll(IniFilePath()), before);
}

TEST_F(IniFileTest, ValueLongerThanAnyLimitRoundTrips) {
    const std::string longValue(5000, 'A');
    ASSERT_TRUE(WriteIniKey("Modem_", "InitString", longValue));
    EXPECT_EQ(ReadIniKey("Modem_", "InitString", ini::kInitString.readLimit), std::string(127, 'A'));
    EXPECT_EQ(ReadIniKey("Modem_", "InitString", 100000), longValue);
}

TEST_F(IniFileTest, FileThatIsNotTextNeverCrashesAndKeepsItsBytes) {
    std::string junk;
    for (int i = 0; i < 4096; ++i) junk += static_cast<char>((i * 7919) & 0xFF);
    junk += "\n[S]\nK=\x01\x02\0\xFFv"s;
    WriteRaw(IniFilePath(), junk);
    EXPECT_EQ(ReadIniKey("Modem_", "ModemNumber", 9), "");
    EXPECT_EQ(ReadIniKey("S", "K", 3), std::string("\x01\x02\0", 3));
    ASSERT_TRUE(WriteIniKey("Modem_", "ModemNumber", "7"));
    EXPECT_EQ(ReadIniKey("Modem_", "ModemNumber", 9), "7");
    const std::string after = ReadAll(IniFilePath());
    EXPECT_EQ(after.substr(0, junk.size()), junk);
}

TEST_F(IniFileTest, OversizedFileIsReadInPartAndNeverRewritten) {
    std::string big = "[S]\nK=v\n" + std::string(kMaxIniFileSize, '#');
    WriteRaw(IniFilePath(), big);
    EXPECT_EQ(ReadIniKey("S", "K", 9), "v");
    EXPECT_FALSE(WriteIniKey("S", "K", "w"));
    EXPECT_EQ(ReadAll(IniFilePath()), big);
}

TEST_F(IniFileTest, RewriteLeavesNoTemporaryFileBehind) {
    for (int i = 0; i < 5; ++i) ASSERT_TRUE(WriteIniKey("S", "K" + std::to_string(i), "v"));
    EXPECT_EQ(FolderEntries(dir.path().toStdString()), std::vector<std::string>{INIFILENAME()});
}

TEST_F(IniFileTest, FailedWriteIsReportedAndLeavesTheFileWhole) {
    if (::geteuid() == 0) GTEST_SKIP() << "root writes into read-only folders";
    ASSERT_TRUE(WriteIniKey("Modem_", "ModemNumber", "12"));
    const std::string before = ReadAll(IniFilePath());
    ASSERT_EQ(::chmod(dir.path().toLocal8Bit().constData(), 0555), 0);
    EXPECT_FALSE(WriteIniKey("Modem_", "ModemNumber", "13"));
    EXPECT_FALSE(WriteIniKey("Port_", "Comm Port", "1"));
    ::chmod(dir.path().toLocal8Bit().constData(), 0755);
    EXPECT_EQ(ReadAll(IniFilePath()), before);
    EXPECT_EQ(FolderEntries(dir.path().toStdString()), std::vector<std::string>{INIFILENAME()});
}

// A file size limit makes the write fail the way a full disk does, for every user.
TEST_F(IniFileTest, WriteThatRunsOutOfSpaceKeepsTheOldFile) {
    const std::string before = "[Modem_]\nModemNumber=12\n";
    WriteRaw(IniFilePath(), before);
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = 64;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    const bool written = WriteIniKey("Modem_", "InitString", std::string(100, 'Z'));
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_FALSE(written);
    EXPECT_EQ(ReadAll(IniFilePath()), before);
    EXPECT_EQ(FolderEntries(dir.path().toStdString()), std::vector<std::string>{INIFILENAME()});
}

TEST_F(IniFileTest, FolderThatCannotBeMadeFailsTheWrite) {
    WriteRaw(dir.path().toStdString() + "/plainfile", "x");
    SetIniDirectory(dir.path().toStdString() + "/plainfile/zorvdial");
    EXPECT_FALSE(WriteIniKey("S", "K", "v"));
    EXPECT_EQ(ReadIniKey("S", "K", 9), "");
}

TEST_F(IniFileTest, UnreadableFileIsNeitherReadNorReplaced) {
    if (::geteuid() == 0) GTEST_SKIP() << "root reads everything";
    WriteRaw(IniFilePath(), "[S]\nK=secret\n");
    ASSERT_EQ(::chmod(IniFilePath().c_str(), 0200), 0);
    EXPECT_EQ(ReadIniKey("S", "K", 9), "");
    EXPECT_FALSE(WriteIniKey("S", "Other", "x"));
    ::chmod(IniFilePath().c_str(), 0600);
    EXPECT_EQ(ReadAll(IniFilePath()), "[S]\nK=secret\n");
}

TEST_F(IniFileTest, SymbolicLinkStaysAndItsTargetIsUpdated) {
    const std::string target = dir.path().toStdString() + "/real.ini";
    WriteRaw(target, "[S]\nK=old\n");
    std::filesystem::create_symlink(target, IniFilePath());
    ASSERT_TRUE(WriteIniKey("S", "K", "new"));
    EXPECT_TRUE(std::filesystem::is_symlink(IniFilePath()));
    EXPECT_EQ(ReadAll(target), "[S]\nK=new\n");
}

}  // namespace
}  // namespace zorv
