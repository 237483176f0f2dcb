#pragma once
// Rates the classic termios constants lack (14400, 28800) go through the kernel's
// termios2 interface, which takes any number; it needs headers that clash with
// <termios.h>, so it lives in a file of its own.

namespace zorv {

// Sets input and output rate of the open terminal `fd` to `baud`; false when refused.
bool SetAnySpeed(int fd, int baud);
// The output rate the terminal holds, 0 when unknown.
int ReadSpeed(int fd);

}  // namespace zorv
