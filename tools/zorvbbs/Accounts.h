#pragma once
// The board's user accounts, from a small text file:
//
//   # comment
//   name:password:variant
//
// The name is what the caller types at the first-name prompt (compared without regard
// to letter case, as boards do); the password is compared exactly. The variant picks the
// login dialogue: B (the default) asks last name and then password; A takes the
// password at the last-name prompt and then asks "register or continue" and "register
// as new user".
#include <optional>
#include <string>
#include <vector>

namespace zorv::bbs {

enum class LoginVariant { A, B };

struct Account {
    std::string name;
    std::string password;
    LoginVariant variant = LoginVariant::B;
};

class Accounts {
public:
    // Parses the text; false with `error` naming the line when a line is malformed.
    bool Parse(const std::string& text, std::string& error);
    bool Load(const std::string& path, std::string& error);

    std::optional<Account> Find(const std::string& name) const;
    size_t Size() const { return accounts_.size(); }

private:
    std::vector<Account> accounts_;
};

}  // namespace zorv::bbs
