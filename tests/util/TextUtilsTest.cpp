// Cleaning fixed-width and line texts; code-page upper case.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "util/TextUtils.h"

namespace zorv {
namespace {

TEST(TextUtils, TrimCtlChars) {
    using namespace std::string_literals;
    struct Case {
        std::string in;
        std::string result;
        std::string argument;  // what the caller's text becomes
    };
    const std::vector<Case> cases = {
        {"AB~CD\r\n\0  "s, "AB CD", "AB CD"},
        {" \0 \0"s, "", ""},
        {"A\0B"s, "A B", "A B"},
        {" ATZ^M" + std::string(24, ' '), "ATZ^M", " ATZ^M"},  // a fixed-width field
        {"\tX\t\t", "\tX", "\tX"},                              // only trailing tabs go
        {"~OK~", "OK", " OK "},
        {"", "", ""},
    };
    for (const Case& c : cases) {
        std::string text = c.in;
        EXPECT_EQ(TRIMCTLCHARS(text), c.result) << c.in;
        EXPECT_EQ(text, c.argument) << c.in;
    }
    const std::string huge = std::string(1 << 20, 'x') + std::string(1 << 20, ' ');
    EXPECT_EQ(TRIMCTLCHARS(std::string(huge)).size(), size_t{1} << 20);
}

TEST(TextUtils, UpperCaseInTheCodePage) {
    EXPECT_EQ(UpperCase("38400,n,8,1"), "38400,N,8,1");
    EXPECT_EQ(UpperCase("\xe9t\xe9 \xf7 \xff"), "\xc9T\xc9 \xf7 \xff");
}

}  // namespace
}  // namespace zorv
