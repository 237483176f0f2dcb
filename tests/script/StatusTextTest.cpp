// Status messages and the recording trace.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "script/RecordingTrace.h"
#include "script/ResultCodes.h"
#include "script/StatusText.h"

namespace zorv {
namespace {

TEST(StatusText, MessagesReachTheHookOncePerCall) {
    struct Case {
        int code;
        std::string text;
        std::string message;
    };
    const std::vector<Case> cases = {
        {5201, "ignored", "Script: Initializing the port.."},
        {5202, "login:", "Script: Waiting For login:"},
        {5203, "n^M", "Script: Sending n^M"},
        {5204, "2400,N,8,1", "Script: Port is set at 2400,N,8,1"},
        {5205, "CAP.TXT", "Script: Capturing to CAP.TXT"},
        {5206, "5551234", "Script: Dialing 5551234"},
        {5207, "ignored", "Script: Hanging up"},
        {5208, "A.ZIP", "Script: Uploading A.ZIP"},
        {5209, "B.ZIP", "Script: Downloading B.ZIP"},
        {5210, "2", "Script: Redial #2"},
        {5301, "5551234", "Dialing 5551234"},
        {5302, "3", "Redial Attempt # 3"},
        {0, "Hanging Up...", "Hanging Up..."},
        {5211, "Name?", ""},
        {-1, "x", ""},
    };
    std::vector<std::string> received;
    SetStatusHook([&](const std::string& message) { received.push_back(message); });
    SETRESULT(RC_TIMEOUT);
    for (const Case& c : cases) STATUSTEXT(c.code, c.text);
    SetStatusHook(nullptr);
    STATUSTEXT(0, "nobody listens");  // the program's own hook: nothing happens

    ASSERT_EQ(received.size(), cases.size());
    for (size_t i = 0; i < cases.size(); ++i) EXPECT_EQ(received[i], cases[i].message) << cases[i].code;
    EXPECT_EQ(GETRESULT(), RC_TIMEOUT);
}

TEST(RecordingTrace, HooksAddOnlyWhileRecording) {
    TraceList.clear();
    RecordingActive = 0;
    ScriptTraceOut("ATZ\r");
    ScriptTraceIn("OK\r\n");
    EXPECT_TRUE(TraceList.empty());

    RecordingActive = -1;
    ScriptTraceOut("n\r");
    ScriptTraceIn("Password?");
    ScriptTrace("SEND", "x");
    ScriptTrace("SEND", "x");  // pieces are joined only when the script is written
    RecordingActive = 0;

    const std::vector<std::pair<std::string, std::string>> expected = {
        {"OUT", "n\r"}, {"IN", "Password?"}, {"SEND", "x"}, {"SEND", "x"}};
    ASSERT_EQ(TraceList.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(TraceList[i].tag, expected[i].first);
        EXPECT_EQ(TraceList[i].text, expected[i].second);
    }
    TraceList.clear();
}

}  // namespace
}  // namespace zorv
