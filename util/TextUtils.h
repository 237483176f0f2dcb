#pragma once
// Cleaning texts that come from fixed-width records, script lines and modem answers.
#include <string>

namespace zorv {

// Removes trailing NUL, tab, CR, LF and blanks, turns every remaining NUL and "~" into
// a blank, and leaves that text in `text`. Returns it with leading and trailing blanks
// removed as well (the argument keeps its leading blanks).
std::string TRIMCTLCHARS(std::string& text);

// The same for a text the caller does not keep.
inline std::string TRIMCTLCHARS(std::string&& text) { return TRIMCTLCHARS(text); }

// Leading and trailing blanks removed (blanks only, no other white space).
std::string TrimBlanks(const std::string& text);

// Upper case in the program's single-byte code page (Latin-1): a-z and the accented
// small letters; other bytes stay as they are.
std::string UpperCase(std::string text);

}  // namespace zorv
