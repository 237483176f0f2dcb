#include "script/ScriptLanguage.h"

#include <array>
#include <string_view>

#include "modem/ModemCommands.h"
#include "util/Numbers.h"
#include "util/TextUtils.h"

namespace zorv {

std::vector<ScriptVariable> VariableTable;
std::vector<ScriptLabel> LabelTable;

namespace {

struct KeywordEntry {
    ScriptCommand command;
    const char* keyword;
};

constexpr std::array<KeywordEntry, 17> kKeywords{{
    {ScriptCommand::PORT, "PORT"},
    {ScriptCommand::SETTINGS, "SETTINGS"},
    {ScriptCommand::DIAL, "DIAL"},
    {ScriptCommand::TIMEOUT, "TIMEOUT"},
    {ScriptCommand::WAITFOR, "WAITFOR"},
    {ScriptCommand::SEND, "SEND"},
    {ScriptCommand::HANGUP, "HANGUP"},
    {ScriptCommand::PROTOCOL, "PROTOCOL"},
    {ScriptCommand::UPLOAD, "UPLOAD"},
    {ScriptCommand::DOWNLOAD, "DOWNLOAD"},
    {ScriptCommand::PAUSE, "PAUSE"},
    {ScriptCommand::STOP, "STOP"},
    {ScriptCommand::END, "END"},
    {ScriptCommand::INPUT, "INPUT"},
    {ScriptCommand::CAPTURE, "CAPTURE"},
    {ScriptCommand::CLOSECAPTURE, "CLOSECAPTURE"},
    {ScriptCommand::ON_TIMEOUT_GOTO, "ON_TIMEOUT_GOTO"},
}};

}  // namespace

const char* ScriptKeyword(ScriptCommand command) {
    for (const auto& entry : kKeywords)
        if (entry.command == command) return entry.keyword;
    return "";
}

LineKind ClassifyLine(const std::string& line, std::string& commandText) {
    commandText.clear();
    if (!line.empty() && line[0] == ';') return LineKind::Comment;
    std::string text = line;
    const size_t apostrophe = text.find('\'');
    if (apostrophe != std::string::npos) {
        if (apostrophe == 0) return LineKind::Comment;
        text.erase(apostrophe);
    }
    if (text.empty()) return LineKind::Empty;
    if (text[0] == ':') return LineKind::Label;
    commandText = std::move(text);
    return LineKind::Command;
}

std::string CommandWord(const std::string& line) {
    size_t end = line.find(' ');
    if (end == std::string::npos) end = line.find('\t');
    if (end == std::string::npos) return line;
    return line.substr(0, end);
}

ScriptCommand LookupScriptCommand(const std::string& line) {
    const std::string word = UpperCase(CommandWord(line));
    for (const auto& entry : kKeywords)
        if (word == entry.keyword) return entry.command;
    return ScriptCommand::None;
}

std::string CommandArgument(const std::string& line, ScriptCommand command) {
    const size_t keywordLength = std::string_view(ScriptKeyword(command)).size();
    if (line.size() <= keywordLength) return "";
    return line.substr(keywordLength);
}

double NumberArgument(const std::string& text) { return Val(text); }

int16_t IntegerArgument(const std::string& text) { return ToInt16(Val(text)); }

std::string LabelArgument(const std::string& text) {
    std::string label = TrimBlanks(text);
    if (label.empty() || label[0] != ':') label.insert(label.begin(), ':');
    return label;
}

std::string ResolveArgument(std::string& argument) {
    const std::string cleaned = TRIMCTLCHARS(argument);
    std::string value;
    const size_t open = cleaned.find('"');
    if (open == std::string::npos) {
        const int slot = FindOrAddVariable(cleaned);
        const std::string& stored = VariableTable[slot - 1].value;
        value = stored.empty() ? VariablePlaceholder(slot) : stored;
    } else if (open + 1 == cleaned.size()) {
        // The only quote closes nothing: the text is taken as written, quote and all.
        value = cleaned;
    } else {
        const size_t close = cleaned.find('"', open + 1);
        value = close == std::string::npos ? cleaned.substr(open + 1) : cleaned.substr(open + 1, close - open - 1);
    }
    return CARET2CTRL(value);
}

int FindOrAddVariable(const std::string& name) {
    for (size_t i = 0; i < VariableTable.size(); ++i)
        if (VariableTable[i].name == name) return static_cast<int>(i + 1);
    VariableTable.push_back({name, ""});
    return static_cast<int>(VariableTable.size());
}

std::string VariablePlaceholder(int slot) { return "XXX" + std::to_string(slot); }

int FindLabel(const std::string& label) {
    for (const auto& entry : LabelTable)
        if (entry.text == label) return entry.lineNumber;
    return 0;
}

int FindLast(int start, const std::string& text, const std::string& search) {
    if (search.empty() || start < 1 || text.size() < search.size()) return 0;
    const size_t at = text.rfind(search);
    if (at == std::string::npos || at + 1 < static_cast<size_t>(start)) return 0;
    return static_cast<int>(at + 1);
}

std::string CTRL2CARET(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (u >= 1 && u <= 31) {
            out += '^';
            out += static_cast<char>(u + 64);
        } else {
            out += c;
        }
    }
    return out;
}

}  // namespace zorv
