#include "tools/zorvbbs/Accounts.h"

#include <fstream>
#include <sstream>

namespace zorv::bbs {

namespace {

std::string Lower(std::string text) {
    for (char& c : text)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return text;
}

std::string Trim(const std::string& text) {
    const size_t first = text.find_first_not_of(" \t\r");
    if (first == std::string::npos) return "";
    const size_t last = text.find_last_not_of(" \t\r");
    return text.substr(first, last - first + 1);
}

}  // namespace

bool Accounts::Parse(const std::string& text, std::string& error) {
    std::vector<Account> parsed;
    std::istringstream in(text);
    std::string line;
    int number = 0;
    while (std::getline(in, line)) {
        ++number;
        line = Trim(line);
        if (line.empty() || line[0] == '#') continue;
        const size_t first = line.find(':');
        const size_t second = first == std::string::npos ? first : line.find(':', first + 1);
        Account account;
        account.name = Trim(line.substr(0, first));
        if (first == std::string::npos || account.name.empty()) {
            error = "line " + std::to_string(number) + ": expected name:password[:A|B]";
            return false;
        }
        account.password = line.substr(first + 1, second == std::string::npos ? std::string::npos : second - first - 1);
        if (second != std::string::npos) {
            const std::string variant = Trim(line.substr(second + 1));
            if (variant == "A" || variant == "a") account.variant = LoginVariant::A;
            else if (variant.empty() || variant == "B" || variant == "b") account.variant = LoginVariant::B;
            else {
                error = "line " + std::to_string(number) + ": the dialogue variant must be A or B";
                return false;
            }
        }
        if (Find(account.name) || [&] {
                for (const Account& a : parsed)
                    if (Lower(a.name) == Lower(account.name)) return true;
                return false;
            }()) {
            error = "line " + std::to_string(number) + ": " + account.name + " is listed twice";
            return false;
        }
        parsed.push_back(account);
    }
    accounts_.insert(accounts_.end(), parsed.begin(), parsed.end());
    return true;
}

bool Accounts::Load(const std::string& path, std::string& error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = "cannot read " + path;
        return false;
    }
    std::ostringstream text;
    text << in.rdbuf();
    if (!Parse(text.str(), error)) {
        error = path + ", " + error;
        return false;
    }
    return true;
}

std::optional<Account> Accounts::Find(const std::string& name) const {
    const std::string key = Lower(Trim(name));
    for (const Account& account : accounts_)
        if (Lower(account.name) == key) return account;
    return std::nullopt;
}

}  // namespace zorv::bbs
