#pragma once
// The script recorder: turns a live session into a script file the interpreter can
// replay. While a recording runs, library operations and the application's hooks add
// entries to the recording trace (RecordingTrace.h); when it stops, the trace is cleaned
// (the modem's echo of what was sent removed, consecutive pieces joined) and written
// out as script lines, ending with a ":TIMEOUT" label and END.
#include <string>
#include <vector>

#include "modem/CommControl.h"
#include "script/RecordingTrace.h"

namespace zorv {

// When non-zero, only that many trailing characters of each recorded WAITFOR text are
// written (the end of a prompt is what a replay needs to wait for). Set when a
// recording starts; a negative value keeps whole texts.
extern int RecordTailLength;

// A non-empty `fileName` starts recording into that file: the trace starts over with
// PORT, TIMEOUT 60 and ON_TIMEOUT_GOTO :TIMEOUT, and the control is set to hand every
// received character to the application (AutoProcess 0, RThreshold 1). An empty
// `fileName` stops the recording, gives the control back its own AutoProcess and
// RThreshold and writes the script; stopping when nothing is recorded only shows a
// message box. Writing the file can raise Error (the file cannot be written).
void ScriptRecord(CommControl& comm, const std::string& fileName, int tailLength);

// The script lines (without line breaks) TraceList turns into: received text becomes
// WAITFOR without the echo of what was sent, sent text SEND, consecutive pieces in one
// direction are joined, and every other entry becomes its keyword and its text. The
// trace itself is left as it is.
std::vector<std::string> RecordedScriptLines();

// Writes the lines of RecordedScriptLines() to `fileName`, each ended by CR LF,
// replacing an existing file as a whole. Raises Error when it cannot be written; the
// old file is then left as it was.
void ScriptWrite(const std::string& fileName);

}  // namespace zorv
