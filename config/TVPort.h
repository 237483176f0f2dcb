#pragma once
// The "Communication Settings" dialog: port number, baud rate, data bits, parity, stop
// bits, the DTR and RTS lines and flow control of one comm control. It keeps
// CurrentPortSettings in step with what is picked and nothing more: SetPortSettings
// (config/PortSettings.h) pre-sets it, shows it modally and applies the record once it
// has closed with DialogAccepted true.
//
// Made afresh for each showing, so its lists are filled again and the RTS box starts
// usable. Showing it sets DialogAccepted; only Cancel (or Escape) clears it, so closing
// it with the window's close box confirms it like OK. While SettingsRequired is set,
// Cancel asks "This will end your application": OK there ends the program, Cancel
// keeps the dialog open.
#include <QDialog>
#include <QPointer>

#include "modem/CommControl.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QPushButton;

namespace zorv {

class TVPort : public QDialog {
    Q_OBJECT

public:
    explicit TVPort(QWidget* parent = nullptr);

    // Selects the entries and sets the boxes that show the control's set-up; each
    // selection and each change of a box runs its handler as the user's would. A value
    // the lists do not hold (port 20, 14400 baud, 4 data bits) leaves that list without
    // a selection; a valid settings field is still taken into the record, so
    // confirming without a pick keeps it.
    void PresetFrom(CommControl& comm);

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;  // the close box confirms
    void reject() override;                        // Escape is Cancel

private:
    void BuildControls();
    void FillLists();
    void ConnectHandlers();
    void HardwareClick(bool checked);
    void OkClick();
    void CancelClick();

    QPointer<QGroupBox> framSettings_;
    QPointer<QComboBox> cmbComPort_;
    QPointer<QComboBox> cmbBaudRate_;
    QPointer<QComboBox> cmbDataBits_;
    QPointer<QComboBox> cmbParity_;
    QPointer<QComboBox> cmbStopBits_;
    QPointer<QCheckBox> chkDTREnable_;
    QPointer<QCheckBox> chkRTSEnable_;
    QPointer<QGroupBox> framFlowControl_;
    QPointer<QCheckBox> chkHandshakingSoftware_;
    QPointer<QCheckBox> chkHandshakingHardware_;
    QPointer<QPushButton> cmdOK_;
    QPointer<QPushButton> cmdCancel_;
};

}  // namespace zorv
