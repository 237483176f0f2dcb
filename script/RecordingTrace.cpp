#include "script/RecordingTrace.h"

namespace zorv {

int16_t RecordingActive = 0;
std::vector<TraceEntry> TraceList;

void ScriptTrace(const std::string& tag, const std::string& text) { TraceList.push_back({tag, text}); }

void ScriptTraceOut(const std::string& text) {
    if (RecordingActive != 0) ScriptTrace("OUT", text);
}

void ScriptTraceIn(const std::string& text) {
    if (RecordingActive != 0) ScriptTrace("IN", text);
}

}  // namespace zorv
