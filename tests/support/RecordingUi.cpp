#include "tests/support/RecordingUi.h"

namespace zorv::test {

MsgAnswer RecordingUi::MessageBox(const std::string& text, const std::string& title, MsgButtons buttons,
                                  MsgIcon icon) {
    boxes.push_back({text, title, buttons, icon});
    if (!boxAnswers.empty()) {
        MsgAnswer answer = boxAnswers.front();
        boxAnswers.pop_front();
        return answer;
    }
    return FirstButton(buttons);
}

std::optional<std::string> RecordingUi::InputBox(const std::string& prompt, const std::string&,
                                                 const std::string&) {
    inputPrompts.push_back(prompt);
    if (inputAnswers.empty()) return std::nullopt;
    auto answer = inputAnswers.front();
    inputAnswers.pop_front();
    return answer;
}

}  // namespace zorv::test
