#include "app/ZORVDialerForm.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "app/CommandLine.h"
#include "app/LoginScript.h"
#include "modem/CommControl.h"
#include "script/ScriptRun.h"
#include "util/Error.h"
#include "modem/Telephony.h"
#include "util/EventHandler.h"
#include "util/EventPump.h"
#include "util/FitText.h"
#include "util/ProgramEnd.h"
#include "util/QtText.h"
#include "util/FormDesign.h"
#include "util/Twips.h"
#include "util/UiServices.h"

namespace zorv {

namespace {

// The design: client area and each control's left, top, width and height in twips.
constexpr int kClientWidth = 5010;
constexpr int kClientHeight = 2955;

constexpr TwipsPlacement kLayout[] = {
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

    cmdTest_ = MakeControl<QPushButton>(this, "cmdTest", "Test");
    configModem_ = MakeControl<QPushButton>(this, "ConfigModem", "Configure");
    cmdCancel_ = MakeControl<QPushButton>(this, "cmdCancel", "Cancel");
    timeOut_ = MakeControl<QLineEdit>(this, "TimeOut", "60");
    hangup_ = MakeControl<QPushButton>(this, "Hangup", "Hangup");
    downLoad_ = MakeControl<QPushButton>(this, "DownLoad", "DownLoad");
    configLocation_ = MakeControl<QPushButton>(this, "ConfigLocation", "Configure");
    locationList_ = MakeControl<QComboBox>(this, "LocationList");
    modemList_ = MakeControl<QComboBox>(this, "ModemList");
    MakeControl<QLabel>(this, "Label5", "seconds");
    MakeControl<QLabel>(this, "Label4", "TimeOut");
    MakeControl<QLabel>(this, "Label3", "Status");
    MakeControl<QLabel>(this, "Label2", "Location");
    MakeControl<QLabel>(this, "Label1", "Modem:");
    status_ = MakeControl<QLabel>(this, "Status");

    PlaceDesign(this, kClientWidth, kClientHeight, kLayout);

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

    Connect(configModem_, &ZORVDialerForm::ConfigModemClick);
    Connect(configLocation_, &ZORVDialerForm::ConfigLocationClick);
    Connect(downLoad_, &ZORVDialerForm::StartDownload);
    Connect(hangup_, &ZORVDialerForm::DropCall);
    Connect(cmdTest_, &ZORVDialerForm::TestClick);
    Connect(cmdCancel_, &ZORVDialerForm::CancelClick);

    telephony_.SetCallStateHandler(
        [this](long callState, long) { RunEventHandler([this, callState] { CallStateChanged(callState); }); });
    if (comm_) comm_->SetEventHandler([this] { RunEventHandler([this] { CommEvent(); }); });
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
    emit StatusChanged(status_->text());
}

void ZORVDialerForm::Connect(QPushButton* button, void (ZORVDialerForm::*action)()) {
    connect(button, &QPushButton::clicked, this, [this, action] { RunEventHandler([this, action] { (this->*action)(); }); });
}

// The dialogs edit what the lists show, so the device chosen in the list is the one
// edited, and the lists are read again afterwards.
void ZORVDialerForm::ConfigModemClick() {
    telephony_.ChooseDevice(FromQString(modemList_->currentText()));
    telephony_.ShowDeviceDialog();
    FillTelephonyLists();
}

void ZORVDialerForm::ConfigLocationClick() {
    telephony_.ChooseLocation(FromQString(locationList_->currentText()));
    telephony_.ShowLocationDialog(dialNumber_);
    FillTelephonyLists();
}

void ZORVDialerForm::TestClick() {
    RefreshLoginScript();
    StartDownload();
}

void ZORVDialerForm::CancelClick() {
    EndAtOnce();
    DropCall();
    EndProgram(kExitCancelled);
}

void ZORVDialerForm::EndAtOnce() {
    // From here no notification reaches the window: a call dropped on the way out
    // reports its end, but the program is already ending.
    ending_ = true;
}

void ZORVDialerForm::WriteLoginScript() {
    const LoginScriptInput input{userName_, userPassword_, downloadFile_, passwordAsLastName_,
                                 FromQString(timeOut_->text())};
    // A script that cannot be written must not let an old one run in its place.
    if (!zorv::WriteLoginScript(input, timeoutText_))
        throw Error(ErrorNumber::FileAccess, std::string("The login script ") + kLoginScriptFile + " could not be written");
}

void ZORVDialerForm::RefreshLoginScript() {
    WriteLoginScript();
    SetStatusText("Waiting to Download: " + downloadFile_);
}

void ZORVDialerForm::DropCall() {
    if (telephony_.CallUp()) telephony_.DropCall();
}

void ZORVDialerForm::StartDownload() {
    // The test button stays usable during a call; it cannot start one under a running script.
    if (loginScriptRunning_) return;
    try {
        telephony_.ChooseDevice(FromQString(modemList_->currentText()));
        telephony_.ChooseLocation(FromQString(locationList_->currentText()));
        SetInputsEnabled(false);
        DropCall();
        // Dropping a call that was up reports its end, which gives the inputs back;
        // the new call keeps them greyed.
        SetInputsEnabled(false);
        WriteLoginScript();
        if (!comm_) throw Error(ErrorNumber::DialingUnavailable, "There is no line to place the call on");
        telephony_.PlaceCall(*comm_, dialNumber_);
    } catch (const Error& error) {
        if (error.number() == ErrorNumber::DeviceInUse) {
            SetStatusText("The device is in use");
            MsgBox("The device is in use, please free the line and try again");
        } else {
            // Any other failure to start is told on the status line and the inputs come
            // back, so the user is never left with a greyed window and no word why.
            SetStatusText(error.description());
        }
        SetInputsEnabled(true);
    } catch (const std::exception& error) {
        SetStatusText(error.what());
        SetInputsEnabled(true);
    }
}

void ZORVDialerForm::CallStateChanged(long callState) {
    if (ending_) return;
    switch (callState) {
        case CALLSTATE_DIALTONE:
            SetStatusText("Dialtone detected");
            break;
        case CALLSTATE_DIALING:
            SetStatusText("Dialing...");
            cmdCancel_->setEnabled(true);
            break;
        case CALLSTATE_BUSY:
            SetStatusText("ZORV is busy");
            GiveInputsBack();
            break;
        case CALLSTATE_CONNECTED:
            Ui().SetWaitPointer(false);
            SetStatusText("Connected to ZORV: downloading file " + downloadFile_);
            RunLoginScript();
            break;
        case CALLSTATE_DISCONNECTED:
            SetStatusText("ZORV has hung up");
            GiveInputsBack();
            break;
        case CALLSTATE_IDLE:
            Ui().SetWaitPointer(false);
            SetStatusText("Not connected");
            GiveInputsBack();
            break;
        default:
            break;
    }
}

// Inputs come back when a call has ended; while the login script of that call is still
// unwinding (its wait notices the ended call on its next pass, a pause only when it is
// over) they stay greyed, so a new download cannot start a second script on top of it.
// RunLoginScript gives them back when the script has returned.
void ZORVDialerForm::GiveInputsBack() {
    if (!loginScriptRunning_) SetInputsEnabled(true);
}

void ZORVDialerForm::RunLoginScript() {
    int lineNo = 0;
    std::string lineText;
    if (comm_ && comm_->PortOpen()) {
        loginScriptRunning_ = true;
        try {
            ScriptRun(*comm_, kLoginScriptFile, lineNo, lineText);
        } catch (...) {
            loginScriptRunning_ = false;
            throw;
        }
        loginScriptRunning_ = false;
    }
    // Line 22 is the wait after the password in the usual login dialogue: the BBS
    // did not go on, so it did not take the user name and password.
    if (lineNo > 0 && lineNo == 22) {
        MsgBox("Please check your User Name and Password and try again.");
        EndAtOnce();
        EndProgram(kExitLoginRejected);
        return;
    }
    SetInputsEnabled(true);
}

void ZORVDialerForm::CommEvent() {
    if (ending_) return;
    switch (comm_->EventCode()) {
        case COMM_EV_ZMODEM_START:
            comm_->SetXferStatusDialog(2);
            comm_->SetXferProtocol(XFER_ZMODEM);
            comm_->SetDownload("");
            SetStatusText("Receiving file");
            break;
        case COMM_EV_XFER_STATUS:
            TransferStatusChanged(comm_->XferStatus());
            break;
        case COMM_EV_CARRIER_DROP:
            comm_->SetXferStatusDialog(0);
            DropCall();
            break;
        default:
            break;
    }
}

void ZORVDialerForm::TransferStatusChanged(int status) {
    switch (status) {
        case XFER_IDLE:
            SetStatusText("File Transferred successfully");
            EndAtOnce();
            comm_->SetXferStatusDialog(0);
            DropCall();
            EndProgram(kExitTransferred);
            break;
        case XFER_FAILED:
            SetStatusText("Transfer Error");
            DropCall();
            GiveInputsBack();
            break;
        case XFER_WAITING:
            SetStatusText("Waiting for ZORV to start Transfer");
            break;
        case XFER_NEGOTIATING:
        case XFER_TRANSFERRING:
        case XFER_FINISHING:
            SetStatusText("Transferring File");
            break;
        case XFER_ABORT:
            SetStatusText("Aborted file transfer");
            break;
        case XFER_FILE_DONE:
            SetStatusText("File Transferred successfully");
            break;
        case XFER_CARRIER_LOST:
            SetStatusText("Lost Carrier, transfer Failed");
            GiveInputsBack();
            break;
        case XFER_TIMED_OUT:
            SetStatusText("Timed out - Try again");
            comm_->SetXferStatus(XFER_ABORT);
            break;
        default:
            break;
    }
}

void ZORVDialerForm::BeginGetFile(const std::string& user, const std::string& password, const std::string& file,
                                  std::function<void()> done) {
    userName_ = user;
    userPassword_ = password;
    downloadFile_ = file;
    WriteLoginScript();
    if (isVisible()) throw Error(ErrorNumber::AlreadyShown, "Form already displayed; can't show modally");
    modalDone_ = [this, file, done = std::move(done)] {
        SetStatusText("Waiting to Download: " + file);
        if (done) done();
    };
    setWindowModality(Qt::ApplicationModal);
    show();
}

void ZORVDialerForm::GetFile(const std::string& user, const std::string& password, const std::string& file) {
    bool finished = false;
    BeginGetFile(user, password, file, [&finished] { finished = true; });
    while (!finished) DoEvents();
}

void ZORVDialerForm::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    if (!modalDone_) return;
    auto done = std::move(modalDone_);
    modalDone_ = nullptr;
    setWindowModality(Qt::NonModal);
    done();
}

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
