#pragma once
// The script interpreter: runs one script file against one comm control, from its
// first line to its end. Every wait and pause inside runs window events, so the
// program stays alive while a script runs; an event handler stops the run by setting
// CancelRequested (modem/LineWait.h).
//
// On return the caller reads GETRESULT(), `lineNo` and `lineText`:
//   END reached, no time-out jump pending       5100, lineNo 0, lineText empty
//   END reached after a time-out jump           5100, the timed-out line's number and text
//   a command line failed (also a cancelled      the failure code, that line's number
//     wait)                                        and text
//   cancel seen before a line                   -102, the line that was to run next
//   last line ran without END                   what the last command left,
//                                                 line count + 1, the last line's text
//   control unusable / script file unreadable   -105 / 5101, lineNo and lineText untouched
//
// `lineNo` is the run's own line counter while it runs (a time-out jump sets it), and
// `lineText` receives each line as it starts.
#include <string>

#include "modem/CommControl.h"

namespace zorv {

void ScriptRun(CommControl& comm, const std::string& scriptFile, int& lineNo, std::string& lineText);

// A script file larger than this is not taken for a script (5101): scripts are read
// into memory whole before they run.
inline constexpr long long kMaxScriptBytes = 64LL * 1024 * 1024;

// The capture file a script left open. It stays open after the run (a later run of the
// host may still expect it), is flushed when the run ends, and is closed when the next
// run starts or the program ends. Returns whether one was open.
bool CloseLeftOverCapture();

}  // namespace zorv
