#pragma once
// UI services on Qt: message boxes, the input box, the beep, the wait pointer and the
// screen's size.
#include "util/UiServices.h"

namespace zorv {

class QtUiServices : public UiServices {
public:
    MsgAnswer MessageBox(const std::string& text, const std::string& title, MsgButtons buttons,
                         MsgIcon icon) override;
    std::optional<std::string> InputBox(const std::string& prompt, const std::string& title,
                                        const std::string& defaultText) override;
    void Beep() override;
    void SetWaitPointer(bool wait) override;
    ScreenSize Screen() override;

private:
    bool waitPointer_ = false;
};

}  // namespace zorv
