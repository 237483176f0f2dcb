#include <gtest/gtest.h>

#include "util/Numbers.h"

namespace zorv {
namespace {

TEST(Val, ReadsTheLeadingNumberSkippingBlanks) {
    const struct {
        const char* text;
        double value;
    } cases[] = {
        {"", 0},         {"abc", 0},       {"1", 1},        {"0.4", 0.4},     {"0.6", 0.6},
        {"1 2", 12},     {" 1\t2\n3", 123}, {"12abc", 12},  {"-3.5x", -3.5},  {"+7", 7},
        {".5", 0.5},     {"1e3", 1000},    {"2D2", 200},    {"1e", 1},        {"&H1F", 31},
        {"&o17", 15},    {"&Hzz", 0},      {"- 4", -4},     {"1.2.3", 1.2},   {"--1", 0},
    };
    for (const auto& c : cases) EXPECT_DOUBLE_EQ(Val(c.text), c.value) << '"' << c.text << '"';
}

TEST(RoundHalfEven, TakesHalvesToTheEvenNeighbour) {
    const struct {
        double in, out;
    } cases[] = {{0.4, 0}, {0.5, 0}, {0.6, 1}, {1.5, 2}, {2.5, 2}, {-0.5, 0}, {-1.5, -2}, {-2.5, -2}, {3, 3}};
    for (const auto& c : cases) EXPECT_EQ(RoundHalfEven(c.in), c.out) << c.in;
}

TEST(ToInt16, RoundsThenKeepsInsideTheRange) {
    EXPECT_EQ(ToInt16(2.5), 2);
    EXPECT_EQ(ToInt16(70000), 32767);
    EXPECT_EQ(ToInt16(-70000), -32768);
}

}  // namespace
}  // namespace zorv
