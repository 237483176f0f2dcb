// zorvmodems --init, the whole initialization a host program runs, as a program: the
// stored port set-up and modem of a control, the network modem on its port, the init
// command answered.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QProcess>
#include <QTemporaryDir>
#include <cstdlib>
#include <fstream>
#include <string>

namespace zorv {
namespace {

struct InitRun {
    int exitCode = -1;
    std::string out;
};

InitRun RunInit(const std::string& initString) {
    QTemporaryDir config;
    std::ofstream(config.filePath("zorvmodems.INI").toStdString(), std::ios::binary)
        << "[Ports]\r\n9=net\r\n"
           "[Port_Line1]\r\nSettings=19200,N,8,1\r\nDTREnable=True\r\nRTSEnable=True\r\n"
           "Handshaking=0\r\nComm Port=9\r\n"
           "[Modem_Line1]\r\nModemNumber=3\r\nModemName=Bench Modem\r\nInitString="
        << initString << "\r\n";
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    process.setProcessEnvironment(env);
    process.start(QString::fromStdString(std::string(std::getenv("ZORV_BIN_DIR")) + "/zorvmodems"),
                  {"--init", "--tag", "Line1", "--config", config.path()});
    InitRun run;
    if (!process.waitForFinished(60000)) return run;
    run.exitCode = process.exitCode();
    run.out = process.readAllStandardOutput().toStdString();
    return run;
}

TEST(ZorvmodemsInit, NetworkModemAnswersTheInitCommand) {
    const char* bin = std::getenv("ZORV_BIN_DIR");
    if (!bin || ::access((std::string(bin) + "/zorvmodems").c_str(), X_OK) != 0)
        GTEST_SKIP() << "zorvmodems is not built";
    struct Case {
        const char* initString;
        int exitCode;
        std::string out;
    } cases[] = {
        {"ATZ^MATE0^M", 0, "Online: Bench Modem\n"},
        // Refused twice: the modem is not ready and the program says so.
        {"ATJ9^M", 1, "not ready: Initializing Modem...\n"},
    };
    for (const auto& c : cases) {
        InitRun run = RunInit(c.initString);
        SCOPED_TRACE(c.initString);
        EXPECT_EQ(run.exitCode, c.exitCode);
        EXPECT_EQ(run.out, c.out);
    }
}

}  // namespace
}  // namespace zorv
