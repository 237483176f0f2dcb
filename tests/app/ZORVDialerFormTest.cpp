// The main window driven offscreen: what the load step puts where, the input lock,
// the configure buttons and closing.
#include <QComboBox>
#include <QDir>
#include <QPixmap>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <gtest/gtest.h>

#include "app/CommandLine.h"
#include "app/ZORVDialerForm.h"
#include "tests/support/FakeComm.h"
#include "tests/support/FakeTelephony.h"
#include "tests/support/TestWorld.h"
#include "util/Twips.h"

namespace zorv::test {
namespace {

class FormTest : public ::testing::Test {
protected:
    FormTest() : comm(world.pump), form(telephony, &comm) {}

    template <typename W = QWidget>
    W* Control(const char* name) {
        W* widget = form.findChild<W*>(name);
        EXPECT_NE(widget, nullptr) << name;
        return widget;
    }

    TestWorld world;
    FakeTelephony telephony;
    FakeComm comm;
    ZORVDialerForm form;
};

TEST_F(FormTest, AnIncompleteCommandLineShowsTheUsageAndEndsBeforeTheWindowShows) {
    for (const char* arguments : {"", "FILES.ZIP", "alice FILES.ZIP", "alice  secret FILES.ZIP"}) {
        world.ui.boxes.clear();
        world.endStatuses.clear();
        telephony.calls.clear();
        EXPECT_FALSE(form.Load(arguments)) << arguments;
        ASSERT_EQ(world.ui.boxes.size(), 1u);
        EXPECT_EQ(world.ui.boxes[0].text, "Usage ZORVDial [UserName] [Password] [DownloadFile]");
        EXPECT_EQ(world.ui.boxes[0].title, "ZORVDIAL");
        EXPECT_EQ(world.ui.boxes[0].buttons, MsgButtons::Ok);
        EXPECT_EQ(world.endStatuses, std::vector<int>{ZORVDialerForm::kExitUsage});
        EXPECT_TRUE(telephony.calls.empty());  // the lists were never filled
        EXPECT_FALSE(form.isVisible());
    }
}

TEST_F(FormTest, LoadSetsCaptionStatusListsAndCentresTheWindow) {
    telephony.currentDevice = 1;
    telephony.currentLocation = 1;
    ASSERT_TRUE(form.Load("alice secret FILES.ZIP 1"));

    EXPECT_EQ(form.windowTitle(), "ZORV BBS Download: FILES.ZIP");
    EXPECT_EQ(form.statusText(), "Waiting to download: FILES.ZIP");
    EXPECT_EQ(form.userName(), "alice");
    EXPECT_EQ(form.userPassword(), "secret");
    EXPECT_EQ(form.downloadFile(), "FILES.ZIP");
    EXPECT_TRUE(form.passwordAsLastName());
    EXPECT_EQ(form.dialNumber(), ZORVDialerForm::kDialNumber);
    EXPECT_TRUE(world.endStatuses.empty());

    auto* modems = Control<QComboBox>("ModemList");
    ASSERT_EQ(modems->count(), 2);
    EXPECT_EQ(modems->itemText(0).toStdString(), telephony.devices[0]);
    EXPECT_EQ(modems->currentIndex(), 1);
    auto* locations = Control<QComboBox>("LocationList");
    ASSERT_EQ(locations->count(), 2);
    EXPECT_EQ(locations->currentText().toStdString(), "Office");
    EXPECT_EQ(Control<QLineEdit>("TimeOut")->text(), "60");

    // Recording screen 1024 x 768; client area 5010 x 2955 twips is 334 x 197 pixels.
    EXPECT_EQ(form.size(), QSize(334, 197));
    EXPECT_EQ(form.pos(), QPoint((1024 - 334) / 2, (768 - 197) / 2));
}

TEST_F(FormTest, AnIndexThatDoesNotFitLeavesTheListOnItsFirstEntry) {
    telephony.currentDevice = 7;
    telephony.currentLocation = -3;
    ASSERT_TRUE(form.Load("alice secret FILES.ZIP"));
    EXPECT_EQ(Control<QComboBox>("ModemList")->currentIndex(), 0);
    EXPECT_EQ(Control<QComboBox>("LocationList")->currentIndex(), 0);
}

TEST_F(FormTest, EveryControlStandsWhereTheDesignPutsIt) {
    const struct {
        const char* name;
        const char* text;
        int left, top, width, height;
    } layout[] = {
        {"cmdTest", "Test", 120, 2760, 735, 375},       {"ConfigModem", "Configure", 4440, 720, 495, 375},
        {"cmdCancel", "Cancel", 2880, 2280, 855, 375},  {"TimeOut", "60", 960, 1800, 375, 285},
        {"Hangup", "Hangup", 3600, 1920, 855, 375},     {"DownLoad", "DownLoad", 1200, 2280, 1215, 375},
        {"ConfigLocation", "Configure", 4440, 1200, 495, 375},
        {"LocationList", nullptr, 960, 1200, 3255, 315}, {"ModemList", nullptr, 960, 720, 3255, 315},
        {"Label5", "seconds", 1440, 1800, 855, 255},    {"Label4", "TimeOut", 120, 1800, 615, 255},
        {"Label3", "Status", 120, 360, 735, 255},       {"Label2", "Location", 120, 1320, 735, 255},
        {"Label1", "Modem:", 120, 720, 735, 255},       {"Status", "", 1080, 360, 3495, 255},
    };
    for (const auto& c : layout) {
        QWidget* widget = Control(c.name);
        ASSERT_NE(widget, nullptr);
        EXPECT_EQ(widget->geometry(), QRect(TwipsToPixels(c.left, 96), TwipsToPixels(c.top, 96),
                                            TwipsToPixels(c.width, 96), TwipsToPixels(c.height, 96)))
            << c.name;
        if (!c.text) continue;
        QString text;
        if (auto* button = qobject_cast<QPushButton*>(widget)) text = button->text();
        if (auto* label = qobject_cast<QLabel*>(widget)) text = label->text();
        if (auto* edit = qobject_cast<QLineEdit*>(widget)) text = edit->text();
        EXPECT_EQ(text.toStdString(), c.text) << c.name;
    }
    // The test button reaches below the client area, as designed.
    EXPECT_GT(Control("cmdTest")->geometry().bottom(), form.height());
}

TEST_F(FormTest, SetInputsEnabledGreysExactlyTheDownloadInputs) {
    ASSERT_TRUE(form.Load("alice secret FILES.ZIP"));
    const char* locked[] = {"ModemList", "LocationList", "TimeOut", "DownLoad", "cmdCancel"};
    const char* untouched[] = {"cmdTest", "ConfigModem", "ConfigLocation", "Hangup"};
    for (bool enabled : {false, true}) {
        form.SetInputsEnabled(enabled);
        for (const char* name : locked) EXPECT_EQ(Control(name)->isEnabled(), enabled) << name;
        for (const char* name : untouched) EXPECT_TRUE(Control(name)->isEnabled()) << name;
    }
}

TEST_F(FormTest, ConfigureButtonsOpenTheTelephonyDialogs) {
    ASSERT_TRUE(form.Load("alice secret FILES.ZIP"));
    telephony.calls.clear();
    Control<QPushButton>("ConfigModem")->click();
    Control<QPushButton>("ConfigLocation")->click();
    const std::vector<std::string> expected{"ChooseDevice:Network Modem",
                                            "DeviceDialog",
                                            "ListDevices",
                                            "CurrentDevice",
                                            "ListLocations",
                                            "ChooseLocation:Default Location",
                                            std::string("LocationDialog:") + ZORVDialerForm::kDialNumber,
                                            "ListDevices",
                                            "CurrentDevice",
                                            "ListLocations"};
    EXPECT_EQ(telephony.calls, expected);
}

TEST_F(FormTest, ClosingWaitsHalfASecondThenDropsACallThatIsUp) {
    for (bool callUp : {false, true}) {
        ASSERT_TRUE(form.Load("alice secret FILES.ZIP"));
        form.show();
        telephony.callUp = callUp;
        telephony.calls.clear();
        const long sleptBefore = world.pump.millisecondsSlept();
        form.close();
        EXPECT_EQ(world.pump.millisecondsSlept() - sleptBefore, 500);
        std::vector<std::string> expected{"CallUp"};
        if (callUp) expected.push_back("DropCall");
        EXPECT_EQ(telephony.calls, expected);
        EXPECT_FALSE(form.isVisible());
    }
}

}  // namespace
}  // namespace zorv::test

namespace zorv::test {
namespace {

// Keeps a picture of the loaded window beside the build for review.
TEST_F(FormTest, GrabsTheLoadedWindowForReview) {
    ASSERT_TRUE(form.Load("alice secret FILES.ZIP"));
    form.show();
    const QPixmap picture = form.grab();
    EXPECT_EQ(picture.size(), form.size() * picture.devicePixelRatio());
    if (const char* bin = std::getenv("ZORV_BIN_DIR")) {
        const QString folder = QString::fromLocal8Bit(bin) + "/../screenshots";
        QDir().mkpath(folder);
        EXPECT_TRUE(picture.save(folder + "/ZORVDialerForm.png"));
    }
}

}  // namespace
}  // namespace zorv::test
