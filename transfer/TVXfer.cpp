#include "transfer/TVXfer.h"

#include <sys/stat.h>

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShowEvent>
#include <cerrno>
#include <cstring>
#include <vector>

#include "modem/ModemCommands.h"
#include "script/LibraryState.h"
#include "script/RecordingTrace.h"
#include "script/ResultCodes.h"
#include "script/ScriptLanguage.h"
#include "util/TextUtils.h"
#include "script/StatusText.h"
#include "transfer/AsciiSend.h"
#include "transfer/FileDialog.h"
#include "util/QtText.h"
#include "util/Twips.h"
#include "util/UiServices.h"
#include "util/WindowPlacement.h"

namespace zorv {

std::string TransferFileName;

namespace {

struct ProtocolEntry {
    const char* listText;
    const char* scriptName;
};

constexpr ProtocolEntry kProtocols[] = {
    {"Xmodem-Checksum", "XMODEM-CHECKSUM"}, {"Xmodem-CRC", "XMODEM-CRC"},     {"Xmodem-1K", "XMODEM-1K"},
    {"Ymodem-Batch", "YMODEM-BATCH"},       {"Ymodem-G", "YMODEM-G"},         {"Zmodem", "ZMODEM"},
    {"Kermit", "KERMIT"},                   {"CompuServe B+", "COMPUSERVE"}, {"ASCII", "ASCII"},
};
constexpr int kProtocolCount = 9;
constexpr int kCompuServeEntry = 7;

// Design sizes in twips.
constexpr int kClientWidth = 5130;
constexpr int kClientHeight = 2355;

const char* const kTransferTypeError =
    "Error! You must set TV_TransferType\r\nto a valid value before loading this\r\n"
    "form! (See 'File transfer constants'\r\nin TELVANE.)";
const char* const kNeedFileName = "You must enter a filename!";

bool EndsWith(const std::string& text, const std::string& tail) {
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

std::vector<std::string> SplitAtBlanks(const std::string& text) {
    std::vector<std::string> parts;
    size_t start = 0;
    while (true) {
        const size_t blank = text.find(' ', start);
        parts.push_back(text.substr(start, blank == std::string::npos ? std::string::npos : blank - start));
        if (blank == std::string::npos) break;
        start = blank + 1;
    }
    return parts;
}

// An error of the file system in the classic numbering, for the folder checks.
struct FolderError {
    int number;
    const char* description;
};

FolderError ClassifyErrno(int error) {
    switch (error) {
        case EACCES:
        case EPERM: return {70, "Permission denied"};
        case ENAMETOOLONG:
        case ELOOP: return {52, "Bad file name or number"};
        default: return {57, "Device I/O error"};
    }
}

// Checks one transfer folder (ending in "/") and creates it when it is missing but
// its parent is there.
void CheckTransferFolder(const std::string& folder) {
    const std::string name = folder.substr(0, folder.size() - 1);
    struct stat info {};
    if (::stat(name.c_str(), &info) == 0) {
        if (!S_ISDIR(info.st_mode))
            MsgBox(name + "\r\n\r\nA file by this name exists. Cannot use it as a transfer directory.");
        return;
    }
    const int error = errno;
    if (error == ENOENT || error == ENOTDIR) {
        const size_t slash = name.find_last_of('/');
        const std::string parent = slash == std::string::npos ? "." : (slash == 0 ? "/" : name.substr(0, slash));
        struct stat parentInfo {};
        const bool parentIsFolder = ::stat(parent.c_str(), &parentInfo) == 0 && S_ISDIR(parentInfo.st_mode);
        if (error == ENOENT && parentIsFolder && !name.empty()) {
            MsgBox(folder + "\nwill be created", MsgButtons::Ok, kProgramTitle, MsgIcon::Warning);
            if (::mkdir(name.c_str(), 0777) != 0) MsgBox(folder + "\ncould not be created!");
            return;
        }
        MsgBox("Path not found! Can only create a directory one level deep.");
        return;
    }
    const FolderError classic = ClassifyErrno(error);
    MsgBox("Run-time error  " + std::to_string(classic.number) + ":\r\n\r\n" + classic.description);
}

}  // namespace

const char* ProtocolListText(int index) {
    return index >= 0 && index < kProtocolCount ? kProtocols[index].listText : "";
}

const char* ProtocolScriptName(int index) {
    return index >= 0 && index < kProtocolCount ? kProtocols[index].scriptName : "";
}

bool IsBatchProtocol(int index) { return index >= XFER_YMODEM_BATCH && index <= XFER_CSERVE_BPLUS; }

TVXfer::TVXfer(QWidget* parent) : QDialog(parent) {
    setObjectName("TVXfer");
    setModal(true);
    BuildControls();
    // Load: the protocol list, then the dialog in the middle of the screen.
    for (int i = 0; i < kProtocolCount; ++i) cmbProtocol_->addItem(ToQString(kProtocols[i].listText));
    CENTERWINDOW(this);
}

void TVXfer::BuildControls() {
    const double dpi = LogicalDpi(this);
    setFixedSize(TwipsToPixels(kClientWidth, dpi), TwipsToPixels(kClientHeight, dpi));

    auto label = [&](const char* name, const char* text, int l, int t, int w, int h) {
        auto* widget = new QLabel(QString::fromLatin1(text), this);
        widget->setObjectName(name);
        PlaceInTwips(widget, l, t, w, h, dpi);
        return widget;
    };
    auto button = [&](const char* name, const char* text, int l, int t, int w, int h) {
        auto* widget = new QPushButton(QString::fromLatin1(text), this);
        widget->setObjectName(name);
        widget->setAutoDefault(false);
        PlaceInTwips(widget, l, t, w, h, dpi);
        return widget;
    };

    lblFilename_ = label("LblFilename", "&Filename:", 135, 450, 4830, 255);
    txtFilename_ = new QLineEdit(this);
    txtFilename_->setObjectName("TxtFilename");
    PlaceInTwips(txtFilename_, 135, 675, 3615, 285, dpi);
    cmdBrowse_ = button("CmdBrowse", "&Browse...", 3825, 630, 1125, 375);
    lblProtocol_ = label("LblProtocol", "&Protocol:", 135, 1125, 1215, 300);
    cmbProtocol_ = new QComboBox(this);
    cmbProtocol_->setObjectName("CmbProtocol");
    PlaceInTwips(cmbProtocol_, 135, 1350, 4830, 315, dpi);
    cmdOk_ = button("CmdOkCancel(0)", "OK", 2700, 1890, 1125, 375);
    cmdOk_->setDefault(true);
    cmdCancel_ = button("CmdOkCancel(1)", "&Cancel", 3870, 1890, 1125, 375);
    lblFolder_ = label("LblFolder", "Folder:", 120, 135, 615, 255);
    lblPath_ = label("LblPath", "", 795, 135, 4245, 240);

    lblFilename_->setBuddy(txtFilename_);
    lblProtocol_->setBuddy(cmbProtocol_);
    // Tab order as designed: the file name first, the folder labels last.
    QWidget::setTabOrder(txtFilename_, cmdBrowse_);
    QWidget::setTabOrder(cmdBrowse_, cmbProtocol_);
    QWidget::setTabOrder(cmbProtocol_, cmdOk_);
    QWidget::setTabOrder(cmdOk_, cmdCancel_);

    connect(cmbProtocol_, &QComboBox::currentIndexChanged, this, [this] { ProtocolClick(); });
    connect(cmdBrowse_, &QPushButton::clicked, this, [this] { BrowseClick(); });
    connect(cmdOk_, &QPushButton::clicked, this, [this] { OkClick(); });
    connect(cmdCancel_, &QPushButton::clicked, this, [this] { CancelClick(); });
}

void TVXfer::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!event->spontaneous()) Activate();
}

void TVXfer::reject() { CancelClick(); }

int TVXfer::SelectedIndex() const { return cmbProtocol_->currentIndex(); }

void TVXfer::SelectProtocol(int index) {
    // A control with a protocol number the list does not have starts at the first entry.
    if (index < 0 || index >= kProtocolCount) index = 0;
    cmbProtocol_->setCurrentIndex(index);
}

std::string TVXfer::FileNameText() const { return FromQString(txtFilename_->text()); }

void TVXfer::SetFileControlsEnabled(bool enabled) {
    for (QWidget* widget : std::initializer_list<QWidget*>{lblFolder_, lblPath_, lblFilename_, txtFilename_, cmdBrowse_})
        widget->setEnabled(enabled);
}

void TVXfer::ShowTransferTypeError() { MsgBox(kTransferTypeError); }

void TVXfer::Activate() {
    DialogAccepted = true;
    lblPath_->setText(ToQString(currentFolder_.size() > 2 ? currentFolder_.substr(0, currentFolder_.size() - 1)
                                                          : currentFolder_));
    txtFilename_->clear();
    SetFileControlsEnabled(true);
    lblProtocol_->setEnabled(true);
    cmbProtocol_->setEnabled(true);
    cmdOk_->setEnabled(true);
    switch (TV_TransferType) {
        case TV_SEND:
            setWindowTitle("Send File");
            txtFilename_->setFocus();
            break;
        case TV_RECEIVE:
            setWindowTitle("Receive File");
            txtFilename_->setFocus();
            break;
        case TV_CHOOSE_PROTOCOL:
            setWindowTitle("Set Protocol");
            SetFileControlsEnabled(false);
            cmbProtocol_->setFocus();
            break;
        default:
            setWindowTitle("Unknown Transfer Type");
            SetFileControlsEnabled(false);
            lblProtocol_->setEnabled(false);
            cmbProtocol_->setEnabled(false);
            cmdOk_->setEnabled(false);
            ShowTransferTypeError();
            break;
    }
    if (CurrentCommControl) SelectProtocol(CurrentCommControl->XferProtocol());
    ProtocolClick();
}

void TVXfer::ProtocolClick() {
    const int index = SelectedIndex();
    if (TV_TransferType != TV_SEND && TV_TransferType != TV_RECEIVE) return;
    const bool noName = (TV_TransferType == TV_SEND && index == kCompuServeEntry) ||
                        (TV_TransferType == TV_RECEIVE && IsBatchProtocol(index));
    if (noName) {
        SetFileControlsEnabled(false);
        txtFilename_->clear();
        TransferFileName.clear();
    } else {
        SetFileControlsEnabled(true);
    }
}

void TVXfer::BrowseClick() {
    std::string filter;
    std::string defaultExt;
    std::string defaultFile;
    std::string title;
    int flags = 0;
    if (TV_TransferType == TV_RECEIVE) {
        title = "Receive File";
    } else if (TV_TransferType == TV_SEND) {
        title = "Send File";
        const int index = SelectedIndex();
        if (index != kCompuServeEntry) {
            defaultExt = "ZIP";
            filter = "PKWare Zip Files|*.ZIP|All Files|*.*||";
            defaultFile = "*.ZIP";
            flags = FILEDLG_FILE_MUST_EXIST;
            if (index >= XFER_YMODEM_BATCH && index <= XFER_KERMIT) flags += FILEDLG_ALLOW_MULTI_SELECT;
        }
    } else {
        return;  // choosing a protocol only has no file to browse for
    }
    std::string name = GetFileName(filter, defaultExt, defaultFile, title, static_cast<int16_t>(flags));
    if (name.empty()) return;
    if (EndsWith(name, ".*")) name.resize(name.size() - 2);
    // A multiple selection is the folder followed by the names, separated by blanks.
    size_t split = name.find(' ');
    if (split == std::string::npos) split = name.find_last_of('/');
    if (split != std::string::npos) {
        currentFolder_ = name.substr(0, split);
        if (currentFolder_.empty()) currentFolder_ = "/";  // a file in the root folder
        lblPath_->setText(ToQString(currentFolder_));
        txtFilename_->setText(ToQString(name.substr(split + 1)));
    } else {
        txtFilename_->setText(ToQString(name));
    }
    cmdOk_->setFocus();
}

void TVXfer::OkClick() {
    const int index = SelectedIndex();
    const bool nameEmpty = txtFilename_->text().isEmpty();
    switch (TV_TransferType) {
        case TV_SEND:
            if (index != kCompuServeEntry && nameEmpty) {
                MsgBox(kNeedFileName);
                return;
            }
            break;
        case TV_RECEIVE:
            if (!IsBatchProtocol(index) && nameEmpty) {
                MsgBox(kNeedFileName);
                return;
            }
            break;
        case TV_CHOOSE_PROTOCOL:
            break;
        default:
            ShowTransferTypeError();
            break;
    }
    if (index == kXferAsciiEntry) {
        tagText_ = "ASCII";
    } else {
        if (CurrentCommControl) CurrentCommControl->SetXferProtocol(index);
        tagText_ = "X";
    }
    hide();
    done(QDialog::Accepted);
}

void TVXfer::CancelClick() {
    DialogAccepted = false;
    hide();
    done(QDialog::Rejected);
}

void TVXfer::Download(CommControl& comm) {
    CurrentCommControl = &comm;
    currentFolder_ = downloadFolder_;
    TV_TransferType = TV_RECEIVE;
    exec();
    if (!DialogAccepted) return;
    TransferFileName = FileNameText();
    if (SelectedIndex() == kXferAsciiEntry) {
        MsgBox("To download an ASCII file, turn capture on");
        return;
    }
    const int protocol = comm.XferProtocol();
    if (!IsBatchProtocol(protocol) && TransferFileName.empty()) return;
    if (RecordingActive != 0) {
        ScriptTrace("PROTOCOL", ProtocolScriptName(protocol));
        ScriptTrace("DOWNLOAD", UpperCase(TransferFileName));
    }
    comm.SetXferStatusDialog(1);
    comm.SetDownload(TransferFileName);
}

void TVXfer::Upload(CommControl& comm) {
    CurrentCommControl = &comm;
    TV_TransferType = TV_SEND;
    currentFolder_ = uploadFolder_;
    exec();
    if (!DialogAccepted) return;
    const int index = SelectedIndex();
    if (index != kXferAsciiEntry) comm.SetXferProtocol(index);
    comm.SetXferStatusDialog(1);
    const std::string names = FileNameText();
    if (RecordingActive != 0 && index != kXferAsciiEntry) ScriptTrace("PROTOCOL", ProtocolScriptName(index));

    // The folder shown goes in front of names that are not absolute; with no folder
    // shown the names stay relative to the current folder.
    std::string prefix;
    const std::string shown = FromQString(lblPath_->text());
    if (!(names.size() > 0 && names[0] == '/') && !shown.empty()) prefix = EndsWith(shown, "/") ? shown : shown + "/";

    if (index == kXferAsciiEntry) {
        STATUSTEXT(0, "Sending ASCII File");
        ::zorv::AsciiSend(comm, names, false);
        std::string outcome;
        switch (GETRESULT()) {
            case RC_CANCELED:
            case RC_CARRIER_LOST:
            case RC_PORT_NOT_OPEN:
            case RC_NO_COMM_CONTROL: outcome = RESULTMESSAGE(); break;
            case RC_FILE_NOT_FOUND: outcome = "File Not Found"; break;
            case RC_FILE_SENT: outcome = "File Transferred Successfully"; break;
            default: break;
        }
        STATUSTEXT(0, outcome);
        return;
    }
    const std::vector<std::string> list = SplitAtBlanks(names);
    for (size_t i = 0; i < list.size(); ++i) {
        const bool last = i + 1 == list.size();
        if (RecordingActive != 0)
            ScriptTrace("UPLOAD", last ? UpperCase(list[i]) : UpperCase(prefix) + UpperCase(list[i]));
        // Folder names keep their letter case: this platform's file names are
        // case-sensitive.
        comm.SetUpload(prefix + list[i]);
    }
}

bool TVXfer::TVSetProtocol(CommControl& comm) {
    CurrentCommControl = &comm;
    SelectProtocol(comm.XferProtocol());
    TV_TransferType = TV_CHOOSE_PROTOCOL;
    exec();
    if (!DialogAccepted) return false;
    bool ascii = false;
    if (SelectedIndex() == kXferAsciiEntry) ascii = true;
    else comm.SetXferProtocol(SelectedIndex());
    if (RecordingActive != 0) ScriptTrace("PROTOCOL", ProtocolScriptName(ascii ? kXferAsciiEntry : comm.XferProtocol()));
    return ascii;
}

std::string TVXfer::GetFileName(const std::string& extensions, const std::string& defaultExt,
                                const std::string& defaultFile, const std::string& caption, int16_t flags) {
    FileDialogRequest request;
    request.filter = extensions;
    request.defaultExt = defaultExt;
    request.fileName = defaultFile;
    request.title = caption;
    request.flags = flags;
    request.initialFolder = currentFolder_;
    const std::optional<FileDialogAnswer> answer = CurrentFileDialog().Show(request);
    if (!answer) return "";
    // Names here have no short form: a multiple selection comes back as it is.
    return answer->fileName;
}

void TVXfer::AsciiSend(CommControl& comm, const std::string& fileName, bool cdFlag) {
    ::zorv::AsciiSend(comm, fileName, cdFlag);
}

void TVXfer::TVSetTransferDirs(std::string& downDir, std::string& upDir) {
    if (!EndsWith(downDir, "/")) downDir += "/";
    if (!EndsWith(upDir, "/")) upDir += "/";
    downloadFolder_ = downDir;
    uploadFolder_ = upDir;
    CheckTransferFolder(downloadFolder_);
    CheckTransferFolder(uploadFolder_);
}

TVXfer& TheTVXfer() {
    static QPointer<TVXfer> dialog;
    if (!dialog) dialog = new TVXfer;
    return *dialog;
}

void Download(CommControl& comm) { TheTVXfer().Download(comm); }
void Upload(CommControl& comm) { TheTVXfer().Upload(comm); }
bool TVSetProtocol(CommControl& comm) { return TheTVXfer().TVSetProtocol(comm); }
std::string GetFileName(const std::string& extensions, const std::string& defaultExt, const std::string& defaultFile,
                        const std::string& caption, int16_t flags) {
    return TheTVXfer().GetFileName(extensions, defaultExt, defaultFile, caption, flags);
}
void TVSetTransferDirs(std::string& downDir, std::string& upDir) { TheTVXfer().TVSetTransferDirs(downDir, upDir); }

}  // namespace zorv
