#pragma once
// The recording trace: while a recording is active, library operations and the
// application's hooks add what they do to one library-wide list, from which the
// recorder later writes a script. Starting and stopping a recording belong to the
// recorder; here are only the flag, the list and the operations that append to it.
#include <cstdint>
#include <string>
#include <vector>

namespace zorv {

struct TraceEntry {
    std::string tag;   // a script keyword such as "SEND" or "DIAL", or "OUT" / "IN"
    std::string text;  // the data
};

// -1 while a recording is active, 0 otherwise. Every producer tests it and adds nothing
// when it is 0.
extern int16_t RecordingActive;

// The entries in the order they were added. The recorder replaces the content when a
// recording starts and reads it when it stops; nothing else removes entries. (Entry n
// counted from 1 is TraceList[n - 1].)
extern std::vector<TraceEntry> TraceList;

// Appends one entry. Callers test RecordingActive themselves.
void ScriptTrace(const std::string& tag, const std::string& text);
// The application's hooks for text it has sent ("OUT") and received ("IN"): they add
// an entry only while a recording is active.
void ScriptTraceOut(const std::string& text);
void ScriptTraceIn(const std::string& text);

}  // namespace zorv
