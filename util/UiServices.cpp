#include "util/UiServices.h"

#include <cstdio>

namespace zorv {

namespace {

// Answers when no desktop is installed: the box's line on standard error (written by
// MsgBox already) is all there is, and the first button counts as pressed.
class ConsoleUi : public UiServices {
public:
    MsgAnswer MessageBox(const std::string&, const std::string&, MsgButtons buttons, MsgIcon) override {
        return FirstButton(buttons);
    }
    std::optional<std::string> InputBox(const std::string&, const std::string&, const std::string&) override {
        return std::nullopt;
    }
    void Beep() override { std::fputc('\a', stderr); }
    void SetWaitPointer(bool) override {}
    ScreenSize Screen() override { return {}; }
};

ConsoleUi consoleUi;
UiServices* currentUi = &consoleUi;

}  // namespace

MsgAnswer FirstButton(MsgButtons buttons) {
    switch (buttons) {
        case MsgButtons::YesNo:
        case MsgButtons::YesNoCancel: return MsgAnswer::Yes;
        case MsgButtons::RetryCancel: return MsgAnswer::Retry;
        default: return MsgAnswer::Ok;
    }
}

UiServices& Ui() { return *currentUi; }

void SetUi(UiServices* services) { currentUi = services ? services : &consoleUi; }

MsgAnswer MsgBox(const std::string& text, MsgButtons buttons, const std::string& title, MsgIcon icon) {
    std::fprintf(stderr, "%s: %s\n", title.c_str(), text.c_str());
    std::fflush(stderr);
    return Ui().MessageBox(text, title, buttons, icon);
}

std::optional<std::string> InputBox(const std::string& prompt, const std::string& title,
                                    const std::string& defaultText) {
    return Ui().InputBox(prompt, title, defaultText);
}

}  // namespace zorv
