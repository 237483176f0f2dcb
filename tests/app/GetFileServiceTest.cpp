// GetFile over a private D-Bus session bus, called by a real D-Bus client (gdbus).
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "app/GetFileService.h"
#include "app/ZORVDialerForm.h"
#include "tests/support/FakeComm.h"
#include "tests/support/FakeTelephony.h"
#include "tests/support/TestWorld.h"

namespace zorv::test {
namespace {

bool PumpUntil(const std::function<bool()>& done, int milliseconds = 10000) {
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > milliseconds) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

class GetFileServiceTest : public ::testing::Test {
protected:
    void SetUp() override {
        daemon.start("dbus-daemon", {"--session", "--nofork", "--print-address=1"});
        ASSERT_TRUE(daemon.waitForStarted(5000)) << "dbus-daemon is not installed";
        ASSERT_TRUE(daemon.waitForReadyRead(5000));
        address = QString::fromLatin1(daemon.readLine()).trimmed();
        bus = std::make_unique<QDBusConnection>(QDBusConnection::connectToBus(address, "getfile-test"));
        ASSERT_TRUE(bus->isConnected());
        previousDir = QDir::currentPath();
        QDir::setCurrent(folder.path());
        ASSERT_TRUE(form.Load("alice secret FILES.ZIP"));
        ASSERT_TRUE(service.Publish(*bus));
    }

    void TearDown() override {
        QDir::setCurrent(previousDir);
        QDBusConnection::disconnectFromBus("getfile-test");
        daemon.terminate();
        daemon.waitForFinished(5000);
    }

    // Starts `gdbus call ... GetFile user password file` and returns the process.
    void CallGetFile(QProcess& client, const QString& user, const QString& password, const QString& file) {
        client.start("gdbus", {"call", "--address", address, "--dest", GetFileService::kService, "--object-path",
                               GetFileService::kObjectPath, "--method",
                               QString(GetFileService::kService) + ".GetFile", user, password, file});
        ASSERT_TRUE(client.waitForStarted(5000)) << "gdbus is not installed";
    }

    QString Script() {
        QFile script(folder.filePath("ZORVBBS.SCR"));
        script.open(QIODevice::ReadOnly);
        return QString::fromLatin1(script.readAll());
    }

    TestWorld world;
    QTemporaryDir folder;
    QString previousDir;
    QProcess daemon;
    QString address;
    std::unique_ptr<QDBusConnection> bus;
    FakeTelephony telephony;
    FakeComm comm{world.pump};
    ZORVDialerForm form{telephony, &comm};
    GetFileService service{form};
};

TEST_F(GetFileServiceTest, ShowsTheWindowAndReturnsWhenItIsHidden) {
    QProcess client;
    CallGetFile(client, "<42>", "<'pw'>", "'NEW.ZIP'");
    ASSERT_TRUE(PumpUntil([&] { return form.isVisible(); }));
    EXPECT_TRUE(form.isModal());
    // Numbers arrive as their decimal text; the script is written for the new values.
    EXPECT_EQ(form.userName(), "42");
    EXPECT_EQ(form.downloadFile(), "NEW.ZIP");
    EXPECT_TRUE(Script().contains("SEND \"42^M\""));
    EXPECT_EQ(client.state(), QProcess::Running);  // still waiting for the window

    form.hide();
    ASSERT_TRUE(PumpUntil([&] { return client.state() == QProcess::NotRunning; }));
    EXPECT_EQ(client.exitCode(), 0) << client.readAllStandardError().toStdString();
    EXPECT_EQ(form.statusText(), "Waiting to Download: NEW.ZIP");
    // The caption belongs to the command line's file.
    EXPECT_EQ(form.windowTitle(), "ZORV BBS Download: FILES.ZIP");
}

TEST_F(GetFileServiceTest, FailsWhileTheWindowIsShowingAfterRewritingTheScript) {
    form.show();
    QProcess client;
    CallGetFile(client, "<'bob'>", "<'pw'>", "'OTHER.ZIP'");
    ASSERT_TRUE(PumpUntil([&] { return client.state() == QProcess::NotRunning; }));
    EXPECT_NE(client.exitCode(), 0);
    EXPECT_TRUE(client.readAllStandardError().contains(GetFileService::kAlreadyShownError));
    EXPECT_TRUE(Script().contains("SEND \"bob^M\""));
    EXPECT_EQ(form.statusText(), "Waiting to download: FILES.ZIP");  // unchanged
}

}  // namespace
}  // namespace zorv::test
