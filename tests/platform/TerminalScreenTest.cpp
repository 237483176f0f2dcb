// The terminal screen: what Text shows after the sequences BBSes send.
#include <gtest/gtest.h>

#include "platform/comm/TerminalScreen.h"
#include "util/Error.h"

namespace zorv::test {
namespace {

// The screen's rows with trailing blanks cut, for short expectations.
std::vector<std::string> Rows(const TerminalScreen& screen) {
    std::vector<std::string> rows;
    const std::string text = screen.Text();
    size_t start = 0;
    while (true) {
        const size_t end = text.find("\r\n", start);
        std::string row = text.substr(start, end == std::string::npos ? std::string::npos : end - start);
        EXPECT_EQ(row.size(), static_cast<size_t>(screen.Columns()));
        row.erase(row.find_last_not_of(' ') + 1);
        rows.push_back(row);
        if (end == std::string::npos) break;
        start = end + 2;
    }
    return rows;
}

TEST(TerminalScreenTest, SequencesLeaveTheScreenAsATerminalWould) {
    struct Case {
        const char* name;
        std::string input;
        std::vector<std::string> rows;  // of a 4 x 10 screen
    };
    const Case cases[] = {
        {"plain lines", "one\r\ntwo", {"one", "two", "", ""}},
        {"clear and home", "junk\r\njunk\x1b[2J\x1b[Hnew", {"new", "", "", ""}},
        {"absolute position", "\x1b[3;4Hx\x1b[1;10Hy", {"         y", "", "   x", ""}},
        {"relative moves", "abc\x1b[2B\x1b[2Dd\x1b[Ae\x1b[1C f", {"abc", "  e  f", " d", ""}},
        {"erase to line end", "abcdef\x1b[1;3H\x1b[K", {"ab", "", "", ""}},
        {"scrolls at the bottom", "1\r\n2\r\n3\r\n4\r\n5", {"2", "3", "4", "5"}},
        {"wraps at the edge", "0123456789ab", {"0123456789", "ab", "", ""}},
        {"colours draw nothing", "\x1b[1;31mred\x1b[0m", {"red", "", "", ""}},
        {"latin-1 bytes", "caf\xe9 \xbd", {"caf\xe9 \xbd", "", "", ""}},
        {"backspace and tab", "ab\bc\td", {"ac      d", "", "", ""}},
    };
    for (const Case& c : cases) {
        TerminalScreen screen(4, 10);
        screen.Feed(c.input.data(), c.input.size());
        EXPECT_EQ(Rows(screen), c.rows) << c.name;
    }
}

TEST(TerminalScreenTest, DefaultSizeResizeAndBadSizes) {
    TerminalScreen screen;
    EXPECT_EQ(screen.Rows(), 25);
    EXPECT_EQ(screen.Columns(), 80);
    EXPECT_EQ(screen.Text().size(), 25u * 80 + 24 * 2);
    screen.Feed("keep", 4);
    screen.Resize(2, 6);
    EXPECT_EQ(screen.Text(), "keep  \r\n      ");
    for (auto [rows, columns] : {std::pair{0, 10}, std::pair{10, 0}, std::pair{1001, 10}, std::pair{-1, 5}})
        EXPECT_THROW(screen.Resize(rows, columns), Error);
    EXPECT_EQ(screen.Rows(), 2);
}

}  // namespace
}  // namespace zorv::test
