#pragma once
// The main window's command line: user name, password, file name and an optional
// number, separated by single spaces.
#include <string>

namespace zorv {

struct CommandLineFields {
    std::string userName;
    std::string userPassword;
    std::string downloadFile;
    bool passwordAsLastName = false;

    // All three text fields are needed; without one the program shows its usage.
    bool Complete() const { return !userName.empty() && !userPassword.empty() && !downloadFile.empty(); }
};

// Splits the argument text (everything after the program's name) field by field at
// the first space each time; no quoting rules apply. What is left after the file name
// is read as a number: not 0 after rounding selects the login variant that answers the
// last-name prompt with the password.
CommandLineFields SplitCommandLine(const std::string& arguments);

// The argument text as the platform hands it to the program: the arguments after the
// program name joined by single spaces, exactly as they came.
std::string ArgumentText(int argc, char** argv);

inline constexpr const char* kUsageMessage = "Usage ZORVDial [UserName] [Password] [DownloadFile]";

}  // namespace zorv
