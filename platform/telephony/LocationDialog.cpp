#include "platform/telephony/LocationDialog.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "platform/telephony/DialogParts.h"
#include "util/QtText.h"

namespace zorv {

LocationDialog::LocationDialog(std::vector<DialingLocation> locations, int current, std::string number,
                               QWidget* parent)
    : QDialog(parent), locations_(std::move(locations)), number_(std::move(number)) {
    if (locations_.empty()) locations_.push_back(DialingLocation{kDefaultLocationName, "", false, ""});
    current_ = current >= 0 && current < static_cast<int>(locations_.size()) ? current : 0;

    setObjectName("LocationDialog");
    setWindowTitle("Dialing Properties");

    list_ = Named(new QComboBox, "CmbLocation");
    auto* add = Named(new QPushButton("New"), "CmdNewLocation");
    remove_ = Named(new QPushButton("Remove"), "CmdRemoveLocation");
    name_ = Named(new QLineEdit, "TxtLocationName");
    prefix_ = Named(new QLineEdit, "TxtOutsidePrefix");
    prefix_->setToolTip("Dialled first to reach an outside line, such as 9");
    tone_ = Named(new QRadioButton("Tone"), "OptTone");
    pulse_ = Named(new QRadioButton("Pulse"), "OptPulse");
    auto* method = new QButtonGroup(this);
    method->addButton(tone_);
    method->addButton(pulse_);
    callWaiting_ = Named(new QLineEdit, "TxtCallWaiting");
    callWaiting_->setToolTip("Dialled before the number to hold call waiting off, such as *70");
    dialString_ = Named(new QLabel, "LblDialString");
    dialString_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    error_ = Named(new QLabel, "LblLocationError");
    error_->setWordWrap(true);
    error_->setStyleSheet("color: #b00000");
    error_->hide();

    auto* top = new QHBoxLayout;
    top->addWidget(list_, 1);
    top->addWidget(add);
    top->addWidget(remove_);
    auto* methodRow = new QHBoxLayout;
    methodRow->addWidget(tone_);
    methodRow->addWidget(pulse_);
    methodRow->addStretch(1);
    auto* form = new QFormLayout;
    form->addRow("Location:", top);
    form->addRow("Name:", name_);
    form->addRow("Outside line:", prefix_);
    form->addRow("Dial using:", methodRow);
    form->addRow("Call waiting off:", callWaiting_);
    form->addRow("Dialed as:", dialString_);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(error_);
    layout->addLayout(OkCancelRow(this));

    for (const DialingLocation& location : locations_) list_->addItem(ToQString(location.name));
    connect(list_, &QComboBox::currentIndexChanged, this, [this](int index) { Choose(index); });
    connect(add, &QPushButton::clicked, this, [this] { AddLocation(); });
    connect(remove_, &QPushButton::clicked, this, [this] { RemoveLocation(); });
    for (QLineEdit* edit : {name_.data(), prefix_.data(), callWaiting_.data()})
        connect(edit, &QLineEdit::textChanged, this, [this] { FieldsChanged(); });
    connect(pulse_, &QRadioButton::toggled, this, [this] { FieldsChanged(); });

    list_->setCurrentIndex(current_);
    Choose(current_);
    setMinimumWidth(440);
}

void LocationDialog::Choose(int index) {
    if (index < 0 || index >= static_cast<int>(locations_.size())) return;
    current_ = index;
    const DialingLocation& location = locations_[current_];
    loading_ = true;
    name_->setText(ToQString(location.name));
    prefix_->setText(ToQString(location.outsidePrefix));
    (location.pulse ? pulse_ : tone_)->setChecked(true);
    callWaiting_->setText(ToQString(location.callWaiting));
    loading_ = false;
    remove_->setEnabled(locations_.size() > 1);
    ShowDialString();
}

void LocationDialog::FieldsChanged() {
    if (loading_) return;
    DialingLocation& location = locations_[current_];
    location.name = FromQString(name_->text().trimmed());
    location.outsidePrefix = FromQString(prefix_->text().trimmed());
    location.pulse = pulse_->isChecked();
    location.callWaiting = FromQString(callWaiting_->text().trimmed());
    list_->setItemText(current_, ToQString(location.name));
    ShowDialString();
}

void LocationDialog::ShowDialString() {
    const DialingLocation& location = locations_[current_];
    const std::string why = CheckLocation(location);
    dialString_->setText(why.empty() ? ToQString(DialCommand(location, number_)) : QString("(cannot be dialled)"));
}

void LocationDialog::AddLocation() {
    if (static_cast<int>(locations_.size()) >= kMaxLocations) return;
    int n = static_cast<int>(locations_.size()) + 1;
    std::string name;
    do name = "Location " + std::to_string(n++);
    while (FindByName(locations_, name) >= 0);
    locations_.push_back(DialingLocation{name, "", false, ""});
    list_->addItem(ToQString(name));
    list_->setCurrentIndex(static_cast<int>(locations_.size()) - 1);
}

void LocationDialog::RemoveLocation() {
    if (locations_.size() <= 1) return;
    const int removed = current_;
    locations_.erase(locations_.begin() + removed);
    current_ = std::min(removed, static_cast<int>(locations_.size()) - 1);
    loading_ = true;  // the list moves its selection while the item goes
    list_->removeItem(removed);
    loading_ = false;
    list_->setCurrentIndex(current_);
    Choose(current_);
}

void LocationDialog::accept() {
    for (size_t i = 0; i < locations_.size(); ++i) {
        std::string why = CheckLocation(locations_[i]);
        if (why.empty() && FindByName(locations_, locations_[i].name) != static_cast<int>(i))
            why = "Two locations are named \"" + locations_[i].name + "\"";
        if (!why.empty()) {
            list_->setCurrentIndex(static_cast<int>(i));
            error_->setText(ToQString(why));
            error_->show();
            return;
        }
    }
    QDialog::accept();
}

}  // namespace zorv
