#include "app/CommandLine.h"

#include "util/Numbers.h"

namespace zorv {

namespace {

// The text before the first space goes to `field` and the rest stays in `remainder`;
// with no space, `field` stays as it was and `remainder` keeps everything.
bool TakeField(std::string& remainder, std::string& field) {
    const size_t space = remainder.find(' ');
    if (space == std::string::npos) return false;
    field = remainder.substr(0, space);
    remainder = remainder.substr(space + 1);
    return true;
}

}  // namespace

CommandLineFields SplitCommandLine(const std::string& arguments) {
    CommandLineFields fields;
    std::string remainder = arguments;
    TakeField(remainder, fields.userName);
    TakeField(remainder, fields.userPassword);
    if (!TakeField(remainder, fields.downloadFile)) {
        fields.downloadFile = remainder;
        remainder.clear();
    }
    if (!remainder.empty()) {
        // Any value not 0 sets the flag, also one beyond the 16-bit range.
        fields.passwordAsLastName = RoundHalfEven(Val(remainder)) != 0;
    }
    return fields;
}

std::string ArgumentText(int argc, char** argv) {
    std::string text;
    for (int i = 1; i < argc; ++i) {
        if (i > 1) text += ' ';
        text += argv[i];
    }
    return text;
}

}  // namespace zorv
