#pragma once
// The modem properties dialog behind the main window's ConfigModem button: name, port,
// speed and init command of one device. OK checks the entries and keeps the dialog open
// with the reason shown when one is wrong; the caller stores the accepted device.
#include <QDialog>
#include <QPointer>

#include "platform/telephony/TelephonyConfig.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;

namespace zorv {

class DeviceDialog : public QDialog {
    Q_OBJECT

public:
    explicit DeviceDialog(const ModemDevice& device, QWidget* parent = nullptr);

    // The device as the fields hold it.
    ModemDevice Device() const;

    void accept() override;

private:
    void ShowPortTarget();

    QPointer<QLineEdit> name_;
    QPointer<QSpinBox> port_;
    QPointer<QLabel> portTarget_;
    QPointer<QComboBox> speed_;
    QPointer<QLineEdit> init_;
    QPointer<QLabel> error_;
};

}  // namespace zorv
