#pragma once
// The dialing-properties dialog behind the main window's ConfigLocation button: the
// dialing locations with their outside-line prefix, tone or pulse dialing and
// call-waiting code, and the number as it will be dialled from the chosen one. New adds
// a location, Remove takes the chosen one away (the last one stays). OK checks every
// location and keeps the dialog open with the reason shown when one is wrong.
#include <QDialog>
#include <QPointer>
#include <string>
#include <vector>

#include "platform/telephony/TelephonyConfig.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace zorv {

class LocationDialog : public QDialog {
    Q_OBJECT

public:
    LocationDialog(std::vector<DialingLocation> locations, int current, std::string number,
                   QWidget* parent = nullptr);

    const std::vector<DialingLocation>& Locations() const { return locations_; }
    int CurrentIndex() const { return current_; }

    void accept() override;

private:
    void Choose(int index);
    void FieldsChanged();
    void AddLocation();
    void RemoveLocation();
    void ShowDialString();

    std::vector<DialingLocation> locations_;
    int current_ = 0;
    std::string number_;
    bool loading_ = false;

    QPointer<QComboBox> list_;
    QPointer<QLineEdit> name_;
    QPointer<QLineEdit> prefix_;
    QPointer<QRadioButton> tone_;
    QPointer<QRadioButton> pulse_;
    QPointer<QLineEdit> callWaiting_;
    QPointer<QLabel> dialString_;
    QPointer<QLabel> error_;
    QPointer<QPushButton> remove_;
};

}  // namespace zorv
