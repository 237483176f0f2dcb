#pragma once
// What the library and the windows need from the desktop besides the windows
// themselves: message boxes, the input box, the beep, the mouse pointer and the
// screen's size. The program installs the Qt services; tests install a recording
// double that captures every box and answers input boxes from a queue.
#include <optional>
#include <string>

namespace zorv {

// The program's title, carried by every message box unless stated otherwise.
inline constexpr const char* kProgramTitle = "ZORVDIAL";

enum class MsgButtons { Ok, OkCancel, YesNo, YesNoCancel, RetryCancel };
enum class MsgIcon { None, Information, Warning, Critical, Question };
enum class MsgAnswer { Ok, Cancel, Yes, No, Retry };

struct ScreenSize {
    int width = 0;   // pixels
    int height = 0;  // pixels
    double dpi = 96; // logical dots per inch, for twips
};

// The answer of a box nobody can press: its first button.
MsgAnswer FirstButton(MsgButtons buttons);

class UiServices {
public:
    virtual ~UiServices() = default;

    virtual MsgAnswer MessageBox(const std::string& text, const std::string& title,
                                 MsgButtons buttons, MsgIcon icon) = 0;
    // The input box: the typed text, or nothing when the user cancelled.
    virtual std::optional<std::string> InputBox(const std::string& prompt, const std::string& title,
                                                const std::string& defaultText) = 0;
    virtual void Beep() = 0;
    // The screen's mouse pointer: the wait shape while busy, else the default.
    virtual void SetWaitPointer(bool wait) = 0;
    virtual ScreenSize Screen() = 0;
};

// The services in use. Until the program installs its own, a console version answers:
// boxes go to standard error, input boxes read nothing.
UiServices& Ui();
void SetUi(UiServices* services);  // nullptr restores the console version

// A message box. Its text is also written to standard error as one line behind its
// title, so a user who started the program from a terminal, and its logs, see it.
MsgAnswer MsgBox(const std::string& text, MsgButtons buttons = MsgButtons::Ok,
                 const std::string& title = kProgramTitle, MsgIcon icon = MsgIcon::None);

std::optional<std::string> InputBox(const std::string& prompt, const std::string& title = kProgramTitle,
                                    const std::string& defaultText = "");

}  // namespace zorv
