#include "app/ZORVDialerForm.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <type_traits>

#include "app/CommandLine.h"
#include "modem/Telephony.h"
#include "util/EventHandler.h"
#include "util/EventPump.h"
#include "util/FitText.h"
#include "util/ProgramEnd.h"
#include "util/QtText.h"
#include "util/Twips.h"
#include "util/UiServices.h"

namespace zorv {

namespace {

// The design: client area and each control's left, top, width and height in twips.
constexpr int kClientWidth = 5010;
constexpr int kClientHeight = 2955;

struct Placement {
    const char* name;
    int left, top, width, height;
};

constexpr Placement kLayout[] = {
    {"cmdTest", 120, 2760, 735, 375},  // its lower edge lies outside the client area
    {"ConfigModem", 4440, 720, 495, 375},
    {"cmdCancel", 2880, 2280, 855, 375},
    {"TimeOut", 960, 1800, 375, 285},
    {"Hangup", 3600, 1920, 855, 375},
    {"DownLoad", 1200, 2280, 1215, 375},
    {"ConfigLocation", 4440, 1200, 495, 375},
    {"LocationList", 960, 1200, 3255, 315},
    {"ModemList", 960, 720, 3255, 315},
    {"Label5", 1440, 1800, 855, 255},
    {"Label4", 120, 1800, 615, 255},
    {"Label3", 120, 360, 735, 255},
    {"Label2", 120, 1320, 735, 255},
    {"Label1", 120, 720, 735, 255},
    {"Status", 1080, 360, 3495, 255},
};

template <typename W>
W* Make(QWidget* parent, const char* name, const char* text = nullptr) {
    W* widget = new W(parent);
    widget->setObjectName(name);
    if constexpr (!std::is_same_v<W, QComboBox>) {
        if (text) widget->setText(QString::fromLatin1(text));
    }
    return widget;
}

}  // namespace

ZORVDialerForm::ZORVDialerForm(Telephony& telephony, CommControl* comm, QWidget* parent)
    : QWidget(parent), telephony_(telephony), comm_(comm) {
    setObjectName("ZORVDialerForm");
    setWindowTitle("ZORV BBS Download");
    BuildControls();
}

void ZORVDialerForm::BuildControls() {
    // The design's font: 8 points.
    QFont small = font();
    small.setPointSizeF(8);
    setFont(small);

    cmdTest_ = Make<QPushButton>(this, "cmdTest", "Test");
    configModem_ = Make<QPushButton>(this, "ConfigModem", "Configure");
    cmdCancel_ = Make<QPushButton>(this, "cmdCancel", "Cancel");
    timeOut_ = Make<QLineEdit>(this, "TimeOut", "60");
    hangup_ = Make<QPushButton>(this, "Hangup", "Hangup");
    downLoad_ = Make<QPushButton>(this, "DownLoad", "DownLoad");
    configLocation_ = Make<QPushButton>(this, "ConfigLocation", "Configure");
    locationList_ = Make<QComboBox>(this, "LocationList");
    modemList_ = Make<QComboBox>(this, "ModemList");
    Make<QLabel>(this, "Label5", "seconds");
    Make<QLabel>(this, "Label4", "TimeOut");
    Make<QLabel>(this, "Label3", "Status");
    Make<QLabel>(this, "Label2", "Location");
    Make<QLabel>(this, "Label1", "Modem:");
    status_ = Make<QLabel>(this, "Status");

    const double dpi = LogicalDpi(this);
    setFixedSize(TwipsToPixels(kClientWidth, dpi), TwipsToPixels(kClientHeight, dpi));
    for (const Placement& p : kLayout) {
        QWidget* control = findChild<QWidget*>(p.name);
        PlaceInTwips(control, p.left, p.top, p.width, p.height, dpi);
        FitTextToWidth(control);
    }

    // The test, configure and hang-up buttons work when clicked but are left out of
    // the tab order, so the keyboard walks only through the download's own inputs.
    for (QPushButton* button : {cmdTest_.data(), configModem_.data(), configLocation_.data(), hangup_.data()})
        button->setFocusPolicy(Qt::ClickFocus);
    setTabOrder(modemList_, locationList_);
    setTabOrder(locationList_, downLoad_);
    setTabOrder(downLoad_, timeOut_);
    setTabOrder(timeOut_, cmdCancel_);

    // The configure buttons are narrower than their caption; the tip says it whole.
    configModem_->setToolTip("Configure the modem");
    configLocation_->setToolTip("Configure the dialing location");

    connect(configModem_, &QPushButton::clicked, this, [this] { RunEventHandler([this] { ConfigModemClick(); }); });
    connect(configLocation_, &QPushButton::clicked, this,
            [this] { RunEventHandler([this] { ConfigLocationClick(); }); });
}

bool ZORVDialerForm::Load(const std::string& arguments) {
    dialNumber_ = kDialNumber;
    passwordAsLastName_ = false;

    const CommandLineFields fields = SplitCommandLine(arguments);
    userName_ = fields.userName;
    userPassword_ = fields.userPassword;
    downloadFile_ = fields.downloadFile;
    passwordAsLastName_ = fields.passwordAsLastName;

    if (!fields.Complete()) {
        MsgBox(kUsageMessage);
        EndProgram(kExitUsage);
        return false;
    }

    setWindowTitle(ToQString("ZORV BBS Download: " + downloadFile_));
    SetStatusText("Waiting to download: " + downloadFile_);
    FillTelephonyLists();
    CenterOnScreen();
    return true;
}

void ZORVDialerForm::FillTelephonyLists() {
    modemList_->clear();
    for (const std::string& device : telephony_.ListDevices()) modemList_->addItem(ToQString(device));
    // An index that does not fit its list leaves the list on its first entry.
    const int device = telephony_.CurrentDevice();
    if (device >= 0 && device < modemList_->count()) modemList_->setCurrentIndex(device);

    locationList_->clear();
    int location = 0;
    for (const std::string& name : telephony_.ListLocations(location)) locationList_->addItem(ToQString(name));
    if (location >= 0 && location < locationList_->count()) locationList_->setCurrentIndex(location);
}

void ZORVDialerForm::CenterOnScreen() {
    const ScreenSize screen = Ui().Screen();
    move((screen.width - width()) / 2, (screen.height - height()) / 2);
}

void ZORVDialerForm::SetInputsEnabled(bool enabled) {
    modemList_->setEnabled(enabled);
    locationList_->setEnabled(enabled);
    timeOut_->setEnabled(enabled);
    downLoad_->setEnabled(enabled);
    cmdCancel_->setEnabled(enabled);
}

std::string ZORVDialerForm::statusText() const { return FromQString(status_->text()); }

void ZORVDialerForm::SetStatusText(const std::string& text) {
    status_->setText(ToQString(text));
    FitTextToWidth(status_);
}

void ZORVDialerForm::ConfigModemClick() { telephony_.ShowDeviceDialog(); }

void ZORVDialerForm::ConfigLocationClick() { telephony_.ShowLocationDialog(dialNumber_); }

void ZORVDialerForm::closeEvent(QCloseEvent* event) {
    // Give a hang-up in progress its moment before asking about the call; the close
    // itself is never refused.
    RunEventHandler([this] {
        SleepBlocking(500);
        if (telephony_.CallUp()) telephony_.DropCall();
    });
    event->accept();
}

}  // namespace zorv
