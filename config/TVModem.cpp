#include "config/TVModem.h"

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QShowEvent>
#include <cmath>
#include <limits>

#include "config/IniFile.h"
#include "config/IniKeys.h"
#include "config/TVModStr.h"
#include "modem/LineWait.h"
#include "modem/ModemCommands.h"
#include "modem/ModemProfiles.h"
#include "script/LibraryState.h"
#include "script/ResultCodes.h"
#include "util/Error.h"
#include "util/EventHandler.h"
#include "util/FitText.h"
#include "util/Numbers.h"
#include "util/QtText.h"
#include "util/TextUtils.h"
#include "util/Twips.h"
#include "util/UiServices.h"
#include "util/WindowPlacement.h"

namespace zorv {

namespace {

// Design sizes in twips of the area below the menu bar.
constexpr int kClientWidth = 6090;
constexpr int kClientHeight = 3555;

constexpr int kFirstTestTimeout = 30;  // seconds for the modem's answer
constexpr int kRetryExtraTimeout = 10;

constexpr const char* kNullModem = "Null Modem";
constexpr const char* kInvalidModem = "Invalid Modem in database";

// Item data of a model list entry: its record number.
constexpr int kRecordRole = Qt::UserRole;

std::string ItemText(const QListWidgetItem* item) { return FromQString(item->text()); }

// Adds `text` to a list kept in order without regard to letter case; an entry equal to
// others goes behind them. Returns the new item.
QListWidgetItem* InsertSorted(QListWidget* list, const std::string& text, int record) {
    const std::string key = UpperCase(text);
    int low = 0;
    int high = list->count();
    while (low < high) {
        const int middle = (low + high) / 2;
        if (UpperCase(ItemText(list->item(middle))) <= key) low = middle + 1;
        else high = middle;
    }
    auto* item = new QListWidgetItem(ToQString(text));
    item->setData(kRecordRole, record);
    list->insertItem(low, item);
    return item;
}

// The port typed in the box: its leading number, rounded. A number no port can have
// counts as none.
int PortFromText(const std::string& text) {
    const double value = RoundHalfEven(Val(text));
    if (!std::isfinite(value) || value < std::numeric_limits<int16_t>::min() ||
        value > std::numeric_limits<int16_t>::max())
        return 0;
    return static_cast<int>(value);
}

int32_t NumberFromText(const std::string& text) {
    const double value = RoundHalfEven(Val(text));
    if (!std::isfinite(value) || value < std::numeric_limits<int32_t>::min() ||
        value > std::numeric_limits<int32_t>::max())
        return 0;
    return static_cast<int32_t>(value);
}

// Runs a member call of the control whose failure does not matter at this point.
template <typename F>
void IgnoringErrors(F&& call) {
    try {
        call();
    } catch (const Error&) {
    }
}

void ClosePort(CommControl* comm) {
    if (!comm) return;
    IgnoringErrors([comm] {
        if (comm->PortOpen()) comm->SetPortOpen(false);
    });
}

}  // namespace

TVModem::TVModem(const std::string& databaseDirectory, QWidget* parent)
    : QDialog(parent), database_(databaseDirectory) {
    setObjectName("TVModem");
    setWindowTitle("Modem Database");
    setModal(true);
    BuildControls();
    CENTERWINDOW(this);
}

TVModem::~TVModem() = default;

void TVModem::BuildControls() {
    const double dpi = LogicalDpi(this);

    menuBar_ = new QMenuBar(this);
    menuBar_->setObjectName("MenuBar");
    menuUtil_ = menuBar_->addMenu("&Utilities");
    menuUtil_->setObjectName("MenuUtil");
    const char* const items[] = {"", "&Edit Settings", "&Add Modem", "&Delete Modem", "", "&Pack Database"};
    for (int i = 1; i <= 5; ++i) {
        mUtil_[i] = i == 4 ? menuUtil_->addSeparator() : menuUtil_->addAction(QString::fromLatin1(items[i]));
        mUtil_[i]->setObjectName(QString("MUtil(%1)").arg(i));
    }
    connect(mUtil_[1], &QAction::triggered, this, [this] { RunEventHandler([this] { EditSettings(); }); });
    connect(mUtil_[2], &QAction::triggered, this, [this] { RunEventHandler([this] { AddModem(); }); });
    connect(mUtil_[3], &QAction::triggered, this, [this] { RunEventHandler([this] { DeleteModem(); }); });
    connect(mUtil_[5], &QAction::triggered, this, [this] { RunEventHandler([this] { PackModemDatabase(); }); });

    const int menuHeight = menuBar_->sizeHint().height();
    const int width = TwipsToPixels(kClientWidth, dpi);
    menuBar_->setGeometry(0, 0, width, menuHeight);
    auto* body = new QWidget(this);
    body->setGeometry(0, menuHeight, width, TwipsToPixels(kClientHeight, dpi));
    setFixedSize(width, menuHeight + TwipsToPixels(kClientHeight, dpi));

    auto label = [&](const char* name, const char* text, int l, int t, int w, int h) {
        auto* widget = new QLabel(QString::fromLatin1(text), body);
        widget->setObjectName(name);
        PlaceInTwips(widget, l, t, w, h, dpi);
        FitTextToWidth(widget);
        return widget;
    };
    auto list = [&](const char* name, int l, int t, int w, int h) {
        auto* widget = new QListWidget(body);
        widget->setObjectName(name);
        widget->setSelectionMode(QAbstractItemView::SingleSelection);
        PlaceInTwips(widget, l, t, w, h, dpi);
        return widget;
    };
    auto button = [&](const char* name, const char* text, int l, int t, int w, int h) {
        auto* widget = new QPushButton(QString::fromLatin1(text), body);
        widget->setObjectName(name);
        widget->setAutoDefault(false);
        PlaceInTwips(widget, l, t, w, h, dpi);
        return widget;
    };

    lblMake_ = label("LblMake", "Make:", 120, 120, 2415, 240);
    list1_ = list("List1", 120, 390, 2415, 2460);
    lblModel_ = label("LblModel", "Model:", 2655, 120, 3315, 240);
    list2_ = list("List2", 2655, 390, 3315, 2460);
    lblPort_ = label("LblPort", "Comm Port:", 120, 3090, 1140, 255);
    tbPort_ = new QLineEdit("2", body);
    tbPort_->setObjectName("TbPort");
    PlaceInTwips(tbPort_, 1305, 3045, 615, 315, dpi);
    btnOk_ = button("BtnOkExit(0)", "OK", 3585, 3030, 1125, 375);
    btnOk_->setDefault(true);
    btnCancel_ = button("BtnOkExit(1)", "Cancel", 4845, 3030, 1125, 375);

    lblMake_->setBuddy(list1_);
    lblModel_->setBuddy(list2_);
    lblPort_->setBuddy(tbPort_);
    QWidget::setTabOrder(list1_, list2_);
    QWidget::setTabOrder(list2_, tbPort_);
    QWidget::setTabOrder(tbPort_, btnOk_);
    QWidget::setTabOrder(btnOk_, btnCancel_);

    // A click on a make, or moving through the makes with the keys, shows its models.
    connect(list1_, &QListWidget::itemClicked, this, [this] { RunEventHandler([this] { MakeSelection(); }); });
    connect(list1_, &QListWidget::currentRowChanged, this,
            [this] { RunEventHandler([this] { MakeSelection(); }); });
    connect(list2_, &QListWidget::itemDoubleClicked, this, [this] { RunEventHandler([this] { OkClick(); }); });
    connect(btnOk_, &QPushButton::clicked, this, [this] { RunEventHandler([this] { OkClick(); }); });
    connect(btnCancel_, &QPushButton::clicked, this, [this] { RunEventHandler([this] { CancelClick(); }); });
}

TVModStr& TVModem::Editor() {
    if (!editor_) editor_ = new TVModStr(database_, this);
    return *editor_;
}

void TVModem::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!event->spontaneous()) RunEventHandler([this] { Activate(); });
}

void TVModem::reject() { RunEventHandler([this] { CancelClick(); }); }

void TVModem::Activate() {
    cancelled_ = false;
    // The database is read once, at the first showing; later showings, also for another
    // control, keep the lists of that load.
    if (!loadedOnce_) {
        CENTERWINDOW(this);
        Ui().SetWaitPointer(true);
        LoadModemDatabase();
        Ui().SetWaitPointer(false);
        loadedOnce_ = true;
    }
    if (CommControl* comm = CurrentCommControl) {
        IgnoringErrors([&] { tbPort_->setText(QString::number(comm->CommPort())); });
    }
    list1_->setFocus();
}

int TVModem::SearchModemList(const std::string& criteria) {
    // Loading adds the records of a make one after another: the make just added is the
    // one most often looked for.
    if (lastAddedMake_ && ItemText(lastAddedMake_) == criteria) return list1_->row(lastAddedMake_) + 1;
    if (list1_->count() == 0) return 0;
    const std::string key = MakeKey(criteria);
    int low = 0;
    int high = list1_->count() - 1;
    while (low <= high) {
        const int middle = (low + high) / 2;
        const std::string probe = MakeKey(ItemText(list1_->item(middle)));
        if (probe == key) return middle + 1;
        if (probe < key) low = middle + 1;
        else high = middle - 1;
    }
    return 0;
}

void TVModem::LoadModemDatabase() {
    const QSignalBlocker block1(list1_);
    const QSignalBlocker block2(list2_);
    list1_->clear();
    list2_->clear();
    lastAddedMake_ = nullptr;
    makeTable_.clear();

    std::string tag;
    if (CurrentCommControl) IgnoringErrors([&] { tag = CurrentCommControl->Tag(); });
    configuredModemNumber_ =
        NumberFromText(ReadIniKey(ini::ModemSection(tag), ini::kModemNumber.name, ini::kModemNumber.readLimit));

    if (!database_.Load()) return;

    std::string configuredMake;
    bool haveConfiguredMake = false;
    for (int n = 1; n <= database_.ModemCount(); ++n) {
        const ModemRecord& record = database_.Record(n);
        if (!IsLiveRecord(record)) continue;
        const std::string make = TrimBlanks(record.Make.Text());
        const bool sameAsLast = lastAddedMake_ && ItemText(lastAddedMake_) == make;
        if (!sameAsLast && SearchModemList(make) == 0) lastAddedMake_ = InsertSorted(list1_, make, n);
        if (record.ModemNumber == configuredModemNumber_) {
            configuredMake = make;
            haveConfiguredMake = true;
        }
    }

    int configuredRow = 0;
    for (int row = 0; row < list1_->count(); ++row) {
        MakeEntry entry;
        entry.name = ItemText(list1_->item(row));
        entry.firstRecord = list1_->item(row)->data(kRecordRole).toInt();
        if (haveConfiguredMake && configuredRow == 0 && TrimBlanks(entry.name.Text()) == configuredMake)
            configuredRow = row;
        makeTable_.push_back(entry);
    }

    if (list1_->count() == 0) return;
    SelectMakeRow(configuredModemNumber_ != 0 ? configuredRow : 0);
    if (configuredModemNumber_ == 0 && list2_->count() > 0) list2_->setCurrentRow(0);
    for (QListWidget* list : {list1_.data(), list2_.data()})
        if (QListWidgetItem* current = list->currentItem()) list->scrollToItem(current, QAbstractItemView::PositionAtTop);
}

void TVModem::SelectMakeRow(int row) {
    {
        const QSignalBlocker block(list1_);
        list1_->setCurrentRow(row);
    }
    MakeSelection();
}

void TVModem::MakeSelection(int preferredRecord) {
    const QSignalBlocker block(list2_);
    list2_->clear();
    const QListWidgetItem* current = list1_->currentItem();
    if (!current) return;
    const std::string key = MakeKey(ItemText(current));

    // The make table is in the list's order.
    int first = 0;
    int low = 0;
    int high = static_cast<int>(makeTable_.size()) - 1;
    while (low <= high) {
        const int middle = (low + high) / 2;
        const std::string probe = MakeKey(makeTable_[static_cast<std::size_t>(middle)].name.Text());
        if (probe == key) {
            first = makeTable_[static_cast<std::size_t>(middle)].firstRecord;
            break;
        }
        if (probe < key) low = middle + 1;
        else high = middle - 1;
    }
    if (first == 0) return;

    QListWidgetItem* configured = nullptr;
    QListWidgetItem* preferred = nullptr;
    for (int n : database_.MakeChain(first, TrimBlanks(ItemText(current)))) {
        const ModemRecord& record = database_.Record(n);
        if (!IsLiveRecord(record)) continue;
        QListWidgetItem* item = InsertSorted(list2_, record.ModemName.Text(), n);
        if (!configured && record.ModemNumber == configuredModemNumber_) configured = item;
        if (n == preferredRecord) preferred = item;
    }
    if (QListWidgetItem* chosen = preferred ? preferred : configured) list2_->setCurrentItem(chosen);
    else if (list2_->count() > 0) list2_->setCurrentRow(0);
}

bool TVModem::HaveSelectedModel() const { return list2_->currentItem() != nullptr; }

std::string TVModem::SelectedModel() const {
    const QListWidgetItem* item = list2_->currentItem();
    return item ? ItemText(item) : std::string();
}

// The record of the selected model entry; 0 when no model is selected or no record has
// its text (the table may have changed under the list).
int TVModem::SelectedModelRecord() {
    if (!HaveSelectedModel()) return 0;
    const int n = database_.FindModelRecord(SelectedModel());
    return n <= database_.ModemCount() ? n : 0;
}

void TVModem::ShowInvalidModem() {
    Ui().Beep();
    MsgBox(kInvalidModem);
}

void TVModem::EditSettings() {
    if (testRunning_) return;
    const int n = SelectedModelRecord();
    if (n == 0) {
        ShowInvalidModem();
        return;
    }
    TVModStr& editor = Editor();
    editor.ShowRecord(database_.Record(n));
    editor.SetEditIndex(n);
    editor.exec();
    // An edit may have changed the model's text: list the make's models again, so every
    // entry names a record of the database.
    if (editor.result() == QDialog::Accepted) MakeSelection(n);
}

void TVModem::AddModem() {
    if (testRunning_) return;
    const int m = database_.ModemCount() + 1;
    TVModStr& editor = Editor();
    editor.ShowNewRecord(database_.HighestModemNumber() + 1);
    editor.SetEditIndex(-m);
    editor.exec();
    // The editor appended the record to the file and the table; the lists are read anew
    // so the new make or model shows.
    if (editor.NewRecordMarker() == " ") LoadModemDatabase();
}

void TVModem::DeleteModem() {
    if (testRunning_) return;
    const int n = SelectedModelRecord();
    if (n == 0) {
        ShowInvalidModem();
        return;
    }
    if (!database_.DeleteMark(n)) return;
    {
        const QSignalBlocker block(list2_);
        delete list2_->currentItem();
    }
    if (list2_->count() == 0) {
        // The make's last model went: the make goes too, and the make that takes its
        // place in the list is shown.
        const int row = list1_->currentRow();
        QListWidgetItem* make = list1_->currentItem();
        {
            const QSignalBlocker block(list1_);
            delete make;
        }
        lastAddedMake_ = nullptr;  // the list had an entry removed
        if (list1_->count() > 0) SelectMakeRow(std::min(row, list1_->count() - 1));
        return;
    }
    MakeSelection();
}

void TVModem::PackModemDatabase() {
    if (testRunning_) return;
    setCursor(Qt::WaitCursor);
    const bool packed = database_.PackDatabase();
    if (packed) LoadModemDatabase();
    unsetCursor();
}

void TVModem::OkClick() {
    if (testRunning_) return;
    const QString caption = windowTitle();
    INITCONSTANTS();
    cancelled_ = false;

    const int n = SelectedModelRecord();
    if (n == 0) {
        ShowInvalidModem();
        return;
    }
    const ModemRecord record = database_.Record(n);
    CommControl* comm = CurrentCommControl;

    if (TrimBlanks(SelectedModel()) == kNullModem) {
        // A cable without a modem: nothing to test.
        StoreModem(record, PortFromText(FromQString(tbPort_->text())), caption);
        return;
    }

    const std::string init = TRIMCTLCHARS(record.InitString.Text());
    const int port = PortFromText(FromQString(tbPort_->text()));
    if (port == 0) {
        MsgBox("No Port Specified");
        return;
    }
    // The test runs at a speed every modem of its class answers at.
    const std::string settings = record.HighestBaud >= 2400 ? "2400,N,8,1" : "300,N,8,1";
    bool opened = false;
    if (comm) {
        IgnoringErrors([&] { comm->SetCommPort(port); });
        IgnoringErrors([&] { comm->SetSettings(settings); });
        try {
            comm->SetPortOpen(true);
            opened = true;
        } catch (const Error&) {
        }
    }
    if (!opened) {
        MsgBox("COM" + std::to_string(port) + " is not available");
        return;
    }

    int timeout = kFirstTestTimeout;
    bool retried = false;
    setWindowTitle("Configuring your modem, please wait...");
    Ui().SetWaitPointer(true);

    // Only the first command of the initialization text is sent: it shows that the
    // modem is there and understands us; the rest is for when the line is used.
    const std::string text = CARET2CTRL(TRIMCTLCHARS(std::string(init)));
    const std::size_t cr = text.find('\r');
    if (cr != std::string::npos) {
        const std::string firstCommand = TRIMCTLCHARS(text.substr(0, cr + 1));
        for (;;) {
            std::string command = firstCommand;
            ModemResult result = MR_NONE;
            {
                struct Running {
                    bool& flag;
                    explicit Running(bool& f) : flag(f) { flag = true; }
                    ~Running() { flag = false; }
                } running(testRunning_);
                SENDMODEMCMD(*comm, command, 1, timeout, result);
            }
            if (cancelled_) {
                // Cancel closed the window while the modem was being asked: whatever the
                // modem said, nothing is stored.
                SETRESULT(RC_CANCELED);
                TestFailed(caption, RESULTMESSAGE());
                return;
            }
            if (result == MR_OK) break;
            if (result == MR_ERROR || result == MR_TIMEOUT) {
                if (!retried) {
                    setWindowTitle("An Error occurred, trying again..");
                    timeout += kRetryExtraTimeout;
                    retried = true;
                    continue;
                }
                TestFailed(caption, "Error: You may have picked the wrong modem.");
                return;
            }
            TestFailed(caption, RESULTMESSAGE());
            return;
        }
    }
    StoreModem(record, port, caption);
}

void TVModem::TestFailed(const QString& caption, const std::string& message) {
    setWindowTitle(caption);
    Ui().SetWaitPointer(false);
    MsgBox(message);
    ClosePort(CurrentCommControl);
}

void TVModem::StoreModem(const ModemRecord& record, int port, const QString& caption) {
    setWindowTitle("Saving Information...");
    CommControl* comm = CurrentCommControl;
    const int slot = comm ? FINDCOMMSLOT(*comm) : 0;
    if (slot == 0) {
        // No control to store the modem for: the window goes back to how it was.
        setWindowTitle(caption);
        Ui().SetWaitPointer(false);
        ClosePort(comm);
        return;
    }
    std::string tag;
    IgnoringErrors([&] { tag = comm->Tag(); });
    const std::string section = ini::ModemSection(tag);
    ModemProfile& profile = SlotProfile(slot);

    // Each key is written, then its field goes into the control's profile as stored in
    // the database (full width, caret notation kept).
    bool allWritten = true;
    auto write = [&](const ini::ModemKey& key, const std::string& value) {
        allWritten = WriteIniKey(section, key.name, value) && allWritten;
    };
    auto writeText = [&](const ini::ModemKey& key, const std::string& field) {
        std::string value = TRIMCTLCHARS(std::string(field));
        write(key, value.empty() ? key.writtenIfEmpty : value);
    };
    write(ini::kModemNumber, std::to_string(record.ModemNumber));
    profile.ModemNumber = record.ModemNumber;
    writeText(ini::kModemName, record.ModemName.Text());
    profile.ModemName = record.ModemName;
    write(ini::kHighestBaud, std::to_string(record.HighestBaud));
    profile.HighestBaud = record.HighestBaud;
    writeText(ini::kInitString, record.InitString.Text());
    profile.InitString = record.InitString;
    writeText(ini::kConnect, record.Connect.Text());
    profile.Connect = record.Connect;
    writeText(ini::kAttention, record.Attention.Text());
    profile.Attention = record.Attention;
    writeText(ini::kHangup, record.Hangup.Text());
    profile.Hangup = record.Hangup;
    writeText(ini::kReset, record.Reset.Text());
    profile.Reset = record.Reset;
    writeText(ini::kAnswer, record.Answer.Text());
    profile.Answer = record.Answer;
    writeText(ini::kDial, record.Dial.Text());
    profile.Dial = record.Dial;
    writeText(ini::kBusy, record.Busy.Text());
    profile.Busy = record.Busy;

    // The modem is in use for this run either way; the user learns that the next run
    // will not find it.
    if (!allWritten) MsgBox("The modem settings could not be saved in " + IniFilePath() + ".");

    modemDescription_ = "COM" + std::to_string(port) + ": " + record.ModemName.Text();
    CloseWindow(caption);
    done(QDialog::Accepted);
}

void TVModem::CancelClick() {
    const QString caption = windowTitle();
    // A modem test waiting for its answer stops with the canceled result.
    CancelRequested = -1;
    cancelled_ = true;
    modemDescription_.clear();
    CloseWindow(caption);
    done(QDialog::Rejected);
}

void TVModem::CloseWindow(const QString& caption) {
    ClosePort(CurrentCommControl);
    setWindowTitle(caption);
    Ui().SetWaitPointer(false);
    hide();
}

TVModem& TheTVModem() {
    static QPointer<TVModem> window;
    if (!window) window = new TVModem();
    return *window;
}

}  // namespace zorv
