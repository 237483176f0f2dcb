#pragma once
// Fixed-width texts of records: always exactly Width bytes, filled up with blanks, no
// terminator. A longer text keeps only its first Width characters. Every fixed-width
// field of the program goes through FixedWidth, so padding and cutting are done one way.
#include <algorithm>
#include <array>
#include <cstddef>
#include <string>
#include <string_view>

namespace zorv {

// `text` cut to `width` characters, or filled up with blanks to `width`.
inline std::string FixedWidth(std::string_view text, std::size_t width) {
    std::string result(text.substr(0, std::min(text.size(), width)));
    result.resize(width, ' ');
    return result;
}

template <std::size_t Width>
class FixedText {
public:
    static constexpr std::size_t width = Width;

    FixedText() { bytes_.fill(' '); }
    FixedText(std::string_view text) { Set(text); }  // NOLINT: assigning a text is the point

    FixedText& operator=(std::string_view text) {
        Set(text);
        return *this;
    }

    void Set(std::string_view text) {
        const std::string fixed = FixedWidth(text, Width);
        std::copy(fixed.begin(), fixed.end(), bytes_.begin());
    }

    // The full width, trailing blanks included.
    std::string Text() const { return std::string(bytes_.data(), Width); }

    // The raw bytes, for reading and writing records.
    const char* data() const { return bytes_.data(); }
    char* data() { return bytes_.data(); }

    friend bool operator==(const FixedText& a, const FixedText& b) { return a.bytes_ == b.bytes_; }

private:
    std::array<char, Width> bytes_;
};

}  // namespace zorv
