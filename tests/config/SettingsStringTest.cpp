// The settings string codec: splitting and checking, joining and checking.
#include "config/SettingsString.h"

#include <gtest/gtest.h>

namespace zorv {
namespace {

TEST(SettingsString, ParseChecksEachFieldAndSetsTheOutputsAsFarAsItGot) {
    struct Case {
        const char* settings;
        bool valid;
        // The outputs afterwards; "?" = left as it was.
        const char* baud;
        const char* parity;
        const char* dataBits;
        const char* stopBits;
    };
    const Case cases[] = {
        {"9600,N,8,1", true, "9600", "N", "8", "1"},
        {"19200,E,7,1.5", true, "19200", "E", "7", "1.5"},
        {"2400,m,4,2", true, "2400", "M", "4", "2"},         // lower-case parity, 4 data bits
        {"14400,o,8,1", true, "14400", "O", "8", "1"},       // a rate the dialog does not list
        {"9600,N;8;1", true, "9600", "N", "8", "1"},         // only the first comma is looked for
        {"9600;N;8;1", false, "?", "?", "?", "?"},           // no comma at all
        {"9600,N,8,1,1", false, "9600", "N", "8", "1,1"},    // nothing may follow the stop bits
        {" 9600,N,8,1", false, " 9600", "?", "?", "?"},
        {"9601,N,8,1", false, "9601", "?", "?", "?"},
        {"9600,X,8,1", false, "9600", "X", "?", "?"},
        {"9600,N,9,1", false, "9600", "N", "9", "?"},
        {"9600,N,8,3", false, "9600", "N", "8", "3"},
        {"9600,N,8", false, "9600", "N", "8", ""},           // a part beyond the end reads empty
        {"9600,", false, "9600", "", "?", "?"},
        {"", false, "?", "?", "?", "?"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.settings);
        std::string baud = "?", parity = "?", dataBits = "?", stopBits = "?";
        EXPECT_EQ(PARSESETTINGS(c.settings, baud, parity, dataBits, stopBits), c.valid);
        EXPECT_EQ(baud, c.baud);
        EXPECT_EQ(parity, c.parity);
        EXPECT_EQ(dataBits, c.dataBits);
        EXPECT_EQ(stopBits, c.stopBits);
    }
}

TEST(SettingsString, BuildChecksInOrderUpperCasesTheParityAndKeepsTheOldTextOnFailure) {
    struct Case {
        const char* baud;
        const char* parity;
        const char* dataBits;
        const char* stopBits;
        bool valid;
        const char* settingsAfter;  // starting from "old"
        const char* parityAfter;
    };
    const Case cases[] = {
        {"19200", "E", "7", "1.5", true, "19200,E,7,1.5", "E"},
        {"230400", "m", "8", "2", true, "230400,M,8,2", "M"},
        {"110", "s", "4", "1", true, "110,S,4,1", "S"},
        {"9601", "n", "8", "1", false, "old", "n"},   // the rate fails before the parity is touched
        {"9600", "x", "8", "1", false, "old", "X"},
        {"9600", "N", "9", "1", false, "old", "N"},
        {"9600", "N", "8", "", false, "old", "N"},
        {"", "", "", "", false, "old", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.baud) + "/" + c.parity + "/" + c.dataBits + "/" + c.stopBits);
        std::string parity = c.parity;
        std::string settings = "old";
        EXPECT_EQ(BUILDSETTINGS(c.baud, parity, c.dataBits, c.stopBits, settings), c.valid);
        EXPECT_EQ(settings, c.settingsAfter);
        EXPECT_EQ(parity, c.parityAfter);
    }
}

TEST(SettingsString, EveryValidStringBuildsBackToItself) {
    const char* rates[] = {"110", "300", "600", "1200", "2400", "4800", "9600",
                           "14400", "19200", "28800", "38400", "57600", "115200", "230400"};
    for (const char* rate : rates)
        for (const char* parity : {"E", "O", "N", "S", "M"})
            for (const char* dataBits : {"4", "5", "6", "7", "8"})
                for (const char* stopBits : {"1", "1.5", "2"}) {
                    const std::string text = std::string(rate) + "," + parity + "," + dataBits + "," + stopBits;
                    std::string baud, p, d, s, built;
                    ASSERT_TRUE(PARSESETTINGS(text, baud, p, d, s)) << text;
                    ASSERT_TRUE(BUILDSETTINGS(baud, p, d, s, built)) << text;
                    EXPECT_EQ(built, text);
                }
}

}  // namespace
}  // namespace zorv
