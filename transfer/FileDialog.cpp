#include "transfer/FileDialog.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QStringList>

#include "util/QtText.h"

namespace zorv {

namespace {

class QtFileDialog : public FileDialog {
public:
    std::optional<FileDialogAnswer> Show(const FileDialogRequest& request) override {
        QFileDialog dialog(nullptr, ToQString(request.title), ToQString(request.initialFolder));
        dialog.setAcceptMode(request.save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
        const bool multi = (request.flags & FILEDLG_ALLOW_MULTI_SELECT) != 0;
        if (request.save) dialog.setFileMode(QFileDialog::AnyFile);
        else if (multi) dialog.setFileMode(QFileDialog::ExistingFiles);
        else if (request.flags & FILEDLG_FILE_MUST_EXIST) dialog.setFileMode(QFileDialog::ExistingFile);
        else dialog.setFileMode(QFileDialog::AnyFile);
        const std::string filter = QtFilterFromPairs(request.filter);
        if (!filter.empty()) dialog.setNameFilter(ToQString(filter));
        if (!request.defaultExt.empty()) dialog.setDefaultSuffix(ToQString(request.defaultExt));
        // A pattern such as "*.ZIP" is a filter, not a name to preselect.
        if (!request.fileName.empty() && request.fileName.find_first_of("*?") == std::string::npos)
            dialog.selectFile(ToQString(request.fileName));
        if (dialog.exec() != QDialog::Accepted) return std::nullopt;
        const QStringList files = dialog.selectedFiles();
        if (files.isEmpty()) return std::nullopt;
        FileDialogAnswer answer;
        answer.flags = request.flags;
        if (files.size() == 1) {
            answer.fileName = FromQString(files.front());
            return answer;
        }
        answer.fileName = FromQString(QFileInfo(files.front()).absolutePath());
        for (const QString& file : files) answer.fileName += " " + FromQString(QFileInfo(file).fileName());
        return answer;
    }
};

FileDialog* installed = nullptr;

}  // namespace

FileDialog& CurrentFileDialog() {
    static QtFileDialog qtDialog;
    return installed ? *installed : qtDialog;
}

void SetFileDialog(FileDialog* dialog) { installed = dialog; }

std::string QtFilterFromPairs(const std::string& filter) {
    std::string out;
    size_t pos = 0;
    while (pos < filter.size()) {
        const size_t bar = filter.find('|', pos);
        if (bar == std::string::npos) break;
        const std::string title = filter.substr(pos, bar - pos);
        size_t end = filter.find('|', bar + 1);
        if (end == std::string::npos) end = filter.size();
        const std::string pattern = filter.substr(bar + 1, end - bar - 1);
        if (title.empty() && pattern.empty()) break;  // the closing "||"
        if (!out.empty()) out += ";;";
        std::string patterns = pattern;
        for (char& c : patterns)
            if (c == ';') c = ' ';
        out += title + " (" + patterns + ")";
        pos = end + 1;
    }
    return out;
}

}  // namespace zorv
