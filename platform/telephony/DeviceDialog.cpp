#include "platform/telephony/DeviceDialog.h"

#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QSpinBox>
#include <QVBoxLayout>

#include "platform/comm/PortConfig.h"
#include "util/Error.h"
#include "util/Numbers.h"
#include "platform/telephony/DialogParts.h"
#include "util/QtText.h"

namespace zorv {

namespace {

constexpr int kSpeeds[] = {300, 1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200, 230400};

}  // namespace

DeviceDialog::DeviceDialog(const ModemDevice& device, QWidget* parent) : QDialog(parent) {
    setObjectName("DeviceDialog");
    setWindowTitle(ToQString("Modem Properties: " + device.name));

    name_ = Named(new QLineEdit(ToQString(device.name)), "TxtDeviceName");
    port_ = Named(new QSpinBox, "SpnDevicePort");
    port_->setRange(1, 255);
    port_->setValue(device.port >= 1 && device.port <= 255 ? device.port : kDefaultNetModemPort);
    portTarget_ = Named(new QLabel, "LblPortTarget");
    speed_ = Named(new QComboBox, "CmbDeviceSpeed");
    speed_->setEditable(true);
    for (int speed : kSpeeds) speed_->addItem(QString::number(speed));
    speed_->setCurrentText(QString::number(device.speed));
    init_ = Named(new QLineEdit(ToQString(device.init)), "TxtInitCommand");
    init_->setToolTip("Sent before each call; ^M stands for a carriage return");
    error_ = Named(new QLabel, "LblDeviceError");
    error_->setWordWrap(true);
    error_->setStyleSheet("color: #b00000");
    error_->hide();

    auto* portRow = new QHBoxLayout;
    portRow->addWidget(port_);
    portRow->addWidget(portTarget_, 1);
    auto* form = new QFormLayout;
    form->addRow("Name:", name_);
    form->addRow("Port:", portRow);
    form->addRow("Speed:", speed_);
    form->addRow("Init command:", init_);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(error_);
    layout->addLayout(OkCancelRow(this));

    connect(port_, &QSpinBox::valueChanged, this, [this] { ShowPortTarget(); });
    ShowPortTarget();
    setMinimumWidth(420);
}

void DeviceDialog::ShowPortTarget() {
    std::string text;
    try {
        const PortTarget target = ResolvePortFromIni(port_->value());
        text = target.kind == PortTarget::Kind::NetModem ? "network modem" : target.device;
    } catch (const Error&) {
        text = "not in the port table";
    }
    portTarget_->setText(ToQString(text));
}

ModemDevice DeviceDialog::Device() const {
    ModemDevice device;
    device.name = FromQString(name_->text().trimmed());
    device.port = port_->value();
    const std::string speed = FromQString(speed_->currentText().trimmed());
    const double value = Val(speed);
    device.speed = value >= 0 && value <= 1e7 ? static_cast<int>(RoundHalfEven(value)) : 0;
    device.init = FromQString(init_->text().trimmed());
    return device;
}

void DeviceDialog::accept() {
    const std::string why = CheckDevice(Device());
    if (!why.empty()) {
        error_->setText(ToQString(why));
        error_->show();
        return;
    }
    QDialog::accept();
}

}  // namespace zorv
