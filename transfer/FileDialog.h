#pragma once
// Choosing files: the one seam through which the library asks the user for a file
// name. The program uses a QFileDialog; tests install a double that answers from a
// script.
#include <optional>
#include <string>

namespace zorv {

// Flags of a request, and of the answer.
enum : int {
    FILEDLG_ALLOW_MULTI_SELECT = 512,   // several files may be chosen
    FILEDLG_FILE_MUST_EXIST = 4096,     // only an existing file may be chosen
};

struct FileDialogRequest {
    bool save = false;           // choose a name to write instead of a file to read
    std::string filter;          // "Text|*.TXT|All Files|*.*||": pairs of title and pattern
    std::string defaultExt;      // added to a name typed without one
    std::string fileName;        // the name shown at the start (may be a pattern)
    std::string title;
    int flags = 0;
    std::string initialFolder;
};

struct FileDialogAnswer {
    // One file: its full path. Several files (multiple selection): the folder, then
    // each file name, separated by single blanks.
    std::string fileName;
    int flags = 0;
};

class FileDialog {
public:
    virtual ~FileDialog() = default;
    // The chosen file, or nothing when the user cancelled.
    virtual std::optional<FileDialogAnswer> Show(const FileDialogRequest& request) = 0;
};

// The dialog in use: a QFileDialog until another is installed.
FileDialog& CurrentFileDialog();
void SetFileDialog(FileDialog* dialog);  // nullptr restores the QFileDialog

// The filter "Title|pattern|Title|pattern||" in QFileDialog's form
// "Title (pattern);;Title (pattern)".
std::string QtFilterFromPairs(const std::string& filter);

}  // namespace zorv
