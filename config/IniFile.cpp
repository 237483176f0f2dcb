#include "config/IniFile.h"

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <pwd.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

#include "config/AtomicFile.h"
#include "config/ProgramPlace.h"

namespace zorv {

namespace {

std::string& DirectoryOverride() {
    static std::string directory;
    return directory;
}

// Letter case of the single-byte code page (Latin-1): A-Z and the accented capitals.
unsigned char FoldCase(unsigned char c) {
    if (c >= 'A' && c <= 'Z') return static_cast<unsigned char>(c + 32);
    if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return static_cast<unsigned char>(c + 32);
    return c;
}

bool SameName(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (FoldCase(static_cast<unsigned char>(a[i])) != FoldCase(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string TrimBlanks(const std::string& text) {
    std::size_t first = 0;
    std::size_t last = text.size();
    while (first < last && IsBlank(text[first])) ++first;
    while (last > first && IsBlank(text[last - 1])) --last;
    return text.substr(first, last - first);
}

// Names and values reach the store as C strings do: a NUL ends them.
std::string UpToNul(const std::string& text) { return text.substr(0, text.find('\0')); }

// One line of the file as it stands, with its line end, so a rewrite keeps every line
// we do not change byte for byte.
struct IniLine {
    std::string text;    // without the line end
    std::string ending;  // "\n", "\r\n" or "" for a last line without one
    enum class Kind { Other, Section, Key } kind = Kind::Other;
    std::string name;    // section or key name, blanks removed
    std::string value;   // for a key: the text after "=", blanks removed
};

IniLine ParseLine(std::string text, std::string ending) {
    IniLine line;
    if (!text.empty() && text.back() == '\r') {
        text.pop_back();
        ending = "\r" + ending;
    }
    line.text = std::move(text);
    line.ending = std::move(ending);
    std::size_t start = 0;
    while (start < line.text.size() && IsBlank(line.text[start])) ++start;
    if (start < line.text.size() && line.text[start] == '[') {
        std::size_t close = line.text.find(']', start + 1);
        std::size_t end = close == std::string::npos ? line.text.size() : close;
        line.kind = IniLine::Kind::Section;
        line.name = TrimBlanks(line.text.substr(start + 1, end - start - 1));
        return line;
    }
    std::size_t equals = line.text.find('=');
    if (equals != std::string::npos) {
        line.kind = IniLine::Kind::Key;
        line.name = TrimBlanks(line.text.substr(0, equals));
        line.value = TrimBlanks(line.text.substr(equals + 1));
    }
    return line;
}

std::vector<IniLine> ParseLines(const std::string& content) {
    std::vector<IniLine> lines;
    std::size_t pos = 0;
    while (pos < content.size()) {
        std::size_t newline = content.find('\n', pos);
        if (newline == std::string::npos) {
            lines.push_back(ParseLine(content.substr(pos), ""));
            break;
        }
        lines.push_back(ParseLine(content.substr(pos, newline - pos), "\n"));
        pos = newline + 1;
    }
    return lines;
}

enum class Load { Ok, Missing, Failed, TooLarge };

// Reads at most `maxBytes` of the file.
Load LoadFile(const std::string& path, std::string& content, std::size_t maxBytes) {
    content.clear();
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) return errno == ENOENT ? Load::Missing : Load::Failed;
    if (S_ISDIR(info.st_mode)) return Load::Failed;
    std::ifstream in(path, std::ios::binary);
    if (!in) return Load::Failed;
    content.resize(maxBytes + 1);
    in.read(content.data(), static_cast<std::streamsize>(content.size()));
    if (in.bad()) return Load::Failed;
    content.resize(static_cast<std::size_t>(in.gcount()));
    if (content.size() > maxBytes) {
        content.resize(maxBytes);
        return Load::TooLarge;
    }
    return Load::Ok;
}

// The lines of the file for reading; empty when it is missing or unreadable.
std::vector<IniLine> LinesForReading(const std::string& path) {
    std::string content;
    Load result = LoadFile(path, content, kMaxIniFileSize);
    if (result == Load::Missing || result == Load::Failed) return {};
    return ParseLines(content);
}

// Index of the first section header of that name, or nothing.
std::optional<std::size_t> FindSection(const std::vector<IniLine>& lines, const std::string& section) {
    const std::string wanted = TrimBlanks(UpToNul(section));
    for (std::size_t i = 0; i < lines.size(); ++i)
        if (lines[i].kind == IniLine::Kind::Section && SameName(lines[i].name, wanted)) return i;
    return std::nullopt;
}

// One past the last line that belongs to the section starting at `header`.
std::size_t SectionEnd(const std::vector<IniLine>& lines, std::size_t header) {
    std::size_t i = header + 1;
    while (i < lines.size() && lines[i].kind != IniLine::Kind::Section) ++i;
    return i;
}

std::string HomeDirectory() {
    const char* home = std::getenv("HOME");
    if (home && *home) return home;
    if (const passwd* entry = ::getpwuid(::getuid()); entry && entry->pw_dir) return entry->pw_dir;
    return ".";
}

}  // namespace

std::string INIFILENAME() { return IniFileNameOf(ExecutableFileName()); }

std::string IniFileNameOf(const std::string& executableName) {
    std::string name = executableName;
    std::string::size_type dot = name.find('.');
    if (dot != std::string::npos) name.erase(dot);
    return name + ".INI";
}

std::string IniDirectory() {
    if (!DirectoryOverride().empty()) return DirectoryOverride();
    const char* config = std::getenv("XDG_CONFIG_HOME");
    // The base directory rules ignore a relative XDG_CONFIG_HOME.
    if (config && config[0] == '/') return std::string(config) + "/zorvdial";
    return HomeDirectory() + "/.config/zorvdial";
}

void SetIniDirectory(const std::string& dir) { DirectoryOverride() = dir; }

std::string IniFilePath() { return IniDirectory() + "/" + INIFILENAME(); }

std::string ReadIniKeyIn(const std::string& path, const std::string& section, const std::string& key,
                         int limit) {
    if (limit <= 0) return "";
    std::vector<IniLine> lines = LinesForReading(path);
    std::optional<std::size_t> header = FindSection(lines, section);
    if (!header) return "";
    const std::string wanted = TrimBlanks(UpToNul(key));
    std::size_t end = SectionEnd(lines, *header);
    for (std::size_t i = *header + 1; i < end; ++i) {
        if (lines[i].kind == IniLine::Kind::Key && SameName(lines[i].name, wanted))
            return lines[i].value.substr(0, static_cast<std::size_t>(limit));
    }
    return "";
}

std::vector<std::pair<std::string, std::string>> ReadIniSectionIn(const std::string& path,
                                                                  const std::string& section) {
    std::vector<std::pair<std::string, std::string>> keys;
    std::vector<IniLine> lines = LinesForReading(path);
    std::optional<std::size_t> header = FindSection(lines, section);
    if (!header) return keys;
    std::size_t end = SectionEnd(lines, *header);
    for (std::size_t i = *header + 1; i < end; ++i)
        if (lines[i].kind == IniLine::Kind::Key) keys.emplace_back(lines[i].name, lines[i].value);
    return keys;
}

bool WriteIniKeyIn(const std::string& path, const std::string& section, const std::string& key,
                   const std::string& value) {
    const std::string sectionName = TrimBlanks(UpToNul(section));
    const std::string keyName = TrimBlanks(UpToNul(key));
    std::string text = UpToNul(value);
    text = text.substr(0, text.find_first_of("\r\n"));
    if (sectionName.find_first_of("]\r\n") != std::string::npos) return false;
    if (keyName.empty() || keyName.find_first_of("=\r\n") != std::string::npos || keyName[0] == '[')
        return false;

    std::string content;
    Load result = LoadFile(path, content, kMaxIniFileSize);
    if (result == Load::Failed || result == Load::TooLarge) return false;
    std::vector<IniLine> lines = ParseLines(content);

    // New lines follow the file's own line ends.
    std::string ending = "\n";
    for (const IniLine& line : lines) {
        if (!line.ending.empty()) {
            ending = line.ending;
            break;
        }
    }
    IniLine keyLine = ParseLine(keyName + "=" + text, ending);

    std::optional<std::size_t> header = FindSection(lines, sectionName);
    if (header) {
        std::size_t end = SectionEnd(lines, *header);
        bool replaced = false;
        for (std::size_t i = *header + 1; i < end && !replaced; ++i) {
            if (lines[i].kind == IniLine::Kind::Key && SameName(lines[i].name, keyName)) {
                keyLine.ending = lines[i].ending.empty() ? std::string() : lines[i].ending;
                lines[i] = keyLine;
                replaced = true;
            }
        }
        if (!replaced) {
            // After the section's last line that is not blank, so blank lines between
            // sections stay where they were.
            std::size_t at = end;
            while (at > *header + 1 && TrimBlanks(lines[at - 1].text).empty()) --at;
            if (lines[at - 1].ending.empty()) lines[at - 1].ending = ending;
            lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(at), keyLine);
        }
    } else {
        if (!lines.empty() && lines.back().ending.empty()) lines.back().ending = ending;
        lines.push_back(ParseLine("[" + sectionName + "]", ending));
        lines.push_back(keyLine);
    }

    std::string updated;
    updated.reserve(content.size() + keyLine.text.size() + sectionName.size() + 8);
    for (const IniLine& line : lines) updated += line.text + line.ending;

    std::string folder = path.substr(0, path.rfind('/') == std::string::npos ? 0 : path.rfind('/'));
    if (!folder.empty()) {
        std::error_code error;
        std::filesystem::create_directories(folder, error);
        if (error) return false;
    }
    return WriteFileAtomically(path, updated);
}

std::string ReadIniKey(const std::string& section, const std::string& key, int limit) {
    return ReadIniKeyIn(IniFilePath(), section, key, limit);
}

bool WriteIniKey(const std::string& section, const std::string& key, const std::string& value) {
    return WriteIniKeyIn(IniFilePath(), section, key, value);
}

std::vector<std::pair<std::string, std::string>> ReadIniSection(const std::string& section) {
    return ReadIniSectionIn(IniFilePath(), section);
}

}  // namespace zorv
