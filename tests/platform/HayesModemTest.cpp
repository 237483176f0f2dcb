// The network modem's command side, driven byte by byte with a clock the test moves.
#include <gtest/gtest.h>

#include <cstring>

#include "platform/comm/HayesModem.h"

namespace zorv::test {
namespace {

using Kind = HayesModem::Action::Kind;

class HayesModemTest : public ::testing::Test {
protected:
    HayesModemTest() { config.phoneBook["5559678"] = NetTarget{"127.0.0.1", 2323, true}; }

    std::string Type(const std::string& text) {
        modem.FromDte(text.data(), text.size(), now);
        return modem.TakeToDte();
    }
    void Pass(int64_t ms) {
        now += ms;
        modem.Tick(now);
    }
    void Connect() {
        Type("ATDT5559678\r");
        modem.TakeActions();
        modem.DialSucceeded(now);
        modem.TakeToDte();
    }

    NetModemConfig config;
    HayesModem modem{config};
    int64_t now = 100000;
};

TEST_F(HayesModemTest, CommandsAnswerAsAModemDoes) {
    struct Case {
        const char* typed;
        const char* answer;
    };
    const Case cases[] = {
        {"AT\r", "AT\r\r\nOK\r\n"},
        {"ATE0\r", "ATE0\r\r\nOK\r\n"},
        {"AT\r", "\r\nOK\r\n"},
        {"at s0=2 s7=30\r", "\r\nOK\r\n"},
        {"ATS0?S7?\r", "\r\n002\r\n030\r\n\r\nOK\r\n"},
        {"ATS12?S2?\r", "\r\n050\r\n043\r\n\r\nOK\r\n"},
        {"ATI\r", "\r\nZORV Network Modem\r\n\r\nOK\r\n"},
        {"AT&C1&D2M1L2X4&K3\\N3+MS=V34\r", "\r\nOK\r\n"},
        {"ATX\x01\r", "\r\nERROR\r\n"},
        {"ATE5\r", "\r\nERROR\r\n"},
        {"ATS256=1\r", "\r\nERROR\r\n"},
        {"AT&D7\r", "\r\nERROR\r\n"},
        {"hello\r", "\r\nERROR\r\n"},
        {"\r", ""},
        {"ATV0\r", "0\r"},
        {"ATX9Y\r", "0\r"},
        {"ATQ\x05\r", "4\r"},
        {"ATH\r", "0\r"},
        {"ATA\r", "3\r"},
        {"ATV1Q1\r", ""},
        {"ATQ0O\r", "\r\nNO CARRIER\r\n"},
        {"ATDT123\r", "\r\nNO CARRIER\r\n"},  // not in the phone book
        {"ATZ\r", "\r\nOK\r\n"},
        {"AT\r", "AT\r\r\nOK\r\n"},  // echo is back after the reset
    };
    for (const Case& c : cases) EXPECT_EQ(Type(c.typed), c.answer) << c.typed;
    EXPECT_TRUE(modem.TakeActions().empty());
}

TEST_F(HayesModemTest, ByteByByteAndAllAtOnceGiveTheSameAnswers) {
    const std::string session = "ATE0\rATS0=3\r\nATS0?\rgarbage\x7f\x01\rAT\bI\rA/ATV0\rAT&F\rATS7?\r";
    HayesModem whole{config}, bytes{config};
    whole.FromDte(session.data(), session.size(), now);
    for (char c : session) bytes.FromDte(&c, 1, now);
    const std::string answers = whole.TakeToDte();
    EXPECT_EQ(bytes.TakeToDte(), answers);
    EXPECT_NE(answers.find("\r\n003\r\n"), std::string::npos) << answers;
}

TEST_F(HayesModemTest, OverlongLinesAndGarbageGiveErrorAndNothingElse) {
    Type("ATE0\r");
    for (size_t length : {HayesModem::kMaxCommandLine + 1, size_t{5000}, size_t{100000}}) {
        EXPECT_EQ(Type("AT" + std::string(length, 'S') + "\r"), "\r\nERROR\r\n");
        EXPECT_EQ(Type("ATDT" + std::string(length, '5') + "\r"), "\r\nERROR\r\n");
    }
    std::string garbage;
    for (int i = 0; i < 4096; ++i) garbage += static_cast<char>((i * 131 + 7) & 0xff);
    garbage += '\r';
    const std::string answer = Type(garbage);
    std::string errors;
    for (size_t at = 0; (at = answer.find("ERROR", at)) != std::string::npos; at += 5) errors += "\r\nERROR\r\n";
    EXPECT_EQ(answer, errors);
    EXPECT_TRUE(modem.TakeActions().empty());
    EXPECT_FALSE(modem.Dialing());
    EXPECT_EQ(Type("AT\r"), "\r\nOK\r\n");  // still listening
}

TEST_F(HayesModemTest, DialStringsLeadToTheirHosts) {
    struct Case {
        const char* typed;
        const char* host;  // nullptr: no dial
        int port;
        bool telnet;
    };
    const Case cases[] = {
        {"ATDT555-9678\r", "127.0.0.1", 2323, true},
        {"ATDP(555) 96 78;\r", "127.0.0.1", 2323, true},
        {"ATDTbbs.example.org\r", "bbs.example.org", 23, true},
        {"ATD10.1.2.3:6400\r", "10.1.2.3", 6400, true},
        {"ATDT[::1]:2323\r", "::1", 2323, true},
        {"ATDThost:99999\r", nullptr, 0, false},
        {"ATDTbad host\r", nullptr, 0, false},
        {"ATDT555-0000\r", nullptr, 0, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed);
        HayesModem m{config};
        m.FromDte(c.typed, std::strlen(c.typed), now);
        const auto actions = m.TakeActions();
        if (!c.host) {
            EXPECT_TRUE(actions.empty());
            EXPECT_NE(m.TakeToDte().find("NO CARRIER"), std::string::npos);
            continue;
        }
        ASSERT_EQ(actions.size(), 1u);
        EXPECT_EQ(actions[0].kind, Kind::Dial);
        EXPECT_EQ(actions[0].target.host, c.host);
        EXPECT_EQ(actions[0].target.port, c.port);
        EXPECT_TRUE(m.Dialing());
    }
}

TEST_F(HayesModemTest, DialEndsWithNoAnswerAfterS7OrNoCarrierOnAKey) {
    Type("ATE0S7=2\r");
    Type("ATDT5559678\r");
    modem.TakeActions();
    Pass(1900);
    EXPECT_EQ(modem.TakeToDte(), "");
    Pass(200);
    EXPECT_EQ(modem.TakeToDte(), "\r\nNO ANSWER\r\n");
    EXPECT_EQ(modem.TakeActions()[0].kind, Kind::CancelDial);

    Type("ATDT5559678\r");
    modem.TakeActions();
    EXPECT_EQ(Type(" "), "\r\nNO CARRIER\r\n");
    EXPECT_EQ(modem.TakeActions()[0].kind, Kind::CancelDial);
    EXPECT_FALSE(modem.Carrier());
}

TEST_F(HayesModemTest, EscapeNeedsGuardTimesOnBothSides) {
    Type("ATE0\r");
    Connect();
    EXPECT_TRUE(modem.Carrier());
    struct Step {
        int64_t waitMs;
        const char* typed;
    };
    // Each row: what is typed after how long; the escape counts only in the last one.
    const std::vector<std::vector<Step>> refused = {
        {{100, "+++"}},                          // too soon after data... (connect)
        {{1200, "++"}, {1200, "+"}},             // a pause inside the escape
        {{1200, "+++x"}},                        // data right after it
        {{1200, "++++"}},                        // four are not three
    };
    for (const auto& steps : refused) {
        Type("data");
        for (const Step& s : steps) {
            Pass(s.waitMs);
            Type(s.typed);
        }
        Pass(1100);
        EXPECT_TRUE(modem.Online());
        EXPECT_EQ(modem.TakeToDte(), "");
    }
    modem.TakeToNet();
    Pass(1100);
    Type("+++");
    Pass(500);
    EXPECT_TRUE(modem.Online());
    Pass(600);
    EXPECT_FALSE(modem.Online());
    EXPECT_EQ(modem.TakeToDte(), "\r\nOK\r\n");
    EXPECT_EQ(modem.TakeToNet(), "+++");  // the remote end saw them too
    EXPECT_EQ(Type("ATO\r"), "\r\nCONNECT 9600\r\n");
    Pass(1100);
    Type("+++");
    Pass(1100);
    EXPECT_EQ(modem.TakeToDte(), "\r\nOK\r\n");
    EXPECT_EQ(Type("ATH\r"), "\r\nOK\r\n");
    EXPECT_EQ(modem.TakeActions().back().kind, Kind::HangUp);
    EXPECT_FALSE(modem.Carrier());
}

TEST_F(HayesModemTest, DtrDropFollowsAndD) {
    struct Case {
        const char* setting;
        bool stillConnected;
        bool online;
        const char* said;
    };
    const Case cases[] = {
        {"AT&D0\r", true, true, ""},
        {"AT&D1\r", true, false, "\r\nOK\r\n"},
        {"AT&D2\r", false, false, "\r\nNO CARRIER\r\n"},
        {"AT&D3\r", false, false, "\r\nNO CARRIER\r\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.setting);
        HayesModem m{config};
        auto type = [&](const std::string& s) { m.FromDte(s.data(), s.size(), now); };
        type("ATE0\r");
        type(c.setting);
        type("ATDT5559678\r");
        m.DialSucceeded(now);
        m.TakeToDte();
        m.TakeActions();
        m.SetDtr(false);
        EXPECT_EQ(m.Connected(), c.stillConnected);
        EXPECT_EQ(m.Online(), c.online);
        EXPECT_EQ(m.TakeToDte(), c.said);
    }
}

TEST_F(HayesModemTest, RingsAndAnswersAfterS0Rings) {
    config.ringIntervalMs = 3000;
    Type("ATE0\r");
    EXPECT_FALSE(modem.WantsListening());
    Type("ATS0=2\r");
    EXPECT_TRUE(modem.WantsListening());
    ASSERT_TRUE(modem.OfferCall(now));
    EXPECT_FALSE(modem.OfferCall(now));  // one call rings at a time
    EXPECT_EQ(modem.TakeToDte(), "\r\nRING\r\n");
    Pass(2900);
    EXPECT_EQ(modem.TakeToDte(), "");
    Pass(100);
    EXPECT_EQ(modem.TakeToDte(), "\r\nRING\r\n\r\nCONNECT 9600\r\n");
    EXPECT_EQ(modem.TakeActions().back().kind, Kind::Answer);
    EXPECT_TRUE(modem.Online());

    modem.RemoteClosed();
    EXPECT_EQ(modem.TakeToDte(), "\r\nNO CARRIER\r\n");
    Type("ATS0=0\r");
    modem.TakeToDte();
    ASSERT_TRUE(modem.OfferCall(now));
    Pass(30000);
    EXPECT_FALSE(modem.Online());
    EXPECT_NE(Type("ATA\r").find("CONNECT 9600"), std::string::npos);
    EXPECT_TRUE(modem.Online());
}

}  // namespace
}  // namespace zorv::test
