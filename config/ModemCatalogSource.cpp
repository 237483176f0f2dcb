#include "config/ModemCatalogSource.h"

#include <map>
#include <set>

#include "config/ModemDatabase.h"

namespace zorv {

namespace {

// A source line is short; a longer one is a mistake (or not a text file at all).
constexpr std::size_t kMaxSourceLine = 1024;

struct Field {
    const char* key;
    std::size_t width;
    bool required;
    const char* fallback;  // for optional keys
};

const Field kFields[] = {
    {"Make", 25, true, ""},          {"Model", 40, true, ""},         {"HighestBaud", 0, true, ""},
    {"Init", 128, true, ""},         {"Attention", 30, false, "AT"},  {"Hangup", 50, false, "ATH^M"},
    {"Reset", 30, false, "ATZ^M"},   {"Answer", 30, false, "ATA^M"},  {"Dial", 30, false, "ATDT"},
    {"Busy", 30, false, "BUSY"},     {"Connect", 40, false, "CONNECT"},
};

const Field* FindField(const std::string& key) {
    for (const Field& field : kFields)
        if (key == field.key) return &field;
    return nullptr;
}

std::string Trim(const std::string& text) {
    std::size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos) return "";
    std::size_t last = text.find_last_not_of(" \t");
    return text.substr(first, last - first + 1);
}

struct Block {
    int firstLine = 0;
    std::map<std::string, std::string> values;
};

}  // namespace

CatalogParseResult ParseModemCatalog(const std::string& text, const std::string& sourceName) {
    CatalogParseResult result;
    auto fail = [&](int line, const std::string& what) {
        result.records.clear();
        result.error = sourceName + ":" + std::to_string(line) + ": " + what;
        return result;
    };

    std::vector<Block> blocks;
    Block current;
    int lineNumber = 0;
    std::size_t pos = 0;
    bool lastLine = text.empty();
    while (!lastLine) {
        ++lineNumber;
        std::size_t end = text.find('\n', pos);
        if (end == std::string::npos) {
            end = text.size();
            lastLine = true;
        }
        std::string line = text.substr(pos, end - pos);
        pos = end + 1;
        if (pos >= text.size()) lastLine = true;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.size() > kMaxSourceLine) return fail(lineNumber, "line longer than 1024 characters");
        for (char c : line) {
            unsigned char u = static_cast<unsigned char>(c);
            if ((u < 32 && c != '\t') || u > 126)
                return fail(lineNumber, "character " + std::to_string(u) + " is not printable ASCII");
        }
        const std::string trimmed = Trim(line);
        if (trimmed.empty()) {
            if (!current.values.empty()) blocks.push_back(std::move(current));
            current = Block{};
            continue;
        }
        if (trimmed[0] == '#') continue;
        std::size_t equals = trimmed.find('=');
        if (equals == std::string::npos) return fail(lineNumber, "expected Key=Value, found \"" + trimmed + "\"");
        const std::string key = Trim(trimmed.substr(0, equals));
        const std::string value = Trim(trimmed.substr(equals + 1));
        const Field* field = FindField(key);
        if (!field) return fail(lineNumber, "unknown key \"" + key + "\"");
        if (current.values.count(key)) return fail(lineNumber, "\"" + key + "\" given twice for one modem");
        if (field->width > 0 && value.size() > field->width)
            return fail(lineNumber, "\"" + key + "\" is longer than " + std::to_string(field->width) + " characters");
        if (field->required && value.empty() && key != "Init") return fail(lineNumber, "\"" + key + "\" is empty");
        if (key == "HighestBaud") {
            if (value.find_first_not_of("0123456789") != std::string::npos || value.size() > 9 || std::stol(value) <= 0)
                return fail(lineNumber, "HighestBaud must be a positive number, found \"" + value + "\"");
        }
        if (current.values.empty()) current.firstLine = lineNumber;
        current.values[key] = value;
    }
    if (!current.values.empty()) blocks.push_back(std::move(current));

    std::set<std::string> closedMakes;
    std::set<std::string> modelsOfMake;
    std::string previousMake;
    for (const Block& block : blocks) {
        for (const Field& field : kFields)
            if (field.required && !block.values.count(field.key))
                return fail(block.firstLine, "the modem starting here has no \"" + std::string(field.key) + "\"");
        const std::string make = block.values.at("Make");
        const std::string makeKey = MakeKey(make);
        if (makeKey != previousMake) {
            if (closedMakes.count(makeKey))
                return fail(block.firstLine, "the modems of make \"" + make + "\" must stand together");
            if (!previousMake.empty()) closedMakes.insert(previousMake);
            previousMake = makeKey;
            modelsOfMake.clear();
        }
        const std::string& model = block.values.at("Model");
        if (!modelsOfMake.insert(MakeKey(model)).second)
            return fail(block.firstLine, "model \"" + model + "\" appears twice for make \"" + make + "\"");
        if (result.records.size() >= static_cast<std::size_t>(kMaxModemRecords))
            return fail(block.firstLine, "more than 32767 modems");

        auto value = [&](const char* key) {
            auto found = block.values.find(key);
            return found != block.values.end() ? found->second : std::string(FindField(key)->fallback);
        };
        ModemRecord record;
        record.ModemNumber = static_cast<int32_t>(result.records.size() + 1);
        record.Make = make;
        record.ModemName = model;
        record.HighestBaud = static_cast<int32_t>(std::stol(value("HighestBaud")));
        record.InitString = value("Init");
        record.Attention = value("Attention");
        record.Hangup = value("Hangup");
        record.Reset = value("Reset");
        record.Answer = value("Answer");
        record.Dial = value("Dial");
        record.Busy = value("Busy");
        record.Connect = value("Connect");
        result.records.push_back(record);
    }
    if (result.records.empty()) return fail(lineNumber, "no modems in the catalogue");
    return result;
}

}  // namespace zorv
