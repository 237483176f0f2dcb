// The transfer dialog driven offscreen, and the ASCII send in virtual time.
#include "transfer/TVXfer.h"

#include <gtest/gtest.h>

#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <fstream>
#include <functional>

#include "modem/LineWait.h"
#include "script/LibraryState.h"
#include "script/ResultCodes.h"
#include "script/StatusText.h"
#include "tests/support/FakeComm.h"
#include "tests/support/ScriptedFileDialog.h"
#include "tests/support/TestWorld.h"
#include "transfer/AsciiSend.h"
#include "util/QtText.h"

namespace zorv::test {
namespace {

class TVXferTest : public ::testing::Test {
protected:
    TVXferTest() : comm(world.pump) {
        comm.SetPortOpen(true);
        comm.SetCarrier(true);
        SETRESULT(RC_NONE);
        CancelRequested = 0;
        TransferFileName.clear();
    }

    template <typename T>
    T* Find(const char* name) {
        T* widget = dialog.findChild<T*>(name);
        EXPECT_NE(widget, nullptr) << name;
        return widget;
    }
    QPushButton* Ok() { return Find<QPushButton>("CmdOkCancel(0)"); }
    QPushButton* Cancel() { return Find<QPushButton>("CmdOkCancel(1)"); }
    QLineEdit* FileName() { return Find<QLineEdit>("TxtFilename"); }
    QComboBox* Protocols() { return Find<QComboBox>("CmbProtocol"); }
    std::string Path() { return FromQString(Find<QLabel>("LblPath")->text()); }

    // Runs `act` once the modal dialog is up; a dialog still open afterwards is
    // cancelled, so no test can hang on it.
    void WhenShown(std::function<void()> act) {
        QTimer::singleShot(0, &dialog, [this, act] {
            ASSERT_TRUE(dialog.isVisible());
            act();
            stillOpenAfterAct = dialog.isVisible();
            if (stillOpenAfterAct) Cancel()->click();
        });
    }

    std::vector<std::string> BoxTexts() const {
        std::vector<std::string> texts;
        for (const auto& box : world.ui.boxes) texts.push_back(box.text);
        return texts;
    }

    TestWorld world;
    FakeComm comm;
    TVXfer dialog;
    ScriptedFileDialog files;
    QTemporaryDir dir;
    bool stillOpenAfterAct = false;
};

TEST_F(TVXferTest, DownloadCases) {
    struct Case {
        const char* name;
        int protocol;            // the control's XferProtocol before
        int choose;              // entry picked in the dialog, -1 keeps it
        std::string typed;
        bool fileControlsEnabled;
        std::vector<std::string> downloads;
        std::vector<std::string> boxes;
        bool stillOpen;
    };
    const std::vector<Case> cases = {
        {"Zmodem needs no name", XFER_ZMODEM, -1, "", false, {""}, {}, false},
        {"Xmodem-CRC without a name is refused", XFER_XMODEM_CRC, -1, "", true, {}, {"You must enter a filename!"}, true},
        {"Xmodem-CRC with a name", XFER_XMODEM_CRC, -1, "NEWS.TXT", true, {"NEWS.TXT"}, {}, false},
        {"ASCII asks for capture", XFER_XMODEM_CRC, 8, "NEWS.TXT", true, {}, {"To download an ASCII file, turn capture on"},
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakeComm line(world.pump);
        line.SetPortOpen(true);
        line.SetXferProtocol(c.protocol);
        world.ui.boxes.clear();
        bool enabled = false;
        WhenShown([&] {
            if (c.choose >= 0) Protocols()->setCurrentIndex(c.choose);
            enabled = FileName()->isEnabled();
            FileName()->setText(ToQString(c.typed));
            Ok()->click();
        });
        dialog.Download(line);
        EXPECT_EQ(dialog.windowTitle(), "Receive File");
        EXPECT_EQ(enabled, c.fileControlsEnabled);
        EXPECT_EQ(line.downloads(), c.downloads);
        EXPECT_EQ(BoxTexts(), c.boxes);
        EXPECT_EQ(stillOpenAfterAct, c.stillOpen);
        if (!c.downloads.empty()) EXPECT_EQ(line.XferStatusDialog(), 1);
    }
}

TEST_F(TVXferTest, UploadPrefixesTheFolderShown) {
    std::string down = dir.filePath("DL").toStdString();
    std::string up = dir.filePath("UP").toStdString();
    QDir().mkdir(dir.filePath("DL"));
    QDir().mkdir(dir.filePath("UP"));
    dialog.TVSetTransferDirs(down, up);
    EXPECT_EQ(up, dir.filePath("UP").toStdString() + "/");
    EXPECT_TRUE(world.ui.boxes.empty());

    struct Case {
        std::string typed;
        std::vector<std::string> uploads;
    };
    const std::string folder = dir.filePath("UP").toStdString();
    const std::vector<Case> cases = {
        {"A.ZIP B.ZIP", {folder + "/A.ZIP", folder + "/B.ZIP"}},
        {"/abs/X.ZIP", {"/abs/X.ZIP"}},
    };
    for (const Case& c : cases) {
        FakeComm line(world.pump);
        line.SetPortOpen(true);
        std::string shown;
        WhenShown([&] {
            shown = Path();
            Protocols()->setCurrentIndex(XFER_YMODEM_BATCH);
            FileName()->setText(ToQString(c.typed));
            Ok()->click();
        });
        dialog.Upload(line);
        EXPECT_EQ(shown, folder);
        EXPECT_EQ(line.uploads(), c.uploads) << c.typed;
        EXPECT_EQ(line.XferProtocol(), XFER_YMODEM_BATCH);
    }

    // A later download shows the download folder.
    std::string shown;
    WhenShown([&] { shown = Path(); });
    dialog.Download(comm);
    EXPECT_EQ(shown, dir.filePath("DL").toStdString());
}

TEST_F(TVXferTest, BrowseTakesFolderAndNames) {
    std::string down = dir.path().toStdString();
    std::string up = down;
    dialog.TVSetTransferDirs(down, up);
    files.answers.push_back(FileDialogAnswer{"/data/up A.ZIP B.ZIP", 4096 + 512});
    WhenShown([&] {
        Protocols()->setCurrentIndex(XFER_ZMODEM);
        Find<QPushButton>("CmdBrowse")->click();
        Ok()->click();
    });
    dialog.Upload(comm);
    ASSERT_EQ(files.requests.size(), 1u);
    const FileDialogRequest& asked = files.requests[0];
    EXPECT_EQ(asked.title, "Send File");
    EXPECT_EQ(asked.filter, "PKWare Zip Files|*.ZIP|All Files|*.*||");
    EXPECT_EQ(asked.flags, 4096 + 512);
    EXPECT_EQ(asked.initialFolder, up);
    EXPECT_EQ(comm.uploads(), (std::vector<std::string>{"/data/up/A.ZIP", "/data/up/B.ZIP"}));
    EXPECT_EQ(dialog.currentFolder(), "/data/up");

    // One file in the root folder, the ".*" of an "All Files" pick dropped.
    files.answers.push_back(FileDialogAnswer{"/NEWS.TXT.*", 0});
    WhenShown([&] {
        Protocols()->setCurrentIndex(XFER_XMODEM_CRC);
        Find<QPushButton>("CmdBrowse")->click();
        Ok()->click();
    });
    dialog.Download(comm);
    EXPECT_EQ(files.requests.back().title, "Receive File");
    EXPECT_EQ(files.requests.back().flags, 0);
    EXPECT_EQ(comm.downloads(), std::vector<std::string>{"NEWS.TXT"});
    EXPECT_EQ(dialog.currentFolder(), "/");
}

TEST_F(TVXferTest, UnknownTransferTypeLeavesOnlyCancel) {
    TV_TransferType = 0;
    CurrentCommControl = &comm;
    bool okEnabled = true, cancelEnabled = false, nameEnabled = true, listEnabled = true;
    WhenShown([&] {
        okEnabled = Ok()->isEnabled();
        cancelEnabled = Cancel()->isEnabled();
        nameEnabled = FileName()->isEnabled();
        listEnabled = Protocols()->isEnabled();
        Cancel()->click();
    });
    dialog.exec();
    EXPECT_EQ(dialog.windowTitle(), "Unknown Transfer Type");
    EXPECT_FALSE(okEnabled);
    EXPECT_TRUE(cancelEnabled);
    EXPECT_FALSE(nameEnabled);
    EXPECT_FALSE(listEnabled);
    EXPECT_FALSE(DialogAccepted);
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{"Error! You must set TV_TransferType\r\nto a valid value before loading "
                                                   "this\r\nform! (See 'File transfer constants'\r\nin TELVANE.)"});
}

TEST_F(TVXferTest, SetProtocolOnly) {
    comm.SetXferProtocol(XFER_ZMODEM);
    WhenShown([&] {
        Protocols()->setCurrentIndex(8);
        Ok()->click();
    });
    EXPECT_TRUE(dialog.TVSetProtocol(comm));
    EXPECT_EQ(comm.XferProtocol(), XFER_ZMODEM);
    EXPECT_EQ(dialog.windowTitle(), "Set Protocol");

    WhenShown([&] {
        Protocols()->setCurrentIndex(XFER_KERMIT);
        Ok()->click();
    });
    EXPECT_FALSE(dialog.TVSetProtocol(comm));
    EXPECT_EQ(comm.XferProtocol(), XFER_KERMIT);

    WhenShown([&] {
        Protocols()->setCurrentIndex(XFER_XMODEM_1K);
        Cancel()->click();
    });
    EXPECT_FALSE(dialog.TVSetProtocol(comm));
    EXPECT_EQ(comm.XferProtocol(), XFER_KERMIT);
}

TEST_F(TVXferTest, TransferFoldersAreCheckedAndMade) {
    const std::string base = dir.path().toStdString();
    std::ofstream(base + "/AFILE") << "x";
    std::string missing = base + "/NEW";
    std::string tooDeep = base + "/NO/DEEPER";
    dialog.TVSetTransferDirs(missing, tooDeep);
    EXPECT_EQ(missing, base + "/NEW/");
    EXPECT_TRUE(QDir(QString::fromStdString(base + "/NEW")).exists());
    std::string file = base + "/AFILE";
    std::string existing = base + "/NEW/";
    dialog.TVSetTransferDirs(file, existing);
    EXPECT_EQ(BoxTexts(), (std::vector<std::string>{
                              base + "/NEW/\nwill be created",
                              "Path not found! Can only create a directory one level deep.",
                              base + "/AFILE\r\n\r\nA file by this name exists. Cannot use it as a transfer directory.",
                          }));
    EXPECT_EQ(world.ui.boxes[0].icon, MsgIcon::Warning);
}

TEST_F(TVXferTest, AsciiSendOutcomes) {
    const std::string base = dir.path().toStdString();
    std::ofstream(base + "/three.txt", std::ios::binary) << "one\r\ntwo\nthree";
    std::ofstream(base + "/blank-end.txt", std::ios::binary) << "one\r\n\r\n";
    struct Case {
        const char* name;
        std::string file;
        std::function<void(FakeComm&)> setup;
        bool cdFlag;
        int result;
        std::string sent;
    };
    const std::vector<Case> cases = {
        {"three lines", base + "/three.txt", [](FakeComm&) {}, false, RC_FILE_SENT, "one\r\ntwo\r\nthree\r\n"},
        {"an empty last line is not sent", base + "/blank-end.txt", [](FakeComm&) {}, false, RC_FILE_SENT, "one\r\n"},
        {"missing file", base + "/none.txt", [](FakeComm&) {}, false, RC_FILE_NOT_FOUND, ""},
        {"a folder is no file", base, [](FakeComm&) {}, false, RC_FILE_NOT_FOUND, ""},
        {"port closed", base + "/three.txt", [](FakeComm& c) { c.SetPortOpen(false); }, false, RC_PORT_NOT_OPEN, ""},
        {"carrier gone", base + "/three.txt", [](FakeComm& c) { c.SetCarrier(false); }, true, RC_CARRIER_LOST, ""},
        {"cancelled", base + "/three.txt", [](FakeComm&) { CancelRequested = 1; }, false, RC_CANCELED, ""},
    };
    std::vector<std::string> statuses;
    SetStatusHook([&](const std::string& message) { statuses.push_back(message); });
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakeComm line(world.pump);
        line.SetPortOpen(true);
        line.SetCarrier(true);
        c.setup(line);
        statuses.clear();
        dialog.AsciiSend(line, c.file, c.cdFlag);
        EXPECT_EQ(GETRESULT(), c.result);
        EXPECT_EQ(line.sent(), c.sent);
        EXPECT_EQ(CancelRequested, 0);
        if (c.result == RC_CANCELED) EXPECT_EQ(statuses, std::vector<std::string>{"Ascii Send Aborted"});
    }
    SetStatusHook(nullptr);
}

}  // namespace
}  // namespace zorv::test
