#include "config/TVPort.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QShowEvent>

#include "config/PortSettings.h"
#include "config/SettingsString.h"
#include "script/LibraryState.h"
#include "util/ProgramEnd.h"
#include "util/QtText.h"
#include "util/FormDesign.h"
#include "util/Twips.h"
#include "util/UiServices.h"
#include "util/WindowPlacement.h"

namespace zorv {

namespace {

// The design: client area, then each control's left, top, width and height in twips,
// inside the frame that holds it.
constexpr int kClientWidth = 5760;
constexpr int kClientHeight = 2790;

constexpr TwipsPlacement kLayout[] = {
    {"FramSettings", 120, 120, 2760, 2520},
    {"LblComPort", 120, 405, 1095, 255},
    {"CmbComPort", 1260, 360, 1350, 315},
    {"LblBaudRate", 120, 825, 1095, 255},
    {"CmbBaudRate", 1260, 780, 1350, 315},
    {"LblDataBits", 120, 1245, 1095, 255},
    {"CmbDataBits", 1260, 1200, 1350, 315},
    {"LblParity", 120, 1665, 1095, 255},
    {"CmbParity", 1260, 1620, 1350, 315},
    {"LblStopBits", 120, 2085, 1095, 255},
    {"CmbStopBits", 1260, 2040, 1350, 315},
    {"ChkDTREnable", 3000, 180, 2640, 300},
    {"ChkRTSEnable", 3000, 540, 2640, 300},
    {"FramFlowControl", 3000, 960, 2640, 1140},
    {"ChkHandshakingSoftware", 120, 330, 2460, 300},
    {"ChkHandshakingHardware", 120, 690, 2460, 300},
    {"CmdOK", 3000, 2265, 1140, 375},
    {"CmdCancel", 4500, 2265, 1140, 375},
};

constexpr const char* kBaudRates[] = {"300", "1200", "2400", "4800", "9600", "19200", "38400", "57600", "115200", "230400"};
constexpr const char* kDataBits[] = {"5", "6", "7", "8"};
constexpr const char* kStopBits[] = {"1", "1.5", "2"};
constexpr const char* kParities[] = {"Even", "Odd", "None", "Mark", "Space"};
constexpr int kPortCount = 16;

constexpr const char* kEndWarning = "This will end your application";
constexpr const char* kEndWarningTitle = "Port Setup";
// The status the program ends with when the user gives up the required settings.
constexpr int kEndStatusNoPortSettings = 1;

QString Latin1(const char* text) { return QString::fromLatin1(text); }

int16_t Flag(bool on) { return on ? -1 : 0; }

// The entry of `list` whose text is `text`, -1 when there is none.
int EntryOf(const QComboBox* list, const std::string& text) { return list->findText(ToQString(text), Qt::MatchExactly); }

}  // namespace

TVPort::TVPort(QWidget* parent) : QDialog(parent) {
    setObjectName("TVPort");
    setWindowTitle("Communication Settings");
    setModal(true);
    BuildControls();
    FillLists();
    ConnectHandlers();
    CENTERWINDOW(this);
}

void TVPort::BuildControls() {
    framSettings_ = MakeControl<QGroupBox>(this, "FramSettings", "Port Settings");
    cmbComPort_ = MakeControl<QComboBox>(framSettings_, "CmbComPort");
    cmbBaudRate_ = MakeControl<QComboBox>(framSettings_, "CmbBaudRate");
    cmbDataBits_ = MakeControl<QComboBox>(framSettings_, "CmbDataBits");
    cmbParity_ = MakeControl<QComboBox>(framSettings_, "CmbParity");
    cmbStopBits_ = MakeControl<QComboBox>(framSettings_, "CmbStopBits");
    MakeControl<QLabel>(framSettings_, "LblComPort", "&Com Port:")->setBuddy(cmbComPort_);
    MakeControl<QLabel>(framSettings_, "LblBaudRate", "&Baud rate:")->setBuddy(cmbBaudRate_);
    MakeControl<QLabel>(framSettings_, "LblDataBits", "&Data bits:")->setBuddy(cmbDataBits_);
    MakeControl<QLabel>(framSettings_, "LblParity", "&Parity:")->setBuddy(cmbParity_);
    MakeControl<QLabel>(framSettings_, "LblStopBits", "&Stop bits:")->setBuddy(cmbStopBits_);
    chkDTREnable_ = MakeControl<QCheckBox>(this, "ChkDTREnable", "Set D&TR line high");
    chkRTSEnable_ = MakeControl<QCheckBox>(this, "ChkRTSEnable", "Set &RTS line high");
    framFlowControl_ = MakeControl<QGroupBox>(this, "FramFlowControl", "Flow Control");
    chkHandshakingSoftware_ = MakeControl<QCheckBox>(framFlowControl_, "ChkHandshakingSoftware", "Software (&XON/XOFF)");
    chkHandshakingHardware_ = MakeControl<QCheckBox>(framFlowControl_, "ChkHandshakingHardware", "&Hardware (RTS/CTS)");
    cmdOK_ = MakeControl<QPushButton>(this, "CmdOK", "OK");
    cmdCancel_ = MakeControl<QPushButton>(this, "CmdCancel", "Cancel");
    cmdOK_->setDefault(true);
    cmdCancel_->setAutoDefault(false);

    PlaceDesign(this, kClientWidth, kClientHeight, kLayout);

    QWidget* const order[] = {cmbComPort_,  cmbBaudRate_,  cmbDataBits_, cmbParity_,
                              cmbStopBits_, chkDTREnable_, chkRTSEnable_, chkHandshakingSoftware_,
                              chkHandshakingHardware_, cmdOK_, cmdCancel_};
    for (std::size_t i = 1; i < std::size(order); ++i) setTabOrder(order[i - 1], order[i]);
}

void TVPort::FillLists() {
    // Lists start without a selection, so the first pick of each runs its handler.
    for (const char* rate : kBaudRates) cmbBaudRate_->addItem(Latin1(rate));
    for (const char* bits : kDataBits) cmbDataBits_->addItem(Latin1(bits));
    for (const char* bits : kStopBits) cmbStopBits_->addItem(Latin1(bits));
    for (const char* parity : kParities) cmbParity_->addItem(Latin1(parity));
    for (int port = 1; port <= kPortCount; ++port) cmbComPort_->addItem(QString::number(port));
    for (QComboBox* list : {cmbBaudRate_.data(), cmbDataBits_.data(), cmbStopBits_.data(), cmbParity_.data(),
                            cmbComPort_.data()})
        list->setCurrentIndex(-1);
}

void TVPort::ConnectHandlers() {
    PortSettingsRecord& record = CurrentPortSettings;
    // A list that loses its selection (set by code to -1) has nothing to copy.
    connect(cmbComPort_, &QComboBox::currentIndexChanged, this, [&record](int index) {
        if (index >= 0) record.CommPort = static_cast<int16_t>(index + 1);
    });
    connect(cmbBaudRate_, &QComboBox::currentIndexChanged, this, [this, &record](int index) {
        if (index >= 0) record.Baud = FromQString(cmbBaudRate_->itemText(index));
    });
    connect(cmbDataBits_, &QComboBox::currentIndexChanged, this, [this, &record](int index) {
        if (index >= 0) record.DataBits = FromQString(cmbDataBits_->itemText(index));
    });
    connect(cmbParity_, &QComboBox::currentIndexChanged, this, [this, &record](int index) {
        if (index >= 0) record.Parity = FromQString(cmbParity_->itemText(index).left(1));
    });
    connect(cmbStopBits_, &QComboBox::currentIndexChanged, this, [this, &record](int index) {
        if (index >= 0) record.StopBits = FromQString(cmbStopBits_->itemText(index));
    });
    connect(chkDTREnable_, &QCheckBox::toggled, this, [&record](bool on) { record.DTREnable = Flag(on); });
    connect(chkRTSEnable_, &QCheckBox::toggled, this, [&record](bool on) { record.RTSEnable = Flag(on); });
    connect(chkHandshakingSoftware_, &QCheckBox::toggled, this, [&record](bool on) {
        record.Handshaking = static_cast<int16_t>((record.Handshaking & 2) | (on ? 1 : 0));
    });
    connect(chkHandshakingHardware_, &QCheckBox::toggled, this, [this](bool on) { HardwareClick(on); });
    connect(cmdOK_, &QPushButton::clicked, this, [this] { OkClick(); });
    connect(cmdCancel_, &QPushButton::clicked, this, [this] { CancelClick(); });
}

void TVPort::HardwareClick(bool checked) {
    PortSettingsRecord& record = CurrentPortSettings;
    // RTS/CTS flow control drives the RTS line itself: it must be high and stay so.
    if (checked) {
        record.RTSEnable = -1;
        chkRTSEnable_->setChecked(true);
        chkRTSEnable_->setEnabled(false);
    } else {
        chkRTSEnable_->setEnabled(true);
    }
    record.Handshaking = static_cast<int16_t>((record.Handshaking & 1) | (checked ? 2 : 0));
}

void TVPort::PresetFrom(CommControl& comm) {
    PortSettingsRecord& record = CurrentPortSettings;

    record.CommPort = static_cast<int16_t>(comm.CommPort());
    cmbComPort_->setCurrentIndex(record.CommPort >= 1 && record.CommPort <= kPortCount ? record.CommPort - 1 : -1);

    std::string baud, parity, dataBits, stopBits;
    PARSESETTINGS(comm.Settings(), baud, parity, dataBits, stopBits);
    // Each field the control's settings hold validly is taken, also when the list has
    // no entry for it (a rate of 14400): confirming without a pick then keeps it.
    if (IsSettingsBaudRate(baud)) {
        record.Baud = baud;
        cmbBaudRate_->setCurrentIndex(EntryOf(cmbBaudRate_, baud));
    }
    if (IsSettingsParity(parity)) {
        record.Parity = parity;
        for (int i = 0; i < cmbParity_->count(); ++i) {
            if (FromQString(cmbParity_->itemText(i).left(1)) == parity) {
                cmbParity_->setCurrentIndex(i);
                break;
            }
        }
    }
    if (IsSettingsDataBits(dataBits)) {
        record.DataBits = dataBits;
        cmbDataBits_->setCurrentIndex(EntryOf(cmbDataBits_, dataBits));
    }
    if (IsSettingsStopBits(stopBits)) {
        record.StopBits = stopBits;
        cmbStopBits_->setCurrentIndex(EntryOf(cmbStopBits_, stopBits));
    }

    record.DTREnable = Flag(comm.DTREnable());
    chkDTREnable_->setChecked(record.DTREnable != 0);
    record.RTSEnable = Flag(comm.RTSEnable());
    chkRTSEnable_->setChecked(record.RTSEnable != 0);

    record.Handshaking = static_cast<int16_t>(comm.Handshaking());
    chkHandshakingSoftware_->setChecked((record.Handshaking & 1) != 0);
    chkHandshakingHardware_->setChecked(record.Handshaking >= 2);
}

void TVPort::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!event->spontaneous()) DialogAccepted = true;
}

void TVPort::closeEvent(QCloseEvent* event) {
    // Only Cancel withdraws the dialog; closing it any other way keeps what it shows.
    event->accept();
    done(QDialog::Accepted);
}

void TVPort::reject() { CancelClick(); }

void TVPort::OkClick() { done(QDialog::Accepted); }

void TVPort::CancelClick() {
    if (SettingsRequired != 0) {
        // The host cannot go on without a port. The box says what OK does, so OK
        // does it; Cancel goes back to the settings.
        if (MsgBox(kEndWarning, MsgButtons::OkCancel, kEndWarningTitle) != MsgAnswer::Ok) return;
        EndProgram(kEndStatusNoPortSettings);
    }
    DialogAccepted = false;
    done(QDialog::Rejected);
}

}  // namespace zorv
