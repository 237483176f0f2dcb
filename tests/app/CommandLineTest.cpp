#include <gtest/gtest.h>

#include "app/CommandLine.h"

namespace zorv {
namespace {

TEST(CommandLine, SplitsFieldsAtSingleSpaces) {
    const struct {
        const char* arguments;
        const char* user;
        const char* password;
        const char* file;
        bool lastNameIsPassword;
        bool complete;
    } cases[] = {
        {"alice secret FILES.ZIP", "alice", "secret", "FILES.ZIP", false, true},
        {"alice secret FILES.ZIP 1", "alice", "secret", "FILES.ZIP", true, true},
        {"alice secret FILES.ZIP 0", "alice", "secret", "FILES.ZIP", false, true},
        {"alice secret FILES.ZIP yes", "alice", "secret", "FILES.ZIP", false, true},
        {"alice secret FILES.ZIP 0.4", "alice", "secret", "FILES.ZIP", false, true},
        {"alice secret FILES.ZIP 0.5", "alice", "secret", "FILES.ZIP", false, true},  // half goes to even 0
        {"alice secret FILES.ZIP 0.6", "alice", "secret", "FILES.ZIP", true, true},
        {"alice secret FILES.ZIP 1.5", "alice", "secret", "FILES.ZIP", true, true},
        // The number reader skips the blank between a fourth and fifth word: "1 2" is 12.
        {"alice secret FILES.ZIP 1 2", "alice", "secret", "FILES.ZIP", true, true},
        {"alice secret FILES.ZIP 0 0", "alice", "secret", "FILES.ZIP", false, true},
        // Two spaces leave the password empty; the rest shifts one field on.
        {"alice  secret FILES.ZIP", "alice", "", "secret", false, false},
        // One word is taken as the file name, two as user name and file name.
        {"FILES.ZIP", "", "", "FILES.ZIP", false, false},
        {"alice FILES.ZIP", "alice", "", "FILES.ZIP", false, false},
        {"", "", "", "", false, false},
        {"alice secret ", "alice", "secret", "", false, false},
    };
    for (const auto& c : cases) {
        const CommandLineFields f = SplitCommandLine(c.arguments);
        SCOPED_TRACE(c.arguments);
        EXPECT_EQ(f.userName, c.user);
        EXPECT_EQ(f.userPassword, c.password);
        EXPECT_EQ(f.downloadFile, c.file);
        EXPECT_EQ(f.passwordAsLastName, c.lastNameIsPassword);
        EXPECT_EQ(f.Complete(), c.complete);
    }
}

TEST(CommandLine, ArgumentTextJoinsArgumentsWithSingleSpaces) {
    char prog[] = "zorvdial", a[] = "alice", empty[] = "", b[] = "FILES.ZIP";
    char* argv[] = {prog, a, empty, b};
    // An empty argument leaves two spaces, so the password field comes out empty.
    EXPECT_EQ(ArgumentText(4, argv), "alice  FILES.ZIP");
    EXPECT_EQ(ArgumentText(1, argv), "");
}

}  // namespace
}  // namespace zorv
