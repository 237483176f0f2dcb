#include "script/ScriptRecorder.h"

#include <cstdint>

#include "config/AtomicFile.h"
#include "script/ScriptLanguage.h"
#include "util/Error.h"
#include "util/TextUtils.h"
#include "util/UiServices.h"

namespace zorv {

int RecordTailLength = 0;

namespace {

// What a recording needs to remember between its start and its stop.
struct RecordingRecord {
    std::string fileName;
    int autoProcess = 0;
    int rThreshold = 0;
};
RecordingRecord recording;

bool IsPiece(const std::string& tag) { return tag == "WAITFOR" || tag == "SEND"; }

// Keywords whose argument is text, written in double quotes so that the interpreter
// reads it back exactly (blanks included).
bool TakesQuotedText(const std::string& keyword) {
    static const char* const kQuoted[] = {"WAITFOR", "SEND", "PROTOCOL", "SETTINGS", "DOWNLOAD", "UPLOAD", "CAPTURE"};
    for (const char* quoted : kQuoted)
        if (keyword == quoted) return true;
    return false;
}

// Received text starts with the modem's echo of what we sent: strip it, so the script
// waits for the modem's answer and not for our own command. The characters sent are
// matched one by one, letter case ignored; every character sent is used up by the first
// received piece that follows it, matched or not.
void RemoveEcho(std::vector<TraceEntry>& trace) {
    std::string pendingEcho;
    for (TraceEntry& entry : trace) {
        if (entry.tag == "IN") entry.tag = "WAITFOR";
        if (entry.tag == "OUT") entry.tag = "SEND";
        if (entry.tag == "SEND") {
            pendingEcho += UpperCase(entry.text);
        } else if (entry.tag == "WAITFOR") {
            while (!pendingEcho.empty()) {
                if (!entry.text.empty() && UpperCase(entry.text.substr(0, 1))[0] == pendingEcho[0])
                    entry.text.erase(0, 1);
                pendingEcho.erase(0, 1);
            }
            if (entry.text.empty()) entry.tag.clear();
        }
    }
}

// Text arrives and leaves in whatever pieces the line delivered; consecutive pieces in
// the same direction become one WAITFOR or one SEND.
void JoinPieces(std::vector<TraceEntry>& trace) {
    TraceEntry* previous = nullptr;
    for (TraceEntry& entry : trace) {
        if (entry.tag.empty()) continue;
        if (previous != nullptr && IsPiece(entry.tag) && entry.tag == previous->tag) {
            previous->text += entry.text;
            entry.tag.clear();
        } else {
            previous = &entry;
        }
    }
}

std::string Quoted(const std::string& text) { return '"' + text + '"'; }

std::string ScriptLine(const TraceEntry& entry) {
    std::string text = entry.text;
    if (entry.tag == "WAITFOR" && RecordTailLength > 0 && text.size() > static_cast<std::size_t>(RecordTailLength))
        text = text.substr(text.size() - static_cast<std::size_t>(RecordTailLength));

    const std::string keyword = CTRL2CARET(entry.tag);
    const std::string argument = CTRL2CARET(text);
    std::string line = keyword + " ";
    if (TakesQuotedText(keyword)) {
        line += Quoted(argument);
    } else if (keyword == "DIAL") {
        // A trailing ", attempts" stays outside the quotes, where the interpreter reads it
        // as the number of attempts.
        const std::size_t comma = argument.rfind(',');
        if (comma == std::string::npos)
            line += Quoted(argument);
        else
            line += Quoted(argument.substr(0, comma)) + argument.substr(comma);
    } else {
        line += argument;
    }
    return line;
}

}  // namespace

std::vector<std::string> RecordedScriptLines() {
    // The cleaning works on a copy, so the trace can be written again and gives the
    // same script.
    std::vector<TraceEntry> trace = TraceList;
    RemoveEcho(trace);
    JoinPieces(trace);
    std::vector<std::string> lines;
    for (const TraceEntry& entry : trace)
        if (!entry.tag.empty()) lines.push_back(ScriptLine(entry));
    lines.push_back(":TIMEOUT");
    lines.push_back("END");
    return lines;
}

void ScriptWrite(const std::string& fileName) {
    std::string content;
    for (const std::string& line : RecordedScriptLines()) content += line + "\r\n";
    // A recorded session may hold a password the user typed: a new file is readable by
    // its owner only.
    std::string cause;
    if (!WriteFileAtomically(fileName, content, &cause, 0600))
        throw Error(ErrorNumber::FileAccess, "The script " + fileName + " could not be written: " + cause);
}

void ScriptRecord(CommControl& comm, const std::string& fileName, int tailLength) {
    if (!fileName.empty()) {
        const int port = comm.CommPort();
        // Starting over while a recording runs keeps the settings saved by the first
        // start: the control's present values are the recorder's own.
        if (RecordingActive == 0) {
            recording.autoProcess = comm.AutoProcess();
            recording.rThreshold = comm.RThreshold();
        }
        recording.fileName = fileName;
        RecordTailLength = tailLength;
        TraceList = {{"PORT", std::to_string(port)}, {"TIMEOUT", "60"}, {"ON_TIMEOUT_GOTO", ":TIMEOUT"}};
        // Every received character goes to the application at once, which hands it to
        // the trace through ScriptTraceIn.
        comm.SetAutoProcess(0);
        comm.SetRThreshold(1);
        RecordingActive = -1;
        return;
    }

    if (RecordingActive == 0) {
        MsgBox("Error - ScriptRecord called with \" when no script was being recorded");
        return;
    }
    comm.SetAutoProcess(recording.autoProcess);
    comm.SetRThreshold(recording.rThreshold);
    RecordingActive = 0;
    const std::string name = recording.fileName;
    recording.fileName.clear();
    ScriptWrite(name);
}

}  // namespace zorv
