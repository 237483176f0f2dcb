#pragma once
// UI services on Qt: message boxes, the input box, the beep, the wait pointer and the
// screen's size.
#include "util/UiServices.h"

namespace zorv {

class QtUiServices : public UiServices {
public:
    // Not interactive (no display to show a box on, as on the offscreen platform):
    // boxes are not shown and count as answered with their first button, input boxes
    // as cancelled; their text still reaches standard error through MsgBox.
    explicit QtUiServices(bool interactive = true) : interactive_(interactive) {}

    MsgAnswer MessageBox(const std::string& text, const std::string& title, MsgButtons buttons,
                         MsgIcon icon) override;
    std::optional<std::string> InputBox(const std::string& prompt, const std::string& title,
                                        const std::string& defaultText) override;
    void Beep() override;
    void SetWaitPointer(bool wait) override;
    ScreenSize Screen() override;

private:
    bool interactive_;
    bool waitPointer_ = false;
};

}  // namespace zorv
