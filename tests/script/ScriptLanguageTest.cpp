#include "script/ScriptLanguage.h"
#include "util/TextUtils.h"

#include <gtest/gtest.h>

namespace zorv {
namespace {

class ScriptLanguageTest : public ::testing::Test {
protected:
    void SetUp() override {
        VariableTable.clear();
        LabelTable.clear();
    }
    void TearDown() override { VariableTable.clear(); }
};

TEST_F(ScriptLanguageTest, LineKindsAndCommandWords) {
    struct Case {
        std::string line;
        LineKind kind;
        ScriptCommand command;  // for command lines
        std::string argument;
    };
    const std::vector<Case> cases = {
        {"; a comment", LineKind::Comment, ScriptCommand::None, ""},
        {"'Graphics prompt", LineKind::Comment, ScriptCommand::None, ""},
        {"", LineKind::Empty, ScriptCommand::None, ""},
        {":TIMEOUT", LineKind::Label, ScriptCommand::None, ""},
        {"end", LineKind::Command, ScriptCommand::END, ""},
        {"WaitFor \"ok\"", LineKind::Command, ScriptCommand::WAITFOR, " \"ok\""},
        // A ";" past the first column is an ordinary character.
        {"SEND \"a;b\"", LineKind::Command, ScriptCommand::SEND, " \"a;b\""},
        // The apostrophe ends the line even inside quotes; one blank stays.
        {"WAITFOR \"Since 'Last read'\"", LineKind::Command, ScriptCommand::WAITFOR, " \"Since "},
        {"SEND '", LineKind::Command, ScriptCommand::SEND, " "},
        // A tab separates only when the rest has no blank.
        {"WAITFOR\t\"ok\"", LineKind::Command, ScriptCommand::WAITFOR, "\t\"ok\""},
        {"WAITFOR\t\"o k\"", LineKind::Command, ScriptCommand::None, ""},
        // Lines keep their tabs: a tab in front makes any line an unknown command.
        {"\t:LABEL", LineKind::Command, ScriptCommand::None, ""},
        {"\t; note", LineKind::Command, ScriptCommand::None, ""},
        {"ON_TIMEOUT_GOTO :T", LineKind::Command, ScriptCommand::ON_TIMEOUT_GOTO, " :T"},
        {"CLOSECAPTURE", LineKind::Command, ScriptCommand::CLOSECAPTURE, ""},
        {"SENDX \"a\"", LineKind::Command, ScriptCommand::None, ""},
    };
    for (const Case& c : cases) {
        std::string commandText;
        EXPECT_EQ(ClassifyLine(c.line, commandText), c.kind) << c.line;
        if (c.kind != LineKind::Command) continue;
        const ScriptCommand command = LookupScriptCommand(commandText);
        EXPECT_EQ(command, c.command) << c.line;
        if (command != ScriptCommand::None) EXPECT_EQ(CommandArgument(commandText, command), c.argument) << c.line;
    }
}

TEST_F(ScriptLanguageTest, TextArguments) {
    struct Case {
        std::string argument;
        std::string value;
        std::string cleaned;  // what the caller's copy becomes
    };
    const std::vector<Case> cases = {
        {" \"n^M\"", "n\r", " \"n^M\""},
        {" \"~a~\"", " a ", " \" a \""},
        {" x\"", "x\"", " x\""},                    // the only quote is the last character
        {" pre \"in\" post", "in", " pre \"in\" post"},
        {" \"open to the end", "open to the end", " \"open to the end"},
        {" \"\"", "", " \"\""},
        {" \"a\"\r\n\t ", "a", " \"a\""},
        {" \"^[[0m^J\"", "\x1b[0m\n", " \"^[[0m^J\""},
    };
    for (const Case& c : cases) {
        std::string argument = c.argument;
        EXPECT_EQ(ResolveArgument(argument), c.value) << c.argument;
        EXPECT_EQ(argument, c.cleaned) << c.argument;
    }
    EXPECT_TRUE(VariableTable.empty());
}

TEST_F(ScriptLanguageTest, BareWordsAreVariablesWithPlaceholders) {
    EXPECT_EQ(ResolveArgument(" NAME"), "XXX1");
    EXPECT_EQ(ResolveArgument(" zmodem"), "XXX2");
    EXPECT_EQ(ResolveArgument(" NAME "), "XXX1");
    EXPECT_EQ(ResolveArgument(" "), "XXX3");  // the variable with the empty name
    EXPECT_EQ(ResolveArgument(" na me"), "XXX4");
    VariableTable[0].value = "BOB^M";
    EXPECT_EQ(ResolveArgument(" NAME"), "BOB\r");
    EXPECT_EQ(FindOrAddVariable("zmodem"), 2);
    EXPECT_EQ(VariableTable.size(), 4u);
}

TEST_F(ScriptLanguageTest, NumbersAndLabels) {
    EXPECT_EQ(IntegerArgument("  60"), 60);
    EXPECT_EQ(IntegerArgument(" 2.5"), 2);
    EXPECT_EQ(IntegerArgument(" 3.5"), 4);
    EXPECT_EQ(IntegerArgument(" abc"), 0);
    EXPECT_EQ(IntegerArgument(" 99999"), 32767);
    EXPECT_DOUBLE_EQ(NumberArgument(" 0.5"), 0.5);
    EXPECT_EQ(LabelArgument(" TIMEOUT "), ":TIMEOUT");
    EXPECT_EQ(LabelArgument(" :TIMEOUT"), ":TIMEOUT");
    EXPECT_EQ(LabelArgument(""), ":");
}

TEST_F(ScriptLanguageTest, FindLastAndLabels) {
    EXPECT_EQ(FindLast(1, "\"555,1234\",3", ","), 11);
    EXPECT_EQ(FindLast(1, "5551234", ","), 0);
    EXPECT_EQ(FindLast(4, "a,b,c", ","), 4);
    EXPECT_EQ(FindLast(5, "a,b,c", ","), 0);
    EXPECT_EQ(FindLast(1, "", ","), 0);

    LabelTable = {{":A", 3}, {":B ", 5}, {":A", 9}};
    EXPECT_EQ(FindLabel(":A"), 3);   // the first match wins
    EXPECT_EQ(FindLabel(":B"), 0);   // trailing blanks count
    EXPECT_EQ(FindLabel(":a"), 0);   // letter case counts
}

TEST_F(ScriptLanguageTest, CaretNotationBack) {
    EXPECT_EQ(CTRL2CARET("ATDT\r\n"), "ATDT^M^J");
    EXPECT_EQ(CTRL2CARET(std::string("a\0b\x1b\x1f", 5)), std::string("a\0b^[^_", 7));
    EXPECT_EQ(CTRL2CARET("\x7f~"), "\x7f~");
    EXPECT_EQ(UpperCase("zmodem \xe9\xf7\xff"), "ZMODEM \xc9\xf7\xff");
}

}  // namespace
}  // namespace zorv
