// The port settings dialog driven offscreen, and loading and storing a control's port
// set-up through it, against FakeComm and a temporary INI file.
#include "config/PortSettings.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QTemporaryDir>
#include <QTimer>
#include <deque>
#include <functional>
#include <fstream>

#include "config/IniFile.h"
#include "config/TVPort.h"
#include "script/LibraryState.h"
#include "script/RecordingTrace.h"
#include "script/ResultCodes.h"
#include "tests/support/FakeComm.h"
#include "tests/support/TestWorld.h"
#include "util/QtText.h"

namespace zorv::test {
namespace {

using Section = std::vector<std::pair<std::string, std::string>>;

template <typename T>
T* Find(QWidget& dialog, const char* name) {
    T* widget = dialog.findChild<T*>(name);
    EXPECT_NE(widget, nullptr) << name;
    return widget;
}

void Pick(QWidget& dialog, const char* list, const char* entry) {
    QComboBox* box = Find<QComboBox>(dialog, list);
    const int index = box->findText(QString::fromLatin1(entry));
    ASSERT_GE(index, 0) << list << " has no " << entry;
    box->setCurrentIndex(index);
}

std::string Shown(QWidget& dialog, const char* list) {
    return FromQString(Find<QComboBox>(dialog, list)->currentText());
}

bool Checked(QWidget& dialog, const char* box) { return Find<QCheckBox>(dialog, box)->isChecked(); }

void Click(QWidget& dialog, const char* button) {
    QAbstractButton* widget = Find<QAbstractButton>(dialog, button);
    if (widget) widget->click();
}

// Handles each showing of the modal dialog with the next action of its queue. A dialog
// an action leaves open, or one shown with no action left, is cancelled; in required
// mode the warning is then answered OK, which ends the program and closes it, so no
// test can hang on it.
class DialogDriver {
public:
    explicit DialogDriver(RecordingUi& ui) : ui_(ui) {
        QObject::connect(&timer_, &QTimer::timeout, [this] { Poll(); });
        timer_.start(0);
    }

    std::deque<std::function<void(TVPort&)>> showings;
    std::vector<std::string> captions;
    std::vector<bool> requiredWhenShown;

private:
    void Poll() {
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            auto* dialog = qobject_cast<TVPort*>(widget);
            if (!dialog || !dialog->isVisible() || dialog->property("driven").toBool()) continue;
            dialog->setProperty("driven", true);
            captions.push_back(FromQString(dialog->windowTitle()));
            requiredWhenShown.push_back(SettingsRequired != 0);
            if (!showings.empty() && captions.size() < 10) {
                auto act = std::move(showings.front());
                showings.pop_front();
                act(*dialog);
            }
            if (dialog->isVisible()) Click(*dialog, "CmdCancel");
            if (dialog->isVisible()) {
                ui_.boxAnswers.push_back(MsgAnswer::Ok);
                Click(*dialog, "CmdCancel");
            }
        }
    }

    RecordingUi& ui_;
    QTimer timer_;
};

class PortSettingsTest : public ::testing::Test {
protected:
    PortSettingsTest() : comm(world.pump) {
        SetIniDirectory(dir.path().toStdString());
        comm.SetTag("A");
        CurrentPortSettings = {};
        SettingsRequired = 0;
        RecordingActive = 0;
        TraceList.clear();
        SETRESULT(RC_NONE);
    }
    ~PortSettingsTest() override { SetIniDirectory(""); }

    // What the code under test wrote to the control (the fixture's own set-up left out).
    std::vector<std::string> Writes() const {
        return {comm.writes().begin() + static_cast<long>(setUpWrites), comm.writes().end()};
    }
    void MarkSetUpDone() { setUpWrites = comm.writes().size(); }

    Section PortSection() { return ReadIniSectionIn(IniFilePath(), "Port_A"); }
    void Store(const Section& keys) {
        for (const auto& [key, value] : keys) ASSERT_TRUE(WriteIniKey("Port_A", key, value));
    }
    std::vector<std::string> BoxTexts() const {
        std::vector<std::string> texts;
        for (const RecordedBox& box : world.ui.boxes) texts.push_back(box.text);
        return texts;
    }

    TestWorld world;
    QTemporaryDir dir;
    FakeComm comm;
    DialogDriver driver{world.ui};
    std::size_t setUpWrites = 0;
};

// --- the dialog's handlers ---

TEST_F(PortSettingsTest, PicksInTheListsGoIntoTheRecord) {
    TVPort dialog;
    EXPECT_EQ(dialog.windowTitle(), "Communication Settings");
    for (const char* list : {"CmbComPort", "CmbBaudRate", "CmbDataBits", "CmbParity", "CmbStopBits"})
        EXPECT_EQ(Find<QComboBox>(dialog, list)->currentIndex(), -1) << list;

    Pick(dialog, "CmbComPort", "16");
    Pick(dialog, "CmbBaudRate", "115200");
    Pick(dialog, "CmbDataBits", "7");
    Pick(dialog, "CmbStopBits", "1.5");
    for (const auto& [entry, letter] : {std::pair{"Space", "S"}, {"Mark", "M"}, {"Even", "E"}, {"Odd", "O"}, {"None", "N"}}) {
        Pick(dialog, "CmbParity", entry);
        EXPECT_EQ(CurrentPortSettings.Parity, letter) << entry;
    }
    EXPECT_EQ(CurrentPortSettings.CommPort, 16);
    EXPECT_EQ(CurrentPortSettings.Baud, "115200");
    EXPECT_EQ(CurrentPortSettings.DataBits, "7");
    EXPECT_EQ(CurrentPortSettings.StopBits, "1.5");
}

TEST_F(PortSettingsTest, FlowControlBoxesMakeTheHandshakingAndHardwareHoldsRtsHigh) {
    struct Case {
        bool software;
        bool hardware;
        int handshaking;
    };
    for (const Case& c : {Case{true, true, 3}, Case{true, false, 1}, Case{false, true, 2}, Case{false, false, 0}}) {
        SCOPED_TRACE(std::to_string(c.handshaking));
        TVPort dialog;
        CurrentPortSettings = {};
        if (c.software) Click(dialog, "ChkHandshakingSoftware");
        if (c.hardware) Click(dialog, "ChkHandshakingHardware");
        EXPECT_EQ(CurrentPortSettings.Handshaking, c.handshaking);
        QCheckBox* rts = Find<QCheckBox>(dialog, "ChkRTSEnable");
        EXPECT_EQ(rts->isChecked(), c.hardware);
        EXPECT_EQ(rts->isEnabled(), !c.hardware);
        EXPECT_EQ(CurrentPortSettings.RTSEnable, c.hardware ? -1 : 0);
    }

    TVPort dialog;
    CurrentPortSettings = {};
    Click(dialog, "ChkHandshakingHardware");
    Click(dialog, "ChkHandshakingHardware");
    QCheckBox* rts = Find<QCheckBox>(dialog, "ChkRTSEnable");
    EXPECT_TRUE(rts->isEnabled());
    EXPECT_TRUE(rts->isChecked());
    EXPECT_EQ(CurrentPortSettings.RTSEnable, -1);
    Click(dialog, "ChkRTSEnable");
    Click(dialog, "ChkDTREnable");
    EXPECT_EQ(CurrentPortSettings.RTSEnable, 0);
    EXPECT_EQ(CurrentPortSettings.DTREnable, -1);
    EXPECT_EQ(CurrentPortSettings.Handshaking, 0);
}

TEST_F(PortSettingsTest, PresetShowsTheControlAndTakesValidFieldsTheListsLack) {
    struct Case {
        int port;
        const char* settings;
        bool dtr, rts;
        int handshaking;
        // shown ("" = no selection)
        const char* port_, * baud, * dataBits, * parity, * stopBits;
        bool software, hardware, rtsBox, rtsUsable;
        // record
        const char* recordBaud, * recordDataBits;
        int recordRts;
    };
    const Case cases[] = {
        {3, "19200,E,7,1.5", true, false, 0, "3", "19200", "7", "Even", "1.5", false, false, false, true, "19200", "7", 0},
        {20, "14400,o,8,2", false, false, 3, "", "", "8", "Odd", "2", true, true, true, false, "14400", "8", -1},
        {1, "1200,S,4,1", false, true, 2, "1", "1200", "", "Space", "1", false, true, true, false, "1200", "4", -1},
        {16, "300,M,5,1", true, true, 1, "16", "300", "5", "Mark", "1", true, false, true, true, "300", "5", -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.settings);
        FakeComm line(world.pump);
        line.SetCommPort(c.port);
        line.SetSettings(c.settings);
        line.SetDTREnable(c.dtr);
        line.SetRTSEnable(c.rts);
        line.SetHandshaking(c.handshaking);
        CurrentPortSettings = {};
        TVPort dialog;
        dialog.PresetFrom(line);
        EXPECT_EQ(Shown(dialog, "CmbComPort"), c.port_);
        EXPECT_EQ(Shown(dialog, "CmbBaudRate"), c.baud);
        EXPECT_EQ(Shown(dialog, "CmbDataBits"), c.dataBits);
        EXPECT_EQ(Shown(dialog, "CmbParity"), c.parity);
        EXPECT_EQ(Shown(dialog, "CmbStopBits"), c.stopBits);
        EXPECT_EQ(Checked(dialog, "ChkDTREnable"), c.dtr);
        EXPECT_EQ(Checked(dialog, "ChkHandshakingSoftware"), c.software);
        EXPECT_EQ(Checked(dialog, "ChkHandshakingHardware"), c.hardware);
        EXPECT_EQ(Checked(dialog, "ChkRTSEnable"), c.rtsBox);
        EXPECT_EQ(Find<QCheckBox>(dialog, "ChkRTSEnable")->isEnabled(), c.rtsUsable);
        EXPECT_EQ(CurrentPortSettings.CommPort, c.port);
        EXPECT_EQ(CurrentPortSettings.Baud, c.recordBaud);
        EXPECT_EQ(CurrentPortSettings.DataBits, c.recordDataBits);
        EXPECT_EQ(CurrentPortSettings.RTSEnable, c.recordRts);
        EXPECT_EQ(CurrentPortSettings.Handshaking, c.handshaking);
        EXPECT_EQ(CurrentPortSettings.DTREnable, c.dtr ? -1 : 0);
    }
}

// --- SetPortSettings ---

TEST_F(PortSettingsTest, ConfirmingAppliesOpensAndStoresWithTheCommPortLast) {
    comm.SetCommPort(1);
    comm.SetSettings("2400,N,8,1");
    RecordingActive = -1;
    driver.showings.push_back([](TVPort& dialog) {
        Pick(dialog, "CmbComPort", "4");
        Pick(dialog, "CmbBaudRate", "57600");
        Pick(dialog, "CmbParity", "Even");
        Pick(dialog, "CmbDataBits", "7");
        Pick(dialog, "CmbStopBits", "2");
        Click(dialog, "ChkHandshakingHardware");
        Click(dialog, "CmdOK");
    });
    SetPortSettings(comm);

    EXPECT_EQ(driver.captions, std::vector<std::string>{"A Setup"});
    EXPECT_TRUE(DialogAccepted);
    EXPECT_TRUE(comm.PortOpen());
    EXPECT_EQ(comm.CommPort(), 4);
    EXPECT_EQ(comm.Settings(), "57600,E,7,2");
    EXPECT_TRUE(comm.RTSEnable());
    EXPECT_EQ(comm.Handshaking(), 2);
    EXPECT_EQ(comm.InputLen(), 0);
    EXPECT_EQ(comm.Interval(), 55);
    const Section expected = {{"Settings", "57600,E,7,2"}, {"DTREnable", "0"}, {"RTSEnable", "-1"},
                              {"Handshaking", "2"},        {"Comm Port", "4"}};
    EXPECT_EQ(PortSection(), expected);
    ASSERT_EQ(TraceList.size(), 2u);
    EXPECT_EQ(TraceList[0].tag + " " + TraceList[0].text, "PORT 4");
    EXPECT_EQ(TraceList[1].tag + " " + TraceList[1].text, "SETTINGS 57600,E,7,2");
    EXPECT_FALSE(world.ui.waitPointer);
}

TEST_F(PortSettingsTest, ARateTheListLacksIsKeptWhenNothingElseIsPicked) {
    comm.SetSettings("14400,N,8,1");
    driver.showings.push_back([](TVPort& dialog) {
        EXPECT_EQ(Shown(dialog, "CmbBaudRate"), "");
        Click(dialog, "CmdOK");
    });
    SetPortSettings(comm);
    EXPECT_EQ(comm.Settings(), "14400,N,8,1");
    EXPECT_EQ(ReadIniKey("Port_A", "Settings", 19), "14400,N,8,1");
}

TEST_F(PortSettingsTest, CancelAppliesAndStoresNothingWhileTheCloseBoxConfirms) {
    comm.SetSettings("2400,N,8,1");
    MarkSetUpDone();
    driver.showings.push_back([](TVPort& dialog) {
        Pick(dialog, "CmbBaudRate", "9600");
        Click(dialog, "CmdCancel");
    });
    SetPortSettings(comm);
    EXPECT_FALSE(DialogAccepted);
    EXPECT_TRUE(Writes().empty());
    EXPECT_FALSE(comm.PortOpen());
    EXPECT_TRUE(PortSection().empty());

    driver.showings.push_back([](TVPort& dialog) {
        Pick(dialog, "CmbBaudRate", "9600");
        dialog.close();
    });
    SetPortSettings(comm);
    EXPECT_TRUE(DialogAccepted);
    EXPECT_EQ(comm.Settings(), "9600,N,8,1");
    EXPECT_TRUE(comm.PortOpen());
    EXPECT_EQ(ReadIniKey("Port_A", "Comm Port", 3), "1");
}

TEST_F(PortSettingsTest, APortThatDoesNotOpenIsToldAndTheDialogComesBackWithWhatWasApplied) {
    WriteIniKey("Port_A", "Comm Port", "1");
    comm.RefuseOpen(true);
    driver.showings.push_back([](TVPort& dialog) {
        Pick(dialog, "CmbComPort", "7");
        Pick(dialog, "CmbBaudRate", "38400");
        Click(dialog, "CmdOK");
    });
    driver.showings.push_back([this](TVPort& dialog) {
        EXPECT_EQ(Shown(dialog, "CmbComPort"), "7");
        EXPECT_EQ(Shown(dialog, "CmbBaudRate"), "38400");
        // Everything but the port is stored already; the port keeps its old value.
        EXPECT_EQ(ReadIniKey("Port_A", "Settings", 19), "38400,N,8,1");
        EXPECT_EQ(ReadIniKey("Port_A", "Comm Port", 3), "1");
        comm.RefuseOpen(false);
        Click(dialog, "CmdOK");
    });
    SetPortSettings(comm);
    EXPECT_EQ(driver.captions.size(), 2u);
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{"Device unavailable"});
    EXPECT_TRUE(comm.PortOpen());
    EXPECT_EQ(ReadIniKey("Port_A", "Comm Port", 3), "7");
}

TEST_F(PortSettingsTest, ValuesTheControlRefusesAndAnUnstorableFileAreTold) {
    // 1.5 stop bits with 8 data bits: a valid settings string no line can take.
    comm.RefuseSettings([](const std::string& s) { return s == "9600,N,8,1.5"; });
    driver.showings.push_back([](TVPort& dialog) {
        Pick(dialog, "CmbStopBits", "1.5");
        Click(dialog, "CmdOK");
    });
    driver.showings.push_back([](TVPort& dialog) {
        Pick(dialog, "CmbStopBits", "1");
        Click(dialog, "CmdOK");
    });
    // The INI folder cannot be made: a plain file stands where it should be.
    const std::string blocker = dir.filePath("blocker").toStdString();
    std::ofstream(blocker) << "x";
    SetIniDirectory(blocker + "/sub");
    SetPortSettings(comm);

    EXPECT_EQ(driver.captions.size(), 2u);
    EXPECT_EQ(comm.Settings(), "9600,N,8,1");
    EXPECT_TRUE(comm.PortOpen());
    const std::vector<std::string> expected = {"Invalid property value",
                                               "The port settings could not be stored in " + IniFilePath() + "."};
    EXPECT_EQ(BoxTexts(), expected);
}

TEST_F(PortSettingsTest, ConfirmingFieldsTheStringCannotHoldIsToldNotHandedOn) {
    comm.SetSettings("garbage");
    driver.showings.push_back([](TVPort& dialog) { Click(dialog, "CmdOK"); });
    driver.showings.push_back([](TVPort& dialog) {
        Pick(dialog, "CmbBaudRate", "2400");
        Pick(dialog, "CmbParity", "None");
        Pick(dialog, "CmbDataBits", "8");
        Pick(dialog, "CmbStopBits", "1");
        Click(dialog, "CmdOK");
    });
    SetPortSettings(comm);
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{
                              "The port settings are incomplete: choose a baud rate, data bits, parity and stop bits."});
    EXPECT_EQ(comm.Settings(), "2400,N,8,1");
}

// --- LoadPortSettings ---

const Section kComplete = {{"Settings", "19200,E,7,1"}, {"DTREnable", "0"}, {"RTSEnable", "-1"},
                           {"Handshaking", "1"},        {"Comm Port", "2"}};

TEST_F(PortSettingsTest, ACompleteSectionIsAppliedAndTheOpenStateKept) {
    for (bool open : {true, false}) {
        SCOPED_TRACE(open ? "open" : "closed");
        FakeComm line(world.pump);
        line.SetTag("A");
        if (open) line.SetPortOpen(true);
        Store(kComplete);
        const std::size_t before = line.writes().size();
        LoadPortSettings(line);
        EXPECT_EQ(driver.captions.size(), 0u);
        std::vector<std::string> expected = {"CommPort=2", "Settings=19200,E,7,1", "DTREnable=False",
                                             "RTSEnable=True", "Handshaking=1"};
        if (open) {
            expected.insert(expected.begin(), "PortOpen=False");
            expected.push_back("PortOpen=True");
        }
        EXPECT_EQ(std::vector<std::string>(line.writes().begin() + static_cast<long>(before), line.writes().end()),
                  expected);
        EXPECT_EQ(line.PortOpen(), open);
        EXPECT_EQ(line.CommPort(), 2);
        EXPECT_EQ(line.Settings(), "19200,E,7,1");
        EXPECT_EQ(GETRESULT(), RC_NONE);
    }
}

TEST_F(PortSettingsTest, StoredValueForms) {
    struct Case {
        const char* key;
        const char* stored;
        std::function<bool(FakeComm&)> holds;
    };
    const Case cases[] = {
        {"Comm Port", "1234", [](FakeComm& c) { return c.CommPort() == 123; }},
        {"Comm Port", "5x", [](FakeComm& c) { return c.CommPort() == 5; }},
        {"Settings", "  2400,n,8,1  ", [](FakeComm& c) { return c.Settings() == "2400,n,8,1"; }},
        {"DTREnable", "True", [](FakeComm& c) { return c.DTREnable(); }},
        {"DTREnable", "-1", [](FakeComm& c) { return c.DTREnable(); }},
        {"DTREnable", "1", [](FakeComm& c) { return !c.DTREnable(); }},
        {"DTREnable", "true", [](FakeComm& c) { return !c.DTREnable(); }},
        {"DTREnable", "TRUE", [](FakeComm& c) { return !c.DTREnable(); }},
        {"RTSEnable", "True", [](FakeComm& c) { return c.RTSEnable(); }},
        {"RTSEnable", "0", [](FakeComm& c) { return !c.RTSEnable(); }},
        {"Handshaking", " 3 ", [](FakeComm& c) { return c.Handshaking() == 3; }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.key) + "=" + c.stored);
        Store(kComplete);
        Store({{c.key, c.stored}});
        FakeComm line(world.pump);
        line.SetTag("A");
        line.SetDTREnable(true);
        LoadPortSettings(line);
        EXPECT_TRUE(c.holds(line));
        EXPECT_EQ(driver.captions.size(), 0u);
    }
}

TEST_F(PortSettingsTest, AnIncompleteOrUnusableSetUpAsksAtOnceInRequiredMode) {
    struct Case {
        const char* name;
        Section stored;
        std::function<void(FakeComm&)> prepare;
        std::vector<std::string> appliedBeforeAsking;  // the control's writes
    };
    const std::vector<Case> cases = {
        {"only Settings", {{"Settings", "9600,N,8,1"}}, nullptr, {"PortOpen=False"}},
        {"all but Comm Port",
         {{"Settings", "9600,N,8,1"}, {"DTREnable", "-1"}, {"RTSEnable", "-1"}, {"Handshaking", "0"}},
         nullptr,
         {"PortOpen=False"}},
        {"empty Handshaking",
         {{"Comm Port", "3"}, {"Settings", "9600,N,8,1"}, {"DTREnable", "-1"}, {"RTSEnable", "0"}, {"Handshaking", ""}},
         nullptr,
         {"PortOpen=False", "CommPort=3", "Settings=9600,N,8,1", "DTREnable=True", "RTSEnable=False"}},
        {"settings the control refuses",
         kComplete,
         [](FakeComm& c) { c.RefuseSettings([](const std::string& s) { return s == "19200,E,7,1"; }); },
         {"PortOpen=False", "CommPort=2", "Settings=19200,E,7,1"}},
        {"a port that does not reopen",
         kComplete,
         [](FakeComm& c) { c.RefuseOpen(true); },
         {"PortOpen=False", "CommPort=2", "Settings=19200,E,7,1", "DTREnable=False", "RTSEnable=True",
          "Handshaking=1", "PortOpen=True"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::remove(IniFilePath().c_str());
        Store(c.stored);
        FakeComm line(world.pump);
        line.SetTag("A");
        line.SetPortOpen(true);
        if (c.prepare) c.prepare(line);
        const std::size_t before = line.writes().size();
        std::vector<std::string> applied;
        driver.captions.clear();
        driver.requiredWhenShown.clear();
        driver.showings.push_back([&](TVPort& dialog) {
            applied.assign(line.writes().begin() + static_cast<long>(before), line.writes().end());
            line.RefuseOpen(false);
            line.RefuseSettings(nullptr);
            Click(dialog, "CmdOK");
        });
        LoadPortSettings(line);
        EXPECT_EQ(driver.requiredWhenShown, std::vector<bool>{true});
        EXPECT_EQ(applied, c.appliedBeforeAsking);
        EXPECT_EQ(SettingsRequired, 0);
        EXPECT_TRUE(line.PortOpen());
        EXPECT_EQ(ReadIniKey("Port_A", "Comm Port", 3), std::to_string(line.CommPort()));
    }
}

TEST_F(PortSettingsTest, AControlThatCannotBeUsedIsRefusedUntouched) {
    Store(kComplete);
    comm.ThrowOnCommPort(true);
    MarkSetUpDone();
    LoadPortSettings(comm);
    EXPECT_EQ(GETRESULT(), RC_NO_COMM_CONTROL);
    EXPECT_TRUE(Writes().empty());
    EXPECT_TRUE(driver.captions.empty());
}

TEST_F(PortSettingsTest, RequiredModeCancelWarnsAndOnlyOkOnTheWarningEndsTheProgram) {
    world.ui.boxAnswers = {MsgAnswer::Cancel, MsgAnswer::Ok};
    MarkSetUpDone();
    bool stayedAfterCancel = false;
    driver.showings.push_back([&](TVPort& dialog) {
        Click(dialog, "CmdCancel");
        stayedAfterCancel = dialog.isVisible();
        Click(dialog, "CmdCancel");
    });
    LoadPortSettings(comm);

    EXPECT_TRUE(stayedAfterCancel);
    ASSERT_EQ(world.ui.boxes.size(), 2u);
    for (const RecordedBox& box : world.ui.boxes) {
        EXPECT_EQ(box.text, "This will end your application");
        EXPECT_EQ(box.title, "Port Setup");
        EXPECT_EQ(box.buttons, MsgButtons::OkCancel);
    }
    EXPECT_EQ(world.endStatuses, std::vector<int>{1});
    EXPECT_FALSE(DialogAccepted);
    EXPECT_EQ(SettingsRequired, 0);
    EXPECT_TRUE(Writes().empty());
    EXPECT_TRUE(PortSection().empty());
}

}  // namespace
}  // namespace zorv::test
