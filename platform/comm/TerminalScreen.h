#pragma once
// The comm control's terminal screen: a VT100/ANSI screen (libvterm) fed with the
// received bytes while AutoProcess is on. Bytes are Latin-1 characters, never UTF-8.
// The terminal's own answers (cursor position reports, device attributes) are handed
// to the answer callback so they can go back down the line as a real terminal's would.
#include <functional>
#include <string>

struct VTerm;
struct VTermScreen;

namespace zorv {

class TerminalScreen {
public:
    static constexpr int kMaxSize = 1000;

    TerminalScreen(int rows = 25, int columns = 80);
    ~TerminalScreen();
    TerminalScreen(const TerminalScreen&) = delete;
    TerminalScreen& operator=(const TerminalScreen&) = delete;

    int Rows() const { return rows_; }
    int Columns() const { return columns_; }
    // Raises zorv::Error 380 outside 1..kMaxSize; the contents are kept as far as they fit.
    void Resize(int rows, int columns);

    void Feed(const char* bytes, size_t length);
    // Every row, blanks included, joined by CR LF (no line end after the last).
    std::string Text() const;

    void SetAnswerHandler(std::function<void(const std::string&)> handler) { answer_ = std::move(handler); }

private:
    static void OnOutput(const char* bytes, size_t length, void* user);

    VTerm* term_;
    VTermScreen* screen_;
    int rows_;
    int columns_;
    std::function<void(const std::string&)> answer_;
};

}  // namespace zorv
