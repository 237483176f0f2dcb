#pragma once
// UI services that record instead of showing: every message box is captured, input
// boxes are answered from a queue (an empty queue answers "cancelled").
#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "util/UiServices.h"

namespace zorv::test {

struct RecordedBox {
    std::string text;
    std::string title;
    MsgButtons buttons;
    MsgIcon icon;
};

class RecordingUi : public UiServices {
public:
    MsgAnswer MessageBox(const std::string& text, const std::string& title, MsgButtons buttons,
                         MsgIcon icon) override;
    std::optional<std::string> InputBox(const std::string& prompt, const std::string& title,
                                        const std::string& defaultText) override;
    void Beep() override { ++beeps; }
    void SetWaitPointer(bool wait) override { waitPointer = wait; }
    ScreenSize Screen() override { return screen; }

    std::vector<RecordedBox> boxes;
    std::deque<MsgAnswer> boxAnswers;                      // default: the first button
    std::deque<std::optional<std::string>> inputAnswers;   // nullopt = cancelled
    std::vector<std::string> inputPrompts;
    int beeps = 0;
    bool waitPointer = false;
    ScreenSize screen{1024, 768, 96};
};

}  // namespace zorv::test
