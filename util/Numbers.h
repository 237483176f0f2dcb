#pragma once
// Reading numbers out of text and rounding them, by the classic rules every part of
// the program follows: the leading number of the text, blanks skipped anywhere
// inside it, and no number at all reads as 0; rounding goes to the nearest integer
// with halves to even.
#include <cstdint>
#include <string_view>

namespace zorv {

// The leading number of `text`: optional sign, digits, a decimal point, an exponent
// (E or D), or a &H / &O prefixed hexadecimal or octal integer. Blanks, tabs and line
// feeds are skipped wherever they stand, so "1 2" reads 12. Anything else ends the
// number; text without a number gives 0.
double Val(std::string_view text);

// Nearest integer, halves to even (0.5 -> 0, 1.5 -> 2, -2.5 -> -2).
double RoundHalfEven(double value);

// The 16-bit conversion used for flags and fields: round half to even, then keep the
// value inside the int16_t range (a value outside it is clamped).
int16_t ToInt16(double value);

}  // namespace zorv
