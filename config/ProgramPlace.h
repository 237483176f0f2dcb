#pragma once
// Where the running program lives: its file name and its folder. The INI file is named
// after the one, MODEMS.DAT sits in the other.
#include <string>

namespace zorv {

// The executable's file name without its folder, e.g. "zorvdial".
std::string ExecutableFileName();

// The executable's folder, without a trailing "/" (except for the root itself).
std::string ExecutableDirectory();

}  // namespace zorv
