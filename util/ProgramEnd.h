#pragma once
// Ending the program "at once": no window closing step, no further notifications.
// Parts of the program that hold something the system must get back (a port's lock
// file, an open capture file) register a hook that runs first. Tests install a
// handler that records the end instead of leaving the process; code that ends the
// program therefore returns right after the call.
#include <functional>

namespace zorv {

// Runs the registered hooks (newest first), then the handler; the default handler
// leaves the process with `status`.
void EndProgram(int status);

// Returns an id for RemoveAtProgramEnd.
int AtProgramEnd(std::function<void()> hook);
void RemoveAtProgramEnd(int id);

// nullptr restores the default handler that exits the process.
void SetProgramEndHandler(std::function<void(int status)> handler);

}  // namespace zorv
