#pragma once
// The program's one window: the file to fetch, the modem and dialing location to use,
// the time-out, the buttons that start and stop the download, and the status line.
#include <QPointer>
#include <QWidget>
#include <functional>
#include <string>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace zorv {

class CommControl;
class Telephony;

class ZORVDialerForm : public QWidget {
    Q_OBJECT

public:
    // The BBS's number as the telephony control dials it. The network modem's phone
    // book maps it to a host; by default the demo BBS on this machine.
    static constexpr const char* kDialNumber = "555-9678";

    // Exit statuses, so programs that start zorvdial can tell how it went.
    static constexpr int kExitTransferred = 0;    // the file arrived whole
    static constexpr int kExitClosed = 1;         // the window was closed before a file arrived
    static constexpr int kExitUsage = 2;          // the command line was incomplete
    static constexpr int kExitLoginRejected = 3;  // the BBS did not take the user name and password
    static constexpr int kExitCancelled = 4;      // the user pressed Cancel

    // `comm` is the window's serial comm control; it may be absent where the program
    // has no line to offer.
    ZORVDialerForm(Telephony& telephony, CommControl* comm, QWidget* parent = nullptr);

    // The load step: reads the command line's argument text, fills the window and
    // centres it. Returns false when the command line was incomplete: the usage
    // message was shown and the program ended (the window is not to be shown).
    bool Load(const std::string& arguments);

    // Enables or greys ModemList, LocationList, TimeOut, DownLoad and cmdCancel.
    void SetInputsEnabled(bool enabled);

    const std::string& userName() const { return userName_; }
    const std::string& userPassword() const { return userPassword_; }
    const std::string& downloadFile() const { return downloadFile_; }
    const std::string& dialNumber() const { return dialNumber_; }
    bool passwordAsLastName() const { return passwordAsLastName_; }
    std::string statusText() const;
    void SetStatusText(const std::string& text);

    // The download run: started by DownLoad (and cmdTest), driven by the telephony
    // control's call states and the comm control's notifications.
    void StartDownload();
    void DropCall();
    void RefreshLoginScript();
    void CallStateChanged(long callState);
    void RunLoginScript();
    void GiveInputsBack();
    void CommEvent();

    // Hands the window a user, password and file and shows it modally: `done` runs once
    // the window is hidden or closed again. Raises zorv::Error when the window is
    // already showing (the script has been rewritten by then).
    void BeginGetFile(const std::string& user, const std::string& password, const std::string& file,
                      std::function<void()> done);
    // The same, returning only when the window has been hidden or closed.
    void GetFile(const std::string& user, const std::string& password, const std::string& file);

signals:
    // Every new text of the status line, as it is set.
    void StatusChanged(const QString& text);

protected:
    void closeEvent(QCloseEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void BuildControls();
    void FillTelephonyLists();
    void CenterOnScreen();
    void ConfigModemClick();
    void ConfigLocationClick();
    void WriteLoginScript();
    void TestClick();
    void EndAtOnce();
    void CancelClick();
    void TransferStatusChanged(int status);
    void Connect(QPushButton* button, void (ZORVDialerForm::*action)());

    Telephony& telephony_;
    CommControl* comm_;

    std::string userName_;
    std::string userPassword_;
    std::string downloadFile_;
    std::string dialNumber_;
    std::string timeoutText_;
    bool passwordAsLastName_ = false;
    std::function<void()> modalDone_;
    bool ending_ = false;
    bool loginScriptRunning_ = false;   // RunLoginScript is on the stack

    QPointer<QPushButton> cmdTest_;
    QPointer<QPushButton> configModem_;
    QPointer<QPushButton> cmdCancel_;
    QPointer<QLineEdit> timeOut_;
    QPointer<QPushButton> hangup_;
    QPointer<QPushButton> downLoad_;
    QPointer<QPushButton> configLocation_;
    QPointer<QComboBox> locationList_;
    QPointer<QComboBox> modemList_;
    QPointer<QLabel> status_;
};

}  // namespace zorv
