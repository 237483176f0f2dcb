#include "platform/comm/TerminalScreen.h"

#include <vterm.h>

#include "util/Error.h"

namespace zorv {

TerminalScreen::TerminalScreen(int rows, int columns) : rows_(rows), columns_(columns) {
    term_ = vterm_new(rows, columns);
    // libvterm has no Latin-1 character set of its own, so it reads UTF-8 and Feed
    // turns each Latin-1 byte into its UTF-8 form.
    vterm_set_utf8(term_, 1);
    vterm_output_set_callback(term_, &TerminalScreen::OnOutput, this);
    screen_ = vterm_obtain_screen(term_);
    vterm_screen_reset(screen_, 1);
}

TerminalScreen::~TerminalScreen() { vterm_free(term_); }

void TerminalScreen::Resize(int rows, int columns) {
    if (rows < 1 || rows > kMaxSize || columns < 1 || columns > kMaxSize)
        throw Error(ErrorNumber::InvalidPropertyValue, "Invalid property value: screen size");
    rows_ = rows;
    columns_ = columns;
    vterm_set_size(term_, rows, columns);
}

void TerminalScreen::Feed(const char* bytes, size_t length) {
    std::string utf8;
    utf8.reserve(length + length / 8);
    for (size_t i = 0; i < length; ++i) {
        const unsigned char c = static_cast<unsigned char>(bytes[i]);
        if (c < 0x80) {
            utf8 += static_cast<char>(c);
        } else {
            utf8 += static_cast<char>(0xC0 | (c >> 6));
            utf8 += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    vterm_input_write(term_, utf8.data(), utf8.size());
}

void TerminalScreen::OnOutput(const char* bytes, size_t length, void* user) {
    auto* self = static_cast<TerminalScreen*>(user);
    if (self->answer_) self->answer_(std::string(bytes, length));
}

std::string TerminalScreen::Text() const {
    std::string text;
    text.reserve(static_cast<size_t>(rows_) * (columns_ + 2));
    VTermScreenCell cell;
    for (int row = 0; row < rows_; ++row) {
        if (row > 0) text += "\r\n";
        for (int column = 0; column < columns_; ++column) {
            VTermPos pos{row, column};
            if (!vterm_screen_get_cell(screen_, pos, &cell)) {
                text += ' ';
                continue;
            }
            const uint32_t c = cell.chars[0];
            // An empty cell is a blank; a character outside the code page shows as "?".
            if (c == 0 || c == static_cast<uint32_t>(-1)) text += ' ';
            else text += c < 256 ? static_cast<char>(c) : '?';
        }
    }
    return text;
}

}  // namespace zorv
