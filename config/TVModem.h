#pragma once
// The modem database window: pick the modem attached to a comm control from MODEMS.DAT,
// test it on a port and store it for the control; its Utilities menu edits, adds,
// deletes modems and packs the file (editing and adding through TVModStr).
//
// How a caller uses it (the window works for CurrentCommControl):
//
//     CurrentCommControl = &comm;
//     TVModem& window = TheTVModem();
//     window.setWindowTitle(ToQString(comm.Tag() + " Modem Settings"));
//     window.exec();                                   // modal; the window hides itself
//     const std::string chosen = window.ModemDescription();  // "" = nothing chosen
//
// ModemDescription is "COM" + port + ": " + the model text at its full 40 characters.
// On a confirmed modem the window has written the control's "Modem_" + Tag section of
// the INI file and its ModemProfile; the control keeps the port typed in the window and,
// for a tested modem, the test settings ("2400,N,8,1" or "300,N,8,1"), closed.
//
// The window is only ever hidden, never destroyed between uses: the database is read at
// its first showing and again after each confirmed add and each pack, and its lists and
// pre-selection stay from one showing to the next.
#include <QDialog>
#include <QPointer>
#include <string>
#include <vector>

#include "config/ModemDatabase.h"

class QListWidget;
class QListWidgetItem;
class QLineEdit;
class QLabel;
class QMenuBar;
class QMenu;
class QAction;
class QPushButton;

namespace zorv {

class TVModStr;

// One entry of the make list: the make as listed and its first live record.
struct MakeEntry {
    FixedText<25> name;
    int firstRecord = 0;
};

class TVModem : public QDialog {
    Q_OBJECT

public:
    // The database in `databaseDirectory`; by default the executable's folder.
    explicit TVModem(const std::string& databaseDirectory = "", QWidget* parent = nullptr);
    ~TVModem() override;

    // The result of the last showing (the window's Tag text): "COM<port>: <model>" for
    // a stored modem, empty when nothing was chosen.
    const std::string& ModemDescription() const { return modemDescription_; }

    // 1 + the position (from 0) of the make list entry that names the make `criteria`
    // (blanks around and letter case ignored), 0 when there is none.
    int SearchModemList(const std::string& criteria);

    // Reads MODEMS.DAT again and rebuilds the lists, pre-selecting the modem configured
    // for CurrentCommControl.
    void LoadModemDatabase();

    // What the window holds, for callers that look at it.
    const ModemDatabase& Database() const { return database_; }
    const std::vector<MakeEntry>& MakeTable() const { return makeTable_; }
    int32_t ConfiguredModemNumber() const { return configuredModemNumber_; }
    // The record editor, made on first use of Edit or Add.
    TVModStr& Editor();

protected:
    void showEvent(QShowEvent* event) override;
    void reject() override;  // Escape and the window's close button are Cancel

private:
    void BuildControls();
    void Activate();
    void MakeSelection(int preferredRecord = 0);
    void OkClick();
    void CancelClick();
    void CloseWindow(const QString& caption);
    void EditSettings();
    void AddModem();
    void DeleteModem();
    void PackModemDatabase();
    void TestFailed(const QString& caption, const std::string& message);
    void StoreModem(const ModemRecord& record, int port, const QString& caption);
    bool HaveSelectedModel() const;
    std::string SelectedModel() const;
    int SelectedModelRecord();
    void ShowInvalidModem();
    void SelectMakeRow(int row);

    ModemDatabase database_;
    std::vector<MakeEntry> makeTable_;
    int32_t configuredModemNumber_ = 0;
    bool loadedOnce_ = false;
    std::string modemDescription_;
    // The make most recently added to the make list, while it is still there.
    QListWidgetItem* lastAddedMake_ = nullptr;
    // Set by Cancel, so a modem test that was waiting when it was pressed stores nothing.
    bool cancelled_ = false;
    // True while OK waits for the modem's answer: a second OK, a double click or the
    // Utilities menu would start another test or change the table under the running one.
    bool testRunning_ = false;

    QPointer<QMenuBar> menuBar_;
    QPointer<QMenu> menuUtil_;
    QPointer<QAction> mUtil_[6];
    QPointer<QLabel> lblMake_;
    QPointer<QLabel> lblModel_;
    QPointer<QLabel> lblPort_;
    QPointer<QListWidget> list1_;
    QPointer<QListWidget> list2_;
    QPointer<QLineEdit> tbPort_;
    QPointer<QPushButton> btnOk_;
    QPointer<QPushButton> btnCancel_;
    QPointer<TVModStr> editor_;
};

// The one modem database window of the library, made on first use (database next to
// the executable).
TVModem& TheTVModem();

}  // namespace zorv
