#pragma once
// A file dialog that answers from a queue and keeps every request it was shown.
#include <deque>
#include <optional>
#include <vector>

#include "transfer/FileDialog.h"

namespace zorv::test {

class ScriptedFileDialog : public FileDialog {
public:
    ScriptedFileDialog() { SetFileDialog(this); }
    ~ScriptedFileDialog() override { SetFileDialog(nullptr); }

    std::optional<FileDialogAnswer> Show(const FileDialogRequest& request) override {
        requests.push_back(request);
        if (answers.empty()) return std::nullopt;
        std::optional<FileDialogAnswer> answer = answers.front();
        answers.pop_front();
        return answer;
    }

    std::deque<std::optional<FileDialogAnswer>> answers;  // nullopt = cancelled
    std::vector<FileDialogRequest> requests;
};

}  // namespace zorv::test
