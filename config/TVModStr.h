#pragma once
// The record editor of the modem database window: shows one modem's make, model, number,
// highest speed and command and response strings, and on OK writes them back to
// MODEMS.DAT (an edited record in place, a new one appended to its make).
//
// The modem database window fills the boxes (ShowRecord for an edit, ShowNewRecord for
// an add), sets EditIndex (n edits record n, -n adds record n) and shows the editor
// modally. Afterwards NewRecordMarker tells what happened: a single blank after OK on a
// new record, empty after OK on an edit; Cancel leaves it as it was.
//
// The editor is only hidden between uses, so its boxes keep their texts: a new modem
// starts from the make and strings last shown.
#include <QDialog>
#include <QPointer>
#include <string>

#include "modem/ModemRecord.h"

class QLabel;
class QLineEdit;
class QPushButton;

namespace zorv {

class ModemDatabase;

class TVModStr : public QDialog {
    Q_OBJECT

public:
    explicit TVModStr(ModemDatabase& database, QWidget* parent = nullptr);

    int EditIndex() const { return editIndex_; }
    void SetEditIndex(int index) { editIndex_ = index; }
    const std::string& NewRecordMarker() const { return newRecordMarker_; }

    // Fills every box from `record` for an edit.
    void ShowRecord(const ModemRecord& record);
    // Fills the boxes of a new modem with number `modemNumber`; the make and the command
    // and response strings keep what they showed last.
    void ShowNewRecord(int32_t modemNumber);

protected:
    void reject() override;  // Escape and the window's close button are Cancel

private:
    void BuildControls();
    void OkClick();
    void CancelClick();
    std::string BoxText(const QLineEdit* box) const;

    ModemDatabase& database_;
    int editIndex_ = 0;
    std::string newRecordMarker_;

    QPointer<QLabel> modemNumber_;
    QPointer<QLineEdit> vendor_;
    QPointer<QLineEdit> model_;
    QPointer<QLineEdit> highestBaud_;
    QPointer<QLineEdit> init_;
    QPointer<QLineEdit> attention_;
    QPointer<QLineEdit> hangup_;
    QPointer<QLineEdit> resetStr_;
    QPointer<QLineEdit> answer_;
    QPointer<QLineEdit> dial_;
    QPointer<QLineEdit> busy_;
    QPointer<QLineEdit> connect_;
    QPointer<QPushButton> cmdOk_;
    QPointer<QPushButton> cmdCancel_;
};

}  // namespace zorv
