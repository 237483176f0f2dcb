#include "config/TVModStr.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <cmath>
#include <limits>

#include "config/ModemDatabase.h"
#include "util/Error.h"
#include "util/EventHandler.h"
#include "util/FitText.h"
#include "util/Numbers.h"
#include "util/QtText.h"
#include "util/TextUtils.h"
#include "util/Twips.h"
#include "util/WindowPlacement.h"

namespace zorv {

namespace {

// Design sizes in twips: one row per field, the labels in a column on the left.
constexpr int kClientWidth = 5235;
constexpr int kClientHeight = 5025;
constexpr int kRowTop = 120;
constexpr int kRowPitch = 360;
constexpr int kLabelLeft = 120;
constexpr int kLabelWidth = 1335;
constexpr int kBoxLeft = 1500;
constexpr int kBoxWidth = 3615;
constexpr int kBoxHeight = 285;
constexpr int kButtonTop = 4530;

constexpr int kOverflow = 6;

// A highest speed typed in the box: the leading number, rounded. A number that does not
// fit the record's 32-bit field is refused rather than stored as something else.
int32_t BaudFromText(const std::string& text) {
    const double value = RoundHalfEven(Val(text));
    if (!std::isfinite(value) || value < std::numeric_limits<int32_t>::min() ||
        value > std::numeric_limits<int32_t>::max())
        throw Error(kOverflow, "Overflow");
    return static_cast<int32_t>(value);
}

}  // namespace

TVModStr::TVModStr(ModemDatabase& database, QWidget* parent) : QDialog(parent), database_(database) {
    setObjectName("TVModStr");
    setWindowTitle("Modem Strings");
    setModal(true);
    BuildControls();
    // Loaded while the modem database window is the active one: it goes one title bar
    // below and to the right of it.
    CASCADEWINDOW(this);
}

void TVModStr::BuildControls() {
    const double dpi = LogicalDpi(this);
    setFixedSize(TwipsToPixels(kClientWidth, dpi), TwipsToPixels(kClientHeight, dpi));

    int row = 0;
    auto caption = [&](const char* name, const char* text) {
        auto* label = new QLabel(QString::fromLatin1(text), this);
        label->setObjectName(name);
        PlaceInTwips(label, kLabelLeft, kRowTop + row * kRowPitch + 30, kLabelWidth, kBoxHeight - 30, dpi);
        FitTextToWidth(label);
        return label;
    };
    auto box = [&](const char* name, const char* label, const char* designText) {
        QLabel* title = caption((std::string("Lbl") + name).c_str(), label);
        auto* edit = new QLineEdit(QString::fromLatin1(designText), this);
        edit->setObjectName(name);
        PlaceInTwips(edit, kBoxLeft, kRowTop + row * kRowPitch, kBoxWidth, kBoxHeight, dpi);
        title->setBuddy(edit);
        ++row;
        return edit;
    };

    caption("LblModemNumber", "Modem #");
    modemNumber_ = new QLabel(this);
    modemNumber_->setObjectName("ModemNumber");
    PlaceInTwips(modemNumber_, kBoxLeft, kRowTop + 30, kBoxWidth, kBoxHeight - 30, dpi);
    ++row;
    vendor_ = box("Vendor", "Make:", "");
    model_ = box("Model", "Model:", "");
    highestBaud_ = box("HighestBaud", "Highest Baud:", "");
    init_ = box("Init", "Initialization:", "");
    attention_ = box("Attention", "Attention:", "AT");
    hangup_ = box("Hangup", "Hangup:", "ATH^M");
    resetStr_ = box("ResetStr", "Reset:", "ATZ^M");
    answer_ = box("Answer", "Answer:", "ATA^M");
    dial_ = box("Dial", "Dial Prefix:", "ATDT");
    busy_ = box("Busy", "Busy:", "BUSY");
    connect_ = box("Connect", "Connect:", "CONNECT");

    auto button = [&](const char* name, const char* text, int left) {
        auto* widget = new QPushButton(QString::fromLatin1(text), this);
        widget->setObjectName(name);
        widget->setAutoDefault(false);
        PlaceInTwips(widget, left, kButtonTop, 1125, 375, dpi);
        return widget;
    };
    cmdOk_ = button("Command1(0)", "OK", 2745);
    cmdOk_->setDefault(true);
    cmdCancel_ = button("Command1(1)", "Cancel", 3990);

    connect(cmdOk_, &QPushButton::clicked, this, [this] { RunEventHandler([this] { OkClick(); }); });
    connect(cmdCancel_, &QPushButton::clicked, this, [this] { RunEventHandler([this] { CancelClick(); }); });
}

std::string TVModStr::BoxText(const QLineEdit* box) const { return FromQString(box->text()); }

void TVModStr::ShowRecord(const ModemRecord& record) {
    // The number, speed, make and model are shown behind one blank, the strings as
    // they would be used.
    modemNumber_->setText(ToQString(" " + std::to_string(record.ModemNumber)));
    highestBaud_->setText(ToQString(" " + std::to_string(record.HighestBaud)));
    vendor_->setText(ToQString(" " + TrimBlanks(record.Make.Text())));
    model_->setText(ToQString(" " + TrimBlanks(record.ModemName.Text())));
    init_->setText(ToQString(TRIMCTLCHARS(record.InitString.Text())));
    connect_->setText(ToQString(TRIMCTLCHARS(record.Connect.Text())));
    answer_->setText(ToQString(TRIMCTLCHARS(record.Answer.Text())));
    busy_->setText(ToQString(TRIMCTLCHARS(record.Busy.Text())));
    dial_->setText(ToQString(TRIMCTLCHARS(record.Dial.Text())));
    attention_->setText(ToQString(TRIMCTLCHARS(record.Attention.Text())));
    hangup_->setText(ToQString(TRIMCTLCHARS(record.Hangup.Text())));
    resetStr_->setText(ToQString(TRIMCTLCHARS(record.Reset.Text())));
}

void TVModStr::ShowNewRecord(int32_t modemNumber) {
    modemNumber_->setText(ToQString(" " + std::to_string(modemNumber)));
    highestBaud_->setText(" 57600");
    model_->setText(" ");
    init_->setText("AT^M");
}

void TVModStr::OkClick() {
    const bool isNew = editIndex_ < 0;
    const int n = isNew ? -editIndex_ : editIndex_;

    ModemRecord entered;
    entered.ModemName = TrimBlanks(BoxText(model_));
    entered.InitString = TrimBlanks(BoxText(init_));
    entered.Attention = TrimBlanks(BoxText(attention_));
    entered.Answer = TrimBlanks(BoxText(answer_));
    entered.Busy = TrimBlanks(BoxText(busy_));
    entered.Reset = TrimBlanks(BoxText(resetStr_));
    entered.Hangup = TrimBlanks(BoxText(hangup_));
    entered.Dial = TrimBlanks(BoxText(dial_));
    entered.Connect = TrimBlanks(BoxText(connect_));
    entered.HighestBaud = BaudFromText(BoxText(highestBaud_));

    // A write that failed has been shown; the editor stays open with what was typed, so
    // nothing is lost and the user can try again or cancel.
    if (isNew) {
        if (!database_.Append(entered, TrimBlanks(BoxText(vendor_)))) return;
        editIndex_ = n;
        newRecordMarker_ = " ";
    } else {
        // The make and the number belong to the record: the boxes only show them.
        if (!database_.Update(n, entered)) return;
        newRecordMarker_.clear();
    }
    hide();
    done(QDialog::Accepted);
}

void TVModStr::CancelClick() {
    hide();
    done(QDialog::Rejected);
}

void TVModStr::reject() { CancelClick(); }

}  // namespace zorv
