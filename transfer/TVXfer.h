#pragma once
// The file transfer dialog: choose a protocol and the files for a download or an
// upload on a comm control, or only a protocol. The transfers themselves are the comm
// control's; the dialog sets XferProtocol and XferStatusDialog and writes the file name
// into Download or Upload.
//
// Folders on this platform end in "/" (the dialog's folder texts and TVSetTransferDirs);
// a file name that starts with "/" is absolute and gets no folder in front.
#include <QDialog>
#include <QPointer>
#include <string>

#include "modem/CommControl.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace zorv {

// The file name for the next download, as the dialog last took it.
extern std::string TransferFileName;

// CmbProtocol's entries; the index is the comm control's XferProtocol, and entry 8
// (ASCII) is sent by the library itself.
inline constexpr int kXferAsciiEntry = 8;
const char* ProtocolListText(int index);   // "Zmodem"
const char* ProtocolScriptName(int index); // "ZMODEM"
// Protocols whose receiver needs no file name.
bool IsBatchProtocol(int index);

class TVXfer : public QDialog {
    Q_OBJECT

public:
    explicit TVXfer(QWidget* parent = nullptr);

    // Public operations (each shows the dialog modally where it needs it).
    void Download(CommControl& comm);
    void Upload(CommControl& comm);
    bool TVSetProtocol(CommControl& comm);
    std::string GetFileName(const std::string& extensions, const std::string& defaultExt,
                            const std::string& defaultFile, const std::string& caption, int16_t flags);
    void AsciiSend(CommControl& comm, const std::string& fileName, bool cdFlag);
    void TVSetTransferDirs(std::string& downDir, std::string& upDir);

    const std::string& downloadFolder() const { return downloadFolder_; }
    const std::string& uploadFolder() const { return uploadFolder_; }
    const std::string& currentFolder() const { return currentFolder_; }
    const std::string& tagText() const { return tagText_; }

protected:
    void showEvent(QShowEvent* event) override;
    void reject() override;  // Escape and the window's close button are Cancel

private:
    void BuildControls();
    void Activate();
    void ProtocolClick();
    void BrowseClick();
    void OkClick();
    void CancelClick();
    void SetFileControlsEnabled(bool enabled);
    void ShowTransferTypeError();
    int SelectedIndex() const;
    void SelectProtocol(int index);
    std::string FileNameText() const;

    std::string downloadFolder_;
    std::string uploadFolder_;
    std::string currentFolder_;
    std::string tagText_;

    QPointer<QLabel> lblFolder_;
    QPointer<QLabel> lblPath_;
    QPointer<QLabel> lblFilename_;
    QPointer<QLineEdit> txtFilename_;
    QPointer<QPushButton> cmdBrowse_;
    QPointer<QLabel> lblProtocol_;
    QPointer<QComboBox> cmbProtocol_;
    QPointer<QPushButton> cmdOk_;
    QPointer<QPushButton> cmdCancel_;
};

// The one dialog of the library, made on first use.
TVXfer& TheTVXfer();

// The plain procedures: each forwards to the one dialog.
void Download(CommControl& comm);
void Upload(CommControl& comm);
bool TVSetProtocol(CommControl& comm);
std::string GetFileName(const std::string& extensions, const std::string& defaultExt, const std::string& defaultFile,
                        const std::string& caption, int16_t flags);
void TVSetTransferDirs(std::string& downDir, std::string& upDir);
// AsciiSend itself is in transfer/AsciiSend.h.

}  // namespace zorv
