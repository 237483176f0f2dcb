// The device and location dialogs, driven offscreen; each is grabbed to a PNG in the
// screenshots folder beside the build's bin folder.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTest>
#include <QTimer>
#include <cstdlib>

#include "config/IniFile.h"
#include "platform/telephony/DeviceDialog.h"
#include "platform/telephony/LocationDialog.h"
#include "platform/telephony/ModemTelephony.h"
#include "tests/telephony/TelephonyTestKit.h"

namespace zorv {
namespace {

void Grab(QWidget& window, const QString& name) {
    const char* bin = std::getenv("ZORV_BIN_DIR");
    if (!bin) return;
    const QString folder = QString(bin) + "/../screenshots";
    QDir().mkpath(folder);
    window.grab().save(folder + "/" + name + ".png");
}

template <typename Widget>
Widget* Find(QWidget& window, const char* name) {
    Widget* widget = window.findChild<Widget*>(name);
    EXPECT_NE(widget, nullptr) << name;
    return widget;
}

void Retype(QLineEdit* edit, const QString& text) {
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_Delete);
    QTest::keyClicks(edit, text);
}

TEST(DeviceDialogTest, WrongEntriesKeepTheDialogOpenWithTheReason) {
    DeviceDialog dialog({"Network Modem", 9, 9600, "AT&FE0V1&C1&D2"});
    dialog.show();
    EXPECT_EQ(Find<QLabel>(dialog, "LblPortTarget")->text(), "network modem");
    Grab(dialog, "telephony-device-dialog");

    struct Case {
        const char* name;
        const char* speed;
        const char* init;
        const char* reason;  // nullptr: accepted
    } cases[] = {
        {"", "9600", "ATZ", "needs a name"},
        {"Office modem", "nine", "ATZ", "speed"},
        {"Office modem", "19200", "Z", "must start with AT"},
        {"Office modem", "19200", "ATZ^M", nullptr},
    };
    for (const Case& c : cases) {
        Retype(Find<QLineEdit>(dialog, "TxtDeviceName"), c.name);
        Find<QComboBox>(dialog, "CmbDeviceSpeed")->setCurrentText(c.speed);
        Retype(Find<QLineEdit>(dialog, "TxtInitCommand"), c.init);
        QTest::mouseClick(Find<QPushButton>(dialog, "CmdOK"), Qt::LeftButton);
        QLabel* error = Find<QLabel>(dialog, "LblDeviceError");
        if (c.reason) {
            EXPECT_TRUE(dialog.isVisible()) << c.reason;
            EXPECT_TRUE(error->text().contains(c.reason)) << error->text().toStdString();
        } else {
            EXPECT_EQ(dialog.result(), QDialog::Accepted);
        }
    }
    const ModemDevice device = dialog.Device();
    EXPECT_EQ(device.name, "Office modem");
    EXPECT_EQ(device.speed, 19200);
    EXPECT_EQ(device.init, "ATZ^M");
    EXPECT_EQ(device.port, 9);
}

TEST(LocationDialogTest, ShowsTheNumberAsDialledAndRefusesOddCodes) {
    LocationDialog dialog({{"Default Location", "", false, ""}}, 0, "555-9678");
    dialog.show();
    QLabel* dialString = Find<QLabel>(dialog, "LblDialString");
    EXPECT_EQ(dialString->text(), "ATDT555-9678");

    QTest::mouseClick(Find<QPushButton>(dialog, "CmdNewLocation"), Qt::LeftButton);
    Retype(Find<QLineEdit>(dialog, "TxtLocationName"), "Office");
    QTest::keyClicks(Find<QLineEdit>(dialog, "TxtOutsidePrefix"), "9");
    QTest::keyClicks(Find<QLineEdit>(dialog, "TxtCallWaiting"), "*70");
    Find<QRadioButton>(dialog, "OptPulse")->click();
    EXPECT_EQ(dialString->text(), "ATDP9,*70,555-9678");
    EXPECT_EQ(Find<QComboBox>(dialog, "CmbLocation")->currentText(), "Office");
    Grab(dialog, "telephony-location-dialog");

    QTest::keyClicks(Find<QLineEdit>(dialog, "TxtOutsidePrefix"), ";ATZ");
    EXPECT_EQ(dialString->text(), "(cannot be dialled)");
    QTest::mouseClick(Find<QPushButton>(dialog, "CmdOK"), Qt::LeftButton);
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_TRUE(Find<QLabel>(dialog, "LblLocationError")->text().contains("outside-line prefix"));

    Retype(Find<QLineEdit>(dialog, "TxtOutsidePrefix"), "9");
    QTest::mouseClick(Find<QPushButton>(dialog, "CmdOK"), Qt::LeftButton);
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    ASSERT_EQ(dialog.Locations().size(), 2u);
    EXPECT_EQ(dialog.CurrentIndex(), 1);
    const DialingLocation& office = dialog.Locations()[1];
    EXPECT_EQ(office.outsidePrefix, "9");
    EXPECT_EQ(office.callWaiting, "*70");
    EXPECT_TRUE(office.pulse);
}

// The telephony layer's own entry points store what the dialogs accept.
TEST(TelephonyDialogsTest, AcceptedDialogsAreStoredAndCancelledOnesAreNot) {
    test::PrivateIni ini;
    ModemTelephony telephony([] { return std::vector<std::string>{}; });
    auto answer = [](std::function<void(QWidget&)> fill) {
        QTimer::singleShot(0, [fill] {
            QWidget* dialog = QApplication::activeModalWidget();
            ASSERT_NE(dialog, nullptr);
            fill(*dialog);
        });
    };

    answer([](QWidget& dialog) { QTest::mouseClick(Find<QPushButton>(dialog, "CmdCancel"), Qt::LeftButton); });
    telephony.ShowDeviceDialog();
    EXPECT_TRUE(ReadIniKey("Device1", "Name", 255).empty());

    answer([](QWidget& dialog) {
        Retype(Find<QLineEdit>(dialog, "TxtDeviceName"), "Demo line");
        QTest::mouseClick(Find<QPushButton>(dialog, "CmdOK"), Qt::LeftButton);
    });
    telephony.ShowDeviceDialog();
    EXPECT_EQ(telephony.ListDevices(), (std::vector<std::string>{"Demo line"}));
    EXPECT_EQ(telephony.CurrentDevice(), 0);
    EXPECT_EQ(ReadIniKey("Device1", "Port", 255), "9");

    answer([](QWidget& dialog) {
        QTest::mouseClick(Find<QPushButton>(dialog, "CmdNewLocation"), Qt::LeftButton);
        Retype(Find<QLineEdit>(dialog, "TxtLocationName"), "Office");
        QTest::keyClicks(Find<QLineEdit>(dialog, "TxtOutsidePrefix"), "9");
        QTest::mouseClick(Find<QPushButton>(dialog, "CmdOK"), Qt::LeftButton);
    });
    telephony.ShowLocationDialog("555-9678");
    int current = -1;
    EXPECT_EQ(telephony.ListLocations(current), (std::vector<std::string>{"Default Location", "Office"}));
    EXPECT_EQ(current, 1);
    EXPECT_EQ(ReadIniKey("Location2", "OutsidePrefix", 255), "9");
}

}  // namespace
}  // namespace zorv
