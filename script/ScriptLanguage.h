#pragma once
// The script language: how a script line is read. A script is a text file of lines;
// each line is a comment, a label or a command whose first word is a keyword. What
// each command does is the interpreter's business (ScriptRun.h); here are the line
// kinds, the command word, the four ways an argument is read, the variable and label
// tables, and caret notation back from control characters.
//
// Rules existing scripts rely on, kept exactly:
//  - ";" comments only in the first column; an apostrophe ends the line wherever it
//    stands, also inside double quotes.
//  - Lines lose their leading and trailing blanks (blanks only: a line that begins
//    with a tab is an unknown command, whatever follows).
//  - The command word ends at the first blank; only a line without any blank ends it
//    at the first tab.
//  - A label line enters the label table only when its very first character as read is
//    ":"; an indented label is skipped but is never a jump target.
//  - A bare word (no double quotes) names a variable; one without a value reads as
//    "XXX" followed by its slot number.
#include <cstdint>
#include <string>
#include <vector>

namespace zorv {

enum class ScriptCommand {
    None,
    PORT,
    SETTINGS,
    DIAL,
    TIMEOUT,
    WAITFOR,
    SEND,
    HANGUP,
    PROTOCOL,
    UPLOAD,
    DOWNLOAD,
    PAUSE,
    STOP,
    END,
    INPUT,
    CAPTURE,
    CLOSECAPTURE,
    ON_TIMEOUT_GOTO,
};

// The keyword as written in scripts ("" for None).
const char* ScriptKeyword(ScriptCommand command);

enum class LineKind { Comment, Empty, Label, Command };

// Decides the kind of a stored (blank-trimmed) line. For a command line `commandText`
// receives the line with everything from its first apostrophe on cut away.
LineKind ClassifyLine(const std::string& line, std::string& commandText);

// The command word: the text before the first blank; without a blank, before the first
// tab; without either, the whole line.
std::string CommandWord(const std::string& line);

// The command for the line's command word (letter case ignored), or None.
ScriptCommand LookupScriptCommand(const std::string& line);

// The argument text of a command line: everything after the keyword's own characters.
std::string CommandArgument(const std::string& line, ScriptCommand command);

// --- argument forms ---

// Number: the leading number of the text (blanks skipped); no number reads as 0.
double NumberArgument(const std::string& text);
// Integer: the number rounded half to even and kept inside 16 bits (a value beyond
// them is held at the nearest end of the range).
int16_t IntegerArgument(const std::string& text);
// Label: blanks removed at both ends, ":" put in front when missing.
std::string LabelArgument(const std::string& text);
// Text: cleaned (the argument itself keeps the cleaned text), then the quoted part,
// or the value of the variable it names (its "XXX" placeholder when unset), with caret
// notation turned into control characters.
std::string ResolveArgument(std::string& argument);
inline std::string ResolveArgument(std::string&& argument) { return ResolveArgument(argument); }

// --- variables and labels of the running script ---

struct ScriptVariable {
    std::string name;
    std::string value;
};

// Slot n (from 1) is VariableTable[n - 1]. Emptied when a run ends.
extern std::vector<ScriptVariable> VariableTable;

// The slot of the variable called `name` (exact match), added with an empty value
// when it is not there yet.
int FindOrAddVariable(const std::string& name);

// The placeholder a variable without a value reads as: "XXX" and the slot number.
std::string VariablePlaceholder(int slot);

struct ScriptLabel {
    std::string text;  // the label line exactly as read, ":" included
    int lineNumber;
};

// Labels in file order; filled while a script is loaded, emptied when the run ends.
extern std::vector<ScriptLabel> LabelTable;

// The line number of the first label whose text equals `label` exactly; 0 when none.
int FindLabel(const std::string& label);

// --- text helpers ---

// Position (from 1) of the last occurrence of `search` in `text` that starts at or
// after position `start`; 0 when there is none.
int FindLast(int start, const std::string& text, const std::string& search);

// Control characters 1 to 31 become "^" and the character 64 higher ("^M" for CR);
// everything else, NUL included, is copied unchanged.
std::string CTRL2CARET(const std::string& text);

}  // namespace zorv
