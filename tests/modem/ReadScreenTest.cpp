// Reading pieces of the terminal screen.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "modem/ReadScreen.h"
#include "tests/support/FakeComm.h"
#include "tests/support/TestWorld.h"

namespace zorv::test {
namespace {

TEST(ReadScreen, PiecesAndBadArguments) {
    struct Case {
        int row, column, numChars;
        std::string text;
        std::string message;  // "" when no box is expected
    };
    const std::string rowMessage = "ReadScreen: Invalid Row argument";
    const std::string columnMessage = "ReadScreen: Invalid Column argument";
    const std::string numCharsMessage = "ReadScreen: Invalid NumChars argument";
    const std::vector<Case> cases = {
        {1, 3, 2, "LL", ""},
        {2, 1, 5, "WORLD", ""},
        {1, 4, 4, "LO\r\n", ""},    // a piece runs on into the next row
        {3, 1, 3, "ABC", ""},       // up to the very last character
        {1, 1, 0, "", ""},
        {3, 2, 3, "", numCharsMessage},
        {1, 1, -1, "", numCharsMessage},
        {4, 1, 1, "", rowMessage},
        {0, 1, 1, "", rowMessage},
        {1, 6, 1, "", columnMessage},
        {1, 0, 1, "", columnMessage},
        {1, 1, 2147483647, "", numCharsMessage},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.row << "," << c.column << "," << c.numChars);
        TestWorld world;
        FakeComm comm(world.pump);
        comm.SetRows(3);
        comm.SetColumns(5);
        comm.SetScreenText("HELLO\r\nWORLD\r\nABC");
        EXPECT_EQ(ReadScreen(comm, c.row, c.column, c.numChars), c.text);
        if (c.message.empty()) {
            EXPECT_TRUE(world.ui.boxes.empty());
        } else {
            ASSERT_EQ(world.ui.boxes.size(), 1u);
            EXPECT_EQ(world.ui.boxes[0].text, c.message);
            EXPECT_EQ(world.ui.boxes[0].title, "ZORVDIAL");
        }
    }
}

TEST(ReadScreen, RowBeyondTheTextGivesTheNumCharsMessage) {
    TestWorld world;
    FakeComm comm(world.pump);
    comm.SetScreenText("ONLY ONE ROW");  // 25 rows by default
    EXPECT_EQ(ReadScreen(comm, 2, 1, 1), "");
    ASSERT_EQ(world.ui.boxes.size(), 1u);
    EXPECT_EQ(world.ui.boxes[0].text, "ReadScreen: Invalid NumChars argument");
}

}  // namespace
}  // namespace zorv::test
