// The download run of the main window in virtual time: the telephony control's call
// states, the login script run against a BBS played by FakeComm, and the transfer
// notifications.
#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "app/ZORVDialerForm.h"
#include "modem/CommControl.h"
#include "modem/Telephony.h"
#include "tests/support/FakeComm.h"
#include "tests/support/FakeTelephony.h"
#include "tests/support/TestWorld.h"

namespace zorv::test {
namespace {

class DownloadRunTest : public ::testing::Test {
protected:
    DownloadRunTest() : comm(world.pump), form(telephony, &comm) {
        // The login script is written into the current folder.
        previousDir = QDir::currentPath();
        QDir::setCurrent(folder.path());
        QObject::connect(&form, &ZORVDialerForm::StatusChanged,
                         [this](const QString& text) { statuses.push_back(text.toStdString()); });
    }
    ~DownloadRunTest() override { QDir::setCurrent(previousDir); }

    void Load(const char* arguments = "alice secret FILES.ZIP") {
        ASSERT_TRUE(form.Load(arguments));
        statuses.clear();
        telephony.calls.clear();
    }

    void Click(const char* name) { form.findChild<QPushButton*>(name)->click(); }
    bool Enabled(const char* name) { return form.findChild<QWidget*>(name)->isEnabled(); }

    // The call comes up: the line is open with carrier, then the states arrive.
    void Connect() {
        comm.SetPortOpen(true);
        comm.SetCarrier(true);
        telephony.RaiseCallState(CALLSTATE_DIALTONE);
        telephony.RaiseCallState(CALLSTATE_DIALING);
        telephony.RaiseCallState(CALLSTATE_CONNECTED);
    }

    // The BBS of the usual login dialogue: each answer the script sends is met by the
    // next prompt. With a wrong password the password prompt comes again.
    void PlayBbs(bool passwordAccepted) {
        comm.DeliverAfter(1, "Welcome to ZORV\r\nDo you want ANSI graphics?");
        for (const char* prompt : {"First Name?", "Last Name?", "Password?"}) comm.QueueReply(prompt, 0.5);
        if (!passwordAccepted) {
            comm.QueueReply("Wrong password.\r\nPassword?", 0.5);
            return;
        }
        for (const char* prompt : {"Scan Message Base Since 'Last read' (Enter)=yes?", "Main Menu [D]ownload?",
                                   "File name?", "Protocol [Z]modem?"})
            comm.QueueReply(prompt, 0.5);
    }

    TestWorld world;
    QTemporaryDir folder;
    QString previousDir;
    FakeTelephony telephony;
    FakeComm comm;
    ZORVDialerForm form;
    std::vector<std::string> statuses;
};

TEST_F(DownloadRunTest, ABusyLineReportsEachStateAndGivesTheInputsBack) {
    Load();
    Click("DownLoad");
    EXPECT_EQ(telephony.calls, (std::vector<std::string>{"ChooseDevice:Network Modem",
                                                         "ChooseLocation:Default Location", "CallUp",
                                                         "PlaceCall:555-9678"}));
    EXPECT_FALSE(Enabled("DownLoad"));
    EXPECT_FALSE(Enabled("cmdCancel"));
    telephony.RaiseCallState(CALLSTATE_DIALTONE);
    telephony.RaiseCallState(CALLSTATE_DIALING);
    EXPECT_TRUE(Enabled("cmdCancel"));
    EXPECT_FALSE(Enabled("ModemList"));
    telephony.RaiseCallState(CALLSTATE_BUSY);
    EXPECT_EQ(statuses, (std::vector<std::string>{"Dialtone detected", "Dialing...", "ZORV is busy"}));
    for (const char* name : {"ModemList", "LocationList", "TimeOut", "DownLoad", "cmdCancel"})
        EXPECT_TRUE(Enabled(name)) << name;
}

TEST_F(DownloadRunTest, DownloadWithACallUpDropsItBeforeDialing) {
    Load();
    telephony.callUp = true;
    Click("DownLoad");
    EXPECT_EQ(telephony.calls, (std::vector<std::string>{"ChooseDevice:Network Modem",
                                                         "ChooseLocation:Default Location", "CallUp", "DropCall",
                                                         "PlaceCall:555-9678"}));
    // The old call's end does not give the inputs back during the new one.
    EXPECT_FALSE(Enabled("DownLoad"));
    EXPECT_FALSE(Enabled("ModemList"));
}

TEST_F(DownloadRunTest, ADeviceInUseIsToldAndTheInputsComeBack) {
    Load();
    telephony.placeCallError = 1002;
    Click("DownLoad");
    EXPECT_EQ(form.statusText(), "The device is in use");
    ASSERT_EQ(world.ui.boxes.size(), 1u);
    EXPECT_EQ(world.ui.boxes[0].text, "The device is in use, please free the line and try again");
    EXPECT_TRUE(Enabled("DownLoad"));
}

TEST_F(DownloadRunTest, AnyOtherFailureToDialIsShownOnTheStatusLine) {
    Load();
    telephony.placeCallError = 1003;
    Click("DownLoad");
    EXPECT_EQ(form.statusText(), "The call could not be placed");
    EXPECT_TRUE(world.ui.boxes.empty());
    EXPECT_TRUE(Enabled("DownLoad"));
}

TEST_F(DownloadRunTest, ASuccessfulLoginAndTransferEndTheProgram) {
    Load();
    PlayBbs(true);
    comm.onDownload = [this](const std::string&) {
        double at = 0.1;
        for (int status : {XFER_WAITING, XFER_NEGOTIATING, XFER_FINISHING, XFER_FILE_DONE, XFER_IDLE})
            comm.ReportXferStatusAfter(at += 0.5, status);
    };
    Click("DownLoad");
    Connect();

    EXPECT_EQ(comm.sent(), "n\ralice\r\rsecret\rn\rD\rFILES.ZIP\rZ\r");
    EXPECT_EQ(comm.downloads(), std::vector<std::string>{""});
    EXPECT_EQ(comm.XferProtocol(), XFER_ZMODEM);
    const std::vector<std::string> expected{"Dialtone detected",
                                            "Dialing...",
                                            "Connected to ZORV: downloading file FILES.ZIP",
                                            "Waiting for ZORV to start Transfer",
                                            "Transferring File",
                                            "Transferring File",
                                            "File Transferred successfully",
                                            "File Transferred successfully"};
    EXPECT_EQ(statuses, expected);
    EXPECT_EQ(world.endStatuses.front(), ZORVDialerForm::kExitTransferred);
    EXPECT_EQ(comm.XferStatusDialog(), 0);
}

TEST_F(DownloadRunTest, AWrongPasswordEndsTheProgramWithTheLoginMessage) {
    Load();
    PlayBbs(false);
    Click("DownLoad");
    Connect();
    ASSERT_EQ(world.ui.boxes.size(), 1u);
    EXPECT_EQ(world.ui.boxes[0].text, "Please check your User Name and Password and try again.");
    EXPECT_EQ(world.endStatuses, std::vector<int>{ZORVDialerForm::kExitLoginRejected});
}

TEST_F(DownloadRunTest, NoGraphicsPromptTimesOutQuietlyAndGivesTheInputsBack) {
    Load();
    form.findChild<QLineEdit*>("TimeOut")->setText("5");
    Click("DownLoad");
    Connect();  // the BBS says nothing: the wait in line 4 times out
    EXPECT_TRUE(world.ui.boxes.empty());
    EXPECT_FALSE(world.programEnded());
    EXPECT_TRUE(Enabled("DownLoad"));
    EXPECT_EQ(form.statusText(), "Connected to ZORV: downloading file FILES.ZIP");
}

// The call ends while its login script still waits: the inputs stay greyed (and the
// test button places no call) until the script has returned.
TEST_F(DownloadRunTest, AnEndedCallGivesTheInputsBackOnlyOnceItsScriptReturned) {
    Load();
    form.findChild<QLineEdit*>("TimeOut")->setText("5");
    Click("DownLoad");
    bool greyedWhileUnwinding = false;
    world.pump.After(1, [&] {
        telephony.RaiseCallState(CALLSTATE_DISCONNECTED);
        greyedWhileUnwinding = !Enabled("DownLoad");
        telephony.calls.clear();
        Click("cmdTest");
    });
    Connect();  // the BBS stays silent: the script's wait runs on to its time-out
    EXPECT_TRUE(greyedWhileUnwinding);
    EXPECT_TRUE(telephony.calls.empty());
    EXPECT_TRUE(Enabled("DownLoad"));
}

TEST_F(DownloadRunTest, TransferNotificationsMoveTheStatusLine) {
    Load();
    comm.SetPortOpen(true);
    const struct {
        int status;
        const char* text;
    } rows[] = {
        {XFER_FAILED, "Transfer Error"},         {XFER_WAITING, "Waiting for ZORV to start Transfer"},
        {XFER_TRANSFERRING, "Transferring File"}, {XFER_ABORT, "Aborted file transfer"},
        {XFER_FILE_DONE, "File Transferred successfully"}, {XFER_CARRIER_LOST, "Lost Carrier, transfer Failed"},
        {XFER_TIMED_OUT, "Timed out - Try again"},
    };
    for (const auto& row : rows) {
        form.SetInputsEnabled(false);
        comm.ReportXferStatus(row.status);
        EXPECT_EQ(form.statusText(), row.text) << row.status;
        const bool inputsBack = row.status == XFER_FAILED || row.status == XFER_CARRIER_LOST;
        EXPECT_EQ(Enabled("DownLoad"), inputsBack) << row.status;
    }
    // A time-out aborts the transfer.
    EXPECT_EQ(comm.writes().back(), "XferStatus=6");
    // An unknown status leaves the line as it was.
    comm.ReportXferStatus(42);
    EXPECT_EQ(form.statusText(), "Timed out - Try again");
    EXPECT_FALSE(world.programEnded());
}

TEST_F(DownloadRunTest, TheSenderStartingOnItsOwnStartsTheReceive) {
    Load();
    comm.SetPortOpen(true);
    comm.RaiseEvent(COMM_EV_ZMODEM_START);
    EXPECT_EQ(form.statusText(), "Receiving file");
    EXPECT_EQ(comm.XferStatusDialog(), 2);
    EXPECT_EQ(comm.XferProtocol(), XFER_ZMODEM);
    EXPECT_EQ(comm.downloads(), std::vector<std::string>{""});
}

TEST_F(DownloadRunTest, CarrierDropClosesTheProgressWindowAndDropsTheCall) {
    Load();
    comm.SetPortOpen(true);
    comm.SetXferStatusDialog(2);
    telephony.callUp = true;
    telephony.calls.clear();
    comm.RaiseEvent(COMM_EV_CARRIER_DROP);
    EXPECT_EQ(comm.XferStatusDialog(), 0);
    EXPECT_EQ(telephony.calls, (std::vector<std::string>{"CallUp", "DropCall"}));
}

TEST_F(DownloadRunTest, CancelDropsTheCallAndEndsTheProgram) {
    Load();
    telephony.callUp = true;
    Click("cmdCancel");
    EXPECT_FALSE(telephony.callUp);
    EXPECT_EQ(world.endStatuses, std::vector<int>{ZORVDialerForm::kExitCancelled});
}

TEST_F(DownloadRunTest, TestButtonRewritesTheScriptThenDials) {
    Load();
    Click("cmdTest");
    EXPECT_TRUE(QFile::exists(folder.filePath("ZORVBBS.SCR")));
    EXPECT_EQ(statuses.front(), "Waiting to Download: FILES.ZIP");
    EXPECT_EQ(telephony.calls.back(), "PlaceCall:555-9678");
}

}  // namespace
}  // namespace zorv::test
